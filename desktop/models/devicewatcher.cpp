#include "devicewatcher.h"

#include "devicemodelfactory.h"

#include <QDebug>
#include <QMutexLocker>
#include <QTimer>
#include <exception>

DeviceWatcher::DeviceWatcher(int interval, DeviceModelFactory* factory, QObject* parent)
    : QObject(parent), factory(factory), interval(interval)
{
    registerDeviceMetaTypes();
}

DeviceWatcher::~DeviceWatcher()
{
    stop();
    delete factory;
}

DeviceList DeviceWatcher::recognizedDevices() const
{
    QMutexLocker lock(&mutex);
    return devices;
}

bool DeviceWatcher::isEnabled() const
{
    QMutexLocker lock(&mutex);
    return enabled;
}

void DeviceWatcher::start()
{
    if (interval < 0 || thread.isRunning())
        return;
    auto* timer = new QTimer;
    timer->setInterval(interval);
    timer->moveToThread(&thread);
    connect(&thread, &QThread::finished, timer, &QObject::deleteLater);
    connect(&thread, &QThread::started, timer, [this, timer] {
        scan();
        emit finishedInitialScan();
        if (isEnabled())
            timer->start();
    });
    connect(
        timer, &QTimer::timeout, timer, [this] { scan(); }, Qt::DirectConnection);
    // Blocking: the caller's card operation starts only after a running scan has ended.
    connect(
        this, &DeviceWatcher::isEnabledChanged, timer,
        [timer](bool enabled) {
            if (enabled)
                timer->start();
            else
                timer->stop();
        },
        Qt::BlockingQueuedConnection);
    thread.start();
}

void DeviceWatcher::stop()
{
    thread.quit();
    thread.wait();
}

void DeviceWatcher::setRecognizedDevices(const DeviceList& recognizedDevices)
{
    {
        QMutexLocker lock(&mutex);
        if (devices == recognizedDevices)
            return;
        devices = recognizedDevices;
    }
    emit recognizedDevicesChanged(recognizedDevices);
}

void DeviceWatcher::setEnabled(bool isEnabled)
{
    {
        QMutexLocker lock(&mutex);
        if (enabled == isEnabled)
            return;
        enabled = isEnabled;
    }
    emit isEnabledChanged(isEnabled);
}

void DeviceWatcher::scan()
{
    try {
        setRecognizedDevices(factory->searchDevices());
    } catch (const std::exception& error) {
        // An exception must not leave the scan thread's event loop; keep the last list.
        qWarning() << "Device scan failed:" << error.what();
    }
}
