#pragma once

#include "ViewModel.h"
#include "backupverifier.h"

#include <QStringList>

#include <atomic>

// Checks a backup folder on the view model's thread; the view shows the progress and, at the
// end, the lists of what differs.
class VerifyBackupViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, false)
    VIEWMODEL_PROPERTY(int, progress, Progress, 0)
    VIEWMODEL_PROPERTY(QStringList, changedFiles, ChangedFiles, QStringList())
    VIEWMODEL_PROPERTY(QStringList, missingFiles, MissingFiles, QStringList())
    VIEWMODEL_PROPERTY(QStringList, unlistedFiles, UnlistedFiles, QStringList())
    VIEWMODEL_PROPERTY(QStringList, incompleteSessions, IncompleteSessions, QStringList())
    VIEWMODEL_PROPERTY(int, checkedFiles, CheckedFiles, 0)

public:
    explicit VerifyBackupViewModel(QObject* parent = nullptr);

    // Thread-safe: called directly from the view while the check runs.
    void cancel();

public Q_SLOTS:
    void verify(const QString& folder);

Q_SIGNALS:
    void verificationFinished(bool everythingMatches);
    // The folder holds no checksum list or record, nor does any folder in it.
    void noBackupFound();
    void verificationCanceled();

private:
    std::atomic<bool> canceled{false};
};
