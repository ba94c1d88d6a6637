#include "downloadViewModel.h"

#include "downloadmodel.h"

#include <QDir>
#include <QLocale>

#include <cerrno>

#include <algorithm>
#include <functional>

namespace {
// Whole minutes, however many hours a run takes.
QString minutesOf(qint64 milliseconds)
{
    return QString::number(std::max<qint64>(0, milliseconds) / 60000);
}

QString secondsOf(qint64 milliseconds)
{
    return QString::number(std::max<qint64>(0, milliseconds) / 1000 % 60);
}
} // namespace

DownloadViewModel::DownloadViewModel(QString mountPoint, DownloadModel* model,
                                     std::shared_ptr<DeviceModel> device, QObject* parent)
    : ViewModel(parent), mountPoint(std::move(mountPoint)), model(model), device(std::move(device))
{
}

DownloadViewModel::~DownloadViewModel()
{
    delete model;
}

void DownloadViewModel::login(const QString& pin)
{
    runCardCall(
        this, [this](const QString& error) { setLoginErrorMessage(error); },
        [&] {
            device->login(SecretUtf8(pin));
            emit loginSucceeded();
        });
}

QString DownloadViewModel::backupFolderFor(const QString& folder,
                                           const std::string& serialNumber) const
{
    return QDir::toNativeSeparators(folder + QStringLiteral("/tresora_archive") +
                                    QStringLiteral("_export_") +
                                    QString::fromStdString(serialNumber));
}

void DownloadViewModel::copyFiles()
{
    // An empty destination would put the backup at the root of the file system.
    if (destinationPath().isEmpty()) {
        setErrorMessage(tr("No backup folder was chosen. Please select a folder for the backup."));
        emit backupFailed();
        return;
    }
    try {
        runBackup();
    } catch (const std::exception& error) {
        removeEmptyFoldersMade();
        // Nothing may escape into the worker thread's event loop.
        setErrorMessage(failureText(error));
        emit backupFailed();
    }
}

void DownloadViewModel::runBackup()
{
    using namespace std::placeholders;
    const DownloadModel::ProgressCallback onProgress =
        std::bind(&DownloadViewModel::callBackBackupProgress, this, _1);
    const DownloadModel::OverwriteCallback onOverwrite =
        std::bind(&DownloadViewModel::callBackOverwriteBackup, this, _1, _2);
    // The serial number read is a card call like the others: its failure fails the run.
    const std::string serialNumber = device->deviceInfo().serialNumber;
    const QString backupFolder = backupFolderFor(destinationPath(), serialNumber);
    const QString mirrorFolder = mirrorFolderPath().isEmpty()
                                     ? QString()
                                     : backupFolderFor(mirrorFolderPath(), serialNumber);
    if (!mirrorFolder.isEmpty())
        DownloadModel::refuseOverlappingFolders(destinationPath(), mirrorFolderPath());
    model->setCardSerialNumber(QString::fromStdString(serialNumber));
    model->setMirrorDestination(mirrorFolder);
    foldersMade.clear();
    for (const QString& folder : {backupFolder, mirrorFolder})
        if (!folder.isEmpty() && DownloadModel::makeFolderIfMissing(folder))
            foldersMade << folder;
    QString resultPath;
    const bool completed =
        model->CopyFilesFromDevice(device, backupFolder, onProgress, onOverwrite, resultPath);
    if (m_cardRemoved)
        throw std::runtime_error(tr("The backup was stopped.").toStdString());
    if (!completed) {
        removeEmptyFoldersMade();
        emit backupCanceled();
        return;
    }
    setBackupProgress(100);
    setBackupPath(resultPath);
    setMirrorBackupPath(mirrorFolder);
    reportSuccess();
}

void DownloadViewModel::removeEmptyFoldersMade()
{
    for (const QString& folder : std::as_const(foldersMade))
        QDir().rmdir(folder);
    foldersMade.clear();
}

void DownloadViewModel::reportSuccess()
{
    const QLocale locale;
    QStringList lines;
    int proven = 0;
    int differing = 0;
    int missing = 0;
    for (const BackupSummary& summary : model->summaries()) {
        lines << tr("Backup in %1 - sessions: %2, files: %3, size: %4.")
                     .arg(QDir::toNativeSeparators(summary.folder))
                     .arg(summary.provenSessions.size())
                     .arg(summary.files)
                     .arg(locale.formattedDataSize(summary.bytes, 1, QLocale::DataSizeSIFormat));
        proven += summary.files;
        differing += summary.keptDiffering;
        missing += summary.missing;
    }
    if (proven > 0)
        lines << tr("Every copy was read back from the disk and matches the card.");
    if (differing > 0)
        lines << tr("Warning: files kept although they differ from the card's: %1. They are not "
                    "in the checksum list; the record vix-backup.txt of their session names them.")
                     .arg(differing);
    if (missing > 0)
        lines << tr("Warning: files of the card missing from folders you chose to keep: %1. Their "
                    "sessions are marked incomplete.")
                     .arg(missing);
    setBackupWarning(differing > 0 || missing > 0);
    setBackupSummary(lines.join(QLatin1Char('\n')));
    emit backupFinished();
}

