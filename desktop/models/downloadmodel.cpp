#include "downloadmodel.h"

#include "downloadproof.h"
#include "downloadreader.h"
#include "utils.h"
#include "vix_version.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

const qint64 chunkSize = 1 << 20;
// Enough to keep the card busy while a chunk is hashed, written and a file is opened.
const size_t chunksAhead = 4;
const qint64 writeBackStride = 16 * chunkSize;
const QByteArray protectedDataMarker = QByteArrayLiteral("*PROTECTED DATA*");
const QString communicationFileName = QStringLiteral("__communicationFile");
const QString systemFolderName = QStringLiteral("System Volume Information");
// Name of the engine's own partial files, and nothing else a folder may hold.
const QRegularExpression partialFileName(QStringLiteral("^\\.vix-[0-9a-f]{16}\\.part$"));

QString systemReason(int code)
{
    return code == 0 ? QString() : QString::fromLocal8Bit(std::strerror(code));
}

// The system's reason, when there is one, tells a full disk from a removed card.
[[noreturn]] void failOn(BackupError::Side side, const char* text, const QString& path, int code)
{
    QString message = QCoreApplication::translate("QCoreApplication", text);
    if (message.contains(QLatin1String("%1")))
        message = message.arg(path);
    if (code != 0)
        message += QLatin1Char(' ') + systemReason(code) + QLatin1Char('.');
    throw BackupError(message, side, path, code);
}

[[noreturn]] void failOnCard(const char* text, const QString& path = {}, int code = 0)
{
    failOn(BackupError::Side::Card, text, path, code);
}

[[noreturn]] void failOnDisk(const char* text, const QString& path, int code = 0)
{
    failOn(BackupError::Side::Destination, text, path, code);
}

// QDir lists an unreadable folder as an empty one; 0 or the reason it cannot be listed.
int listingError(const QString& folder)
{
    DIR* listing = ::opendir(QFile::encodeName(folder).constData());
    if (!listing)
        return errno;
    errno = 0;
    while (::readdir(listing)) {
    }
    const int error = errno;
    ::closedir(listing);
    return error;
}

// A flush of the whole file system reaches the disk itself only where the file system flushes
// the device's cache on it; elsewhere (FAT drives, user-space and network file systems) only a
// flush of each file does.
bool flushesWithTheFileSystem(const QString& folder)
{
    const long ext4 = 0xEF53, xfs = 0x58465342, btrfs = 0x9123683E, f2fs = 0xF2F52010;
    struct statfs info
    {
    };
    if (::statfs(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    const long type = long(info.f_type);
    return type == ext4 || type == xfs || type == btrfs || type == f2fs;
}

// Before Linux 5.8 syncfs reports no write-back error of the files it flushed.
bool fileSystemFlushReportsErrors()
{
    struct utsname system
    {
    };
    int major = 0, minor = 0;
    return ::uname(&system) == 0 && std::sscanf(system.release, "%d.%d", &major, &minor) == 2 &&
           (major > 5 || (major == 5 && minor >= 8));
}

// A backup into the card would copy itself again at every level, onto the card.
void refuseBackupInto(const QString& mountPoint, const QString& destination)
{
    const QString card = QFileInfo(mountPoint).canonicalFilePath();
    const QString backup = QFileInfo(destination).canonicalFilePath();
    if (card.isEmpty() || backup.isEmpty())
        return; // the copy itself reports what is missing
    const QString inside = card.endsWith(QLatin1Char('/')) ? card : card + QLatin1Char('/');
    if (backup == card || backup.startsWith(inside))
        failOnDisk(
            QT_TRANSLATE_NOOP(
                "QCoreApplication",
                "The backup folder %1 is on the card itself. Please choose a folder on another "
                "drive."),
            destination);
}

void pause(QElapsedTimer& timer, qint64& offset)
{
    if (timer.isValid()) {
        offset += timer.elapsed();
        timer.invalidate();
    }
}

void resume(QElapsedTimer& timer)
{
    if (!timer.isValid())
        timer.start();
}

qint64 runningTime(const QElapsedTimer& timer, qint64 offset)
{
    return (timer.isValid() ? timer.elapsed() : 0) + offset;
}

// Session folders carry the card's date text; a path separator in it must not leave the
// destination.
QString safeFolderComponent(QString text)
{
    text.replace(QLatin1Char('/'), QLatin1Char('_'));
    text.replace(QLatin1Char('\\'), QLatin1Char('_'));
    return text;
}

// What a copy takes from a card folder: plain files and folders, no hidden ones, no card
// channel and no system folder. Symbolic links to folders are not followed: a link to a parent
// would never end.
QStringList copyableFiles(const QString& folder)
{
    QStringList files = QDir(folder).entryList(QDir::Files, QDir::Unsorted);
    files.removeAll(communicationFileName);
    return files;
}

QStringList copyableFolders(const QString& folder)
{
    QStringList folders = QDir(folder).entryList(
        QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Unsorted);
    folders.removeAll(systemFolderName);
    return folders;
}

void makeDurable(const QString& folder)
{
    if (!syncDirectory(folder))
        failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not write data to %1."), folder,
                   errno);
}

bool askOverwrite(const DownloadModel::OverwriteCallback& onOverwrite, Progress& progress,
                  const QString& path, bool isFile)
{
    progress.pauseElapsedTimer();
    progress.pauseCopyingTimer();
    const bool overwrite = onOverwrite(path, isFile);
    progress.resumeElapsedTimer();
    progress.resumeCopyingTimer();
    return overwrite;
}

// rename() replaces an existing file in one step, so an old copy stays until the new one is
// complete.
bool renameFile(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// Right after the failed rename, while errno still tells why.
[[noreturn]] void failRename(const QString& target)
{
    const int code = errno;
    if (QFileInfo::exists(target))
        failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not overwrite %1."), target, code);
    failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not copy to %1."), target, code);
}

void makeFolder(const QString& folder)
{
    if (::mkdir(QFile::encodeName(folder).constData(), 0777) != 0)
        failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not create directory %1."), folder,
                   errno);
}

void setFolderTime(const QString& folder, const QDateTime& time)
{
    errno = 0; // an invalid time fails without a system call
    if (!fileChangeModificationDate(folder, time))
        failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication",
                                     "Could not change the modification date of directory %1."),
                   folder, errno);
}

