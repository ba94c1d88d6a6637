#include "verifybackup.h"

#include "dialoghelpers.h"
#include "verifybackupviewmodel.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QLabel* wrappedLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString section(const QString& title, const QStringList& entries)
{
    if (entries.isEmpty())
        return QString();
    return title + QStringLiteral(" (%1)\n  ").arg(entries.size()) + entries.join("\n  ") + "\n\n";
}

} // namespace

VerifyBackup::VerifyBackup(const QString& folder, QWidget* parent)
    : QDialog(parent), viewModel(new VerifyBackupViewModel)
{
    setObjectName(QStringLiteral("VerifyBackup"));
    setWindowTitle(tr("Verify Backup"));
    setWindowIcon(QIcon(QStringLiteral(":/app_icon")));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    pages = new QStackedWidget(this);
    pages->setObjectName(QStringLiteral("stackedWidget"));
    pages->addWidget(createProgressPage(folder));
    pages->addWidget(createResultPage(folder));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    resize(560, 420);

    viewModel->moveToThread(&thread);
    connect(&thread, &QThread::finished, viewModel, &QObject::deleteLater);
    thread.start();
    connectViewModel();
    QMetaObject::invokeMethod(
        viewModel, [vm = viewModel, folder] { vm->verify(folder); }, Qt::QueuedConnection);
}

VerifyBackup::~VerifyBackup()
{
    viewModel->cancel();
    thread.quit();
    thread.wait();
}

QWidget* VerifyBackup::createProgressPage(const QString& folder)
{
    auto* page = new QWidget(pages);
    page->setObjectName(QStringLiteral("progressPage"));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(
        wrappedLabel(tr("Checking every file of the backup in %1 against its checksum list...")
                         .arg(QDir::toNativeSeparators(folder)),
                     page));
    progressBar = new QProgressBar(page);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    layout->addWidget(progressBar);
    layout->addStretch();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, page);
    buttons->setObjectName(QStringLiteral("btnBoxProgress"));
    connect(buttons, &QDialogButtonBox::rejected, this, &VerifyBackup::reject);
    layout->addWidget(buttons);
    return page;
}

QWidget* VerifyBackup::createResultPage(const QString& folder)
{
    auto* page = new QWidget(pages);
    page->setObjectName(QStringLiteral("resultPage"));
    auto* layout = new QVBoxLayout(page);
    lblResult = wrappedLabel(QString(), page);
    lblResult->setObjectName(QStringLiteral("lblResult"));
    layout->addWidget(lblResult);
    textDetails = new QPlainTextEdit(page);
    textDetails->setObjectName(QStringLiteral("textDetails"));
    textDetails->setReadOnly(true);
    layout->addWidget(textDetails, 1);
    layout->addWidget(wrappedLabel(tr("Administrators can run the same check with standard "
                                      "tools only; it ends with a non-zero exit status on any "
                                      "difference or incomplete session:"),
                                   page));
    auto* command = new QPlainTextEdit(backupCheckCommand(folder), page);
    command->setObjectName(QStringLiteral("textCommand"));
    command->setReadOnly(true);
    // A command wrapped inside a word would be copied wrong.
    command->setLineWrapMode(QPlainTextEdit::NoWrap);
    command->setMaximumHeight(command->fontMetrics().lineSpacing() * 7);
    layout->addWidget(command);
    resultButtons = new QDialogButtonBox(QDialogButtonBox::Close, page);
    resultButtons->setObjectName(QStringLiteral("btnBoxResult"));
    connect(resultButtons, &QDialogButtonBox::rejected, this, &VerifyBackup::reject);
    layout->addWidget(resultButtons);
    return page;
}

void VerifyBackup::connectViewModel()
{
    connect(viewModel, &VerifyBackupViewModel::progressChanged, progressBar,
            &QProgressBar::setValue);
    connect(viewModel, &VerifyBackupViewModel::changedFilesChanged, this,
            [this](const QStringList& files) { changed = files; });
    connect(viewModel, &VerifyBackupViewModel::missingFilesChanged, this,
            [this](const QStringList& files) { missing = files; });
    connect(viewModel, &VerifyBackupViewModel::unlistedFilesChanged, this,
            [this](const QStringList& files) { unlisted = files; });
    connect(viewModel, &VerifyBackupViewModel::incompleteSessionsChanged, this,
            [this](const QStringList& sessions) { incomplete = sessions; });
    connect(viewModel, &VerifyBackupViewModel::checkedFilesChanged, this,
            [this](int files) { checked = files; });
    connect(viewModel, &VerifyBackupViewModel::verificationFinished, this,
            &VerifyBackup::showResult);
    connect(viewModel, &VerifyBackupViewModel::verificationCanceled, this,
            [this] { showOnlyText(tr("The check was canceled: nothing is proven.")); });
    connect(viewModel, &VerifyBackupViewModel::noBackupFound, this, [this] {
        showOnlyText(tr("This folder holds no backup. Choose a card's backup folder or one of "
                        "its session folders."));
    });
}

void VerifyBackup::reject()
{
    if (running)
        viewModel->cancel();
    else
        QDialog::reject();
}

void VerifyBackup::showResult(bool everythingMatches)
{
    if (everythingMatches) {
        lblResult->setText(
            tr("Every file matches: all %n file(s) are as the card gave them.", "", checked));
        textDetails->hide();
    } else {
        lblResult->setText(
            tr("The backup differs from what was saved (%n file(s) checked):", "", checked));
        textDetails->setPlainText(differencesText());
    }
    showResultPage();
}

QString VerifyBackup::differencesText() const
{
    return (section(tr("Changed files"), changed) + section(tr("Missing files"), missing) +
            section(tr("Files not in the checksum list"), unlisted) +
            section(tr("Incomplete sessions"), incomplete))
        .trimmed();
}

void VerifyBackup::showOnlyText(const QString& text)
{
    lblResult->setText(text);
    textDetails->hide();
    showResultPage();
}

void VerifyBackup::showResultPage()
{
    running = false;
    pages->setCurrentWidget(lblResult->parentWidget());
    if (QPushButton* close = makePageDefault(pages->currentWidget()))
        close->setFocus();
}

void VerifyBackup::showEvent(QShowEvent* event)
{
    fitIntoScreen(this);
    QDialog::showEvent(event);
}