QString DownloadViewModel::failureText(const std::exception& error) const
{
    const QString headline = failureHeadline(error);
    const QString details = deviceErrorText(error);
    return (headline.isEmpty() ? details : headline + QLatin1Char('\n') + details) +
           QLatin1String("\n\n") + sessionStateText();
}

QString DownloadViewModel::failureHeadline(const std::exception& error) const
{
    const auto* backupError = dynamic_cast<const BackupError*>(&error);
    const bool onDestination = backupError && backupError->side == BackupError::Side::Destination;
    if (!onDestination) {
        if (m_cardRemoved || !device->isConnectedToSystem())
            return tr("The card was removed during the backup.");
        if ((backupError && backupError->systemError != 0) ||
            dynamic_cast<const DeviceException*>(&error))
            return tr("The card could not be read; it may have been removed or stopped "
                      "answering.");
        return QString();
    }
    const QString folder = QDir::toNativeSeparators(userFolderOf(backupError->path));
    switch (backupError->systemError) {
    case ENOSPC:
    case EDQUOT:
        return tr("The drive of the backup folder %1 has too little free space.").arg(folder);
    case EROFS:
        return tr("The drive of the backup folder %1 is read-only.").arg(folder);
    case EACCES:
    case EPERM:
        return tr("You may not write into the backup folder %1.").arg(folder);
    case EIO:
    case ENODEV:
    case ENXIO:
    case ENOENT:
    case ENOTCONN:
    case ESTALE:
        return tr("The backup folder %1 can no longer be written; its drive may have been "
                  "removed or unplugged.")
            .arg(folder);
    default:
        return tr("The backup folder %1 could not be written.").arg(folder);
    }
}

QString DownloadViewModel::userFolderOf(const QString& path) const
{
    const QString mirror = mirrorFolderPath();
    const bool inMirror =
        !mirror.isEmpty() && (path == mirror || path.startsWith(mirror + QLatin1Char('/')));
    return inMirror ? mirror : destinationPath();
}

QString DownloadViewModel::sessionStateText() const
{
    const std::vector<BackupSummary> summaries = model->summaries();
    QStringList lines;
    for (const BackupSummary& summary : summaries) {
        QString text = summary.provenSessions.isEmpty()
                           ? tr("No session was completed in this run.")
                           : tr("Complete and proven: %1.")
                                 .arg(summary.provenSessions.join(QLatin1String(", ")));
        if (!summary.incompleteSession.isEmpty())
            text += QLatin1Char(' ') +
                    tr("The session folder %1 is incomplete and marked so in its record.")
                        .arg(summary.incompleteSession);
        // With two copies, each says where it stands.
        if (summaries.size() > 1)
            text = tr("In %1: ").arg(QDir::toNativeSeparators(summary.folder)) + text;
        lines << text;
    }
    if (lines.isEmpty())
        lines << tr("No session was completed in this run.");
    return lines.join(QLatin1Char('\n')) + QLatin1Char(' ') + tr("The backup is incomplete.");
}

bool DownloadViewModel::cancelDownload() const
{
    return m_cancelDownload;
}

void DownloadViewModel::cardRemoved()
{
    m_cardRemoved = true;
}

void DownloadViewModel::setCancelDownload(bool _arg_cancelDownload)
{
    if (m_cancelDownload.exchange(_arg_cancelDownload) == _arg_cancelDownload)
        return;
    emit cancelDownloadChanged(_arg_cancelDownload);
}

bool DownloadViewModel::callBackBackupProgress(const Progress& progress)
{
    setTitleDownloading(tr("Downloading ..."));
    setBackupProgress(progress.percent == 100 ? 99 : progress.percent);

    QString remaining;
    if (!progress.started || progress.remainingTime == 0)
        remaining = tr("Remaining time: calculating...");
    else
        remaining = tr("Remaining time: <%1min")
                        .arg(minutesOf(std::max<qint64>(progress.remainingTime, 60000)));
    setDownloadMetrics(
        tr("%1, Elapsed time: %2min %3s, Speed: %4mb/s")
            .arg(remaining, minutesOf(progress.elapsedTime), secondsOf(progress.elapsedTime))
            .arg(static_cast<double>(progress.speed), 0, 'f', 1));
    return cancelDownload() || m_cardRemoved;
}

bool DownloadViewModel::callBackOverwriteBackup(const QString& path, bool isFile)
{
    if (isFile) {
        if (overwriteAllFiles())
            return true;
        if (overwriteNoFiles())
            return false;
        emit aboutToOverwriteFile(path);
        return overwriteCurrentFile();
    }
    if (overwriteAllFolders())
        return true;
    if (overwriteNoFolders())
        return false;
    emit aboutToOverwriteFolder(path);
    return overwriteCurrentFolder();
}
