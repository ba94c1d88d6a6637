// Identification sectors, the device scan on image files and the periodic watcher.
#include "CardManagement.h"
#include "Device.h"
#include "devicemodelfactory.h"
#include "devicewatcher.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>

namespace {

struct Identification
{
    const char* text = "Kendrova-SFC-SD-ccv2";
    char formFactor = 'N';
    unsigned char securityState = 1;
    unsigned char readOnly = 1;
    unsigned char incompatibility = 0;
    unsigned char securityFlags = 0;
};

QByteArray identificationSector(const Identification& id)
{
    QByteArray sector(512, '\0');
    sector.replace(0, int(qstrlen(id.text)), id.text);
    const QByteArray cid("\x03PLNCARD\x10\x12\x34\x56\x78\x00\x11\x01", 16);
    sector.replace(32, 16, cid);
    sector[35] = id.formFactor;
    sector[48] = char(id.securityState);
    sector[50] = char(id.readOnly);
    sector[51] = char(id.incompatibility);
    sector[52] = char(id.securityFlags);
    return sector;
}

// An image of 32 sectors; the given sectors carry the given contents.
void writeImage(const QString& path, const QMap<int, QByteArray>& sectors)
{
    QByteArray image(32 * 512, '\0');
    for (auto it = sectors.begin(); it != sectors.end(); ++it)
        image.replace(it.key() * 512, it.value().size(), it.value());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(image), qint64(image.size()));
}

QByteArray firstSectorOf(const std::vector<unsigned char>& data)
{
    return QByteArray(reinterpret_cast<const char*>(data.data()), 512);
}

// Records the automatic read-only switch instead of talking to a card.
class SwitchRecorder : public FakeDeviceModel
{
public:
    SwitchRecorder(const std::string& path, QStringList& log, bool refuse)
        : FakeDeviceModel(path), path(QString::fromStdString(path)), log(log), refuse(refuse)
    {
    }
    void setReadOnly() override
    {
        if (refuse)
            throw DeviceException(0x6F06);
        log << "readOnly " + path;
    }
    void discardCurrentSession() override { log << "discard " + path; }

private:
    QString path;
    QStringList& log;
    bool refuse;
};

// Scans a folder of image files as it would scan /dev, counting the reads of each node.
class FolderFactory : public DeviceModelFactory
{
public:
    explicit FolderFactory(const QString& folder) : DeviceModelFactory(folder) {}
    DeviceModel* createDeviceModel(const std::string& devicePath) override
    {
        return new SwitchRecorder(devicePath, switches, refuseSwitch);
    }
    std::vector<unsigned char> readDeviceIdentifier(const std::string& devicePath) override
    {
        QMutexLocker lock(&mutex);
        ++reads[QFileInfo(QString::fromStdString(devicePath)).fileName()];
        return DeviceModelFactory::readDeviceIdentifier(devicePath);
    }
    qint64 unclosedRecordingBytes(const std::string&) override
    {
        if (unclosedBytes < 0)
            throw DeviceException(TRESORA_AC_ERR_CONTENT_UNREADABLE);
        return unclosedBytes;
    }
    int readsOf(const QString& name)
    {
        QMutexLocker lock(&mutex);
        return reads.value(name);
    }

    QStringList switches;
    bool refuseSwitch = false;
    qint64 unclosedBytes = 0;

private:
    QMutex mutex;
    QHash<QString, int> reads;
};

// Hands out prepared scan results; can hold a scan until the test releases it.
class ScriptedFactory : public DeviceModelFactory
{
public:
    QList<Device> searchDevices() override
    {
        ++scans;
        if (holdScans) {
            scanEntered.release();
            scanRelease.acquire();
        }
        QMutexLocker lock(&mutex);
        return result;
    }
    void setResult(const QList<Device>& devices)
    {
        QMutexLocker lock(&mutex);
        result = devices;
    }

    std::atomic<int> scans{0};
    std::atomic<bool> holdScans{false};
    QSemaphore scanEntered;
    QSemaphore scanRelease;

private:
    QMutex mutex;
    QList<Device> result;
};

// Generous: the scan thread may start late on a loaded machine; passing tests do not wait.
const int patience = 30000;

