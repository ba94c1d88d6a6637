#include "download.h"

#include "ui_download.h"

#include "dialoghelpers.h"
#include "downloadViewModel.h"
#include "downloadmodel.h"
#include "login.h"
#include "messagebox.h"
#include "productnames.h"
#include "waitingspinnerwidget.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QKeyEvent>
#include <QLayout>
#include <QPushButton>
#include <QUrl>

namespace {
constexpr unsigned long workerPollMs = 20;
} // namespace

Download::Download(QString mountPoint, std::shared_ptr<DeviceModel> device, QDialog* parent)
    : QDialog(parent), ui(new Ui_Download), device(device)
{
    setUpTexts();

    spinner = new WaitingSpinnerWidget(this, true, true);
    viewModel = new DownloadViewModel(std::move(mountPoint), new DownloadModel, std::move(device));
    viewModel->moveToThread(&thread);
    connect(&thread, &QThread::finished, viewModel, &QObject::deleteLater);
    thread.start();

    // Connected before the first property is sent: the worker runs already and would
    // otherwise announce the folder before anyone listens.
    connectViewModel();
    connectButtons();

    const QString folder = QDir::toNativeSeparators(lastBackupFolder());
    const QString mirrorFolder = QDir::toNativeSeparators(lastMirrorFolder());
    QMetaObject::invokeMethod(
        viewModel,
        [vm = viewModel, folder, mirrorFolder] {
            vm->setDestinationPath(folder);
            vm->setMirrorFolderPath(mirrorFolder);
        },
        Qt::QueuedConnection);
}

Download::~Download()
{
    stopWorker();
    delete ui;
}

void Download::setUpTexts()
{
    ui->setupUi(this);
    showPage(ui->pickFolder);
    ui->buttonBoxDownloadFolder->button(QDialogButtonBox::Ok)->setText(tr("Continue"));
    ui->loginButtonBox->button(QDialogButtonBox::Ok)->setText(tr("Download"));
    // The field shows where the backup goes; only the picker and the stored setting change it.
    ui->lineEditDownloadFolder->setReadOnly(true);

    const QString card = QString::fromLatin1(cardName);
    ui->lblTitleDownloadFolder->setText(
        tr("<html><head/><body><p align=\"center\"><span style=\" font-size:11pt; "
           "font-weight:600;\">Select Your Backup Folder</span></p><p>All data on your %1 will be "
           "copied to timestamped subdirectories in the folder given below.</p></body></html>")
            .arg(card));
    ui->lblTitleCanceled->setText(
        tr("<html><head/><body><p align=\"center\"><span style=\" font-size:11pt; "
           "font-weight:600;\">Download Canceled</span></p><p align=\"center\"><br/><img "
           "src=\":/icons/attention_circle_60x60.png\" /></p><p align=\"center\">Download was "
           "canceled.</p><p align=\"center\"><br/></p></body></html>"));
    ui->labelAdvice->setText(ui->labelAdvice->text().arg(card));
    ui->lblLoginTitle->setText(ui->lblLoginTitle->text().arg(card));

    setWindowIcon(QIcon(QStringLiteral(":/app_icon")));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

void Download::connectViewModel()
{
    DownloadViewModel* vm = viewModel;
    connect(vm, &DownloadViewModel::isUpdatingChanged, this,
            [this](bool updating) { updating ? spinner->start() : spinner->stop(); });
    connect(vm, &DownloadViewModel::destinationPathChanged, this, [this](const QString& path) {
        destination = path;
        ui->lineEditDownloadFolder->setText(path);
    });
    connect(vm, &DownloadViewModel::backupProgressChanged, ui->progressBar,
            &QProgressBar::setValue);
    connect(vm, &DownloadViewModel::mirrorFolderPathChanged, this, [this](const QString& path) {
        mirrorDestination = path;
        ui->lineEditMirrorFolder->setText(path);
    });
    connect(vm, &DownloadViewModel::backupPathChanged, this,
            [this](const QString& path) { backupPath = path; });
    connect(vm, &DownloadViewModel::mirrorBackupPathChanged, this, [this](const QString& path) {
        mirrorBackupPath = path;
        ui->btnOpenMirrorFolder->setVisible(!path.isEmpty());
    });
    connect(vm, &DownloadViewModel::backupSummaryChanged, ui->lblSuccessSummary, &QLabel::setText);
    connect(vm, &DownloadViewModel::backupWarningChanged, this, &Download::showSuccessTitle);
    connect(vm, &DownloadViewModel::backupFinished, this,
            [this] { showEndPage(ui->finishedSuccessfully); });
    connect(vm, &DownloadViewModel::backupCanceled, this, [this] { showEndPage(ui->canceled); });
    connect(vm, &DownloadViewModel::backupFailed, this,
            [this] { showEndPage(ui->finishedWithErrors); });
    connect(vm, &DownloadViewModel::errorMessageChanged, this, [this](const QString& error) {
        ui->plainTextEditErrors->clear();
        ui->plainTextEditErrors->appendPlainText(error);
        // What happened comes first; the sessions' state follows.
        ui->plainTextEditErrors->moveCursor(QTextCursor::Start);
    });
    connect(vm, &DownloadViewModel::titleDownloadingChanged, this, [this](const QString& title) {
        ui->lblTitleDownloading->setText(
            QStringLiteral("<html><head/><body><p><span style=\" font-size:11pt; "
                           "font-weight:600;\">%1</span></p></body></html>")
                .arg(title));
    });
    connect(vm, &DownloadViewModel::downloadMetricsChanged, ui->labelDownloadMetrics,
            &QLabel::setText);
    connect(vm, &DownloadViewModel::loginErrorMessageChanged, ui->lblLoginError, &QLabel::setText);
    connect(vm, &DownloadViewModel::loginSucceeded, this, [this] {
        showPage(ui->downloadInProgress);
        running = true;
        ranBackup = true;
        QMetaObject::invokeMethod(viewModel, &DownloadViewModel::copyFiles, Qt::QueuedConnection);
    });
    connect(vm, &DownloadViewModel::aboutToOverwriteFile, this, &Download::answerFileConflict,
            Qt::BlockingQueuedConnection);
    connect(vm, &DownloadViewModel::aboutToOverwriteFolder, this, &Download::answerFolderConflict,
            Qt::BlockingQueuedConnection);
}

void Download::connectButtons()
{
    connect(ui->btnFolderPicker, &QPushButton::clicked, this, &Download::pickFolder);
    connect(ui->btnMirrorFolderPicker, &QPushButton::clicked, this, &Download::pickMirrorFolder);
    connect(ui->btnMirrorFolderClear, &QPushButton::clicked, this, [this] {
        QMetaObject::invokeMethod(
            viewModel, [vm = viewModel] { vm->setMirrorFolderPath(QString()); },
            Qt::QueuedConnection);
    });
    connect(ui->buttonBoxDownloadFolder, &QDialogButtonBox::accepted, this, &Download::startRun);
    connect(ui->buttonBoxDownloadFolder, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui->loginButtonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui->loginButtonBox, &QDialogButtonBox::accepted, this, [this] {
        QMetaObject::invokeMethod(viewModel, "login", Qt::QueuedConnection,
                                  Q_ARG(QString, ui->lineEditPin->text()));
    });
    connect(ui->btnBoxCancelDownload, &QDialogButtonBox::rejected, this,
            [this] { viewModel->setCancelDownload(true); });
    for (QDialogButtonBox* box : {ui->btnBoxError, ui->btnBoxSuccess, ui->btnBoxCanceled})
        connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->btnOpenDownloadFolder, &QPushButton::clicked, this,
            [this] { openFolder(backupPath); });
    connect(ui->btnOpenMirrorFolder, &QPushButton::clicked, this,
            [this] { openFolder(mirrorBackupPath); });
}

