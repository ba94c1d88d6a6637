#include "Image.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vaultsim {

Image::~Image()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
    std::free(buffer_);
}

bool Image::open(const std::string& path, std::uint64_t partitionOffset, std::string& error)
{
    base_ = partitionOffset;
    void* aligned = nullptr;
    if (posix_memalign(&aligned, vcard::kBlockSize, vcard::kBlockSize) != 0) {
        error = "out of memory";
        return false;
    }
    buffer_ = static_cast<unsigned char*>(aligned);
    fd_ = ::open(path.c_str(), O_RDWR | O_DIRECT | O_CLOEXEC);
    if (fd_ < 0) {
        error = "cannot open " + path + " for direct I/O: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool Image::read(std::uint64_t offset, vcard::Block& block)
{
    if (::pread(fd_, buffer_, vcard::kBlockSize, off_t(base_ + offset)) !=
        ssize_t(vcard::kBlockSize)) {
        return false;
    }
    std::memcpy(block.data(), buffer_, vcard::kBlockSize);
    return true;
}

bool Image::write(std::uint64_t offset, const vcard::Block& block)
{
    std::memcpy(buffer_, block.data(), vcard::kBlockSize);
    return ::pwrite(fd_, buffer_, vcard::kBlockSize, off_t(base_ + offset)) ==
           ssize_t(vcard::kBlockSize);
}

bool Image::removed() const
{
    struct stat info
    {
    };
    return ::fstat(fd_, &info) != 0 || info.st_nlink == 0;
}

int lockCard(const std::string& image)
{
    const std::string folder = image + ".sessions";
    ::mkdir(folder.c_str(), 0775);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        fd = -1;
    }
    return fd;
}

bool cardInUse(const std::string& image)
{
    const std::string folder = image + ".sessions";
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool inUse = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return inUse;
}

bool createSparseImage(const std::string& path, std::uint64_t size, std::string& error)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
    if (fd < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool sized = ::ftruncate(fd, off_t(size)) == 0;
    if (!sized) {
        error = "cannot size " + path + ": " + std::strerror(errno);
    }
    ::close(fd);
    return sized;
}

} // namespace vaultsim
