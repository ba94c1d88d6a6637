#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "DeviceInfoDialog.h"
#include "FactoryResetDialog.h"
#include "SessionViewer.h"
#include "about.h"
#include "activatememory.h"
#include "changeadminpin.h"
#include "changepin.h"
#include "devicemodelfactory.h"
#include "devicewatcher.h"
#include "dialoghelpers.h"
#include "download.h"
#include "login.h"
#include "messagebox.h"
#include "productnames.h"
#include "unblockpin.h"
#include "verifybackup.h"
#include "waitingspinnerwidget.h"
#include "wipedevice.h"

#include "CardManagement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QToolButton>
#include <QUrl>

namespace {

constexpr int scanIntervalMs = 2000;
const QSize cardImageBox(100, 100);

// Runs one operation dialog on the selected card's model; Rejected when there is no model yet.
template <typename Dialog> int runOperationDialog(const std::shared_ptr<DeviceModel>& model)
{
    if (!model)
        return QDialog::Rejected;
    Dialog dialog(model);
    return dialog.exec();
}

QString cardImagePath(const Device& device)
{
    return device.type == SdCard ? QStringLiteral(":/sd_card") : QStringLiteral(":/micro_sd_card");
}

} // namespace

MainWindow::MainWindow(QWidget* parent, const QString& deviceFolder)
    : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowTitle(QString::fromLatin1(applicationFullName));
    ui->labelSearching->setText(ui->labelSearching->text().arg(cardFullName));
    ui->lblNoDevicesFound->setText(ui->lblNoDevicesFound->text().arg(cardFullName));
    ui->lblReadOnlyNotice->setText(ui->lblReadOnlyNotice->text().arg(cardName));
    ui->labelSecureMemoryState->setText(ui->labelSecureMemoryState->text().arg(cardName));
    setWindowIcon(QIcon(QStringLiteral(":/app_icon")));
    // At least as wide as the form asks, and never narrower than a translated text.
    for (QPushButton* button :
         {ui->btnActivate, ui->btnViewFiles, ui->btnDownloadFiles, ui->btnWipeDevice})
        button->setMinimumWidth(qMax(button->minimumWidth(), button->sizeHint().width()));

    m_spinner = new WaitingSpinnerWidget(nullptr, false, false);
    ui->loadingIndicator->addWidget(m_spinner);
    m_spinner->start();
    addRecordingNotice();

    auto* factory = new DeviceModelFactory(deviceFolder);
    auto* watcher = new DeviceWatcher(scanIntervalMs, new DeviceModelFactory(deviceFolder));
    m_viewModel = new MainViewModel(factory, watcher);
    m_viewModel->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_viewModel, &QObject::deleteLater);
    m_thread.start(QThread::InheritPriority);

    // Nothing is selected until the view model says otherwise: no card menu meanwhile.
    showSelectedDevice(Device());
    connectViewModel();
    connectActions();
    QMetaObject::invokeMethod(m_viewModel, "initialize", Qt::QueuedConnection);
}

MainWindow::~MainWindow()
{
    // A dialog's view model still reports to the main view model while its thread ends (a
    // closed activation gives the device scan back), so every dialog goes before that thread.
    QList<QPointer<QDialog>> dialogs;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(window))
            dialogs.append(dialog);
    }
    // Deleting one dialog may delete others it owns; the guarded pointers notice.
    for (const QPointer<QDialog>& dialog : dialogs)
        delete dialog.data();
    m_thread.quit();
    m_thread.wait();
    delete ui;
}

