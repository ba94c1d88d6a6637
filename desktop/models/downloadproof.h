#ifndef VAULTDESK_DOWNLOADPROOF_H
#define VAULTDESK_DOWNLOADPROOF_H

#include <QByteArray>
#include <QString>

typedef struct evp_md_ctx_st EVP_MD_CTX;
typedef struct XXH3_state_s XXH3_state_t;

// SHA-256 through the crypto library, which uses the processor's SHA instructions.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(const char* data, qint64 size);
    // The 32-byte digest; the object is spent afterwards.
    QByteArray result();

private:
    EVP_MD_CTX* context;
};

// A 128-bit hash that tells whether the disk holds the bytes read from the card. The checksum
// list needs SHA-256 of those bytes anyway; comparing the read-back with this one instead
// costs a small fraction of a second SHA-256 pass.
class CopyCheck
{
public:
    CopyCheck();
    ~CopyCheck();
    CopyCheck(const CopyCheck&) = delete;
    CopyCheck& operator=(const CopyCheck&) = delete;

    void add(const char* data, qint64 size);
    QByteArray result() const;

private:
    XXH3_state_t* state;
};

// Reads files for their digest through one buffer, aligned for direct I/O and kept between
// files. One file at a time.
class DigestReader
{
public:
    DigestReader();
    ~DigestReader();
    DigestReader(const DigestReader&) = delete;
    DigestReader& operator=(const DigestReader&) = delete;

    // CopyCheck of the file as the disk holds it, not as the page cache does (direct I/O, or
    // the cached pages dropped first where the file system refuses it). Empty with errno set
    // when unreadable.
    QByteArray checkOnDisk(const QString& path);
    // SHA-256 of the file as any program reads it. Empty with errno set when unreadable.
    QByteArray ofFile(const QString& path);

private:
    template <typename Hash> QByteArray digestOf(const QString& path, bool fromDisk);

    void* buffer = nullptr;
};

// One line of a checksum list in the form `sha256sum -c` checks, names with a backslash or a
// line break escaped as it writes them.
QByteArray checksumLine(const QByteArray& digest, const QString& relativePath);

#endif
