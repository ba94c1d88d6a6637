#include "os-abstraction.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

void* allocAlignedBuffer(size_t size)
{
    void* buffer = nullptr;
    const int error = posix_memalign(&buffer, OS_IO_ALIGNMENT, size);
    if (error != 0) {
        errno = error;
        return nullptr;
    }
    return buffer;
}

int freeAlignedBuffer(void* buffer)
{
    if (buffer == nullptr)
        return -1;
    free(buffer);
    return 0;
}

int openFile(const char* path, int* fd, int directIo)
{
    int flags = O_RDWR | O_CREAT | O_SYNC | O_CLOEXEC;
    if (directIo)
        flags |= O_DIRECT;
    *fd = open(path, flags, 0664);
    if (*fd < 0) {
        *fd = -1;
        return -1;
    }
    // The file only lives as long as the descriptor: nothing is left behind on the card.
    if (unlink(path) != 0) {
        close(*fd);
        *fd = -1;
        return -2;
    }
    return 0;
}

int closeFile(int fd)
{
    return close(fd) == 0 ? 0 : 1;
}

int readFile(int fd, void* buffer, size_t size, size_t* count)
{
    const ssize_t done = read(fd, buffer, size);
    if (done < 0)
        return 1;
    if (count != nullptr)
        *count = static_cast<size_t>(done);
    return 0;
}

int writeFile(int fd, const void* buffer, size_t size, size_t* count)
{
    const ssize_t done = write(fd, buffer, size);
    if (done < 0)
        return 1;
    if (count != nullptr)
        *count = static_cast<size_t>(done);
    return 0;
}

int seekFile(int fd, uint64_t offset)
{
    return lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset) ? 0 : 1;
}

int readAt(int fd, void* buffer, size_t size, uint64_t offset)
{
    const ssize_t done = pread(fd, buffer, size, static_cast<off_t>(offset));
    return done >= 0 && static_cast<size_t>(done) == size ? 0 : 1;
}

int writeAt(int fd, const void* buffer, size_t size, uint64_t offset)
{
    const ssize_t done = pwrite(fd, buffer, size, static_cast<off_t>(offset));
    return done >= 0 && static_cast<size_t>(done) == size ? 0 : 1;
}

int openVolume(const char* path, int* fd, void* buffer, size_t size)
{
    *fd = open(path, O_RDWR | O_DIRECT | O_CLOEXEC);
    if (*fd < 0) {
        *fd = -1;
        return -1;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < size) {
        const ssize_t got = read(*fd, bytes + done, size - done);
        // A read of 0 bytes (end of the device) would never make progress.
        if (got <= 0) {
            close(*fd);
            *fd = -1;
            return -2;
        }
        done += static_cast<size_t>(got);
    }
    return 0;
}

// The buffer goes back where openVolume read it: the start of the device.
static int writeBackAtStart(int fd, const void* buffer, size_t size)
{
    if (lseek(fd, 0, SEEK_SET) != 0)
        return -1;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    size_t done = 0;
    while (done < size) {
        const ssize_t put = write(fd, bytes + done, size - done);
        if (put <= 0)
            return -1;
        done += static_cast<size_t>(put);
    }
    return 0;
}

int closeVolume(int fd, const void* buffer, size_t size)
{
    int result = 0;
    if (buffer != nullptr && size != 0)
        result = writeBackAtStart(fd, buffer, size);
    if (close(fd) != 0 && result == 0)
        result = 1;
    return result;
}

void msleep(int64_t milliseconds)
{
    timespec duration{};
    duration.tv_sec = static_cast<time_t>(milliseconds / 1000);
    duration.tv_nsec = static_cast<long>((milliseconds % 1000) * 1000000);
    nanosleep(&duration, nullptr);
}

uint64_t getWallTime(void)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

uint64_t getTimeDifference(uint64_t start, uint64_t end)
{
    return end - start;
}
