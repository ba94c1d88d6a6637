#pragma once

#include "operationdialog.h"

#include <memory>

class DeviceModel;
class WipeDeviceViewModel;
namespace Ui {
class WipeDevice;
}

class WipeDevice : public OperationDialog
{
    Q_OBJECT

public:
    explicit WipeDevice(const std::shared_ptr<DeviceModel>& model, QDialog* parent = nullptr);
    ~WipeDevice() override;

private:
    std::unique_ptr<Ui::WipeDevice> ui;
    WipeDeviceViewModel* viewModel;
};
