#include "DeviceInfoViewModel.h"

DeviceInfoViewModel::DeviceInfoViewModel(std::shared_ptr<DeviceModel> deviceModel, QObject* parent)
    : ViewModel(parent), deviceModel(std::move(deviceModel))
{
}

void DeviceInfoViewModel::initialize()
{
    notifyAllSignals();
    runCardCall(this, [this] { setDeviceInfo(deviceModel->deviceInfo()); });
}
