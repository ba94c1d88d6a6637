#include "downloadmodel.h"

#include "utils.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

const qint64 chunkSize = 1 << 20;
const QByteArray protectedDataMarker = QByteArrayLiteral("*PROTECTED DATA*");
const QString communicationFileName = QStringLiteral("__communicationFile");
const QString systemFolderName = QStringLiteral("System Volume Information");

// The system's reason, when there is one, tells a full disk from a removed card.
[[noreturn]] void fail(const char* text, const QString& path = {}, const QString& reason = {})
{
    QString message = QCoreApplication::translate("QCoreApplication", text);
    if (message.contains(QLatin1String("%1")))
        message = message.arg(path);
    if (!reason.isEmpty())
        message += QLatin1Char(' ') + reason + QLatin1Char('.');
    throw std::runtime_error(message.toStdString());
}

QString systemReason(int code)
{
    return code == 0 ? QString() : QString::fromLocal8Bit(std::strerror(code));
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

// A backup into the card would copy itself again at every level, onto the card.
void refuseBackupInto(const QString& mountPoint, const QString& destination)
{
    const QString card = QFileInfo(mountPoint).canonicalFilePath();
    const QString backup = QFileInfo(destination).canonicalFilePath();
    if (card.isEmpty() || backup.isEmpty())
        return; // the copy itself reports what is missing
    const QString inside = card.endsWith(QLatin1Char('/')) ? card : card + QLatin1Char('/');
    if (backup == card || backup.startsWith(inside))
        fail(QT_TRANSLATE_NOOP(
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

void makeDurable(const QString& folder)
{
    if (!syncDirectory(folder))
        fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not write data to %1."), folder,
             systemReason(errno));
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
    const QString reason = systemReason(errno);
    if (QFileInfo::exists(target))
        fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not overwrite %1."), target, reason);
    fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not copy to %1."), target, reason);
}

void makeFolder(const QString& folder)
{
    if (::mkdir(QFile::encodeName(folder).constData(), 0777) != 0)
        fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not create directory %1."), folder,
             systemReason(errno));
}

void setFolderTime(const QString& folder, const QDateTime& time)
{
    errno = 0; // an invalid time fails without a system call
    if (!fileChangeModificationDate(folder, time))
        fail(QT_TRANSLATE_NOOP("QCoreApplication",
                               "Could not change the modification date of directory %1."),
             folder, systemReason(errno));
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
            output.setFileName(folder +
                               QStringLiteral("/.vix-%1.part").arg(suffix, 16, 16, QChar('0')));
            output.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
        }
        owned = output.isOpen();
    }
    ~PartialFile()
    {
        if (owned)
            output.remove();
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    bool isOpen() const { return output.isOpen(); }
    QFile& file() { return output; }
    // Hands the closed file over to the caller, who removes it if need be.
    QString release()
    {
        output.close();
        owned = false;
        return output.fileName();
    }
    bool rename(const QString& target)
    {
        if (renameFile(output.fileName(), target))
            owned = false;
        return !owned;
    }

private:
    QFile output;
    bool owned = false; // removed by the destructor
};

} // namespace

// Completed copies of one folder, waiting to be flushed to disk and to get their names. One
// file system flush for the batch costs far less than one device flush per small file.
class DownloadModel::CopyBatch
{
public:
    // Opened before the copies are written: the flush then reports a write-back error of
    // theirs even when another program's flush has seen it first.
    explicit CopyBatch(const QString& folder)
        : fileSystem(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_CLOEXEC)),
          openError(fileSystem < 0 ? errno : 0)
    {
    }
    CopyBatch(const CopyBatch&) = delete;
    CopyBatch& operator=(const CopyBatch&) = delete;
    ~CopyBatch()
    {
        for (const Entry& entry : pending)
            QFile::remove(entry.partial);
        if (fileSystem >= 0)
            ::close(fileSystem);
    }

    void add(const QString& partial, const QString& target, qint64 size)
    {
        pending.push_back({partial, target});
        bytes += size;
    }
    bool full() const { return pending.size() >= maxFiles || bytes >= maxBytes; }

    // Flushes every pending copy, then gives each its name.
    void commit()
    {
        if (pending.empty())
            return;
        if (fileSystem < 0 || ::syncfs(fileSystem) != 0)
            fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not write data to %1."),
                 pending.front().target, systemReason(fileSystem < 0 ? openError : errno));
        while (!pending.empty()) {
            const Entry& entry = pending.front();
            if (!renameFile(entry.partial, entry.target))
                failRename(entry.target);
            pending.erase(pending.begin());
        }
        bytes = 0;
    }

    // On the way out of a cancelled or failed folder: what was copied stays, if it can.
    void commitQuietly() noexcept
    {
        try {
            commit();
        } catch (...) {
        }
    }

