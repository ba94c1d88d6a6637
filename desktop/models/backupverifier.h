#ifndef VAULTDESK_BACKUPVERIFIER_H
#define VAULTDESK_BACKUPVERIFIER_H

#include <QString>
#include <QStringList>

#include <functional>

// What a check of a backup found; paths are relative to the folder that was checked.
struct BackupCheck
{
    QStringList changedFiles;
    QStringList missingFiles;
    QStringList unlistedFiles;
    QStringList incompleteSessions;
    int checkedFiles = 0;
    bool foundBackup = false; // a checksum list or record in the folder or in one inside it
    bool canceled = false;

    bool everythingMatches() const
    {
        return foundBackup && !canceled && changedFiles.isEmpty() && missingFiles.isEmpty() &&
               unlistedFiles.isEmpty() && incompleteSessions.isEmpty();
    }
};

// Told the bytes hashed so far and in all; answers false to stop the check.
using BackupCheckProgress = std::function<bool(qint64 done, qint64 total)>;

// Checks a card's export folder (every session folder in it) or one session folder against
// the checksum lists and records the backup wrote. Blocks: run it on a worker thread.
BackupCheck checkBackup(const QString& folder, const BackupCheckProgress& progress);

// The same check with standard tools only, as a shell command for the folder: it exits
// non-zero on any changed or missing file and on an incomplete session.
QString backupCheckCommand(const QString& folder);

#endif
