#include "../models/download_test_support.h"
#include "ViewModelTestSupport.h"
#include "downloadViewModel.h"

#include "Device.h"
#include "downloadmodel.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int waitLimit = 20000;

// Engine whose run is a script of progress reports and overwrite questions.
class ScriptedDownloadModel : public DownloadModel
{
public:
    struct Step
    {
        QString askPath; // empty: a progress report
        bool isFile = true;
        int percent = 0;
    };

    bool CopyFilesFromDevice(std::shared_ptr<DeviceModel>, QString destination,
                             ProgressCallback onProgress, OverwriteCallback onOverwrite,
                             QString& currentFolder) override
    {
        ++runs;
        receivedDestination = destination;
        for (const Step& step : steps) {
            if (!step.askPath.isEmpty()) {
                answers << onOverwrite(step.askPath, step.isFile);
                continue;
            }
            Progress progress;
            progress.percent = step.percent;
            if (onProgress(progress))
                return false;
        }
        for (int report = 0; report < reportsUntilCancel; ++report) {
            Progress progress;
            progress.percent = 1 + report % 98;
            if (onProgress(progress))
                return false;
            QThread::msleep(1);
        }
        if (failure)
            failure();
        currentFolder = destination;
        return true;
    }

    std::vector<Step> steps;
    int reportsUntilCancel = 0;
    std::function<void()> failure;
    QList<bool> answers;
    QString receivedDestination;
    int runs = 0;
};

enum class Answer { Overwrite, Skip, Cancel };
struct Reply
{
    Answer answer;
    bool applyToAll;
};

// The download dialog's conflict boxes: answers through the view model's setters while the
// worker waits on the blocking queued question.
class ConflictBoxes : public QObject
{
public:
    ConflictBoxes(DownloadViewModel* viewModel) : viewModel(viewModel)
    {
        connect(
            viewModel, &DownloadViewModel::aboutToOverwriteFile, this,
            [this](const QString& path) { answerFile(path); }, Qt::BlockingQueuedConnection);
        connect(
            viewModel, &DownloadViewModel::aboutToOverwriteFolder, this,
            [this](const QString& path) { answerFolder(path); }, Qt::BlockingQueuedConnection);
    }

    QList<Reply> fileReplies;
    QList<Reply> folderReplies;
    QStringList asked;

private:
    // A box closed without a button counts as Cancel.
    static Reply next(QList<Reply>& replies)
    {
        return replies.isEmpty() ? Reply{Answer::Cancel, false} : replies.takeFirst();
    }
    void answerFile(const QString& path)
    {
        asked << "file " + path;
        const Reply reply = next(fileReplies);
        viewModel->setCancelDownload(reply.answer == Answer::Cancel);
        viewModel->setOverwriteAllFiles(reply.answer == Answer::Overwrite && reply.applyToAll);
        viewModel->setOverwriteNoFiles(reply.answer == Answer::Skip && reply.applyToAll);
        viewModel->setOverwriteCurrentFile(reply.answer == Answer::Overwrite);
    }
    void answerFolder(const QString& path)
    {
        asked << "folder " + path;
        const Reply reply = next(folderReplies);
        viewModel->setCancelDownload(reply.answer == Answer::Cancel);
        viewModel->setOverwriteAllFolders(reply.answer == Answer::Overwrite && reply.applyToAll);
        viewModel->setOverwriteNoFolders(reply.answer == Answer::Skip && reply.applyToAll);
        viewModel->setOverwriteCurrentFolder(reply.answer == Answer::Overwrite);
    }

    DownloadViewModel* viewModel;
};

