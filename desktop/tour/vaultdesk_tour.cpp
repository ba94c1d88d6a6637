// A scripted tour of vaultdesk on a virtual card attached as a disk, driven with clicks and
// key presses as a user would: the main window finds the card, then the dialogs activate the
// security, log in, show the sessions, back them up and wipe the card. Every step is checked
// and pictured; the tour stops with exit status 1 at the first step that does not behave as
// narrated.
//
//   vaultdesk_tour PARTITION CARD_IMAGE PICTURE_DIR BACKUP_DIR
//
// A camera's recordings are put into the card's session folders next to CARD_IMAGE, and
// vaultcli (found in PATH) logs the card out between the steps.

#include "SessionViewer.h"
#include "activatememory.h"
#include "download.h"
#include "login.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "metatypes.h"
#include "wipedevice.h"

#include "devicemodel.h"
#include "downloadmodel.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

const QString pin = QStringLiteral("1234");

[[noreturn]] void fail(const QString& why)
{
    std::fprintf(stderr, "\nDESKTOP TOUR FAILED: %s\n", qPrintable(why));
    std::exit(1);
}

void say(const QString& text)
{
    std::printf("\n# %s\n", qPrintable(text));
    std::fflush(stdout);
}

void check(bool condition, const QString& what)
{
    if (!condition)
        fail(what);
    std::printf("  ok: %s\n", qPrintable(what));
}