// A card folder that went away (card pulled) has no time: that is the card's failure.
QDateTime cardFolderTime(const QString& folder)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0)
        failOnCard(QT_TRANSLATE_NOOP("QCoreApplication", "Could not read %1."), folder, errno);
    return QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec)
        .addMSecs(info.st_mtim.tv_nsec / 1000000);
}

// Partial files of a run that was killed or lost its power; no other file of the folder.
void removeLeftovers(const QString& folder)
{
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    for (const QString& name : names)
        if (partialFileName.match(name).hasMatch())
            QFile::remove(folder + QLatin1Char('/') + name);
}

// The card's own files must not be replaced by the checksum list or the record.
void refuseProofNames(const QString& mountPoint)
{
    for (const QString& name : {DownloadModel::manifestName, DownloadModel::recordName}) {
        const QString path = mountPoint + QLatin1Char('/') + name;
        if (QFileInfo::exists(path))
            failOnCard(
                QT_TRANSLATE_NOOP(
                    "QCoreApplication",
                    "The card file %1 has a name the backup keeps for its checksums. Please rename "
                    "it on the card."),
                path);
    }
}

// Local time with its offset, so that the record says when wherever it is read.
QString timeText(const QDateTime& time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

// The files below a folder, hidden ones included; empty sub-folders hold nothing.
QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

QString relativeTo(const QString& folder, const QString& path)
{
    return path.mid(folder.size() + 1);
}

// A new, hidden file in the target's folder, removed unless it gets the target's name, also
// when an exception passes. Its name does not grow with the target's, so long names fit.
class PartialFile
{
public:
    explicit PartialFile(const QString& target)
    {
        const QString folder = QFileInfo(target).path();
        for (int attempt = 0; attempt < 16 && !output.isOpen(); ++attempt) {
            const quint64 suffix = QRandomGenerator::global()->generate64();
            name = folder + QStringLiteral("/.vix-%1.part").arg(suffix, 16, 16, QChar('0'));
            output.setFileName(name);
            if (output.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
                break;
            // Right after the failed open, while errno still tells why.
            openError = errno;
            if (openError != EEXIST)
                break;
        }
        owned = output.isOpen();
    }
    ~PartialFile()
    {
        if (owned) {
            output.close();
            QFile::remove(name);
        }
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    bool isOpen() const { return output.isOpen(); }
    // Why it could not be made, when it could not.
    int error() const { return openError; }
    QFile& file() { return output; }
    // Hands the file over to the caller, who closes and removes it if need be. The descriptor
    // stays open: its flush reports a write-back error of this file even when another flush
    // has reported it first.
    int release()
    {
        const int descriptor = ::dup(output.handle());
        if (descriptor < 0)
            return -1;
        output.close();
        owned = false;
        return descriptor;
    }
    bool rename(const QString& target)
    {
        if (renameFile(name, target))
            owned = false;
        return !owned;
    }

private:
    QFile output;
    QString name;
    int openError = 0;
    bool owned = false; // removed by the destructor
};

// The card reader's thread lives for one run: a process forked between runs has no copy of it.
class ReaderRun
{
public:
    explicit ReaderRun(std::unique_ptr<DownloadReader>& reader) : reader(reader) {}
    ~ReaderRun() { reader.reset(); }
    ReaderRun(const ReaderRun&) = delete;
    ReaderRun& operator=(const ReaderRun&) = delete;

private:
    std::unique_ptr<DownloadReader>& reader;
};

} // namespace

// Completed copies of one folder, waiting to be flushed to disk, checked there and named. One
// file system flush for the batch costs far less than one device flush per small file.
class DownloadModel::CopyBatch
{
public:
    struct Entry
    {
        QString partial;
        QString target;
        int descriptor;
        QByteArray digest; // SHA-256 of the bytes read from the card
        QByteArray check;  // their CopyCheck
    };

    // Opened before the copies are written: the flush then reports a write-back error of
    // theirs even when another program's flush has seen it first.
    CopyBatch(const QString& folder, bool flushFileSystem)
        : fileSystem(flushFileSystem
                         ? ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_CLOEXEC)
                         : -1),
          openError(flushFileSystem && fileSystem < 0 ? errno : 0),
          maxFiles(flushFileSystem ? 128 : 1)
    {
    }
    CopyBatch(const CopyBatch&) = delete;
    CopyBatch& operator=(const CopyBatch&) = delete;
    // Whatever was not named is never named: its partial file goes.
    ~CopyBatch()
    {
        for (const Entry& entry : pending) {
            ::close(entry.descriptor);
            QFile::remove(entry.partial);
        }
        if (fileSystem >= 0)
            ::close(fileSystem);
    }

    void add(Entry entry, qint64 size)
    {
        pending.push_back(std::move(entry));
        bytes += size;
    }
    bool empty() const { return pending.empty(); }
    bool full() const { return pending.size() >= maxFiles || bytes >= maxBytes; }

    // Flushes every pending copy, reads each back from the disk and names it when it matches.
    // Throws at the first failure; the copies not yet named are then removed with the batch.
    // Without a reader the copies are named unchecked.
    void commit(DigestReader* reader)
    {
        if (pending.empty())
            return;
        if (openError != 0 || (fileSystem >= 0 && ::syncfs(fileSystem) != 0))
            failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not write data to %1."),
                       pending.front().target, openError != 0 ? openError : errno);
        // Each file's own flush reports its write-back errors on any kernel, but costs a flush
        // of the drive's cache per file even when the batch is already on the disk.
        if (fileSystem < 0 || !fileSystemFlushReportsErrors())
            for (const Entry& entry : pending)
                if (::fsync(entry.descriptor) != 0)
                    failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not write data to %1."),
                               entry.target, errno);
        while (!pending.empty()) {
            const Entry& entry = pending.front();
            if (reader)
                verify(entry, *reader);
            if (!renameFile(entry.partial, entry.target))
                failRename(entry.target);
            ::close(entry.descriptor);
            pending.erase(pending.begin());
        }
        bytes = 0;
    }

