// The main window on real cards: virtual cards attached as disks, seen through a device folder
// of the test's own so that other cards of the machine stay out of the scan.
#include "VirtualCard.h"

#include "DeviceInfoDialog.h"
#include "about.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "metatypes.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using vixtest::VirtualCard;
using vixtest::VirtualCardOptions;

namespace {

constexpr int scanWaitMs = 20000;

VirtualCardOptions cardOptions(vixtest::FormFactor form, vixtest::Generation generation,
                               std::string pin, std::string adminPin,
                               std::vector<std::string> extraArgs = {})
{
    VirtualCardOptions options;
    options.disk = true;
    options.formFactor = form;
    options.generation = generation;
    options.pin = std::move(pin);
    options.adminPin = std::move(adminPin);
    options.extraArgs = std::move(extraArgs);
    return options;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

    QTemporaryDir devices{QStringLiteral("/var/tmp/vdt-XXXXXX")};
    std::map<QString, std::unique_ptr<VirtualCard>> cards;
    std::unique_ptr<MainWindow> window;

    // Puts the card's partition node into the scanned folder: the card is plugged in.
    QString plugIn(const QString& name)
    {
        struct stat node
        {
        };
        const std::string source = cards.at(name)->devicePath();
        if (::stat(source.c_str(), &node) != 0)
            qFatal("cannot stat %s", source.c_str());
        const QString path = devices.filePath(QString::fromStdString(source).section('/', -1));
        if (::mknod(QFile::encodeName(path).constData(), S_IFBLK | 0660, node.st_rdev) != 0)
            qFatal("cannot make %s", qPrintable(path));
        return path;
    }
    void unplug(const QString& name)
    {
        QFile::remove(devices.filePath(
            QString::fromStdString(cards.at(name)->devicePath()).section('/', -1)));
    }
    QString nodePath(const QString& name) const
    {
        return devices.filePath(
            QString::fromStdString(cards.at(name)->devicePath()).section('/', -1));
    }

    QString page() const
    {
        return window->findChild<QStackedWidget*>("stackedWidget")->currentWidget()->objectName();
    }
    QList<QToolButton*> cardButtons() const
    {
        return window->findChild<QWidget*>("devicesList")->findChildren<QToolButton*>();
    }
    QToolButton* buttonOf(const QString& name) const
    {
        for (QToolButton* button : cardButtons())
            if (button->text().contains(nodePath(name)))
                return button;
        return nullptr;
    }
    template <typename T> T* child(const char* name) const
    {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    void screenshot(QWidget* widget, const QString& name)
    {
        QDir().mkpath(QStringLiteral(VIX_SCREENSHOT_DIR));
        QVERIFY(widget->grab().save(QStringLiteral(VIX_SCREENSHOT_DIR "/%1.png").arg(name)));
    }

private slots:
    void initTestCase()
    {
        const std::string unavailable = vixtest::diskModeUnavailable();
        if (!unavailable.empty())
            QSKIP(unavailable.c_str());
        QVERIFY(devices.isValid());
        using vixtest::FormFactor;
        using vixtest::Generation;
        const std::pair<QString, VirtualCardOptions> wanted[] = {
            {"admin", cardOptions(FormFactor::MicroSd, Generation::Ccv2, "1234", "12345678")},
            {"inactive", cardOptions(FormFactor::FullSize, Generation::Ccv2, "", "")},
            {"ccv1", cardOptions(FormFactor::MicroSd, Generation::Ccv1, "", "")},
            {"attacked", cardOptions(FormFactor::MicroSd, Generation::Ccv2, "1234", "",
                                     {"--incompatibility", "26"})}};
        for (const auto& [name, options] : wanted)
            cards[name] = std::make_unique<VirtualCard>(options);
        registerVaultdeskMetaTypes();
        window = std::make_unique<MainWindow>(nullptr, devices.path());
        window->resize(460, 281);
        window->show();
    }

    void cleanupTestCase()
    {
        window.reset();
        cards.clear();
    }

    void searchingUntilTheFirstScanThenNoDevices()
    {
        QCOMPARE(page(), QStringLiteral("searching"));
        QCOMPARE(child<QLabel>("labelSearching")->text(),
                 QStringLiteral("Searching for Kendrova Tresora Archive Card"));
        screenshot(window.get(), "page_searching");
        QTRY_COMPARE_WITH_TIMEOUT(page(), QStringLiteral("noDevices"), scanWaitMs);
        QVERIFY(!child<QLabel>("lblUnsupportedDevices")->isVisible());
        QVERIFY(!child<QMenu>("menuConfigure")->menuAction()->isVisible());
        QVERIFY(!child<QAction>("actionDevice_Information")->isEnabled());
        QVERIFY(!child<QAction>("actionFactoryReset")->isEnabled());
        screenshot(window.get(), "page_no_device");
    }

    void unsupportedCardIsNamedWithItsTool()
    {
        const QString path = plugIn("ccv1");
        QLabel* notice = child<QLabel>("lblUnsupportedDevices");
        QTRY_VERIFY_WITH_TIMEOUT(notice->isVisible(), scanWaitMs);
        QCOMPARE(notice->text(),
                 QStringLiteral("The following devices were detected but are not supported by "
                                "this application.\nPlease use the Kendrova Tresora Camera Card "
                                "Tool for your Tresora Camera Card [%1].")
                     .arg(path));
        QCOMPARE(page(), QStringLiteral("noDevices"));
        screenshot(window.get(), "page_unsupported_notice");
    }

    void pluggedCardsGetButtonsAndRaiseTheWindow()
    {
        window->hide();
        for (const char* name : {"admin", "inactive", "attacked"})
            plugIn(name);
        QTRY_COMPARE_WITH_TIMEOUT(cardButtons().size(), 3, scanWaitMs);
        QCOMPARE(page(), QStringLiteral("devicesList"));
        QVERIFY(window->isVisible());
        QVERIFY(child<QLabel>("lblUnsupportedDevices_2")->isVisible());
        QCOMPARE(buttonOf("inactive")->iconSize(), QSize(100, 100));
        QVERIFY(child<QLabel>("lblReadOnlyNotice")
                    ->text()
                    .startsWith("All connected Tresora Archive Card devices are READ ONLY."));
        screenshot(window.get(), "page_card_list");
    }

    void selectedCardShowsStateAndActions_data()
    {
        QTest::addColumn<QString>("card");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("actionRow");
        QTest::addColumn<bool>("adminActions");
        QTest::addColumn<QString>("warning"); // empty: hidden
        QTest::addColumn<QSize>("imageSize");
        QTest::newRow("active, Admin user") << "admin"
                                            << "Security active"
                                            << "activeSecurity" << true << "" << QSize(73, 100);
        QTest::newRow("inactive, full size") << "inactive"
                                             << "Security inactive"
                                             << "inactiveSecurity" << false << "" << QSize(75, 100);
        QTest::newRow("incompatibility 26")
            << "attacked"
            << "Security active"
            << "activeSecurity" << false << "0x1a" << QSize(73, 100);
    }
    void selectedCardShowsStateAndActions()
    {
        QFETCH(QString, card);
        QFETCH(QString, actionRow);
        QFETCH(bool, adminActions);
        QFETCH(QString, warning);
        QTRY_COMPARE_WITH_TIMEOUT(page(), QStringLiteral("devicesList"), scanWaitMs);
        buttonOf(card)->click();
        QTRY_COMPARE_WITH_TIMEOUT(page(), QStringLiteral("SelectedDevice"), scanWaitMs);
        QTEST(child<QLabel>("labelSecureMemoryState")->text(), "state");
        QCOMPARE(child<QLabel>("labelSelectedDevPath")->text(), nodePath(card));
        QCOMPARE(child<QStackedWidget>("actionButtonRow")->currentWidget()->objectName(),
                 actionRow);
        const bool active = actionRow == "activeSecurity";
        QCOMPARE(child<QMenu>("menuConfigure")->menuAction()->isVisible(), active);
        QCOMPARE(child<QAction>("actionFactoryReset")->isEnabled(), active);
        QVERIFY(child<QAction>("actionDevice_Information")->isEnabled());
        if (active) {
            QCOMPARE(child<QAction>("actionUnblockPin")->isVisible(), adminActions);
            QCOMPARE(child<QAction>("actionChangeAdminPin")->isVisible(), adminActions);
        }
        QLabel* attack = child<QLabel>("labelAttackDetected");
        QCOMPARE(attack->isVisible(), !warning.isEmpty());
        if (!warning.isEmpty())
            QVERIFY(attack->text().startsWith(
                QStringLiteral("Warning: an incompatibility (%1) with").arg(warning)));
        QTEST(child<QLabel>("labelSelectedDevImg")->size(), "imageSize");
        screenshot(window.get(), "page_selected_" + card);

        child<QPushButton>("btnBack")->click();
        QTRY_COMPARE_WITH_TIMEOUT(page(), QStringLiteral("devicesList"), scanWaitMs);
    }

    void aboutDialog()
    {
        About about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        screenshot(&about, "dialog_about");
    }

    // Only the card's dialogs go: About, owned by the window, and a window that is no dialog
    // (as the tray icon's) stay.
    void unpluggingTheSelectedCardClosesItsDialogsOnly()
    {
        // A tile opens with Enter as with a click.
        QTest::keyClick(buttonOf("attacked"), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(page(), QStringLiteral("SelectedDevice"), scanWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(window->selectedDeviceModel() != nullptr, scanWaitMs);
        MessageBox::clearShownBoxes();
        MessageBox::queueAnswer(QMessageBox::Ok);
        About about(window.get());
        about.show();
        QWidget trayLike;
        trayLike.show();
        QPointer<QDialog> dialog;
        bool dialogEnded = false;
        bool forcedClose = false;
        // Should the window fail to close it, the dialog must not block the test forever.
        QTimer::singleShot(scanWaitMs * 2, this, [&] {
            forcedClose = dialog;
            if (dialog)
                dialog->reject();
        });
        QTimer::singleShot(0, this, [&] {
            unplug("attacked");
            DeviceInfoDialog cardDialog(window->selectedDeviceModel());
            dialog = &cardDialog;
            cardDialog.exec();
            dialogEnded = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(dialogEnded, scanWaitMs * 3);
        QVERIFY(!forcedClose);
        const QList<MessageBoxRequest> shown = MessageBox::shownBoxes();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("Selected device status"));
        QCOMPARE(shown[0].text, QStringLiteral("The currently selected device has been removed!"));
        QCOMPARE(page(), QStringLiteral("devicesList"));
        QVERIFY(about.isVisible());
        QVERIFY(trayLike.isVisible());
    }

    void unpluggingDoesNotRaiseTheWindow()
    {
        window->hide();
        unplug("inactive");
        QTRY_COMPARE_WITH_TIMEOUT(cardButtons().size(), 1, scanWaitMs);
        QVERIFY(!window->isVisible());
    }

    // A start in the background finds the cards already plugged in and stays in the tray.
    void cardsFoundAtStartDoNotRaiseTheWindow()
    {
        MainWindow background(nullptr, devices.path());
        QStackedWidget* pages = background.findChild<QStackedWidget*>("stackedWidget");
        QTRY_COMPARE_WITH_TIMEOUT(pages->currentWidget()->objectName(),
                                  QStringLiteral("devicesList"), scanWaitMs);
        QVERIFY(!background.isVisible());
    }

    void closingHidesTheWindow()
    {
        window->show();
        QVERIFY(!window->close());
        QVERIFY(!window->isVisible());
    }

    // Dialog threads report to the main view model's thread while they end, so the window
    // ends its dialogs before that thread.
    void destroyingTheWindowEndsItsDialogsFirst()
    {
        QPointer<QDialog> dialog = new QDialog(window.get());
        auto* unparented = new QDialog;
        QPointer<QDialog> other = unparented;
        window.reset();
        QVERIFY(!dialog);
        QVERIFY(!other);
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
