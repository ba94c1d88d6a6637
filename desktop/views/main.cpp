#include "mainwindow.h"
#include "metatypes.h"
#include "singleapplication.h"
#include "startup.h"

#include <QLocale>
#include <QThread>
#include <QTranslator>

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
    SingleApplication app(
        argc, argv, true,
        SingleApplication::Mode::User | SingleApplication::Mode::SecondaryNotification |
            SingleApplication::Mode::ExcludeAppVersion | SingleApplication::Mode::ExcludeAppPath,
        1000);
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

    MainWindow window;
    QObject::connect(&app, &SingleApplication::instanceStarted, &window, &MainWindow::bringToFront);
    createTrayIcon(&window);
    window.setVisible(!startsInBackground(argc, argv));
    startUpdateCheck(&window);
    return app.exec();
}
