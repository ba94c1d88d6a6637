#pragma once

#include "operationdialog.h"

#include <memory>

class DeviceModel;
class ChangePinViewModel;
namespace Ui {
class ChangePin;
}

class ChangePin : public OperationDialog
{
    Q_OBJECT

public:
    explicit ChangePin(const std::shared_ptr<DeviceModel>& model, QDialog* parent = nullptr);
    ~ChangePin() override;

private:
    std::unique_ptr<Ui::ChangePin> ui;
    ChangePinViewModel* viewModel;
};
