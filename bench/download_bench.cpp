// The download engine's cost for proven, durable copies: DownloadModel::copyRecursively (every
// file hashed while it is copied, flushed, read back from the disk and compared before its
// rename) against `cp -r` followed by `sync`, alternating in one run, also with the read-back
// left out. Prints each round, the median time ratios, the engine's CPU time per GiB and its
// peak resident memory growth, and the speed of the two SHA-256 implementations at hand. As
// root, with the virtual card attached as a disk whose reads are limited to 90 MB/s, it also
// prints the engine's throughput against that limit.
//
//   bench_download [--size-mib N] [--rounds N] [--card-mib N] [--work DIR]
//   bench_download --many-files N [--work DIR]
//
// The second form measures scale instead: a session of N small files against one of N/10,
// peak resident memory growth and time per file.
//
// The tree (a few video-sized files and a few thousand small ones) is generated once under
// the work folder, which must be on a disk file system, and reused while its size matches.
#include "downloadmodel.h"
#include "downloadproof.h"
#include "utils.h"
#ifdef VIX_BENCH_CARD
#include "VirtualCard.h"
#endif

#include "bench_options.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Options
{
    qint64 sizeMiB = 1024;
    qint64 cardMiB = 512;
    int rounds = 5;
    qint64 manyFiles = 0;
    QString work = QStringLiteral(VIX_BENCH_WORK_DIR);
};

const qint64 mebibyte = 1 << 20;

bool parse(int argc, char** argv, Options& options)
{
    return parseBenchOptions(argc, argv,
                             {{"--size-mib", &options.sizeMiB},
                              {"--card-mib", &options.cardMiB},
                              {"--rounds", &options.rounds},
                              {"--many-files", &options.manyFiles},
                              {"--work", &options.work}}) &&
           options.sizeMiB >= 16 && options.cardMiB >= 16 && options.rounds >= 1;
}

bool writeRandomFile(const QString& path, qint64 size, std::mt19937_64& random)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::vector<quint64> block(mebibyte / sizeof(quint64));
    for (qint64 left = size; left > 0;) {
        const qint64 piece = std::min(left, mebibyte);
        // Only what is written: small files would otherwise cost a whole block each.
        std::generate_n(block.begin(), (piece + 7) / 8, std::ref(random));
        if (file.write(reinterpret_cast<const char*>(block.data()), piece) != piece)
            return false;
        left -= piece;
    }
    return true;
}

// Three quarters of the bytes in four large files, the rest in small files of 4-128 KiB
// spread over camera-like folders.
bool generateTree(const QString& root, qint64 sizeMiB)
{
    const QString stamp = root + QStringLiteral("/.generated-%1").arg(sizeMiB);
    if (QFile::exists(stamp))
        return true;
    QDir(root).removeRecursively();
    std::mt19937_64 random(42);
    const qint64 total = sizeMiB * mebibyte;
    const qint64 large = total * 3 / 4 / 4;
    std::printf("Generating a %lld MiB tree under %s ...\n", sizeMiB, qPrintable(root));
    std::fflush(stdout);
    if (!QDir().mkpath(root + "/VIDEO"))
        return false;
    for (int i = 0; i < 4; ++i)
        if (!writeRandomFile(root + QStringLiteral("/VIDEO/CLIP%1.MP4").arg(i), large, random))
            return false;
    std::uniform_int_distribution<qint64> smallSize(4 * 1024, 128 * 1024);
    qint64 left = total - 4 * large;
    for (int i = 0; left > 0; ++i) {
        const QString folder = root + QStringLiteral("/DCIM/%1CAMERA").arg(100 + i / 100);
        if (i % 100 == 0 && !QDir().mkpath(folder))
            return false;
        const qint64 size = std::min(left, smallSize(random));
        if (!writeRandomFile(folder + QStringLiteral("/IMG_%1.JPG").arg(i, 5, 10, QChar('0')), size,
                             random))
            return false;
        left -= size;
    }
    ::sync();
    return QFile(stamp).open(QIODevice::WriteOnly);
}

long residentKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

// Starts a fresh peak for VmHWM.
void resetPeakResident()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

struct Run
{
    double seconds = 0;
    double cpuSeconds = 0;
    long peakGrowthKiB = 0;
    bool ok = false;
};

double cpuSeconds(const rusage& usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double cpuSecondsOfThisProcess()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return cpuSeconds(usage);
}

// The engine with the read-back from the disk left out, to show what that step costs.
class UncheckedDownloadModel : public DownloadModel
{
protected:
    bool checksCopiesOnDisk() const override { return false; }
};

Run runEngine(const QString& source, const QString& target, bool checked)
{
    Run run;
    resetPeakResident();
    const long before = residentKiB("VmRSS:");
    const double cpuBefore = cpuSecondsOfThisProcess();
    QElapsedTimer timer;
    timer.start();
    try {
        std::unique_ptr<DownloadModel> model(checked ? new DownloadModel
                                                     : new UncheckedDownloadModel);
        Progress progress;
        run.ok = model->copyRecursively(source, target, progress, {}) &&
                 syncDirectory(QFileInfo(target).path());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "engine: %s\n", error.what());
    }
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.cpuSeconds = cpuSecondsOfThisProcess() - cpuBefore;
    run.peakGrowthKiB = residentKiB("VmHWM:") - before;
    return run;
}

