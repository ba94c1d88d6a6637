// Start-up steps of vaultdesk: arguments, translations, value types, the update notice.
#include "Device.h"
#include "mainviewmodel.h"
#include "metatypes.h"
#include "startup.h"

#include <QTranslator>
#include <QtTest>

namespace {

QStringList warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg)
        warnings.append(message);
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void onlyExactlyOneBackgroundArgumentHidesTheWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("background");
        QTest::newRow("none") << QStringList{} << false;
        QTest::newRow("background") << QStringList{"--background"} << true;
        QTest::newRow("other case") << QStringList{"--Background"} << false;
        QTest::newRow("followed by more") << QStringList{"--background", "x"} << false;
        QTest::newRow("after another") << QStringList{"-v", "--background"} << false;
    }
    void onlyExactlyOneBackgroundArgumentHidesTheWindow()
    {
        QFETCH(QStringList, arguments);
        QList<QByteArray> storage{"vaultdesk"};
        for (const QString& argument : arguments)
            storage.append(argument.toUtf8());
        QVector<const char*> argv;
        for (const QByteArray& argument : storage)
            argv.append(argument.constData());
        QTEST(startsInBackground(argv.size(), argv.data()), "background");
    }

    // One text of each context, through the compiled German file of the build.
    void germanLocaleShowsGermanTexts_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("german");
        QTest::newRow("window") << "MainWindow"
                                << "Security active"
                                << "Sicherheit aktiv";
        QTest::newRow("about") << "About"
                               << "About"
                               << "Über";
        QTest::newRow("device model") << "QCoreApplication"
                                      << "Wrong PIN"
                                      << "Falsche PIN";
        QTest::newRow("tray") << "QCoreApplication"
                              << "Exit"
                              << "Beenden";
        QTest::newRow("activation") << "ActivateMemoryViewModel"
                                    << "Admin PIN & re-entered Admin PIN do not match"
                                    << "Die Admin-PIN und die wiederholte Admin-PIN stimmen nicht "
                                       "überein";
        QTest::newRow("PIN change") << "ChangePinViewModel"
                                    << "Old PIN must be 4-15 characters long"
                                    << "Die alte PIN muss 4 bis 15 Zeichen lang sein";
        QTest::newRow("Admin PIN change") << "ChangeAdminPinViewModel"
                                          << "New Admin PIN must be 8-20 characters long"
                                          << "Die neue Admin-PIN muss 8 bis 20 Zeichen lang sein";
        QTest::newRow("unblock") << "UnblockPinViewModel"
                                 << "New PIN must be 4-15 characters long"
                                 << "Die neue PIN muss 4 bis 15 Zeichen lang sein";
        QTest::newRow("factory reset") << "FactoryResetViewModel"
                                       << "PIN must be 4-15 characters long"
                                       << "Die PIN muss 4 bis 15 Zeichen lang sein";
        QTest::newRow("wipe") << "WipeDeviceViewModel"
                              << "Admin PIN must be 8-20 characters long"
                              << "Die Admin-PIN muss 8 bis 20 Zeichen lang sein";
        QTest::newRow("sessions") << "SessionViewerViewModel"
                                  << "The selected session is no longer available"
                                  << "Die gewählte Sitzung ist nicht mehr vorhanden";
        QTest::newRow("download") << "DownloadViewModel"
                                  << "Downloading ..."
                                  << "Herunterladen ...";
    }
    void germanLocaleShowsGermanTexts()
    {
        QFETCH(QString, context);
        QFETCH(QString, source);
        QTranslator qtTranslator;
        QTranslator appTranslator;
        QDir::setCurrent(QStringLiteral(VIX_QM_DIR));
        installTranslators(*QCoreApplication::instance(), qtTranslator, appTranslator,
                           QLocale(QLocale::German, QLocale::Germany));
        QTEST(QCoreApplication::translate(context.toUtf8(), source.toUtf8()), "german");
    }

    void missingTranslationLeavesEnglishWithOneWarning()
    {
        QTranslator qtTranslator;
        QTranslator appTranslator;
        QDir::setCurrent(QDir::tempPath());
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        installTranslators(*QCoreApplication::instance(), qtTranslator, appTranslator,
                           QLocale(QLocale::Finnish, QLocale::Finland));
        qInstallMessageHandler(previous);
        QCOMPARE(warnings, QStringList{"No app translation available for current locale (fi_FI), "
                                       "using default (English)."});
        QVERIFY(appTranslator.isEmpty() && qtTranslator.isEmpty());
        QCOMPARE(QCoreApplication::translate("MainWindow", "Security active"),
                 QStringLiteral("Security active"));
    }

    // A queued connection copies its arguments by their registered type names.
    void everyQueuedTypeNameIsRegistered_data()
    {
        QTest::addColumn<QByteArray>("name");
        for (const char* name : {"Device", "DeviceInfo", "DeviceList", "SessionList", "MainView"})
            QTest::newRow(name) << QByteArray(name);
    }
    void everyQueuedTypeNameIsRegistered()
    {
        QFETCH(QByteArray, name);
        registerVaultdeskMetaTypes();
        QVERIFY(QMetaType::type(name) != QMetaType::UnknownType);
    }

    void deviceListIsIterableThroughQVariant()
    {
        registerVaultdeskMetaTypes();
        const DeviceList devices{Device("/dev/sdb1", "", SdCard, true, Ccv2, 0, 2),
                                 Device("/dev/sdc1", "", MicroSdCard, false, Ccv1, 0, 0)};
        const QVariant value = QVariant::fromValue(devices);
        QVERIFY(value.canConvert<QVariantList>());
        QCOMPARE(value.value<QSequentialIterable>().size(), 2);
    }

    void updateAddressIsShownOnlyAsEscapedHttps_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("shownAddress"); // empty: no notice
        QTest::newRow("https") << "https://www.kendrova.example/download"
                               << "https://www.kendrova.example/download";
        QTest::newRow("markup escaped") << "https://x.example/a'><script>b&c"
                                        << "https://x.example/a&#39;&gt;&lt;script&gt;b&amp;c";
        QTest::newRow("plain http") << "http://www.kendrova.example/"
                                    << "";
        QTest::newRow("script") << "javascript:alert(1)"
                                << "";
        QTest::newRow("no host") << "https:///path"
                                 << "";
        QTest::newRow("file") << "file:///etc/passwd"
                              << "";
    }
    void updateAddressIsShownOnlyAsEscapedHttps()
    {
        QFETCH(QString, url);
        QFETCH(QString, shownAddress);
        const QString text = updateNoticeText(url);
        if (shownAddress.isEmpty()) {
            QVERIFY(text.isEmpty());
            return;
        }
        QCOMPARE(text, QStringLiteral("A new version of Vix is available. Please visit <a "
                                      "href='%1'>%1</a> to download the latest version.")
                           .arg(shownAddress));
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
