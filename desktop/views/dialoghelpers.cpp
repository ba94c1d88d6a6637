#include "dialoghelpers.h"

#include <QDialogButtonBox>
#include <QCoreApplication>
#include <QPushButton>

QPushButton* makePageDefault(QWidget* page)
{
    QPushButton* chosen = nullptr;
    for (QDialogButtonBox* box : page->findChildren<QDialogButtonBox*>()) {
        // Skips the boxes of pages a stack does not show.
        if (!box->isVisibleTo(page))
            continue;
        chosen = box->button(QDialogButtonBox::Ok);
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
