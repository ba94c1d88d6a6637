#include "downloadproof.h"

#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <openssl/evp.h>
#include <unistd.h>
#include <xxhash.h>

namespace {

// Large reads keep a direct read-back near the disk's sequential speed.
const size_t readSize = size_t(4) << 20;
// Direct I/O needs buffers aligned to the device's logical block, which is at most a page.
const size_t directAlignment = 4096;

class Descriptor
{
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd; }

private:
    int fd;
};

int openForReading(const QByteArray& name, bool fromDisk)
{
    if (!fromDisk)
        return ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    const int direct = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_DIRECT);
    if (direct >= 0 || errno != EINVAL)
        return direct;
    // Flushed pages are clean, so dropping them makes the reads below go to the disk.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return fd;
}

} // namespace

Sha256::Sha256() : context(EVP_MD_CTX_new())
{
    if (!context || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(context);
        throw std::bad_alloc();
    }
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(context);
}

void Sha256::add(const char* data, qint64 size)
{
    if (size > 0 && EVP_DigestUpdate(context, data, size_t(size)) != 1)
        throw std::bad_alloc();
}

QByteArray Sha256::result()
{
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context, reinterpret_cast<unsigned char*>(digest.data()), &length) != 1)
        throw std::bad_alloc();
    digest.truncate(int(length));
    return digest;
}

CopyCheck::CopyCheck() : state(XXH3_createState())
{
    if (!state || XXH3_128bits_reset(state) != XXH_OK) {
        XXH3_freeState(state);
        throw std::bad_alloc();
    }
}

CopyCheck::~CopyCheck()
{
    XXH3_freeState(state);
}

void CopyCheck::add(const char* data, qint64 size)
{
    if (size > 0 && XXH3_128bits_update(state, data, size_t(size)) != XXH_OK)
        throw std::bad_alloc();
}

QByteArray CopyCheck::result() const
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state));
    return QByteArray(reinterpret_cast<const char*>(canonical.digest), sizeof canonical.digest);
}

DigestReader::DigestReader()
{
    if (::posix_memalign(&buffer, directAlignment, readSize) != 0)
        throw std::bad_alloc();
}

DigestReader::~DigestReader()
{
    std::free(buffer);
}

QByteArray DigestReader::checkOnDisk(const QString& path)
{
    return digestOf<CopyCheck>(path, true);
}

QByteArray DigestReader::ofFile(const QString& path)
{
    return digestOf<Sha256>(path, false);
}

template <typename Hash> QByteArray DigestReader::digestOf(const QString& path, bool fromDisk)
{
    const Descriptor file(openForReading(QFile::encodeName(path), fromDisk));
    if (file.get() < 0)
        return {};
    Hash hash;
    for (;;) {
        const ssize_t count = ::read(file.get(), buffer, readSize);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return {};
        if (count == 0)
            return hash.result();
        hash.add(static_cast<const char*>(buffer), count);
    }
}

QByteArray checksumLine(const QByteArray& digest, const QString& relativePath)
{
    QByteArray name = QFile::encodeName(relativePath);
    const bool escaped = name.contains('\\') || name.contains('\n') || name.contains('\r');
    if (escaped)
        name.replace("\\", "\\\\").replace("\n", "\\n").replace("\r", "\\r");
    return (escaped ? "\\" : "") + digest.toHex() + "  " + name + '\n';
}