const Device cardA("/dev/sdb1", "", MicroSdCard, true, Ccv2, 0, 2);
const Device cardB("/dev/sdc1", "", SdCard, false, Ccv2, 0, 0);

} // namespace

// Receives the watcher's signals queued on the test thread, so that the spies are not
// written from the scan thread.
class Relay : public QObject
{
    Q_OBJECT
public:
    explicit Relay(DeviceWatcher& watcher)
    {
        connect(&watcher, &DeviceWatcher::recognizedDevicesChanged, this, &Relay::devices,
                Qt::QueuedConnection);
        connect(&watcher, &DeviceWatcher::finishedInitialScan, this, &Relay::initialScan,
                Qt::QueuedConnection);
    }
signals:
    void devices(DeviceList list);
    void initialScan();
};

class DiscoveryTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sectorReadReturnsTheSectorPaddedWithZeros();
    void sectorReadFailuresRaiseDeviceException();
    void identifierComesFromSector26ElseSector13();
    void formFactorComesFromTheCid();
    void scanListsCardsAndSwitchesOnlySecuredCcv2Cards();
    void switchDiscardsOnlyAnEmptyUnclosedSession_data();
    void switchDiscardsOnlyAnEmptyUnclosedSession();
    void nonCardsAreReadAgainOnlyWhenTheirMediumChanges();
    void nodesAppearingAndVanishingAreSeenWithoutThePeriodicScan();
    void watcherPublishesOnlyChanges();
    void watcherWithoutCardsStillFinishesItsInitialScan();
    void negativeIntervalNeverScans();
    void disablingWaitsForARunningScanAndPausesScanning();
    void restartScansAgainWithoutClearingTheList();

private:
    QTemporaryDir dir{QDir::tempPath() + "/discovery-XXXXXX"};
};

void DiscoveryTest::initTestCase()
{
    QVERIFY(dir.isValid());
}

void DiscoveryTest::sectorReadReturnsTheSectorPaddedWithZeros()
{
    const QString image = dir.filePath("plain.img");
    QByteArray marked(512, 'x');
    marked[0] = 'A';
    writeImage(image, {{5, marked}});
    const std::vector<unsigned char> data = DeviceModel::readDeviceSector(image.toStdString(), 5);
    QCOMPARE(data.size(), size_t(1024));
    QCOMPARE(firstSectorOf(data), marked);
    QVERIFY(std::all_of(data.begin() + 512, data.end(), [](unsigned char b) { return b == 0; }));
}

void DiscoveryTest::sectorReadFailuresRaiseDeviceException()
{
    try {
        DeviceModel::readDeviceSector(dir.filePath("missing").toStdString(), 0);
        QFAIL("no exception for a missing device");
    } catch (const DeviceException& error) {
        QCOMPARE(error.errorCode, -1);
        QCOMPARE(error.systemError, ENOENT);
    }
    const QString image = dir.filePath("short.img");
    writeImage(image, {});
    QVERIFY_EXCEPTION_THROWN(DeviceModel::readDeviceSector(image.toStdString(), 40),
                             DeviceException);
    QVERIFY_EXCEPTION_THROWN(DeviceModel::readDeviceIdentifier(dir.path().toStdString()),
                             DeviceException);
}

void DiscoveryTest::identifierComesFromSector26ElseSector13()
{
    const QByteArray ident26 = identificationSector({});
    Identification other;
    other.text = "Kendrova-SFC-SD-ccv1";
    const QByteArray ident13 = identificationSector(other);
    QByteArray foreign(512, '\0');
    foreign.replace(0, 9, "NOTACARD!");

    const QString both = dir.filePath("both.img");
    writeImage(both, {{26, ident26}, {13, ident13}});
    QCOMPARE(firstSectorOf(DeviceModel::readDeviceIdentifier(both.toStdString())), ident26);

    const QString fallback = dir.filePath("fallback.img");
    writeImage(fallback, {{26, foreign}, {13, ident13}});
    QCOMPARE(firstSectorOf(DeviceModel::readDeviceIdentifier(fallback.toStdString())), ident13);

    const QString none = dir.filePath("none.img");
    writeImage(none, {{26, foreign}});
    QCOMPARE(DeviceModel::readDeviceIdentifier(none.toStdString()),
             std::vector<unsigned char>(512, 0));
}

