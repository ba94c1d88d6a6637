#include "changepinviewmodel.h"

ChangePinViewModel::ChangePinViewModel(std::shared_ptr<DeviceModel> deviceModel, QObject* parent)
    : ViewModel(parent), deviceModel(std::move(deviceModel))
{
}

void ChangePinViewModel::changePin(const QString& oldPin, const QString& newPin,
                                   const QString& newPinRepeat)
{
    if (!pinLengthIsValid(oldPin))
        return setErrorMessage(tr("Old PIN must be 4-15 characters long"));
    if (const QString error = newPinError(newPin, newPinRepeat); !error.isEmpty())
        return setErrorMessage(error);

    runCardCall(this, [&] {
        setErrorMessage(QString());
        deviceModel->changePin(SecretUtf8(oldPin), SecretUtf8(newPin));
        // Without a separate Admin user the Admin PIN follows the PIN.
        if (!hasSeparateAdminUser(*deviceModel))
            deviceModel->changeAdminPin(SecretUtf8(calculateAdminPinFromPin(oldPin)),
                                        SecretUtf8(calculateAdminPinFromPin(newPin)));
        emit changePinSucceeded();
    });
}
