// Runs the standard checksum tool on a backup's session folder, as a user would.
#ifndef VIX_CHECKSUM_CHECK_H
#define VIX_CHECKSUM_CHECK_H

#include "downloadmodel.h"

#include <QProcess>
#include <QString>

// Empty when `sha256sum -c` passes in the folder without a word on stderr; otherwise what
// it said.
inline QString checksumListProblem(const QString& folder)
{
    QProcess check;
    check.setWorkingDirectory(folder);
    check.start(QStringLiteral("sha256sum"),
                {QStringLiteral("-c"), QStringLiteral("--strict"), DownloadModel::manifestName});
    if (check.waitForFinished(60000) && check.exitCode() == 0 &&
        check.readAllStandardError().isEmpty())
        return QString();
    return folder + QStringLiteral(": sha256sum -c failed: ") +
           QString::fromLocal8Bit(check.readAllStandardOutput());
}

#endif
