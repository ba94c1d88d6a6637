#pragma once

#include "operationdialog.h"

#include <memory>

class DeviceModel;
class ActivateMemoryViewModel;
namespace Ui {
class ActivateMemory;
}

class ActivateMemory : public OperationDialog
{
    Q_OBJECT

public:
    explicit ActivateMemory(const std::shared_ptr<DeviceModel>& model, QDialog* parent = nullptr);
    ~ActivateMemory() override;

    // After a successful activation the dialog ends only when the card is unplugged.
    void reject() override;

private:
    void activate();
    void showSuccess();

    std::unique_ptr<Ui::ActivateMemory> ui;
    ActivateMemoryViewModel* viewModel;
};
