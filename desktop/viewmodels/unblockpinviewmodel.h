#pragma once

#include "ViewModel.h"

#include <memory>

class UnblockPinViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(QString, errorMessage, ErrorMessage, QString())
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, false)

public:
    explicit UnblockPinViewModel(std::shared_ptr<DeviceModel> deviceModel,
                                 QObject* parent = nullptr);

public Q_SLOTS:
    void unblockPin(const QString& adminPin, const QString& newPin, const QString& newPinRepeat);

Q_SIGNALS:
    void unblockPinSucceeded();

private:
    std::shared_ptr<DeviceModel> deviceModel;
};