void DiscoveryTest::formFactorComesFromTheCid()
{
    QCOMPARE(DeviceModel::deviceTypeFromCID("\x03PLL5678"), SdCard);
    QCOMPARE(DeviceModel::deviceTypeFromCID("\x03PLN5678"), MicroSdCard);
    QCOMPARE(DeviceModel::deviceTypeFromCID("\x03PLX5678"), UnknownCard);
    QCOMPARE(DeviceModel::deviceTypeFromCID("\x03PLN567"), UnknownCard);
    QCOMPARE(DeviceModel::deviceTypeFromCID(""), UnknownCard);
}

void DiscoveryTest::scanListsCardsAndSwitchesOnlySecuredCcv2Cards()
{
    QTemporaryDir devices(dir.filePath("dev-XXXXXX"));
    auto card = [&](const char* name, Identification id, int sector = 26) {
        writeImage(devices.filePath(name), {{sector, identificationSector(id)}});
    };
    Identification locked;
    locked.readOnly = 0;
    locked.incompatibility = 0x21;
    locked.securityFlags = 2;
    card("sdb", locked);
    Identification ccv1 = locked;
    ccv1.text = "Kendrova-SFC-SD-ccv1";
    card("sdc1", ccv1, 13);
    Identification inactive = locked;
    inactive.securityState = 0;
    inactive.formFactor = 'L';
    card("sdd", inactive);
    Identification unknownCid = locked;
    unknownCid.formFactor = 'Q';
    card("sde", unknownCid);
    Identification otherText = locked;
    otherText.text = "Kendrova-SFC-SD-ccv3";
    card("sdf", otherText);
    card("sdg", Identification{});
    card("mmcblk0p1", locked);
    card("other", locked);
    card("mmcblk0boot0", locked);
    card("mmcblk0rpmb", locked);
    writeImage(devices.filePath("sda"), {});
    writeImage(devices.filePath("mmcblk0"), {});
    QVERIFY(QDir(devices.path()).mkdir("sdh"));

    FolderFactory factory(devices.path());
    QList<Device> found = factory.searchDevices();
    std::sort(found.begin(), found.end(),
              [](const Device& a, const Device& b) { return a.devicePath < b.devicePath; });
    const QString base = QDir::cleanPath(devices.path());
    QCOMPARE(found.size(), 5);
    QCOMPARE(found[0].devicePath, base + "/mmcblk0p1");
    found.removeFirst();
    QCOMPARE(found[0].devicePath, base + "/sdb");
    QCOMPARE(found[0].type, MicroSdCard);
    QVERIFY(found[0].securityActive);
    QCOMPARE(found[0].firmwareType, Ccv2);
    QCOMPARE(found[0].incompatibilityFlags, 0x21u);
    QCOMPARE(found[0].securityFlags, 2u);
    QCOMPARE(found[1].devicePath, base + "/sdc1");
    QCOMPARE(found[1].firmwareType, Ccv1);
    QVERIFY(!found[1].supported);
    QCOMPARE(found[2].devicePath, base + "/sdd");
    QCOMPARE(found[2].type, SdCard);
    QVERIFY(!found[2].securityActive);
    QCOMPARE(found[3].devicePath, base + "/sdg");

    factory.switches.sort();
    QCOMPARE(factory.switches,
             QStringList({"discard " + base + "/mmcblk0p1", "discard " + base + "/sdb",
                          "readOnly " + base + "/mmcblk0p1", "readOnly " + base + "/sdb"}));
    QCOMPARE(factory.takeKeptRecordings().size(), 0);
}

void DiscoveryTest::switchDiscardsOnlyAnEmptyUnclosedSession_data()
{
    QTest::addColumn<qint64>("unclosedBytes");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<bool>("discarded");
    QTest::newRow("empty") << qint64(0) << false << true;
    QTest::newRow("2 MB clip") << qint64(2 * 1024 * 1024) << false << false;
    QTest::newRow("size unknown") << qint64(-1) << false << false;
    // The card stays listed; nothing is discarded or kept.
    QTest::newRow("switch refused") << qint64(0) << true << false;
}

