#include "mainviewmodel.h"

#include "devicemodel.h"
#include "devicemodelfactory.h"
#include "devicewatcher.h"

#include <QMutexLocker>

#include <algorithm>
#include <stdexcept>

MainViewModel::MainViewModel(DeviceModelFactory* factory, DeviceWatcher* watcher, QObject* parent)
    : ViewModel(parent), m_factory(factory), m_watcher(watcher)
{
    qRegisterMetaType<MainView>("MainView");

    connect(m_watcher, &DeviceWatcher::recognizedDevicesChanged, this,
            &MainViewModel::splitRecognizedDevices);
    connect(m_watcher, &DeviceWatcher::finishedInitialScan, this, [this] { setIsUpdating(false); });
    connect(m_watcher, &DeviceWatcher::unclosedRecordingKept, this,
            &MainViewModel::noticeKeptRecording);
    m_watcher->start();

    // resetModel() must run before updateDisplayedView() so the page sees the new model.
    connect(this, &MainViewModel::selectedDeviceChanged, this, &MainViewModel::resetModel);
    connect(this, &MainViewModel::isUpdatingChanged, this, &MainViewModel::updateDisplayedView);
    connect(this, &MainViewModel::selectedDeviceChanged, this, &MainViewModel::updateDisplayedView);
    connect(this, &MainViewModel::availableDevicesChanged, this,
            &MainViewModel::updateDisplayedView);
}

MainViewModel::~MainViewModel()
{
    delete m_watcher;
    delete m_factory;
}

std::shared_ptr<DeviceModel> MainViewModel::deviceModel() const
{
    QMutexLocker lock(&m_deviceModelMutex);
    return m_deviceModel;
}

void MainViewModel::splitRecognizedDevices(const DeviceList& devices)
{
    DeviceList supported;
    DeviceList unsupported;
    for (const Device& device : devices)
        (device.supported ? supported : unsupported).append(device);
    setAvailableDevices(supported);
    setUnsupportedDevices(unsupported);
    const bool noticedCardPresent =
        std::any_of(devices.cbegin(), devices.cend(),
                    [this](const Device& d) { return d.devicePath == m_keptRecordingDevice; });
    if (!noticedCardPresent)
        setUnclosedRecordingNotice(QString());
}

void MainViewModel::noticeKeptRecording(const QString& devicePath, qint64 bytes)
{
    m_keptRecordingDevice = devicePath;
    if (bytes < 0)
        setUnclosedRecordingNotice(
            tr("The card %1 was made read-only. It may hold an unclosed recording, which was "
               "kept and can be backed up.")
                .arg(devicePath));
    else
        setUnclosedRecordingNotice(
            tr("The card %1 was made read-only. It holds an unclosed recording of %2, which was "
               "kept and can be backed up.")
                .arg(devicePath, Session::getFormattedDataSize(float(bytes))));
}

void MainViewModel::updateDisplayedView()
{
    const DeviceList devices = availableDevices();
    const Device selection = selectedDevice();
    if (selection) {
        const auto found = std::find_if(devices.cbegin(), devices.cend(),
                                        [&](const Device& d) { return selection.isSameDevice(d); });
        if (found == devices.cend()) {
            setSelectedDevice(Device());
            emit selectedDeviceRemoved();
        } else {
            setSelectedDevice(*found);
        }
    }

    if (isUpdating())
        setActiveView(Searching);
    else if (availableDevices().contains(selectedDevice()))
        setActiveView(SelectedDevice);
    else if (availableDevices().isEmpty())
        setActiveView(NoDevices);
    else
        setActiveView(DevicesList);
}

void MainViewModel::reinitialize(bool goBackToMainView)
{
    setIsUpdating(true);
    if (goBackToMainView)
        setSelectedDevice(Device());
    m_watcher->stop();
    m_watcher->start();
}

void MainViewModel::reinitialize()
{
    reinitialize(false);
}

void MainViewModel::resetModel()
{
    const Device selection = selectedDevice();
    if (!selection)
        return;
    try {
        std::shared_ptr<DeviceModel> model(
            m_factory->createDeviceModel(selection.devicePath.toUtf8().toStdString()));
        model->securityFlags = selection.securityFlags;
        // Blocking: a card operation starts only after the scan has paused.
        connect(
            model.get(), &DeviceModel::deviceIsBusyChanged, this,
            [this](bool busy) { m_watcher->setEnabled(!busy); }, Qt::BlockingQueuedConnection);
        QMutexLocker lock(&m_deviceModelMutex);
        m_deviceModel.swap(model);
    } catch (const std::runtime_error&) {
        // Keep the previous model; the card fails its next operation instead.
    }
}
