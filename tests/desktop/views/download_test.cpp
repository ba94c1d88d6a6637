// The download dialog in-process over a scripted card model: pages, setting, conflict answers
// and the ways a run ends or is abandoned.

#include "ModalDriver.h"
#include "ViewModelTestSupport.h"

#include "download.h"
#include "messagebox.h"
#include "metatypes.h"

#include "Device.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSemaphore>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int waitLimit = 20000;

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void storeBackupFolder(const QString& folder)
{
    QSettings("Kendrova", "Lockerly").setValue("BackupFolderPath", folder);
}

// A logged-in card whose every session shows the files of one folder.
struct Card
{
    explicit Card(int sessionCount = 1)
    {
        model->loggedIn = true;
        model->mountpoint = content.path();
        model->info.serialNumber = "c0ffee";
        for (int id = 1; id <= sessionCount; ++id)
            model->sessions.emplace_back(id, QString("2024-0%1-01T10:00:00").arg(id).toStdString(),
                                         8);
        writeFile(content.path() + "/DCIM/CLIP0001.MP4", "from the card");
    }
    QString backupFolder(const QString& destination) const
    {
        return destination + "/tresora_archive_export_c0ffee";
    }
    QString sessionFolder(const QString& destination, int id) const
    {
        return backupFolder(destination) + QString("/%1_2024-0%1-01T10-00-00").arg(id);
    }

    std::shared_ptr<ScriptedDeviceModel> model = std::make_shared<ScriptedDeviceModel>();
    QTemporaryDir content;
};

// Holds the worker in its first session switch until the test lets it go on.
struct SwitchGate
{
    explicit SwitchGate(ScriptedDeviceModel& model)
    {
        model.failWith("switchToSession", [this] {
            reached.release();
            mayGoOn.tryAcquire(1, waitLimit);
        });
    }
    QSemaphore reached;
    QSemaphore mayGoOn;
};

template <typename T> T* child(QWidget& dialog, const char* name)
{
    T* widget = dialog.findChild<T*>(name);
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

QString page(QWidget& dialog)
{
    return child<QStackedWidget>(dialog, "stackedWidget")->currentWidget()->objectName();
}

void click(QWidget& dialog, const char* buttonBox, QDialogButtonBox::StandardButton button)
{
    QTest::mouseClick(child<QDialogButtonBox>(dialog, buttonBox)->button(button), Qt::LeftButton);
}

// Shows the dialog and starts the run into the stored backup folder.
void startRun(Download& dialog, const QString& destination)
{
    dialog.show();
    QTRY_COMPARE_WITH_TIMEOUT(child<QLineEdit>(dialog, "lineEditDownloadFolder")->text(),
                              destination, waitLimit);
    click(dialog, "buttonBoxDownloadFolder", QDialogButtonBox::Ok);
}

} // namespace

class DownloadDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerVaultdeskMetaTypes();
        QVERIFY(home.isValid());
    }

    void init()
    {
        QSettings("Kendrova", "Lockerly").clear();
        MessageBox::clearShownBoxes();
    }

    void firstPageShowsTheStoredFolderOrThePictureFolder_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::newRow("no setting") << false;
        QTest::newRow("stored setting") << true;
    }
    void firstPageShowsTheStoredFolderOrThePictureFolder()
    {
        QFETCH(bool, stored);
        if (stored)
            storeBackupFolder(home.path());
        const QString expected =
            stored ? home.path()
                   : QStandardPaths::standardLocations(QStandardPaths::PicturesLocation).value(0);
        Card card;
        Download dialog(card.content.path(), card.model);
        dialog.show();
        QCOMPARE(page(dialog), QString("pickFolder"));
        QCOMPARE(dialog.windowTitle(), QString("Download Files"));
        QCOMPARE(child<QDialogButtonBox>(dialog, "buttonBoxDownloadFolder")
                     ->button(QDialogButtonBox::Ok)
                     ->text(),
                 QString("Continue"));
        QTRY_COMPARE_WITH_TIMEOUT(child<QLineEdit>(dialog, "lineEditDownloadFolder")->text(),
                                  expected, waitLimit);
    }

    // The picker opens at the folder last used; cancelled, it changes nothing, and Enter
    // then goes on instead of opening it again.
    void cancelledPickerKeepsTheFolder()
    {
        storeBackupFolder(home.path());
        Card card;
        Download dialog(card.content.path(), card.model);
        dialog.show();
        QLineEdit* field = child<QLineEdit>(dialog, "lineEditDownloadFolder");
        QTRY_COMPARE_WITH_TIMEOUT(field->text(), home.path(), waitLimit);
        FileDialog::clearShownCaptions();
        FileDialog::queueAnswer(QString());
        QTest::mouseClick(child<QPushButton>(dialog, "btnFolderPicker"), Qt::LeftButton);
        QCOMPARE(FileDialog::shownDirectories(), QStringList{home.path()});
        QCOMPARE(field->text(), home.path());
        QCOMPARE(QApplication::focusWidget(),
                 child<QDialogButtonBox>(dialog, "buttonBoxDownloadFolder")
                     ->button(QDialogButtonBox::Ok));
        QCOMPARE(QSettings("Kendrova", "Lockerly").value("BackupFolderPath").toString(),
                 home.path());
    }

    void cancellingTheLoginReturnsWithoutShowingTheDialog()
    {
        Card card;
        card.model->loggedIn = false;
        Download dialog(card.content.path(), card.model);
        bool downloadShown = false;
        connect(&dialog, &QDialog::finished, [&] { downloadShown = true; });
        ModalDriver user;
        user.whenShown([&](QWidget* login) {
            downloadShown = downloadShown || dialog.isVisible();
            QTest::keyClick(login, Qt::Key_Escape);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(!downloadShown);
        QCOMPARE(card.model->callCount("login"), 0);
    }

    void cancelOnTheProgressPageStopsAfterTheCurrentChunk()
    {
        QTemporaryDir destination;
        storeBackupFolder(destination.path());
        Card card;
        SwitchGate gate(*card.model);
        Download dialog(card.content.path(), card.model);
        startRun(dialog, destination.path());
        QTRY_VERIFY_WITH_TIMEOUT(gate.reached.available() > 0, waitLimit);
        QCOMPARE(page(dialog), QString("downloadInProgress"));
        click(dialog, "btnBoxCancelDownload", QDialogButtonBox::Cancel);
        gate.mayGoOn.release();
        QTRY_COMPARE_WITH_TIMEOUT(page(dialog), QString("canceled"), waitLimit);
        QVERIFY(!QFile::exists(card.sessionFolder(destination.path(), 1) + "/DCIM/CLIP0001.MP4"));
    }

    // Keys alone: Enter starts the run and closes each end page; Escape during the run
    // cancels it like the Cancel button, and the dialog stays to tell so.
    void keysDriveEveryPage_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("success") << "finishedSuccessfully";
        QTest::newRow("error") << "finishedWithErrors";
        QTest::newRow("Escape mid-run") << "canceled";
    }
    void keysDriveEveryPage()
    {
        QFETCH(QString, ending);
        QTemporaryDir destination;
        storeBackupFolder(destination.path());
        Card card;
        if (ending == "finishedWithErrors")
            card.model->failWithDeviceError("getSessions", "The card went away");
        std::unique_ptr<SwitchGate> gate;
        if (ending == "canceled")
            gate = std::make_unique<SwitchGate>(*card.model);
        Download dialog(card.content.path(), card.model);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QTRY_COMPARE_WITH_TIMEOUT(child<QLineEdit>(dialog, "lineEditDownloadFolder")->text(),
                                  destination.path(), waitLimit);
        QTest::keyClick(&dialog, Qt::Key_Return);
        if (gate) {
            QTRY_VERIFY_WITH_TIMEOUT(gate->reached.available() > 0, waitLimit);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            gate->mayGoOn.release();
        }
        QTRY_COMPARE_WITH_TIMEOUT(page(dialog), ending, waitLimit);
        QVERIFY(dialog.isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(!dialog.isVisible());
    }

    void applyToAllHoldsForLaterSessions()
    {
        QTemporaryDir destination;
        storeBackupFolder(destination.path());
        Card card(3);
        for (int id = 1; id <= 3; ++id)
            writeFile(card.sessionFolder(destination.path(), id) + "/DCIM/CLIP0001.MP4", "kept");
        MessageBox::queueAnswer(QMessageBox::Yes, true); // Merge all folders
        MessageBox::queueAnswer(QMessageBox::No, true);  // Skip all files
        Download dialog(card.content.path(), card.model);
        startRun(dialog, destination.path());
        QTRY_COMPARE_WITH_TIMEOUT(page(dialog), QString("finishedSuccessfully"), waitLimit);
        QStringList asked;
        for (const MessageBoxRequest& box : MessageBox::shownBoxes())
            asked << box.title;
        QCOMPARE(asked, QStringList({"Merge Folder", "File Conflict"}));
        for (int id = 1; id <= 3; ++id)
            QCOMPARE(readFile(card.sessionFolder(destination.path(), id) + "/DCIM/CLIP0001.MP4"),
                     QByteArray("kept"));
    }

    void aFailedRunShowsItsErrorOnTheErrorPage()
    {
        QTemporaryDir destination;
        storeBackupFolder(destination.path());
        Card card;
        card.model->failWithDeviceError("getSessions", "The card went away");
        Download dialog(card.content.path(), card.model);
        startRun(dialog, destination.path());
        QTRY_COMPARE_WITH_TIMEOUT(page(dialog), QString("finishedWithErrors"), waitLimit);
        QCOMPARE(child<QPlainTextEdit>(dialog, "plainTextEditErrors")->toPlainText(),
                 QString("The card could not be read; it may have been removed or stopped "
                         "answering.\nThe card went away\n\nNo session was completed in this "
                         "run. The backup is incomplete."));
    }

    // The dialog goes away (the removal notice closes every window, or it is deleted at once)
    // while the worker waits for the card or for an answer: nothing may hang and the run stops.
    void closingMidRunDoesNotHang_data()
    {
        QTest::addColumn<int>("moment");
        QTest::newRow("copy running") << int(CopyRunning);
        QTest::newRow("conflict box open") << int(QuestionOpen);
        QTest::newRow("question on its way") << int(QuestionOnItsWay);
    }
    void closingMidRunDoesNotHang()
    {
        QFETCH(int, moment);
        QTemporaryDir destination;
        storeBackupFolder(destination.path());
        Card card(2);
        if (moment != CopyRunning)
            QDir().mkpath(card.sessionFolder(destination.path(), 1));
        SwitchGate gate(*card.model);
        auto* dialog = new Download(card.content.path(), card.model);
        startRun(*dialog, destination.path());
        QTRY_VERIFY_WITH_TIMEOUT(gate.reached.available() > 0, waitLimit);
        switch (moment) {
        case CopyRunning:
            closeAllWindows();
            gate.mayGoOn.release();
            break;
        case QuestionOpen: {
            QTimer removalNotice;
            connect(&removalNotice, &QTimer::timeout, [&] {
                if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    removalNotice.stop();
                    closeAllWindows();
                }
            });
            removalNotice.start(5);
            gate.mayGoOn.release();
            QTRY_VERIFY_WITH_TIMEOUT(!removalNotice.isActive(), waitLimit);
            break;
        }
        case QuestionOnItsWay:
            gate.mayGoOn.release();
            break;
        }
        delete dialog;
        QCOMPARE(card.model->callCount("switchToSession"), 1);
        QVERIFY(!QFile::exists(card.sessionFolder(destination.path(), 1) + "/DCIM/CLIP0001.MP4"));
    }

    void tooLittleSpaceIsRefusedBeforeAnythingIsWritten()
    {
        QTemporaryDir destination;
        storeBackupFolder(destination.path());
        Card card;
        card.model->sessions = {Session(1, "2024-01-01T10:00:00", 4000000000u)}; // 2 TB
        Download dialog(card.content.path(), card.model);
        startRun(dialog, destination.path());
        QTRY_COMPARE_WITH_TIMEOUT(page(dialog), QString("finishedWithErrors"), waitLimit);
        const QString text = child<QPlainTextEdit>(dialog, "plainTextEditErrors")->toPlainText();
        QVERIFY2(text.startsWith("The drive of the backup folder " + destination.path() +
                                 " has too little free space.\nNot enough free space in " +
                                 card.backupFolder(destination.path()) +
                                 ": the backup needs 2.0 TB, but only "),
                 qPrintable(text));
        QCOMPARE(card.model->callCount("switchToSession"), 0);
        QVERIFY(!QFileInfo::exists(card.backupFolder(destination.path())));
        if (const QString pictures = qEnvironmentVariable("VIX_SCREENSHOT_DIR");
            !pictures.isEmpty())
            dialog.grab().save(pictures + "/download-space-refused.png");
    }

    void secondCopyIsRememberedAndWrittenBeside()
    {
        QTemporaryDir destination;
        QTemporaryDir mirror;
        storeBackupFolder(destination.path());
        QSettings("Kendrova", "Lockerly").setValue("MirrorBackupFolderPath", mirror.path());
        Card card;
        Download dialog(card.content.path(), card.model);
        dialog.show();
        QTRY_COMPARE_WITH_TIMEOUT(child<QLineEdit>(dialog, "lineEditMirrorFolder")->text(),
                                  mirror.path(), waitLimit);
        startRun(dialog, destination.path());
        QTRY_COMPARE_WITH_TIMEOUT(page(dialog), QString("finishedSuccessfully"), waitLimit);
        for (const QString& folder : {destination.path(), mirror.path()}) {
            QCOMPARE(readFile(card.sessionFolder(folder, 1) + "/DCIM/CLIP0001.MP4"),
                     QByteArray("from the card"));
            QVERIFY(QFile::exists(card.sessionFolder(folder, 1) + "/vix-backup.sha256"));
        }
        const QString summary = child<QLabel>(dialog, "lblSuccessSummary")->text();
        QVERIFY2(summary.contains(card.backupFolder(mirror.path())) &&
                     summary.contains("Every copy was read back from the disk and matches the "
                                      "card."),
                 qPrintable(summary));
        QVERIFY(child<QPushButton>(dialog, "btnOpenMirrorFolder")->isVisibleTo(&dialog));

        // "None" takes the second copy away, also from the setting.
        QTemporaryDir otherDestination;
        storeBackupFolder(otherDestination.path());
        Download again(card.content.path(), card.model);
        again.show();
        QTRY_COMPARE_WITH_TIMEOUT(child<QLineEdit>(again, "lineEditMirrorFolder")->text(),
                                  mirror.path(), waitLimit);
        QTest::mouseClick(child<QPushButton>(again, "btnMirrorFolderClear"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(child<QLineEdit>(again, "lineEditMirrorFolder")->text().isEmpty(),
                                 waitLimit);
        click(again, "buttonBoxDownloadFolder", QDialogButtonBox::Ok);
        QTRY_COMPARE_WITH_TIMEOUT(page(again), QString("finishedSuccessfully"), waitLimit);
        QCOMPARE(QSettings("Kendrova", "Lockerly").value("MirrorBackupFolderPath").toString(),
                 QString());
    }

    void removedCardEndsARunningBackupOnTheErrorPage()
    {
        Card card;
        auto idle = std::make_unique<Download>(card.content.path(), card.model);
        idle->show();
        idle->deviceRemoved();
        QVERIFY(!idle->isVisible());

        QTemporaryDir destination;
        storeBackupFolder(destination.path());
        SwitchGate gate(*card.model);
        Download dialog(card.content.path(), card.model);
        startRun(dialog, destination.path());
        QTRY_VERIFY_WITH_TIMEOUT(gate.reached.available() > 0, waitLimit);
        dialog.deviceRemoved();
        gate.mayGoOn.release();
        QTRY_COMPARE_WITH_TIMEOUT(page(dialog), QString("finishedWithErrors"), waitLimit);
        QVERIFY(dialog.isVisible());
        const QString text = child<QPlainTextEdit>(dialog, "plainTextEditErrors")->toPlainText();
        QVERIFY2(text.startsWith("The card was removed during the backup.\n") &&
                     text.endsWith("The backup is incomplete."),
                 qPrintable(text));
        // The notice that comes after the run noticed the pull itself keeps the result shown.
        dialog.deviceRemoved();
        QVERIFY(dialog.isVisible());
    }

private:
    enum Moment { CopyRunning, QuestionOpen, QuestionOnItsWay };

    // What the removal notice does to the open dialogs.
    static void closeAllWindows()
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            window->close();
    }

    QTemporaryDir home;
};

int main(int argc, char* argv[])
{
    // Settings and the picture folder of a home of the test's own.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    QApplication app(argc, argv);
    DownloadDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "download_test.moc"
