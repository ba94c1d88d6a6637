// The download engine's cost for durable copies: DownloadModel::copyRecursively (every file
// flushed before its rename, every folder after its content) against `cp -r` followed by
// `sync`, alternating in one run. Prints each round, the median time ratio and the peak
// resident memory growth of the engine.
//
//   bench_download [--size-mib N] [--rounds N] [--work DIR]
//
// The tree (a few video-sized files and a few thousand small ones) is generated once under
// the work folder, which must be on a disk file system, and reused while its size matches.
#include "downloadmodel.h"
#include "utils.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    int rounds = 3;
    QString work = QStringLiteral(VIX_BENCH_WORK_DIR);
};

const qint64 mebibyte = 1 << 20;

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--size-mib" && hasValue)
            options.sizeMiB = std::atoll(argv[++i]);
        else if (arg == "--rounds" && hasValue)
            options.rounds = std::atoi(argv[++i]);
        else if (arg == "--work" && hasValue)
            options.work = QString::fromLocal8Bit(argv[++i]);
        else if (arg.rfind("--benchmark_", 0) != 0) // flags of the common bench runner
            return false;
    }
    return options.sizeMiB >= 16 && options.rounds >= 1;
}

bool writeRandomFile(const QString& path, qint64 size, std::mt19937_64& random)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::vector<quint64> block(mebibyte / sizeof(quint64));
    for (qint64 left = size; left > 0;) {
        for (quint64& word : block)
            word = random();
        const qint64 piece = std::min(left, mebibyte);
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
    long peakGrowthKiB = 0;
    bool ok = false;
};

Run runEngine(const QString& source, const QString& target)
{
    Run run;
    resetPeakResident();
    const long before = residentKiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    try {
        DownloadModel model;
        Progress progress;
        run.ok = model.copyRecursively(source, target, progress, {}) &&
                 syncDirectory(QFileInfo(target).path());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "engine: %s\n", error.what());
    }
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
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
    run.peakGrowthKiB = usage.ru_maxrss;
    return run;
}

void removeAndSettle(const QString& path)
{
    QDir(path).removeRecursively();
    ::sync();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: bench_download [--size-mib N>=16] [--rounds N>=1] "
                             "[--work DIR]\n");
        return 2;
    }
    const QString source = options.work + "/tree";
    if (!generateTree(source, options.sizeMiB)) {
        std::fprintf(stderr, "bench_download: cannot generate the tree under %s\n",
                     qPrintable(source));
        return 1;
    }
    std::printf("Tree: %lld MiB, %d rounds each, alternating; source in the page cache\n",
                options.sizeMiB, options.rounds);

    std::vector<double> ratios;
    long worstGrowth = 0;
    for (int round = 1; round <= options.rounds; ++round) {
        const QString engineTarget = options.work + "/engine-copy";
        const QString commandTarget = options.work + "/cp-copy";
        removeAndSettle(engineTarget);
        removeAndSettle(commandTarget);
        // Alternate which goes first so that neither always meets a warmer disk.
        Run engine, command;
        if (round % 2) {
            engine = runEngine(source, engineTarget);
            removeAndSettle(engineTarget);
            command = runCommand(source, commandTarget);
        } else {
            command = runCommand(source, commandTarget);
            removeAndSettle(commandTarget);
            engine = runEngine(source, engineTarget);
        }
        if (!engine.ok || !command.ok) {
            std::fprintf(stderr, "bench_download: a copy failed in round %d\n", round);
            return 1;
        }
        ratios.push_back(engine.seconds / command.seconds);
        worstGrowth = std::max(worstGrowth, engine.peakGrowthKiB);
        std::printf("round %d: engine %.2f s, cp -r + sync %.2f s, ratio %.3f, engine peak RSS "
                    "growth %.1f MiB (cp max RSS %.1f MiB)\n",
                    round, engine.seconds, command.seconds, ratios.back(),
                    engine.peakGrowthKiB / 1024.0, command.peakGrowthKiB / 1024.0);
        std::fflush(stdout);
    }
    removeAndSettle(options.work + "/engine-copy");
    removeAndSettle(options.work + "/cp-copy");

    const double ratio = median(ratios);
    const double growthMiB = worstGrowth / 1024.0;
    std::printf("median time ratio engine / (cp -r + sync): %.3f (target <= 1.10)\n", ratio);
    std::printf("engine peak RSS growth: %.1f MiB (target < 64 MiB)\n", growthMiB);
    std::printf("%s\n", ratio <= 1.10 && growthMiB < 64 ? "within target" : "OUTSIDE TARGET");
    return 0;
}