// One download dialog: the view model on its worker thread, the boxes on this thread.
struct DownloadFixture
{
    explicit DownloadFixture(DownloadModel* engine)
        : model(std::make_shared<ScriptedDeviceModel>()),
          viewModel(new DownloadViewModel("/media/card", engine, model)), boxes(viewModel),
          progress(viewModel, &DownloadViewModel::backupProgressChanged)
    {
        model->info.serialNumber = "0a1b2c";
        viewModel->setDestinationPath(destination.path());
        QObject::connect(viewModel, &DownloadViewModel::backupFinished, &boxes,
                         [this] { ending = "finished"; });
        QObject::connect(viewModel, &DownloadViewModel::backupCanceled, &boxes,
                         [this] { ending = "canceled"; });
        QObject::connect(viewModel, &DownloadViewModel::backupFailed, &boxes,
                         [this] { ending = "failed"; });
        worker = std::make_unique<WorkerThread>(viewModel);
    }
    ~DownloadFixture()
    {
        // As the dialog does: never leave a question waiting for a dialog that is gone.
        viewModel->setCancelDownload(true);
        worker.reset();
    }

    QString run()
    {
        QMetaObject::invokeMethod(viewModel, "copyFiles", Qt::QueuedConnection);
        if (!QTest::qWaitFor([this] { return !ending.isEmpty(); }, waitLimit))
            return "timeout";
        worker->sync();
        return ending;
    }
    QString backupFolder() const { return destination.path() + "/tresora_archive_export_0a1b2c"; }
    template <typename T> T read(T (DownloadViewModel::*getter)() const)
    {
        return worker->run([&] { return (viewModel->*getter)(); });
    }

