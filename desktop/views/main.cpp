#include "mainwindow.h"
#include "metatypes.h"
#include "singleapplication.h"
#include "startup.h"

#include <QLocale>
#include <QThread>
#include <QTimer>
#include <QTranslator>

int main(int argc, char** argv)
{
    // Everything is painted by the raster engine; loading the GL driver for the window would
    // cost about 50 MiB and a good part of the start-up time.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
    SingleApplication app(argc, argv, true, guardOptions(), 1000);
    if (app.isSecondary()) {
        // Meanwhile the primary has heard of this start and raises its window.
        QThread::msleep(500);
        return 0;
    }

    QLocale locale;
    QTranslator qtTranslator;
    QTranslator appTranslator;
    installTranslators(app, qtTranslator, appTranslator, locale);
    registerVaultdeskMetaTypes();

    // Tests point the scan at a folder of their own cards, away from other cards of the machine.
    MainWindow window(nullptr, qEnvironmentVariable("VAULTDESK_DEVICE_FOLDER", "/dev"));
    QObject::connect(&app, &SingleApplication::instanceStarted, &window, &MainWindow::bringToFront);
    createTrayIcon(&window);
    window.setVisible(!startsInBackground(argc, argv));
    // Once the loop runs: loading the TLS library first would delay the window.
    QTimer::singleShot(0, &window, [&window] { startUpdateCheck(&window); });
    return app.exec();
}
