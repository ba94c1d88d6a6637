#include "devicewatcher.h"

#include "devicemodelfactory.h"

#include "utils.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// Lets the nodes of one plug-in (a disk and its partitions) arrive before the scan.
constexpr int settleMs = 50;

// Creation, removal and permission changes of nodes; udev grants access after the node
// appears, and a card's node that could not be opened before is probed again then.
constexpr uint32_t folderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR;

// The name an event record carries, bounded by the bytes read.
QString nameOf(const char* record, const inotify_event& event, std::size_t bytesLeft)
{
    const char* name = record + sizeof(inotify_event);
    const std::size_t room = std::min<std::size_t>(event.len, bytesLeft - sizeof(inotify_event));
    return QFile::decodeName(QByteArray(name, int(strnlen(name, room))));
}

bool concernsCardNode(const inotify_event& event, const QString& name)
{
    if ((event.mask & IN_Q_OVERFLOW) != 0) // events were lost: look anyway
        return true;
    return QDir::match(cardNodeFilters, name) && mayBeCardNode(name);
}

// True when one of the events read from the inotify descriptor concerns a card's node.
bool namesCardNode(int descriptor)
{
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    bool relevant = false;
    for (;;) {
        const ssize_t length = ::read(descriptor, buffer, sizeof buffer);
        if (length <= 0)
            return relevant;
        for (ssize_t offset = 0; offset + ssize_t(sizeof(inotify_event)) <= length;) {
            inotify_event event{};
            std::memcpy(&event, buffer + offset, sizeof event);
            const QString name = nameOf(buffer + offset, event, std::size_t(length - offset));
            relevant = concernsCardNode(event, name) || relevant;
            offset += ssize_t(sizeof(inotify_event) + event.len);
        }
    }
}

// An inotify descriptor watching folder, or -1 (with a warning) when there is none.
int openFolderWatch(const QString& folder)
{
    const int descriptor = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor >= 0 &&
        ::inotify_add_watch(descriptor, QFile::encodeName(folder).constData(), folderEvents) >= 0)
        return descriptor;
    const int error = errno;
    if (descriptor >= 0)
        ::close(descriptor);
    qWarning() << "Cards are found only by the periodic scan: cannot watch" << folder << ":"
               << std::strerror(error);
    return -1;
}

} // namespace

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
        watchDeviceFolder(timer);
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
    for (const KeptRecording& kept : factory->takeKeptRecordings())
        emit unclosedRecordingKept(kept.devicePath, kept.bytes);
}

void DeviceWatcher::watchDeviceFolder(QTimer* timer)
{
    const int descriptor = openFolderWatch(factory->folder());
    if (descriptor < 0)
        return;
    auto* settle = new QTimer(timer);
    settle->setSingleShot(true);
    settle->setInterval(settleMs);
    // The scan runs once the periodic timer would run too: not while a card operation
    // has paused scanning (resuming restarts the periodic scan).
    connect(settle, &QTimer::timeout, timer, [this] {
        if (isEnabled())
            scan();
    });
    auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, timer);
    connect(notifier, &QSocketNotifier::activated, settle, [descriptor, settle] {
        if (namesCardNode(descriptor))
            settle->start();
    });
    connect(notifier, &QObject::destroyed, [descriptor] { ::close(descriptor); });
}
