// The download engine on temporary folders: layout, conflicts, failures, progress, durability.
#include "download_test_support.h"
#include "downloadmodel.h"
#include "utils.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// The engine's fsync and rename calls are recorded here (see the definitions at the end).
std::mutex journalMutex;
QStringList journal;
bool journalOn = false;
// Folders below this one are reported as being on a FAT drive.
QByteArray fatFileSystem;
// Flushes of files and of whole file systems fail with a write-back error.
bool flushesFail = false;
// The next this many flushes of a whole file system fail: the kernel reports a write-back
// error once, and a second flush of the same file system succeeds.
std::atomic<int> syncfsFailures{0};
// Flushes of single files fail while those of the file system succeed, as before Linux 5.8,
// which the kernel then claims to be.
bool fileFlushesFail = false;
// The next file flushed is changed behind the engine's back, as a faulty disk would.
std::atomic<bool> damageNextFlushedFile{false};

void startJournal()
{
    std::lock_guard<std::mutex> lock(journalMutex);
    journalOn = true;
}

QStringList stopJournal()
{
    std::lock_guard<std::mutex> lock(journalMutex);
    journalOn = false;
    return journal;
}

void record(const QString& line)
{
    std::lock_guard<std::mutex> lock(journalMutex);
    if (journalOn)
        journal << line;
}

// Inode numbers identify a temporary file whether or not it has a name yet.
QString inodeOf(const struct stat& info)
{
    return QStringLiteral("inode:%1").arg(info.st_ino);
}

QString describeDescriptor(int fd)
{
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return QStringLiteral("?");
    if (S_ISDIR(info.st_mode))
        return QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd));
    return inodeOf(info);
}

void writeFile(const QString& path, const QByteArray& content,
               const QDateTime& time = QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5)))
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
    file.close();
    QVERIFY(fileChangeModificationDate(path, time));
}

struct Snapshot
{
    int percent;
    qint64 total, copied, skipped, remaining, sessionBytes, sessionCopied, sessionSkipped;
    bool started;
};

Snapshot snapshotOf(const Progress& p)
{
    return {p.percent,       p.totalBytes,   p.copiedBytes,        p.skippedBytes,
            p.remainingTime, p.sessionBytes, p.sessionCopiedBytes, p.sessionSkippedBytes,
            p.started};
}

} // namespace

class DownloadTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void cardWithoutSessionsReportsStartAndEnd();
    void sessionsAreCopiedIntoFoldersNamedByIdAndDate();
    void cardFilesAndSystemFoldersAreLeftOut();
    void progressAdvancesBySessionSizes();
    void emptyContentDuringTheRunDoesNotDivideByZero();
    void existingFilesAndFoldersAreKeptOrOverwritten();
    void protectedDataStopsTheRun();
    void cancelInTheMiddleOfAFileLeavesNothingBehind();
    void writeFailureLeavesNoTemporaryFile();
    void unreplaceableTargetLeavesNoTemporaryFile();
    void copiesAreDurableBeforeTheyGetTheirNames();
    void copyOnItsOwnIsDurableAtOnce();
    void fatFileSystemGetsEveryFileFlushed();
    void failedFlushLeavesNoFileUnderItsName();
    void cancelKeepsTheFilesAlreadyCompleteInThatFolder();
    void runAfterACancelCopiesEveryFileWithItsOwnBytes();
    void everyCopyGetsItsOwnFilesBytesWhateverTheAnswers_data();
    void everyCopyGetsItsOwnFilesBytesWhateverTheAnswers();
    void unmountedCardIsAnErrorNotTheCurrentFolder();
    void dirSizeCountsEverything();
    void pausedTimersDoNotAdvance();
    void progressCountsTheBytesRead_data();
    void progressCountsTheBytesRead();
    void speedAndRemainingTime_data();
    void speedAndRemainingTime();
    void failedFlushNamesNoCopyOfItsBatch_data();
    void failedFlushNamesNoCopyOfItsBatch();
    void copyDifferingOnTheDiskFailsTheRunAndIsRemoved();
    void partialFilesOfAKilledRunAreRemoved();
    void cardFileNamedLikeTheProofIsRefused_data();
    void cardFileNamedLikeTheProofIsRefused();

private:
    void addSession(unsigned id, const char* date, unsigned sectors);
    bool download(QString& currentFolder);
    // The error text of a run that failed; empty when it did not fail.
    QString downloadError();

    std::unique_ptr<QTemporaryDir> work;
    QString destination;
    std::shared_ptr<FolderCard> card;
    QList<Snapshot> reports;
    std::function<bool(const Progress&)> cancelWhen;
    QStringList questions;
    std::function<bool(const QString&, bool)> answer;
};

void DownloadTest::init()
{
    work = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/download-XXXXXX");
    QVERIFY(work->isValid());
    destination = work->filePath("backup");
    QVERIFY(QDir().mkdir(destination));
    card = std::make_shared<FolderCard>();
    reports.clear();
    questions.clear();
    cancelWhen = nullptr;
    answer = nullptr;
}

void DownloadTest::cleanup()
{
    std::lock_guard<std::mutex> lock(journalMutex);
    journalOn = false;
    journal.clear();
    fatFileSystem.clear();
    flushesFail = false;
    syncfsFailures = 0;
    fileFlushesFail = false;
    damageNextFlushedFile = false;
}

