#include "FactoryResetViewModel.h"

namespace {
constexpr unsigned int userAdminSeparation = 0x02;
}

FactoryResetViewModel::FactoryResetViewModel(std::shared_ptr<DeviceModel> deviceModel,
                                             QObject* parent)
    : ViewModel(parent), deviceModel(std::move(deviceModel))
{
}

void FactoryResetViewModel::factoryReset(QString password)
{
    const bool hasAdminUser = deviceModel->securityFlags & userAdminSeparation;
    if (hasAdminUser && !adminPinLengthIsValid(password))
        return setErrorMessage(tr("Admin PIN must be 8-20 characters long"));
    if (!hasAdminUser && !pinLengthIsValid(password))
        return setErrorMessage(tr("PIN must be 4-15 characters long"));

    runCardCall(
        this, [this](const QString& error) { setErrorMessage(error); },
        [&] {
            deviceModel->factoryReset(
                SecretUtf8(hasAdminUser ? password : calculateAdminPinFromPin(password)));
            // Back to normal writable operation before the user is told it worked.
            deviceModel->setReadWrite();
            emit factoryResetSucceeded();
        });
}
