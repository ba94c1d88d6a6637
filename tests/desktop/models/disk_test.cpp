// The device model layer against a virtual card attached as a real disk, with
// the real helper programs: discovery under /dev, the mount table, and a backup
// from the mounted card, also when the card goes away in the middle.
#include "Device.h"
#include "checksum_check.h"
#include "devicemodel.h"
#include "devicemodelfactory.h"
#include "downloadmodel.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <stdexcept>

#include "VirtualCard.h"
#include "plain_loop_disk.h"

namespace {

#define SKIP_WITHOUT_DISK_MODE()                                                                   \
    if (const std::string reason = vixtest::diskModeUnavailable(); !reason.empty())                \
    QSKIP(reason.c_str())

std::unique_ptr<vixtest::VirtualCard> diskCard(vixtest::VirtualCardOptions options)
{
    options.disk = true;
    auto card = std::make_unique<vixtest::VirtualCard>(options);
    qputenv("VIX_MOUNT_STATE_DIR", QByteArray::fromStdString(card->folder() + "/mount-notes"));
    return card;
}

// Activated and unlocked, with the four example sessions.
vixtest::VirtualCardOptions sessionCard()
{
    vixtest::VirtualCardOptions options;
    options.exampleSessions = true;
    options.pin = "1234";
    return options;
}

bool backUp(std::shared_ptr<DeviceModel> device, const QString& destination,
            DownloadModel::ProgressCallback onProgress)
{
    QString currentFolder;
    return DownloadModel().CopyFilesFromDevice(
        std::move(device), destination, std::move(onProgress),
        [](const QString&, bool) { return true; }, currentFolder);
}

Device findDevice(const vixtest::VirtualCard& card)
{
    // Other disks may be attached at the same time: only this card counts.
    for (const Device& device : DeviceModelFactory().searchDevices())
        if (device.devicePath == QString::fromStdString(card.devicePath()))
            return device;
    return {};
}

// Relative path, size and time of every file below a folder.
QStringList filesWithTimes(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        files << QDir(folder).relativeFilePath(info.filePath()) + " " +
                     QString::number(info.size()) + " " +
                     info.lastModified().toUTC().toString(Qt::ISODate);
    }
    files.sort();
    return files;
}

// The current session's id: the first field of its line in the card's state.
QString currentSessionId(const vixtest::VirtualCard& card)
{
    return QString::fromStdString(card.stateValue("current-session")).section(' ', 0, 0);
}

} // namespace

class DiskModelsTest : public QObject
{
    Q_OBJECT

private slots:
    void discoveryFindsTheCardWithItsTypeAndFlags_data();
    void discoveryFindsTheCardWithItsTypeAndFlags();
    void builtInSlotNodesFindTheCard();
    void aDiskThatIsNoCardIsReadOnce();
    void unclosedRecordingIsKeptUnlessEmpty_data();
    void unclosedRecordingIsKeptUnlessEmpty();
    void backupCopiesEverySessionFromTheMountedCard();
    void cardDetachedDuringBackupFailsTheBackup();
};

void DiskModelsTest::discoveryFindsTheCardWithItsTypeAndFlags_data()
{
    QTest::addColumn<bool>("fullSize");
    QTest::addColumn<bool>("activated");
    QTest::addColumn<int>("type");
    QTest::addColumn<unsigned>("securityFlags");
    QTest::newRow("micro, activated with Admin user") << false << true << int(MicroSdCard) << 2u;
    QTest::newRow("full size, transparent") << true << false << int(SdCard) << 0u;
}

void DiskModelsTest::discoveryFindsTheCardWithItsTypeAndFlags()
{
    SKIP_WITHOUT_DISK_MODE();
    QFETCH(bool, fullSize);
    QFETCH(bool, activated);
    vixtest::VirtualCardOptions options;
    options.formFactor = fullSize ? vixtest::FormFactor::FullSize : vixtest::FormFactor::MicroSd;
    if (activated) {
        options.pin = "1234";
        options.adminPin = "12345678";
    }
    auto card = diskCard(options);

    const Device device = findDevice(*card);
    QFETCH(int, type);
    QFETCH(unsigned, securityFlags);
    QVERIFY2(bool(device), "the scan of /dev did not find the card's partition");
    QCOMPARE(int(device.type), type);
    QCOMPARE(device.securityActive, activated);
    QVERIFY(device.supported);
    QCOMPARE(device.securityFlags, securityFlags);
    DeviceModelImpl model(card->devicePath());
    QCOMPARE(model.getDeviceMountpoint(), QString::fromStdString(card->mountPoint()));
    // An activated, writable card is made read-only by the scan.
    QCOMPARE(card->stateValue("cdrom-area") == "0xFFFFFFFF", activated);
}

void DiskModelsTest::builtInSlotNodesFindTheCard()
{
    SKIP_WITHOUT_DISK_MODE();
    auto card = diskCard({});
    QTemporaryDir devices;
    const dev_t disk = vixtest::deviceNumberOf(card->diskNode());
    const dev_t partition = vixtest::deviceNumberOf(card->devicePath());
    // The eMMC areas point at the card too: only their names keep them out.
    const QList<QPair<QString, dev_t>> nodes = {{"mmcblk0", disk},
                                                {"mmcblk0p1", partition},
                                                {"mmcblk0boot0", partition},
                                                {"mmcblk0rpmb", partition}};
    for (const auto& node : nodes)
        vixtest::makeBlockNode(devices.filePath(node.first), node.second);

    const QList<Device> found = DeviceModelFactory(devices.path()).searchDevices();
    const QString slotPartition = QDir::cleanPath(devices.filePath("mmcblk0p1"));
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].devicePath, slotPartition);
    QVERIFY(found[0].supported);
    QCOMPARE(getMountpoint(slotPartition), QString::fromStdString(card->mountPoint()));
}

