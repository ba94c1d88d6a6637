#include "startup.h"

#include "mainwindow.h"
#include "messagebox.h"
#include "productnames.h"
#include "utils.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QSslSocket>
#include <QSystemTrayIcon>
#include <QTranslator>
#include <QUrl>

#include <cstdio>

bool startsInBackground(int argc, const char* const* argv)
{
    return argc == 2 && qstrcmp(argv[1], "--background") == 0;
}

void installTranslators(QCoreApplication& application, QTranslator& qtTranslator,
                        QTranslator& appTranslator, const QLocale& locale)
{
    // Started from the desktop menu, the working directory is the home folder.
    if (!appTranslator.load(locale, QStringLiteral("lang"), QStringLiteral(".")) &&
        !appTranslator.load(locale, QStringLiteral("lang"), QStringLiteral("."),
                            QStringLiteral(VIX_TRANSLATIONS_DIR))) {
        qWarning("%s", qPrintable("No app translation available for current locale (" +
                                  locale.name() + "), using default (English)."));
        return;
    }
    const QString qtTranslations = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    if (!qtTranslator.load(locale, QStringLiteral("qt"), QStringLiteral("_"), qtTranslations)) {
        qWarning("%s", qPrintable("No QT translation available in " + qtTranslations +
                                  " for current locale (" + locale.name() +
                                  "), using default (English)."));
    } else {
        application.installTranslator(&qtTranslator);
    }
    application.installTranslator(&appTranslator);
}

QSystemTrayIcon* createTrayIcon(MainWindow* window)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return nullptr;
    auto* tray = new QSystemTrayIcon(QIcon(QStringLiteral(":/app_icon")), window);
    tray->setToolTip(QString::fromLatin1(applicationFullName));
    auto* menu = new QMenu(window);
    QAction* exit = menu->addAction(QCoreApplication::translate("QCoreApplication", "Exit"));
    exit->setShortcut(QKeySequence());
    QObject::connect(exit, &QAction::triggered, qApp, &QCoreApplication::quit);
    tray->setContextMenu(menu);
    QObject::connect(tray, &QSystemTrayIcon::activated, window,
                     [window](QSystemTrayIcon::ActivationReason reason) {
                         if (reason != QSystemTrayIcon::Context)
                             window->bringToFront();
                     });
    tray->show();
    return tray;
}

QString updateNoticeText(const QString& url)
{
    const QUrl address(url);
    if (!address.isValid() || address.scheme() != QLatin1String("https") ||
        address.host().isEmpty())
        return QString();
    // The address sits inside a single-quoted attribute as well as in the text.
    const QString escaped = url.toHtmlEscaped().replace('\'', QLatin1String("&#39;"));
    return QCoreApplication::translate("QCoreApplication",
                                       "A new version of %2 is available. Please visit <a "
                                       "href='%1'>%1</a> to download the latest version.")
        .arg(escaped, QString::fromLatin1(applicationShortName));
}

namespace {

void showUpdateNotice(MainWindow* window, const QString& url)
{
    if (url.isEmpty())
        return;
    const QString text = updateNoticeText(url);
    if (text.isEmpty()) {
        std::fprintf(stderr, "Ignoring the update address %s: only https addresses are shown\n",
                     qPrintable(url));
        return;
    }
    MessageBox::information(
        window,
        QCoreApplication::translate("QCoreApplication", "%1 Update").arg(applicationShortName),
        text, Qt::RichText);
}

void warnAboutMissingTls(MainWindow* window)
{
    const QString buildVersion = QSslSocket::sslLibraryBuildVersionString();
    const QString runtimeVersion = QSslSocket::sslLibraryVersionString();
    std::fprintf(stderr,
                 "Platform does not support SSL!\nSSL Build Version: %s\nSSL Runtime Version: %s\n",
                 qPrintable(buildVersion), qPrintable(runtimeVersion));
    std::fflush(stderr);
    MessageBox::warning(
        window,
        QCoreApplication::translate("QCoreApplication", "%1 Update Check Failure")
            .arg(applicationShortName),
        QCoreApplication::translate("QCoreApplication",
                                    "Platform does not support SSL!\nSSL Build Version: "
                                    "%1\nSSL Runtime Version: %2")
            .arg(buildVersion, runtimeVersion));
}

} // namespace

void startUpdateCheck(MainWindow* window)
{
    if (!QSslSocket::supportsSsl())
        warnAboutMissingTls(window);
    auto* manager = new QNetworkAccessManager(window);
    QObject::connect(manager, &QNetworkAccessManager::finished, window,
                     [window](QNetworkReply* reply) {
                         reply->deleteLater();
                         NetworkReply wrapped(reply);
                         showUpdateNotice(window, isAppUpdateAvailable(wrapped, APP_VERSION_CODE));
                     });
    manager->get(appUpdateRequest());
}
