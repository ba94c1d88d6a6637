#include "changepinviewmodel.h"

namespace {
constexpr unsigned int userAdminSeparation = 0x02;
}

ChangePinViewModel::ChangePinViewModel(std::shared_ptr<DeviceModel> deviceModel, QObject* parent)
    : ViewModel(parent), deviceModel(std::move(deviceModel))
{
}

void ChangePinViewModel::changePin(const QString& oldPin, const QString& newPin,
                                   const QString& newPinRepeat)
{
    if (!pinLengthIsValid(oldPin))
        return setErrorMessage(tr("Old PIN must be 4-15 characters long"));
    if (!pinLengthIsValid(newPin))
        return setErrorMessage(tr("New PIN must be 4-15 characters long"));
    if (newPin != newPinRepeat)
        return setErrorMessage(tr("PIN & re-entered PIN do not match"));

    runCardCall(
        this, [this](const QString& error) { setErrorMessage(error); },
        [&] {
            setErrorMessage(QString());
            deviceModel->changePin(SecretUtf8(oldPin), SecretUtf8(newPin));
            // Without a separate Admin user the Admin PIN follows the PIN.
            if (!(deviceModel->securityFlags & userAdminSeparation))
                deviceModel->changeAdminPin(SecretUtf8(calculateAdminPinFromPin(oldPin)),
                                            SecretUtf8(calculateAdminPinFromPin(newPin)));
            emit changePinSucceeded();
        });
}
