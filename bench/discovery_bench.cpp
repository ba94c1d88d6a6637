// Card discovery as vaultdesk runs it, on a device folder of its own holding a virtual card
// attached as a disk and four disks of random data. Prints the medians of the time from a
// card's node appearing to the card being listed and from its removal to the card being
// dropped, then the reads of the other disks and the CPU used while idle with the 2 s scan.
//   bench_discovery [--rounds N] [--idle-seconds S]     (root)
#include "VirtualCard.h"
#include "bench_options.h"
#include "devicemodelfactory.h"
#include "devicewatcher.h"
#include "plain_loop_disk.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr double hotPlugTargetMs = 500;
constexpr double idleCpuTargetPercent = 0.1;
constexpr int plainDisks = 4;

bool lists(const DeviceList& devices, const QString& path)
{
    return std::any_of(devices.cbegin(), devices.cend(),
                       [&](const Device& device) { return device.devicePath == path; });
}

// Milliseconds from `change` until the watcher publishes a list for which `done` holds.
template <typename Change, typename Done>
double publishedAfter(DeviceWatcher& watcher, Change change, Done done)
{
    QEventLoop loop;
    QElapsedTimer clock;
    const QMetaObject::Connection connection = QObject::connect(
        &watcher, &DeviceWatcher::recognizedDevicesChanged, &loop, [&](const DeviceList& devices) {
            if (done(devices))
                loop.quit();
        });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    clock.start();
    change();
    loop.exec();
    QObject::disconnect(connection);
    return double(clock.nsecsElapsed()) / 1e6;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void report(const char* what, const std::vector<double>& rounds)
{
    const double middle = median(rounds);
    std::printf("%-32s median %7.1f ms, worst %7.1f ms over %zu rounds (target %.0f ms: ratio "
                "%.2f)\n",
                what, middle, *std::max_element(rounds.begin(), rounds.end()), rounds.size(),
                hotPlugTargetMs, middle / hotPlugTargetMs);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int rounds = 15;
    int idleSeconds = 60;
    if (!parseBenchOptions(argc, argv, {{"--rounds", &rounds}, {"--idle-seconds", &idleSeconds}}) ||
        rounds < 1 || idleSeconds < 1) {
        std::fprintf(stderr, "usage: %s [--rounds N] [--idle-seconds S]\n", argv[0]);
        return 2;
    }
    if (const std::string reason = vixtest::diskModeUnavailable(); !reason.empty()) {
        std::printf("bench_discovery: skipped, %s\n", reason.c_str());
        return 0;
    }

    vixtest::VirtualCardOptions cardOptions;
    cardOptions.disk = true;
    vixtest::VirtualCard card(cardOptions);
    QTemporaryDir work(QStringLiteral("/var/tmp/vix-discovery-bench-XXXXXX"));
    std::vector<std::unique_ptr<vixtest::PlainLoopDisk>> disks;
    for (int n = 0; n < plainDisks; ++n)
        disks.push_back(std::make_unique<vixtest::PlainLoopDisk>(
            work.filePath(QStringLiteral("plain%1.img").arg(n)), 64 << 20));
    QProcess::execute(QStringLiteral("udevadm"), {QStringLiteral("settle")});

    QTemporaryDir devices;
    const dev_t partition = vixtest::deviceNumberOf(card.devicePath());
    vixtest::makeBlockNode(devices.filePath("sdq"), vixtest::deviceNumberOf(card.diskNode()));
    vixtest::makeBlockNode(devices.filePath("sdq1"), partition);
    for (int n = 0; n < plainDisks; ++n)
        vixtest::makeBlockNode(devices.filePath(QStringLiteral("sd%1").arg(QChar('r' + n))),
                               disks[std::size_t(n)]->number());

    DeviceWatcher watcher(2000, new DeviceModelFactory(devices.path()));
    QEventLoop initial;
    QObject::connect(&watcher, &DeviceWatcher::finishedInitialScan, &initial, &QEventLoop::quit);
    watcher.start();
    initial.exec();

    const QString slot = QDir::cleanPath(devices.filePath("mmcblk0p1"));
    std::vector<double> appeared;
    std::vector<double> vanished;
    for (int round = 0; round < rounds; ++round) {
        appeared.push_back(publishedAfter(
            watcher, [&] { vixtest::makeBlockNode(slot, partition); },
            [&](const DeviceList& list) { return lists(list, slot); }));
        QThread::msleep(300); // apart from the scan the node itself set off
        vanished.push_back(publishedAfter(
            watcher, [&] { QFile::remove(slot); },
            [&](const DeviceList& list) { return !lists(list, slot); }));
        QThread::msleep(300);
    }
    report("node appears -> card listed", appeared);
    report("node removed -> card dropped", vanished);

    std::vector<qint64> readsBefore;
    for (const auto& disk : disks)
        readsBefore.push_back(disk->reads());
    const double cpuBefore = cpuSeconds();
    QTimer::singleShot(idleSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double cpuPercent = (cpuSeconds() - cpuBefore) / idleSeconds * 100;
    qint64 repeatedReads = 0;
    for (std::size_t n = 0; n < disks.size(); ++n)
        repeatedReads += disks[n]->reads() - readsBefore[n];
    std::printf("idle %d s, %d disks that are no card: %lld reads after their first probe "
                "(target 0)\n",
                idleSeconds, plainDisks, static_cast<long long>(repeatedReads));
    std::printf("idle CPU: %.3f %% of one core (target %.1f %%: ratio %.2f)\n", cpuPercent,
                idleCpuTargetPercent, cpuPercent / idleCpuTargetPercent);
    watcher.stop();
    return repeatedReads == 0 ? 0 : 1;
}
