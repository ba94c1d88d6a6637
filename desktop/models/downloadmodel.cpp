#include "downloadmodel.h"

#include "utils.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <unistd.h>

namespace {

const qint64 chunkSize = 1 << 20;
const QByteArray protectedDataMarker = QByteArrayLiteral("*PROTECTED DATA*");
const QString communicationFileName = QStringLiteral("__communicationFile");
const QString systemFolderName = QStringLiteral("System Volume Information");

[[noreturn]] void fail(const char* text, const QString& path = {})
{
    QString message = QCoreApplication::translate("QCoreApplication", text);
    if (message.contains(QLatin1String("%1")))
        message = message.arg(path);
    throw std::runtime_error(message.toStdString());
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
        fail("Could not write data to %1.", folder);
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

} // namespace

Progress::Progress(std::function<bool(const Progress&)> callback) : callback(std::move(callback)) {}

Progress::~Progress() = default;

void Progress::updateProgressTime()
{
    elapsedTime = getElapsedTime();
    if (totalBytes != 0)
        percent = int((copiedBytes + skippedBytes) * 100 / totalBytes);
    copyingTime = getCopyingTime();
    const float mebibytes = float(copiedBytes / (1 << 20));
    speed = mebibytes / (float(copyingTime) / 1000.0f);
    const float rate = mebibytes / (float(elapsedTime) / 1000.0f);
    // Also no estimate from an infinite rate: converting it to an integer is undefined.
    if (rate == 0 || !std::isfinite(rate))
        return;
    const float remainingBytes = float(totalBytes - copiedBytes - skippedBytes);
    remainingTime = qint64(remainingBytes / (rate * 1024 * 1024) * 1000);
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
            fail("Could not find the content of the card. Please check that it is mounted.");
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
            if (time.isValid() && !fileChangeModificationDate(currentFolder, time))
                fail("Could not change the modification date of directory %1.", currentFolder);
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
            file.remove();
            fail("Could not write data to %1.", name);
        }
        written += count;
    }
}

bool DownloadModel::copy(QString source, QString target, Progress& progress)
{
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        fail("Could not open %1.", source);
    // Removed by its destructor unless the copy completes, also when an exception passes.
    QTemporaryFile temporary(target);
    if (!temporary.open())
        fail("Could not open %1.", target);

    QByteArray buffer(int(chunkSize), Qt::Uninitialized);
    for (;;) {
        const qint64 count = input.read(buffer.data(), chunkSize);
        if (count < 0)
            fail("Could not read %1.", source);
        if (count == 0)
            break;
        const QByteArray chunk = QByteArray::fromRawData(buffer.constData(), int(count));
        if (chunk.startsWith(protectedDataMarker))
            fail("Memory device is encrypted, cannot copy data");
        writeBufferToFile(temporary, chunk);

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

    // Buffered data written later would change the time again.
    if (!temporary.flush())
        fail("Could not write data to %1.", target);
    if (!temporary.setFileTime(input.fileTime(QFileDevice::FileModificationTime),
                               QFileDevice::FileModificationTime))
        fail("Could not set the file time of %1.", target);
    temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadGroup | QFileDevice::ReadOther);
    // Durable before it gets the final name: a reported copy survives a power cut.
    if (::fsync(temporary.handle()) != 0)
        fail("Could not write data to %1.", target);
    // rename() replaces an existing file in one step, so the old copy stays until the new one
    // is complete.
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(target).constData()) != 0) {
        if (QFileInfo::exists(target))
            fail("Could not overwrite %1.", target);
        fail("Could not copy to %1.", target);
    }
    temporary.setAutoRemove(false);
    return true;
}

bool DownloadModel::copyRecursively(QString source, QString target, Progress& progress,
                                    OverwriteCallback onOverwrite)
{
    const QDir sourceDir(source);
    if (source.isEmpty() || !sourceDir.exists())
        fail("Could not find %1.", source);
    const QFileInfo targetInfo(target);
    if (!targetInfo.exists()) {
        if (!QDir().mkdir(target))
            fail("Could not create directory %1.", target);
    } else if (!targetInfo.isDir()) {
        fail("Could not create directory %1.", target);
    } else if (onOverwrite && !askOverwrite(onOverwrite, progress, target, false)) {
        return true;
    }

    const QStringList files = sourceDir.entryList(QDir::Files, QDir::Unsorted);
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

    if (!fileChangeModificationDate(target, QFileInfo(source).lastModified()))
        fail("Could not change the modification date of directory %1.", target);
    makeDurable(target);
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