void DiskModelsTest::aDiskThatIsNoCardIsReadOnce()
{
    SKIP_WITHOUT_DISK_MODE();
    QTemporaryDir work(QStringLiteral("/var/tmp/vix-plain-disk-XXXXXX"));
    vixtest::PlainLoopDisk plain(work.filePath("random.img"), 8 << 20);
    // Whatever udev reads of a new disk is over before counting starts.
    QProcess::execute(QStringLiteral("udevadm"), {QStringLiteral("settle")});
    QTemporaryDir devices;
    vixtest::makeBlockNode(devices.filePath("sdq"), plain.number());
    DeviceModelFactory factory(devices.path());

    const qint64 before = plain.reads();
    QVERIFY(factory.searchDevices().isEmpty());
    const qint64 probed = plain.reads();
    QVERIFY2(probed > before, "the first scan did not probe the disk");
    for (int scan = 0; scan < 5; ++scan)
        factory.searchDevices();
    QCOMPARE(plain.reads(), probed);
}

void DiskModelsTest::unclosedRecordingIsKeptUnlessEmpty_data()
{
    QTest::addColumn<int>("clipBytes");
    QTest::newRow("empty session") << 0;
    QTest::newRow("2 MB clip") << (2 << 20);
}

void DiskModelsTest::unclosedRecordingIsKeptUnlessEmpty()
{
    SKIP_WITHOUT_DISK_MODE();
    QFETCH(int, clipBytes);
    vixtest::VirtualCardOptions options;
    options.pin = "1234"; // activated and writable
    auto card = diskCard(options);
    const QString session = currentSessionId(*card);
    const QString clip =
        QString::fromStdString(card->sessionsDir()) + "/" + session + "/CLIP0001.MP4";
    if (clipBytes > 0) {
        QVERIFY(QDir().mkpath(QFileInfo(clip).path()));
        QFile file(clip);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(QByteArray(clipBytes, 'v')), qint64(clipBytes));
    }
    // A node of another name: the recording is measured through the mount all the same.
    QTemporaryDir devices;
    vixtest::makeBlockNode(devices.filePath("sdq1"), vixtest::deviceNumberOf(card->devicePath()));
    DeviceModelFactory factory(devices.path());

    QCOMPARE(factory.searchDevices().size(), 1);
    QCOMPARE(card->stateValue("cdrom-area"), std::string("0xFFFFFFFF"));
    const QList<KeptRecording> kept = factory.takeKeptRecordings();
    if (clipBytes == 0) {
        QVERIFY(kept.isEmpty());
        QVERIFY(currentSessionId(*card) != session);
    } else {
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept[0].bytes, qint64(clipBytes));
        QCOMPARE(currentSessionId(*card), session);
        QVERIFY(QFileInfo::exists(clip));
    }
}

void DiskModelsTest::backupCopiesEverySessionFromTheMountedCard()
{
    SKIP_WITHOUT_DISK_MODE();
    auto card = diskCard(sessionCard());
    auto device = std::make_shared<DeviceModelImpl>(card->devicePath());
    QTemporaryDir destination;

    QVERIFY(backUp(device, destination.path(), [](const Progress&) { return false; }));

    const std::vector<Session> sessions = device->getSessions();
    QCOMPARE(int(sessions.size()), 4);
    QStringList expectedFolders;
    for (const Session& session : sessions) {
        const QString name = DownloadModel::sessionFolderName(session);
        expectedFolders << name;
        const QString copy = destination.path() + "/" + name;
        const QString source =
            QString::fromStdString(card->sessionsDir()) + "/" + QString::number(session.id);
        const QStringList proof = {DownloadModel::manifestName, DownloadModel::recordName};
        QStringList copies;
        for (const QString& file : filesWithTimes(copy))
            if (!proof.contains(file.section(' ', 0, 0)))
                copies << file;
        QCOMPARE(copies, filesWithTimes(source));
        // The checksum list checks with the standard tool, without a warning.
        QCOMPARE(checksumListProblem(copy), QString());
        if (!session.dateTime.empty())
            QCOMPARE(QFileInfo(copy).lastModified(),
                     QDateTime::fromString(QString::fromStdString(session.dateTime), Qt::ISODate));
    }
    QStringList folders = QDir(destination.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    expectedFolders.sort();
    QCOMPARE(folders, expectedFolders);
}

void DiskModelsTest::cardDetachedDuringBackupFailsTheBackup()
{
    SKIP_WITHOUT_DISK_MODE();
    auto card = diskCard(sessionCard());
    auto device = std::make_shared<DeviceModelImpl>(card->devicePath());
    QTemporaryDir destination;
    bool detached = false;
    auto detachOnceCopying = [&](const Progress& progress) {
        if (progress.sessionCopiedBytes > 0 && !detached) {
            card->stop();
            detached = true;
        }
        return false;
    };

    bool completed = false;
    try {
        completed = backUp(device, destination.path(), detachOnceCopying);
    } catch (const std::runtime_error&) {
        completed = false;
    }
    QVERIFY(detached);
    QVERIFY2(!completed, "a backup of a card that went away was reported complete");
    QVERIFY(!QFileInfo::exists(QString::fromStdString(card->devicePath())));
}

QTEST_GUILESS_MAIN(DiskModelsTest)
#include "disk_test.moc"
