#include "changeadminpinviewmodel.h"

ChangeAdminPinViewModel::ChangeAdminPinViewModel(std::shared_ptr<DeviceModel> deviceModel,
                                                 QObject* parent)
    : ViewModel(parent), deviceModel(std::move(deviceModel))
{
}

void ChangeAdminPinViewModel::changeAdminPin(const QString& oldAdminPin, const QString& newAdminPin,
                                             const QString& newAdminPinRepeat)
{
    if (!adminPinLengthIsValid(oldAdminPin))
        return setErrorMessage(tr("Old Admin PIN must be 8-20 characters long"));
    if (!adminPinLengthIsValid(newAdminPin))
        return setErrorMessage(tr("New Admin PIN must be 8-20 characters long"));
    if (newAdminPin != newAdminPinRepeat)
        return setErrorMessage(tr("Admin PIN & re-entered Admin PIN do not match"));

    runCardCall(this, [&] {
        setErrorMessage(QString());
        deviceModel->changeAdminPin(SecretUtf8(oldAdminPin), SecretUtf8(newAdminPin));
        emit changeAdminPinSucceeded();
    });
}
