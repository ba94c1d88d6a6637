#pragma once

#include "ViewModel.h"

#include <QStringList>

#include <atomic>
#include <memory>

class DownloadModel;
class Progress;

// One backup run of the download dialog. Runs on the dialog's worker thread; the two
// overwrite questions block that thread until the dialog has answered through the flags.
class DownloadViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(int, backupProgress, BackupProgress, 0)
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, false)
    // Written by the dialog's GUI thread while the run reads it here: kept atomic.
    Q_PROPERTY(bool cancelDownload READ cancelDownload WRITE setCancelDownload NOTIFY
                   cancelDownloadChanged STORED true DESIGNABLE true)

public:
    bool cancelDownload() const;

Q_SIGNALS:
    void cancelDownloadChanged(bool cancelDownload);

public Q_SLOTS:
    void setCancelDownload(bool _arg_cancelDownload);
    // The card went away: the run stops and ends on its error page, saying so. Called from
    // the GUI thread while the run goes on.
    void cardRemoved();

private:
    std::atomic<bool> m_cancelDownload{false};
    std::atomic<bool> m_cardRemoved{false};

    VIEWMODEL_PROPERTY(bool, overwriteCurrentFile, OverwriteCurrentFile, false)
    VIEWMODEL_PROPERTY(bool, overwriteAllFiles, OverwriteAllFiles, false)
    VIEWMODEL_PROPERTY(bool, overwriteNoFiles, OverwriteNoFiles, false)
    VIEWMODEL_PROPERTY(bool, overwriteCurrentFolder, OverwriteCurrentFolder, false)
    VIEWMODEL_PROPERTY(bool, overwriteAllFolders, OverwriteAllFolders, false)
    VIEWMODEL_PROPERTY(bool, overwriteNoFolders, OverwriteNoFolders, false)
    VIEWMODEL_PROPERTY(QString, destinationPath, DestinationPath, QString())
    // The folder of a second copy written in the same pass; empty: none.
    VIEWMODEL_PROPERTY(QString, mirrorFolderPath, MirrorFolderPath, QString())
    VIEWMODEL_PROPERTY(QString, errorMessage, ErrorMessage,
                       tr("Important: Do not unplug the device!"))
    VIEWMODEL_PROPERTY(QString, loginErrorMessage, LoginErrorMessage, QString())
    VIEWMODEL_PROPERTY(QString, titleDownloading, TitleDownloading, QString())
    VIEWMODEL_PROPERTY(QString, downloadMetrics, DownloadMetrics, QString())
    VIEWMODEL_PROPERTY(QString, backupPath, BackupPath, QString())
    VIEWMODEL_PROPERTY(QString, mirrorBackupPath, MirrorBackupPath, QString())
    // What a successful run backed up, and whether it kept files that differ from the card's.
    VIEWMODEL_PROPERTY(QString, backupSummary, BackupSummary, QString())
    VIEWMODEL_PROPERTY(bool, backupWarning, BackupWarning, false)

public:
    // Takes ownership of model.
    DownloadViewModel(QString mountPoint, DownloadModel* model, std::shared_ptr<DeviceModel> device,
                      QObject* parent = nullptr);
    ~DownloadViewModel() override;

    // Progress callback of the engine; the answer asks it to stop.
    bool callBackBackupProgress(const Progress& progress);
    // Overwrite callback of the engine; true overwrites a file or merges into a folder.
    bool callBackOverwriteBackup(const QString& path, bool isFile);

public Q_SLOTS:
    void login(const QString& pin);
    // Copies every session of the card under destinationPath; blocks the calling thread.
    void copyFiles();

Q_SIGNALS:
    void backupFinished();
    void backupCanceled();
    void backupFailed();
    void loginSucceeded();
    void aboutToOverwriteFile(const QString& path);
    void aboutToOverwriteFolder(const QString& path);

private:
    QString backupFolderFor(const QString& folder, const std::string& serialNumber) const;
    // The user's folder a failed path lies in.
    QString userFolderOf(const QString& path) const;
    void runBackup();
    // A run that ends early leaves no empty folder of its own behind.
    void removeEmptyFoldersMade();
    void reportSuccess();
    // The error page's text: what happened in the user's terms, the system's words, and
    // where every session stands.
    QString failureText(const std::exception& error) const;
    QString failureHeadline(const std::exception& error) const;
    QString sessionStateText() const;

    QString mountPoint;
    DownloadModel* model;
    std::shared_ptr<DeviceModel> device;
    QStringList foldersMade; // by the running backup
};
