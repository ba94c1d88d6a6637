#include "dialoghelpers.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {
const QString settingsOrganisation = QStringLiteral("Kendrova");
const QString settingsApplication = QStringLiteral("Lockerly");
const QString backupFolderKey = QStringLiteral("BackupFolderPath");
const QString mirrorFolderKey = QStringLiteral("MirrorBackupFolderPath");
// What the window manager's title bar and frame take, until the window has one to measure.
const QSize frameAllowance(16, 48);

// The window's layout, with the widgets in it, moves into a scroll area.
void scrollContent(QWidget* window)
{
    auto* content = new QWidget;
    content->setLayout(window->layout());
    auto* scroll = new QScrollArea(window);
    scroll->setObjectName(QStringLiteral("fitScrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    if (window->isVisible())
        scroll->show();
}
// Wrapped texts need less height the wider they may be. A page stack asks for the height of
// its tallest page; what the window needs is the height of the page it shows.
int shownHeightForWidth(QWidget* window, int width)
{
    if (!window->hasHeightForWidth())
        return window->sizeHint().height();
    int height = window->heightForWidth(width);
    const QMargins margins = window->layout()->contentsMargins();
    const int stackWidth = width - margins.left() - margins.right();
    for (QStackedWidget* stack :
         window->findChildren<QStackedWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (QWidget* page = stack->currentWidget(); page && page->hasHeightForWidth())
            height -= stack->heightForWidth(stackWidth) - page->heightForWidth(stackWidth);
    }
    return height;
}
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

QString lastMirrorFolder()
{
    QSettings settings(settingsOrganisation, settingsApplication);
    return settings.value(mirrorFolderKey).toString();
}

void rememberMirrorFolder(const QString& folder)
{
    QSettings settings(settingsOrganisation, settingsApplication);
    settings.setValue(mirrorFolderKey, folder);
}

void fitIntoScreen(QWidget* window)
{
    const QRect available = window->screen()->availableGeometry();
    const QSize measuredFrame = window->frameGeometry().size() - window->size();
    const QSize frame = measuredFrame.isEmpty() ? frameAllowance : measuredFrame;
    const QSize room = available.size() - frame;
    const int width = qMin(qMax(window->width(), window->sizeHint().width()), room.width());
    const int height = shownHeightForWidth(window, width);
    const bool scrolls = window->findChild<QScrollArea*>(QStringLiteral("fitScrollArea"));
    if (!scrolls && window->layout() && height > room.height())
        scrollContent(window);
    window->resize(width, qMin(qMax(height, window->height()), room.height()));
    const QPoint topLeft(
        qBound(available.left(), window->x(), available.left() + room.width() - window->width()),
        qBound(available.top(), window->y(), available.top() + room.height() - window->height()));
    window->move(topLeft);
}
