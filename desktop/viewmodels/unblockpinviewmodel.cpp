#include "unblockpinviewmodel.h"

UnblockPinViewModel::UnblockPinViewModel(std::shared_ptr<DeviceModel> deviceModel, QObject* parent)
    : ViewModel(parent), deviceModel(std::move(deviceModel))
{
}

void UnblockPinViewModel::unblockPin(const QString& adminPin, const QString& newPin,
                                     const QString& newPinRepeat)
{
    if (!adminPinLengthIsValid(adminPin))
        return setErrorMessage(tr("Admin PIN must be 8-20 characters long"));
    if (const QString error = newPinError(newPin, newPinRepeat); !error.isEmpty())
        return setErrorMessage(error);

    runCardCall(this, [&] {
        setErrorMessage(QString());
        deviceModel->unblockPin(SecretUtf8(adminPin), SecretUtf8(newPin));
        emit unblockPinSucceeded();
    });
}
