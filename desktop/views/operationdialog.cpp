#include "operationdialog.h"

#include "dialoghelpers.h"
#include "messagebox.h"
#include "waitingspinnerwidget.h"

#include <QIcon>

OperationDialog::OperationDialog(QWidget* parent) : QDialog(parent) {}

OperationDialog::~OperationDialog()
{
    workerThread.quit();
    workerThread.wait();
}

void OperationDialog::showEvent(QShowEvent* event)
{
    fitIntoScreen(this);
    QDialog::showEvent(event);
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
    makePageDefault(this);
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
    if (busy) {
        focusBeforeBusy = focusWidget();
        spinner->start();
    } else {
        spinner->stop();
        restoreFocus();
    }
}

void OperationDialog::guardSecret(QLineEdit* field, QLabel* errorLabel, ViewModel* viewModel)
{
    guardedSecret = field;
    refusalLabel = errorLabel;
    connect(viewModel, &ViewModel::secretRefused, this, &OperationDialog::noteRefusal);
}

bool OperationDialog::mayBeSent()
{
    if (!guardedSecret || refusedSecret.isEmpty() || guardedSecret->text() != refusedSecret)
        return true;
    refusalLabel->setText(tr("The card has just refused this PIN, so it was not sent again. "
                             "Please type the PIN anew."));
    focusBeforeBusy = guardedSecret;
    restoreFocus();
    return false;
}

void OperationDialog::noteRefusal()
{
    refusedSecret = guardedSecret ? guardedSecret->text() : QString();
    focusBeforeBusy = guardedSecret;
    if (!isBusy())
        restoreFocus();
}

void OperationDialog::restoreFocus()
{
    if (!focusBeforeBusy)
        return;
    focusBeforeBusy->setFocus();
    if (focusBeforeBusy == guardedSecret && guardedSecret->text() == refusedSecret)
        guardedSecret->selectAll();
}

// The dialog takes the size of the page it shows, not of its largest page.
void OperationDialog::showPage(QStackedWidget* pages, QWidget* page)
{
    for (int i = 0; i < pages->count(); ++i) {
        const QSizePolicy::Policy policy =
            pages->widget(i) == page ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        pages->widget(i)->setSizePolicy(policy, policy);
    }
    pages->setCurrentWidget(page);
    makePageDefault(page);
    if (isVisible())
        fitIntoScreen(this);
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
