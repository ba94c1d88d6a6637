// DeviceModelImpl against the virtual card, with the fake helpers standing in for the
// host's mount tools; the download engine on the card's presented content.
#include "CardManagement.h"
#include "VirtualCard.h"
#include "checksum_check.h"
#include "devicemodel.h"
#include "downloadmodel.h"
#include "fakehelpers.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

const std::string pin = "1234";
const std::string adminPin = "87654321";
const char* const controllerId = "00a1b2c3d4e5f60718293a4b5c6d7e8f";

vixtest::VirtualCardOptions cardOptions(std::vector<std::string> extraArgs = {})
{
    vixtest::VirtualCardOptions options;
    options.controllerId = controllerId;
    options.firmwareVersion = "1.2.3";
    options.longCommandMs = 5;
    options.extraArgs = std::move(extraArgs);
    return options;
}

QString messageOf(const std::function<void()>& operation, int& code)
{
    try {
        operation();
    } catch (const DeviceException& error) {
        code = error.errorCode;
        return QString::fromStdString(error.what());
    }
    code = 0;
    return QStringLiteral("<nothing thrown>");
}

// The first exchange with a new emulator may be slow on a busy machine.
void waitUntilAnswering(const std::string& device)
{
    uint32_t version = 0;
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (tresora_ac_getFirmwareVersion(device.c_str(), &version) == TRESORA_AC_OK)
            return;
    }
}

// A card model whose content is the virtual card's presented folder.
class PresentedCard : public DeviceModelImpl
{
public:
    PresentedCard(const vixtest::VirtualCard& card)
        : DeviceModelImpl(card.devicePath()), content(QString::fromStdString(card.contentDir()))
    {
    }
    QString getDeviceMountpoint() override { return content; }

private:
    QString content;
};

QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// QtTest ends the process on an exception that leaves a test function, which would leave
// the card's emulator running: report it as a failure instead.
void guarded(const std::function<void()>& body)
{
    try {
        body();
    } catch (const std::exception& error) {
        QFAIL(error.what());
    }
}

} // namespace

class DeviceModelTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void freshCardAnswersStatusQueries();
    void securityLifecycleRunsThroughTheModel();
    void wrongPinNamesTheRightCounter();
    void wrongPinWithoutReadableCounterOmitsTheNumber();
    void pinLengthAndRefreshFailuresHaveMessages();
    void unlistedCodeCarriesTheErrno();
    void sessionOperationsReachTheCard();
    void sessionsArePagedInCardOrder();
    void deviceInfoCombinesStatusIdentifierAndSector();
    void connectionFollowsTheDevicePath();
    void downloadCopiesEverySessionOfTheCard();

private:
    void expectOneBusyPair(const char* operation);
    void activate(unsigned int flags);

    std::unique_ptr<vixtest::FakeHelpers> helpers;
    std::unique_ptr<vixtest::VirtualCard> card;
    std::unique_ptr<DeviceModelImpl> model;
    std::unique_ptr<QSignalSpy> busy;
};

void DeviceModelTest::init()
{
    helpers = std::make_unique<vixtest::FakeHelpers>();
    const bool sessions = QByteArray(QTest::currentTestFunction()).startsWith("download");
    vixtest::VirtualCardOptions options = cardOptions({"--incompatibility", "5"});
    options.exampleSessions = sessions;
    card = std::make_unique<vixtest::VirtualCard>(options);
    waitUntilAnswering(card->devicePath());
    model = std::make_unique<DeviceModelImpl>(card->devicePath());
    busy = std::make_unique<QSignalSpy>(model.get(), &DeviceModel::deviceIsBusyChanged);
}

void DeviceModelTest::cleanup()
{
    busy.reset();
    model.reset();
    card.reset();
    helpers.reset();
}

void DeviceModelTest::expectOneBusyPair(const char* operation)
{
    QVERIFY2(busy->size() == 2, operation);
    QVERIFY2(busy->at(0).at(0).toBool() && !busy->at(1).at(0).toBool(), operation);
    busy->clear();
}

