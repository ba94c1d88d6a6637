#pragma once

#include "operationdialog.h"

#include <memory>

class DeviceModel;
class ChangeAdminPinViewModel;
namespace Ui {
class ChangeAdminPin;
}

class ChangeAdminPin : public OperationDialog
{
    Q_OBJECT

public:
    explicit ChangeAdminPin(const std::shared_ptr<DeviceModel>& model, QDialog* parent = nullptr);
    ~ChangeAdminPin() override;

private:
    std::unique_ptr<Ui::ChangeAdminPin> ui;
    ChangeAdminPinViewModel* viewModel;
};