void DownloadTest::addSession(unsigned id, const char* date, unsigned sectors)
{
    card->sessions.emplace_back(id, date, sectors);
    const QString folder = work->filePath(QStringLiteral("card/%1").arg(id));
    QVERIFY(QDir().mkpath(folder));
    card->folders[int(id)] = folder;
}

bool DownloadTest::download(QString& currentFolder)
{
    DownloadModel model;
    auto onProgress = [this](const Progress& p) {
        reports << snapshotOf(p);
        return cancelWhen && cancelWhen(p);
    };
    DownloadModel::OverwriteCallback onOverwrite;
    if (answer)
        onOverwrite = [this](const QString& path, bool isFile) {
            questions << QStringLiteral("%1 %2").arg(isFile ? "file" : "folder", path);
            return answer(path, isFile);
        };
    return model.CopyFilesFromDevice(card, destination, onProgress, onOverwrite, currentFolder);
}

QString DownloadTest::downloadError()
{
    try {
        QString current;
        download(current);
    } catch (const std::runtime_error& error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}

void DownloadTest::cardWithoutSessionsReportsStartAndEnd()
{
    QString current;
    QVERIFY(download(current));
    QCOMPARE(reports.size(), 2);
    QCOMPARE(reports[0].percent, 0);
    QVERIFY(!reports[0].started);
    QCOMPARE(reports[1].percent, 100);
    QCOMPARE(current, destination);
    QVERIFY(QDir(destination).isEmpty());
}

void DownloadTest::sessionsAreCopiedIntoFoldersNamedByIdAndDate()
{
    addSession(7, "2023-05-01T12:30:00", 100);
    addSession(8, "", 100);
    addSession(9, "20/../../escape", 1);
    const QDateTime fileTime(QDate(2019, 6, 7), QTime(8, 9, 10));
    const QDateTime folderTime(QDate(2018, 1, 1), QTime(1, 1, 1));
    writeFile(card->folders[7] + "/clip.mp4", pattern(3 * 1024 * 1024 + 17, 'a'), fileTime);
    writeFile(card->folders[7] + "/DCIM/100/img.jpg", pattern(1000, 'b'), fileTime);
    writeFile(card->folders[7] + "/empty.txt", QByteArray(), fileTime);
    QVERIFY(fileChangeModificationDate(card->folders[7] + "/DCIM/100", folderTime));
    QVERIFY(fileChangeModificationDate(card->folders[7] + "/DCIM", folderTime));
    writeFile(card->folders[8] + "/note.txt", "eight");
    QVERIFY(fileChangeModificationDate(card->folders[8], folderTime));
    writeFile(card->folders[9] + "/x", "nine");

    QString current;
    QVERIFY(download(current));
    QCOMPARE(current, destination);
    QCOMPARE(card->switches, QList<int>({7, 8, 9}));
    const QString seven = destination + "/7_2023-05-01T12-30-00";
    // Before anything lists the folder and so updates its access time.
    QCOMPARE(QFileInfo(seven).lastRead(), QDateTime(QDate(2023, 5, 1), QTime(12, 30)));
    QCOMPARE(QDir(destination).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
             QStringList({"7_2023-05-01T12-30-00", "8", "9_20_.._.._escape"}));
    QCOMPARE(filesBelow(seven), QStringList({"DCIM/100/img.jpg", "clip.mp4", "empty.txt",
                                             "vix-backup.sha256", "vix-backup.txt"}));
    for (const QString& folder : {seven, destination + "/8", destination + "/9_20_.._.._escape"})
        QVERIFY2(manifestProblem(folder).isEmpty(), qPrintable(manifestProblem(folder)));
    const QString record = QString::fromUtf8(readFile(seven + "/vix-backup.txt"));
    for (const char* line : {"Card serial number: c0ffee\n", "Session: 7\n",
                             "Session date: 2023-05-01T12:30:00\n", "Application: vaultdesk "})
        QVERIFY2(record.contains(line), qPrintable(record));
    QVERIFY2(record.contains(QRegularExpression("Backup started: \\d{4}-.*\nBackup finished: "
                                                "\\d{4}-\\d\\d-\\d\\dT")),
             qPrintable(record));
    QCOMPARE(readFile(seven + "/clip.mp4"), pattern(3 * 1024 * 1024 + 17, 'a'));
    QCOMPARE(readFile(seven + "/DCIM/100/img.jpg"), pattern(1000, 'b'));
    QCOMPARE(readFile(destination + "/8/note.txt"), QByteArray("eight"));

    QCOMPARE(QFileInfo(seven + "/clip.mp4").lastModified(), fileTime);
    QCOMPARE(QFileInfo(seven + "/empty.txt").lastModified(), fileTime);
    QCOMPARE(QFileInfo(seven + "/DCIM/100").lastModified(), folderTime);
    QCOMPARE(QFileInfo(seven + "/DCIM").lastModified(), folderTime);
    QCOMPARE(QFileInfo(seven).lastModified(), QDateTime(QDate(2023, 5, 1), QTime(12, 30)));
    // Without a date the session folder keeps the time of the card's folder.
    QCOMPARE(QFileInfo(destination + "/8").lastModified(), folderTime);
}

void DownloadTest::cardFilesAndSystemFoldersAreLeftOut()
{
    addSession(1, "", 10);
    const QString root = card->folders[1];
    writeFile(root + "/__communicationFile", "channel");
    writeFile(root + "/sub/__communicationFile", "channel");
    writeFile(root + "/sub/kept.txt", "kept");
    writeFile(root + "/System Volume Information/IndexerVolumeGuid", "guid");
    writeFile(root + "/.hidden", "hidden");

    QString current;
    QVERIFY(download(current));
    QCOMPARE(filesBelow(destination),
             QStringList({"1/sub/kept.txt", "1/vix-backup.sha256", "1/vix-backup.txt"}));
}

void DownloadTest::progressAdvancesBySessionSizes()
{
    addSession(1, "", 4096);  // 2 MiB on the card, 3 MiB of files
    addSession(2, "", 20000); // about 10 MiB on the card, 1 MiB of files
    writeFile(card->folders[1] + "/a", pattern(3 << 20, 'a'));
    writeFile(card->folders[2] + "/b", pattern(1 << 20, 'b'));
    QMap<int, int> startReport;
    card->onSwitch = [&](int id) { startReport[id] = reports.size(); };

    QString current;
    QVERIFY(download(current));
    const qint64 total = 4096 * 512 + 20000 * 512;
    QCOMPARE(reports.first().total, qint64(0));
    QVERIFY(reports[1].started);
    const Snapshot first = reports[startReport[1]];
    QCOMPARE(first.copied + first.skipped, qint64(0));
    QCOMPARE(first.sessionBytes, qint64(4096 * 512));
    const Snapshot second = reports[startReport[2]];
    QCOMPARE(second.copied + second.skipped, qint64(4096 * 512));
    QCOMPARE(second.sessionCopied, qint64(0));

    int lastPercent = 0;
    for (const Snapshot& s : reports.mid(1)) {
        QCOMPARE(s.total, total);
        QCOMPARE(s.percent, int((s.copied + s.skipped) * 100 / total));
        QVERIFY(s.percent >= lastPercent);
        QVERIFY(s.sessionCopied <= s.sessionBytes);
        QVERIFY(s.remaining >= 0);
        lastPercent = s.percent;
    }
    QCOMPARE(reports.last().percent, 100);
    QCOMPARE(reports.last().copied, total);
    QCOMPARE(reports.last().remaining, qint64(0));
}

void DownloadTest::emptyContentDuringTheRunDoesNotDivideByZero()
{
    addSession(1, "", 8);
    // The session is empty when it is measured and gets a file before the copy starts.
    cancelWhen = [&](const Progress& p) {
        if (p.sessionBytes != 0 && p.sessionCopiedBytes == 0 &&
            !QFile::exists(card->folders[1] + "/late"))
            writeFile(card->folders[1] + "/late", pattern(3 << 20, 'l'));
        return false;
    };
    QString current;
    QVERIFY(download(current));
    QCOMPARE(readFile(destination + "/1/late"), pattern(3 << 20, 'l'));
    for (const Snapshot& s : reports)
        QVERIFY(s.sessionCopied <= 8 * 512);
    QCOMPARE(reports.last().percent, 100);
}

void DownloadTest::existingFilesAndFoldersAreKeptOrOverwritten()
{
    addSession(1, "", 100);
    addSession(2, "", 100);
    addSession(3, "", 100);
    writeFile(card->folders[1] + "/keep.txt", "new content");
    writeFile(card->folders[1] + "/replace.txt", "new content");
    writeFile(card->folders[1] + "/fresh.txt", "fresh");
    writeFile(card->folders[2] + "/two.txt", "two");
    writeFile(card->folders[3] + "/three.txt", "three");
    writeFile(destination + "/1/keep.txt", "old, longer content");
    writeFile(destination + "/1/replace.txt", "old");
    writeFile(destination + "/2/other.txt", "untouched");
    answer = [&](const QString& path, bool isFile) {
        if (!isFile)
            return path.endsWith("/1");
        return path.endsWith("replace.txt");
    };

    QString current;
    QVERIFY(download(current));
    QVERIFY(questions.contains("folder " + destination + "/1"));
    QVERIFY(questions.contains("file " + destination + "/1/keep.txt"));
    QVERIFY(questions.contains("file " + destination + "/1/replace.txt"));
    QVERIFY(questions.contains("folder " + destination + "/2"));
    QCOMPARE(questions.size(), 4);

    QCOMPARE(readFile(destination + "/1/keep.txt"), QByteArray("old, longer content"));
    QCOMPARE(readFile(destination + "/1/replace.txt"), QByteArray("new content"));
    QCOMPARE(readFile(destination + "/1/fresh.txt"), QByteArray("fresh"));
    QCOMPARE(filesBelow(destination + "/2"), QStringList({"other.txt"}));
    QCOMPARE(readFile(destination + "/3/three.txt"), QByteArray("three"));

    // The merged folder's checksum list leaves out the kept file, which differs from the
    // card's; its record names it. The declined folder gets no proof.
    QVERIFY2(manifestProblem(destination + "/1").isEmpty(),
             qPrintable(manifestProblem(destination + "/1")));
    QCOMPARE(differingInRecord(destination + "/1"), QStringList({"keep.txt"}));
    QVERIFY(!QFileInfo::exists(destination + "/2/" + DownloadModel::manifestName));
    QCOMPARE(reports.last().skipped, qint64(QByteArray("old, longer content").size()));
    QCOMPARE(reports.last().copied, qint64(3 * 100 * 512));
    QVERIFY(std::any_of(reports.begin(), reports.end(), [](const Snapshot& s) {
        return s.sessionSkipped == qint64(QByteArray("old, longer content").size());
    }));
}

void DownloadTest::protectedDataStopsTheRun()
{
    addSession(1, "", 100);
    addSession(2, "", 100);
    writeFile(card->folders[1] + "/open.txt", "readable");
    writeFile(card->folders[1] + "/locked/secret.bin", "*PROTECTED DATA*" + pattern(100, 'p'));
    QByteArray laterChunk = pattern(1 << 20, 'm') + "*PROTECTED DATA*" + pattern(100, 'q');
    writeFile(card->folders[1] + "/locked2/mixed.bin", laterChunk);

    QString current;
    try {
        download(current);
        QFAIL("no exception for protected data");
    } catch (const std::runtime_error& error) {
        QCOMPARE(QString(error.what()),
                 QStringLiteral("Memory device is encrypted, cannot copy data"));
    }
    QCOMPARE(readFile(destination + "/1/open.txt"), QByteArray("readable"));
    const QStringList left = filesBelow(destination);
    QVERIFY2(!left.contains("1/locked/secret.bin") && !left.contains("1/locked2/mixed.bin"),
             qPrintable(left.join(',')));
    QCOMPARE(left.filter("locked").size(), 0);
    QCOMPARE(card->switches, QList<int>({1}));
}

void DownloadTest::cancelInTheMiddleOfAFileLeavesNothingBehind()
{
    addSession(1, "", 100);
    addSession(2, "", 100);
    writeFile(card->folders[1] + "/big.bin", pattern(5 << 20, 'c'));
    cancelWhen = [](const Progress& p) { return p.sessionCopiedBytes > 0; };
    QString current;
    QVERIFY(!download(current));
    QCOMPARE(filesBelow(destination), QStringList());
    QCOMPARE(card->switches, QList<int>({1}));
    QCOMPARE(current, destination + "/1");
}

void DownloadTest::writeFailureLeavesNoTemporaryFile()
{
    addSession(1, "", 100);
    writeFile(card->folders[1] + "/big.bin", pattern(4 << 20, 'w'));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1 << 20;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const QString message = downloadError();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY2(message.startsWith("Could not write data to " + destination + "/1/big.bin"),
             qPrintable(message));
    QCOMPARE(filesBelow(destination), QStringList());
}

void DownloadTest::unreplaceableTargetLeavesNoTemporaryFile()
{
    addSession(1, "", 100);
    writeFile(card->folders[1] + "/clash", "file on the card");
    writeFile(destination + "/1/clash/inside", "a folder in the backup");
    answer = [](const QString&, bool) { return true; };
    try {
        QString current;
        download(current);
        QFAIL("replacing a folder by a file succeeded");
    } catch (const std::runtime_error& error) {
        QCOMPARE(QString(error.what()),
                 "Could not overwrite " + destination + "/1/clash. " + strerror(EISDIR) + ".");
    }
    // The folder was there before the run: it stays, marked as incomplete.
    QCOMPARE(filesBelow(destination), QStringList({"1/clash/inside", "1/vix-backup.txt"}));
    QVERIFY(readFile(destination + "/1/vix-backup.txt").contains("\nStatus: incomplete\n"));
}

void DownloadTest::copiesAreDurableBeforeTheyGetTheirNames()
{
    addSession(4, "2024-02-03T04:05:06", 100);
    writeFile(card->folders[4] + "/a.txt", "a");
    writeFile(card->folders[4] + "/c.txt", "c");
    writeFile(card->folders[4] + "/sub/b.txt", "b");
    startJournal();
    QString current;
    QVERIFY(download(current));
    const QStringList events = stopJournal();
    const QString trace = events.join('\n');
    const QString session = destination + "/4_2024-02-03T04-05-06";
    for (const QString& file : {session + "/a.txt", session + "/c.txt", session + "/sub/b.txt"}) {
        const int renamed = events.indexOf(
            QRegularExpression("rename inode:\\d+ " + QRegularExpression::escape(file)));
        QVERIFY2(renamed >= 0, qPrintable(trace));
        const QString inode = events[renamed].section(' ', 1, 1);
        // The file is complete (its time is the last thing set) before the flush.
        const int completed = events.lastIndexOf("times " + inode, renamed);
        QVERIFY2(completed >= 0, qPrintable(trace));
        const int flushed = std::max(events.lastIndexOf("fsync " + inode, renamed),
                                     events.lastIndexOf("syncfs", renamed));
        QVERIFY2(flushed > completed, qPrintable(trace));
    }
    const int subSynced = events.lastIndexOf("fsync " + session + "/sub");
    const int sessionSynced = events.lastIndexOf("fsync " + session);
    const int destinationSynced = events.lastIndexOf("fsync " + destination);
    QVERIFY(subSynced > events.indexOf(QRegularExpression("rename .*/sub/b.txt")));
    QVERIFY(sessionSynced > subSynced);
    QVERIFY(sessionSynced > events.indexOf(QRegularExpression("rename .*/a.txt")));
    QVERIFY(destinationSynced > sessionSynced);
}

void DownloadTest::copyOnItsOwnIsDurableAtOnce()
{
    const QString source = work->filePath("single.bin");
    writeFile(source, pattern(5000, 's'));
    startJournal();
    Progress progress;
    QVERIFY(DownloadModel().copy(source, destination + "/single.bin", progress));
    const QStringList events = stopJournal();
    QCOMPARE(readFile(destination + "/single.bin"), pattern(5000, 's'));
    QCOMPARE(events.size(), 3);
    QVERIFY(events[0].startsWith("times inode:"));
    QCOMPARE(events[1], "fsync " + events[0].section(' ', 1, 1));
    QCOMPARE(events[2],
             "rename " + events[0].section(' ', 1, 1) + " " + destination + "/single.bin");
}

void DownloadTest::fatFileSystemGetsEveryFileFlushed()
{
    addSession(1, "", 100);
    writeFile(card->folders[1] + "/a.txt", "a");
    writeFile(card->folders[1] + "/b.txt", "b");
    fatFileSystem = QFile::encodeName(destination);
    startJournal();
    QString current;
    QVERIFY(download(current));
    const QStringList events = stopJournal();
    const QString trace = events.join('\n');
    // A flush of the whole file system would not flush such a drive's cache.
    QVERIFY2(!events.contains("syncfs"), qPrintable(trace));
    for (const char* name : {"a.txt", "b.txt"}) {
        const int renamed = events.indexOf(QRegularExpression(
            "rename inode:\\d+ " + QRegularExpression::escape(destination + "/1/" + name)));
        QVERIFY2(renamed > 0, qPrintable(trace));
        const QString inode = events[renamed].section(' ', 1, 1);
        QVERIFY2(events.lastIndexOf("fsync " + inode, renamed) >
                     events.lastIndexOf("times " + inode, renamed),
                 qPrintable(trace));
    }
    QCOMPARE(readFile(destination + "/1/b.txt"), QByteArray("b"));
}

void DownloadTest::failedFlushLeavesNoFileUnderItsName()
{
    addSession(1, "", 100);
    writeFile(card->folders[1] + "/a.txt", "a");
    writeFile(card->folders[1] + "/b.txt", "b");
    flushesFail = true;
    for (bool fat : {false, true}) {
        fatFileSystem = fat ? QFile::encodeName(destination) : QByteArray();
        try {
            QString current;
            download(current);
            QFAIL("a failed flush was reported as success");
        } catch (const std::runtime_error& error) {
            const QString message = error.what();
            QVERIFY2(message.startsWith("Could not write data to " + destination + "/1/"),
                     qPrintable(message));
            QVERIFY2(message.endsWith(QString(strerror(EIO)) + "."), qPrintable(message));
        }
        QCOMPARE(filesBelow(destination), QStringList());
    }
}

void DownloadTest::cancelKeepsTheFilesAlreadyCompleteInThatFolder()
{
    addSession(1, "", 100);
    for (int i = 0; i < 5; ++i)
        writeFile(card->folders[1] + QStringLiteral("/small%1").arg(i), pattern(100 + i, 'a' + i));
    writeFile(card->folders[1] + "/big", pattern(3 << 20, 'b'));
    // Cancel while the big file is being written, whatever the directory order.
    int completeBefore = -1;
    cancelWhen = [&](const Progress&) {
        const QFileInfoList written =
            QDir(destination + "/1").entryInfoList(QDir::Files | QDir::Hidden, QDir::Unsorted);
        const bool bigInProgress =
            std::any_of(written.begin(), written.end(),
                        [](const QFileInfo& f) { return f.size() >= (1 << 20); });
        if (bigInProgress)
            completeBefore = written.size() - 1;
        return bigInProgress;
    };
    QString current;
    QVERIFY(!download(current));
    QVERIFY(completeBefore >= 0);
    QStringList left = filesBelow(destination + "/1");
    QVERIFY(readFile(destination + "/1/vix-backup.txt").contains("\nStatus: incomplete\n"));
    left.removeAll(DownloadModel::recordName);
    QCOMPARE(left.size(), completeBefore - 1);
    for (const QString& name : left) {
        QVERIFY2(name.startsWith("small"), qPrintable(name));
        QCOMPARE(readFile(destination + "/1/" + name), readFile(card->folders[1] + "/" + name));
    }
}

void DownloadTest::runAfterACancelCopiesEveryFileWithItsOwnBytes()
{
    addSession(1, "", 100);
    // Several files of a few chunks: the card is read ahead into the next ones when the run
    // stops, and nothing of that may reach the next run's files.
    QStringList names;
    for (int i = 0; i < 4; ++i) {
        names << QStringLiteral("f%1").arg(i);
        writeFile(card->folders[1] + "/" + names.last(), pattern((2 << 20) + i, char('a' + i)));
    }
    DownloadModel model;
    QString current;
    const auto cancelAtOnce = [](const Progress& p) { return p.sessionCopiedBytes > 0; };
    QVERIFY(!model.CopyFilesFromDevice(card, destination, cancelAtOnce, nullptr, current));
    QVERIFY(model.CopyFilesFromDevice(card, destination, nullptr, nullptr, current));
    for (const QString& name : names)
        QCOMPARE(readFile(destination + "/1/" + name), readFile(card->folders[1] + "/" + name));
    QVERIFY2(manifestProblem(destination + "/1").isEmpty(),
             qPrintable(manifestProblem(destination + "/1")));
}

void DownloadTest::everyCopyGetsItsOwnFilesBytesWhateverTheAnswers_data()
{
    // Paths in the session folder: files there before the run, and the questions answered no.
    QTest::addColumn<QStringList>("earlier");
    QTest::addColumn<QStringList>("declined");
    QTest::addColumn<QStringList>("absent");
    QTest::newRow("new folder") << QStringList() << QStringList() << QStringList();
    QTest::newRow("file kept") << QStringList{"DCIM/c.bin"} << QStringList{"DCIM/c.bin"}
                               << QStringList();
    QTest::newRow("file replaced")
        << QStringList{"DCIM/sub/e.bin", "a.bin"} << QStringList() << QStringList();
    QTest::newRow("folder kept") << QStringList{"DCIM/c.bin"} << QStringList{"DCIM"}
                                 << QStringList{"DCIM/d.bin", "DCIM/sub/e.bin"};
}

void DownloadTest::everyCopyGetsItsOwnFilesBytesWhateverTheAnswers()
{
    QFETCH(QStringList, earlier);
    QFETCH(QStringList, declined);
    QFETCH(QStringList, absent);
    addSession(1, "", 20000);
    // Files of one and more chunks across folders: the card is read ahead across all of them.
    const QStringList files{"a.bin",      "b.bin",          "DCIM/c.bin",
                            "DCIM/d.bin", "DCIM/sub/e.bin", "MISC/f.bin"};
    for (int i = 0; i < files.size(); ++i)
        writeFile(card->folders[1] + "/" + files[i],
                  pattern((1 << 20) * (i % 3) + 1000 * i + 7, char('a' + i)));
    const QString folder = destination + "/1/";
    for (const QString& path : earlier)
        writeFile(folder + path, "earlier");
    answer = [&](const QString& path, bool) { return !declined.contains(path.mid(folder.size())); };

    QString current;
    QVERIFY(download(current));
    for (const QString& path : files) {
        const bool kept = earlier.contains(path) &&
                          std::any_of(declined.begin(), declined.end(), [&](const QString& no) {
                              return path == no || path.startsWith(no + "/");
                          });
        if (absent.contains(path))
            QVERIFY2(!QFileInfo::exists(folder + path), qPrintable(path));
        else
            QCOMPARE(readFile(folder + path),
                     kept ? QByteArray("earlier") : readFile(card->folders[1] + "/" + path));
    }
}

void DownloadTest::unmountedCardIsAnErrorNotTheCurrentFolder()
{
    card->sessions.emplace_back(1, "", 1);
    QString current;
    QVERIFY_EXCEPTION_THROWN(download(current), std::runtime_error);
    QVERIFY(QDir(destination).isEmpty());
}

void DownloadTest::dirSizeCountsEverything()
{
    const QString root = work->filePath("sized");
    writeFile(root + "/a", pattern(10, 'a'));
    writeFile(root + "/.hidden", pattern(20, 'h'));
    writeFile(root + "/__communicationFile", pattern(30, 'c'));
    writeFile(root + "/System Volume Information/x", pattern(40, 's'));
    writeFile(root + "/.dir/y", pattern(50, 'y'));
    QCOMPARE(DownloadModel().dirSize(root), qint64(150));
    QCOMPARE(DownloadModel().dirSize(QString()), qint64(0));
}

void DownloadTest::pausedTimersDoNotAdvance()
{
    Progress progress;
    progress.startTimers();
    QTest::qWait(20);
    progress.pauseElapsedTimer();
    progress.pauseCopyingTimer();
    const qint64 elapsed = progress.getElapsedTime();
    const qint64 copying = progress.getCopyingTime();
    QTest::qWait(50);
    QCOMPARE(progress.getElapsedTime(), elapsed);
    QCOMPARE(progress.getCopyingTime(), copying);
    progress.resumeElapsedTimer();
    QTRY_VERIFY(progress.getElapsedTime() > elapsed);
    QCOMPARE(progress.getCopyingTime(), copying);
}

void DownloadTest::progressCountsTheBytesRead_data()
{
    QTest::addColumn<QList<int>>("fileSizes");
    QTest::addColumn<int>("hiddenSize");
    QTest::addColumn<unsigned>("sectors");
    // Cumulative shares (per thousand of the session's card size) after each chunk.
    QTest::addColumn<QList<int>>("permille");
    const QList<int> tenSmall = QVector<int>(10, 1000).toList();
    const QList<int> tenths = {100, 200, 300, 400, 500, 600, 700, 800, 900, 1000};
    QTest::newRow("many small files") << tenSmall << 0 << 20480u << tenths;
    QTest::newRow("hidden file left out") << tenSmall << 90000 << 20480u << tenths;
    // 1 MiB and a short 0.5 MiB chunk per file.
    QTest::newRow("short last chunks")
        << QList<int>{3 << 19, 3 << 19} << 0 << 6144u << QList<int>{333, 500, 833, 1000};
}

void DownloadTest::progressCountsTheBytesRead()
{
    QFETCH(QList<int>, fileSizes);
    QFETCH(int, hiddenSize);
    QFETCH(unsigned, sectors);
    QFETCH(QList<int>, permille);
    addSession(1, "", sectors);
    for (int i = 0; i < fileSizes.size(); ++i)
        writeFile(card->folders[1] + QStringLiteral("/f%1").arg(i), pattern(fileSizes[i], 'f'));
    if (hiddenSize > 0)
        writeFile(card->folders[1] + "/.thumbnails", pattern(hiddenSize, 'h'));
    QString current;
    QVERIFY(download(current));
    // The start, the session's start, one report per chunk, the session's end and the end.
    const QList<Snapshot> chunks = reports.mid(2, reports.size() - 4);
    QCOMPARE(chunks.size(), permille.size());
    const qint64 sessionBytes = qint64(sectors) * 512;
    for (int i = 0; i < chunks.size(); ++i)
        QVERIFY2(qAbs(chunks[i].sessionCopied * 1000 / sessionBytes - permille[i]) <= 1,
                 qPrintable(QStringLiteral("chunk %1: %2").arg(i).arg(chunks[i].sessionCopied)));
}

// Progress with times set by the test.
class FixedTimesProgress : public Progress
{
public:
    qint64 getElapsedTime() const override { return elapsed; }
    qint64 getCopyingTime() const override { return copying; }
    qint64 elapsed = 0;
    qint64 copying = 0;
};

void DownloadTest::speedAndRemainingTime_data()
{
    QTest::addColumn<qint64>("copied");
    QTest::addColumn<qint64>("skipped");
    QTest::addColumn<qint64>("milliseconds");
    QTest::addColumn<float>("speed");
    QTest::addColumn<qint64>("remaining");
    const qint64 mib = 1 << 20;
    QTest::newRow("nothing yet") << qint64(0) << qint64(0) << qint64(0) << 0.0f << qint64(0);
    QTest::newRow("no time yet") << mib << qint64(0) << qint64(0) << 0.0f << qint64(0);
    QTest::newRow("part of a MiB")
        << mib * 3 / 2 << qint64(0) << qint64(1000) << 1.5f << qint64(1000);
    QTest::newRow("kept files") << mib << mib << qint64(500) << 2.0f << qint64(500);
}

void DownloadTest::speedAndRemainingTime()
{
    QFETCH(qint64, copied);
    QFETCH(qint64, skipped);
    QFETCH(qint64, milliseconds);
    QFETCH(float, speed);
    QFETCH(qint64, remaining);
    FixedTimesProgress progress;
    progress.totalBytes = 3 << 20;
    progress.copiedBytes = copied;
    progress.skippedBytes = skipped;
    progress.elapsed = progress.copying = milliseconds;
    progress.updateProgressTime();
    QVERIFY2(qFuzzyCompare(progress.speed + 1, speed + 1),
             qPrintable(QString::number(progress.speed)));
    QCOMPARE(progress.remainingTime, remaining);
}

void DownloadTest::failedFlushNamesNoCopyOfItsBatch_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("failingSyncfs");
    QTest::addColumn<bool>("failingFileFlushes");
    QTest::addColumn<bool>("cancel");
    // Enough files that a batch is flushed while the folder is still being copied.
    QTest::newRow("file system flush fails once") << 300 << 1 << false << false;
    QTest::newRow("only the file flush reports") << 3 << 0 << true << false;
    QTest::newRow("cancelled, flush fails") << 3 << 1 << false << true;
}

