#define FUSE_USE_VERSION FUSE_MAKE_VERSION(3, 12)
#include "Mount.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <mutex>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "Disk.h"

namespace vaultsim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPaceSlack = std::chrono::milliseconds(20);

struct Presented
{
    std::string root;                 // the folder that holds what the card presents
    std::string pulledMarker;         // exists once the card is pulled
    std::uint64_t bytesPerSecond = 0; // 0: reads not limited
    std::mutex lock;
    std::condition_variable pulledNow;
    bool pulled = false; // for good: a pulled card never answers again
    Clock::time_point nextFree{};
};

Presented& presented()
{
    static Presented instance;
    return instance;
}

void notePulled()
{
    Presented& p = presented();
    std::lock_guard<std::mutex> lock(p.lock);
    p.pulled = true;
    p.pulledNow.notify_all();
}

// Asked before every answer: from the pull on, everything fails as on a removed disk.
bool cardPulled()
{
    {
        Presented& p = presented();
        std::lock_guard<std::mutex> lock(p.lock);
        if (p.pulled) {
            return true;
        }
    }
    if (::access(presented().pulledMarker.c_str(), F_OK) != 0) {
        return false;
    }
    notePulled();
    return true;
}

// Sees the marker come even when it is gone again before anyone asks, and
// wakes the reads waiting for their share of the read limit.
void watchForPull(int notify)
{
    const std::string name =
        presented().pulledMarker.substr(presented().pulledMarker.rfind('/') + 1);
    alignas(inotify_event) char buffer[4096];
    for (ssize_t length; (length = ::read(notify, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && name == event->name) {
                notePulled();
                return;
            }
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}

std::string full(const char* path)
{
    return presented().root + path;
}

void* initialise(fuse_conn_info* connection, fuse_config* config)
{
    // Large requests in parallel, so that a read-speed limit is met, not undercut.
    connection->max_readahead = 1u << 20;
    // The card changes what it presents under the host: nothing is kept.
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->use_ino = 1;
    return nullptr;
}

int getAttributes(const char* path, struct stat* info, fuse_file_info*)
{
    if (cardPulled()) {
        return -EIO;
    }
    return ::lstat(full(path).c_str(), info) == 0 ? 0 : -errno;
}

int readFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
               fuse_readdir_flags)
{
    if (cardPulled()) {
        return -EIO;
    }
    DIR* folder = ::opendir(full(path).c_str());
    if (folder == nullptr) {
        return -errno;
    }
    while (const dirent* entry = ::readdir(folder)) {
        struct stat info
        {
        };
        info.st_ino = entry->d_ino;
        info.st_mode = mode_t(entry->d_type) << 12;
        if (fill(buffer, entry->d_name, &info, 0, fuse_fill_dir_flags(0)) != 0) {
            break;
        }
    }
    ::closedir(folder);
    return 0;
}

int openFile(const char* path, fuse_file_info* file)
{
    if (cardPulled()) {
        return -EIO;
    }
    if ((file->flags & O_ACCMODE) != O_RDONLY) {
        return -EROFS;
    }
    int fd = ::open(full(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -errno;
    }
    file->fh = std::uint64_t(fd);
    return 0;
}

// The file data does not pass the loop devices, so their read limit is kept
// here: every read takes its share of the time line before it is answered.
void pace(std::size_t bytes)
{
    Presented& p = presented();
    if (p.bytesPerSecond == 0 || bytes == 0) {
        return;
    }
    const auto share = std::chrono::nanoseconds(bytes * 1000000000ull / p.bytesPerSecond);
    std::unique_lock<std::mutex> lock(p.lock);
    p.nextFree = std::max(p.nextFree, Clock::now()) + share;
    // Sleeping only once the time line is well ahead keeps small reads from
    // paying the timer's slack each time; the long-run rate stays the same.
    const Clock::time_point done = p.nextFree;
    if (done - Clock::now() > kPaceSlack) {
        p.pulledNow.wait_until(lock, done - kPaceSlack, [&p] { return p.pulled; });
    }
}

int readFile(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file)
{
    ssize_t got = ::pread(int(file->fh), buffer, size, offset);
    if (got < 0) {
        return -errno;
    }
    pace(std::size_t(got));
    return cardPulled() ? -EIO : int(got);
}

int releaseFile(const char*, fuse_file_info* file)
{
    ::close(int(file->fh));
    return 0;
}

int fileSystemStatus(const char*, struct statvfs* status)
{
    if (cardPulled()) {
        return -EIO;
    }
    return ::statvfs(presented().root.c_str(), status) == 0 ? 0 : -errno;
}

fuse_operations operations()
{
    fuse_operations ops{};
    ops.init = initialise;
    ops.getattr = getAttributes;
    ops.readdir = readFolder;
    ops.open = openFile;
    ops.read = readFile;
    ops.release = releaseFile;
    ops.statfs = fileSystemStatus;
    return ops;
}

} // namespace

int mountContent(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "Usage: vaultsim mount PARTITION DIR [-o OPTIONS]\n");
        return 1;
    }
    const std::string partition = argv[2];
    const std::string target = argv[3];
    DiskRecord record;
    if (!findDisk(partition, record) || record.get("partition") != partition) {
        std::fprintf(stderr, "vaultsim: %s is no partition of a virtual card disk\n",
                     partition.c_str());
        return 32;
    }
    presented().root = contentFolderOf(record);
    presented().pulledMarker = pulledMarkerOf(record);
    // Watched from before the mount, so that no pull goes unseen.
    const std::string folder = record.path.substr(0, record.path.rfind('/'));
    const int notify = inotify_init1(IN_CLOEXEC);
    if (notify < 0 || inotify_add_watch(notify, folder.c_str(), IN_CREATE | IN_MOVED_TO) < 0) {
        std::fprintf(stderr, "vaultsim: cannot watch %s: %s\n", folder.c_str(),
                     std::strerror(errno));
        return 32;
    }
    presented().bytesPerSecond = std::strtoull(record.get("read-bps").c_str(), nullptr, 10);
    // Mount options given on the command line (a remount repeats the old ones)
    // are the kernel's own; the content is always served the same way.
    const std::string options =
        "fsname=" + partition + ",subtype=vaultsim,ro,allow_other,default_permissions";
    char* arguments[] = {argv[0], const_cast<char*>("-o"), const_cast<char*>(options.c_str())};
    fuse_args args = FUSE_ARGS_INIT(3, arguments);
    const fuse_operations ops = operations();
    fuse* session = fuse_new(&args, &ops, sizeof ops, nullptr);
    if (session == nullptr) {
        return 32;
    }
    if (fuse_mount(session, target.c_str()) != 0) {
        fuse_destroy(session);
        return 32;
    }
    if (fuse_daemonize(0) != 0) {
        fuse_unmount(session);
        fuse_destroy(session);
        return 32;
    }
    std::thread(watchForPull, notify).detach();
    fuse_loop_config* loop = fuse_loop_cfg_create();
    int result = fuse_loop_mt(session, loop);
    fuse_loop_cfg_destroy(loop);
    fuse_unmount(session);
    fuse_destroy(session);
    return result == 0 ? 0 : 1;
}

} // namespace vaultsim