void waitFor(const std::function<bool()>& condition, const QString& what)
{
    QDeadlineTimer deadline(60000);
    while (!condition()) {
        if (deadline.hasExpired())
            fail("gave up waiting: " + what);
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// Where vaultsim keeps what the camera recorded, and which session records now (the state
// file says "current-session = ID DATE ZONE ...").
class CardFiles
{
public:
    explicit CardFiles(QString image) : image(std::move(image)) {}

    QString sessionsFolder() const { return image + ".sessions"; }
    QString currentSession() const
    {
        QFile state(image + ".state");
        if (!state.open(QIODevice::ReadOnly))
            fail("cannot read " + state.fileName());
        for (const QByteArray& line : state.readAll().split('\n'))
            if (line.startsWith("current-session"))
                return QString::fromLatin1(line).section('=', 1).trimmed().section(' ', 0, 0);
        fail("no current session in " + state.fileName());
    }

private:
    QString image;
};

class Tour
{
public:
    Tour(const QString& partition, const QString& image, QString pictures, QString backup)
        : card(std::make_shared<DeviceModelImpl>(partition.toStdString())), files(image),
          partition(partition), pictures(std::move(pictures)), backup(std::move(backup))
    {
        QDir().mkpath(this->pictures);
    }

    void run()
    {
        findCard();
        activate();
        record();
        logIn();
        viewSessions();
        backUp();
        wipe();
    }

private:
    template <typename T> T* child(QWidget* window, const char* name)
    {
        T* widget = window->findChild<T*>(name);
        if (!widget)
            fail(QString("no widget %1 in %2").arg(name, window->objectName()));
        return widget;
    }
    void click(QWidget* window, const char* buttonBox,
               QDialogButtonBox::StandardButton which = QDialogButtonBox::Ok)
    {
        QTest::mouseClick(child<QDialogButtonBox>(window, buttonBox)->button(which),
                          Qt::LeftButton);
    }
    void type(QWidget* window, const char* lineEdit, const QString& text)
    {
        QTest::keyClicks(child<QLineEdit>(window, lineEdit), text);
    }
    QString page(QWidget* window, const char* stack = "stackedWidget")
    {
        return child<QStackedWidget>(window, stack)->currentWidget()->objectName();
    }
    void picture(QWidget* window, const QString& name)
    {
        const QString path =
            QString("%1/%2-%3.png").arg(pictures).arg(++pictureCount, 2, 10, QChar('0')).arg(name);
        if (!window->grab().save(path))
            fail("cannot save " + path);
        std::printf("  picture: %s\n", qPrintable(path));
    }
    void vaultcli(const QStringList& arguments)
    {
        QProcess process;
        process.start("vaultcli", QStringList{partition} + arguments);
        if (!process.waitForFinished(120000) || process.exitCode() != 0)
            fail("vaultcli " + arguments.join(' ') + " failed: " + process.readAllStandardError());
    }

    void findCard()
    {
        say("vaultdesk finds the card " + partition + " and shows it.");
        window.show();
        auto* pages = child<QStackedWidget>(&window, "stackedWidget");
        // Other cards may be attached too: the tour's card is the button naming its partition.
        QToolButton* cardButton = nullptr;
        waitFor(
            [&] {
                for (QToolButton* button : window.findChildren<QToolButton*>())
                    if (button->isVisible() && button->text().contains(partition))
                        cardButton = button;
                return cardButton != nullptr;
            },
            "the card in the card list");
        picture(&window, "main-card-list");
        check(true, "the window lists the card");
        QTest::mouseClick(cardButton, Qt::LeftButton);
        waitFor([&] { return pages->currentWidget()->objectName() == "SelectedDevice"; },
                "the selected card");
        picture(&window, "main-card-selected");
        check(child<QStackedWidget>(&window, "actionButtonRow")->currentWidget()->objectName() ==
                  "inactiveSecurity",
              "the card's security is inactive: the window offers to activate it");
    }

    void activate()
    {
        say("Activate the security of the fresh card with the PIN " + pin + ".");
        check(!card->isActivated(), "the card starts with its security inactive");
        ActivateMemory dialog(card);
        dialog.show();
        picture(&dialog, "activate-confirm");
        click(&dialog, "buttonBox");
        type(&dialog, "lineEditPin", pin);
        type(&dialog, "lineEditReEnterPin", pin);
        picture(&dialog, "activate-pin");
        click(&dialog, "buttonBoxActivate");
        waitFor([&] { return page(&dialog) == "activateSuccess"; }, "the activation");
        picture(&dialog, "activate-success");
        check(card->isActivated(), "the card's security is active");
        // The dialog ends when the card is unplugged; the tour keeps the card and moves on.
        dialog.done(QDialog::Accepted);
        waitFor(
            [&] {
                return child<QStackedWidget>(&window, "actionButtonRow")
                           ->currentWidget()
                           ->objectName() == "activeSecurity";
            },
            "the window to show the active security");
        picture(&window, "main-card-active");
    }

    void record()
    {
        say("A camera records two sessions; then the card is locked (vaultcli logout).");
        for (const int size : {3000000, 150000}) {
            const QString folder = files.sessionsFolder() + '/' + files.currentSession();
            QDir().mkpath(folder + "/DCIM");
            QFile clip(folder + "/DCIM/CLIP0001.MP4");
            if (!clip.open(QIODevice::WriteOnly) || clip.write(QByteArray(size, 'v')) != size)
                fail("cannot record into " + folder);
            clip.close();
            card->startNewSession();
        }
        vaultcli({"logout"});
        check(!card->isLoggedIn(), "the card is locked");
    }

    void logIn()
    {
        say("Log in with the PIN.");
        Login dialog(card);
        dialog.show();
        waitFor([&] { return child<QLineEdit>(&dialog, "lineEditPin")->isEnabled(); },
                "the login form");
        type(&dialog, "lineEditPin", pin);
        picture(&dialog, "login");
        click(&dialog, "loginButtonBox");
        waitFor([&] { return page(&dialog) == "LoginSuccess"; }, "the login");
        picture(&dialog, "login-success");
        click(&dialog, "successButtonBox");
        check(card->isLoggedIn(), "the card is unlocked");
    }

    void viewSessions()
    {
        say("View the recorded sessions.");
        SessionViewer dialog(card);
        dialog.show();
        auto* table = child<QTableWidget>(&dialog, "sessionsTable");
        waitFor([&] { return table->rowCount() > 0; }, "the session list");
        picture(&dialog, "sessions");
        check(table->rowCount() == 2, "the viewer lists the two recorded sessions");
        dialog.reject();
    }

    void backUp()
    {
        say("Back up every session into " + backup + ".");
        QDir(backup).removeRecursively();
        QDir().mkpath(backup);
        Download dialog(card->getDeviceMountpoint(), card);
        dialog.show();
        FileDialog::queueAnswer(backup);
        QTest::mouseClick(child<QPushButton>(&dialog, "btnFolderPicker"), Qt::LeftButton);
        waitFor(
            [&] { return child<QLineEdit>(&dialog, "lineEditDownloadFolder")->text() == backup; },
            "the picked folder");
        picture(&dialog, "backup-folder");
        click(&dialog, "buttonBoxDownloadFolder");
        picture(&dialog, "backup-progress");
        waitFor([&] { return page(&dialog) != "downloadInProgress"; }, "the backup");
        picture(&dialog, "backup-" + page(&dialog));
        check(page(&dialog) == "finishedSuccessfully", "the backup completed");
        const QString exportFolder = backup + "/tresora_archive_export_" +
                                     QString::fromStdString(card->deviceInfo().serialNumber);
        for (const Session& session : card->getSessions()) {
            const QString copy = exportFolder + '/' + DownloadModel::sessionFolderName(session) +
                                 "/DCIM/CLIP0001.MP4";
            const QString original =
                files.sessionsFolder() + '/' + QString::number(session.id) + "/DCIM/CLIP0001.MP4";
            check(sameContent(copy, original),
                  "session " + QString::number(session.id) + " is in the backup, byte for byte");
        }
        click(&dialog, "btnBoxSuccess");
    }

    void wipe()
    {
        say("Wipe the card with the PIN: the sessions are gone, the security stays active.");
        WipeDevice dialog(card);
        dialog.show();
        type(&dialog, "lineEditPassword", pin);
        picture(&dialog, "wipe");
        MessageBox::queueAnswer(QMessageBox::Ok);
        click(&dialog, "loginButtonBox");
        waitFor([&] { return dialog.result() == QDialog::Accepted; }, "the wipe");
        check(card->getSessions().empty(), "the card holds no sessions");
        check(card->isActivated(), "the card's security is still active");
    }

    static bool sameContent(const QString& a, const QString& b)
    {
        QFile first(a);
        QFile second(b);
        return first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly) &&
               first.size() == second.size() && first.readAll() == second.readAll();
    }

    std::shared_ptr<DeviceModelImpl> card;
    CardFiles files;
    QString partition;
    MainWindow window;
    QString pictures;
    QString backup;
    int pictureCount = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: vaultdesk_tour PARTITION CARD_IMAGE PICTURE_DIR BACKUP_DIR\n");
        return 2;
    }
    registerVaultdeskMetaTypes();
    Tour(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
         QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]))
        .run();
    say("The desktop tour completed: every step behaved as described.");
    return 0;
}