void DownloadTest::failedFlushNamesNoCopyOfItsBatch()
{
    QFETCH(int, files);
    QFETCH(int, failingSyncfs);
    QFETCH(bool, failingFileFlushes);
    QFETCH(bool, cancel);
    addSession(1, "", 100);
    for (int i = 0; i < files; ++i)
        writeFile(card->folders[1] + QStringLiteral("/f%1").arg(i), pattern(100, 'a'));
    syncfsFailures = failingSyncfs;
    fileFlushesFail = failingFileFlushes;
    // On the last file's only chunk: the others are complete and wait for their flush.
    if (cancel)
        cancelWhen = [&](const Progress& p) { return p.sessionReadBytes == files * 100; };
    const QString message = downloadError();
    QVERIFY2(message.startsWith("Could not write data to " + destination + "/1/"),
             qPrintable(message));
    QCOMPARE(filesBelow(destination), QStringList());
}

void DownloadTest::copyDifferingOnTheDiskFailsTheRunAndIsRemoved()
{
    addSession(1, "", 100);
    addSession(2, "", 100);
    writeFile(card->folders[1] + "/a.mp4", pattern(3 << 20, 'a'));
    writeFile(card->folders[1] + "/b.mp4", pattern(5000, 'b'));
    writeFile(card->folders[2] + "/c.mp4", pattern(5000, 'c'));
    for (bool fat : {false, true}) {
        QVERIFY(QDir(destination + "/1").removeRecursively());
        fatFileSystem = fat ? QFile::encodeName(destination) : QByteArray();
        // Once the copying has begun: the session's record is flushed before.
        cancelWhen = [](const Progress& p) {
            if (p.sessionCopiedBytes > 0 && p.percent < 50)
                damageNextFlushedFile = true;
            return false;
        };
        const QString message = downloadError();
        const QRegularExpressionMatch bad =
            QRegularExpression("^The copy " + QRegularExpression::escape(destination) +
                               "/1/(.*) on the disk differs from the data read from the card.$")
                .match(message);
        QVERIFY2(bad.hasMatch(), qPrintable(message));
        const QStringList left = filesBelow(destination);
        QVERIFY2(!left.contains("1/" + bad.captured(1)), qPrintable(left.join(',')));
        for (const QString& name : left)
            if (!name.endsWith(DownloadModel::recordName))
                QCOMPARE(readFile(destination + "/" + name),
                         readFile(work->filePath("card/" + name)));
        QCOMPARE(card->switches, QList<int>({1}));
        card->switches.clear();
    }
}

