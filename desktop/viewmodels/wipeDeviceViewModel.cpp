#include "wipeDeviceViewModel.h"

WipeDeviceViewModel::WipeDeviceViewModel(std::shared_ptr<DeviceModel> deviceModel, QObject* parent)
    : ViewModel(parent), deviceModel(std::move(deviceModel))
{
}

void WipeDeviceViewModel::wipeDevice(QString password)
{
    const QString lengthError = pinOrAdminPinLengthError(*deviceModel, password);
    if (!lengthError.isEmpty())
        return setErrorMessage(lengthError);

    runCardCall(this, [&] {
        deviceModel->reset(SecretUtf8(password));
        emit wipeContentSucceeded();
    });
}
