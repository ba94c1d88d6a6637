#pragma once

class QPushButton;
class QString;
class QWidget;

// Makes the accepting (else the closing) button of the page's button box the dialog's only default
// button, so that Enter presses it wherever the focus is. Returns that button, or null when the
// page has none.
QPushButton* makePageDefault(QWidget* page);

// Tells that no program is set up to open folders on this desktop, with the path to open by
// hand.
QString noFolderHandlerText(const QString& path);

// The folder the last backup went to (the picture folder before the first one); an empty
// folder is never remembered.
QString lastBackupFolder();
void rememberBackupFolder(const QString& folder);
// The folder of the second copy; empty when the user chose none.
QString lastMirrorFolder();
void rememberMirrorFolder(const QString& folder);

// Keeps a window, title bar included, on its screen: content taller than the screen scrolls,
// and a window placed partly off the screen is moved onto it. For showEvent().
void fitIntoScreen(QWidget* window);
