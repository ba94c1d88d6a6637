#include "operationdialog.h"

#include "messagebox.h"
#include "waitingspinnerwidget.h"

#include <QIcon>

OperationDialog::OperationDialog(QWidget* parent) : QDialog(parent) {}

OperationDialog::~OperationDialog()
{
    workerThread.quit();
    workerThread.wait();
}

void OperationDialog::reject()
{
    if (!isBusy())
        QDialog::reject();
}

void OperationDialog::decorateWindow()
{
    setWindowIcon(QIcon(QStringLiteral(":/app_icon")));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void OperationDialog::moveToWorker(QObject* viewModel)
{
    // Created after the form so that it lies above the form's widgets.
    spinner = new WaitingSpinnerWidget(this, true, true);
    viewModel->moveToThread(&workerThread);
    connect(&workerThread, &QThread::finished, viewModel, &QObject::deleteLater);
    workerThread.start(QThread::InheritPriority);
}

void OperationDialog::showBusy(bool busy)
{
    if (busy)
        spinner->start();
    else
        spinner->stop();
}

bool OperationDialog::isBusy() const
{
    return spinner && spinner->isSpinning();
}

void OperationDialog::finishWithInformation(const QString& title, const QString& text)
{
    MessageBox::information(this, title, text);
    accept();
}
