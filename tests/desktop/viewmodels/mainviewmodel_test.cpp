#include "ViewModelTestSupport.h"
#include "mainviewmodel.h"

#include "Device.h"
#include "devicemodelfactory.h"
#include "devicewatcher.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <thread>

namespace {

constexpr int waitLimit = 20000;

Device card(const QString& path, bool supported = true, bool securityActive = false,
            unsigned int securityFlags = 0)
{
    return Device(path, QStringLiteral("CARD"), SdCard, securityActive, supported ? Ccv2 : Ccv1, 0,
                  securityFlags);
}

bool endsWith(const QList<MainView>& history, const QList<MainView>& tail)
{
    return history.size() >= tail.size() && history.mid(history.size() - tail.size()) == tail;
}

// Scan results and card models on demand; the first scan can be held back.
class ScriptedFactory : public DeviceModelFactory
{
public:
    QList<Device> searchDevices() override
    {
        if (holdFirstScan.exchange(false))
            gate.acquire();
        QMutexLocker lock(&mutex);
        ++scanCount;
        return devices;
    }
    DeviceModel* createDeviceModel(const std::string& devicePath) override
    {
        if (failCreation)
            throw DeviceException(-1, "cannot create");
        QMutexLocker lock(&mutex);
        createdFor << QString::fromStdString(devicePath);
        return new ScriptedDeviceModel(devicePath);
    }
    void setDevices(const DeviceList& list)
    {
        QMutexLocker lock(&mutex);
        devices = list;
    }
    int scans() const
    {
        QMutexLocker lock(&mutex);
        return scanCount;
    }
    QStringList created() const
    {
        QMutexLocker lock(&mutex);
        return createdFor;
    }

    std::atomic<bool> holdFirstScan{false};
    std::atomic<bool> failCreation{false};
    QSemaphore gate;

private:
    mutable QMutex mutex;
    DeviceList devices;
    QStringList createdFor;
    int scanCount = 0;
};

// The main view model as the window runs it: on a worker thread, its watcher on its own.
struct MainFixture
{
    explicit MainFixture(const DeviceList& initial, int interval = 5, bool holdFirstScan = false)
    {
        scanner->setDevices(initial);
        scanner->holdFirstScan = holdFirstScan;
        watcher = new DeviceWatcher(interval, scanner);
        viewModel = new MainViewModel(models, watcher);
        views = std::make_unique<QSignalSpy>(viewModel, &MainViewModel::activeViewChanged);
        removals = std::make_unique<QSignalSpy>(viewModel, &MainViewModel::selectedDeviceRemoved);
        log.watch(viewModel, &MainViewModel::isUpdatingChanged, "isUpdating");
        log.watch(viewModel, &MainViewModel::activeViewChanged, "activeView");
        log.watch(viewModel, &MainViewModel::availableDevicesChanged, "available");
        log.watch(viewModel, &MainViewModel::unsupportedDevicesChanged, "unsupported");
        log.watch(viewModel, &MainViewModel::selectedDeviceChanged, "selected");
        worker = std::make_unique<WorkerThread>(viewModel);
    }
    ~MainFixture() { worker.reset(); }

    MainView view()
    {
        return worker->run([this] { return viewModel->activeView(); });
    }
    Device selection()
    {
        return worker->run([this] { return viewModel->selectedDevice(); });
    }
    bool waitForView(MainView expected)
    {
        return QTest::qWaitFor([&] { return view() == expected; }, waitLimit);
    }
    void select(const Device& device)
    {
        QMetaObject::invokeMethod(viewModel, "setSelectedDevice", Qt::QueuedConnection,
                                  Q_ARG(Device, device));
    }
    // Returns once two more scans have run and their results have reached the view model.
    void settleScans()
    {
        const int target = scanner->scans() + 2;
        QVERIFY(QTest::qWaitFor([&] { return scanner->scans() >= target; }, waitLimit));
        worker->sync();
    }
    QList<MainView> viewHistory()
    {
        return worker->run([this] {
            QList<MainView> history;
            for (const QList<QVariant>& args : *views)
                history << args.at(0).value<MainView>();
            return history;
        });
    }

    ScriptedFactory* scanner = new ScriptedFactory;
    ScriptedFactory* models = new ScriptedFactory;
    DeviceWatcher* watcher = nullptr;
    MainViewModel* viewModel = nullptr;
    std::unique_ptr<QSignalSpy> views;
    std::unique_ptr<QSignalSpy> removals;
    EventLog log;
    std::unique_ptr<WorkerThread> worker;
};

} // namespace

class MainViewModelTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerDeviceMetaTypes();
        qRegisterMetaType<MainView>("MainView");
    }

    void searchingUntilTheFirstScanEnds()
    {
        MainFixture main({}, 3600000, true);
        QCOMPARE(main.view(), Searching);
        QCOMPARE(main.worker->run([&] { return main.viewModel->isUpdating(); }), true);
        main.scanner->gate.release();
        QVERIFY(main.waitForView(NoDevices));
        QCOMPARE(main.viewHistory(), QList<MainView>{NoDevices});
        // The page is chosen inside the isUpdating notification, before later receivers run.
        QCOMPARE(main.log.events(), (QStringList{"activeView", "isUpdating false"}));
    }

    void onlyUnsupportedCardsShowNoDevices()
    {
        const Device oldCard = card("/dev/sdc1", false);
        MainFixture main({oldCard}, 3600000);
        QVERIFY(main.waitForView(NoDevices));
        QCOMPARE(main.worker->run([&] { return main.viewModel->unsupportedDevices(); }),
                 DeviceList{oldCard});
        QVERIFY(main.worker->run([&] { return main.viewModel->availableDevices(); }).isEmpty());
    }

    void listSplitKeepsScanOrder()
    {
        const Device a = card("/dev/sdb1"), old = card("/dev/sdc1", false), b = card("/dev/sdd1");
        MainFixture main({a, old, b}, 3600000);
        QVERIFY(main.waitForView(DevicesList));
        QCOMPARE(main.worker->run([&] { return main.viewModel->availableDevices(); }),
                 (DeviceList{a, b}));
        QCOMPARE(main.worker->run([&] { return main.viewModel->unsupportedDevices(); }),
                 DeviceList{old});
    }

    void selectionFollowsTheCardUntilItIsUnplugged()
    {
        const Device a = card("/dev/sdb1", true, false, 0x02), b = card("/dev/sdd1");
        MainFixture main({a, b});
        QVERIFY(main.waitForView(DevicesList));

        main.select(a);
        QVERIFY(main.waitForView(SelectedDevice));
        QCOMPARE(main.models->created(), QStringList{"/dev/sdb1"});
        const std::shared_ptr<DeviceModel> first = main.viewModel->deviceModel();
        QVERIFY(first);
        QCOMPARE(first->securityFlags, 0x02u);

        // Activated elsewhere: the selection takes the refreshed record and a fresh model.
        const Device activated = card("/dev/sdb1", true, true, 0x02);
        main.scanner->setDevices({activated, b});
        QVERIFY(QTest::qWaitFor([&] { return main.selection().securityActive; }, waitLimit));
        QCOMPARE(main.view(), SelectedDevice);
        QCOMPARE(main.models->created().size(), 2);

        main.scanner->setDevices({b});
        QVERIFY(main.waitForView(DevicesList));
        QVERIFY(!main.selection());
        main.settleScans();
        QCOMPARE(main.worker->run([&] { return main.removals->count(); }), 1);
        // No card selected: the last model stays for dialogs that still hold it.
        QVERIFY(main.viewModel->deviceModel());
        QCOMPARE(main.models->created().size(), 2);

        main.scanner->setDevices({});
        QVERIFY(main.waitForView(NoDevices));
        QCOMPARE(main.viewHistory(),
                 (QList<MainView>{DevicesList, SelectedDevice, DevicesList, NoDevices}));
    }

    void identicalScansEmitNothing()
    {
        const Device a = card("/dev/sdb1");
        MainFixture main({a}, 3600000);
        QVERIFY(main.waitForView(DevicesList));
        main.worker->sync();
        const int before = main.log.events().size();

        emit main.watcher->recognizedDevicesChanged({a});
        emit main.watcher->recognizedDevicesChanged({a});
        main.worker->sync();
        QCOMPARE(main.log.events().size(), before);

        // An unsupported card arriving changes only its own list; the page stays.
        emit main.watcher->recognizedDevicesChanged({a, card("/dev/sdc1", false)});
        main.worker->sync();
        QCOMPARE(main.log.events().mid(before), QStringList{"unsupported"});
    }

    void busyCardPausesTheScan()
    {
        const Device a = card("/dev/sdb1");
        MainFixture main({a});
        QVERIFY(main.waitForView(DevicesList));
        main.select(a);
        QVERIFY(main.waitForView(SelectedDevice));
        const std::shared_ptr<DeviceModel> model = main.viewModel->deviceModel();

        // As an operation view model's thread does: setBusy returns once the scan is paused.
        std::thread operation([&] { model->setBusy(true); });
        operation.join();
        QCOMPARE(main.watcher->isEnabled(), false);
        const int scans = main.scanner->scans();
        QTest::qWait(50);
        QCOMPARE(main.scanner->scans(), scans);

        std::thread done([&] { model->setBusy(false); });
        done.join();
        QCOMPARE(main.watcher->isEnabled(), true);
        main.settleScans();
    }

    void reinitializeKeepsOrDropsTheSelection()
    {
        const Device a = card("/dev/sdb1"), b = card("/dev/sdd1");
        MainFixture main({a, b});
        QVERIFY(main.waitForView(DevicesList));
        main.select(a);
        QVERIFY(main.waitForView(SelectedDevice));

        QVERIFY(QMetaObject::invokeMethod(main.viewModel, "reinitialize", Qt::QueuedConnection));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return endsWith(main.viewHistory(), {Searching, SelectedDevice});
            },
            waitLimit));
        QCOMPARE(main.selection(), a);

        QVERIFY(QMetaObject::invokeMethod(main.viewModel, "reinitialize", Qt::QueuedConnection,
                                          Q_ARG(bool, true)));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return endsWith(main.viewHistory(), {Searching, DevicesList});
            },
            waitLimit));
        QVERIFY(!main.selection());
    }

    void failedModelCreationKeepsThePreviousModel()
    {
        const Device a = card("/dev/sdb1"), b = card("/dev/sdd1");
        MainFixture main({a, b}, 3600000);
        QVERIFY(main.waitForView(DevicesList));
        main.select(a);
        QVERIFY(main.waitForView(SelectedDevice));
        const std::shared_ptr<DeviceModel> first = main.viewModel->deviceModel();

        main.models->failCreation = true;
        main.select(b);
        main.worker->sync();
        QCOMPARE(main.selection(), b);
        QCOMPARE(main.view(), SelectedDevice);
        QCOMPARE(main.viewModel->deviceModel(), first);
    }

    void keptRecordingIsToldUntilItsCardIsGone_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("told");
        QTest::newRow("measured") << qint64(2 * 1024 * 1024)
                                  << "/dev/sdb1 was made read-only. It holds an unclosed "
                                     "recording of 2.0 MB, which was kept";
        QTest::newRow("not measurable") << qint64(-1)
                                        << "/dev/sdb1 was made read-only. It may hold an "
                                           "unclosed recording, which was kept";
    }

    void keptRecordingIsToldUntilItsCardIsGone()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, told);
        const Device a = card("/dev/sdb1"), b = card("/dev/sdd1");
        MainFixture main({a, b}, 3600000);
        QVERIFY(main.waitForView(DevicesList));
        auto notice = [&] {
            return main.worker->run([&] { return main.viewModel->unclosedRecordingNotice(); });
        };
        QCOMPARE(notice(), QString());

        emit main.watcher->unclosedRecordingKept(a.devicePath, bytes);
        main.worker->sync();
        QVERIFY2(notice().contains(told), qPrintable(notice()));

        emit main.watcher->recognizedDevicesChanged({a});
        main.worker->sync();
        QVERIFY(!notice().isEmpty());
        emit main.watcher->recognizedDevicesChanged({b});
        main.worker->sync();
        QCOMPARE(notice(), QString());
    }

    void initializeSendsTheWholeStateInOrder()
    {
        MainFixture main({card("/dev/sdb1")}, 3600000);
        QVERIFY(main.waitForView(DevicesList));
        main.worker->sync();
        const int before = main.log.events().size();
        QVERIFY(QMetaObject::invokeMethod(main.viewModel, "initialize", Qt::QueuedConnection));
        main.worker->sync();
        QCOMPARE(main.log.events().mid(before),
                 (QStringList{"isUpdating false", "activeView", "available", "unsupported",
                              "selected"}));
        QCOMPARE(main.models->created(), QStringList());
    }
};

QTEST_GUILESS_MAIN(MainViewModelTest)
#include "mainviewmodel_test.moc"