void DownloadTest::partialFilesOfAKilledRunAreRemoved()
{
    addSession(1, "", 100);
    writeFile(card->folders[1] + "/a.txt", "a");
    writeFile(card->folders[1] + "/sub/b.txt", "b");
    const QStringList leftovers = {"1/.vix-0123456789abcdef.part",
                                   "1/sub/.vix-fedcba9876543210.part"};
    const QStringList others = {"1/.vix-notes.txt", "1/sub/.hidden",
                                "1/sub/vix-0123456789abcdef.part"};
    for (const QString& name : leftovers + others)
        writeFile(destination + "/" + name, "left");
    QString current;
    QVERIFY(download(current));
    const QStringList left = filesBelow(destination);
    for (const QString& name : leftovers)
        QVERIFY2(!left.contains(name), qPrintable(name));
    for (const QString& name : others)
        QVERIFY2(left.contains(name), qPrintable(name));
}

void damage(int fd)
{
    QVERIFY(::pwrite(fd, "DAMAGED", 7, 0) == 7);
}

// Recording stand-ins for the C library calls the engine makes for durability.
extern "C" int fsync(int fd)
{
    record("fsync " + describeDescriptor(fd));
    struct stat info
    {
    };
    const bool file = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (file && (flushesFail || fileFlushesFail)) {
        errno = EIO;
        return -1;
    }
    const int result = int(::syscall(SYS_fsync, fd));
    if (file && damageNextFlushedFile.exchange(false))
        damage(fd);
    return result;
}