    QTemporaryDir destination;
    std::shared_ptr<ScriptedDeviceModel> model;
    DownloadViewModel* viewModel;
    ConflictBoxes boxes;
    QSignalSpy progress;
    QString ending;
    std::unique_ptr<WorkerThread> worker;
};

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class DownloadViewModelTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDeviceMetaTypes(); }

    void emptyCardFinishesAtFullProgress()
    {
        DownloadFixture download(new DownloadModel);
        QCOMPARE(download.read(&DownloadViewModel::errorMessage),
                 QStringLiteral("Important: Do not unplug the device!"));
        QCOMPARE(download.run(), QStringLiteral("finished"));
        QCOMPARE(download.read(&DownloadViewModel::backupProgress), 100);
        QCOMPARE(download.read(&DownloadViewModel::backupPath), download.backupFolder());
        QVERIFY(QFileInfo(download.backupFolder()).isDir());
        // The engine's own 100 % shows as 99 until the run has really ended.
        QCOMPARE(download.progress.last().at(0).toInt(), 100);
        QCOMPARE(download.progress.at(download.progress.size() - 2).at(0).toInt(), 99);
    }

    void skipAllAnswersLaterFileConflictsWithoutAsking()
    {
        auto* engine = new ScriptedDownloadModel;
        engine->steps = {{"/b/1/a.mp4"}, {"/b/1/b.mp4"}, {"/b/2/a.mp4"}};
        DownloadFixture download(engine);
        download.boxes.fileReplies = {{Answer::Skip, true}};
        QCOMPARE(download.run(), QStringLiteral("finished"));
        QCOMPARE(engine->answers, (QList<bool>{false, false, false}));
        QCOMPARE(download.boxes.asked, QStringList{"file /b/1/a.mp4"});
        QCOMPARE(engine->receivedDestination, download.backupFolder());
    }

    void mergeAllAnswersLaterFolderConflicts()
    {
        auto* engine = new ScriptedDownloadModel;
        engine->steps = {{"/b/1", false}, {"/b/1/x", true}, {"/b/2", false}, {"/b/2/x", true}};
        DownloadFixture download(engine);
        download.boxes.folderReplies = {{Answer::Overwrite, true}};
        download.boxes.fileReplies = {{Answer::Overwrite, false}, {Answer::Skip, false}};
        QCOMPARE(download.run(), QStringLiteral("finished"));
        QCOMPARE(engine->answers, (QList<bool>{true, true, true, false}));
        QCOMPARE(download.boxes.asked, (QStringList{"folder /b/1", "file /b/1/x", "file /b/2/x"}));
    }

    void cancelInAConflictBoxCancelsTheRun()
    {
        auto* engine = new ScriptedDownloadModel;
        engine->steps = {{"/b/1/a.mp4"}, {QString(), true, 10}, {QString(), true, 20}};
        DownloadFixture download(engine);
        download.boxes.fileReplies = {{Answer::Cancel, true}};
        QCOMPARE(download.run(), QStringLiteral("canceled"));
        QCOMPARE(engine->answers, QList<bool>{false});
        QCOMPARE(download.read(&DownloadViewModel::overwriteNoFiles), false);
        QCOMPARE(download.read(&DownloadViewModel::backupPath), QString());
    }

    void stopFromTheDialogEndsARunningCopy_data()
    {
        QTest::addColumn<bool>("cardRemoved");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("error");
        QTest::newRow("cancel") << false << "canceled"
                                << "";
        QTest::newRow("card removed") << true << "failed"
                                      << "The card was removed during the backup.\n";
    }

    void stopFromTheDialogEndsARunningCopy()
    {
        QFETCH(bool, cardRemoved);
        QFETCH(QString, ending);
        QFETCH(QString, error);
        auto* engine = new ScriptedDownloadModel;
        engine->reportsUntilCancel = 1000000;
        DownloadFixture download(engine);
        bool reported = false;
        QObject::connect(download.viewModel, &DownloadViewModel::downloadMetricsChanged,
                         &download.boxes, [&] { reported = true; });
        QMetaObject::invokeMethod(download.viewModel, "copyFiles", Qt::QueuedConnection);
        QVERIFY(QTest::qWaitFor([&] { return reported; }, waitLimit));
        // Called from this (GUI) thread while the worker copies.
        if (cardRemoved)
            download.viewModel->cardRemoved();
        else
            download.viewModel->setCancelDownload(true);
        QVERIFY(QTest::qWaitFor([&] { return !download.ending.isEmpty(); }, waitLimit));
        QCOMPARE(download.ending, ending);
        QVERIFY(download.read(&DownloadViewModel::errorMessage).startsWith(error));
    }

    void engineFailureFailsTheRun()
    {
        auto* engine = new ScriptedDownloadModel;
        engine->failure = [] { throw std::runtime_error("Could not open /b/1/a.mp4."); };
        DownloadFixture download(engine);
        QCOMPARE(download.run(), QStringLiteral("failed"));
        QCOMPARE(download.read(&DownloadViewModel::errorMessage),
                 QStringLiteral("Could not open /b/1/a.mp4.\n\nNo session was completed in this "
                                "run. The backup is incomplete."));
        QVERIFY(download.read(&DownloadViewModel::backupPath).isEmpty());
    }

    void serialNumberFailureFailsTheRunAndKeepsTheThread()
    {
        auto* engine = new ScriptedDownloadModel;
        DownloadFixture download(engine);
        download.model->failWithDeviceError("deviceInfo", "Device Exception: -3, system error: 6",
                                            -3);
        QCOMPARE(download.run(), QStringLiteral("failed"));
        QVERIFY(download.read(&DownloadViewModel::errorMessage)
                    .startsWith("The card could not be read; it may have been removed or stopped "
                                "answering.\nDevice Exception: -3, system error: 6\n"));
        QCOMPARE(engine->runs, 0);
        QVERIFY(download.worker->qthread()->isRunning());
        QVERIFY(!QFileInfo(download.backupFolder()).exists());
    }

    void emptyDestinationIsRefused()
    {
        auto* engine = new ScriptedDownloadModel;
        DownloadFixture download(engine);
        QMetaObject::invokeMethod(download.viewModel, "setDestinationPath", Qt::QueuedConnection,
                                  Q_ARG(QString, QString()));
        QCOMPARE(download.run(), QStringLiteral("failed"));
        QCOMPARE(engine->runs, 0);
        QVERIFY(download.model->calls().isEmpty());
        QVERIFY(download.read(&DownloadViewModel::errorMessage).startsWith("No backup folder"));
    }

    void realEngineCopiesAndSkipsAsAnswered()
    {
        QTemporaryDir card;
        writeFile(card.path() + "/a.mp4", "new a");
        writeFile(card.path() + "/b.mp4", "new b");
        DownloadFixture download(new DownloadModel);
        download.model->mountpoint = card.path();
        download.model->sessions = {Session(1, "2023-05-01T12:30:00", 4), Session(2, "", 4)};
        const QString first = download.backupFolder() + "/1_2023-05-01T12-30-00";
        QVERIFY(QDir().mkpath(first));
        writeFile(first + "/a.mp4", "old a");
        writeFile(first + "/b.mp4", "old b");
        download.boxes.folderReplies = {{Answer::Overwrite, false}};
        download.boxes.fileReplies = {{Answer::Skip, true}};

        QCOMPARE(download.run(), QStringLiteral("finished"));
        QCOMPARE(download.boxes.asked.size(), 2);
        QCOMPARE(readFile(first + "/a.mp4"), QByteArray("old a"));
        QCOMPARE(readFile(first + "/b.mp4"), QByteArray("old b"));
        QCOMPARE(readFile(download.backupFolder() + "/2/b.mp4"), QByteArray("new b"));
        QVERIFY(download.model->calls().contains("switchToSession 2"));
        // Checksum lists that match the merged folder and the new one, and the card's serial.
        for (const QString& folder : {first, download.backupFolder() + "/2"})
            QVERIFY2(manifestProblem(folder).isEmpty(), qPrintable(manifestProblem(folder)));
        QVERIFY(readFile(first + "/vix-backup.txt").contains("Card serial number: 0a1b2c\n"));
        QCOMPARE(download.read(&DownloadViewModel::titleDownloading),
                 QStringLiteral("Downloading ..."));
    }

    void failureSaysWhatHappened_data()
    {
        QTest::addColumn<int>("side"); // BackupError::Side, or -1 for a failed card call
        QTest::addColumn<int>("systemError");
        QTest::addColumn<bool>("cardConnected");
        QTest::addColumn<QString>("headline"); // %1: the backup folder
        const int disk = int(BackupError::Side::Destination);
        const int card = int(BackupError::Side::Card);
        QTest::newRow("disk full")
            << disk << ENOSPC << true
            << "The drive of the backup folder %1 has too little free space.";
        QTest::newRow("read-only")
            << disk << EROFS << true << "The drive of the backup folder %1 is read-only.";
        QTest::newRow("no permission")
            << disk << EACCES << true << "You may not write into the backup folder %1.";
        QTest::newRow("drive unplugged")
            << disk << EIO << true
            << "The backup folder %1 can no longer be written; its drive may have been removed "
               "or unplugged.";
        QTest::newRow("card pulled")
            << card << EIO << false << "The card was removed during the backup.";
        QTest::newRow("card server gone")
            << -1 << 0 << true
            << "The card could not be read; it may have been removed or stopped answering.";
    }

    void failureSaysWhatHappened()
    {
        QFETCH(int, side);
        QFETCH(int, systemError);
        QFETCH(bool, cardConnected);
        QFETCH(QString, headline);
        auto* engine = new ScriptedDownloadModel;
        engine->failure = [=] {
            if (side < 0)
                throw DeviceException(-3, "Device Exception: -3");
            throw BackupError("Could not write data to /b/1/a.mp4.", BackupError::Side(side),
                              "/b/1/a.mp4", systemError);
        };
        DownloadFixture download(engine);
        download.model->connected = cardConnected;
        QCOMPARE(download.run(), QStringLiteral("failed"));
        const QString text = download.read(&DownloadViewModel::errorMessage);
        QVERIFY2(text.startsWith(headline.arg(download.destination.path()) + '\n'),
                 qPrintable(text));
        QVERIFY2(text.endsWith("The backup is incomplete."), qPrintable(text));
    }

    void protectedContentFailsTheRun()
    {
        QTemporaryDir card;
        writeFile(card.path() + "/clip.mp4", "*PROTECTED DATA*" + QByteArray(100, 'x'));
        DownloadFixture download(new DownloadModel);
        download.model->mountpoint = card.path();
        download.model->sessions = {Session(1, "", 1)};
        QCOMPARE(download.run(), QStringLiteral("failed"));
        QVERIFY(download.read(&DownloadViewModel::errorMessage)
                    .startsWith("Memory device is encrypted, cannot copy data\n"));
    }

    void progressTexts_data()
    {
        QTest::addColumn<bool>("started");
        QTest::addColumn<qint64>("remaining");
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<float>("speed");
        QTest::addColumn<QString>("metrics");

        QTest::newRow("not started") << false << qint64(600000) << qint64(0) << 0.0f
                                     << "Remaining time: calculating..., Elapsed time: 0min 0s, "
                                        "Speed: 0.0mb/s";
        QTest::newRow("no estimate") << true << qint64(0) << qint64(61000) << 1.24f
                                     << "Remaining time: calculating..., Elapsed time: 1min 1s, "
                                        "Speed: 1.2mb/s";
        QTest::newRow("under a minute") << true << qint64(30000) << qint64(5000) << 12.36f
                                        << "Remaining time: <1min, Elapsed time: 0min 5s, "
                                           "Speed: 12.4mb/s";
        // Whole minutes: hours do not drop out.
        QTest::newRow("hours") << true << qint64(75 * 60000) << qint64(75 * 60000 + 3000) << 3.0f
                               << "Remaining time: <75min, Elapsed time: 75min 3s, "
                                  "Speed: 3.0mb/s";
        QTest::newRow("beyond a day") << true << qint64((25 * 60 + 3) * 60000) << qint64(0) << 0.1f
                                      << "Remaining time: <1503min, Elapsed time: 0min 0s, "
                                         "Speed: 0.1mb/s";
    }

    void progressTexts()
    {
        QFETCH(bool, started);
        QFETCH(qint64, remaining);
        QFETCH(qint64, elapsed);
        QFETCH(float, speed);
        QFETCH(QString, metrics);

        DownloadViewModel viewModel("/media/card", new DownloadModel,
                                    std::make_shared<ScriptedDeviceModel>());
        Progress progress;
        progress.started = started;
        progress.remainingTime = remaining;
        progress.elapsedTime = elapsed;
        progress.speed = speed;
        progress.percent = 100;
        QCOMPARE(viewModel.callBackBackupProgress(progress), false);
        QCOMPARE(viewModel.downloadMetrics(), metrics);
        QCOMPARE(viewModel.backupProgress(), 99);
        viewModel.setCancelDownload(true);
        QCOMPARE(viewModel.callBackBackupProgress(progress), true);
    }

    void loginFailureThenSuccess()
    {
        DownloadFixture download(new ScriptedDownloadModel);
        download.model->failWithDeviceError("login", "Wrong PIN, remaining retries: 1");
        QSignalSpy succeeded(download.viewModel, &DownloadViewModel::loginSucceeded);
        QSignalSpy updating(download.viewModel, &DownloadViewModel::isUpdatingChanged);
        QMetaObject::invokeMethod(download.viewModel, "login", Qt::QueuedConnection,
                                  Q_ARG(QString, "0000"));
        download.worker->sync();
        QCOMPARE(download.read(&DownloadViewModel::loginErrorMessage),
                 QStringLiteral("Wrong PIN, remaining retries: 1"));
        QCOMPARE(download.read(&DownloadViewModel::isUpdating), false);
        QCOMPARE(updating.count(), 2);
        QCOMPARE(succeeded.count(), 0);

        download.model->failWith("login", {});
        QMetaObject::invokeMethod(download.viewModel, "login", Qt::QueuedConnection,
                                  Q_ARG(QString, "1234"));
        download.worker->sync();
        QCOMPARE(succeeded.count(), 1);
        QCOMPARE(download.model->calls(), (QStringList{"login 0000", "login 1234"}));
        QVERIFY(!download.worker->run(
            [&] { return stringPropertiesContain(download.viewModel, "1234"); }));
    }

private:
    static bool stringPropertiesContain(QObject* object, const QString& text)
    {
        const QMetaObject* meta = object->metaObject();
        for (int i = 0; i < meta->propertyCount(); ++i)
            if (meta->property(i).read(object).toString() == text)
                return true;
        return false;
    }
};

QTEST_GUILESS_MAIN(DownloadViewModelTest)
#include "downloadviewmodel_test.moc"
