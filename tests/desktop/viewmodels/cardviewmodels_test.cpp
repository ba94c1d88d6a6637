// View models over the real card model, against the virtual card and the fake host helpers.

#include "ViewModelTestSupport.h"

#include "DeviceInfoViewModel.h"
#include "FactoryResetViewModel.h"
#include "activateMemoryViewModel.h"
#include "changepinviewmodel.h"
#include "downloadViewModel.h"
#include "loginviewmodel.h"

#include "Device.h"
#include "downloadmodel.h"

#include "VirtualCard.h"
#include "fakehelpers.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The virtual card is not mounted; its content folder stands in for the mount point.
class VirtualCardModel : public DeviceModelImpl
{
public:
    explicit VirtualCardModel(const vixtest::VirtualCard& card)
        : DeviceModelImpl(card.devicePath()), card(card)
    {
    }
    QString getDeviceMountpoint() override { return QString::fromStdString(card.contentDir()); }

private:
    const vixtest::VirtualCard& card;
};

// Queues one operation on a fresh worker thread and returns once it has finished there.
template <typename Model, typename Operation>
void runOnWorker(Model* viewModel, Operation operation)
{
    WorkerThread worker(viewModel);
    QMetaObject::invokeMethod(viewModel, operation, Qt::QueuedConnection);
    worker.sync();
}

} // namespace

class CardViewModelsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDeviceMetaTypes(); }

    void securityLifecycleThroughTheDialogs()
    {
        vixtest::FakeHelpers helpers;
        vixtest::VirtualCard card;
        auto model = std::make_shared<DeviceModelImpl>(card.devicePath());

        auto* activation = new ActivateMemoryViewModel(model, 1000);
        QSignalSpy activated(activation, &ActivateMemoryViewModel::activateSucceeded);
        QSignalSpy activationError(activation, &ActivateMemoryViewModel::errorMessageChanged);
        runOnWorker(activation, [=] { activation->activate("1234", "1234", "", "", false); });
        QCOMPARE(activationError.count(), 0);
        QCOMPARE(activated.count(), 1);
        QVERIFY(model->isActivated());

        LoginViewModel probe(model);
        const bool loginRequired = probe.isLoginRequired();
        if (loginRequired) {
            auto* login = new LoginViewModel(model);
            QSignalSpy loggedIn(login, &LoginViewModel::loginSucceeded);
            runOnWorker(login, [=] { login->login("1234"); });
            QCOMPARE(loggedIn.count(), 1);
        }
        QVERIFY(!probe.isLoginRequired());

        auto* change = new ChangePinViewModel(model);
        QSignalSpy changed(change, &ChangePinViewModel::changePinSucceeded);
        runOnWorker(change, [=] { change->changePin("1234", "56789", "56789"); });
        QCOMPARE(changed.count(), 1);

        // Accepted only if the PIN change also moved the derived Admin PIN along.
        auto* reset = new FactoryResetViewModel(model);
        QSignalSpy resetDone(reset, &FactoryResetViewModel::factoryResetSucceeded);
        QSignalSpy resetError(reset, &FactoryResetViewModel::errorMessageChanged);
        runOnWorker(reset, [=] { reset->factoryReset("56789"); });
        QCOMPARE(resetError.count(), 0);
        QCOMPARE(resetDone.count(), 1);
        QVERIFY(!model->isActivated());
    }

    void wrongPinShowsTheRemainingTries()
    {
        vixtest::FakeHelpers helpers;
        vixtest::VirtualCard card;
        auto model = std::make_shared<DeviceModelImpl>(card.devicePath());
        model->activate("1234", "12340000", 0);

        auto* login = new LoginViewModel(model);
        QSignalSpy updating(login, &LoginViewModel::isUpdatingChanged);
        QSignalSpy loggedIn(login, &LoginViewModel::loginSucceeded);
        QString error;
        QObject::connect(
            login, &LoginViewModel::loginErrorMessageChanged, login,
            [&error](const QString& text) { error = text; }, Qt::DirectConnection);
        const unsigned int before = model->remainingUserPinRetries();
        runOnWorker(login, [=] { login->login("9999"); });
        QCOMPARE(error, QStringLiteral("Wrong PIN, remaining retries: %1").arg(before - 1));
        QCOMPARE(loggedIn.count(), 0);
        QCOMPARE(updating.count(), 2);
    }

    void deviceInfoReadsTheCard()
    {
        vixtest::FakeHelpers helpers;
        vixtest::VirtualCardOptions options;
        options.firmwareVersion = "2.4.6";
        vixtest::VirtualCard card(options);
        auto* info = new DeviceInfoViewModel(std::make_shared<DeviceModelImpl>(card.devicePath()));
        QSignalSpy infos(info, &DeviceInfoViewModel::deviceInfoChanged);
        QSignalSpy errors(info, &DeviceInfoViewModel::errorMessageChanged);
        runOnWorker(info, [=] { info->initialize(); });
        QCOMPARE(infos.count(), 2);
        const DeviceInfo read = infos.last().at(0).value<DeviceInfo>();
        QCOMPARE(read.firmwareVersion, 0x020406u);
        QVERIFY(!read.serialNumber.empty());
        QCOMPARE(errors.count(), 1); // the initial empty state only
    }

    void downloadCopiesEverySession()
    {
        vixtest::FakeHelpers helpers;
        vixtest::VirtualCardOptions options;
        options.exampleSessions = true;
        vixtest::VirtualCard card(options);
        auto model = std::make_shared<VirtualCardModel>(card);
        const std::vector<Session> sessions = model->getSessions();
        QVERIFY(!sessions.empty());
        const std::string serial = model->deviceInfo().serialNumber;

        QTemporaryDir destination;
        auto* download = new DownloadViewModel("", new DownloadModel, model);
        download->setDestinationPath(destination.path());
        QSignalSpy finished(download, &DownloadViewModel::backupFinished);
        QSignalSpy failed(download, &DownloadViewModel::backupFailed);
        QString backupPath;
        QObject::connect(
            download, &DownloadViewModel::backupPathChanged, download,
            [&backupPath](const QString& path) { backupPath = path; }, Qt::DirectConnection);
        runOnWorker(download, [=] { download->copyFiles(); });
        QCOMPARE(failed.count(), 0);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(backupPath,
                 destination.path() + "/tresora_archive_export_" + QString::fromStdString(serial));
        const QStringList folders = QDir(backupPath).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(folders.size(), int(sessions.size()));
        for (const Session& session : sessions)
            QVERIFY(folders.contains(DownloadModel::sessionFolderName(session)));
    }
};

QTEST_GUILESS_MAIN(CardViewModelsTest)
#include "cardviewmodels_test.moc"
