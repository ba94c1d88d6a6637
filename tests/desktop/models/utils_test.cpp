// Value types, errors, mount table and update check of the device model layer.
#include "Device.h"
#include "Session.h"
#include "devicemodel.h"
#include "utils.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstdio>
#include <sstream>
#include <unistd.h>

namespace {

QString mountPointOf(const char* device, const std::string& table)
{
    std::istringstream mounts(table);
    return mountPointForDevice_linux(device, mounts);
}

class CannedReply : public NetworkReply
{
public:
    CannedReply(QByteArray body, QNetworkReply::NetworkError error = QNetworkReply::NoError)
        : NetworkReply(nullptr), body(std::move(body)), code(error)
    {
    }
    QNetworkReply::NetworkError error() const override { return code; }
    QString errorString() const override { return QStringLiteral("Host unreachable"); }
    QByteArray readAll() override { return body; }

private:
    QByteArray body;
    QNetworkReply::NetworkError code;
};

// Runs the check with standard error sent to a file and returns what was written there.
QString checkCapturingStderr(NetworkReply& reply, QString& url)
{
    QTemporaryFile capture;
    if (!capture.open())
        return QStringLiteral("<no capture file>");
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(capture.handle(), STDERR_FILENO);
    url = isAppUpdateAvailable(reply, APP_VERSION_CODE);
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    capture.seek(0);
    return QString::fromUtf8(capture.readAll());
}

// Counters read through the card; a test decides whether they can be read.
class CountingModel : public FakeDeviceModel
{
public:
    CountingModel() : FakeDeviceModel("/dev/null") {}
    unsigned int remainingUserPinRetries() override
    {
        if (countersFail)
            throw DeviceException(-3);
        return 7;
    }
    unsigned int remainingSecurityOfficerPinRetries() override
    {
        if (countersFail)
            throw std::runtime_error("no card");
        return 3;
    }
    bool countersFail = false;
};

DeviceException thrownBy(DeviceModel& model, int result, bool useAdmin, bool adminWording)
{
    try {
        model.throwOnError(result, useAdmin, adminWording);
    } catch (const DeviceException& error) {
        return error;
    }
    return DeviceException(0, "nothing thrown");
}

} // namespace

class UtilsTest : public QObject
{
    Q_OBJECT

private slots:
    void mountTableMatchesDeviceAndItsPartitionsOnly();
    void mountTableDecodesEveryOctalEscape();
    void mountTableSkipsShortLinesAndEmptyTables();
    void deviceNodesAreListedWithTheFilter();
    void fileTimesAreSetOnFilesAndFolders();
    void updateCheckComparesVersionCodes();
    void updateCheckReportsFailuresOnStandardError();
    void updateRequestUsesVerifiedHttps();
    void sessionFormatsSizesAndDates();
    void deviceComparisonSeparatesIdentityFromState();
    void deviceExceptionCarriesCodeAndErrno();
    void throwOnErrorMapsCardVerdictsToMessages();
    void wrongPinMessageFallsBackWhenCountersCannotBeRead();
};

void UtilsTest::mountTableMatchesDeviceAndItsPartitionsOnly()
{
    const std::string table = "/dev/sdb10 /media/ten vfat rw 0 0\n"
                              "/dev/sdba1 /media/other vfat rw 0 0\n"
                              "/dev/sdb1 /media/user/MY\\040CARD vfat rw 0 0\n"
                              "/dev/mmcblk0p2 /media/mmc ext4 rw 0 0\n";
    QCOMPARE(mountPointOf("/dev/sdb1", table), QStringLiteral("/media/user/MY CARD"));
    QCOMPARE(mountPointOf("/dev/sdb10", table), QStringLiteral("/media/ten"));
    QCOMPARE(mountPointOf("/dev/sdb", table), QStringLiteral("/media/ten"));
    QCOMPARE(mountPointOf("/dev/sda", table), QString());
    QCOMPARE(mountPointOf("/dev/sdb2", table), QString());
    QCOMPARE(mountPointOf("/dev/mmcblk0", table), QStringLiteral("/media/mmc"));
    QCOMPARE(mountPointOf("/dev/mmcblk0p2", table), QStringLiteral("/media/mmc"));
    QCOMPARE(mountPointOf("/dev/mmcblk", table), QString());
    QCOMPARE(mountPointOf("", table), QString());

    const std::string onlyOther = "/dev/sdba1 /media/other vfat rw 0 0\n"
                                  "/dev/sdb1x /media/odd vfat rw 0 0\n";
    QCOMPARE(mountPointOf("/dev/sdb", onlyOther), QString());
}