private:
    static void verify(const Entry& entry, DigestReader& reader)
    {
        const QByteArray onDisk = reader.checkOnDisk(entry.partial);
        if (onDisk.isEmpty())
            failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not read back %1."),
                       entry.target, errno);
        if (onDisk != entry.check)
            failOnDisk(QT_TRANSLATE_NOOP(
                           "QCoreApplication",
                           "The copy %1 on the disk differs from the data read from the card."),
                       entry.target);
    }

    static constexpr qint64 maxBytes = qint64(256) << 20;
    const int fileSystem;
    const int openError;
    const size_t maxFiles;
    std::vector<Entry> pending;
    qint64 bytes = 0;
};

// The batches of one folder: a full batch is flushed, checked and named on a thread of its own
// while the next one is copied, since the card and the backup disk are different devices.
class DownloadModel::FolderCommit
{
public:
    // One batch is checked at a time, so the batches share the reader.
    FolderCommit(const QString& folder, DigestReader* reader)
        : folder(folder), flushFileSystem(flushesWithTheFileSystem(folder)), reader(reader),
          batch(newBatch())
    {
    }
    FolderCommit(const FolderCommit&) = delete;
    FolderCommit& operator=(const FolderCommit&) = delete;
    ~FolderCommit() { waitQuietly(); }

    void add(CopyBatch::Entry entry, qint64 size)
    {
        batch->add(std::move(entry), size);
        if (batch->full())
            submit();
    }

    // Commits everything; a failure of any batch is thrown.
    void finish()
    {
        submit();
        wait();
    }

    // On the way out of a failed folder: what was copied stays, unless a flush has failed.
    void finishQuietly() noexcept
    {
        try {
            wait();
            if (!failed)
                batch->commit(reader);
        } catch (...) {
        }
        batch.reset();
    }

private:
    std::unique_ptr<CopyBatch> newBatch() const
    {
        return std::make_unique<CopyBatch>(folder, flushFileSystem);
    }

    void submit()
    {
        wait();
        if (batch->empty())
            return;
        running = std::async(std::launch::async,
                             [committing = std::move(batch), reader = reader]() mutable {
                                 // Released here, so that a failed batch's partial files are
                                 // gone before the failure is seen.
                                 const std::unique_ptr<CopyBatch> owned = std::move(committing);
                                 owned->commit(reader);
                             });
        batch = newBatch();
    }

    void wait()
    {
        if (!running.valid())
            return;
        try {
            running.get();
        } catch (...) {
            failed = true;
            throw;
        }
    }

    void waitQuietly() noexcept
    {
        try {
            wait();
        } catch (...) {
        }
    }

    const QString folder;
    const bool flushFileSystem;
    DigestReader* const reader;
    std::unique_ptr<CopyBatch> batch;
    std::future<void> running;
    bool failed = false; // after a failed batch nothing more is named
};

Progress::Progress(std::function<bool(const Progress&)> callback) : callback(std::move(callback)) {}

Progress::~Progress() = default;

void Progress::updateProgressTime()
{
    elapsedTime = getElapsedTime();
    // Kept files count with their own size, which may exceed their session's size on the card.
    if (totalBytes != 0)
        percent = int(std::clamp<qint64>((copiedBytes + skippedBytes) * 100 / totalBytes, 0, 100));
    copyingTime = getCopyingTime();
    const double mebibytes = double(copiedBytes) / (1 << 20);
    // No time yet is no speed yet, not an infinite one.
    speed = copyingTime > 0 ? float(mebibytes / (double(copyingTime) / 1000)) : 0.0f;
    if (copiedBytes <= 0 || elapsedTime <= 0)
        return;
    const double bytesPerMillisecond = double(copiedBytes) / double(elapsedTime);
    const double remainingBytes = double(totalBytes - copiedBytes - skippedBytes);
    remainingTime = std::max<qint64>(0, qint64(remainingBytes / bytesPerMillisecond));
}

void Progress::addReadBytes(qint64 count)
{
    sessionReadBytes += count;
    // From the running total, so that rounding does not add up and the count never falls.
    const qint64 scaled =
        sessionFileBytes > 0
            ? qint64(double(sessionReadBytes) * double(sessionBytes) / double(sessionFileBytes))
            : sessionReadBytes;
    const qint64 increment =
        std::max<qint64>(0, std::min(scaled, sessionBytes) - sessionCopiedBytes);
    copiedBytes += increment;
    sessionCopiedBytes += increment;
}

qint64 Progress::getElapsedTime() const
{
    return runningTime(elapsedTimer, elapsedOffset);
}

qint64 Progress::getCopyingTime() const
{
    return runningTime(copyingTimer, copyingOffset);
}

void Progress::startTimers()
{
    elapsedTimer.start();
    copyingTimer.start();
}

void Progress::pauseElapsedTimer()
{
    pause(elapsedTimer, elapsedOffset);
}

