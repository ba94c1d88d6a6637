// vaultdesk on a virtual card attached as a real disk, under an X server: the main window
// finds the card and every card operation runs through its dialog, driven by clicks and key
// presses on the real widgets. Each dialog page is saved as a screenshot.

#include "UrlRecorder.h"
#include "VirtualCard.h"
#include "mainwindow.h"
#include "metatypes.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
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

// Step: the information box comes up; its text is kept, then OK.
void addBoxStep(UserScript& script, const QString& screenshot, QString* text);

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

    void pinChange()
    {
        plugIn({"1234", "", false});
        runPinForm("actionChangePin", "changepin", {"1234", "5678", "5678"});
        QCOMPARE(boxText, QStringLiteral("PIN changed successfully!"));
        // Without an Admin user the Admin PIN follows the PIN.
        QCOMPARE(state("pin"), hex("5678"));
        QCOMPARE(state("admin-pin"), hex("56780000"));
    }

    void adminPinChange()
    {
        plugIn({"1234", "87654321", false});
        runPinForm("actionChangeAdminPin", "changeadminpin", {"87654321", "11112222", "11112222"});
        QCOMPARE(boxText, QStringLiteral("Admin PIN changed successfully!"));
        QCOMPARE(state("admin-pin"), hex("11112222"));
        QCOMPARE(state("pin"), hex("1234"));
    }

    void unblockAfterThePinIsBlocked()
    {
        plugIn({"1234", "87654321", true});
        // Each wrong PIN brings a new text; the third one blocks the PIN.
        QStringList errors;
        const auto newError = [&errors] {
            QDialog* login = modal<QDialog>();
            const QString text =
                login && login->isEnabled() ? child<QLabel>(login, "lblError")->text() : QString();
            return !text.isEmpty() && text != errors.value(errors.size() - 1);
        };
        // A different wrong PIN each time: the dialog does not send one just refused again.
        const auto tryWrongPin = [&errors] {
            QDialog* login = modal<QDialog>();
            const QString text = child<QLabel>(login, "lblError")->text();
            if (!text.isEmpty())
                errors << text;
            typeInto(login, "lineEditPin", QStringLiteral("000%1").arg(errors.size()));
            click(boxButton(login, "loginButtonBox"));
        };
        UserScript blockIt;
        blockIt.then(
            "login form", [] { return modal<QDialog>() && modal<QDialog>()->isEnabled(); },
            tryWrongPin);
        blockIt.then("second try", newError, tryWrongPin);
        blockIt.then("third try", newError, tryWrongPin);
        blockIt.then("blocked text", newError, [&errors] {
            errors << child<QLabel>(modal<QDialog>(), "lblError")->text();
            shoot(modal<QDialog>(), "login-blocked");
            click(boxButton(modal<QDialog>(), "loginButtonBox", QDialogButtonBox::Cancel));
        });
        const QString failure = blockIt.run([this] { click(button("btnViewFiles")); });
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(errors,
                 (QStringList{"Wrong PIN, remaining retries: 2", "Wrong PIN, remaining retries: 1",
                              "PIN was entered incorrectly too many times. Retry counter "
                              "exceeded!"}));
        QCOMPARE(state("pin-tries"), QStringLiteral("0"));

        runPinForm("actionUnblockPin", "unblockpin", {"87654321", "4321", "4321"});
        QCOMPARE(boxText, QStringLiteral("PIN unblocked successfully!"));
        QCOMPARE(state("pin"), hex("4321"));
        QCOMPARE(state("pin-tries"), state("retry-limit"));
    }

    void deviceInformation()
    {
        plugIn({"1234", "87654321", true});
        QString table;
        const QString failure =
            UserScript()
                .then(
                    "device table",
                    [] {
                        return !child<QLabel>(modal<QDialog>(), "lblDeviceInfo")->text().isEmpty();
                    },
                    [&table] {
                        table = child<QLabel>(modal<QDialog>(), "lblDeviceInfo")->text();
                        shoot(modal<QDialog>(), "device-information");
                        click(boxButton(modal<QDialog>(), "buttonBox", QDialogButtonBox::Close));
                    })
                .run([this] { chooseMenu("menuHelp", "actionDevice_Information"); });
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        for (const QString row :
             {"Serial Number:</td><td>00112233445566778899aabbccddeeff",
              "Firmware Version:</td><td>1.2.3", "System State:</td><td>2",
              "PIN Retry Counter:</td><td>3", "Admin PIN Retry Counter:</td><td>3",
              "Security Flags:</td><td>2"})
            QVERIFY2(table.contains(row), qPrintable(row));
    }

    void wipe()
    {
        plugIn({"1234", "", false});
        QVERIFY(card->stateText().find("\nsession ") != std::string::npos);
        UserScript script;
        script.then(
            "wipe form", [] { return child(modal<QDialog>(), "lineEditPassword"); },
            [] {
                QDialog* d = modal<QDialog>();
                typeInto(d, "lineEditPassword", "1234");
                shoot(d, "wipe");
                click(boxButton(d, "loginButtonBox"));
            });
        addBoxStep(script, "wipe-success", &boxText);
        const QString failure = script.run([this] { click(button("btnWipeDevice")); });
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(boxText, QStringLiteral("Successfully wiped Tresora Archive Card."));
        QVERIFY(card->stateText().find("\nsession ") == std::string::npos);
        QCOMPARE(state("pin"), hex("1234"));
    }

    void factoryReset()
    {
        plugIn({"1234", "87654321", false});
        UserScript script;
        script.then(
            "factory reset form", [] { return child(modal<QDialog>(), "lineEditPassword"); },
            [] {
                QDialog* d = modal<QDialog>();
                typeInto(d, "lineEditPassword", "87654321");
                shoot(d, "factory-reset-admin");
                click(boxButton(d, "buttonBox"));
            });
        addBoxStep(script, "factory-reset-success", &boxText);
        const QString failure =
            script.run([this] { chooseMenu("menuConfigure", "actionFactoryReset"); });
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(boxText, QStringLiteral("Successfully reset Tresora Archive Card."));
        QCOMPARE(state("state"), QStringLiteral("transparent"));
        // The window looks at the card afresh and offers activation again.
        QTRY_VERIFY_WITH_TIMEOUT(button("btnActivate")->isVisible(), 30000);
    }

