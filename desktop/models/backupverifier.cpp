#include "backupverifier.h"

#include "downloadproof.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

const QString manifestName = QStringLiteral("vix-backup.sha256");
const QString recordName = QStringLiteral("vix-backup.txt");
const QByteArray incompleteLine = "Status: incomplete";
const QByteArray differsPrefix = "Differs from card: ";
const QByteArray differsSizes = " (disk ";
constexpr qint64 chunkSize = 1 << 20;
constexpr int digestHexLength = 64;

struct ListedFile
{
    QString path; // relative to the session folder
    QByteArray digest;
};

struct SessionFolder
{
    QString folder;
    QString shownAs; // prefix of its paths in the result
    bool complete = false;
    bool hasProof = false;
    bool manifestReadable = true;
    QList<ListedFile> listed;
    QStringList differing; // kept although the card's copy differs
};

// A name that sha256sum wrote behind a leading backslash has "\\" and "\n" escaped.
QString unescapedName(const QByteArray& name)
{
    QByteArray plain;
    for (int i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size()) {
            ++i;
            plain.append(name[i] == 'n' ? '\n' : name[i]);
        } else {
            plain.append(name[i]);
        }
    }
    return QFile::decodeName(plain);
}

// False when a line is not in the form sha256sum writes.
bool readManifest(const QString& path, QList<ListedFile>& listed)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        const bool escaped = line.startsWith('\\');
        if (escaped)
            line.remove(0, 1);
        const QByteArray separator = line.mid(digestHexLength, 2);
        if (line.size() <= digestHexLength + 2 || (separator != "  " && separator != " *"))
            return false;
        const QByteArray name = line.mid(digestHexLength + 2);
        listed.append({escaped ? unescapedName(name) : QFile::decodeName(name),
                       line.left(digestHexLength).toLower()});
    }
    return true;
}

// A record without a status line is an older backup's: the checksum list alone tells.
void readRecord(const QString& path, SessionFolder& session)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line == incompleteLine)
            session.complete = false;
        const int sizes = line.lastIndexOf(differsSizes);
        if (line.startsWith(differsPrefix) && sizes > differsPrefix.size())
            session.differing.append(
                QString::fromUtf8(line.mid(differsPrefix.size(), sizes - differsPrefix.size())));
    }
}

SessionFolder readSession(const QString& folder, const QString& shownAs)
{
    SessionFolder session;
    session.folder = folder;
    session.shownAs = shownAs;
    const QDir dir(folder);
    session.complete = dir.exists(manifestName);
    session.hasProof = session.complete || dir.exists(recordName);
    if (session.complete)
        session.manifestReadable = readManifest(dir.filePath(manifestName), session.listed);
    readRecord(dir.filePath(recordName), session);
    return session;
}

// The folder itself when it is a session folder, else every folder in it.
QList<SessionFolder> readSessions(const QString& folder)
{
    const QDir dir(folder);
    if (dir.exists(manifestName) || dir.exists(recordName))
        return {readSession(folder, QString())};
    QList<SessionFolder> sessions;
    const QStringList names =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& name : names)
        sessions.append(readSession(dir.filePath(name), name + '/'));
    return sessions;
}

QStringList filesBelow(const QString& folder)
{
    QStringList files;
    const QDir dir(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(dir.relativeFilePath(it.next()));
    return files;
}

class Hasher
{
public:
    Hasher(qint64 total, const BackupCheckProgress& progress) : total(total), progress(progress) {}

    // Lower-case hex SHA-256; empty with the reason in error when unreadable or stopped.
    QByteArray hexDigest(const QString& path, QString& error)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            error = file.errorString();
            return {};
        }
        Sha256 sha;
        QByteArray chunk(chunkSize, Qt::Uninitialized);
        for (;;) {
            const qint64 got = file.read(chunk.data(), chunkSize);
            if (got < 0) {
                error = file.errorString();
                return {};
            }
            if (got == 0)
                return sha.result().toHex();
            sha.add(chunk.constData(), got);
            done += got;
            if (!progress(done, total)) {
                stopped = true;
                return {};
            }
        }
    }

    bool stopped = false;

private:
    qint64 done = 0;
    qint64 total;
    const BackupCheckProgress& progress;
};

qint64 listedBytes(const QList<SessionFolder>& sessions)
{
    qint64 total = 0;
    for (const SessionFolder& session : sessions)
        for (const ListedFile& file : session.listed)
            total += QFileInfo(QDir(session.folder).filePath(file.path)).size();
    return total;
}

void checkListed(const SessionFolder& session, Hasher& hasher, BackupCheck& check)
{
    const QDir dir(session.folder);
    for (const ListedFile& file : session.listed) {
        const QString shown = session.shownAs + file.path;
        const QString path = dir.filePath(file.path);
        if (!QFileInfo::exists(path)) {
            check.missingFiles.append(shown);
            continue;
        }
        QString error;
        const QByteArray digest = hasher.hexDigest(path, error);
        if (hasher.stopped)
            return;
        ++check.checkedFiles;
        if (!error.isEmpty())
            check.changedFiles.append(shown + " (" + error + ')');
        else if (digest != file.digest)
            check.changedFiles.append(shown);
    }
}

void checkUnlisted(const SessionFolder& session, BackupCheck& check)
{
    QSet<QString> known{manifestName, recordName};
    for (const ListedFile& file : session.listed)
        known.insert(file.path);
    for (const QString& path : session.differing)
        known.insert(path);
    for (const QString& path : filesBelow(session.folder)) {
        if (!known.contains(path))
            check.unlistedFiles.append(session.shownAs + path);
    }
}

} // namespace

BackupCheck checkBackup(const QString& folder, const BackupCheckProgress& progress)
{
    BackupCheck check;
    const QList<SessionFolder> sessions = readSessions(folder);
    check.foundBackup = std::any_of(sessions.begin(), sessions.end(),
                                    [](const SessionFolder& session) { return session.hasProof; });
    if (!check.foundBackup)
        return check;
    Hasher hasher(listedBytes(sessions), progress);
    for (const SessionFolder& session : sessions) {
        const QString name =
            session.shownAs.isEmpty() ? QDir(folder).dirName() : session.shownAs.chopped(1);
        if (!session.complete)
            check.incompleteSessions.append(name);
        if (!session.manifestReadable)
            check.changedFiles.append(session.shownAs + manifestName);
        for (const QString& path : session.differing)
            check.changedFiles.append(session.shownAs + path);
        checkListed(session, hasher, check);
        if (hasher.stopped) {
            check.canceled = true;
            return check;
        }
        // Without a checksum list nothing in an incomplete session is proven; it is named once.
        if (session.complete)
            checkUnlisted(session, check);
    }
    return check;
}

QString backupCheckCommand(const QString& folder)
{
    QString quoted = folder;
    quoted.replace('\'', QLatin1String("'\\''"));
    return QStringLiteral(
               "cd '%1' &&\n"
               "find . -name vix-backup.sha256 -size +0 "
               "-execdir sha256sum -c --strict --quiet {} + &&\n"
               "! grep -r --include=vix-backup.txt -e '^Status: incomplete$' "
               "-e '^Differs from card: ' . &&\n"
               "! find . -name vix-backup.txt ! -execdir test -e vix-backup.sha256 \\; -print "
               "| grep .")
        .arg(quoted);
}
