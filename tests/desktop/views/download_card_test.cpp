// The download dialog on the virtual card, under a real X server, driven with clicks and key
// presses: a full backup checked file by file, a second backup into the same folder with
// every conflict answer, and a card pulled in the middle of a backup. Every page is saved
// as a picture into the build folder.

#include "ModalDriver.h"
#include "download.h"
#include "messagebox.h"
#include "metatypes.h"

#include "Device.h"
#include "downloadmodel.h"

#include "VirtualCard.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

constexpr int waitLimit = 60000;
const char* const pin = "1234";

vixtest::VirtualCardOptions lockedCardWithSessions()
{
    vixtest::VirtualCardOptions options;
    options.disk = true;
    options.pin = pin;
    options.locked = true;
    options.exampleSessions = true;
    options.extraArgs = {"--session", "2025-06-01T08:30:00=3M,5M,1K"};
    return options;
}

template <typename T> T* child(QWidget* dialog, const char* name)
{
    T* widget = dialog->findChild<T*>(name);
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

QString page(QWidget* dialog)
{
    return child<QStackedWidget>(dialog, "stackedWidget")->currentWidget()->objectName();
}

QPushButton* button(QWidget* dialog, const char* buttonBox, QDialogButtonBox::StandardButton which)
{
    return child<QDialogButtonBox>(dialog, buttonBox)->button(which);
}

void screenshot(QWidget* window, const QString& name)
{
    QDir().mkpath(VIX_SCREENSHOT_DIR);
    QVERIFY(window->grab().save(QString(VIX_SCREENSHOT_DIR "/%1.png").arg(name)));
}

// Answers every conflict box as a user: ticks "Apply this action to all ..." when asked and
// clicks the button with the given text. Pictures of the first box of each kind.
class ConflictClicker : public QObject
{
public:
    ConflictClicker(QString folderAnswer, QString fileAnswer)
        : folderAnswer(std::move(folderAnswer)), fileAnswer(std::move(fileAnswer))
    {
        connect(&poll, &QTimer::timeout, this, [this] { answerOpenBox(); });
        poll.start(10);
    }
    QStringList asked;

private:
    void answerOpenBox()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        const bool isFolder = box->windowTitle() == "Merge Folder";
        if (!asked.contains(box->windowTitle()))
            screenshot(box, isFolder ? "download-folder-conflict" : "download-file-conflict");
        asked << box->windowTitle();
        QTest::mouseClick(box->checkBox(), Qt::LeftButton);
        const QString answer = isFolder ? folderAnswer : fileAnswer;
        for (QAbstractButton* candidate : box->buttons())
            if (candidate->text() == answer) {
                QTest::mouseClick(candidate, Qt::LeftButton);
                return;
            }
        qFatal("no button %s", qPrintable(answer));
    }

    QString folderAnswer;
    QString fileAnswer;
    QTimer poll;
};

bool isBackupProof(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name == DownloadModel::manifestName || name == DownloadModel::recordName;
}

// Every file of every recorded session, relative to the session folder, with its content; a
// backup's checksum list and record are not the card's.
QMap<QString, QByteArray> filesUnder(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.fileName().endsWith("__communicationFile") || isBackupProof(file.fileName()) ||
            !file.open(QIODevice::ReadOnly))
            continue;
        files.insert(QDir(folder).relativeFilePath(file.fileName()), file.readAll());
    }
    return files;
}

} // namespace

class DownloadOnCardTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerVaultdeskMetaTypes();
        if (QGuiApplication::platformName() != "xcb")
            QSKIP("needs an X server (the test runs under xvfb-run)");
        if (const std::string why = vixtest::diskModeUnavailable(); !why.empty())
            QSKIP(why.c_str());
        qputenv("VIX_MOUNT_STATE_DIR", (notes.path() + "/mount-notes").toUtf8());
    }

    void init()
    {
        QSettings("Kendrova", "Lockerly").clear();
        MessageBox::clearShownBoxes();
    }

    void fullBackupHoldsEverySessionOfTheCard()
    {
        vixtest::VirtualCard card(lockedCardWithSessions());
        auto model = std::make_shared<DeviceModelImpl>(card.devicePath());
        QTemporaryDir destination;
        QTemporaryDir mirror;
        QSettings("Kendrova", "Lockerly").setValue("MirrorBackupFolderPath", mirror.path());
        QCOMPARE(backUp(model, destination.path(), "first"), QString("finishedSuccessfully"));
        QCOMPARE(filesUnder(mirror.path()), filesUnder(destination.path()));

        const QString exportFolder = destination.path() + "/tresora_archive_export_" +
                                     QString::fromStdString(model->deviceInfo().serialNumber);
        const std::vector<Session> sessions = model->getSessions();
        QCOMPARE(int(sessions.size()), 5);
        for (const Session& session : sessions) {
            const QString cardFolder =
                QString::fromStdString(card.sessionsDir()) + '/' + QString::number(session.id);
            const QString backup = exportFolder + '/' + DownloadModel::sessionFolderName(session);
            const auto onCard = filesUnder(cardFolder);
            QVERIFY(!onCard.isEmpty());
            const auto copied = filesUnder(backup);
            QCOMPARE(copied.keys(), onCard.keys());
            for (const QString& name : onCard.keys()) {
                const QString file = backup + '/' + name;
                QVERIFY2(copied.value(name) == onCard.value(name), qPrintable(file + " differs"));
                QCOMPARE(QFileInfo(file).lastModified(),
                         QFileInfo(cardFolder + '/' + name).lastModified());
            }
        }
    }

    void secondBackupIntoTheSameFolder_data()
    {
        QTest::addColumn<QString>("folderAnswer");
        QTest::addColumn<QString>("fileAnswer");
        QTest::addColumn<QString>("endPage");
        QTest::addColumn<bool>("cardContentWritten");
        QTest::newRow("merge, overwrite") << "Merge"
                                          << "Overwrite"
                                          << "finishedSuccessfully" << true;
        QTest::newRow("merge, skip") << "Merge"
                                     << "Skip"
                                     << "finishedSuccessfully" << false;
        QTest::newRow("skip folders") << "Skip"
                                      << ""
                                      << "finishedSuccessfully" << false;
        QTest::newRow("cancel") << "Cancel Download"
                                << ""
                                << "canceled" << false;
    }
    void secondBackupIntoTheSameFolder()
    {
        QFETCH(QString, folderAnswer);
        QFETCH(QString, fileAnswer);
        QFETCH(QString, endPage);
        QFETCH(bool, cardContentWritten);
        vixtest::VirtualCard card(lockedCardWithSessions());
        auto model = std::make_shared<DeviceModelImpl>(card.devicePath());
        QTemporaryDir destination;
        QCOMPARE(backUp(model, destination.path(), QString()), QString("finishedSuccessfully"));
        // What the user changed in the backup since.
        QStringList backedUp;
        QDirIterator it(destination.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            if (const QString path = it.next(); !isBackupProof(path))
                backedUp << path;
        for (const QString& path : backedUp) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("edited");
        }

        ConflictClicker clicker(folderAnswer, fileAnswer);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(", ", "-");
        QCOMPARE(backUp(model, destination.path(), "second-" + tag), endPage);
        QCOMPARE(clicker.asked.count("Merge Folder"), 1);
        QCOMPARE(clicker.asked.count("File Conflict"), fileAnswer.isEmpty() ? 0 : 1);
        for (const QString& path : backedUp)
            QCOMPARE(QFileInfo(path).size() != 6, cardContentWritten);
    }

    // The card is pulled while the run waits on a folder question (a point the test can hold
    // the worker at); then the user answers Merge, or the removal notice closes the dialog.
    void pullingTheCardDuringABackup_data()
    {
        QTest::addColumn<bool>("removalNoticeCloses");
        QTest::newRow("run reports it") << false;
        QTest::newRow("removal notice closes the dialog") << true;
    }
    void pullingTheCardDuringABackup()
    {
        QFETCH(bool, removalNoticeCloses);
        vixtest::VirtualCard card(lockedCardWithSessions());
        auto model = std::make_shared<DeviceModelImpl>(card.devicePath());
        model->login(pin);
        QTemporaryDir destination;
        QSettings("Kendrova", "Lockerly").setValue("BackupFolderPath", destination.path());
        const QString exportFolder = destination.path() + "/tresora_archive_export_" +
                                     QString::fromStdString(model->deviceInfo().serialNumber);
        const std::vector<Session> sessions = model->getSessions();
        QDir().mkpath(exportFolder + '/' + DownloadModel::sessionFolderName(sessions.back()));

        auto* dialog = new Download(model->getDeviceMountpoint(), model);
        dialog->show();
        QTRY_COMPARE_WITH_TIMEOUT(child<QLineEdit>(dialog, "lineEditDownloadFolder")->text(),
                                  destination.path(), waitLimit);
        QTimer pull;
        connect(&pull, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            pull.stop();
            screenshot(dialog, "download-progress-metrics");
            card.stop();
            if (removalNoticeCloses) {
                // As the main window does.
                for (QWidget* window : QApplication::topLevelWidgets())
                    if (auto* download = qobject_cast<Download*>(window))
                        download->deviceRemoved();
                    else
                        window->close();
                return;
            }
            QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
        });
        pull.start(10);
        QTest::mouseClick(button(dialog, "buttonBoxDownloadFolder", QDialogButtonBox::Ok),
                          Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!pull.isActive(), waitLimit);
        // Either way the dialog stays and shows the result: which step notices the missing card
        // depends on the file system, but the error page says it is the card's.
        QTRY_COMPARE_WITH_TIMEOUT(page(dialog), QString("finishedWithErrors"), waitLimit);
        QVERIFY(dialog->isVisible());
        const QString error = child<QPlainTextEdit>(dialog, "plainTextEditErrors")->toPlainText();
        QVERIFY2(error.startsWith("The card ") && error.endsWith("The backup is incomplete."),
                 qPrintable(error));
        screenshot(dialog, removalNoticeCloses ? "download-card-removed" : "download-card-pulled");
        delete dialog;
        // What reached the backup before the pull is whole.
        for (const Session& session : std::vector<Session>(sessions.begin(), sessions.end() - 1))
            QCOMPARE(filesUnder(exportFolder + '/' + DownloadModel::sessionFolderName(session)),
                     filesUnder(QString::fromStdString(card.sessionsDir()) + '/' +
                                QString::number(session.id)));
    }

