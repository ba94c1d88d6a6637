#include "FactoryResetViewModel.h"

FactoryResetViewModel::FactoryResetViewModel(std::shared_ptr<DeviceModel> deviceModel,
                                             QObject* parent)
    : ViewModel(parent), deviceModel(std::move(deviceModel))
{
}

void FactoryResetViewModel::factoryReset(QString password)
{
    const QString lengthError = pinOrAdminPinLengthError(*deviceModel, password);
    if (!lengthError.isEmpty())
        return setErrorMessage(lengthError);

    runCardCall(this, [&] {
        deviceModel->factoryReset(SecretUtf8(
            hasSeparateAdminUser(*deviceModel) ? password : calculateAdminPinFromPin(password)));
        // Back to normal writable operation before the user is told it worked.
        deviceModel->setReadWrite();
        emit factoryResetSucceeded();
    });
}
