#ifndef VAULTDESK_DEVICEWATCHER_H
#define VAULTDESK_DEVICEWATCHER_H

#include "Device.h"

#include <QMutex>
#include <QObject>
#include <QThread>

class DeviceModelFactory;
class QTimer;

// Scans for cards on a thread of its own and publishes the list when it changes: every
// interval, and soon after a card's node appears in or vanishes from the device folder.
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
    // The automatic read-only switch kept a recording on the card; bytes -1: size unknown.
    void unclosedRecordingKept(QString devicePath, qint64 bytes);

private:
    void scan();
    // Runs on the watcher's thread: scans shortly after the device folder changes.
    void watchDeviceFolder(QTimer* timer);

    mutable QMutex mutex;
    DeviceList devices;
    bool enabled = true;
    QThread thread;
    DeviceModelFactory* factory;
    int interval;
};

#endif