void Progress::resumeElapsedTimer()
{
    resume(elapsedTimer);
}

void Progress::pauseCopyingTimer()
{
    pause(copyingTimer, copyingOffset);
}

void Progress::resumeCopyingTimer()
{
    resume(copyingTimer);
}

bool Progress::report() const
{
    return callback && callback(*this);
}

const QString DownloadModel::manifestName = QStringLiteral("vix-backup.sha256");
const QString DownloadModel::recordName = QStringLiteral("vix-backup.txt");

BackupError::BackupError(const QString& message, Side side, QString path, int systemError)
    : std::runtime_error(message.toStdString()), side(side), path(std::move(path)),
      systemError(systemError)
{
}

DownloadModel::Destination::Destination(QString root) : root(std::move(root))
{
    summary.folder = this->root;
}

DownloadModel::Destination::~Destination() = default;

DownloadModel::DownloadModel() = default;

DownloadModel::~DownloadModel() = default;

void DownloadModel::setCardSerialNumber(const QString& serialNumber)
{
    cardSerialNumber = serialNumber;
}

void DownloadModel::setMirrorDestination(const QString& folder)
{
    mirrorDestination = folder;
}

std::vector<BackupSummary> DownloadModel::summaries() const
{
    std::vector<BackupSummary> all;
    for (const auto& destination : destinations)
        all.push_back(destination->summary);
    return all;
}

const BackupSummary& DownloadModel::summary() const
{
    static const BackupSummary none;
    return destinations.empty() ? none : destinations.front()->summary;
}

void DownloadModel::refuseOverlappingFolders(const QString& first, const QString& second)
{
    auto canonical = [](const QString& folder) {
        const QString path = QFileInfo(folder).canonicalFilePath();
        return (path.isEmpty() ? QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) : path) +
               QLatin1Char('/');
    };
    const QString a = canonical(first);
    const QString b = canonical(second);
    if (!a.startsWith(b) && !b.startsWith(a))
        return;
    throw BackupError(QCoreApplication::translate(
                          "QCoreApplication",
                          "The folders %1 and %2 for the two copies are the same or one lies "
                          "inside the other. Please choose two separate folders.")
                          .arg(first, second),
                      BackupError::Side::Destination, second, 0);
}

bool DownloadModel::makeFolderIfMissing(const QString& folder)
{
    if (::mkdir(QFile::encodeName(folder).constData(), 0777) == 0)
        return true;
    if (errno != EEXIST)
        failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not create directory %1."), folder,
                   errno);
    return false;
}

QString DownloadModel::sessionFolderName(const Session& session)
{
    QString name = QString::number(session.id);
    if (!session.dateTime.empty()) {
        QString date = QString::fromStdString(session.dateTime);
        name += QLatin1Char('_') + safeFolderComponent(date.replace(QLatin1Char(':'), '-'));
    }
    return name;
}

// The signatures of the virtual operations are the model's interface: an override may keep
// what it is given, so the values come by copy even where this implementation only reads them.
bool DownloadModel::CopyFilesFromDevice(
    std::shared_ptr<DeviceModel> device, // NOLINT(performance-unnecessary-value-param)
    QString destination,                 // NOLINT(performance-unnecessary-value-param)
    ProgressCallback onProgress,
    OverwriteCallback onOverwrite, // NOLINT(performance-unnecessary-value-param)
    QString& currentFolder)
{
    const ReaderRun run(reader);
    destinations.clear();
    destinations.push_back(std::make_unique<Destination>(destination));
    if (!mirrorDestination.isEmpty())
        destinations.push_back(std::make_unique<Destination>(mirrorDestination));
    Progress progress(std::move(onProgress));
    if (progress.report())
        return false;
    // The caller makes them; without them nothing of the card can be kept.
    for (const auto& target : destinations) {
        const QFileInfo info(target->root);
        if (!info.isDir())
            failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not create directory %1."),
                       target->root, info.exists() ? ENOTDIR : ENOENT);
    }
    progress.startTimers();
    progress.started = true;
    runStarted = QDateTime::currentDateTime();
    const std::vector<Session> sessions = listSessions(*device, progress);
    checkDestinations(sessions);
    for (const Session& session : sessions) {
        if (!copySession(*device, session, progress, onOverwrite, currentFolder))
            return false;
    }

    progress.percent = 100;
    progress.remainingTime = 0;
    progress.copiedBytes = progress.totalBytes;
    progress.report();
    currentFolder = destination;
    return true;
}

std::vector<Session> DownloadModel::listSessions(DeviceModel& device, Progress& progress)
{
    progress.pauseCopyingTimer();
    std::vector<Session> sessions = device.getSessions();
    if (cardSerialNumber.isEmpty() && !sessions.empty())
        cardSerialNumber = QString::fromStdString(device.deviceInfo().serialNumber);
    progress.resumeCopyingTimer();
    for (const Session& session : sessions)
        progress.totalBytes += qint64(session.dataSize);
    return sessions;
}

void DownloadModel::checkDestinations(const std::vector<Session>& sessions)
{
    if (destinations.size() > 1)
        refuseOverlappingFolders(destinations[0]->root, destinations[1]->root);
    for (const auto& target : destinations) {
        // An earlier backup's files are replaced one at a time, so only what is new needs
        // room.
        qint64 needed = 0;
        for (const Session& session : sessions)
            needed += std::max<qint64>(
                0, qint64(session.dataSize) -
                       dirSize(target->root + QLatin1Char('/') + sessionFolderName(session)));
        struct statvfs info
        {
        };
        if (::statvfs(QFile::encodeName(target->root).constData(), &info) != 0)
            failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not read %1."), target->root,
                       errno);
        const qint64 available = qint64(info.f_bavail) * qint64(info.f_frsize);
        if (needed <= available)
            continue;
        const QLocale locale;
        const QString message =
            QCoreApplication::translate(
                "QCoreApplication",
                "Not enough free space in %1: the backup needs %2, but only %3 are free. Nothing "
                "was written.")
                .arg(target->root, locale.formattedDataSize(needed, 1, QLocale::DataSizeSIFormat),
                     locale.formattedDataSize(available, 1, QLocale::DataSizeSIFormat));
        throw BackupError(message, BackupError::Side::Destination, target->root, ENOSPC);
    }
}

