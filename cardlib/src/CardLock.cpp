#include "CardLock.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

// Short enough not to slow a caller queued behind a 1 s command noticeably.
constexpr std::chrono::milliseconds POLL_INTERVAL{5};

} // namespace

CardLockResult lockCard(const char* devicePath, int waitMs, int* lockFd)
{
    *lockFd = -1;
    const int fd = ::open(devicePath, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return CARD_LOCK_UNAVAILABLE;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool heldElsewhere = errno == EWOULDBLOCK || errno == EINTR;
        if (!heldElsewhere || std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            return heldElsewhere ? CARD_LOCK_TIMED_OUT : CARD_LOCK_UNAVAILABLE;
        }
        std::this_thread::sleep_for(POLL_INTERVAL);
    }
    *lockFd = fd;
    return CARD_LOCK_HELD;
}

void unlockCard(int lockFd)
{
    if (lockFd >= 0)
        ::close(lockFd);
}
