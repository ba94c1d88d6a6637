// The download engine when things go wrong: a full or read-only destination, a card whose
// content changes or cannot be read, and earlier backups in the way.
#include "download_test_support.h"
#include "downloadmodel.h"
#include "utils.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const int skipExitCode = 77;

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
}

// Names and contents: two equal snapshots mean nothing below the folder changed.
QMap<QString, QByteArray> contentsBelow(const QString& folder)
{
    QMap<QString, QByteArray> contents;
    for (const QString& name : filesBelow(folder))
        contents[name] = readFile(folder + "/" + name);
    return contents;
}

QString reason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Runs body in a child process, without root's right to read and write everything and with
// an optional file size limit, and returns the text it produced. Exit code 77 means the
// child could not give up its privileges.
QString inRestrictedChild(const std::function<QString()>& body, rlim_t fileSizeLimit = 0)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return QStringLiteral("<no pipe>");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const gid_t nobody = 65534;
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0))
            ::_exit(skipExitCode);
        if (fileSizeLimit != 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(skipExitCode);
        }
        const QByteArray text = body().toUtf8();
        const bool written =
            ::write(channel[1], text.constData(), size_t(text.size())) == ssize_t(text.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(channel[1]);
    QByteArray text;
    char buffer[4096];
    ssize_t count;
    while ((count = ::read(channel[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, int(count));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == skipExitCode)
        return QStringLiteral("<skip>");
    return QString::fromUtf8(text);
}

} // namespace

class DownloadFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void fullDestinationFailsNamingTheFileAndKeepsFinishedFiles();
    void replacedCopyStaysIntactUntilTheNewOneIsComplete();
    void declinedFolderIsLeftUntouched();
    void cardContentChangingDuringTheCopyIsAFailure();
    void unreadableCardContentIsAFailureNotAnEmptyCopy();
    void missingDestinationFailsBeforeTheCardIsSwitched();
    void readOnlyDestinationFailsWithoutClaimingProgress();
    void percentStaysInRangeWhenKeptFilesAreLarger();
    void backupOntoTheCardItselfIsRefused();
    void keptFileIsListedOnlyWhenItHoldsTheCardsBytes_data();
    void keptFileIsListedOnlyWhenItHoldsTheCardsBytes();
    void destinationFailureKeepsTheSystemsReason_data();
    void destinationFailureKeepsTheSystemsReason();
    void cardPulledLeavesEarlierSessionsProvenAndTheCurrentOneMarked();
    void mirrorGetsTheSameLayoutWithItsOwnProof();
    void mirrorWhoseDiskFillsEndsTheRunNamingIt();
    void overlappingMirrorIsRefused_data();
    void overlappingMirrorIsRefused();

private:
    void addSession(unsigned id, unsigned sectors);
    // "ok", "cancelled" or the error text; progress reports land in percents.
    QString download();
    QString downloadInRestrictedChild(rlim_t fileSizeLimit = 0);

    // Small file systems made for a test; gone with the process's own mount namespace.
    QString mountOwnFileSystem(const QString& options);

    std::unique_ptr<QTemporaryDir> work;
    bool ownMounts = false;
    DownloadModel model;
    QString destination;
    std::shared_ptr<FolderCard> card;
    QList<int> percents;
    QList<qint64> copied;
    std::function<bool(const Progress&)> onProgress;
    std::function<bool(const QString&, bool)> answer;
    QStringList questions;
};

