// vaultdesk on a virtual card attached as a real disk, under an X server: the main window
// finds the card and every card operation runs through its dialog, driven by clicks and key
// presses on the real widgets. Each dialog page is saved as a screenshot.

#include "VirtualCard.h"
#include "mainwindow.h"
#include "metatypes.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr int stepTimeoutMs = 60000;

QString hex(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toHex());
}

template <typename T = QWidget> T* child(QWidget* parent, const QString& name)
{
    return parent ? parent->findChild<T*>(name) : nullptr;
}

QString currentPage(QWidget* parent, const QString& stack = "stackedWidget")
{
    auto* pages = child<QStackedWidget>(parent, stack);
    return pages ? pages->currentWidget()->objectName() : QString();
}

QPushButton* boxButton(QWidget* dialog, const QString& box,
                       QDialogButtonBox::StandardButton which = QDialogButtonBox::Ok)
{
    return child<QDialogButtonBox>(dialog, box)->button(which);
}

void click(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

void typeInto(QWidget* dialog, const QString& field, const QString& text)
{
    auto* edit = child<QLineEdit>(dialog, field);
    edit->clear();
    QTest::keyClicks(edit, text);
}

template <typename T> T* modal()
{
    QWidget* widget = QApplication::activeModalWidget();
    return widget && widget->isVisible() ? qobject_cast<T*>(widget) : nullptr;
}

// Stand-in for the desktop's file manager.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    UrlRecorder() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

// What a user does while a dialog runs: each step waits until its moment has come, then acts.
// The steps run inside the dialogs' own event loops, started by one click that opens them.
class UserScript
{
public:
    UserScript& then(const QString& what, std::function<bool()> ready, std::function<void()> act)
    {
        steps.push_back({what, std::move(ready), std::move(act)});
        return *this;
    }

    // Clicks, runs every step, and returns what went wrong (empty when nothing did).
    QString run(const std::function<void()>& trigger)
    {
        QTimer poll;
        QElapsedTimer sinceLastStep;
        sinceLastStep.start();
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (next == steps.size())
                return poll.stop();
            Step& step = steps[next];
            if (step.ready()) {
                ++next;
                sinceLastStep.restart();
                step.act();
            } else if (sinceLastStep.elapsed() > stepTimeoutMs) {
                failure = "never got to: " + step.what;
                next = steps.size();
                // Leave every open dialog so that the click below returns.
                while (auto* dialog = modal<QDialog>())
                    dialog->done(QDialog::Rejected);
            }
        });
        poll.start(50);
        trigger();
        const bool finished = QTest::qWaitFor([&] { return next == steps.size(); }, stepTimeoutMs);
        if (failure.isEmpty() && !finished)
            failure = "never got to: " + steps[next].what;
        return failure;
    }

private:
    struct Step
    {
        QString what;
        std::function<bool()> ready;
        std::function<void()> act;
    };
    std::vector<Step> steps;
    size_t next = 0;
    QString failure;
};

} // namespace

class DesktopDiskTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (const std::string reason = vixtest::diskModeUnavailable(); !reason.empty())
            QSKIP(reason.c_str());
        if (qgetenv("DISPLAY").isEmpty())
            QSKIP("needs an X server (the test is registered under xvfb-run)");
        registerVaultdeskMetaTypes();
        QDir().mkpath(VIX_SCREENSHOT_DIR);
    }

    void cleanup()
    {
        window.reset();
        card.reset();
    }

    void activationWithoutAdminUser() { activate(false); }
    void activationWithAdminUser() { activate(true); }

    void loginAndViewFiles()
    {
        plugIn({"1234", "", true});
        UrlRecorder urls;
        QTableWidget* table = nullptr;
        const QString failure =
            UserScript()
                .then(
                    "login page",
                    [] {
                        return modal<QDialog>() && currentPage(modal<QDialog>()) == "LoginWidget";
                    },
                    [] {
                        shoot(modal<QDialog>(), "login");
                        typeInto(modal<QDialog>(), "lineEditPin", "9999");
                        click(boxButton(modal<QDialog>(), "loginButtonBox"));
                    })
                .then(
                    "wrong PIN text",
                    [] { return !child<QLabel>(modal<QDialog>(), "lblError")->text().isEmpty(); },
                    [this] {
                        wrongPinText = child<QLabel>(modal<QDialog>(), "lblError")->text();
                        shoot(modal<QDialog>(), "login-wrong-pin");
                        typeInto(modal<QDialog>(), "lineEditPin", "1234");
                        click(boxButton(modal<QDialog>(), "loginButtonBox"));
                    })
                .then(
                    "login success page",
                    [] { return currentPage(modal<QDialog>()) == "LoginSuccess"; },
                    [] {
                        shoot(modal<QDialog>(), "login-success");
                        click(boxButton(modal<QDialog>(), "successButtonBox"));
                    })
                .then(
                    "session list",
                    [&table] {
                        QDialog* viewer = modal<QDialog>();
                        table = child<QTableWidget>(viewer, "sessionsTable");
                        return table && currentPage(viewer) == "content" && table->rowCount() > 0;
                    },
                    [this, &table] {
                        shoot(modal<QDialog>(), "sessions");
                        firstSessionId = table->item(0, 0)->text();
                        const QPoint cell = table->visualItemRect(table->item(0, 1)).center();
                        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell);
                        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell);
                    })
                .then(
                    "mount point opened", [&urls] { return !urls.opened.isEmpty(); },
                    [] {
                        click(boxButton(modal<QDialog>(), "buttonBox", QDialogButtonBox::Cancel));
                    })
                .run([this] { click(button("btnViewFiles")); });
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(wrongPinText, QStringLiteral("Wrong PIN, remaining retries: 2"));
        QCOMPARE(urls.opened,
                 QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(card->mountPoint()))});
        QCOMPARE(state("state"), QStringLiteral("unlocked"));
        QCOMPARE(state("shown-session"), firstSessionId);
    }