bool DownloadModel::copySession(DeviceModel& device, const Session& session, Progress& progress,
                                const OverwriteCallback& onOverwrite, QString& currentFolder)
{
    const QString mountPoint = presentSession(device, session, progress);
    if (progress.report())
        return false;

    const QString folderName = sessionFolderName(session);
    sessionRelative = QLatin1Char('/') + folderName;
    currentFolder = QDir::toNativeSeparators(destinations.front()->root + sessionRelative);
    std::vector<Destination*> all;
    for (const auto& target : destinations) {
        target->sessionFolder = target->root + sessionRelative;
        target->sessionFolderKept = false;
        target->sessionFolderMade = false;
        target->digests.clear();
        target->differing.clear();
        target->missing = 0;
        target->provenBytes = 0;
        all.push_back(target.get());
    }
    currentSession = &session;
    bool copied = false;
    try {
        planReads(mountPoint, sessionRelative, all, bool(onOverwrite));
        copied = copyTree(mountPoint, sessionRelative, all, progress, onOverwrite);
    } catch (...) {
        for (Destination* target : all)
            dropUnusedSessionFolder(*target);
        throw;
    }
    if (!copied) {
        for (Destination* target : all)
            dropUnusedSessionFolder(*target);
        return false;
    }
    for (Destination* target : all)
        if (!target->sessionFolderKept)
            writeProof(*target, session);
    // Kept files larger than their share must not take back what was counted.
    progress.copiedBytes += std::max<qint64>(
        0, progress.sessionBytes - progress.sessionCopiedBytes - progress.sessionSkippedBytes);
    progress.updateProgressTime();
    if (progress.report())
        return false;

    const QDateTime date = QDateTime::fromString(folderName.section(QLatin1Char('_'), 1),
                                                 QStringLiteral("yyyy-MM-ddTHH-mm-ss"));
    for (Destination* target : all) {
        // The checksum list changed the folder's time; without a date in the usual form the
        // card folder's time is the one to keep.
        const QDateTime time =
            date.isValid() || target->sessionFolderKept ? date : cardFolderTime(mountPoint);
        if (time.isValid()) {
            setFolderTime(target->sessionFolder, time);
            makeDurable(target->sessionFolder);
        }
        makeDurable(target->root);
    }
    return true;
}

QString DownloadModel::presentSession(DeviceModel& device, const Session& session,
                                      Progress& progress)
{
    progress.pauseCopyingTimer();
    device.switchToSession(int(session.id));
    progress.resumeCopyingTimer();
    QString mountPoint = device.getDeviceMountpoint();
    // An empty path would mean the current folder: copy nothing rather than that.
    if (mountPoint.isEmpty())
        failOnCard(QT_TRANSLATE_NOOP(
            "QCoreApplication",
            "Could not find the content of the card. Please check that it is mounted."));
    for (const auto& target : destinations)
        refuseBackupInto(mountPoint, target->root);
    refuseProofNames(mountPoint);
    // The scale of the progress: the bytes the copy will read, not the hidden ones.
    progress.sessionFileBytes = copyableSize(mountPoint);
    progress.sessionReadBytes = 0;
    progress.sessionCopiedBytes = 0;
    progress.sessionSkippedBytes = 0;
    progress.sessionBytes = qint64(session.dataSize);
    return mountPoint;
}

void DownloadModel::writeBufferToFile(QFile& file, const QByteArray& data)
{
    qint64 written = 0;
    while (written < data.size()) {
        const qint64 count = file.write(data.constData() + written, data.size() - written);
        if (count < 1) {
            // Right after the write, while errno still tells why.
            const int code = count < 0 ? errno : 0;
            const QString name = file.fileName();
            file.remove();
            failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not write data to %1."), name,
                       code);
        }
        written += count;
    }
}

bool DownloadModel::copyContent(const QString& source, const std::vector<QFile*>& outputs,
                                const Targets& targets, Progress& progress, CardDigests& digests,
                                QDateTime& modified)
{
    qint64 copiedSize = 0;
    Sha256 hash;
    CopyCheck check;
    for (;;) {
        DownloadReader::Piece piece = cardReader().next();
        if (piece.end) {
            if (piece.openFailed)
                failOnCard(QT_TRANSLATE_NOOP("QCoreApplication", "Could not open %1."), source,
                           piece.error);
            // A card taken out or changed mid-file may end the file early instead of failing
            // a read.
            if (piece.error != 0 || copiedSize < piece.sizeAtOpen)
                failOnCard(QT_TRANSLATE_NOOP("QCoreApplication", "Could not read %1."), source,
                           piece.error);
            modified = piece.modified;
            break;
        }
        const qint64 count = piece.size;
        copiedSize += count;
        const QByteArray data = QByteArray::fromRawData(piece.data.data(), int(count));
        if (data.startsWith(protectedDataMarker))
            failOnCard(QT_TRANSLATE_NOOP("QCoreApplication",
                                         "Memory device is encrypted, cannot copy data"));
        hash.add(data.constData(), count);
        check.add(data.constData(), count);
        writeChunk(data, copiedSize, outputs, targets);
        cardReader().recycle(std::move(piece.data));

        progress.addReadBytes(count);
        progress.updateProgressTime();
        if (progress.report())
            return false;
    }
    digests = {hash.result(), check.result()};
    return true;
}

