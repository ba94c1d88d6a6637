#ifndef VAULTDESK_DEVICEWATCHER_H
#define VAULTDESK_DEVICEWATCHER_H

#include "Device.h"

#include <QMutex>
#include <QObject>
#include <QThread>

class DeviceModelFactory;

// Scans for cards on a thread of its own and publishes the list when it changes.
class DeviceWatcher : public QObject
{
    Q_OBJECT
    Q_PROPERTY(DeviceList recognizedDevices READ recognizedDevices WRITE setRecognizedDevices NOTIFY
                   recognizedDevicesChanged)
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setEnabled NOTIFY isEnabledChanged)

public:
    // Takes ownership of factory. A negative interval makes start() do nothing.
    DeviceWatcher(int interval, DeviceModelFactory* factory, QObject* parent = nullptr);
    ~DeviceWatcher() override;

    DeviceList recognizedDevices() const;
    bool isEnabled() const;

    void start();
    // Waits for a running scan to finish.
    void stop();

public slots:
    void setRecognizedDevices(const DeviceList& recognizedDevices);
    // Blocks until a running scan has finished; must not be called on the watcher's thread.
    void setEnabled(bool isEnabled);

signals:
    void recognizedDevicesChanged(DeviceList recognizedDevices);
    void isEnabledChanged(bool isEnabled);
    void finishedInitialScan();

private:
    void scan();

    mutable QMutex mutex;
    DeviceList devices;
    bool enabled = true;
    QThread thread;
    DeviceModelFactory* factory;
    int interval;
};

#endif
