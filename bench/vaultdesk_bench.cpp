// vaultdesk as a user starts it: on Xvfb with a window manager that has a tray, one card
// attached. Prints the time from exec to the main window being mapped, and the CPU and memory
// the program uses while it sits in the tray for a minute (its 2 s card scan included).
//   bench_vaultdesk [--rounds N] [--idle-seconds S]
#include "VirtualCard.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const title = "Kendrova Tresora Archive Tool";

struct Options
{
    int rounds = 10;
    int idleSeconds = 60;
};

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc)
            options.rounds = std::atoi(argv[++i]);
        else if (arg == "--idle-seconds" && i + 1 < argc)
            options.idleSeconds = std::atoi(argv[++i]);
        else if (!arg.startsWith("--benchmark_")) // flags of the common bench runner
            return false;
    }
    return options.rounds > 0 && options.idleSeconds > 0;
}

bool windowMapped()
{
    QProcess search;
    search.start(QStringLiteral("xdotool"),
                 {"search", "--onlyvisible", "--name", QStringLiteral("^%1$").arg(title)});
    search.waitForFinished();
    return search.exitCode() == 0 && !search.readAllStandardOutput().trimmed().isEmpty();
}

template <typename Condition> bool waitFor(Condition condition, int timeoutMs, int stepMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QThread::msleep(stepMs);
    }
    return true;
}

// The X server and the window manager, for as long as the object lives.
class Desktop
{
public:
    bool start(const QString& work)
    {
        QFile::remove(work + "/display");
        server.setStandardErrorFile(work + "/xvfb.log");
        server.start(QStringLiteral("sh"),
                     {"-c", "exec Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>" + work +
                                "/display"});
        QFile display(work + "/display");
        if (!waitFor([&] { return QFileInfo(display.fileName()).size() > 0; }, 10000, 50))
            return false;
        display.open(QIODevice::ReadOnly);
        qputenv("DISPLAY", ":" + display.readAll().trimmed());
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("HOME", QFile::encodeName(work));
        windowManager.setStandardOutputFile(work + "/icewm.log");
        windowManager.setStandardErrorFile(work + "/icewm.log");
        windowManager.start(QStringLiteral("icewm"), QStringList());
        return waitFor(
            [] {
                QProcess search;
                search.start(QStringLiteral("xdotool"),
                             {"search", "--onlyvisible", "--name", "^TaskBar$"});
                search.waitForFinished();
                return search.exitCode() == 0;
            },
            30000, 100);
    }
    ~Desktop()
    {
        for (QProcess* process : {&windowManager, &server}) {
            process->terminate();
            process->waitForFinished(5000);
        }
    }

private:
    QProcess server;
    QProcess windowManager;
};

// Clock ticks of CPU time the process has used so far.
long long cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // utime and stime are the 14th and 15th fields; the list starts at the 3rd.
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();
}

long long statusKiB(qint64 pid, const QByteArray& key)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

void stop(QProcess& program)
{
    program.terminate();
    if (!program.waitForFinished(5000))
        program.kill();
    program.waitForFinished();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // rounds show up as they finish
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--rounds N] [--idle-seconds S]\n", argv[0]);
        return 2;
    }
    for (const char* tool : {"Xvfb", "icewm", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::printf("bench_vaultdesk: skipped, %s is missing (scripts/install-deps.sh)\n",
                        tool);
            return 0;
        }
    }
    const QString work = QStringLiteral(VIX_BENCH_WORK_DIR);
    QDir(work).removeRecursively();
    QDir().mkpath(work + "/devices");

    // The card: a disk when this machine allows it, else its image, which the scan reads
    // the same way. Either way it is the only card in the folder vaultdesk scans.
    const std::string diskUnavailable = vixtest::diskModeUnavailable();
    vixtest::VirtualCardOptions cardOptions;
    cardOptions.disk = diskUnavailable.empty();
    cardOptions.pin = "1234";
    vixtest::VirtualCard card(cardOptions);
    struct stat node
    {
    };
    ::stat(card.devicePath().c_str(), &node);
    const QString cardNode = work + "/devices/sdz1";
    const bool linked =
        cardOptions.disk ? ::mknod(QFile::encodeName(cardNode), S_IFBLK | 0660, node.st_rdev) == 0
                         : QFile::link(QString::fromStdString(card.devicePath()), cardNode);
    if (!linked) {
        std::fprintf(stderr, "bench_vaultdesk: cannot put the card into %s\n",
                     qPrintable(cardNode));
        return 1;
    }
    qputenv("VAULTDESK_DEVICE_FOLDER", QFile::encodeName(work + "/devices"));

    Desktop desktop;
    if (!desktop.start(work)) {
        std::fprintf(stderr, "bench_vaultdesk: Xvfb or icewm did not start\n");
        return 1;
    }
    // A name of its own keeps the program apart from any other vaultdesk of the machine.
    const QString program = work + "/vaultdesk-bench";
    QFile::link(QStringLiteral(VIX_VAULTDESK_PATH), program);

    std::printf("card: %s (%s)\n", cardOptions.disk ? "attached disk" : "image file",
                cardOptions.disk ? "root" : diskUnavailable.c_str());
    std::vector<double> startMs;
    for (int round = 0; round < options.rounds; ++round) {
        QProcess vaultdesk;
        vaultdesk.setStandardErrorFile(work + "/vaultdesk.log", QIODevice::Append);
        QElapsedTimer started;
        started.start();
        vaultdesk.start(program, QStringList());
        if (!waitFor(windowMapped, 30000, 5)) {
            std::fprintf(stderr, "bench_vaultdesk: the window did not appear\n");
            return 1;
        }
        startMs.push_back(started.nsecsElapsed() / 1e6);
        std::printf("start-up round %d: %.0f ms\n", round, startMs.back());
        stop(vaultdesk);
    }
    const double startMedian = median(startMs);
    std::printf("start-up to mapped window: median %.0f ms, best %.0f ms, worst %.0f ms; "
                "median / 500 ms target = %.2f\n",
                startMedian, *std::min_element(startMs.begin(), startMs.end()),
                *std::max_element(startMs.begin(), startMs.end()), startMedian / 500);

    QProcess tray;
    tray.setStandardErrorFile(work + "/vaultdesk.log", QIODevice::Append);
    tray.start(program, {"--background"});
    tray.waitForStarted();
    QThread::sleep(5); // start-up and the first scans are not idling
    const qint64 pid = tray.processId();
    const long long ticksBefore = cpuTicks(pid);
    QElapsedTimer idle;
    idle.start();
    QThread::sleep(static_cast<unsigned long>(options.idleSeconds));
    const double seconds = idle.nsecsElapsed() / 1e9;
    const long long ticks = cpuTicks(pid) - ticksBefore;
    const double cpuPercent = 100.0 * ticks / sysconf(_SC_CLK_TCK) / seconds;
    const double rssMiB = statusKiB(pid, "VmRSS") / 1024.0;
    const double peakMiB = statusKiB(pid, "VmHWM") / 1024.0;
    stop(tray);
    std::printf("idle in the tray for %.0f s: CPU %.3f %% of one core (%lld ticks; / 0.5 %% "
                "target = %.2f), resident %.1f MiB (peak %.1f MiB; / 80 MiB target = %.2f)\n",
                seconds, cpuPercent, ticks, cpuPercent / 0.5, rssMiB, peakMiB, rssMiB / 80);
    return 0;
}
