#include "SessionViewer.h"
#include "ui_SessionViewer.h"

#include "SessionViewerViewModel.h"
#include "dialoghelpers.h"
#include "messagebox.h"

#include <QDesktopServices>
#include <QUrl>

SessionViewer::SessionViewer(const std::shared_ptr<DeviceModel>& model, QDialog* parent)
    : OperationDialog(parent), ui(new Ui::SessionViewer), model(model),
      viewModel(new SessionViewerViewModel(model))
{
    ui->setupUi(this);
    ui->lblTitle->setText(ui->lblTitle->text().arg(cardName));
    ui->lblNoSessions->setText(ui->lblNoSessions->text().arg(cardName));
    QPushButton* openButton = ui->buttonBox->button(QDialogButtonBox::Ok);
    openButton->setText(tr("Open Session"));
    openButton->setEnabled(false);
    decorateWindow();
    startViewModel(viewModel);

    connect(viewModel, &SessionViewerViewModel::errorMessageChanged, ui->lblError,
            &QLabel::setText);
    connect(viewModel, &SessionViewerViewModel::hasQueriedSessionsChanged, this,
            [this](bool queried) {
                ui->stackedWidget->setCurrentWidget(queried ? ui->content : ui->loading);
            });
    connect(viewModel, &SessionViewerViewModel::availableSessionsChanged, this,
            &SessionViewer::showSessions);
    connect(viewModel, &SessionViewerViewModel::switchSessionSucceeded, this,
            &SessionViewer::openMountpointOfSession);
    connect(ui->sessionsTable, &QTableWidget::itemSelectionChanged, openButton,
            [openButton] { openButton->setEnabled(true); });
    connect(ui->sessionsTable, &QTableWidget::cellDoubleClicked, this,
            [this](int row) { switchSession(row); });
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this,
            [this] { switchSession(ui->sessionsTable->currentRow()); });
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &SessionViewer::reject);
    QMetaObject::invokeMethod(viewModel, &SessionViewerViewModel::initialize);
}

SessionViewer::~SessionViewer() = default;

void SessionViewer::showSessions(const SessionList& sessions)
{
    QTableWidget* table = ui->sessionsTable;
    table->clearContents();
    table->setRowCount(sessions.size());
    ui->stackedWidget_2->setCurrentWidget(sessions.isEmpty() ? ui->noSessions : ui->sessions);
    for (int row = 0; row < sessions.size(); ++row) {
        const Session& session = sessions.at(row);
        table->setItem(row, 0, new QTableWidgetItem(QString::number(session.id)));
        table->setItem(row, 1, new QTableWidgetItem(session.formattedDateTime));
        table->setItem(row, 2, new QTableWidgetItem(session.formattedDataSize));
    }
    table->resizeColumnsToContents();
}

void SessionViewer::switchSession(int row)
{
    QMetaObject::invokeMethod(viewModel, [vm = viewModel, row] { vm->switchSession(row); });
}

void SessionViewer::openMountpointOfSession()
{
    QMetaObject::invokeMethod(viewModel, [this, model = model] {
        const QString mountpoint = model->getDeviceMountpoint();
        QMetaObject::invokeMethod(
            this, [this, mountpoint] { openMountpoint(mountpoint); }, Qt::QueuedConnection);
    });
}

void SessionViewer::openMountpoint(const QString& mountpoint)
{
    // An unmounted card has no folder to show; name the card instead of an empty path.
    if (mountpoint.isEmpty()) {
        MessageBox::critical(
            this, tr("Error Opening the Device"),
            tr("Failed to open %1").arg(QString::fromStdString(model->getDevicePath())));
        return;
    }
    // The card did switch: without a program for folders, the user opens it by hand.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(mountpoint)))
        MessageBox::information(this, tr("Error Opening the Device"),
                                noFolderHandlerText(mountpoint));
}
