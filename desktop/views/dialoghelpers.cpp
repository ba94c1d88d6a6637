#include "dialoghelpers.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

namespace {
const QString settingsOrganisation = QStringLiteral("Kendrova");
const QString settingsApplication = QStringLiteral("Lockerly");
const QString backupFolderKey = QStringLiteral("BackupFolderPath");
} // namespace

QPushButton* makePageDefault(QWidget* page)
{
    QPushButton* chosen = nullptr;
    for (QDialogButtonBox* box : page->findChildren<QDialogButtonBox*>()) {
        // Skips the boxes of pages a stack does not show.
        if (!box->isVisibleTo(page))
            continue;
        chosen = box->button(QDialogButtonBox::Ok);
        if (!chosen)
            chosen = box->button(QDialogButtonBox::Close);
        if (chosen)
            break;
    }
    if (!chosen)
        return nullptr;
    // A button that had the focus on an earlier page would otherwise stay the default.
    for (QPushButton* button : page->window()->findChildren<QPushButton*>())
        button->setDefault(button == chosen);
    return chosen;
}

QString noFolderHandlerText(const QString& path)
{
    return QCoreApplication::translate("QCoreApplication",
                                       "No program to show folders is set up on this desktop. "
                                       "Open this folder with your file manager:\n%1")
        .arg(path);
}

QString lastBackupFolder()
{
    const QString pictures =
        QStandardPaths::standardLocations(QStandardPaths::PicturesLocation).value(0);
    QSettings settings(settingsOrganisation, settingsApplication);
    return settings.value(backupFolderKey, pictures).toString();
}

void rememberBackupFolder(const QString& folder)
{
    if (folder.isEmpty())
        return;
    QSettings settings(settingsOrganisation, settingsApplication);
    settings.setValue(backupFolderKey, folder);
}
