// Every dialog page as a German user with a large scale sees it: the dialog fits the screen,
// no label is cut, no button text clipped, no field squashed. With VIX_SHOTS_DIR set, each
// page is also saved as a picture there.
#include "DeviceInfoDialog.h"
#include "FactoryResetDialog.h"
#include "SessionViewer.h"
#include "ViewModelTestSupport.h"
#include "about.h"
#include "activatememory.h"
#include "changeadminpin.h"
#include "changepin.h"
#include "download.h"
#include "login.h"
#include "mainwindow.h"
#include "metatypes.h"
#include "startup.h"
#include "unblockpin.h"
#include "verifybackup.h"
#include "wipedevice.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <functional>

namespace {

using Model = std::shared_ptr<ScriptedDeviceModel>;
using MakePage = std::function<QWidget*(Model)>;

// Shows the named page of the dialog's (first) page stack.
template <typename Dialog> MakePage page(const QString& name, const char* stack = "stackedWidget")
{
    return [name, stack](Model model) {
        auto* dialog = new Dialog(model);
        QStackedWidget* pages = dialog->template findChild<QStackedWidget*>(stack);
        if (!name.isEmpty())
            pages->setCurrentWidget(pages->template findChild<QWidget*>(name));
        return dialog;
    };
}

QStringList faults(QWidget* window)
{
    QStringList found;
    const QRect screen = window->screen()->availableGeometry();
    if (!screen.contains(window->frameGeometry()))
        found << QStringLiteral("window %1x%2 at %3,%4 outside the screen")
                     .arg(window->frameGeometry().width())
                     .arg(window->frameGeometry().height())
                     .arg(window->frameGeometry().x())
                     .arg(window->frameGeometry().y());
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        const bool cut = label->wordWrap()
                             ? label->heightForWidth(label->width()) > label->height() + 1
                             : label->sizeHint().width() > label->width() + 1;
        if (cut)
            found << "label cut: " + label->objectName() + " " + label->text().left(40);
    }
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->isVisible() && button->sizeHint().width() > button->width() + 1)
            found << "button clipped: " + button->text();
    }
    for (const QLineEdit* edit : window->findChildren<QLineEdit*>()) {
        if (edit->isVisible() && edit->height() < edit->minimumSizeHint().height())
            found << "field squashed: " + edit->objectName();
    }
    return found;
}

} // namespace

Q_DECLARE_METATYPE(MakePage)

class LayoutTest : public QObject
{
    Q_OBJECT

    QTranslator qtTranslator;
    QTranslator appTranslator;
    QTemporaryDir emptyDevices;

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs a real screen size: run under Xvfb (the test's CMake entry does)");
        registerVaultdeskMetaTypes();
        QDir::setCurrent(QStringLiteral(VIX_QM_DIR));
        const QLocale german(QLocale::German, QLocale::Germany);
        QLocale::setDefault(german);
        installTranslators(*QCoreApplication::instance(), qtTranslator, appTranslator, german);
    }

    void everyPageFits_data()
    {
        QTest::addColumn<MakePage>("make");
        QTest::newRow("login") << page<Login>("LoginWidget");
        QTest::newRow("login_success") << page<Login>("LoginSuccess");
        QTest::newRow("activate_confirm") << page<ActivateMemory>("activateDialog");
        // Continue is pressed once the first page shows, as a user does.
        QTest::newRow("activate_pins") << MakePage([](Model model) {
            QWidget* dialog = page<ActivateMemory>("")(model);
            dialog->findChild<QCheckBox*>()->setChecked(true);
            QTimer::singleShot(0, dialog, [dialog] {
                dialog->findChild<QDialogButtonBox*>("buttonBox")
                    ->button(QDialogButtonBox::Ok)
                    ->click();
            });
            return dialog;
        });
        QTest::newRow("activate_success") << MakePage([](Model model) {
            QWidget* dialog = page<ActivateMemory>("")(model);
            QTimer::singleShot(0, dialog, [dialog] {
                dialog->findChild<QDialogButtonBox*>("buttonBox")
                    ->button(QDialogButtonBox::Ok)
                    ->click();
                for (const char* field : {"lineEditPin", "lineEditReEnterPin"})
                    dialog->findChild<QLineEdit*>(field)->setText("1234");
                dialog->findChild<QDialogButtonBox*>("buttonBoxActivate")
                    ->button(QDialogButtonBox::Ok)
                    ->click();
            });
            return dialog;
        });
        QTest::newRow("change_pin") << page<ChangePin>("");
        QTest::newRow("change_admin_pin") << page<ChangeAdminPin>("");
        QTest::newRow("unblock_pin") << page<UnblockPin>("");
        QTest::newRow("factory_reset") << MakePage([](Model model) {
            model->securityFlags = 0x02;
            return page<FactoryResetDialog>("enterPassword", "typeStackedWidget")(model);
        });
        QTest::newRow("wipe") << page<WipeDevice>("");
        QTest::newRow("device_info") << page<DeviceInfoDialog>("");
        QTest::newRow("sessions") << page<SessionViewer>("content");
        for (const char* name : {"pickFolder", "downloadInProgress", "finishedWithErrors",
                                 "canceled", "finishedSuccessfully"}) {
            QTest::newRow(qPrintable(QStringLiteral("download_") + name))
                << MakePage([name](Model model) {
                       auto* dialog = new Download(QStringLiteral("/media/card"), model);
                       auto* pages = dialog->findChild<QStackedWidget*>("stackedWidget");
                       pages->setCurrentWidget(pages->findChild<QWidget*>(name));
                       return dialog;
                   });
        }
        QTest::newRow("about") << MakePage([](Model) { return new About; });
        QTest::newRow("verify_result") << MakePage(
            [](Model) { return new VerifyBackup(QDir::tempPath() + "/no-such-backup"); });
        QTest::newRow("main_card") << MakePage([this](Model) {
            auto* window = new MainWindow(nullptr, emptyDevices.path());
            auto* pages = window->findChild<QStackedWidget*>("stackedWidget");
            // After the first scan, which would show its own page.
            if (!QTest::qWaitFor(
                    [pages] { return pages->currentWidget()->objectName() == "noDevices"; }))
                qWarning("no first scan");
            pages->setCurrentWidget(pages->findChild<QWidget*>("SelectedDevice"));
            auto* actions = window->findChild<QStackedWidget*>("actionButtonRow");
            actions->setCurrentWidget(actions->findChild<QWidget*>("activeSecurity"));
            return window;
        });
    }

    void everyPageFits()
    {
        QFETCH(MakePage, make);
        std::unique_ptr<QWidget> window(make(std::make_shared<ScriptedDeviceModel>()));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTest::qWait(300); // the window manager places it, a layout pass may follow
        const QByteArray shots = qgetenv("VIX_SHOTS_DIR");
        if (!shots.isEmpty())
            window->grab().save(QString::fromLocal8Bit(shots) + '/' + QTest::currentDataTag() +
                                ".png");
        const QStringList found = faults(window.get());
        QVERIFY2(found.isEmpty(), qPrintable(found.join('\n')));
    }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
