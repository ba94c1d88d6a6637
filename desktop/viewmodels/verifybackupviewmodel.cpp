#include "verifybackupviewmodel.h"

VerifyBackupViewModel::VerifyBackupViewModel(QObject* parent) : ViewModel(parent) {}

void VerifyBackupViewModel::cancel()
{
    canceled = true;
}

void VerifyBackupViewModel::verify(const QString& folder)
{
    canceled = false;
    setIsUpdating(true);
    OnLeavingScope guard([this] { setIsUpdating(false); });
    setProgress(0);
    const BackupCheck check = checkBackup(folder, [this](qint64 done, qint64 total) {
        setProgress(total > 0 ? int(done * 100 / total) : 100);
        return !canceled;
    });
    if (check.canceled) {
        emit verificationCanceled();
        return;
    }
    if (!check.foundBackup) {
        emit noBackupFound();
        return;
    }
    setProgress(100);
    setChangedFiles(check.changedFiles);
    setMissingFiles(check.missingFiles);
    setUnlistedFiles(check.unlistedFiles);
    setIncompleteSessions(check.incompleteSessions);
    setCheckedFiles(check.checkedFiles);
    emit verificationFinished(check.everythingMatches());
}