void DeviceModelTest::activate(unsigned int flags)
{
    model->activate(pin, adminPin, flags);
    expectOneBusyPair("activate");
    model->securityFlags = flags;
}

void DeviceModelTest::freshCardAnswersStatusQueries()
{
    guarded([&] {
        QVERIFY(!model->isActivated());
        expectOneBusyPair("isActivated");
        QVERIFY(!model->isLoggedIn());
        expectOneBusyPair("isLoggedIn");
        model->remainingUserPinRetries();
        expectOneBusyPair("remainingUserPinRetries");
        QVERIFY(model->getSessions().empty());
        expectOneBusyPair("getSessions");
        QVERIFY(helpers->calls().empty());
    });
}

void DeviceModelTest::securityLifecycleRunsThroughTheModel()
{
    guarded([&] {
        activate(TRESORA_AC_FLAG_USER_ADMIN_SEPARATION);
        QVERIFY(model->isActivated());
        QVERIFY(model->isLoggedIn());
        QCOMPARE(model->remainingUserPinRetries(), 10u);
        QCOMPARE(model->remainingSecurityOfficerPinRetries(), 10u);
        busy->clear();

        model->changePin(pin, "5555");
        expectOneBusyPair("changePin");
        model->changeAdminPin(adminPin, "11112222");
        expectOneBusyPair("changeAdminPin");
        model->unblockPin("11112222", pin);
        expectOneBusyPair("unblockPin");
        QCOMPARE(card->stateValue("pin"), std::string("31323334"));
        model->setReadOnly();
        expectOneBusyPair("setReadOnly");
        const std::string readOnlyArea = card->stateValue("cdrom-area");
        model->setReadWrite();
        expectOneBusyPair("setReadWrite");
        QCOMPARE(readOnlyArea, std::string("0xFFFFFFFF"));
        QCOMPARE(card->stateValue("cdrom-area"), std::string("0x00000000"));

        model->login(pin);
        expectOneBusyPair("login");
        model->reset("11112222");
        expectOneBusyPair("reset");
        model->factoryReset("11112222");
        expectOneBusyPair("factoryReset");
        QVERIFY(!model->isActivated());
    });
}

void DeviceModelTest::wrongPinNamesTheRightCounter()
{
    guarded([&] {
        activate(TRESORA_AC_FLAG_USER_ADMIN_SEPARATION);
        int code = 0;
        QCOMPARE(messageOf([&] { model->login("9999"); }, code),
                 QStringLiteral("Wrong PIN, remaining retries: 9"));
        QCOMPARE(code, TRESORA_AC_SW_WRONG_PIN);
        expectOneBusyPair("login with a wrong PIN");

        QCOMPARE(messageOf([&] { model->changeAdminPin("99999999", "11112222"); }, code),
                 QStringLiteral("Wrong Admin PIN, remaining retries: 9"));
        expectOneBusyPair("changeAdminPin with a wrong Admin PIN");
        QCOMPARE(messageOf([&] { model->reset("99999999"); }, code),
                 QStringLiteral("Wrong Admin PIN, remaining retries: 8"));
        expectOneBusyPair("reset with a wrong Admin PIN");

        // Without a separate Admin user the factory reset counter is shown in PIN wording.
        cleanup();
        init();
        activate(0);
        QCOMPARE(messageOf([&] { model->factoryReset("99999999"); }, code),
                 QStringLiteral("Wrong PIN, remaining retries: 9"));
        QCOMPARE(messageOf([&] { model->reset("9999"); }, code),
                 QStringLiteral("Wrong PIN, remaining retries: 9"));
        QCOMPARE(model->remainingUserPinRetries(), 9u);
    });
}

void DeviceModelTest::wrongPinWithoutReadableCounterOmitsTheNumber()
{
    guarded([&] {
        activate(TRESORA_AC_FLAG_USER_ADMIN_SEPARATION);
        card->setFault("status", vixtest::Fault::StatusWord, vixtest::Repeat::Always, 0x6A88);
        int code = 0;
        QCOMPARE(messageOf([&] { model->login("9999"); }, code), QStringLiteral("Wrong PIN"));
        QCOMPARE(code, TRESORA_AC_SW_WRONG_PIN);
        expectOneBusyPair("login with an unreadable counter");
        QCOMPARE(messageOf([&] { model->unblockPin("99999999", pin); }, code),
                 QStringLiteral("Wrong Admin PIN"));
        expectOneBusyPair("unblockPin with an unreadable counter");
    });
}

