#pragma once

#include "operationdialog.h"

#include <memory>

class DeviceModel;
class UnblockPinViewModel;
namespace Ui {
class UnblockPin;
}

class UnblockPin : public OperationDialog
{
    Q_OBJECT

public:
    explicit UnblockPin(const std::shared_ptr<DeviceModel>& model, QDialog* parent = nullptr);
    ~UnblockPin() override;

private:
    std::unique_ptr<Ui::UnblockPin> ui;
    UnblockPinViewModel* viewModel;
};
