// The card operation dialogs on a scripted card model, offscreen: texts, success, card errors,
// Cancel, and the flows of activation, login, device information and the session viewer.

#include "DeviceInfoDialog.h"
#include "FactoryResetDialog.h"
#include "SessionViewer.h"
#include "UrlRecorder.h"
#include "ViewModelTestSupport.h"
#include "activatememory.h"
#include "changeadminpin.h"
#include "changepin.h"
#include "login.h"
#include "messagebox.h"
#include "metatypes.h"
#include "unblockpin.h"
#include "wipedevice.h"

#include "CardManagement.h"

#include <QCheckBox>
#include <QRegularExpression>
#include <QSemaphore>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

using Model = std::shared_ptr<ScriptedDeviceModel>;

// One PIN form: how to build it, which fields the user fills, and what the card sees.
struct FormCase
{
    std::function<QDialog*(Model)> make;
    QString okBox;
    QStringList fields;
    QStringList values;
    QString errorLabel;
    QString cardCall;      // the operation the form sends, as the scripted model records it
    QStringList sentCalls; // card calls of a success
    bool adminRetries;     // how the real model words a wrong secret for this call
    bool adminWording;
    QString successTitle; // information box of a success; empty: the dialog turns the page
    QString successText;
};

const QStringList threePins{"lineEditOldPin", "lineEditNewPin", "lineEditReEnterNewPin"};

const QMap<QString, FormCase>& formCases()
{
    static const QMap<QString, FormCase> cases{
        {"login",
         {[](Model m) { return new Login(m); },
          "loginButtonBox",
          {"lineEditPin"},
          {"1234"},
          "lblError",
          "login",
          {"login 1234"},
          false,
          false,
          {},
          {}}},
        {"changePin",
         {[](Model m) { return new ChangePin(m); },
          "buttonBox",
          threePins,
          {"1234", "5678", "5678"},
          "lblError",
          "changePin",
          {"changePin 1234 5678"},
          false,
          false,
          "PIN change status",
          "PIN changed successfully!"}},
        {"changeAdminPin",
         {[](Model m) { return new ChangeAdminPin(m); },
          "buttonBox",
          threePins,
          {"87654321", "11112222", "11112222"},
          "lblError",
          "changeAdminPin",
          {"changeAdminPin 87654321 11112222"},
          true,
          true,
          "Admin PIN change status",
          "Admin PIN changed successfully!"}},
        {"unblockPin",
         {[](Model m) { return new UnblockPin(m); },
          "buttonBox",
          threePins,
          {"87654321", "5678", "5678"},
          "lblError",
          "unblockPin",
          {"unblockPin 87654321 5678"},
          true,
          true,
          "Unblock PIN status",
          "PIN unblocked successfully!"}},
        {"factoryReset",
         {[](Model m) { return new FactoryResetDialog(m); },
          "buttonBox",
          {"lineEditPassword"},
          {"1234"},
          "lblError",
          "factoryReset",
          {"factoryReset 12340000", "setReadWrite"},
          true,
          false,
          "Factory Reset Success",
          "Successfully reset Tresora Archive Card."}},
        {"wipe",
         {[](Model m) { return new WipeDevice(m); },
          "loginButtonBox",
          {"lineEditPassword"},
          {"1234"},
          "lblLoginError",
          "reset",
          {"reset 1234"},
          false,
          false,
          "Wipe Device Success",
          "Successfully wiped Tresora Archive Card."}},
    };
    return cases;
}

template <typename T = QWidget> T* child(QWidget* dialog, const QString& name)
{
    T* found = dialog->findChild<T*>(name);
    if (!found)
        qFatal("no child %s", qPrintable(name));
    return found;
}

QPushButton* button(QWidget* dialog, const QString& box, QDialogButtonBox::StandardButton which)
{
    return child<QDialogButtonBox>(dialog, box)->button(which);
}

void click(QPushButton* pushButton)
{
    QVERIFY(pushButton->isEnabled());
    QTest::mouseClick(pushButton, Qt::LeftButton);
}

void type(QWidget* dialog, const QStringList& fields, const QStringList& values)
{
    for (int i = 0; i < fields.size(); ++i)
        QTest::keyClicks(child(dialog, fields[i]), values[i]);
}

