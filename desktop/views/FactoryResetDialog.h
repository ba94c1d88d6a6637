#pragma once

#include "operationdialog.h"

#include <memory>

class DeviceModel;
class FactoryResetViewModel;
namespace Ui {
class FactoryResetDialog;
}

class FactoryResetDialog : public OperationDialog
{
    Q_OBJECT

public:
    explicit FactoryResetDialog(const std::shared_ptr<DeviceModel>& model,
                                QWidget* parent = nullptr);
    ~FactoryResetDialog() override;

private:
    std::unique_ptr<Ui::FactoryResetDialog> ui;
    FactoryResetViewModel* viewModel;
};
