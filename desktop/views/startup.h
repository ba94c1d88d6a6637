#pragma once

// Steps of vaultdesk's start, kept out of main() so that tests can run them one by one.

#include "singleapplication.h"

#include <QString>

class MainWindow;
class QCoreApplication;
class QLocale;
class QSystemTrayIcon;
class QTranslator;

// One primary per user, told of every later start; the key leaves out version and path.
constexpr SingleApplication::Options guardOptions()
{
    return SingleApplication::Mode::User | SingleApplication::Mode::SecondaryNotification |
           SingleApplication::Mode::ExcludeAppVersion | SingleApplication::Mode::ExcludeAppPath;
}

// True only for exactly one argument, "--background".
bool startsInBackground(int argc, const char* const* argv);

// Application texts from lang.<locale>.qm in the working directory, else in the installed
// translations folder; Qt's own texts only when the application's were found.
void installTranslators(QCoreApplication& application, QTranslator& qtTranslator,
                        QTranslator& appTranslator, const QLocale& locale);

// Tray icon with an "Exit" menu, or null when the desktop has no tray.
QSystemTrayIcon* createTrayIcon(MainWindow* window);

// Asks the update server once; a newer version is announced in a box over the window.
void startUpdateCheck(MainWindow* window);

// Rich text announcing the update at url; empty when url is not an https address, which is
// then not shown at all.
QString updateNoticeText(const QString& url);