void DiscoveryTest::switchDiscardsOnlyAnEmptyUnclosedSession()
{
    QFETCH(qint64, unclosedBytes);
    QFETCH(bool, refused);
    QFETCH(bool, discarded);
    QTemporaryDir devices(dir.filePath("dev-XXXXXX"));
    Identification writable;
    writable.readOnly = 0;
    writeImage(devices.filePath("sdb1"), {{26, identificationSector(writable)}});
    FolderFactory factory(devices.path());
    factory.unclosedBytes = unclosedBytes;
    factory.refuseSwitch = refused;
    QCOMPARE(factory.searchDevices().size(), 1);

    const QString path = QDir::cleanPath(devices.filePath("sdb1"));
    QStringList expected;
    if (!refused)
        expected << "readOnly " + path;
    if (discarded)
        expected << "discard " + path;
    QCOMPARE(factory.switches, expected);
    const QList<KeptRecording> kept = factory.takeKeptRecordings();
    const bool keptOne = !refused && !discarded;
    QCOMPARE(kept.size(), keptOne ? 1 : 0);
    if (keptOne) {
        QCOMPARE(kept[0].devicePath, path);
        QCOMPARE(kept[0].bytes, unclosedBytes);
    }
    QVERIFY(factory.takeKeptRecordings().isEmpty());
}

void DiscoveryTest::nonCardsAreReadAgainOnlyWhenTheirMediumChanges()
{
    QTemporaryDir devices(dir.filePath("dev-XXXXXX"));
    writeImage(devices.filePath("sdb1"), {{26, identificationSector({})}});
    writeImage(devices.filePath("sdc"), {});
    writeImage(devices.filePath("mmcblk0"), {{3, QByteArray(512, 'r')}});
    FolderFactory factory(devices.path());
    auto reads = [&] {
        factory.searchDevices();
        return QList<int>{factory.readsOf("sdb1"), factory.readsOf("sdc"),
                          factory.readsOf("mmcblk0")};
    };
    QCOMPARE(reads(), QList<int>({1, 1, 1}));
    QCOMPARE(reads(), QList<int>({2, 1, 1}));

    // Another medium in the same node, and a node made anew: each read once more.
    writeImage(devices.filePath("sdc"), {{26, identificationSector({})}});
    QVERIFY(QFile::remove(devices.filePath("mmcblk0")));
    writeImage(devices.filePath("mmcblk0"), {{3, QByteArray(512, 'r')}});
    QCOMPARE(reads(), QList<int>({3, 2, 2}));
    QCOMPARE(reads(), QList<int>({4, 3, 2}));
}

void DiscoveryTest::nodesAppearingAndVanishingAreSeenWithoutThePeriodicScan()
{
    QTemporaryDir devices(dir.filePath("dev-XXXXXX"));
    QTemporaryDir staging(dir.filePath("staging-XXXXXX"));
    DeviceWatcher watcher(3600000, new FolderFactory(devices.path()));
    Relay relay(watcher);
    QSignalSpy published(&relay, &Relay::devices);
    QSignalSpy initial(&relay, &Relay::initialScan);
    watcher.start();
    QTRY_COMPARE_WITH_TIMEOUT(initial.count(), 1, patience);

    // Nodes appear whole, as a mknod makes them: written aside, then moved in.
    writeImage(staging.filePath("mmcblk0p1"), {{26, identificationSector({})}});
    QVERIFY(QFile::rename(staging.filePath("mmcblk0p1"), devices.filePath("mmcblk0p1")));
    QTRY_COMPARE_WITH_TIMEOUT(published.count(), 1, patience);
    const DeviceList listed = published[0][0].value<DeviceList>();
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed[0].devicePath, QDir::cleanPath(devices.filePath("mmcblk0p1")));

    QVERIFY(QFile::remove(devices.filePath("mmcblk0p1")));
    QTRY_COMPARE_WITH_TIMEOUT(published.count(), 2, patience);
    QVERIFY(published[1][0].value<DeviceList>().isEmpty());
    watcher.stop();
}

