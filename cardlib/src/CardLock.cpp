#include "CardLock.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace {

const char* lockFolder()
{
    static const char* const folder = access("/run/lock", W_OK) == 0 ? "/run/lock" : "/tmp";
    return folder;
}

// Short enough not to slow a caller queued behind a 1 s command noticeably.
constexpr std::chrono::milliseconds POLL_INTERVAL{5};
// Readable by all, so that every user of the card can take the same lock.
constexpr mode_t LOCK_FILE_MODE = 0644;

// Kernel protections refuse O_CREAT on another user's file in a shared folder, so
// an existing lock file is opened without it.
int openLockFile(const std::string& path)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    LOCK_FILE_MODE);
        if (fd >= 0) {
            fchmod(fd, LOCK_FILE_MODE); // whatever the umask
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

} // namespace

std::string cardLockFilePath(const char* devicePath)
{
    struct stat device
    {
    };
    if (::stat(devicePath, &device) != 0)
        return {};
    // A card is a block device; an image file stands for one in tests and the emulator.
    if (S_ISBLK(device.st_mode))
        return std::string(lockFolder()) + "/vix-card-" + std::to_string(major(device.st_rdev)) +
               "-" + std::to_string(minor(device.st_rdev)) + ".lock";
    return std::string(lockFolder()) + "/vix-card-file-" + std::to_string(device.st_dev) + "-" +
           std::to_string(device.st_ino) + ".lock";
}

CardLockResult acquireCardLock(const char* devicePath, int waitMs, int* lockFd,
                               CardLockNotice notice)
{
    *lockFd = -1;
    const std::string path = cardLockFilePath(devicePath);
    const int fd = path.empty() ? -1 : openLockFile(path);
    if (fd < 0)
        return CARD_LOCK_UNAVAILABLE;
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(waitMs);
    bool noticeGiven = notice == nullptr;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool heldElsewhere = errno == EWOULDBLOCK || errno == EINTR;
        const auto now = std::chrono::steady_clock::now();
        if (!heldElsewhere || now >= deadline) {
            ::close(fd);
            return heldElsewhere ? CARD_LOCK_TIMED_OUT : CARD_LOCK_UNAVAILABLE;
        }
        if (!noticeGiven && now - start >= std::chrono::milliseconds(CARD_LOCK_NOTICE_MS)) {
            notice(devicePath);
            noticeGiven = true;
        }
        std::this_thread::sleep_for(POLL_INTERVAL);
    }
    *lockFd = fd;
    return CARD_LOCK_HELD;
}

void releaseCardLock(int lockFd)
{
    if (lockFd >= 0)
        ::close(lockFd);
}

namespace {

struct HeldCard
{
    std::mutex mutex;
    std::string lockPath;
    int fd = -1;
    std::thread::id holder;
};

HeldCard& heldCard()
{
    static HeldCard held;
    return held;
}

} // namespace

CardLockResult holdCard(const char* devicePath, CardLockNotice notice)
{
    HeldCard& held = heldCard();
    const std::string path = cardLockFilePath(devicePath);
    {
        const std::lock_guard<std::mutex> guard(held.mutex);
        if (!held.lockPath.empty())
            return held.lockPath == path && held.holder == std::this_thread::get_id()
                       ? CARD_LOCK_HELD
                       : CARD_LOCK_UNAVAILABLE;
    }
    int fd = -1;
    const CardLockResult result = acquireCardLock(devicePath, CARD_LOCK_WAIT_MS, &fd, notice);
    if (result == CARD_LOCK_HELD) {
        const std::lock_guard<std::mutex> guard(held.mutex);
        held.lockPath = path;
        held.fd = fd;
        held.holder = std::this_thread::get_id();
    }
    return result;
}

void releaseHeldCard()
{
    HeldCard& held = heldCard();
    const std::lock_guard<std::mutex> guard(held.mutex);
    if (held.holder != std::this_thread::get_id())
        return;
    releaseCardLock(held.fd);
    held.fd = -1;
    held.lockPath.clear();
    held.holder = std::thread::id();
}

bool cardIsHeld(const char* devicePath)
{
    HeldCard& held = heldCard();
    const std::lock_guard<std::mutex> guard(held.mutex);
    return !held.lockPath.empty() && held.holder == std::this_thread::get_id() &&
           held.lockPath == cardLockFilePath(devicePath);
}