void DownloadFaultsTest::initTestCase()
{
    // Before any thread exists: mounts made from now on die with this process, also when
    // it is killed.
    ownMounts = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

QString DownloadFaultsTest::mountOwnFileSystem(const QString& options)
{
    const QString point =
        work->filePath(QStringLiteral("mnt%1").arg(QRandomGenerator::global()->generate()));
    if (!QDir().mkdir(point) || ::mount("vix-test", QFile::encodeName(point).constData(), "tmpfs",
                                        0, QFile::encodeName(options).constData()) != 0)
        return QString();
    return point;
}

void DownloadFaultsTest::init()
{
    work = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/download-faults-XXXXXX");
    QVERIFY(work->isValid());
    // A child without privileges must reach the card folders and the destination.
    QVERIFY(::chmod(QFile::encodeName(work->path()).constData(), 0755) == 0);
    destination = work->filePath("backup");
    QVERIFY(QDir().mkdir(destination));
    QVERIFY(::chmod(QFile::encodeName(destination).constData(), 0777) == 0);
    card = std::make_shared<FolderCard>();
    percents.clear();
    copied.clear();
    questions.clear();
    onProgress = nullptr;
    answer = nullptr;
}

void DownloadFaultsTest::cleanup()
{
    // Folders a test made unreadable must be removable again.
    QDirIterator it(work->path(), QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    ::chmod(QFile::encodeName(work->path()).constData(), 0755);
    while (it.hasNext())
        ::chmod(QFile::encodeName(it.next()).constData(), 0755);
    work.reset();
    model.setMirrorDestination(QString());
}

void DownloadFaultsTest::addSession(unsigned id, unsigned sectors)
{
    card->sessions.emplace_back(id, "", sectors);
    const QString folder = work->filePath(QStringLiteral("card/%1").arg(id));
    QVERIFY(QDir().mkpath(folder));
    card->folders[int(id)] = folder;
}

QString DownloadFaultsTest::download()
{
    auto report = [this](const Progress& p) {
        percents << p.percent;
        copied << p.copiedBytes;
        return onProgress && onProgress(p);
    };
    DownloadModel::OverwriteCallback onOverwrite;
    if (answer)
        onOverwrite = [this](const QString& path, bool isFile) {
            questions << path;
            return answer(path, isFile);
        };
    try {
        QString current;
        return model.CopyFilesFromDevice(card, destination, report, onOverwrite, current)
                   ? QStringLiteral("ok")
                   : QStringLiteral("cancelled");
    } catch (const std::runtime_error& error) {
        return QString::fromUtf8(error.what());
    }
}

// The child's percents and switches come back after the result, one line each.
QString DownloadFaultsTest::downloadInRestrictedChild(rlim_t fileSizeLimit)
{
    const QString text = inRestrictedChild(
        [this] {
            const QString result = download();
            QStringList switches;
            for (int id : card->switches)
                switches << QString::number(id);
            QStringList reported;
            for (int percent : percents)
                reported << QString::number(percent);
            return result + "\n" + switches.join(',') + "\n" + reported.join(',');
        },
        fileSizeLimit);
    if (text == "<skip>")
        return text;
    card->switches.clear();
    for (const QString& id : text.section('\n', 1, 1).split(',', Qt::SkipEmptyParts))
        card->switches << id.toInt();
    percents.clear();
    for (const QString& percent : text.section('\n', 2, 2).split(',', Qt::SkipEmptyParts))
        percents << percent.toInt();
    return text.section('\n', 0, 0);
}

void DownloadFaultsTest::fullDestinationFailsNamingTheFileAndKeepsFinishedFiles()
{
    addSession(1, 100);
    addSession(2, 100);
    // Files come before sub-folders, so the small ones are complete when the big one fails.
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        writeFile(card->folders[1] + "/" + name, pattern(5000, name[0]));
    writeFile(card->folders[1] + "/sub/big.bin", pattern(3 << 20, 'g'));
    writeFile(card->folders[2] + "/two.txt", "two");

    const QString result = downloadInRestrictedChild(1 << 20);
    if (result == "<skip>")
        QSKIP("cannot limit the file size in a child process");
    const QString expected = "Could not write data to " + destination + "/1/sub/big.bin.";
    QVERIFY2(result.startsWith(expected), qPrintable(result));
    QVERIFY2(result.contains(reason(EFBIG)), qPrintable(result));

    QCOMPARE(filesBelow(destination),
             QStringList({"1/a.txt", "1/b.txt", "1/c.txt", "1/vix-backup.txt"}));
    QVERIFY(readFile(destination + "/1/vix-backup.txt").contains("\nStatus: incomplete\n"));
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        QCOMPARE(readFile(destination + "/1/" + name), pattern(5000, name[0]));
    QCOMPARE(card->switches, QList<int>({1}));
    QVERIFY(!percents.isEmpty());
    QVERIFY(!percents.contains(100));
}

void DownloadFaultsTest::replacedCopyStaysIntactUntilTheNewOneIsComplete()
{
    addSession(1, 100);
    const QString target = destination + "/1/clip.mp4";
    writeFile(card->folders[1] + "/clip.mp4", pattern(3 << 20, 'n'));
    writeFile(target, "the earlier backup");
    answer = [](const QString&, bool) { return true; };

    // Replacing: while the new copy is written, the old one is still there.
    QStringList seenDuringCopy;
    onProgress = [&](const Progress& p) {
        if (p.sessionCopiedBytes > 0 && p.percent < 100)
            seenDuringCopy << QString::fromLatin1(readFile(target).left(40));
        return false;
    };
    QCOMPARE(download(), QStringLiteral("ok"));
    QCOMPARE(readFile(target), pattern(3 << 20, 'n'));
    QVERIFY(!seenDuringCopy.isEmpty());
    QCOMPARE(seenDuringCopy.filter("the earlier backup").size(), seenDuringCopy.size());
    QCOMPARE(filesBelow(destination),
             QStringList({"1/clip.mp4", "1/vix-backup.sha256", "1/vix-backup.txt"}));

    // Cancelling or failing in the middle of a replacement keeps the earlier copy.
    writeFile(target, "the earlier backup");
    onProgress = [](const Progress& p) { return p.sessionCopiedBytes > 0; };
    QCOMPARE(download(), QStringLiteral("cancelled"));
    QCOMPARE(readFile(target), QByteArray("the earlier backup"));
    QCOMPARE(filesBelow(destination), QStringList({"1/clip.mp4", "1/vix-backup.txt"}));

    onProgress = nullptr;
    QVERIFY(::chmod(QFile::encodeName(destination + "/1").constData(), 0777) == 0);
    const QString result = downloadInRestrictedChild(1 << 20);
    if (result == "<skip>")
        QSKIP("cannot limit the file size in a child process");
    QVERIFY2(result.startsWith("Could not write data to " + target + "."), qPrintable(result));
    QCOMPARE(readFile(target), QByteArray("the earlier backup"));
    QCOMPARE(filesBelow(destination), QStringList({"1/clip.mp4", "1/vix-backup.txt"}));
}

void DownloadFaultsTest::declinedFolderIsLeftUntouched()
{
    addSession(1, 100);
    addSession(2, 100);
    writeFile(card->folders[1] + "/clip.mp4", "new content from the card");
    writeFile(card->folders[1] + "/sub/more.txt", "more");
    writeFile(card->folders[2] + "/two.txt", "two");
    writeFile(destination + "/1/clip.mp4", "the earlier backup");
    writeFile(destination + "/1/only-in-backup.txt", "kept");
    const auto before = contentsBelow(destination + "/1");
    answer = [](const QString&, bool) { return false; };

    QCOMPARE(download(), QStringLiteral("ok"));
    QCOMPARE(questions, QStringList({destination + "/1"}));
    QCOMPARE(contentsBelow(destination + "/1"), before);
    QCOMPARE(readFile(destination + "/2/two.txt"), QByteArray("two"));
}

void DownloadFaultsTest::cardContentChangingDuringTheCopyIsAFailure()
{
    addSession(1, 100);
    const QString source = card->folders[1] + "/clip.mp4";
    // Longer than the card reader runs ahead of the copy, so that it still reads this file.
    const int size = 8 << 20;
    writeFile(source, pattern(size, 's'));
    // The card's file gets shorter after the first chunk was read.
    onProgress = [&](const Progress& p) {
        if (p.sessionCopiedBytes > 0 && QFileInfo(source).size() == size)
            QFile::resize(source, (1 << 20) + 100);
        return false;
    };
    QString result = download();
    QVERIFY2(result.startsWith("Could not read " + source + "."), qPrintable(result));
    QCOMPARE(filesBelow(destination), QStringList());

    // A file of the listing is gone when its turn comes: the second in the engine's order.
    QVERIFY(QFile::remove(source));
    writeFile(card->folders[1] + "/x1", pattern(size, '1'));
    writeFile(card->folders[1] + "/x2", pattern(size, '2'));
    const QStringList order = QDir(card->folders[1]).entryList(QDir::Files, QDir::Unsorted);
    QCOMPARE(order.size(), 2);
    const QString later = card->folders[1] + "/" + order[1];
    onProgress = [&](const Progress& p) {
        if (p.sessionCopiedBytes > 0)
            QFile::remove(later);
        return false;
    };
    result = download();
    // The reader thread's failure reaches the run with the reason of the call that failed.
    QCOMPARE(result, "Could not open " + later + ". " + std::strerror(ENOENT) + ".");
    QCOMPARE(filesBelow(destination), QStringList({"1/vix-backup.txt", "1/" + order[0]}));
    QCOMPARE(readFile(destination + "/1/" + order[0]), readFile(card->folders[1] + "/" + order[0]));
}

void DownloadFaultsTest::unreadableCardContentIsAFailureNotAnEmptyCopy()
{
    addSession(1, 100);
    writeFile(card->folders[1] + "/a.txt", "a");
    const QString folder = card->folders[1] + "/DCIM";
    writeFile(folder + "/img.jpg", "image");
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0) == 0);
    QString result = downloadInRestrictedChild();
    if (result == "<skip>")
        QSKIP("cannot give up root's rights in a child process");
    QVERIFY2(result.startsWith("Could not read " + folder + "."), qPrintable(result));

    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
    const QString file = folder + "/img.jpg";
    QVERIFY(::chmod(QFile::encodeName(file).constData(), 0) == 0);
    result = downloadInRestrictedChild();
    QVERIFY2(result.startsWith("Could not open " + file + "."), qPrintable(result));
    QVERIFY(!filesBelow(destination).contains("1/DCIM/img.jpg"));
}