void DownloadModel::writeChunk(const QByteArray& data, qint64 copiedSize,
                               const std::vector<QFile*>& outputs, const Targets& targets)
{
    for (size_t index = 0; index < outputs.size(); ++index) {
        QFile& output = *outputs[index];
        try {
            writeBufferToFile(output, data);
            // Large files go to the disk while the card is read, so that the batch's flush
            // finds little left; small ones are left to it, which writes them out in one go.
            if (copiedSize % writeBackStride == 0)
                ::sync_file_range(output.handle(), copiedSize - writeBackStride, writeBackStride,
                                  SYNC_FILE_RANGE_WRITE);
        } catch (const BackupError& error) {
            // The user knows the target's name, not the hidden partial file's.
            const QString& target = targets[index].second;
            const QString message =
                QString::fromUtf8(error.what()).replace(output.fileName(), target);
            throw BackupError(message, error.side, target, error.systemError);
        }
    }
}

bool DownloadModel::copy(QString source, // NOLINT(performance-unnecessary-value-param)
                         QString target, // NOLINT(performance-unnecessary-value-param)
                         Progress& progress)
{
    const ReaderRun run(reader);
    Destination alone(QFileInfo(target).path());
    return copyTo(source, {{&alone, target}}, progress);
}

bool DownloadModel::copyTo(const QString& source, const Targets& targets, Progress& progress)
{
    cardReader().start(source);
    std::vector<std::unique_ptr<PartialFile>> partials;
    std::vector<QFile*> outputs;
    for (const auto& [destination, target] : targets) {
        partials.push_back(std::make_unique<PartialFile>(target));
        if (!partials.back()->isOpen())
            failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not open %1."), target,
                       partials.back()->error());
        outputs.push_back(&partials.back()->file());
    }

    CardDigests digests;
    QDateTime modified;
    if (!copyContent(source, outputs, targets, progress, digests, modified))
        return false;
    for (size_t index = 0; index < targets.size(); ++index) {
        const auto& [destination, target] = targets[index];
        QFile& output = *outputs[index];
        if (!output.setFileTime(modified, QFileDevice::FileModificationTime))
            failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not set the file time of %1."),
                       target, errno);
        const QString partialName = output.fileName();
        const qint64 size = output.size();
        const int descriptor = partials[index]->release();
        if (descriptor < 0)
            failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not open %1."), target, errno);
        destination->digests.insert(target, digests.sha256);
        destination->provenBytes += size;
        // Durable and checked on the disk before it gets the final name.
        CopyBatch::Entry entry{partialName, target, descriptor, digests.sha256, digests.check};
        if (destination->commit) {
            destination->commit->add(std::move(entry), size);
            continue;
        }
        CopyBatch single(QString(), false);
        single.add(std::move(entry), size);
        single.commit(checkReader(*destination));
    }
    return true;
}

bool DownloadModel::copyRecursively(
    QString source, // NOLINT(performance-unnecessary-value-param)
    QString target, Progress& progress,
    OverwriteCallback onOverwrite) // NOLINT(performance-unnecessary-value-param)
{
    const ReaderRun run(reader);
    Destination alone(std::move(target));
    planReads(source, QString(), {&alone}, bool(onOverwrite));
    return copyTree(source, QString(), {&alone}, progress, onOverwrite);
}

bool DownloadModel::copyTree(const QString& source, const QString& relative,
                             const std::vector<Destination*>& active, Progress& progress,
                             const OverwriteCallback& onOverwrite)
{
    const QDir sourceDir(source);
    if (source.isEmpty() || !sourceDir.exists())
        failOnCard(QT_TRANSLATE_NOOP("QCoreApplication", "Could not find %1."), source);
    if (const int error = listingError(source))
        failOnCard(QT_TRANSLATE_NOOP("QCoreApplication", "Could not read %1."), source, error);
    const bool sessionRoot = !relative.isEmpty() && relative == sessionRelative;
    std::vector<Destination*> into;
    std::vector<Destination*> existing;
    for (Destination* destination : active) {
        const QString target = destination->root + relative;
        const QFileInfo info(target);
        if (!info.exists()) {
            makeFolder(target);
            destination->sessionFolderMade = destination->sessionFolderMade || sessionRoot;
            into.push_back(destination);
        } else if (!info.isDir()) {
            failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not create directory %1."),
                       target, ENOTDIR);
        } else {
            existing.push_back(destination);
        }
    }
    if (!existing.empty() && onOverwrite &&
        !askOverwrite(onOverwrite, progress, existing.front()->root + relative, false)) {
        for (Destination* destination : existing) {
            if (sessionRoot)
                destination->sessionFolderKept = true;
            else
                proveKeptFolder(*destination, source, destination->root + relative);
        }
        existing.clear();
    }
    into.insert(into.end(), existing.begin(), existing.end());
    settleFolder(relative, into.empty());
    if (into.empty())
        return true;
    if (sessionRoot && currentSession)
        for (Destination* destination : into)
            startSessionFolder(*destination, *currentSession);

    if (!copyFiles(source, relative, into, progress, onOverwrite))
        return false;

    for (const QString& name : copyableFolders(source)) {
        if (!copyTree(source + QLatin1Char('/') + name, relative + QLatin1Char('/') + name, into,
                      progress, onOverwrite))
            return false;
    }

    const QDateTime time = cardFolderTime(source);
    for (Destination* destination : into) {
        setFolderTime(destination->root + relative, time);
        makeDurable(destination->root + relative);
    }
    return true;
}