// The engine flushes the file system through a descriptor of the copies' folder.
extern "C" int syncfs(int fd)
{
    record(QStringLiteral("syncfs"));
    if (flushesFail || syncfsFailures.fetch_sub(1) > 0) {
        errno = EIO;
        return -1;
    }
    const int result = int(::syscall(SYS_syncfs, fd));
    const QString folder = describeDescriptor(fd);
    const QStringList partials =
        QDir(folder).entryList({".vix-*.part"}, QDir::Files | QDir::Hidden);
    if (!partials.isEmpty() && damageNextFlushedFile.exchange(false)) {
        QFile file(folder + "/" + partials.first());
        if (file.open(QIODevice::ReadWrite))
            damage(file.handle());
    }
    return result;
}

extern "C" int statfs(const char* path, struct statfs* info)
{
    const int result = int(::syscall(SYS_statfs, path, info));
    if (result == 0 && !fatFileSystem.isEmpty() && QByteArray(path).startsWith(fatFileSystem))
        info->f_type = 0x4d44;
    return result;
}

extern "C" int uname(struct utsname* name)
{
    const int result = int(::syscall(SYS_uname, name));
    if (result == 0 && fileFlushesFail)
        std::strcpy(name->release, "5.4.0");
    return result;
}

extern "C" int futimens(int fd, const struct timespec times[2])
{
    record("times " + describeDescriptor(fd));
    return int(::syscall(SYS_utimensat, fd, nullptr, times, 0));
}