void DownloadFaultsTest::missingDestinationFailsBeforeTheCardIsSwitched()
{
    QVERIFY(QDir(destination).removeRecursively());
    const QString expected =
        "Could not create directory " + destination + ". " + reason(ENOENT) + ".";
    QCOMPARE(download(), expected);

    addSession(1, 100);
    writeFile(card->folders[1] + "/a.txt", "a");
    QCOMPARE(download(), expected);
    QVERIFY(card->switches.isEmpty());
    QVERIFY(!QFileInfo::exists(destination));
    QVERIFY(!percents.contains(100));
}

void DownloadFaultsTest::readOnlyDestinationFailsWithoutClaimingProgress()
{
    addSession(1, 100);
    writeFile(card->folders[1] + "/a.txt", "a");
    QVERIFY(::chmod(QFile::encodeName(destination).constData(), 0555) == 0);
    const QString result = downloadInRestrictedChild();
    if (result == "<skip>")
        QSKIP("cannot give up root's rights in a child process");
    QCOMPARE(result, "Could not create directory " + destination + "/1. " + reason(EACCES) + ".");
    QVERIFY(!percents.contains(100));
    QCOMPARE(filesBelow(destination), QStringList());
}

void DownloadFaultsTest::percentStaysInRangeWhenKeptFilesAreLarger()
{
    addSession(1, 1); // 512 bytes on the card
    addSession(2, 1);
    writeFile(card->folders[1] + "/big.bin", pattern(100000, 'b'));
    writeFile(card->folders[2] + "/two.txt", "two");
    writeFile(destination + "/1/big.bin", pattern(100000, 'k'));
    answer = [](const QString&, bool isFile) { return !isFile; };
    QCOMPARE(download(), QStringLiteral("ok"));
    for (int percent : percents)
        QVERIFY2(percent >= 0 && percent <= 100, qPrintable(QString::number(percent)));
    for (int i = 1; i < copied.size(); ++i)
        QVERIFY2(copied[i] >= copied[i - 1], qPrintable(QStringLiteral("report %1").arg(i)));
    QCOMPARE(percents.last(), 100);
    QCOMPARE(readFile(destination + "/1/big.bin"), pattern(100000, 'k'));
}

