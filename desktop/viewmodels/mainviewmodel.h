#pragma once

#include "ViewModel.h"

#include "Device.h"

#include <QMetaType>
#include <QMutex>

#include <memory>

class DeviceModel;
class DeviceModelFactory;
class DeviceWatcher;

// Page of the main window.
enum MainView : qint32 { Searching = 0, NoDevices = 1, DevicesList = 2, SelectedDevice = 3 };
Q_DECLARE_METATYPE(MainView)

// State of the main window: the recognised cards, the selection and its model, the page.
// Lives on a worker thread of the window; the watcher scans on a thread of its own.
class MainViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, true)
    VIEWMODEL_PROPERTY(MainView, activeView, ActiveView, Searching)
    VIEWMODEL_PROPERTY(DeviceList, availableDevices, AvailableDevices, DeviceList())
    VIEWMODEL_PROPERTY(DeviceList, unsupportedDevices, UnsupportedDevices, DeviceList())
    VIEWMODEL_PROPERTY(Device, selectedDevice, SelectedDevice, Device())
    // Tells that the automatic read-only switch kept a card's unclosed recording; empty when
    // there is nothing to tell or that card is gone.
    VIEWMODEL_PROPERTY(QString, unclosedRecordingNotice, UnclosedRecordingNotice, QString())

public:
    // Takes ownership of factory and watcher and starts the watcher.
    MainViewModel(DeviceModelFactory* factory, DeviceWatcher* watcher, QObject* parent = nullptr);
    ~MainViewModel() override;

    // The model of the selected card; dialogs keep their own copy while they run.
    std::shared_ptr<DeviceModel> deviceModel() const;

    void resetModel();

public Q_SLOTS:
    void updateDisplayedView();
    void reinitialize(bool goBackToMainView);
    void reinitialize();

Q_SIGNALS:
    void selectedDeviceRemoved();

private:
    void splitRecognizedDevices(const DeviceList& devices);
    void noticeKeptRecording(const QString& devicePath, qint64 bytes);

    // The window copies the model from the GUI thread while this thread may replace it.
    mutable QMutex m_deviceModelMutex;
    std::shared_ptr<DeviceModel> m_deviceModel;
    DeviceModelFactory* m_factory;
    DeviceWatcher* m_watcher;
    QString m_keptRecordingDevice;
};