// Every text of a dialog as a user reads it: window title, labels, buttons, table headers.
QStringList visibleTexts(QWidget* dialog)
{
    QStringList texts{dialog->windowTitle()};
    for (const QLabel* label : dialog->findChildren<QLabel*>())
        texts << label->text();
    for (const QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
        texts << b->text();
    return texts;
}

// Waits until the dialog has left its worker's busy state, as a user waits for the spinner.
void waitUntilIdle(QWidget* dialog)
{
    QTRY_VERIFY(dialog->isEnabled());
}

MessageBoxRequest lastBox()
{
    const QList<MessageBoxRequest> boxes = MessageBox::shownBoxes();
    return boxes.isEmpty() ? MessageBoxRequest{} : boxes.last();
}

} // namespace

class OperationDialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerVaultdeskMetaTypes(); }

    void init()
    {
        MessageBox::clearShownBoxes();
        model = std::make_shared<ScriptedDeviceModel>();
    }

    void textsAfterConstruction_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("login")
            << "login"
            << QStringList{"Login", "Enter your PIN to unlock the Tresora Archive Card", "PIN",
                           "Login Successful",
                           "The Tresora Archive Card is now available in read-only mode."};
        QTest::newRow("activate")
            << "activate"
            << QStringList{"Security Activation",
                           "activate the security (encryption) of the connected Kendrova Tresora "
                           "Archive Card /dev/sdz1?",
                           "Configure your PIN for the Tresora Archive Card",
                           "Continue",
                           "Activate",
                           "Add Admin User",
                           "Re-Enter Admin PIN",
                           "Please unplug the Kendrova Tresora Archive Card now."};
        QTest::newRow("changePin")
            << "changePin"
            << QStringList{"Change PIN", "Change PIN for Tresora Archive Card [/dev/sdz1]",
                           "Old PIN", "Re-Enter new PIN"};
        QTest::newRow("changeAdminPin")
            << "changeAdminPin"
            << QStringList{"Change PIN", "Change Admin PIN",
                           "Change Admin PIN for Tresora Archive Card [/dev/sdz1]", "Old Admin PIN",
                           "Re-Enter new Admin PIN"};
        QTest::newRow("unblockPin")
            << "unblockPin"
            << QStringList{"Unblock PIN", "Unblock PIN for Tresora Archive Card [/dev/sdz1]",
                           "In order to unblock the PIN you have to provide the Admin PIN."};
        QTest::newRow("factoryReset")
            << "factoryReset"
            << QStringList{"Factory Reset", "Factory Reset for Tresora Archive Card [/dev/sdz1]",
                           "behave like a reguar storage device", "The PIN is required"};
        QTest::newRow("wipe") << "wipe"
                              << QStringList{"Wipe Device", "Enter your PIN",
                                             "stored on the Tresora Archive Card [/dev/sdz1]"};
        QTest::newRow("deviceInfo")
            << "deviceInfo"
            << QStringList{"Device Information for Tresora Archive Card [/dev/sdz1]"};
        QTest::newRow("sessions")
            << "sessions"
            << QStringList{
                   "View Files", "Sessions on Tresora Archive Card", "Open Session",
                   "There are no recorded sessions. Please insert the Tresora Archive Card"};
    }

    void textsAfterConstruction()
    {
        QFETCH(QString, dialog);
        QFETCH(QStringList, texts);
        std::unique_ptr<QDialog> d(makeAny(dialog));
        const QString shown = visibleTexts(d.get()).join('\n');
        for (const QString& text : texts)
            QVERIFY2(shown.contains(text), qPrintable(text));
        // No placeholder is left unfilled, and every secret is typed blind.
        QVERIFY2(!shown.contains(QRegularExpression("%\\d")), qPrintable(shown));
        for (const QLineEdit* edit : d->findChildren<QLineEdit*>())
            QCOMPARE(edit->echoMode(), QLineEdit::Password);
        QVERIFY(!(d->windowFlags() & Qt::WindowContextHelpButtonHint));
    }

    void successLeadsOn_data() { formRows(); }
    void successLeadsOn()
    {
        QFETCH(QString, form);
        const FormCase& c = formCases()[form];
        std::unique_ptr<QDialog> d(c.make(model));
        d->show();
        MessageBox::queueAnswer(QMessageBox::Ok);
        type(d.get(), c.fields, c.values);
        click(button(d.get(), c.okBox, QDialogButtonBox::Ok));
        if (c.successTitle.isEmpty()) {
            QTRY_COMPARE(
                child<QStackedWidget>(d.get(), "stackedWidget")->currentWidget()->objectName(),
                QStringLiteral("LoginSuccess"));
            click(button(d.get(), "successButtonBox", QDialogButtonBox::Ok));
        }
        QTRY_VERIFY(!d->isVisible());
        QCOMPARE(d->result(), int(QDialog::Accepted));
        QCOMPARE(model->calls(), c.sentCalls);
        if (!c.successTitle.isEmpty()) {
            QCOMPARE(lastBox().title, c.successTitle);
            QCOMPARE(lastBox().text, c.successText);
        }
    }

    void wrongSecretShowsTheCardsTextInRed_data() { formRows(); }
    void wrongSecretShowsTheCardsTextInRed()
    {
        QFETCH(QString, form);
        const FormCase& c = formCases()[form];
        std::unique_ptr<QDialog> d = showRefusingSecret(c);
        type(d.get(), c.fields, c.values);
        click(button(d.get(), c.okBox, QDialogButtonBox::Ok));
        QLabel* error = child<QLabel>(d.get(), c.errorLabel);
        const QString expected = QString(c.adminWording ? "Wrong Admin PIN, remaining retries: %1"
                                                        : "Wrong PIN, remaining retries: %1")
                                     .arg(c.adminRetries ? 5 : 3);
        QTRY_COMPARE(error->text(), expected);
        QCOMPARE(error->styleSheet(), QStringLiteral("color: rgb(170, 0, 0);"));
        waitUntilIdle(d.get());
        QVERIFY(d->isVisible());
        for (int i = 0; i < c.fields.size(); ++i)
            QCOMPARE(child<QLineEdit>(d.get(), c.fields[i])->text(), c.values[i]);
        QVERIFY(MessageBox::shownBoxes().isEmpty());
    }

    // Keys alone: Tab through the fields, Enter sends. A refused secret gets the focus,
    // selected, is not sent again unchanged, and typing replaces it.
    void keysAloneNeverSpendATryTwice_data() { formRows(); }
    void keysAloneNeverSpendATryTwice()
    {
        QFETCH(QString, form);
        const FormCase& c = formCases()[form];
        std::unique_ptr<QDialog> d = showRefusingSecret(c);
        QApplication::setActiveWindow(d.get());
        QLineEdit* secret = child<QLineEdit>(d.get(), c.fields[0]);
        secret->setFocus();
        for (const QString& value : c.values) {
            QTest::keyClicks(QApplication::focusWidget(), value);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        for (int i = 0; i < c.fields.size(); ++i)
            QCOMPARE(child<QLineEdit>(d.get(), c.fields[i])->text(), c.values[i]);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE(model->callCount(c.cardCall), 1);
        waitUntilIdle(d.get());
        QTRY_COMPARE(QApplication::focusWidget(), secret);
        QCOMPARE(secret->selectedText(), c.values[0]);

        QTest::keyClick(secret, Qt::Key_Return);
        QTRY_VERIFY(child<QLabel>(d.get(), c.errorLabel)->text().contains("not sent again"));
        QCOMPARE(secret->selectedText(), c.values[0]);

        const QString retyped = QString(c.values[0]).replace(0, 1, '9');
        QTest::keyClicks(secret, retyped);
        QCOMPARE(secret->text(), retyped);
        QTest::keyClick(secret, Qt::Key_Return);
        QTRY_COMPARE(model->callCount(c.cardCall), 2);
        waitUntilIdle(d.get());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!d->isVisible());
        QCOMPARE(d->result(), int(QDialog::Rejected));
    }

    // Activation with keys alone: Enter goes on, Tab walks the form in reading order, Space
    // ticks the Admin box; a refused input gets the focus, selected, and the card is not asked.
    void activationKeysAlone_data()
    {
        QTest::addColumn<QStringList>("keys"); // typed text; "Tab", "Space" press the key
        QTest::addColumn<QString>("refused");
        QTest::newRow("short PIN") << QStringList{"12", "Tab", "12"} << "lineEditPin";
        QTest::newRow("short Admin PIN")
            << QStringList{"1234", "Tab", "1234", "Tab", "Space", "Tab", "123", "Tab", "123"}
            << "lineEditAdminPin";
    }
    void activationKeysAlone()
    {
        QFETCH(QStringList, keys);
        QFETCH(QString, refused);
        ActivateMemory dialog(model);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QTest::keyClick(&dialog, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("lineEditPin"));
        for (const QString& key : keys) {
            if (key == "Tab" || key == "Space")
                QTest::keyClick(QApplication::focusWidget(),
                                key == "Tab" ? Qt::Key_Tab : Qt::Key_Space);
            else
                QTest::keyClicks(QApplication::focusWidget(), key);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE(QApplication::focusWidget()->objectName(), refused);
        auto* field = child<QLineEdit>(&dialog, refused);
        QCOMPARE(field->selectedText(), field->text());
        QVERIFY(!field->text().isEmpty());
        QVERIFY(!model->calls().join(' ').contains("activate"));
    }

    // Enter takes the login's success page on, and so does Escape: neither abandons what
    // the login was for.
    void loginSuccessPageGoesOnWithEnterOrEscape_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }
    void loginSuccessPageGoesOnWithEnterOrEscape()
    {
        QFETCH(int, key);
        Login login(model);
        login.show();
        QApplication::setActiveWindow(&login);
        QLineEdit* pin = child<QLineEdit>(&login, "lineEditPin");
        QTest::keyClicks(pin, "1234");
        QTest::keyClick(pin, Qt::Key_Return);
        QTRY_COMPARE(child<QStackedWidget>(&login, "stackedWidget")->currentWidget()->objectName(),
                     QStringLiteral("LoginSuccess"));
        waitUntilIdle(&login);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QTRY_VERIFY(!login.isVisible());
        QCOMPARE(login.result(), int(QDialog::Accepted));
    }

    void cancelLeavesTheCardUntouched_data() { formRows(); }
    void cancelLeavesTheCardUntouched()
    {
        QFETCH(QString, form);
        const FormCase& c = formCases()[form];
        std::unique_ptr<QDialog> d(c.make(model));
        d->show();
        type(d.get(), c.fields, c.values);
        click(button(d.get(), c.okBox, QDialogButtonBox::Cancel));
        QVERIFY(!d->isVisible());
        QCOMPARE(d->result(), int(QDialog::Rejected));
        d.reset(); // the worker has finished everything it was given
        QCOMPARE(model->calls(), QStringList());
    }

    void resetsAskForTheAdminPinOnCardsWithAnAdminUser_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<unsigned int>("flags");
        QTest::addColumn<QString>("secret");
        QTest::newRow("factory reset, PIN") << "factoryReset" << 0u << "PIN";
        QTest::newRow("factory reset, Admin") << "factoryReset" << 0x02u << "Admin PIN";
        QTest::newRow("wipe, PIN") << "wipe" << 0x04u << "PIN";
        QTest::newRow("wipe, Admin") << "wipe" << 0x02u << "Admin PIN";
    }
    void resetsAskForTheAdminPinOnCardsWithAnAdminUser()
    {
        QFETCH(QString, form);
        QFETCH(unsigned int, flags);
        QFETCH(QString, secret);
        model->securityFlags = flags;
        std::unique_ptr<QDialog> d(formCases()[form].make(model));
        QCOMPARE(child<QLabel>(d.get(), "lblPassword")->text(), secret);
        const QString title =
            child<QLabel>(d.get(), form == "wipe" ? "lblLoginTitle" : "lblTitle")->text();
        QVERIFY(title.contains(form == "wipe" ? "Enter your " + secret + "</span>"
                                              : "The " + secret + " is required"));
        QCOMPARE(title.contains("Admin PIN"), secret == "Admin PIN");
    }

    void halfDonePinChangeSaysWhatHappened()
    {
        // The card library changed the PIN; the derived Admin PIN could not follow.
        model->failWith("changePin", [] {
            throw DeviceException(TRESORA_AC_ERR_ADMIN_PIN_BEHIND,
                                  "Wrong Admin PIN, remaining retries: 2");
        });
        ChangePin dialog(model);
        dialog.show();
        MessageBox::queueAnswer(QMessageBox::Ok);
        type(&dialog, threePins, {"1234", "5678", "5678"});
        click(button(&dialog, "buttonBox", QDialogButtonBox::Ok));
        // Closed: the old PIN in the form is no longer valid and must not be sent again.
        QTRY_VERIFY(!dialog.isVisible());
        const MessageBoxRequest box = lastBox();
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY2(box.text.startsWith("Your PIN was changed, but the Admin PIN"),
                 qPrintable(box.text));
        QVERIFY(box.text.contains("A factory reset still needs your old PIN"));
        QCOMPARE(model->callCount("changePin"), 1);
    }

    void activationFlow()
    {
        model->connected = true;
        ActivateMemory dialog(model);
        dialog.show();
        auto* pages = child<QStackedWidget>(&dialog, "stackedWidget");
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("activateDialog"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
        click(button(&dialog, "buttonBox", QDialogButtonBox::Ok));
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("setPinAndAdminPin"));
        QWidget* adminFields = child(&dialog, "setAdminPin");
        QVERIFY(!adminFields->isEnabled());
        QTest::keyClick(child(&dialog, "userAdminSeparationCheckBox"), Qt::Key_Space);
        QVERIFY(adminFields->isEnabled());
        type(&dialog,
             {"lineEditPin", "lineEditReEnterPin", "lineEditAdminPin", "lineEditReEnterAdminPin"},
             {"1234", "1234", "87654321", "87654321"});
        click(button(&dialog, "buttonBoxActivate", QDialogButtonBox::Ok));
        QTRY_COMPARE(pages->currentWidget()->objectName(), QStringLiteral("activateSuccess"));
        QCOMPARE(model->calls().first(), QStringLiteral("activate 1234 87654321 2"));
        // Neither Escape nor a close request ends it while the card is still plugged in.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        dialog.close();
        QVERIFY(dialog.isVisible());
        model->connected = false;
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void activationCancelledOnEitherPageTouchesNothing()
    {
        for (bool onPinPage : {false, true}) {
            ActivateMemory dialog(model);
            dialog.show();
            if (onPinPage)
                click(button(&dialog, "buttonBox", QDialogButtonBox::Ok));
            click(button(&dialog, onPinPage ? "buttonBoxActivate" : "buttonBox",
                         QDialogButtonBox::Cancel));
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        QCOMPARE(model->callCount("activate"), 0);
    }

    void loginReturnsAtOnceWhenNoLoginIsNeeded()
    {
        model->loggedIn = true;
        Login dialog(model);
        bool shown = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] { shown = shown || dialog.isVisible(); });
        probe.start(0);
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(!shown);
        QCOMPARE(model->calls(), QStringList{"isLoggedIn"});
    }

    // Another program's card lock holds the answer back. The dialog shows itself busy, and the
    // lock is released from a GUI timer: a frozen window would never get there.
    void loginCheckBehindACardLockKeepsTheWindowAlive()
    {
        QSemaphore cardLock;
        model->failWith("isLoggedIn", [&cardLock] { cardLock.acquire(); });
        Login dialog(model);
        bool released = false;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] {
            if (!released && dialog.isVisible() && !dialog.isEnabled()) {
                released = true;
                cardLock.release();
            } else if (released && dialog.isVisible() && dialog.isEnabled()) {
                ticker.stop();
                click(button(&dialog, "loginButtonBox", QDialogButtonBox::Cancel));
            }
        });
        ticker.start(10);
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    }

    void closingIsRefusedWhileTheCardWorks()
    {
        QSemaphore cardLock;
        model->failWith("changePin", [&cardLock] { cardLock.acquire(); });
        ChangePin dialog(model);
        dialog.show();
        type(&dialog, threePins, {"1234", "5678", "5678"});
        MessageBox::queueAnswer(QMessageBox::Ok);
        click(button(&dialog, "buttonBox", QDialogButtonBox::Ok));
        QTRY_VERIFY(!dialog.isEnabled());
        dialog.close();
        QVERIFY(dialog.isVisible());
        cardLock.release();
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void deviceInformationTable_data()
    {
        QTest::addColumn<unsigned int>("flags");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("PIN only") << 0x04u
                                  << QStringList{"Login Retry Counter:</td><td>7",
                                                 "Factory Reset Retry Counter:</td><td>9"};
        QTest::newRow("Admin user")
            << 0x06u
            << QStringList{"PIN Retry Counter:</td><td>7", "Admin PIN Retry Counter:</td><td>9"};
    }
    void deviceInformationTable()
    {
        QFETCH(unsigned int, flags);
        QFETCH(QStringList, rows);
        model->info = DeviceInfo("00a1ff", 0x01020A, 2, 7, 9, flags, 26);
        DeviceInfoDialog dialog(model);
        QLabel* table = child<QLabel>(&dialog, "lblDeviceInfo");
        QTRY_VERIFY(!table->text().isEmpty());
        rows << "Serial Number:</td><td>00a1ff"
             << "Firmware Version:</td><td>1.2.10"
             << "System State:</td><td>2" << QString("Security Flags:</td><td>%1").arg(flags)
             << "Incompatibility Flag:</td><td>0x1a";
        for (const QString& row : rows)
            QVERIFY2(table->text().contains(row), qPrintable(row));
    }

    void deviceInformationErrorIsShown()
    {
        model->failWithDeviceError("deviceInfo", "card gone");
        DeviceInfoDialog dialog(model);
        QTRY_COMPARE(child<QLabel>(&dialog, "lblError")->text(), QStringLiteral("card gone"));
        QVERIFY(child<QLabel>(&dialog, "lblDeviceInfo")->text().isEmpty());
    }

    void sessionViewerOpensTheMountPoint()
    {
        model->sessions = {Session(3, "2024-05-01T10:00:00", 2048), Session(7, "", 4)};
        model->mountpoint = "/media/card";
        UrlRecorder urls;
        SessionViewer dialog(model);
        dialog.show();
        auto* table = child<QTableWidget>(&dialog, "sessionsTable");
        QTRY_COMPARE(table->rowCount(), 2);
        QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget_2")->currentWidget(),
                 child(&dialog, "sessions"));
        QCOMPARE(table->item(1, 0)->text(), QStringLiteral("7"));
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("1.0 MB"));
        QPushButton* open = button(&dialog, "buttonBox", QDialogButtonBox::Ok);
        QVERIFY(!open->isEnabled());
        const QRect cell = table->visualItemRect(table->item(1, 2));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QTRY_COMPARE(urls.opened, QList<QUrl>{QUrl::fromLocalFile("/media/card")});
        QVERIFY(model->calls().contains("switchToSession 7"));
        QVERIFY(open->isEnabled());
        QVERIFY(dialog.isVisible());
    }

    // Offscreen, no program opens folders: the user gets the path to open by hand.
    void sessionViewerThatCannotOpenSaysSo_data()
    {
        QTest::addColumn<QString>("mountpoint");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("text");
        QTest::newRow("not mounted")
            << "" << int(QMessageBox::Critical) << "Failed to open /dev/sdz1";
        QTest::newRow("no folder program")
            << "/media/card" << int(QMessageBox::Information)
            << "No program to show folders is set up on this desktop. Open this folder with "
               "your file manager:\n/media/card";
    }
    void sessionViewerThatCannotOpenSaysSo()
    {
        QFETCH(QString, mountpoint);
        QFETCH(int, icon);
        QFETCH(QString, text);
        model->sessions = {Session(1, "", 8)};
        model->mountpoint = mountpoint;
        SessionViewer dialog(model);
        dialog.show();
        auto* table = child<QTableWidget>(&dialog, "sessionsTable");
        QTRY_COMPARE(table->rowCount(), 1);
        table->selectRow(0);
        MessageBox::queueAnswer(QMessageBox::Ok);
        click(button(&dialog, "buttonBox", QDialogButtonBox::Ok));
        QTRY_COMPARE(lastBox().title, QStringLiteral("Error Opening the Device"));
        QCOMPARE(lastBox().text, text);
        QCOMPARE(int(lastBox().icon), icon);
    }

    void sessionViewerWithoutSessions()
    {
        SessionViewer dialog(model);
        auto* pages = child<QStackedWidget>(&dialog, "stackedWidget");
        QTRY_COMPARE(pages->currentWidget(), child(&dialog, "content"));
        QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget_2")->currentWidget(),
                 child(&dialog, "noSessions"));
    }

private:
    // The form's dialog, shown, on a card that refuses the form's secret.
    std::unique_ptr<QDialog> showRefusingSecret(const FormCase& c)
    {
        ScriptedDeviceModel* card = model.get();
        model->failWith(c.cardCall,
                        [card, c] { card->throwOnError(0x6F02, c.adminRetries, c.adminWording); });
        std::unique_ptr<QDialog> d(c.make(model));
        d->show();
        return d;
    }

    static void formRows()
    {
        QTest::addColumn<QString>("form");
        for (const QString& name : formCases().keys())
            QTest::newRow(qPrintable(name)) << name;
    }

    QDialog* makeAny(const QString& name)
    {
        if (formCases().contains(name))
            return formCases()[name].make(model);
        if (name == "activate")
            return new ActivateMemory(model);
        if (name == "deviceInfo")
            return new DeviceInfoDialog(model);
        return new SessionViewer(model);
    }

    Model model;
};

QTEST_MAIN(OperationDialogsTest)
#include "operationdialogs_test.moc"
