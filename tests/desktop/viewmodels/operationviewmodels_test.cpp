#include "DeviceInfoViewModel.h"
#include "FactoryResetViewModel.h"
#include "SessionViewerViewModel.h"
#include "ViewModelTestSupport.h"
#include "activateMemoryViewModel.h"
#include "changeadminpinviewmodel.h"
#include "changepinviewmodel.h"
#include "loginviewmodel.h"
#include "unblockpinviewmodel.h"
#include "wipeDeviceViewModel.h"

#include "CardManagement.h"
#include "Device.h"

#include <QMetaProperty>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString pin4 = QStringLiteral("1234");
const QString admin8 = QStringLiteral("87654321");

QString chars(int count, char c = '5')
{
    return QString(count, QLatin1Char(c));
}

// Queues the named operation on the view model's thread the way the dialogs do.
void invokeOperation(QObject* viewModel, const QString& operation, const QStringList& a,
                     bool useAdminPin = false)
{
    bool queued = false;
    if (operation == "activate")
        queued = QMetaObject::invokeMethod(
            viewModel, "activate", Qt::QueuedConnection, Q_ARG(QString, a[0]), Q_ARG(QString, a[1]),
            Q_ARG(QString, a[2]), Q_ARG(QString, a[3]), Q_ARG(bool, useAdminPin));
    else if (a.size() == 3)
        queued = QMetaObject::invokeMethod(viewModel, operation.toLatin1(), Qt::QueuedConnection,
                                           Q_ARG(QString, a[0]), Q_ARG(QString, a[1]),
                                           Q_ARG(QString, a[2]));
    else if (a.size() == 1)
        queued = QMetaObject::invokeMethod(viewModel, operation.toLatin1(), Qt::QueuedConnection,
                                           Q_ARG(QString, a[0]));
    QVERIFY2(queued, qPrintable(operation));
}

ViewModel* makeViewModel(const QString& operation, std::shared_ptr<DeviceModel> model)
{
    if (operation == "login")
        return new LoginViewModel(model);
    if (operation == "activate")
        return new ActivateMemoryViewModel(model, 1);
    if (operation == "changePin")
        return new ChangePinViewModel(model);
    if (operation == "changeAdminPin")
        return new ChangeAdminPinViewModel(model);
    if (operation == "unblockPin")
        return new UnblockPinViewModel(model);
    if (operation == "factoryReset")
        return new FactoryResetViewModel(model);
    return new WipeDeviceViewModel(model);
}

QString errorOf(QObject* viewModel)
{
    const QVariant login = viewModel->property("loginErrorMessage");
    return login.isValid() ? login.toString() : viewModel->property("errorMessage").toString();
}

// Every QString property of the view model, to prove that no PIN stays behind.
QStringList stringProperties(QObject* viewModel)
{
    QStringList values;
    const QMetaObject* meta = viewModel->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QVariant value = meta->property(i).read(viewModel);
        if (value.type() == QVariant::String)
            values << value.toString();
    }
    return values;
}

} // namespace

class OperationViewModelsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDeviceMetaTypes(); }

    void invalidInputNeverReachesTheCard_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("useAdminPin");
        QTest::addColumn<unsigned int>("securityFlags");
        QTest::addColumn<QString>("error");

        const QString pinLength = "PIN must be 4-15 characters long";
        const QString adminLength = "Admin PIN must be 8-20 characters long";
        const QString pinMismatch = "PIN & re-entered PIN do not match";
        const QString adminMismatch = "Admin PIN & re-entered Admin PIN do not match";
        QTest::newRow("activate pin 3")
            << "activate" << QStringList{chars(3), chars(3), "", ""} << false << 0u << pinLength;
        QTest::newRow("activate pin 16")
            << "activate" << QStringList{chars(16), chars(16), "", ""} << false << 0u << pinLength;
        QTest::newRow("activate mismatch")
            << "activate" << QStringList{pin4, "1235", "", ""} << false << 0u << pinMismatch;
        QTest::newRow("activate admin 7")
            << "activate" << QStringList{pin4, pin4, chars(7), chars(7)} << true << 0u
            << adminLength;
        QTest::newRow("activate admin 21")
            << "activate" << QStringList{pin4, pin4, chars(21), chars(21)} << true << 0u
            << adminLength;
        QTest::newRow("activate admin mismatch")
            << "activate" << QStringList{pin4, pin4, admin8, chars(8)} << true << 0u
            << adminMismatch;
        // Length checks come before the comparison.
        QTest::newRow("activate pin first")
            << "activate" << QStringList{chars(3), "x", chars(7), ""} << true << 0u << pinLength;
        QTest::newRow("change old 3") << "changePin" << QStringList{chars(3), pin4, pin4} << false
                                      << 0u << "Old " + pinLength;
        QTest::newRow("change new 16") << "changePin" << QStringList{pin4, chars(16), chars(16)}
                                       << false << 0u << "New " + pinLength;
        QTest::newRow("change mismatch")
            << "changePin" << QStringList{pin4, "12345", "12346"} << false << 0u << pinMismatch;
        QTest::newRow("admin old 7") << "changeAdminPin" << QStringList{chars(7), admin8, admin8}
                                     << false << 2u << "Old " + adminLength;
        QTest::newRow("admin new 21")
            << "changeAdminPin" << QStringList{admin8, chars(21), chars(21)} << false << 2u
            << "New " + adminLength;
        QTest::newRow("admin mismatch")
            << "changeAdminPin" << QStringList{admin8, chars(20), chars(20, '6')} << false << 2u
            << adminMismatch;
        QTest::newRow("unblock admin 7")
            << "unblockPin" << QStringList{chars(7), pin4, pin4} << false << 2u << adminLength;
        QTest::newRow("unblock new 3") << "unblockPin" << QStringList{admin8, chars(3), chars(3)}
                                       << false << 2u << "New " + pinLength;
        QTest::newRow("unblock mismatch")
            << "unblockPin" << QStringList{admin8, pin4, "4321"} << false << 2u << pinMismatch;
        QTest::newRow("reset admin user 7")
            << "factoryReset" << QStringList{chars(7)} << false << 2u << adminLength;
        QTest::newRow("reset admin user 21")
            << "factoryReset" << QStringList{chars(21)} << false << 2u << adminLength;
        QTest::newRow("reset pin 3")
            << "factoryReset" << QStringList{chars(3)} << false << 0u << pinLength;
        QTest::newRow("reset pin 16")
            << "factoryReset" << QStringList{chars(16)} << false << 0u << pinLength;
        QTest::newRow("wipe admin user 7")
            << "wipeDevice" << QStringList{chars(7)} << false << 2u << adminLength;
        QTest::newRow("wipe pin 16")
            << "wipeDevice" << QStringList{chars(16)} << false << 0u << pinLength;
    }

    void invalidInputNeverReachesTheCard()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, args);
        QFETCH(bool, useAdminPin);
        QFETCH(unsigned int, securityFlags);
        QFETCH(QString, error);

        auto model = std::make_shared<ScriptedDeviceModel>();
        model->securityFlags = securityFlags;
        ViewModel* viewModel = makeViewModel(operation, model);
        QSignalSpy updating(viewModel, SIGNAL(isUpdatingChanged(bool)));
        WorkerThread worker(viewModel);

        invokeOperation(viewModel, operation, args, useAdminPin);
        worker.sync();
        QCOMPARE(model->calls(), QStringList());
        QCOMPARE(updating.count(), 0);
        QCOMPARE(worker.run([&] { return errorOf(viewModel); }), error);
    }

    void boundaryLengthsAreAccepted_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("useAdminPin");
        QTest::addColumn<unsigned int>("securityFlags");
        QTest::addColumn<QString>("expectedCall");

        QTest::newRow("activate 4/8") << "activate" << QStringList{pin4, pin4, admin8, admin8}
                                      << true << 0u << "activate 1234 87654321 2";
        QTest::newRow("activate 15/20")
            << "activate" << QStringList{chars(15), chars(15), chars(20, '9'), chars(20, '9')}
            << true << 0u << "activate " + chars(15) + ' ' + chars(20, '9') + " 2";
        QTest::newRow("change 4 to 15") << "changePin" << QStringList{pin4, chars(15), chars(15)}
                                        << false << 2u << "changePin 1234 " + chars(15);
        QTest::newRow("admin 8 to 20")
            << "changeAdminPin" << QStringList{admin8, chars(20), chars(20)} << false << 2u
            << "changeAdminPin 87654321 " + chars(20);
        QTest::newRow("unblock 20/4") << "unblockPin" << QStringList{chars(20), pin4, pin4} << false
                                      << 2u << "unblockPin " + chars(20) + " 1234";
        QTest::newRow("reset admin 20") << "factoryReset" << QStringList{chars(20)} << false << 2u
                                        << "factoryReset " + chars(20);
        QTest::newRow("reset pin 15") << "factoryReset" << QStringList{chars(15)} << false << 0u
                                      << "factoryReset " + chars(15);
        QTest::newRow("wipe admin 8")
            << "wipeDevice" << QStringList{admin8} << false << 2u << "reset 87654321";
        QTest::newRow("wipe pin 4")
            << "wipeDevice" << QStringList{pin4} << false << 0u << "reset 1234";
    }

    void boundaryLengthsAreAccepted()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, args);
        QFETCH(bool, useAdminPin);
        QFETCH(unsigned int, securityFlags);
        QFETCH(QString, expectedCall);

        auto model = std::make_shared<ScriptedDeviceModel>();
        model->securityFlags = securityFlags;
        model->connected = false;
        ViewModel* viewModel = makeViewModel(operation, model);
        QSignalSpy updating(viewModel, SIGNAL(isUpdatingChanged(bool)));
        WorkerThread worker(viewModel);

        invokeOperation(viewModel, operation, args, useAdminPin);
        worker.sync();
        QCOMPARE(model->calls().value(0), expectedCall);
        QCOMPARE(worker.run([&] { return updating.count(); }), 2);
        QCOMPARE(updating.at(0).at(0).toBool(), true);
        QCOMPARE(updating.at(1).at(0).toBool(), false);
        QCOMPARE(worker.run([&] { return errorOf(viewModel); }), QString());
        // The typed secrets are not kept in any property afterwards.
        const QStringList values = worker.run([&] { return stringProperties(viewModel); });
        for (const QString& arg : args)
            QVERIFY(arg.isEmpty() || !values.contains(arg));
    }

    void changePinLeavesTheDerivedAdminPinToTheCardLibrary()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        auto* viewModel = new ChangePinViewModel(model);
        EventLog log;
        log.watch(viewModel, &ChangePinViewModel::isUpdatingChanged, "isUpdating");
        log.watch(viewModel, &ChangePinViewModel::changePinSucceeded, "succeeded");
        WorkerThread worker(viewModel);

        invokeOperation(viewModel, "changePin", {"1234", "567890", "567890"});
        worker.sync();
        QCOMPARE(model->calls(), (QStringList{"changePin 1234 567890"}));
        QCOMPARE(log.events(), (QStringList{"isUpdating true", "succeeded", "isUpdating false"}));
    }

    void adminPinLeftBehindByPinChangeIsReported()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        model->failWithDeviceError("changePin", "Wrong Admin PIN, remaining retries: 4",
                                   TRESORA_AC_ERR_ADMIN_PIN_BEHIND);
        auto* viewModel = new ChangePinViewModel(model);
        viewModel->setErrorMessage("earlier failure");
        QSignalSpy succeeded(viewModel, &ChangePinViewModel::changePinSucceeded);
        QSignalSpy errors(viewModel, &ChangePinViewModel::errorMessageChanged);
        QSignalSpy halfDone(viewModel, &ChangePinViewModel::adminPinNotChanged);
        WorkerThread worker(viewModel);

        invokeOperation(viewModel, "changePin", {"1234", "5678", "5678"});
        worker.sync();
        QCOMPARE(model->callCount("changePin"), 1);
        QCOMPARE(succeeded.count(), 0);
        // Cleared first, then what happened: the PIN changed, the Admin PIN did not.
        QCOMPARE(errors.count(), 2);
        QCOMPARE(errors.at(0).at(0).toString(), QString());
        const QString explanation = viewModel->property("errorMessage").toString();
        QVERIFY(explanation.startsWith("Your PIN was changed, but the Admin PIN"));
        QVERIFY(explanation.contains("(Wrong Admin PIN, remaining retries: 4)"));
        QCOMPARE(halfDone.count(), 1);
        QCOMPARE(halfDone.at(0).at(0).toString(), explanation);
        QCOMPARE(viewModel->property("isUpdating").toBool(), false);
    }

    void activationPassesDerivedOrTypedAdminPin()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        model->connected = false;
        auto* viewModel = new ActivateMemoryViewModel(model, 1);
        WorkerThread worker(viewModel);

        invokeOperation(viewModel, "activate", {"1234", "1234", "ignored", "other"}, false);
        worker.sync();
        QCOMPARE(model->calls().value(0), QStringLiteral("activate 1234 12340000 0"));
        QCOMPARE(model->calls().value(1), QStringLiteral("setBusy true"));

        auto withAdmin = std::make_shared<ScriptedDeviceModel>();
        withAdmin->connected = false;
        auto* second = new ActivateMemoryViewModel(withAdmin, 1);
        WorkerThread secondWorker(second);
        invokeOperation(second, "activate", {"1234", "1234", admin8, admin8}, true);
        secondWorker.sync();
        QCOMPARE(withAdmin->calls().value(0), QStringLiteral("activate 1234 87654321 2"));
    }

    void activationWaitsForOneUnplug()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        auto* viewModel = new ActivateMemoryViewModel(model, 1);
        QSignalSpy unplugged(viewModel, &ActivateMemoryViewModel::deviceWasUnplugged);
        QSignalSpy succeeded(viewModel, &ActivateMemoryViewModel::activateSucceeded);
        WorkerThread worker(viewModel);

        invokeOperation(viewModel, "activate", {"1234", "1234", "", ""});
        // Still plugged in: the watch keeps polling and the scan stays paused.
        QVERIFY(QTest::qWaitFor([&] { return model->callCount("isConnectedToSystem") >= 3; }));
        QCOMPARE(worker.run([&] { return unplugged.count(); }), 0);
        QCOMPARE(succeeded.count(), 1);
        QCOMPARE(model->callCount("setBusy"), 1);

        model->connected = false;
        QVERIFY(QTest::qWaitFor([&] { return model->callCount("setBusy") == 2; }));
        const int polls = model->callCount("isConnectedToSystem");
        QTest::qWait(50);
        QCOMPARE(worker.run([&] { return unplugged.count(); }), 1);
        QCOMPARE(model->callCount("isConnectedToSystem"), polls);
        QCOMPARE(model->calls().last(), QStringLiteral("setBusy false"));
    }

    void closingBeforeUnplugGivesTheScanBack()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        {
            auto* viewModel = new ActivateMemoryViewModel(model, 1000);
            WorkerThread worker(viewModel);
            invokeOperation(viewModel, "activate", {"1234", "1234", "", ""});
            worker.sync();
            QCOMPARE(model->calls().last(), QStringLiteral("setBusy true"));
        }
        QCOMPARE(model->calls().last(), QStringLiteral("setBusy false"));
    }

    void failedActivationStartsNoWatch()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        model->failWithDeviceError("activate", "PIN must be 4-15 characters long", 0x6F05);
        auto* viewModel = new ActivateMemoryViewModel(model, 1);
        QSignalSpy succeeded(viewModel, &ActivateMemoryViewModel::activateSucceeded);
        WorkerThread worker(viewModel);

        invokeOperation(viewModel, "activate", {"1234", "1234", "", ""});
        worker.sync();
        QTest::qWait(20);
        QCOMPARE(model->calls(), QStringList{"activate 1234 12340000 0"});
        QCOMPARE(succeeded.count(), 0);
        QCOMPARE(worker.run([&] { return viewModel->errorMessage(); }),
                 QStringLiteral("PIN must be 4-15 characters long"));
    }

    void factoryResetDerivesOnlyWithoutAdminUser()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        auto* viewModel = new FactoryResetViewModel(model);
        QSignalSpy succeeded(viewModel, &FactoryResetViewModel::factoryResetSucceeded);
        WorkerThread worker(viewModel);

        invokeOperation(viewModel, "factoryReset", {"1234"});
        worker.sync();
        model->securityFlags = 0x06;
        invokeOperation(viewModel, "factoryReset", {"1234567890"});
        worker.sync();
        QCOMPARE(model->calls(), (QStringList{"factoryReset 12340000", "setReadWrite",
                                              "factoryReset 1234567890", "setReadWrite"}));
        QCOMPARE(succeeded.count(), 2);

        model->failWithDeviceError("setReadWrite", "Device Exception: -5, system error: 5", -5);
        invokeOperation(viewModel, "factoryReset", {"1234567890"});
        worker.sync();
        QCOMPARE(succeeded.count(), 2);
        QCOMPARE(worker.run([&] { return viewModel->errorMessage(); }),
                 QStringLiteral("Device Exception: -5, system error: 5"));
    }

    void wipePassesTheValueAsTyped()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        auto* viewModel = new WipeDeviceViewModel(model);
        QSignalSpy succeeded(viewModel, &WipeDeviceViewModel::wipeContentSucceeded);
        WorkerThread worker(viewModel);

        invokeOperation(viewModel, "wipeDevice", {"1234"});
        worker.sync();
        QCOMPARE(model->calls(), QStringList{"reset 1234"});
        QCOMPARE(succeeded.count(), 1);
    }

    void loginFailureAndLaterSuccess()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        model->failWithDeviceError("login", "Wrong PIN, remaining retries: 2");
        auto* viewModel = new LoginViewModel(model);
        QSignalSpy succeeded(viewModel, &LoginViewModel::loginSucceeded);
        EventLog log;
        log.watch(viewModel, &LoginViewModel::isUpdatingChanged, "isUpdating");
        log.watch(viewModel, &LoginViewModel::loginErrorMessageChanged, "error");
        WorkerThread worker(viewModel);

        invokeOperation(viewModel, "login", {"1111"});
        worker.sync();
        QCOMPARE(succeeded.count(), 0);
        QCOMPARE(log.events(),
                 (QStringList{"isUpdating true", "error Wrong PIN, remaining retries: 2",
                              "isUpdating false"}));

        model->failWith("login", {});
        invokeOperation(viewModel, "login", {"1234"});
        worker.sync();
        QCOMPARE(succeeded.count(), 1);
        QCOMPARE(worker.run([&] { return viewModel->loginErrorMessage(); }),
                 QStringLiteral("Wrong PIN, remaining retries: 2"));
        QCOMPARE(model->calls(), (QStringList{"login 1111", "login 1234"}));
    }

    void loginRequiredFollowsTheCard()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        LoginViewModel viewModel(model);
        QVERIFY(viewModel.isLoginRequired());
        model->loggedIn = true;
        QVERIFY(!viewModel.isLoginRequired());
        model->loggedIn = false;
        model->failWithDeviceError("isLoggedIn", "gone", -3);
        QVERIFY(!viewModel.isLoginRequired());
    }

    void cardTextsKeepTheirCharacters()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        model->failWithDeviceError("reset", "Falsche PIN \xc3\xa4\xc3\xb6");
        WipeDeviceViewModel viewModel(model);
        viewModel.wipeDevice(pin4);
        QCOMPARE(viewModel.errorMessage(), QStringLiteral("Falsche PIN \u00e4\u00f6"));
    }

    void otherExceptionsPassOnWithBusyCleared()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        model->failWith("unblockPin", [] { throw std::logic_error("bug"); });
        UnblockPinViewModel viewModel(model);
        QVERIFY_EXCEPTION_THROWN(viewModel.unblockPin(admin8, pin4, pin4), std::logic_error);
        QCOMPARE(viewModel.isUpdating(), false);
        QCOMPARE(viewModel.errorMessage(), QString());
    }

    void deviceInfoSendsEmptyStateThenTheReading()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        model->info = DeviceInfo("00a1ff", 0x010203, 2, 9, 14, 2, 0);
        auto* viewModel = new DeviceInfoViewModel(model);
        QSignalSpy infos(viewModel, &DeviceInfoViewModel::deviceInfoChanged);
        EventLog log;
        log.watch(viewModel, &DeviceInfoViewModel::isUpdatingChanged, "isUpdating");
        log.watch(viewModel, &DeviceInfoViewModel::errorMessageChanged, "error");
        log.watch(viewModel, &DeviceInfoViewModel::deviceInfoChanged, "info");
        WorkerThread worker(viewModel);

        QVERIFY(QMetaObject::invokeMethod(viewModel, "initialize", Qt::QueuedConnection));
        worker.sync();
        QCOMPARE(log.events(), (QStringList{"isUpdating false", "error ", "info", "isUpdating true",
                                            "info", "isUpdating false"}));
        QCOMPARE(infos.at(0).at(0).value<DeviceInfo>().serialNumber, std::string());
        QCOMPARE(infos.at(1).at(0).value<DeviceInfo>().serialNumber, std::string("00a1ff"));
        QCOMPARE(infos.at(1).at(0).value<DeviceInfo>().adminPinRetries, 14u);
    }

    void deviceInfoFailureShowsTheText()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        model->failWithDeviceError("deviceInfo", "Device Exception: -1, system error: 2", -1);
        DeviceInfoViewModel viewModel(model);
        QSignalSpy infos(&viewModel, &DeviceInfoViewModel::deviceInfoChanged);
        viewModel.initialize();
        QCOMPARE(infos.count(), 1);
        QCOMPARE(viewModel.errorMessage(), QStringLiteral("Device Exception: -1, system error: 2"));
        QCOMPARE(viewModel.isUpdating(), false);
    }

    void sessionViewerListsAndSwitchesByRow()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        model->sessions = {Session(7, "2023-05-01T12:30:00", 8), Session(3, "", 1)};
        auto* viewModel = new SessionViewerViewModel(model);
        EventLog log;
        log.watch(viewModel, &SessionViewerViewModel::isUpdatingChanged, "isUpdating");
        log.watch(viewModel, &SessionViewerViewModel::availableSessionsChanged, "sessions");
        log.watch(viewModel, &SessionViewerViewModel::hasQueriedSessionsChanged, "queried");
        QSignalSpy switched(viewModel, &SessionViewerViewModel::switchSessionSucceeded);
        WorkerThread worker(viewModel);

        QVERIFY(QMetaObject::invokeMethod(viewModel, "initialize", Qt::QueuedConnection));
        worker.sync();
        // The initial state goes out while the query is already announced as running.
        QCOMPARE(log.events(),
                 (QStringList{"isUpdating true", "sessions", "queried false", "isUpdating true",
                              "sessions", "queried true", "isUpdating false"}));
        const SessionList sessions = worker.run([&] { return viewModel->availableSessions(); });
        QCOMPARE(sessions.size(), 2);
        QCOMPARE(sessions.at(0).id, 7u);
        QCOMPARE(sessions.at(1).dataSize, quint64(512));

        QVERIFY(QMetaObject::invokeMethod(viewModel, "switchSession", Qt::QueuedConnection,
                                          Q_ARG(int, 1)));
        worker.sync();
        QCOMPARE(model->calls().last(), QStringLiteral("switchToSession 3"));
        QCOMPARE(switched.count(), 1);

        QVERIFY(QMetaObject::invokeMethod(viewModel, "switchSession", Qt::QueuedConnection,
                                          Q_ARG(int, 2)));
        worker.sync();
        QCOMPARE(model->callCount("switchToSession"), 1);
        QCOMPARE(switched.count(), 1);
        QVERIFY(!worker.run([&] { return viewModel->errorMessage(); }).isEmpty());
    }

    void sessionQueryFailureLeavesQueriedFalse()
    {
        auto model = std::make_shared<ScriptedDeviceModel>();
        model->failWithDeviceError("getSessions", "Device Exception: -3, system error: 2", -3);
        SessionViewerViewModel viewModel(model);
        viewModel.initialize();
        QCOMPARE(viewModel.hasQueriedSessions(), false);
        QCOMPARE(viewModel.errorMessage(), QStringLiteral("Device Exception: -3, system error: 2"));
        QCOMPARE(viewModel.isUpdating(), false);
    }
};

QTEST_GUILESS_MAIN(OperationViewModelsTest)
#include "operationviewmodels_test.moc"