private:
    // Opens a menu of the menu bar and picks one of its actions with the mouse.
    void chooseMenu(const QString& menuName, const QString& actionName)
    {
        QMenuBar* bar = window->menuBar();
        auto* menu = child<QMenu>(window.get(), menuName);
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(menu->menuAction()).center());
        QTRY_VERIFY(menu->isVisible());
        auto* action = window->findChild<QAction*>(actionName);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    }

    // A three-field PIN form from the Configure menu, its information box, and its screenshots.
    void runPinForm(const QString& actionName, const QString& screenshot, const QStringList& pins)
    {
        UserScript script;
        script.then(
            screenshot + " form", [] { return child(modal<QDialog>(), "lineEditOldPin"); },
            [screenshot, pins] {
                QDialog* d = modal<QDialog>();
                shoot(d, screenshot);
                typeInto(d, "lineEditOldPin", pins[0]);
                typeInto(d, "lineEditNewPin", pins[1]);
                typeInto(d, "lineEditReEnterNewPin", pins[2]);
                click(boxButton(d, "buttonBox"));
            });
        addBoxStep(script, screenshot + "-success", &boxText);
        const QString failure = script.run([&] { chooseMenu("menuConfigure", actionName); });
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

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
    QString boxText;
    QString firstSessionId;
    QString stateAfter;
};

namespace {
void addBoxStep(UserScript& script, const QString& screenshot, QString* text)
{
    script.then(
        screenshot, [] { return modal<QMessageBox>(); },
        [screenshot, text] {
            QMessageBox* box = modal<QMessageBox>();
            *text = box->text();
            QVERIFY(box->grab().save(QStringLiteral(VIX_SCREENSHOT_DIR "/%1.png").arg(screenshot)));
            click(box->button(QMessageBox::Ok));
        });
}
} // namespace

QTEST_MAIN(DesktopDiskTest)
#include "desktop_disk_test.moc"