void UtilsTest::mountTableDecodesEveryOctalEscape()
{
    const std::string table = "/dev/sdc1 /m/a\\040b\\011c\\012d\\134e\\09f\\ vfat rw 0 0\n";
    QCOMPARE(mountPointOf("/dev/sdc1", table), QStringLiteral("/m/a b\tc\nd\\e\\09f\\"));
    const std::string escapedDevice = "/dev/disk\\040one /m/x vfat rw 0 0\n";
    QCOMPARE(mountPointOf("/dev/disk one", escapedDevice), QStringLiteral("/m/x"));
}

void UtilsTest::mountTableSkipsShortLinesAndEmptyTables()
{
    QCOMPARE(mountPointOf("/dev/sdb1", ""), QString());
    QCOMPARE(mountPointOf("/dev/sdb1", "/dev/sdb1\n\n/dev/sdb1 /ok\n"), QStringLiteral("/ok"));
}

void UtilsTest::deviceNodesAreListedWithTheFilter()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char* name : {"sda", "sdb1", "other", "xsd", "mmcblk0", "mmcblk0p1", "mmcblk0boot0",
                             "mmcblk0boot1", "mmcblk0rpmb", "mmcblk1p2"})
        QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
    QVERIFY(QDir(dir.path()).mkdir("sdz"));

    QStringList paths;
    for (const StorageInfo& info : getMacAndLinuxMountedDevices(cardNodeFilters, dir.path() + "/"))
        paths << QString::fromStdString(info.devicePath);
    paths.sort();
    const QString base = QDir::cleanPath(dir.path());
    QCOMPARE(paths, QStringList({base + "/mmcblk0", base + "/mmcblk0p1", base + "/mmcblk1p2",
                                 base + "/sda", base + "/sdb1", base + "/sdz"}));
}

void UtilsTest::fileTimesAreSetOnFilesAndFolders()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("f");
    QVERIFY(QFile(file).open(QIODevice::WriteOnly));
    const QDateTime when(QDate(2021, 3, 4), QTime(5, 6, 7));
    QVERIFY(fileChangeModificationDate(file, when));
    QVERIFY(fileChangeModificationDate(dir.path(), when));
    QCOMPARE(QFileInfo(file).lastModified(), when);
    QCOMPARE(QFileInfo(file).lastRead(), when);
    QCOMPARE(QFileInfo(dir.path()).lastModified(), when);
    QVERIFY(!fileChangeModificationDate(dir.filePath("missing"), when));
    QVERIFY(!fileChangeModificationDate(file, QDateTime()));
}

