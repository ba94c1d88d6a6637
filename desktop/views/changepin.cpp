#include "changepin.h"
#include "ui_changepin.h"

#include "changepinviewmodel.h"
#include "messagebox.h"

ChangePin::ChangePin(const std::shared_ptr<DeviceModel>& model, QDialog* parent)
    : OperationDialog(parent), ui(new Ui::ChangePin), viewModel(new ChangePinViewModel(model))
{
    setUpThreePinForm(*ui, model->getDevicePath(), viewModel, &ChangePinViewModel::changePin,
                      tr("Change PIN"));
    connect(viewModel, &ChangePinViewModel::changePinSucceeded, this, [this] {
        finishWithInformation(tr("PIN change status"), tr("PIN changed successfully!"));
    });
    // The PIN did change: the old one no longer works, so the form must not be sent again.
    connect(viewModel, &ChangePinViewModel::adminPinNotChanged, this,
            [this](const QString& explanation) {
                MessageBox::warning(this, tr("PIN change status"), explanation);
                accept();
            });
}

ChangePin::~ChangePin() = default;