void DiscoveryTest::watcherPublishesOnlyChanges()
{
    auto* factory = new ScriptedFactory;
    factory->setResult({cardA});
    DeviceWatcher watcher(5, factory);
    Relay relay(watcher);
    QSignalSpy published(&relay, &Relay::devices);
    QSignalSpy initial(&relay, &Relay::initialScan);
    watcher.start();
    QTRY_COMPARE_WITH_TIMEOUT(initial.count(), 1, patience);
    QCOMPARE(published.count(), 1);
    QCOMPARE(published[0][0].value<DeviceList>(), DeviceList({cardA}));

    const int seen = factory->scans;
    QTRY_VERIFY_WITH_TIMEOUT(factory->scans > seen + 3, patience);
    QCOMPARE(published.count(), 1);

    Device relabelled = cardA;
    relabelled.label = "CAM";
    factory->setResult({relabelled, cardB});
    QTRY_COMPARE_WITH_TIMEOUT(published.count(), 2, patience);
    QCOMPARE(published[1][0].value<DeviceList>(), DeviceList({relabelled, cardB}));
    QCOMPARE(watcher.recognizedDevices(), DeviceList({relabelled, cardB}));
    watcher.stop();
    QCOMPARE(initial.count(), 1);
}

void DiscoveryTest::watcherWithoutCardsStillFinishesItsInitialScan()
{
    DeviceWatcher watcher(1000, new ScriptedFactory);
    Relay relay(watcher);
    QSignalSpy published(&relay, &Relay::devices);
    QSignalSpy initial(&relay, &Relay::initialScan);
    watcher.start();
    QTRY_COMPARE_WITH_TIMEOUT(initial.count(), 1, patience);
    watcher.stop();
    QCoreApplication::processEvents();
    QCOMPARE(published.count(), 0);
}

void DiscoveryTest::negativeIntervalNeverScans()
{
    auto* factory = new ScriptedFactory;
    DeviceWatcher watcher(-1, factory);
    Relay relay(watcher);
    QSignalSpy initial(&relay, &Relay::initialScan);
    watcher.start();
    QTest::qWait(100);
    QCOMPARE(initial.count(), 0);
    QCOMPARE(factory->scans.load(), 0);
}

void DiscoveryTest::disablingWaitsForARunningScanAndPausesScanning()
{
    auto* factory = new ScriptedFactory;
    DeviceWatcher watcher(5, factory);
    Relay relay(watcher);
    QSignalSpy initial(&relay, &Relay::initialScan);
    watcher.start();
    QTRY_COMPARE_WITH_TIMEOUT(initial.count(), 1, patience);

    factory->holdScans = true;
    QVERIFY(factory->scanEntered.tryAcquire(1, 10000));
    std::atomic<bool> disabled{false};
    std::thread busyOperation([&] {
        watcher.setEnabled(false);
        disabled = true;
    });
    QTest::qWait(100);
    QVERIFY2(!disabled, "setEnabled(false) returned while a scan was running");
    factory->holdScans = false;
    factory->scanRelease.release();
    busyOperation.join();
    QVERIFY(disabled);
    QVERIFY(!watcher.isEnabled());

    const int paused = factory->scans;
    QTest::qWait(100);
    QCOMPARE(factory->scans.load(), paused);

    std::thread idleAgain([&] { watcher.setEnabled(true); });
    idleAgain.join();
    QTRY_VERIFY_WITH_TIMEOUT(factory->scans > paused, patience);
    watcher.stop();
}

void DiscoveryTest::restartScansAgainWithoutClearingTheList()
{
    auto* factory = new ScriptedFactory;
    factory->setResult({cardA});
    DeviceWatcher watcher(1000, factory);
    Relay relay(watcher);
    QSignalSpy published(&relay, &Relay::devices);
    QSignalSpy initial(&relay, &Relay::initialScan);
    watcher.start();
    QTRY_COMPARE_WITH_TIMEOUT(initial.count(), 1, patience);
    watcher.stop();
    const int before = factory->scans;
    watcher.start();
    QTRY_COMPARE_WITH_TIMEOUT(initial.count(), 2, patience);
    QVERIFY(factory->scans > before);
    QCOMPARE(published.count(), 1);
    QCOMPARE(watcher.recognizedDevices(), DeviceList({cardA}));
}

QTEST_GUILESS_MAIN(DiscoveryTest)
#include "discovery_test.moc"