bool DownloadModel::copyFiles(const QString& source, const QString& relative,
                              const std::vector<Destination*>& active, Progress& progress,
                              const OverwriteCallback& onOverwrite)
{
    auto copyAll = [&] {
        for (const QString& name : copyableFiles(source)) {
            const QString sourcePath = source + QLatin1Char('/') + name;
            const QString path = relative + QLatin1Char('/') + name;
            Targets writes;
            Targets existing;
            for (Destination* destination : active)
                (QFileInfo::exists(destination->root + path) ? existing : writes)
                    .emplace_back(destination, destination->root + path);
            if (!existing.empty() && onOverwrite &&
                !askOverwrite(onOverwrite, progress, existing.front().second, true)) {
                QByteArray cardDigest;
                for (const auto& [destination, target] : existing)
                    proveKeptFile(*destination, sourcePath, target, cardDigest);
                const qint64 kept = QFileInfo(existing.front().second).size();
                existing.clear();
                if (writes.empty()) {
                    settleFile(sourcePath, false);
                    progress.skippedBytes += kept;
                    progress.sessionSkippedBytes += kept;
                    progress.updateProgressTime();
                    if (progress.report())
                        return false;
                    continue;
                }
            }
            settleFile(sourcePath, true);
            writes.insert(writes.end(), existing.begin(), existing.end());
            if (!copyTo(sourcePath, writes, progress))
                return false;
        }
        return true;
    };
    std::vector<std::unique_ptr<FolderCommit>> commits;
    for (Destination* destination : active) {
        removeLeftovers(destination->root + relative);
        commits.push_back(std::make_unique<FolderCommit>(destination->root + relative,
                                                         checkReader(*destination)));
        destination->commit = commits.back().get();
    }
    auto detach = [&] {
        for (Destination* destination : active)
            destination->commit = nullptr;
    };
    bool completed = false;
    try {
        completed = copyAll();
    } catch (...) {
        detach();
        for (const auto& commit : commits)
            commit->finishQuietly();
        throw;
    }
    detach();
    // Also when cancelled: the copies already complete stay, and a failed flush is reported.
    for (const auto& commit : commits)
        commit->finish();
    return completed;
}

void DownloadModel::proveKeptFile(Destination& destination, const QString& source,
                                  const QString& target, QByteArray& cardDigest)
{
    // Its own reader: the folders' batches use theirs on their own threads.
    if (!keptFileReader)
        keptFileReader = std::make_unique<DigestReader>();
    if (cardDigest.isEmpty())
        cardDigest = keptFileReader->ofFile(source);
    if (cardDigest.isEmpty())
        failOnCard(QT_TRANSLATE_NOOP("QCoreApplication", "Could not read %1."), source, errno);
    const QByteArray disk = keptFileReader->ofFile(target);
    if (disk.isEmpty())
        failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not read %1."), target, errno);
    const qint64 diskSize = QFileInfo(target).size();
    if (disk == cardDigest) {
        destination.digests.insert(target, cardDigest);
        destination.provenBytes += diskSize;
        return;
    }
    destination.differing << QStringLiteral("Differs from card: %1 (disk %2 bytes, card %3 bytes, "
                                            "card SHA-256 %4)")
                                 .arg(relativeTo(destination.sessionFolder, target),
                                      QString::number(diskSize),
                                      QString::number(QFileInfo(source).size()),
                                      QString::fromLatin1(cardDigest.toHex()));
}

void DownloadModel::proveKeptFolder(Destination& destination, const QString& source,
                                    const QString& target)
{
    if (const int error = listingError(source))
        failOnCard(QT_TRANSLATE_NOOP("QCoreApplication", "Could not read %1."), source, error);
    for (const QString& name : copyableFiles(source)) {
        const QString targetPath = target + QLatin1Char('/') + name;
        QByteArray cardDigest;
        if (QFileInfo::exists(targetPath))
            proveKeptFile(destination, source + QLatin1Char('/') + name, targetPath, cardDigest);
        else
            ++destination.missing;
    }
    for (const QString& name : copyableFolders(source))
        proveKeptFolder(destination, source + QLatin1Char('/') + name,
                        target + QLatin1Char('/') + name);
}

void DownloadModel::startSessionFolder(Destination& destination, const Session& session)
{
    const QString& folder = destination.sessionFolder;
    try {
        // A checksum list that would not match the folder while it changes is no proof.
        const QString manifest = folder + QLatin1Char('/') + manifestName;
        if (QFileInfo::exists(manifest) && !QFile::remove(manifest))
            failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not overwrite %1."), manifest,
                       errno);
        // Whatever stops the run from now on leaves the folder marked as incomplete.
        writeRecord(destination, session, false);
        makeDurable(folder);
        destination.summary.incompleteSession = QFileInfo(folder).fileName();
    } catch (...) {
        dropUnusedSessionFolder(destination);
        throw;
    }
}

void DownloadModel::dropUnusedSessionFolder(Destination& destination)
{
    if (!destination.sessionFolderMade)
        return;
    const QString& folder = destination.sessionFolder;
    const QStringList left = filesBelow(folder);
    if (left.isEmpty() || left == QStringList{folder + QLatin1Char('/') + recordName}) {
        QDir(folder).removeRecursively();
        destination.summary.incompleteSession.clear();
    }
}

void DownloadModel::writeRecord(const Destination& destination, const Session& session,
                                bool complete)
{
    QString record = QStringLiteral("Card serial number: %1\nSession: %2\nSession date: %3\n"
                                    "Application: vaultdesk %4\nBackup started: %5\n")
                         .arg(cardSerialNumber, QString::number(session.id),
                              QString::fromStdString(session.dateTime), QStringLiteral(VIX_VERSION),
                              timeText(runStarted));
    if (complete)
        record +=
            QStringLiteral("Backup finished: %1\n").arg(timeText(QDateTime::currentDateTime()));
    record +=
        complete ? QStringLiteral("Status: complete\n") : QStringLiteral("Status: incomplete\n");
    for (const QString& line : destination.differing)
        record += line + QLatin1Char('\n');
    writeSmallFile(destination.sessionFolder + QLatin1Char('/') + recordName, record.toUtf8());
}