void MainWindow::connectViewModel()
{
    connect(m_viewModel, &MainViewModel::activeViewChanged, this, &MainWindow::showPage);
    connect(m_viewModel, &MainViewModel::availableDevicesChanged, this,
            &MainWindow::showDeviceButtons);
    connect(m_viewModel, &MainViewModel::selectedDeviceChanged, this,
            &MainWindow::showSelectedDevice);
    const QString unsupportedPattern =
        tr("The following devices were detected but are not supported by this application.\n"
           "Please use the %1 for your %2.");
    connect(m_viewModel, &MainViewModel::unsupportedDevicesChanged, this,
            [this, unsupportedPattern](const DeviceList& devices) {
                showUnsupportedDevices(devices, unsupportedPattern);
            });
    connect(m_viewModel, &MainViewModel::selectedDeviceRemoved, this,
            &MainWindow::closeDialogsOfRemovedDevice);
    connect(m_viewModel, &MainViewModel::unclosedRecordingNoticeChanged, this,
            [this](const QString& notice) {
                m_recordingNotice->setText(notice);
                m_recordingNotice->setVisible(!notice.isEmpty());
                growToFitContent();
            });
}

// Above every page: the card it speaks of may be listed, selected or being searched for.
void MainWindow::addRecordingNotice()
{
    m_recordingNotice = new QLabel(this);
    m_recordingNotice->setObjectName(QStringLiteral("lblUnclosedRecording"));
    m_recordingNotice->setWordWrap(true);
    m_recordingNotice->setStyleSheet(QStringLiteral("color: rgb(170, 0, 0);"));
    m_recordingNotice->hide();
    ui->verticalLayout->insertWidget(0, m_recordingNotice);
}

void MainWindow::connectActions()
{
    connect(ui->btnBack, &QPushButton::clicked, this, &MainWindow::goBackToDeviceList);
    connect(ui->btnActivate, &QPushButton::clicked, this, &MainWindow::activateSecurity);
    connect(ui->btnDownloadFiles, &QPushButton::clicked, this, &MainWindow::downloadFiles);
    connect(ui->btnViewFiles, &QPushButton::clicked, this, &MainWindow::viewFiles);
    connect(ui->btnWipeDevice, &QPushButton::clicked, this, &MainWindow::wipeDevice);
    connect(ui->actionDevice_Information, &QAction::triggered, this,
            &MainWindow::showDeviceInformation);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::showAbout);
    connect(ui->actionFactoryReset, &QAction::triggered, this, &MainWindow::factoryReset);
    connect(ui->actionChangePin, &QAction::triggered, this, &MainWindow::changePin);
    connect(ui->actionUnblockPin, &QAction::triggered, this, &MainWindow::unblockPin);
    connect(ui->actionChangeAdminPin, &QAction::triggered, this, &MainWindow::changeAdminPin);
    connect(ui->actionDocumentation, &QAction::triggered, this, &MainWindow::openDocumentation);
    connect(ui->actionVerifyBackup, &QAction::triggered, this, &MainWindow::verifyBackup);
}

void MainWindow::bringToFront()
{
    if (isMinimized())
        hide();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    activateWindow();
}

// A tool button answers Space only; a card tile opens with Enter as well.
bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* tile = qobject_cast<QToolButton*>(watched);
        if (tile && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            tile->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    hide();
    event->ignore();
}

void MainWindow::showPage(MainView view)
{
    switch (view) {
    case Searching:
        ui->stackedWidget->setCurrentWidget(ui->searching);
        break;
    case NoDevices:
        ui->stackedWidget->setCurrentWidget(ui->noDevices);
        break;
    case DevicesList:
        ui->stackedWidget->setCurrentWidget(ui->devicesList);
        break;
    case SelectedDevice:
        ui->stackedWidget->setCurrentWidget(ui->SelectedDevice);
        break;
    }
    growToFitContent();
}