Run runCommand(const QString& source, const QString& target)
{
    Run run;
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const QByteArray from = QFile::encodeName(source), to = QFile::encodeName(target);
        ::execlp("sh", "sh", "-c", "cp -r \"$0\" \"$1\" && sync", from.constData(), to.constData(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    run.ok = pid > 0 && ::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) &&
             WEXITSTATUS(status) == 0;
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.cpuSeconds = cpuSeconds(usage);
    run.peakGrowthKiB = usage.ru_maxrss;
    return run;
}

void removeAndSettle(const QString& path)
{
    QDir(path).removeRecursively();
    ::sync();
}

// MB/s of a SHA-256 over an in-memory buffer.
template <typename Hash> double hashSpeed(Hash hash)
{
    const QByteArray data(256 << 20, 'x');
    QElapsedTimer timer;
    timer.start();
    hash(data);
    return double(data.size()) / 1e6 / (double(timer.nsecsElapsed()) / 1e9);
}

void printHashSpeeds()
{
    const double library = hashSpeed([](const QByteArray& data) {
        Sha256 hash;
        hash.add(data.constData(), data.size());
        return hash.result();
    });
    const double qt = hashSpeed([](const QByteArray& data) {
        return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
    });
    std::printf("SHA-256 of 256 MiB in memory: crypto library (used) %.0f MB/s, "
                "QCryptographicHash %.0f MB/s (%.1f times slower)\n",
                library, qt, library / qt);
}

struct Figures
{
    std::vector<double> checkedRatios, uncheckedRatios, checkedCpu, uncheckedCpu, copyCommandCpu;
    long worstGrowthKiB = 0;
};

// One round: the checked engine, the unchecked engine and cp -r + sync, in a rotating order
// so that none always meets a warmer or colder disk.
bool runRound(int round, const Options& options, const QString& source, Figures& figures)
{
    const QString targets[3] = {options.work + "/engine-copy", options.work + "/unchecked-copy",
                                options.work + "/cp-copy"};
    Run runs[3];
    for (int step = 0; step < 3; ++step) {
        const int which = (round + step) % 3;
        removeAndSettle(targets[which]);
        runs[which] = which == 2 ? runCommand(source, targets[which])
                                 : runEngine(source, targets[which], which == 0);
        removeAndSettle(targets[which]);
        if (!runs[which].ok) {
            std::fprintf(stderr, "bench_download: a copy failed in round %d\n", round);
            return false;
        }
    }
    const double gib = double(options.sizeMiB) / 1024;
    figures.checkedRatios.push_back(runs[0].seconds / runs[2].seconds);
    figures.uncheckedRatios.push_back(runs[1].seconds / runs[2].seconds);
    figures.checkedCpu.push_back(runs[0].cpuSeconds / gib);
    figures.uncheckedCpu.push_back(runs[1].cpuSeconds / gib);
    figures.copyCommandCpu.push_back(runs[2].cpuSeconds / gib);
    figures.worstGrowthKiB =
        std::max({figures.worstGrowthKiB, runs[0].peakGrowthKiB, runs[1].peakGrowthKiB});
    std::printf("round %d: engine %.2f s (CPU %.2f s), without read-back %.2f s (CPU %.2f s), "
                "cp -r + sync %.2f s (CPU %.2f s); ratios %.3f / %.3f; engine peak RSS growth "
                "%.1f MiB\n",
                round, runs[0].seconds, runs[0].cpuSeconds, runs[1].seconds, runs[1].cpuSeconds,
                runs[2].seconds, runs[2].cpuSeconds, figures.checkedRatios.back(),
                figures.uncheckedRatios.back(),
                std::max(runs[0].peakGrowthKiB, runs[1].peakGrowthKiB) / 1024.0);
    std::fflush(stdout);
    return true;
}

// Drops the cached pages of every file below the folder, so that the next read comes from the
// card again.
void dropCachedPages(const QString& folder)
{
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const int fd = ::open(QFile::encodeName(it.next()).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

#ifdef VIX_BENCH_CARD
// The virtual card as a disk whose reads are limited to the speed of a fast card.
void runThrottled(const Options& options)
{
    const unsigned long long limit = 90000000;
    if (const std::string reason = vixtest::diskModeUnavailable(); !reason.empty()) {
        std::printf("card-speed throughput: not measured (%s)\n", reason.c_str());
        return;
    }
    vixtest::VirtualCardOptions cardOptions;
    cardOptions.disk = true;
    cardOptions.readBytesPerSecond = limit;
    vixtest::VirtualCard card(cardOptions);
    const QString sessions = QString::fromStdString(card.sessionsDir());
    const QStringList current = QDir(sessions).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (current.size() != 1 ||
        !generateTree(sessions + "/" + current.first() + "/tree", options.cardMiB)) {
        std::fprintf(stderr, "bench_download: cannot record the card's files\n");
        return;
    }
    // The card shows new files of its session from its next command on.
    try {
        DeviceModelImpl(card.devicePath()).isActivated();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_download: the card does not answer: %s\n", error.what());
        return;
    }
    const QString source = QString::fromStdString(card.mountPoint()) + "/tree";
    const QString target = options.work + "/card-copy";
    const double megabytes = double(options.cardMiB << 20) / 1e6;
    std::vector<double> shares, copyCommandShares;
    for (int round = 1; round <= options.rounds; ++round) {
        double speeds[2] = {0, 0}; // the engine, cp -r + sync
        for (int step = 0; step < 2; ++step) {
            const int which = (round + step) % 2;
            removeAndSettle(target);
            dropCachedPages(source);
            const Run run =
                which == 0 ? runEngine(source, target, true) : runCommand(source, target);
            removeAndSettle(target);
            if (!run.ok)
                return;
            speeds[which] = megabytes / run.seconds;
        }
        shares.push_back(speeds[0] * 1e6 / double(limit));
        copyCommandShares.push_back(speeds[1] * 1e6 / double(limit));
        std::printf("card round %d: engine %.1f MB/s = %.1f %%, cp -r + sync %.1f MB/s = %.1f %% "
                    "of the card's %.0f MB/s\n",
                    round, speeds[0], shares.back() * 100, speeds[1],
                    copyCommandShares.back() * 100, double(limit) / 1e6);
        std::fflush(stdout);
    }
    std::printf("median card-speed throughput: %.1f %% of %.0f MB/s (target >= 95 %%); "
                "cp -r + sync from the same card: %.1f %%\n",
                median(shares) * 100, double(limit) / 1e6, median(copyCommandShares) * 100);
}
#endif

// Files of 1 KiB in camera-like folders of 1,000.
bool generateManyFiles(const QString& root, qint64 count)
{
    const QString stamp = root + QStringLiteral("/.generated-%1").arg(count);
    if (QFile::exists(stamp))
        return true;
    QDir(root).removeRecursively();
    std::mt19937_64 random(7);
    std::printf("Generating %lld files under %s ...\n", count, qPrintable(root));
    std::fflush(stdout);
    for (qint64 i = 0; i < count; ++i) {
        const QString folder = root + QStringLiteral("/DCIM/%1CAMERA").arg(100 + i / 1000);
        if (i % 1000 == 0 && !QDir().mkpath(folder))
            return false;
        if (!writeRandomFile(folder + QStringLiteral("/IMG_%1.JPG").arg(i, 6, 10, QChar('0')), 1024,
                             random))
            return false;
    }
    ::sync();
    return QFile(stamp).open(QIODevice::WriteOnly);
}

int runScale(const Options& options)
{
    double perFile[2] = {};
    const qint64 counts[2] = {options.manyFiles / 10, options.manyFiles};
    for (int index = 0; index < 2; ++index) {
        const QString source = options.work + QStringLiteral("/many-%1").arg(counts[index]);
        const QString target = options.work + "/many-copy";
        if (!generateManyFiles(source, counts[index]))
            return 1;
        removeAndSettle(target);
        const Run run = runEngine(source, target, true);
        removeAndSettle(target);
        if (!run.ok)
            return 1;
        perFile[index] = run.seconds / double(counts[index]) * 1e6;
        std::printf("%lld files: %.1f s, %.0f us per file, peak RSS growth %.1f MiB "
                    "(target < 64 MiB)\n",
                    counts[index], run.seconds, perFile[index], run.peakGrowthKiB / 1024.0);
    }
    std::printf("time per file, %lld against %lld files: ratio %.2f (target <= 1.2)\n", counts[1],
                counts[0], perFile[1] / perFile[0]);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: bench_download [--size-mib N>=16] [--rounds N>=1] "
                             "[--card-mib N>=16] [--work DIR]\n");
        return 2;
    }
    if (options.manyFiles > 0)
        return runScale(options);
    printHashSpeeds();
    const QString source = options.work + "/tree";
    if (!generateTree(source, options.sizeMiB)) {
        std::fprintf(stderr, "bench_download: cannot generate the tree under %s\n",
                     qPrintable(source));
        return 1;
    }
    std::printf("Tree: %lld MiB, %d rounds, alternating; source in the page cache\n",
                options.sizeMiB, options.rounds);
    Figures figures;
    for (int round = 1; round <= options.rounds; ++round)
        if (!runRound(round, options, source, figures))
            return 1;

    const double ratio = median(figures.checkedRatios);
    const double cpu = median(figures.checkedCpu);
    const double growthMiB = figures.worstGrowthKiB / 1024.0;
    std::printf("median time ratio engine / (cp -r + sync): %.3f (target <= 1.35)\n", ratio);
    std::printf("median time ratio engine without read-back / (cp -r + sync): %.3f\n",
                median(figures.uncheckedRatios));
    std::printf("median engine CPU time: %.2f s/GiB (target <= 2.0), without read-back %.2f "
                "s/GiB; cp -r + sync %.2f s/GiB\n",
                cpu, median(figures.uncheckedCpu), median(figures.copyCommandCpu));
    std::printf("engine peak RSS growth: %.1f MiB (target < 64 MiB)\n", growthMiB);
    std::printf("%s\n",
                ratio <= 1.35 && cpu <= 2.0 && growthMiB < 64 ? "within target" : "OUTSIDE TARGET");
#ifdef VIX_BENCH_CARD
    runThrottled(options);
#else
    std::printf("card-speed throughput: not measured (built without the virtual card)\n");
#endif
    return 0;
}