void DeviceModelTest::pinLengthAndRefreshFailuresHaveMessages()
{
    guarded([&] {
        activate(TRESORA_AC_FLAG_USER_ADMIN_SEPARATION);
        int code = 0;
        QCOMPARE(messageOf([&] { model->changePin(pin, "12"); }, code),
                 QStringLiteral("PIN must be 4-15 characters long"));
        QCOMPARE(code, TRESORA_AC_SW_PIN_LENGTH);
        QCOMPARE(messageOf([&] { model->changeAdminPin(adminPin, "123"); }, code),
                 QStringLiteral("Admin PIN must be 8-20 characters long"));
        busy->clear();

        helpers->fail("REMOUNT", "all");
        const QString refresh = messageOf([&] { model->login(pin); }, code);
        QCOMPARE(code, TRESORA_AC_ERR_REFRESH);
        QVERIFY2(refresh.startsWith("Failed to refresh the card content.") &&
                     refresh.contains("Please remove the Tresora Archive Card from your system"),
                 qPrintable(refresh));
        expectOneBusyPair("login with a failing refresh");
    });
}

void DeviceModelTest::unlistedCodeCarriesTheErrno()
{
    guarded([&] {
        card->setFault("set-read-write", vixtest::Fault::StatusWord, vixtest::Repeat::Always,
                       0x6F06);
        try {
            model->setReadWrite();
            QFAIL("no exception for status word 6F06");
        } catch (const DeviceException& error) {
            QCOMPARE(error.errorCode, 0x6F06);
            QCOMPARE(
                QString(error.what()),
                QStringLiteral("Device Exception: 28422, system error: %1").arg(error.systemError));
        }
        expectOneBusyPair("setReadWrite refused");
        QVERIFY_EXCEPTION_THROWN(DeviceModelImpl(card->folder() + "/missing").login(pin),
                                 DeviceException);
    });
}

void DeviceModelTest::sessionOperationsReachTheCard()
{
    guarded([&] {
        model->startNewSession();
        expectOneBusyPair("startNewSession");
        const std::vector<Session> sessions = model->getSessions();
        QCOMPARE(sessions.size(), size_t(1));
        expectOneBusyPair("getSessions");
        helpers->clearCalls();
        model->switchToSession(int(sessions[0].id));
        expectOneBusyPair("switchToSession");
        QVERIFY(!helpers->calls().empty());
        model->discardCurrentSession();
        expectOneBusyPair("discardCurrentSession");
        QVERIFY_EXCEPTION_THROWN(model->switchToSession(9999), DeviceException);
        expectOneBusyPair("switchToSession refused");
    });
}

void DeviceModelTest::sessionsArePagedInCardOrder()
{
    guarded([&] {
        std::vector<std::string> args;
        for (int i = 0; i < 40; ++i) {
            args.push_back("--session");
            args.push_back(QStringLiteral("2023-01-%1T10:00:00=%2")
                               .arg(i % 28 + 1, 2, 10, QLatin1Char('0'))
                               .arg(512 * (i + 1))
                               .toStdString());
        }
        vixtest::VirtualCard many(cardOptions(args));
        waitUntilAnswering(many.devicePath());
        DeviceModelImpl manyModel(many.devicePath());
        QSignalSpy manyBusy(&manyModel, &DeviceModel::deviceIsBusyChanged);
        const std::vector<Session> sessions = manyModel.getSessions();
        QCOMPARE(sessions.size(), size_t(40));
        QCOMPARE(manyBusy.size(), 2);
        for (size_t i = 0; i < sessions.size(); ++i) {
            QCOMPARE(sessions[i].dataSize, quint64(512 * (i + 1)));
            QVERIFY(!sessions[i].dateTime.empty());
            if (i > 0)
                QVERIFY(sessions[i].id > sessions[i - 1].id);
        }

        // A card that ignores the index repeats its first page instead of ending the list.
        many.setFaultLine("list-sessions first-page");
        try {
            manyModel.getSessions();
            QFAIL("a list repeating its first page was taken");
        } catch (const DeviceException& error) {
            QCOMPARE(error.errorCode, TRESORA_AC_ERR_MALFORMED_ANSWER);
        }
        QCOMPARE(manyBusy.size(), 4);
    });
}