private:
    struct Entry
    {
        QString partial;
        QString target;
    };

    static constexpr size_t maxFiles = 256;
    static constexpr qint64 maxBytes = qint64(256) << 20;
    const int fileSystem;
    const int openError;
    std::vector<Entry> pending;
    qint64 bytes = 0;
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
    const float mebibytes = float(copiedBytes / (1 << 20));
    speed = mebibytes / (float(copyingTime) / 1000.0f);
    const float rate = mebibytes / (float(elapsedTime) / 1000.0f);
    // Also no estimate from an infinite rate: converting it to an integer is undefined.
    if (rate == 0 || !std::isfinite(rate))
        return;
    const float remainingBytes = float(totalBytes - copiedBytes - skippedBytes);
    remainingTime = std::max<qint64>(0, qint64(remainingBytes / (rate * 1024 * 1024) * 1000));
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

DownloadModel::~DownloadModel() = default;

QString DownloadModel::sessionFolderName(const Session& session)
{
    QString name = QString::number(session.id);
    if (!session.dateTime.empty()) {
        QString date = QString::fromStdString(session.dateTime);
        name += QLatin1Char('_') + safeFolderComponent(date.replace(QLatin1Char(':'), '-'));
    }
    return name;
}

bool DownloadModel::CopyFilesFromDevice(std::shared_ptr<DeviceModel> device, QString destination,
                                        ProgressCallback onProgress, OverwriteCallback onOverwrite,
                                        QString& currentFolder)
{
    Progress progress(std::move(onProgress));
    if (progress.report())
        return false;
    // The caller makes it; without it nothing of the card can be kept.
    const QFileInfo destinationInfo(destination);
    if (!destinationInfo.isDir())
        fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not create directory %1."), destination,
             systemReason(destinationInfo.exists() ? ENOTDIR : ENOENT));
    progress.startTimers();
    progress.started = true;
    progress.pauseCopyingTimer();
    const std::vector<Session> sessions = device->getSessions();
    progress.resumeCopyingTimer();
    for (const Session& session : sessions)
        progress.totalBytes += qint64(session.dataSize);

    for (const Session& session : sessions) {
        progress.pauseCopyingTimer();
        device->switchToSession(int(session.id));
        progress.resumeCopyingTimer();
        const QString mountPoint = device->getDeviceMountpoint();
        // An empty path would mean the current folder: copy nothing rather than that.
        if (mountPoint.isEmpty())
            fail(QT_TRANSLATE_NOOP(
                "QCoreApplication",
                "Could not find the content of the card. Please check that it is mounted."));
        refuseBackupInto(mountPoint, destination);
        progress.sessionFileBytes = dirSize(mountPoint);
        progress.sessionCopiedBytes = 0;
        progress.sessionSkippedBytes = 0;
        progress.sessionBytes = qint64(session.dataSize);
        if (progress.report())
            return false;

        const QString folderName = sessionFolderName(session);
        currentFolder = QDir::toNativeSeparators(destination + QLatin1Char('/') + folderName);
        if (!copyRecursively(mountPoint, currentFolder, progress, onOverwrite))
            return false;
        progress.copiedBytes +=
            progress.sessionBytes - progress.sessionCopiedBytes - progress.sessionSkippedBytes;
        progress.updateProgressTime();
        if (progress.report())
            return false;

        if (!session.dateTime.empty()) {
            const QDateTime time = QDateTime::fromString(folderName.section(QLatin1Char('_'), 1),
                                                         QStringLiteral("yyyy-MM-ddTHH-mm-ss"));
            // A date the card could not give in the usual form leaves the folder's own time.
            if (time.isValid())
                setFolderTime(currentFolder, time);
            makeDurable(currentFolder);
        }
        makeDurable(destination);
    }

    progress.percent = 100;
    progress.remainingTime = 0;
    progress.copiedBytes = progress.totalBytes;
    progress.report();
    currentFolder = destination;
    return true;
}

void DownloadModel::writeBufferToFile(QFile& file, const QByteArray& data)
{
    qint64 written = 0;
    while (written < data.size()) {
        const qint64 count = file.write(data.constData() + written, data.size() - written);
        if (count < 1) {
            const QString name = file.fileName();
            const QString reason = file.errorString();
            file.remove();
            fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not write data to %1."), name,
                 reason);
        }
        written += count;
    }
}