void DownloadModel::writeProof(Destination& destination, const Session& session)
{
    const QString& folder = destination.sessionFolder;
    // Only what was proven to hold the card's bytes is listed, nothing else the folder holds.
    QStringList names;
    for (auto it = destination.digests.cbegin(); it != destination.digests.cend(); ++it)
        names << relativeTo(folder, it.key());
    names.sort();
    const bool complete = destination.missing == 0;
    if (complete) {
        QByteArray manifest;
        for (const QString& name : qAsConst(names))
            manifest +=
                checksumLine(destination.digests.value(folder + QLatin1Char('/') + name), name);
        writeSmallFile(folder + QLatin1Char('/') + manifestName, manifest);
    }
    // Last: until the record says complete, the folder counts as incomplete.
    writeRecord(destination, session, complete);
    BackupSummary& summary = destination.summary;
    summary.files += int(destination.digests.size());
    summary.bytes += destination.provenBytes;
    summary.keptDiffering += int(destination.differing.size());
    summary.missing += destination.missing;
    if (complete) {
        summary.provenSessions << QFileInfo(folder).fileName();
        summary.incompleteSession.clear();
    }
}

void DownloadModel::writeSmallFile(const QString& path, const QByteArray& content)
{
    PartialFile partial(path);
    if (!partial.isOpen())
        failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not open %1."), path,
                   partial.error());
    writeBufferToFile(partial.file(), content);
    if (::fsync(partial.file().handle()) != 0)
        failOnDisk(QT_TRANSLATE_NOOP("QCoreApplication", "Could not write data to %1."), path,
                   errno);
    if (!partial.rename(path))
        failRename(path);
}

DigestReader* DownloadModel::checkReader(Destination& destination)
{
    if (!checksCopiesOnDisk())
        return nullptr;
    if (!destination.reader)
        destination.reader = std::make_unique<DigestReader>();
    return destination.reader.get();
}

DownloadReader& DownloadModel::cardReader()
{
    if (!reader)
        reader = std::make_unique<DownloadReader>(size_t(chunkSize), chunksAhead);
    return *reader;
}

void DownloadModel::planReads(const QString& source, const QString& relative,
                              const std::vector<Destination*>& active, bool asks)
{
    planSource = source;
    planRelative = relative;
    planned.clear();
    plannedNext = 0;
    planAsks = asks;
    clearFolders.clear();
    keptFolders.clear();
    planRoots.clear();
    for (const Destination* destination : active)
        planRoots << destination->root;
    listPlanned(source, QString());
    readAhead();
}

void DownloadModel::listPlanned(const QString& folder, const QString& below)
{
    for (const QString& name : copyableFiles(folder))
        planned << below + QLatin1Char('/') + name;
    for (const QString& name : copyableFolders(folder))
        listPlanned(folder + QLatin1Char('/') + name, below + QLatin1Char('/') + name);
}

void DownloadModel::readAhead()
{
    for (; plannedNext < planned.size(); ++plannedNext) {
        const Turn turn = turnOf(planned[plannedNext]);
        if (turn == Turn::Wait)
            return;
        if (turn == Turn::Read)
            cardReader().add(planSource + planned[plannedNext]);
    }
}

DownloadModel::Turn DownloadModel::turnOf(const QString& file) const
{
    if (!planAsks)
        return Turn::Read;
    // From the top down: a folder the copy has not made yet is new, and so is all it holds.
    QString folder = planRelative;
    const QStringList parts = file.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (int depth = 0; depth < parts.size(); ++depth) {
        if (keptFolders.contains(folder))
            return Turn::Skip;
        if (!clearFolders.contains(folder))
            return existsInAnyDestination(folder) ? Turn::Wait : Turn::Read;
        folder += QLatin1Char('/') + parts[depth];
    }
    return existsInAnyDestination(folder) ? Turn::Wait : Turn::Read;
}

bool DownloadModel::existsInAnyDestination(const QString& relative) const
{
    return std::any_of(planRoots.begin(), planRoots.end(),
                       [&](const QString& root) { return QFileInfo::exists(root + relative); });
}

void DownloadModel::settleFile(const QString& source, bool read)
{
    if (plannedNext < planned.size() && planSource + planned[plannedNext] == source) {
        if (read)
            cardReader().add(source);
        ++plannedNext;
    }
    readAhead();
}

void DownloadModel::settleFolder(const QString& relative, bool kept)
{
    (kept ? keptFolders : clearFolders).insert(relative);
    readAhead();
}

bool DownloadModel::checksCopiesOnDisk() const
{
    return true;
}

qint64 DownloadModel::copyableSize(const QString& path)
{
    qint64 size = 0;
    for (const QString& name : copyableFiles(path))
        size += QFileInfo(path + QLatin1Char('/') + name).size();
    for (const QString& name : copyableFolders(path))
        size += copyableSize(path + QLatin1Char('/') + name);
    return size;
}

qint64 DownloadModel::dirSize(const QString& path)
{
    if (path.isEmpty())
        return 0;
    const QDir directory(path);
    qint64 size = 0;
    const QFileInfoList files =
        directory.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QFileInfo& file : files)
        size += file.size();
    const QStringList folders = directory.entryList(QDir::Dirs | QDir::Hidden | QDir::System |
                                                        QDir::NoDotAndDotDot | QDir::NoSymLinks,
                                                    QDir::Unsorted);
    for (const QString& name : folders)
        size += dirSize(path + QLatin1Char('/') + name);
    return size;
}