private:
    static void shoot(QWidget* widget, const QString& name)
    {
        QVERIFY(widget);
        QVERIFY(widget->grab().save(QStringLiteral(VIX_SCREENSHOT_DIR "/%1.png").arg(name)));
    }

    QString state(const char* key) const { return QString::fromStdString(card->stateValue(key)); }

    QPushButton* button(const QString& name) const
    {
        return child<QPushButton>(window.get(), name);
    }

    struct CardSetup
    {
        QString pin;
        QString adminPin;
        bool locked = false;
    };

    // Attaches a card, opens the window and selects the card as a user would.
    void plugIn(const CardSetup& setup)
    {
        vixtest::VirtualCardOptions options;
        options.disk = true;
        options.exampleSessions = true;
        options.controllerId = "00112233445566778899aabbccddeeff";
        options.pin = setup.pin.toStdString();
        options.adminPin = setup.adminPin.toStdString();
        options.locked = setup.locked;
        card = std::make_unique<vixtest::VirtualCard>(options);
        qputenv("VIX_MOUNT_STATE_DIR", QByteArray::fromStdString(card->folder() + "/mount-notes"));
        window = std::make_unique<MainWindow>();
        window->show();
        const QString path = QString::fromStdString(card->devicePath());
        QToolButton* cardButton = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((cardButton = findCardButton(path)) != nullptr, 30000);
        click(cardButton);
        QTRY_COMPARE(currentPage(window.get()), QStringLiteral("SelectedDevice"));
    }

    QToolButton* findCardButton(const QString& path) const
    {
        for (QToolButton* b : window->findChildren<QToolButton*>())
            if (b->isVisible() && b->text().contains(path))
                return b;
        return nullptr;
    }

    void activate(bool withAdminUser)
    {
        plugIn({});
        const QString suffix = withAdminUser ? "-admin" : "";
        const QString failure =
            UserScript()
                .then(
                    "confirmation page",
                    [] { return currentPage(modal<QDialog>()) == "activateDialog"; },
                    [suffix] {
                        shoot(modal<QDialog>(), "activate-confirm");
                        click(boxButton(modal<QDialog>(), "buttonBox"));
                    })
                .then(
                    "PIN page", [] { return currentPage(modal<QDialog>()) == "setPinAndAdminPin"; },
                    [withAdminUser, suffix] {
                        QDialog* d = modal<QDialog>();
                        typeInto(d, "lineEditPin", "1234");
                        typeInto(d, "lineEditReEnterPin", "1234");
                        if (withAdminUser) {
                            QTest::mouseClick(
                                child(d, "userAdminSeparationCheckBox"), Qt::LeftButton, {},
                                QPoint(8, child(d, "userAdminSeparationCheckBox")->height() / 2));
                            typeInto(d, "lineEditAdminPin", "87654321");
                            typeInto(d, "lineEditReEnterAdminPin", "87654321");
                        }
                        shoot(d, "activate-pin" + suffix);
                        click(boxButton(d, "buttonBoxActivate"));
                    })
                .then(
                    "success page",
                    [] { return currentPage(modal<QDialog>()) == "activateSuccess"; },
                    [this, suffix] {
                        shoot(modal<QDialog>(), "activate-success");
                        stateAfter = QString::fromStdString(card->stateText());
                        card->stop(); // the user unplugs the card
                    })
                .run([this] { click(button("btnActivate")); });
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY(!modal<QDialog>());
        QVERIFY2(stateAfter.contains("pin = " + hex("1234")), qPrintable(stateAfter));
        QVERIFY(stateAfter.contains("admin-pin = " + hex(withAdminUser ? "87654321" : "12340000")));
        QVERIFY(stateAfter.contains(withAdminUser ? "security-flags = 0x02"
                                                  : "security-flags = 0x00") ||
                stateAfter.contains(withAdminUser ? "security-flags = 2" : "security-flags = 0"));
    }

    std::unique_ptr<vixtest::VirtualCard> card;
    std::unique_ptr<MainWindow> window;
    QString wrongPinText;
    QString firstSessionId;
    QString stateAfter;
};

QTEST_MAIN(DesktopDiskTest)
#include "tst_desktop_disk.moc"
