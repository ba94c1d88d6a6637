#pragma once

#include "ViewModel.h"

#include <memory>

class ChangePinViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(QString, errorMessage, ErrorMessage, QString())
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, false)

public:
    explicit ChangePinViewModel(std::shared_ptr<DeviceModel> deviceModel,
                                QObject* parent = nullptr);

public Q_SLOTS:
    void changePin(const QString& oldPin, const QString& newPin, const QString& newPinRepeat);

Q_SIGNALS:
    void changePinSucceeded();
    // The PIN changed, but the Admin PIN derived from it did not; explanation is for the user
    // (also set as errorMessage).
    void adminPinNotChanged(const QString& explanation);

private:
    void reportAdminPinBehind(const DeviceException& error);

    std::shared_ptr<DeviceModel> deviceModel;
};
