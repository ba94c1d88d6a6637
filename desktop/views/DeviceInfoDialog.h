#pragma once

#include "operationdialog.h"

#include <memory>

class DeviceModel;
class DeviceInfoViewModel;
struct DeviceInfo;
namespace Ui {
class DeviceInfoDialog;
}

class DeviceInfoDialog : public OperationDialog
{
    Q_OBJECT

public:
    explicit DeviceInfoDialog(const std::shared_ptr<DeviceModel>& model, QWidget* parent = nullptr);
    ~DeviceInfoDialog() override;

private:
    void showDeviceInfo(const DeviceInfo& info);

    std::unique_ptr<Ui::DeviceInfoDialog> ui;
    DeviceInfoViewModel* viewModel;
};