void DownloadFaultsTest::backupOntoTheCardItselfIsRefused()
{
    addSession(1, 100);
    writeFile(card->folders[1] + "/DCIM/clip.mp4", "clip");
    // Through a link, so that only the resolved paths show it.
    const QString onCard = card->folders[1] + "/backup";
    QVERIFY(QDir().mkdir(onCard));
    QVERIFY(QFile::link(onCard, work->filePath("link")));
    destination = work->filePath("link");
    const auto before = contentsBelow(card->folders[1]);
    const QString result = download();
    QVERIFY2(result.startsWith("The backup folder " + destination + " is on the card itself."),
             qPrintable(result));
    QCOMPARE(contentsBelow(card->folders[1]), before);
    QVERIFY(QDir(onCard).isEmpty());

    // A folder whose name only begins like the card's is another folder.
    destination = card->folders[1] + "0";
    QVERIFY(QDir().mkdir(destination));
    QCOMPARE(download(), QStringLiteral("ok"));
    QCOMPARE(readFile(destination + "/1/DCIM/clip.mp4"), QByteArray("clip"));
}

void DownloadFaultsTest::keptFileIsListedOnlyWhenItHoldsTheCardsBytes_data()
{
    QTest::addColumn<QByteArray>("kept");
    QTest::addColumn<bool>("proven");
    QTest::newRow("the card's bytes") << pattern(1200000, 'c') << true;
    QTest::newRow("damaged after the first backup") << QByteArray("damaged!") << false;
    QTest::newRow("same size, one byte changed")
        << pattern(1200000, 'c').replace(600000, 1, "x") << false;
}