extern "C" int rename(const char* from, const char* to)
{
    struct stat info
    {
    };
    const QString source = ::stat(from, &info) == 0 ? inodeOf(info) : QStringLiteral("?");
    record(QStringLiteral("rename %1 %2").arg(source, QFile::decodeName(to)));
    return int(::syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

void DownloadTest::cardFileNamedLikeTheProofIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("checksum list") << DownloadModel::manifestName;
    QTest::newRow("record") << DownloadModel::recordName;
}

void DownloadTest::cardFileNamedLikeTheProofIsRefused()
{
    QFETCH(QString, name);
    addSession(1, "", 100);
    addSession(2, "", 100);
    writeFile(card->folders[1] + "/a.mp4", pattern(5000, 'a'));
    writeFile(card->folders[2] + "/" + name, "the card's own file");
    const QString message = downloadError();
    QVERIFY2(message == QStringLiteral("The card file %1/%2 has a name the backup keeps for its "
                                       "checksums. Please rename it on the card.")
                            .arg(card->folders[2], name),
             qPrintable(message));
    // The session before it is backed up and proven; nothing of the refused one is written.
    const QStringList left = filesBelow(destination);
    QVERIFY2(left.contains("1/a.mp4") && left.contains("1/" + DownloadModel::manifestName),
             qPrintable(left.join(',')));
    QVERIFY2(!left.join(',').contains("2/"), qPrintable(left.join(',')));
}

QTEST_GUILESS_MAIN(DownloadTest)
#include "download_test.moc"