int Download::exec()
{
    Login login(device, nullptr);
    if (login.exec() != QDialog::Accepted)
        return QDialog::Rejected;
    return QDialog::exec();
}

// Escape during a run does what Cancel does: the run stops and its end page tells so, rather
// than the dialog vanishing with the run.
void Download::keyPressEvent(QKeyEvent* event)
{
    if (running && event->matches(QKeySequence::Cancel))
        viewModel->setCancelDownload(true);
    else
        QDialog::keyPressEvent(event);
}

void Download::done(int result)
{
    // A dialog that goes away takes its run with it.
    if (running) {
        running = false;
        viewModel->setCancelDownload(true);
    }
    QDialog::done(result);
}

void Download::deviceRemoved()
{
    if (running) {
        viewModel->cardRemoved();
        return;
    }
    // The run that noticed the pull first has ended on the page that says so: it stays.
    if (!ranBackup)
        close();
}

void Download::showPage(QWidget* page)
{
    ui->stackedWidget->setCurrentWidget(page);
    if (QPushButton* accepting = makePageDefault(page))
        accepting->setFocus();
}

void Download::showEndPage(QWidget* page)
{
    running = false;
    showPage(page);
    growToFit(page);
}

void Download::growToFit(QWidget* page)
{
    // The summary and the error texts wrap: what they need depends on the width they get.
    QLayout* layout = page->layout();
    layout->activate();
    const int needed = layout->hasHeightForWidth() ? layout->totalHeightForWidth(page->width())
                                                   : layout->totalSizeHint().height();
    if (needed > page->height())
        resize(width(), height() + needed - page->height());
}

void Download::startRun()
{
    rememberBackupFolder(destination);
    rememberMirrorFolder(mirrorDestination);
    emit viewModel->loginSucceeded();
}