bool DownloadModel::copy(QString source, QString target, Progress& progress)
{
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not open %1."), source,
             input.errorString());
    PartialFile partial(target);
    if (!partial.isOpen())
        fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not open %1."), target,
             partial.file().errorString());
    QFile& output = partial.file();
    const QString partialName = output.fileName();

    // A card taken out or changed mid-file may end the file early instead of failing a read.
    const qint64 sourceSize = input.size();
    qint64 copiedSize = 0;
    QByteArray buffer(int(chunkSize), Qt::Uninitialized);
    for (;;) {
        const qint64 count = input.read(buffer.data(), chunkSize);
        if (count < 0)
            fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not read %1."), source,
                 input.errorString());
        if (count == 0)
            break;
        copiedSize += count;
        const QByteArray chunk = QByteArray::fromRawData(buffer.constData(), int(count));
        if (chunk.startsWith(protectedDataMarker))
            fail(QT_TRANSLATE_NOOP("QCoreApplication",
                                   "Memory device is encrypted, cannot copy data"));
        try {
            writeBufferToFile(output, chunk);
        } catch (const std::runtime_error& error) {
            // The user knows the target's name, not the hidden partial file's.
            const QString message = QString::fromUtf8(error.what()).replace(partialName, target);
            throw std::runtime_error(message.toStdString());
        }

        const qint64 step = progress.sessionFileBytes > 0
                                ? progress.sessionBytes * chunkSize / progress.sessionFileBytes
                                : count;
        const qint64 increment =
            std::min(step, progress.sessionBytes - progress.sessionCopiedBytes);
        progress.copiedBytes += increment;
        progress.sessionCopiedBytes += increment;
        progress.updateProgressTime();
        if (progress.report())
            return false;
    }

    if (copiedSize < sourceSize)
        fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not read %1."), source);
    if (!output.setFileTime(input.fileTime(QFileDevice::FileModificationTime),
                            QFileDevice::FileModificationTime))
        fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not set the file time of %1."), target,
             output.errorString());
    // Durable before it gets the final name: a reported copy survives a power cut.
    if (batch) {
        const qint64 size = output.size();
        batch->add(partial.release(), target, size);
        if (batch->full())
            batch->commit();
        return true;
    }
    if (::fsync(output.handle()) != 0)
        fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not write data to %1."), target,
             systemReason(errno));
    if (!partial.rename(target))
        failRename(target);
    return true;
}

bool DownloadModel::copyRecursively(QString source, QString target, Progress& progress,
                                    OverwriteCallback onOverwrite)
{
    const QDir sourceDir(source);
    if (source.isEmpty() || !sourceDir.exists())
        fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not find %1."), source);
    if (const int error = listingError(source))
        fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not read %1."), source,
             systemReason(error));
    const QFileInfo targetInfo(target);
    if (!targetInfo.exists()) {
        makeFolder(target);
    } else if (!targetInfo.isDir()) {
        fail(QT_TRANSLATE_NOOP("QCoreApplication", "Could not create directory %1."), target,
             systemReason(ENOTDIR));
    } else if (onOverwrite && !askOverwrite(onOverwrite, progress, target, false)) {
        return true;
    }

    if (!copyFiles(source, target, progress, onOverwrite))
        return false;

    // Symbolic links to folders are not followed: a link to a parent would never end.
    const QStringList folders =
        sourceDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Unsorted);
    for (const QString& name : folders) {
        if (name == systemFolderName)
            continue;
        if (!copyRecursively(source + QLatin1Char('/') + name, target + QLatin1Char('/') + name,
                             progress, onOverwrite))
            return false;
    }

    setFolderTime(target, QFileInfo(source).lastModified());
    makeDurable(target);
    return true;
}

bool DownloadModel::copyFiles(const QString& source, const QString& target, Progress& progress,
                              const OverwriteCallback& onOverwrite)
{
    auto copyAll = [&] {
        const QStringList files = QDir(source).entryList(QDir::Files, QDir::Unsorted);
        for (const QString& name : files) {
            if (name == communicationFileName)
                continue;
            const QString sourcePath = source + QLatin1Char('/') + name;
            const QString targetPath = target + QLatin1Char('/') + name;
            if (onOverwrite && QFileInfo::exists(targetPath) &&
                !askOverwrite(onOverwrite, progress, targetPath, true)) {
                const qint64 kept = QFileInfo(targetPath).size();
                progress.skippedBytes += kept;
                progress.sessionSkippedBytes += kept;
                progress.updateProgressTime();
                if (progress.report())
                    return false;
                continue;
            }
            if (!copy(sourcePath, targetPath, progress))
                return false;
        }
        return true;
    };
    if (!flushesWithTheFileSystem(target))
        return copyAll();
    CopyBatch folderBatch(target);
    batch = &folderBatch;
    bool completed = false;
    try {
        completed = copyAll();
    } catch (...) {
        batch = nullptr;
        folderBatch.commitQuietly();
        throw;
    }
    batch = nullptr;
    if (!completed) {
        folderBatch.commitQuietly();
        return false;
    }
    folderBatch.commit();
    return true;
}

qint64 DownloadModel::dirSize(QString path)
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
