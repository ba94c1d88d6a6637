#pragma once

#include "Device.h"
#include "mainviewmodel.h"

#include <QMainWindow>
#include <QThread>

#include <memory>

namespace Ui {
class MainWindow;
}
class DeviceModel;
class QLabel;
class WaitingSpinnerWidget;

// The application's only main window: one of four pages chosen by the main view model, which
// runs on the window's own worker thread.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Cards are looked for among the sd* nodes of deviceFolder.
    explicit MainWindow(QWidget* parent = nullptr,
                        const QString& deviceFolder = QStringLiteral("/dev"));
    ~MainWindow() override;

    void bringToFront();

    // Where Help > Documentation looks for the manual: beside the program, else installed.
    static QString documentationPath();

    // The model of the selected card, copied for a dialog; null before the first selection.
    std::shared_ptr<DeviceModel> selectedDeviceModel() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    // One slot per button or menu action that opens a dialog.
    void activateSecurity();
    void viewFiles();
    void downloadFiles();
    void wipeDevice();
    void showDeviceInformation();
    void factoryReset();
    void changePin();
    void unblockPin();
    void changeAdminPin();
    void openDocumentation();
    void verifyBackup();
    void showAbout();

private:
    void connectViewModel();
    void connectActions();
    void showPage(MainView view);
    void showDeviceButtons(const DeviceList& devices);
    void showSelectedDevice(const Device& device);
    void showUnsupportedDevices(const DeviceList& devices, const QString& pattern);
    void closeDialogsOfRemovedDevice();
    void addRecordingNotice();
    bool isDialogOfSelectedCard(const QWidget* window) const;
    void growToFitContent();
    void goBackToDeviceList();
    Device selectedDevice() const;
    void reinitializeViewModel(bool goBackToMainView);

    // Declared first so that it is destroyed last.
    QThread m_thread;
    Ui::MainWindow* ui;
    WaitingSpinnerWidget* m_spinner;
    QLabel* m_recordingNotice = nullptr;
    MainViewModel* m_viewModel;
    Device m_selectedDevice;
};