void DownloadFaultsTest::keptFileIsListedOnlyWhenItHoldsTheCardsBytes()
{
    QFETCH(QByteArray, kept);
    QFETCH(bool, proven);
    addSession(1, 3000);
    writeFile(card->folders[1] + "/DCIM/CLIP0001.MP4", pattern(1200000, 'c'));
    writeFile(card->folders[1] + "/DCIM/CLIP0002.MP4", pattern(5000, 'd'));
    QCOMPARE(download(), QStringLiteral("ok"));
    writeFile(destination + "/1/DCIM/CLIP0001.MP4", kept);
    // Merge the folders, keep the file.
    answer = [](const QString&, bool isFile) { return !isFile; };

    QCOMPARE(download(), QStringLiteral("ok"));
    const QString folder = destination + "/1";
    QCOMPARE(readFile(folder + "/DCIM/CLIP0001.MP4"), kept);
    QVERIFY2(manifestProblem(folder).isEmpty(), qPrintable(manifestProblem(folder)));
    const QByteArray manifest = readFile(folder + "/" + DownloadModel::manifestName);
    QCOMPARE(manifest.contains("  DCIM/CLIP0001.MP4\n"), proven);
    QVERIFY(manifest.contains("  DCIM/CLIP0002.MP4\n"));
    const QString differs =
        QStringLiteral("Differs from card: DCIM/CLIP0001.MP4 (disk %1 bytes, card 1200000 bytes, "
                       "card SHA-256 %2)")
            .arg(kept.size())
            .arg(QString::fromLatin1(
                QCryptographicHash::hash(pattern(1200000, 'c'), QCryptographicHash::Sha256)
                    .toHex()));
    QCOMPARE(differingInRecord(folder).size(), proven ? 0 : 1);
    QCOMPARE(readFile(folder + "/" + DownloadModel::recordName).contains(differs.toUtf8()),
             !proven);
    QCOMPARE(model.summary().keptDiffering, proven ? 0 : 1);
    QCOMPARE(model.summary().files, proven ? 2 : 1);
}

