#include "wipeDeviceViewModel.h"

namespace {
constexpr unsigned int userAdminSeparation = 0x02;
}

WipeDeviceViewModel::WipeDeviceViewModel(std::shared_ptr<DeviceModel> deviceModel, QObject* parent)
    : ViewModel(parent), deviceModel(std::move(deviceModel))
{
}

void WipeDeviceViewModel::wipeDevice(QString password)
{
    const bool hasAdminUser = deviceModel->securityFlags & userAdminSeparation;
    if (hasAdminUser && !adminPinLengthIsValid(password))
        return setErrorMessage(tr("Admin PIN must be 8-20 characters long"));
    if (!hasAdminUser && !pinLengthIsValid(password))
        return setErrorMessage(tr("PIN must be 4-15 characters long"));

    runCardCall(
        this, [this](const QString& error) { setErrorMessage(error); },
        [&] {
            deviceModel->reset(SecretUtf8(password));
            emit wipeContentSucceeded();
        });
}
