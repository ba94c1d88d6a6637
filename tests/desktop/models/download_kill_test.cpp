// A backup killed at random points of its run: what carries a final name is the card's data,
// every checksum list matches its folder, and the next run completes the backup.
#include "download_test_support.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <limits>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const int kills = 200;
const QString exportFolder = QStringLiteral("tresora_archive_export_c0ffee");

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
}

bool isProofOrPartial(const QString& relativePath)
{
    const QString name = QFileInfo(relativePath).fileName();
    return name == DownloadModel::manifestName || name == DownloadModel::recordName ||
           name.startsWith(QLatin1String(".vix-"));
}

} // namespace

class DownloadKillTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedRunsLeaveOnlyProvenCopies();

private:
    pid_t startBackup(const QString& destination) const;
    static int waitFor(pid_t child);
    // Empty when the backup holds only the card's data and matching checksum lists.
    QString problemsIn(const QString& destination, bool complete) const;

    QTemporaryDir work{QDir::tempPath() + "/download-kill-XXXXXX"};
    QString card;
    QMap<QString, QString> backupFolderOf; // card session folder -> backup session folder
};

void DownloadKillTest::initTestCase()
{
    QVERIFY(work.isValid());
    card = work.filePath("card");
    const QString one = card + "/1_2023-05-01T12:30:00", two = card + "/2";
    backupFolderOf = {{one, "1_2023-05-01T12-30-00"}, {two, "2"}};
    writeFile(one + "/VIDEO/CLIP0.MP4", pattern((3 << 19) + 77, 'v'));
    writeFile(one + "/VIDEO/CLIP1.MP4", pattern(1 << 20, 'w'));
    writeFile(one + "/VIDEO/CLIP2.MP4", QByteArray());
    for (int i = 0; i < 30; ++i)
        writeFile(one + QStringLiteral("/DCIM/100/IMG_%1.JPG").arg(i),
                  pattern(1000 + i * 997, 'a' + i));
    writeFile(two + "/long.bin", pattern(2 << 20, 'l'));
    for (int i = 0; i < 10; ++i)
        writeFile(two + QStringLiteral("/n%1.txt").arg(i), pattern(i * 311, 'n'));
}

pid_t DownloadKillTest::startBackup(const QString& destination) const
{
    const QByteArray program =
        QFile::encodeName(QCoreApplication::applicationDirPath() + "/download_kill_child");
    const QByteArray from = QFile::encodeName(card), to = QFile::encodeName(destination);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(program.constData(), program.constData(), from.constData(), to.constData(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return child;
}

int DownloadKillTest::waitFor(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

QString DownloadKillTest::problemsIn(const QString& destination, bool complete) const
{
    QStringList problems;
    const QString backup = destination + "/" + exportFolder;
    for (auto session = backupFolderOf.begin(); session != backupFolderOf.end(); ++session) {
        const QString folder = backup + "/" + session.value();
        const QStringList copies = filesBelow(folder);
        for (const QString& name : copies) {
            if (complete && name.contains("/.vix-"))
                problems << folder + "/" + name + " left behind";
            if (!isProofOrPartial(name) &&
                readFile(folder + "/" + name) != readFile(session.key() + "/" + name))
                problems << folder + "/" + name + " differs from the card";
        }
        // A folder killed between its checksum list and its final record is marked incomplete.
        const bool claimsComplete =
            QFileInfo::exists(folder + "/" + DownloadModel::manifestName) &&
            readFile(folder + "/" + DownloadModel::recordName).contains("\nStatus: complete\n");
        if (claimsComplete || complete)
            problems << manifestProblem(folder);
        if (complete && filesBelow(session.key()).size() + 2 != copies.size())
            problems << folder + " is incomplete";
    }
    problems.removeAll(QString());
    return problems.join('\n');
}

void DownloadKillTest::killedRunsLeaveOnlyProvenCopies()
{
    // The fastest of three runs, so that few kills come after the end.
    qint64 runNanoseconds = std::numeric_limits<qint64>::max();
    for (int run = 0; run < 3; ++run) {
        const QString destination = work.filePath(QStringLiteral("measure%1").arg(run));
        QVERIFY(QDir().mkdir(destination));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(waitFor(startBackup(destination)), 0);
        runNanoseconds = std::min(runNanoseconds, timer.nsecsElapsed());
        QCOMPARE(problemsIn(destination, true), QString());
    }

    int killedInTheRun = 0;
    for (int i = 0; i < kills; ++i) {
        // Every other kill hits a run that merges into the complete backup of the last round.
        const QString destination = work.filePath(QStringLiteral("backup%1").arg(i / 2));
        QVERIFY(QDir().mkpath(destination));
        // One kill in each of 200 equal slices of the run, at a random point of its slice.
        const double point = (i + QRandomGenerator::global()->generateDouble()) / kills;
        const pid_t child = startBackup(destination);
        ::usleep(useconds_t(point * double(runNanoseconds) / 1000));
        ::kill(child, SIGKILL);
        killedInTheRun += waitFor(child) == -SIGKILL;
        const QString afterKill = problemsIn(destination, false);
        QVERIFY2(afterKill.isEmpty(),
                 qPrintable(QStringLiteral("kill %1: %2").arg(i).arg(afterKill)));

        QCOMPARE(waitFor(startBackup(destination)), 0);
        const QString afterRerun = problemsIn(destination, true);
        QVERIFY2(afterRerun.isEmpty(),
                 qPrintable(QStringLiteral("rerun %1: %2").arg(i).arg(afterRerun)));
        if (i % 2)
            QVERIFY(QDir(destination).removeRecursively());
    }
    qInfo("%d of %d runs were killed before they ended", killedInTheRun, kills);
}

QTEST_GUILESS_MAIN(DownloadKillTest)
#include "download_kill_test.moc"