void MainWindow::showDeviceButtons(const DeviceList& devices)
{
    const int itemsBefore = ui->devicesListLayout->count();
    while (QLayoutItem* item = ui->devicesListLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const Device& device : devices) {
        auto* button = new QToolButton(this);
        button->setIcon(QIcon(cardImagePath(device)));
        button->setIconSize(cardImageBox);
        button->setText(device.displayName());
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
        button->setFocusPolicy(Qt::StrongFocus);
        button->installEventFilter(this);
        MainViewModel* viewModel = m_viewModel;
        connect(button, &QToolButton::clicked, viewModel,
                [viewModel, device] { viewModel->setSelectedDevice(device); });
        ui->devicesListLayout->addWidget(button);
    }
    growToFitContent();
    // A newly plugged card raises the window; an unplugged one does not, and neither do the
    // cards a search finds (a start in the background stays in the tray).
    if (devices.size() > itemsBefore && ui->stackedWidget->currentWidget() != ui->searching)
        bringToFront();
}

// Word-wrapped notices need more height than the layout's minimum size tells. Measured once
// the pending layout work is done, when the width the text wraps at is known.
void MainWindow::growToFitContent()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            QWidget* content = centralWidget();
            const int missing = content->heightForWidth(content->width()) - content->height();
            if (missing > 0)
                resize(width(), height() + missing);
        },
        Qt::QueuedConnection);
}

void MainWindow::showSelectedDevice(const Device& device)
{
    m_selectedDevice = device;
    const QPixmap image(cardImagePath(device));
    ui->labelSelectedDevImg->setFixedSize(image.size().scaled(cardImageBox, Qt::KeepAspectRatio));
    ui->labelSelectedDevImg->setPixmap(image);
    ui->labelSelectedDevPath->setText(device.displayName());

    if (!device.securityActive) {
        ui->actionButtonRow->setCurrentWidget(ui->inactiveSecurity);
        ui->menuConfigure->menuAction()->setVisible(false);
        ui->labelSecureMemoryState->setText(tr("Security inactive"));
    } else {
        ui->actionButtonRow->setCurrentWidget(ui->activeSecurity);
        ui->menuConfigure->menuAction()->setVisible(true);
        const std::shared_ptr<DeviceModel> model = selectedDeviceModel();
        const bool separateAdmin =
            model && (model->securityFlags & TRESORA_AC_FLAG_USER_ADMIN_SEPARATION);
        ui->actionUnblockPin->setVisible(separateAdmin);
        ui->actionChangeAdminPin->setVisible(separateAdmin);
        ui->labelSecureMemoryState->setText(tr("Security active"));
    }

    ui->labelAttackDetected->setText(
        tr("Warning: an incompatibility (0x%1) with your recording system has been detected.\n\n"
           "Please perform a download for your %2, check the backup for completeness and use a "
           "file recovery tool (e.g. PhotoRec) to recover missing data from partially "
           "backed-up sessions. Then, wipe your device and resume operation.")
            .arg(QString::number(device.incompatibilityFlags, 16), QString::fromLatin1(cardName)));
    ui->labelAttackDetected->setVisible(device.incompatibilityFlags != 0);

    ui->actionDevice_Information->setEnabled(static_cast<bool>(device));
    ui->actionFactoryReset->setEnabled(device.securityActive);
    growToFitContent();
}

void MainWindow::showUnsupportedDevices(const DeviceList& devices, const QString& pattern)
{
    if (!devices.isEmpty()) {
        QStringList paths;
        for (const Device& device : devices)
            paths.append(device.devicePath);
        const FirmwareType firmware = devices.last().firmwareType;
        const QString text =
            pattern.arg(productFullName().value(firmware),
                        memoryProductName().value(firmware) + " [" + paths.join(", ") + "]");
        ui->lblUnsupportedDevices->setText(text);
        ui->lblUnsupportedDevices_2->setText(text);
    }
    ui->lblUnsupportedDevices->setVisible(!devices.isEmpty());
    ui->lblUnsupportedDevices_2->setVisible(!devices.isEmpty());
    growToFitContent();
}