void DeviceModelTest::deviceInfoCombinesStatusIdentifierAndSector()
{
    guarded([&] {
        activate(TRESORA_AC_FLAG_USER_ADMIN_SEPARATION);
        const DeviceInfo info = model->deviceInfo();
        expectOneBusyPair("deviceInfo");
        QCOMPARE(QString::fromStdString(info.serialNumber), QString(controllerId));
        QCOMPARE(info.firmwareVersion, 0x010203u);
        QCOMPARE(info.systemState, unsigned(TRESORA_AC_STATE_UNLOCKED));
        QCOMPARE(info.userPinRetries, 10u);
        QCOMPARE(info.adminPinRetries, 10u);
        QCOMPARE(info.securityFlags, unsigned(TRESORA_AC_FLAG_USER_ADMIN_SEPARATION));
        QCOMPARE(info.incompatibilityFlag, 5u);

        card->setFault("controller-id", vixtest::Fault::StatusWord, vixtest::Repeat::Always,
                       0x6A88);
        QVERIFY_EXCEPTION_THROWN(model->deviceInfo(), DeviceException);
        expectOneBusyPair("deviceInfo refused");
    });
}

void DeviceModelTest::connectionFollowsTheDevicePath()
{
    guarded([&] {
        QVERIFY(model->isConnectedToSystem());
        QCOMPARE(model->getDevicePath(), card->devicePath());
        QCOMPARE(model->getDeviceMountpoint(), QString());
        QVERIFY(!DeviceModelImpl(card->folder() + "/missing").isConnectedToSystem());
        QVERIFY(busy->isEmpty());
        const std::vector<unsigned char> ident =
            DeviceModel::readDeviceIdentifier(card->devicePath());
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(ident.data())),
                 QByteArray("Kendrova-SFC-SD-ccv2"));
        QCOMPARE(
            DeviceModel::deviceTypeFromCID(std::string(ident.begin() + 32, ident.begin() + 48)),
            MicroSdCard);
    });
}

void DeviceModelTest::downloadCopiesEverySessionOfTheCard()
{
    guarded([&] {
        auto presented = std::make_shared<PresentedCard>(*card);
        const std::vector<Session> sessions = presented->getSessions();
        QVERIFY(sessions.size() >= 2);
        QTemporaryDir backup(QDir::tempPath() + "/card-backup-XXXXXX");
        QString current;
        int lastPercent = -1;
        QVERIFY(DownloadModel().CopyFilesFromDevice(
            presented, backup.path(),
            [&](const Progress& p) {
                lastPercent = p.percent;
                return false;
            },
            {}, current));
        QCOMPARE(lastPercent, 100);
        QCOMPARE(current, backup.path());
        for (const Session& session : sessions) {
            const QString folder = backup.filePath(DownloadModel::sessionFolderName(session));
            const QString recorded =
                QString::fromStdString(card->sessionsDir()) + "/" + QString::number(session.id);
            QVERIFY2(QFileInfo(folder).isDir(), qPrintable(folder));
            QStringList expected = filesBelow(recorded);
            expected << DownloadModel::manifestName << DownloadModel::recordName;
            expected.sort();
            QCOMPARE(filesBelow(folder), expected);
            QCOMPARE(checksumListProblem(folder), QString());
            for (const QString& file : filesBelow(recorded)) {
                QFile a(folder + "/" + file), b(recorded + "/" + file);
                QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
                QVERIFY2(a.readAll() == b.readAll(), qPrintable(file));
            }
        }
    });
}

QTEST_GUILESS_MAIN(DeviceModelTest)
#include "devicemodel_test.moc"
