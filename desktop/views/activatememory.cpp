#include "activatememory.h"
#include "ui_activatememory.h"

#include "activateMemoryViewModel.h"

namespace {
// The dialog creates its view model with this unplug poll interval.
constexpr int unplugPollIntervalMs = 200;
} // namespace

ActivateMemory::ActivateMemory(const std::shared_ptr<DeviceModel>& model, QDialog* parent)
    : OperationDialog(parent), ui(new Ui::ActivateMemory),
      viewModel(new ActivateMemoryViewModel(model, unplugPollIntervalMs))
{
    ui->setupUi(this);
    ui->lblTitle->setText(ui->lblTitle->text().arg(cardName));
    ui->lblConfirmation->setText(ui->lblConfirmation->text().arg(
        QString::fromStdString(model->getDevicePath()), cardFullName));
    ui->lblSuccess->setText(ui->lblSuccess->text().arg(cardFullName));
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("Continue"));
    ui->buttonBoxActivate->button(QDialogButtonBox::Ok)->setText(tr("Activate"));
    decorateWindow();
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint) & ~Qt::WindowCloseButtonHint);
    ui->typeStackedWidget->setCurrentWidget(ui->roleSeparation);
    showPage(ui->stackedWidget, ui->activateDialog);
    ui->setAdminPin->setEnabled(false);
    startViewModel(viewModel);

    connect(viewModel, &ActivateMemoryViewModel::errorMessageChanged, ui->lblError,
            &QLabel::setText);
    connect(viewModel, &ActivateMemoryViewModel::activateSucceeded, this,
            &ActivateMemory::showSuccess);
    connect(viewModel, &ActivateMemoryViewModel::deviceWasUnplugged, this, &ActivateMemory::accept);
    connect(viewModel, &ActivateMemoryViewModel::inputRefused, this, [this](bool adminPin) {
        QLineEdit* refused = adminPin ? ui->lineEditAdminPin : ui->lineEditPin;
        refused->setFocus();
        refused->selectAll();
    });
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, [this] {
        showPage(ui->stackedWidget, ui->setPinAndAdminPin);
        ui->lineEditPin->setFocus();
    });
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &ActivateMemory::reject);
    connect(ui->userAdminSeparationCheckBox, &QCheckBox::stateChanged, this,
            [this](int state) { ui->setAdminPin->setEnabled(state == Qt::Checked); });
    connect(ui->buttonBoxActivate, &QDialogButtonBox::accepted, this, &ActivateMemory::activate);
    connect(ui->buttonBoxActivate, &QDialogButtonBox::rejected, this, &ActivateMemory::reject);
}

ActivateMemory::~ActivateMemory() = default;

void ActivateMemory::reject()
{
    if (ui->stackedWidget->currentWidget() != ui->activateSuccess)
        OperationDialog::reject();
}

void ActivateMemory::activate()
{
    // The check box is read here, on the GUI thread, like every other input of the form.
    QMetaObject::invokeMethod(
        viewModel,
        [vm = viewModel, pin = ui->lineEditPin->text(), pinRepeat = ui->lineEditReEnterPin->text(),
         adminPin = ui->lineEditAdminPin->text(),
         adminPinRepeat = ui->lineEditReEnterAdminPin->text(),
         useAdminPin = ui->userAdminSeparationCheckBox->isChecked()] {
            vm->activate(pin, pinRepeat, adminPin, adminPinRepeat, useAdminPin);
        });
}

void ActivateMemory::showSuccess()
{
    ui->typeStackedWidget->setCurrentWidget(ui->emptyPage);
    showPage(ui->stackedWidget, ui->activateSuccess);
}