// A card's dialogs are opened without a parent, and so are the boxes they ask from a worker;
// what belongs to this window (About, the backup check, their boxes) has nothing to do with the
// card, and the tray's own window is no dialog: both stay.
bool MainWindow::isDialogOfSelectedCard(const QWidget* window) const
{
    if (!qobject_cast<const QDialog*>(window))
        return false;
    for (const QWidget* widget = window; widget; widget = widget->parentWidget()) {
        if (widget == this)
            return false;
    }
    return true;
}

void MainWindow::closeDialogsOfRemovedDevice()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || !isDialogOfSelectedCard(window))
            continue;
        if (auto* download = qobject_cast<Download*>(window))
            download->deviceRemoved(); // a running backup ends on its error page
        else
            window->close();
    }
    MessageBox::information(this, tr("Selected device status"),
                            tr("The currently selected device has been removed!"));
}

void MainWindow::goBackToDeviceList()
{
    MainViewModel* viewModel = m_viewModel;
    QMetaObject::invokeMethod(viewModel, [viewModel] { viewModel->setSelectedDevice(Device()); });
}

std::shared_ptr<DeviceModel> MainWindow::selectedDeviceModel() const
{
    return m_viewModel->deviceModel();
}

Device MainWindow::selectedDevice() const
{
    return m_selectedDevice;
}

void MainWindow::reinitializeViewModel(bool goBackToMainView)
{
    QMetaObject::invokeMethod(m_viewModel, "reinitialize", Qt::QueuedConnection,
                              Q_ARG(bool, goBackToMainView));
}

QString MainWindow::documentationPath()
{
    const QString manual = QStringLiteral("Vix_manual.pdf");
    QString besideProgram = QCoreApplication::applicationDirPath() + '/' + manual;
    if (QFileInfo::exists(besideProgram))
        return besideProgram;
    return QStringLiteral(VIX_DOC_DIR "/") + manual;
}

void MainWindow::openDocumentation()
{
    const QString path = documentationPath();
    if (!QFileInfo::exists(path) || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        MessageBox::critical(this, tr("Error Opening the Documentation"),
                             tr("Failed to open %1").arg(path));
}

// Starts where backups usually go: the folder of the last backup.
void MainWindow::verifyBackup()
{
    const QString folder = FileDialog::getExistingDirectory(
        this, tr("Choose a Card's Backup Folder or One Session Folder"), lastBackupFolder());
    if (folder.isEmpty())
        return;
    VerifyBackup dialog(folder, this);
    dialog.exec();
}

void MainWindow::showAbout()
{
    About about(this);
    about.exec();
}

void MainWindow::downloadFiles()
{
    const std::shared_ptr<DeviceModel> model = selectedDeviceModel();
    if (!model)
        return;
    Download dialog(selectedDevice().mountpoint(), model);
    dialog.exec();
}

void MainWindow::activateSecurity()
{
    if (runOperationDialog<ActivateMemory>(selectedDeviceModel()) == QDialog::Accepted)
        reinitializeViewModel(true);
}

void MainWindow::viewFiles()
{
    if (runOperationDialog<Login>(selectedDeviceModel()) == QDialog::Accepted)
        runOperationDialog<SessionViewer>(selectedDeviceModel());
}

void MainWindow::wipeDevice()
{
    runOperationDialog<WipeDevice>(selectedDeviceModel());
}

void MainWindow::showDeviceInformation()
{
    runOperationDialog<DeviceInfoDialog>(selectedDeviceModel());
}

void MainWindow::factoryReset()
{
    if (runOperationDialog<FactoryResetDialog>(selectedDeviceModel()) == QDialog::Accepted)
        reinitializeViewModel(false);
}

void MainWindow::changePin()
{
    runOperationDialog<ChangePin>(selectedDeviceModel());
}

void MainWindow::unblockPin()
{
    runOperationDialog<UnblockPin>(selectedDeviceModel());
}

void MainWindow::changeAdminPin()
{
    runOperationDialog<ChangeAdminPin>(selectedDeviceModel());
}