void UtilsTest::updateCheckComparesVersionCodes()
{
    CannedReply newer(R"({"versionCode": 17, "url": "https://example.invalid/get"})");
    QCOMPARE(isAppUpdateAvailable(newer, 16), QStringLiteral("https://example.invalid/get"));
    CannedReply equal(R"({"versionCode": 16, "url": "https://example.invalid/get"})");
    QCOMPARE(isAppUpdateAvailable(equal, 16), QString());
    CannedReply asText(R"({"versionCode": "17", "url": "https://example.invalid/get"})");
    QCOMPARE(isAppUpdateAvailable(asText, 16), QString());
    CannedReply withoutUrl(R"({"versionCode": 99})");
    QCOMPARE(isAppUpdateAvailable(withoutUrl, 16), QString());
    CannedReply negative(R"({"versionCode": -1, "url": "u"})");
    QCOMPARE(isAppUpdateAvailable(negative, -2), QStringLiteral("u"));
}

void UtilsTest::updateCheckReportsFailuresOnStandardError()
{
    QString url = "unset";
    CannedReply array(R"([{"versionCode": 17}])");
    QCOMPARE(checkCapturingStderr(array, url),
             QStringLiteral("Failed to parse json: [{\"versionCode\": 17}]\n"));
    QCOMPARE(url, QString());

    CannedReply text(QByteArray("not json\0hidden", 15));
    QCOMPARE(checkCapturingStderr(text, url), QStringLiteral("Failed to parse json: not json\n"));

    CannedReply offline(R"({"versionCode": 17, "url": "u"})", QNetworkReply::HostNotFoundError);
    QCOMPARE(checkCapturingStderr(offline, url),
             QStringLiteral("Failed to check for new version: Host unreachable\n"));
    QCOMPARE(url, QString());
}

void UtilsTest::updateRequestUsesVerifiedHttps()
{
    const QNetworkRequest request = appUpdateRequest();
    QCOMPARE(request.url().scheme(), QStringLiteral("https"));
    QCOMPARE(request.url().host(), QStringLiteral(VIX_UPDATE_HOST));
    QCOMPARE(request.url().path(), QStringLiteral("/files/public/vix/vix_version.json"));
#ifndef QT_NO_SSL
    QCOMPARE(request.sslConfiguration().peerVerifyMode(), QSslSocket::VerifyPeer);
#endif
}

void UtilsTest::sessionFormatsSizesAndDates()
{
    QCOMPARE(Session::getFormattedDataSize(999), QStringLiteral("999.0 Bytes"));
    QCOMPARE(Session::getFormattedDataSize(1000), QStringLiteral("1.0 KB"));
    QCOMPARE(Session::getFormattedDataSize(1500000), QStringLiteral("1.4 MB"));
    QCOMPARE(Session::getFormattedDataSize(1e9f), QStringLiteral("0.9 GB"));
    QCOMPARE(Session::getFormattedDataSize(1.5e9f), QStringLiteral("1.4 GB"));

    const Session largest(1, "", 0xFFFFFFFFu);
    QCOMPARE(largest.dataSize, quint64(0xFFFFFFFFu) * 512);
    QCOMPARE(largest.formattedDateTime, QString());

    const Session dated(7, "2023-05-01T12:30:00", 2);
    QCOMPARE(dated.dataSize, quint64(1024));
    QCOMPARE(dated.formattedDataSize, QStringLiteral("1.0 KB"));
    QCOMPARE(dated.formattedDateTime,
             QLocale::system().toString(QDateTime(QDate(2023, 5, 1), QTime(12, 30)),
                                        QLocale::ShortFormat));
    QCOMPARE(Session(7, "2023-13-45T99:00:00", 2).formattedDateTime, QString());

    QVERIFY(dated == Session(7, "2023-05-01T12:30:00", 2));
    QVERIFY(dated != Session(7, "2023-05-01T12:30:01", 2));
    QVERIFY(dated != Session(8, "2023-05-01T12:30:00", 2));
    QVERIFY(dated != Session(7, "2023-05-01T12:30:00", 3));
}

void UtilsTest::deviceComparisonSeparatesIdentityFromState()
{
    const Device card("/dev/sdb1", "", MicroSdCard, true, Ccv2, 0, 2);
    QCOMPARE(card.displayName(), QStringLiteral("/dev/sdb1"));
    QVERIFY(card.supported);
    QVERIFY(!Device("/dev/sdb1", "", MicroSdCard, true, Ccv1, 0, 2).supported);
    QVERIFY(bool(card));
    QVERIFY(!bool(Device()));

    const Device labelled("/dev/sdb1", "CAM", MicroSdCard, true, Ccv2, 0, 2);
    QCOMPARE(labelled.displayName(), QStringLiteral("CAM (/dev/sdb1)"));
    QVERIFY(card.isSameDevice(labelled));
    QVERIFY(card != labelled);

    const Device locked("/dev/sdb1", "", MicroSdCard, false, Ccv2, 1, 0);
    QVERIFY(card.isSameDevice(locked));
    QVERIFY(card != locked);
    QVERIFY(!card.isSameDevice(Device("/dev/sdc1", "", MicroSdCard, true, Ccv2, 0, 2)));
    QVERIFY(!card.isSameDevice(Device("/dev/sdb1", "", SdCard, true, Ccv2, 0, 2)));
    QVERIFY(card == Device("/dev/sdb1", "", MicroSdCard, true, Ccv2, 0, 2));
}

void UtilsTest::deviceExceptionCarriesCodeAndErrno()
{
    errno = EIO;
    const DeviceException generic(0x6F06);
    QCOMPARE(generic.errorCode, 0x6F06);
    QCOMPARE(generic.systemError, EIO);
    QCOMPARE(std::string(generic.what()), std::string("Device Exception: 28422, system error: 5"));

    const DeviceException worded(-24, "text");
    QCOMPARE(worded.errorCode, -24);
    QCOMPARE(worded.systemError, 0);
    QCOMPARE(std::string(worded.what()), std::string("text"));
}

void UtilsTest::throwOnErrorMapsCardVerdictsToMessages()
{
    CountingModel model;
    model.throwOnError(0, true, true);

    struct Case
    {
        int code;
        bool useAdmin;
        bool adminWording;
        const char* message;
    };
    const Case cases[] = {
        {0x6F02, false, false, "Wrong PIN, remaining retries: 7"},
        {0x6F02, true, false, "Wrong PIN, remaining retries: 3"},
        {0x6F02, true, true, "Wrong Admin PIN, remaining retries: 3"},
        {0x6F03, false, false, "Failed to login, PIN retry counter exceeded!"},
        {0x6F03, true, true, "Failed to login, Admin PIN retry counter exceeded!"},
        {0x6F04, false, false,
         "PIN was entered incorrectly too many times. Retry counter exceeded!"},
        {0x6F04, false, true,
         "Admin PIN was entered incorrectly too many times. Retry counter exceeded!"},
        {0x6F05, false, false, "PIN must be 4-15 characters long"},
        {0x6F05, false, true, "Admin PIN must be 8-20 characters long"},
        {0x6F0B, false, false,
         "Invalid File System. Please format the Tresora Archive Card with a valid FAT32 or "
         "exFAT file system."},
        {-24, false, false,
         "Failed to refresh the card content. This can happen if other applications are using "
         "the card at the same time. Please remove the Tresora Archive Card from your system "
         "and plug it back in so that the Operating System can refresh it."},
        {-29, false, false,
         "Another program is using the Tresora Archive Card. Nothing was sent to the card. "
         "Please close that program and try again."},
    };
    for (const Case& c : cases) {
        const DeviceException error = thrownBy(model, c.code, c.useAdmin, c.adminWording);
        QCOMPARE(error.errorCode, c.code);
        QCOMPARE(std::string(error.what()), std::string(c.message));
        QCOMPARE(error.systemError, 0);
    }

    errno = ENODEV;
    const DeviceException unlisted = thrownBy(model, 0x6F06, true, true);
    QCOMPARE(unlisted.errorCode, 0x6F06);
    QCOMPARE(std::string(unlisted.what()),
             "Device Exception: 28422, system error: " + std::to_string(ENODEV));
    QCOMPARE(thrownBy(model, 2, false, false).errorCode, 2);
}

void UtilsTest::wrongPinMessageFallsBackWhenCountersCannotBeRead()
{
    CountingModel model;
    model.countersFail = true;
    const DeviceException user = thrownBy(model, 0x6F02, false, false);
    QCOMPARE(std::string(user.what()), std::string("Wrong PIN"));
    QCOMPARE(user.errorCode, 0x6F02);
    QCOMPARE(std::string(thrownBy(model, 0x6F02, true, true).what()),
             std::string("Wrong Admin PIN"));
}

QTEST_GUILESS_MAIN(UtilsTest)
#include "utils_test.moc"