private:
    QTemporaryDir notes;

    // Backs up the card through the dialog into destination, picked with the folder picker,
    // and returns the page the run ends on. Pictures named "download-<prefix>-<page>".
    static QString backUp(std::shared_ptr<DeviceModel> model, const QString& destination,
                          const QString& picturePrefix)
    {
        Download dialog(model->getDeviceMountpoint(), model);
        QString endPage;
        auto picture = [&](QWidget* window, const QString& name) {
            if (!picturePrefix.isEmpty())
                screenshot(window, "download-" + picturePrefix + '-' + name);
        };
        auto download = [&](QWidget*) {
            FileDialog::queueAnswer(destination);
            QTest::mouseClick(child<QPushButton>(&dialog, "btnFolderPicker"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(child<QLineEdit>(&dialog, "lineEditDownloadFolder")->text(),
                                      destination, waitLimit);
            picture(&dialog, "pickFolder");
            QTest::mouseClick(button(&dialog, "buttonBoxDownloadFolder", QDialogButtonBox::Ok),
                              Qt::LeftButton);
            picture(&dialog, "downloadInProgress");
            QTRY_VERIFY_WITH_TIMEOUT(page(&dialog) != "downloadInProgress", waitLimit);
            endPage = page(&dialog);
            picture(&dialog, endPage);
            const QMap<QString, const char*> okBoxes{{"finishedSuccessfully", "btnBoxSuccess"},
                                                     {"canceled", "btnBoxCanceled"},
                                                     {"finishedWithErrors", "btnBoxError"}};
            QTest::mouseClick(button(&dialog, okBoxes.value(endPage), QDialogButtonBox::Ok),
                              Qt::LeftButton);
        };
        ModalDriver user;
        user.whenShown([&](QWidget* window) {
            if (window == &dialog)
                return download(window);
            picture(window, "login");
            QTest::keyClicks(child<QLineEdit>(window, "lineEditPin"), pin);
            QTest::mouseClick(button(window, "loginButtonBox", QDialogButtonBox::Ok),
                              Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(
                button(window, "successButtonBox", QDialogButtonBox::Ok)->isVisible(), waitLimit);
            picture(window, "login-success");
            QTest::mouseClick(button(window, "successButtonBox", QDialogButtonBox::Ok),
                              Qt::LeftButton);
            user.whenShown(download, window);
        });
        dialog.exec();
        return endPage;
    }
};

int main(int argc, char* argv[])
{
    // Settings of a home of the test's own, never the user's.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    QApplication app(argc, argv);
    DownloadOnCardTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "download_card_test.moc"
