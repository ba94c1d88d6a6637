#include "unblockpin.h"
#include "ui_unblockpin.h"

#include "unblockpinviewmodel.h"

UnblockPin::UnblockPin(const std::shared_ptr<DeviceModel>& model, QDialog* parent)
    : OperationDialog(parent), ui(new Ui::UnblockPin), viewModel(new UnblockPinViewModel(model))
{
    setUpThreePinForm(*ui, model->getDevicePath(), viewModel, &UnblockPinViewModel::unblockPin,
                      tr("Unblock PIN"));
    connect(viewModel, &UnblockPinViewModel::unblockPinSucceeded, this, [this] {
        finishWithInformation(tr("Unblock PIN status"), tr("PIN unblocked successfully!"));
    });
}

UnblockPin::~UnblockPin() = default;
