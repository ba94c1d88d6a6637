// Disks for discovery tests and benchmarks (root only): a loop device over a file of
// random data, and device nodes of another name made with mknod.
#ifndef VIX_TESTS_PLAIN_LOOP_DISK_H
#define VIX_TESTS_PLAIN_LOOP_DISK_H

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/loop.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace vixtest {

inline std::runtime_error systemFailure(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Detaches itself when its last descriptor closes, so a killed process leaves nothing.
class PlainLoopDisk
{
public:
    PlainLoopDisk(const QString& backingFile, qint64 bytes)
    {
        writeRandomData(backingFile, bytes);
        const int backing = ::open(QFile::encodeName(backingFile).constData(), O_RDWR | O_CLOEXEC);
        if (backing < 0)
            throw systemFailure("open " + backingFile.toStdString());
        for (int attempt = 0; attempt < 10 && fd < 0; ++attempt)
            attach(backing);
        ::close(backing);
        if (fd < 0)
            throw systemFailure("no free loop device");
        loop_info64 info{};
        info.lo_flags = LO_FLAGS_AUTOCLEAR;
        if (::ioctl(fd, LOOP_SET_STATUS64, &info) != 0)
            throw systemFailure("LOOP_SET_STATUS64");
    }
    ~PlainLoopDisk()
    {
        if (fd >= 0) {
            ::ioctl(fd, LOOP_CLR_FD, 0);
            ::close(fd);
        }
    }
    PlainLoopDisk(const PlainLoopDisk&) = delete;
    PlainLoopDisk& operator=(const PlainLoopDisk&) = delete;

    dev_t number() const { return makedev(7, unsigned(index)); }
    // Reads completed on the device, from the kernel's statistics.
    qint64 reads() const
    {
        QFile stat(QStringLiteral("/sys/block/loop%1/stat").arg(index));
        if (!stat.open(QIODevice::ReadOnly))
            return -1;
        return stat.readAll().simplified().split(' ').value(0).toLongLong();
    }

private:
    static void writeRandomData(const QString& path, qint64 bytes)
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write " + path.toStdString());
        QByteArray block(1 << 20, '\0');
        for (qint64 written = 0; written < bytes; written += block.size()) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(block.data()),
                                                  block.size() / 4);
            file.write(block.constData(), qMin<qint64>(block.size(), bytes - written));
        }
    }
    void attach(int backing)
    {
        const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
        index = control >= 0 ? ::ioctl(control, LOOP_CTL_GET_FREE) : -1;
        if (control >= 0)
            ::close(control);
        if (index < 0)
            return;
        const std::string node = "/dev/loop" + std::to_string(index);
        fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0 && ::ioctl(fd, LOOP_SET_FD, backing) != 0) {
            ::close(fd); // taken by another program meanwhile
            fd = -1;
        }
    }

    int index = -1;
    int fd = -1;
};

// A block device node for `number` at `path`, as a device folder of its own holds it.
inline void makeBlockNode(const QString& path, dev_t number)
{
    if (::mknod(QFile::encodeName(path).constData(), S_IFBLK | 0660, number) != 0)
        throw systemFailure("mknod " + path.toStdString());
}

inline dev_t deviceNumberOf(const std::string& node)
{
    struct stat info
    {
    };
    if (::stat(node.c_str(), &info) != 0)
        throw systemFailure("stat " + node);
    return info.st_rdev;
}

} // namespace vixtest

#endif