QString Download::askForFolder(const QString& current)
{
    const QString start =
        !current.isEmpty() && QDir(current).exists() ? current : lastBackupFolder();
    QString folder = FileDialog::getExistingDirectory(this, tr("Open Directory"), start,
                                                      QFileDialog::ShowDirsOnly |
                                                          QFileDialog::DontResolveSymlinks);
    // Enter goes on from here, rather than opening the picker again.
    ui->buttonBoxDownloadFolder->button(QDialogButtonBox::Ok)->setFocus();
    return folder;
}

void Download::pickFolder()
{
    const QString folder = askForFolder(destination);
    // A cancelled picker keeps the folder as it was.
    if (folder.isEmpty())
        return;
    QMetaObject::invokeMethod(
        viewModel, [vm = viewModel, folder] { vm->setDestinationPath(folder); },
        Qt::QueuedConnection);
}

void Download::pickMirrorFolder()
{
    const QString folder = askForFolder(mirrorDestination);
    // A cancelled picker keeps the second copy as it was; "None" removes it.
    if (folder.isEmpty())
        return;
    QMetaObject::invokeMethod(
        viewModel, [vm = viewModel, folder] { vm->setMirrorFolderPath(folder); },
        Qt::QueuedConnection);
}

void Download::openFolder(const QString& folder)
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        return;
    MessageBox::information(this, tr("Open Download Folder"),
                            noFolderHandlerText(QDir::toNativeSeparators(folder)));
}

void Download::showSuccessTitle(bool warning)
{
    if (!warning)
        return;
    ui->lblTitleSuccess->setText(
        tr("<html><head/><body><p align=\"center\"><span style=\" font-size:11pt; "
           "font-weight:600;\">Download Complete, with Warnings</span><br/></p><p "
           "align=\"center\"><img src=\":/icons/attention_circle_60x60.png\"/></p></body></html>"));
}

void Download::answerFileConflict(const QString& path)
{
    const ConflictReply reply =
        askConflict(tr("File Conflict"),
                    tr("The file %1 already exists. Do you want to overwrite it?").arg(path),
                    tr("Overwrite"), tr("Apply this action to all files"));
    applyReply(reply, &DownloadViewModel::setOverwriteCurrentFile,
               &DownloadViewModel::setOverwriteAllFiles, &DownloadViewModel::setOverwriteNoFiles);
}

void Download::answerFolderConflict(const QString& path)
{
    const ConflictReply reply = askConflict(
        tr("Merge Folder"),
        tr("The folder %1 already exists. Do you want to merge the new folder with the existing "
           "folder? Merging will add any missing files to the existing folder and ask for "
           "confirmation before replacing any conflicting files.")
            .arg(path),
        tr("Merge"), tr("Apply this action to all folders"));
    applyReply(reply, &DownloadViewModel::setOverwriteCurrentFolder,
               &DownloadViewModel::setOverwriteAllFolders,
               &DownloadViewModel::setOverwriteNoFolders);
}

Download::ConflictReply Download::askConflict(const QString& title, const QString& text,
                                              const QString& replaceText,
                                              const QString& applyToAllText)
{
    // A dialog on its way out asks nothing: the run stops.
    if (!running)
        return {ConflictAnswer::Cancel, false};
    MessageBoxRequest request;
    request.icon = QMessageBox::Question;
    request.title = title;
    request.text = text;
    request.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    request.buttonTexts = {{QMessageBox::Yes, replaceText},
                           {QMessageBox::No, tr("Skip")},
                           {QMessageBox::Cancel, tr("Cancel Download")}};
    request.checkBoxText = applyToAllText;
    // Without a parent, as the box may outlive a dialog that the removal notice closes.
    const MessageBoxAnswer answer = MessageBox::ask(nullptr, request);
    if (answer.button == QMessageBox::Yes)
        return {ConflictAnswer::Replace, answer.checkBoxChecked};
    if (answer.button == QMessageBox::No)
        return {ConflictAnswer::Keep, answer.checkBoxChecked};
    return {ConflictAnswer::Cancel, answer.checkBoxChecked};
}

void Download::applyReply(const ConflictReply& reply, void (DownloadViewModel::*setCurrent)(bool),
                          void (DownloadViewModel::*setAll)(bool),
                          void (DownloadViewModel::*setNone)(bool))
{
    // A cancel is never taken back, not even by an answer that arrives after it.
    if (reply.answer == ConflictAnswer::Cancel)
        viewModel->setCancelDownload(true);
    (viewModel->*setAll)(reply.answer == ConflictAnswer::Replace && reply.applyToAll);
    (viewModel->*setNone)(reply.answer == ConflictAnswer::Keep && reply.applyToAll);
    (viewModel->*setCurrent)(reply.answer == ConflictAnswer::Replace);
}

void Download::stopWorker()
{
    running = false;
    viewModel->setCancelDownload(true);
    thread.quit();
    // A question the worker asks now is answered at once with Cancel (running is false), so
    // the worker never waits for a dialog that waits for it.
    while (!thread.wait(workerPollMs))
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void Download::showEvent(QShowEvent* event)
{
    fitIntoScreen(this);
    QDialog::showEvent(event);
}
