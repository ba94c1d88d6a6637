#include "changepinviewmodel.h"

#include "CardManagement.h"

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
        // Without a separate Admin user the card library changes the derived Admin PIN too.
        try {
            deviceModel->changePin(SecretUtf8(oldPin), SecretUtf8(newPin));
        } catch (const DeviceException& error) {
            if (error.errorCode != TRESORA_AC_ERR_ADMIN_PIN_BEHIND)
                throw;
            return reportAdminPinBehind(error);
        }
        emit changePinSucceeded();
    });
}

void ChangePinViewModel::reportAdminPinBehind(const DeviceException& error)
{
    // The card's own text would speak of an Admin PIN the user never typed.
    const QString explanation =
        tr("Your PIN was changed, but the Admin PIN that goes with it could not be changed "
           "(%1).\n\nLog in and wipe the card with your new PIN. A factory reset still "
           "needs your old PIN: keep a note of it.")
            .arg(deviceErrorText(error));
    setErrorMessage(explanation);
    emit adminPinNotChanged(explanation);
}