void DownloadFaultsTest::destinationFailureKeepsTheSystemsReason_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<unsigned>("sectors");
    QTest::addColumn<QString>("expected"); // %1: the destination
    QTest::addColumn<int>("systemError");
    QTest::newRow("too little space")
        << "size=1m" << 8192u
        << "Not enough free space in %1: the backup needs 4.2 MB, but only 1.0 MB are free. "
           "Nothing was written."
        << int(ENOSPC);
    QTest::newRow("running out anyway")
        << "size=1m" << 1u << "Could not write data to %1/1/big.bin. " + reason(ENOSPC) + "."
        << int(ENOSPC);
    QTest::newRow("read-only") << "ro,size=1m" << 1u
                               << "Could not create directory %1/1. " + reason(EROFS) + "."
                               << int(EROFS);
}

void DownloadFaultsTest::destinationFailureKeepsTheSystemsReason()
{
    QFETCH(QString, options);
    QFETCH(unsigned, sectors);
    QFETCH(QString, expected);
    QFETCH(int, systemError);
    if (!ownMounts)
        QSKIP("needs root and a mount namespace of its own to mount a small file system");
    destination = mountOwnFileSystem(options);
    QVERIFY(!destination.isEmpty());
    addSession(1, sectors);
    writeFile(card->folders[1] + "/big.bin", pattern(3 << 20, 'b'));
    try {
        QString current;
        model.CopyFilesFromDevice(card, destination, nullptr, nullptr, current);
        QFAIL("the backup succeeded");
    } catch (const BackupError& error) {
        QCOMPARE(QString::fromUtf8(error.what()), expected.arg(destination));
        QCOMPARE(error.side, BackupError::Side::Destination);
        QCOMPARE(error.systemError, systemError);
    }
    // No session folder that holds nothing of the card.
    QCOMPARE(filesBelow(destination), QStringList());
    QVERIFY(QDir(destination).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    QVERIFY(::umount2(QFile::encodeName(destination).constData(), MNT_DETACH) == 0);
}

void DownloadFaultsTest::cardPulledLeavesEarlierSessionsProvenAndTheCurrentOneMarked()
{
    addSession(1, 100);
    addSession(2, 100);
    writeFile(card->folders[1] + "/one.txt", "one");
    for (const char* name : {"a.bin", "b.bin"})
        writeFile(card->folders[2] + "/" + name, pattern(2 << 20, name[0]));
    // Pulled while the second session's first file is read: the rest of the card is gone.
    onProgress = [this](const Progress& p) {
        if (p.sessionCopiedBytes > 0 && card->switches.size() == 2)
            QDir(card->folders[2]).removeRecursively();
        return false;
    };
    QString current;
    try {
        model.CopyFilesFromDevice(card, destination, onProgress, nullptr, current);
        QFAIL("the backup succeeded without its card");
    } catch (const BackupError& error) {
        QCOMPARE(error.side, BackupError::Side::Card);
    }
    QVERIFY2(manifestProblem(destination + "/1").isEmpty(),
             qPrintable(manifestProblem(destination + "/1")));
    QCOMPARE(model.summary().provenSessions, QStringList({"1"}));
    QCOMPARE(model.summary().incompleteSession, QStringLiteral("2"));
    QVERIFY(readFile(destination + "/2/vix-backup.txt").contains("\nStatus: incomplete\n"));
    QVERIFY(!QFileInfo::exists(destination + "/2/" + DownloadModel::manifestName));
}

void DownloadFaultsTest::mirrorGetsTheSameLayoutWithItsOwnProof()
{
    addSession(1, 100);
    addSession(2, 100);
    writeFile(card->folders[1] + "/DCIM/CLIP0001.MP4", pattern(3 << 20, '1'));
    writeFile(card->folders[1] + "/a.txt", "a");
    writeFile(card->folders[2] + "/b.txt", "b");
    const QString mirror = work->filePath("mirror");
    QVERIFY(QDir().mkdir(mirror));
    model.setMirrorDestination(mirror);
    QCOMPARE(download(), QStringLiteral("ok"));
    QCOMPARE(card->switches, QList<int>({1, 2}));
    QCOMPARE(filesBelow(mirror), filesBelow(destination));
    for (const QString& folder : {destination, mirror})
        for (const char* session : {"/1", "/2"})
            QVERIFY2(manifestProblem(folder + session).isEmpty(),
                     qPrintable(manifestProblem(folder + session)));
    QCOMPARE(readFile(mirror + "/1/DCIM/CLIP0001.MP4"), pattern(3 << 20, '1'));
    QCOMPARE(model.summaries().size(), size_t(2));
    QCOMPARE(model.summaries()[1].folder, mirror);
    QCOMPARE(model.summaries()[1].provenSessions, QStringList({"1", "2"}));
}

void DownloadFaultsTest::mirrorWhoseDiskFillsEndsTheRunNamingIt()
{
    if (!ownMounts)
        QSKIP("needs root and a mount namespace of its own to mount a small file system");
    const QString mirror = mountOwnFileSystem("size=1m");
    QVERIFY(!mirror.isEmpty());
    addSession(1, 1);
    addSession(2, 1);
    writeFile(card->folders[1] + "/one.txt", "one");
    writeFile(card->folders[2] + "/big.bin", pattern(3 << 20, 'b'));
    model.setMirrorDestination(mirror);
    QString current;
    try {
        model.CopyFilesFromDevice(card, destination, nullptr, nullptr, current);
        QFAIL("the backup succeeded on a full disk");
    } catch (const BackupError& error) {
        QCOMPARE(QString::fromUtf8(error.what()),
                 "Could not write data to " + mirror + "/2/big.bin. " + reason(ENOSPC) + ".");
        QCOMPARE(error.path, mirror + "/2/big.bin");
    }
    // What is complete in each stays proven; the rest is marked.
    for (const QString& folder : {destination, mirror})
        QVERIFY2(manifestProblem(folder + "/1").isEmpty(),
                 qPrintable(manifestProblem(folder + "/1")));
    for (const BackupSummary& summary : model.summaries()) {
        QCOMPARE(summary.provenSessions, QStringList({"1"}));
        QCOMPARE(summary.incompleteSession, QString());
    }
    QVERIFY(!QFileInfo::exists(destination + "/2"));
    QVERIFY(::umount2(QFile::encodeName(mirror).constData(), MNT_DETACH) == 0);
}

void DownloadFaultsTest::overlappingMirrorIsRefused_data()
{
    QTest::addColumn<QString>("mirror"); // relative to the backup folder
    QTest::newRow("the same folder") << ".";
    QTest::newRow("inside") << "inner";
    QTest::newRow("around") << "..";
}

void DownloadFaultsTest::overlappingMirrorIsRefused()
{
    QFETCH(QString, mirror);
    addSession(1, 100);
    writeFile(card->folders[1] + "/a.txt", "a");
    QVERIFY(QDir(destination).mkpath("inner"));
    model.setMirrorDestination(destination + "/" + mirror);
    QVERIFY2(download().contains("are the same or one lies inside the other"),
             qPrintable(download()));
    QCOMPARE(filesBelow(work->path()).filter("backup/"), QStringList());
    QVERIFY(card->switches.isEmpty());
}

QTEST_GUILESS_MAIN(DownloadFaultsTest)
#include "download_faults_test.moc"
