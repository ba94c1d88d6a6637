#include "changeadminpin.h"
#include "ui_changeadminpin.h"

#include "changeadminpinviewmodel.h"

ChangeAdminPin::ChangeAdminPin(const std::shared_ptr<DeviceModel>& model, QDialog* parent)
    : OperationDialog(parent), ui(new Ui::ChangeAdminPin),
      viewModel(new ChangeAdminPinViewModel(model))
{
    setUpThreePinForm(*ui, model->getDevicePath(), viewModel,
                      &ChangeAdminPinViewModel::changeAdminPin, tr("Change Admin PIN"));
    connect(viewModel, &ChangeAdminPinViewModel::changeAdminPinSucceeded, this, [this] {
        finishWithInformation(tr("Admin PIN change status"), tr("Admin PIN changed successfully!"));
    });
}

ChangeAdminPin::~ChangeAdminPin() = default;
