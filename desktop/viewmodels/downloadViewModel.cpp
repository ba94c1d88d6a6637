#include "downloadViewModel.h"

#include "downloadmodel.h"

#include <QDir>

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

QString DownloadViewModel::backupFolderFor(const std::string& serialNumber) const
{
    return QDir::toNativeSeparators(destinationPath() + QStringLiteral("/tresora_archive") +
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
    using namespace std::placeholders;
    const DownloadModel::ProgressCallback onProgress =
        std::bind(&DownloadViewModel::callBackBackupProgress, this, _1);
    const DownloadModel::OverwriteCallback onOverwrite =
        std::bind(&DownloadViewModel::callBackOverwriteBackup, this, _1, _2);
    try {
        // The serial number read is a card call like the others: its failure fails the run.
        const std::string serialNumber = device->deviceInfo().serialNumber;
        const QString backupFolder = backupFolderFor(serialNumber);
        model->setCardSerialNumber(QString::fromStdString(serialNumber));
        // Not checked: the engine names the first folder it cannot create.
        QDir().mkdir(backupFolder);
        QString resultPath;
        if (model->CopyFilesFromDevice(device, backupFolder, onProgress, onOverwrite, resultPath)) {
            setBackupProgress(100);
            setBackupPath(resultPath);
            emit backupFinished();
        } else {
            emit backupCanceled();
        }
    } catch (const std::exception& error) {
        // Nothing may escape into the worker thread's event loop.
        setErrorMessage(deviceErrorText(error));
        emit backupFailed();
    }
}

bool DownloadViewModel::cancelDownload() const
{
    return m_cancelDownload;
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
    return cancelDownload();
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
