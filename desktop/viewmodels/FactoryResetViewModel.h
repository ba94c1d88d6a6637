#pragma once

#include "ViewModel.h"

#include <memory>

class FactoryResetViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, false)
    VIEWMODEL_PROPERTY(QString, errorMessage, ErrorMessage, QString())

public:
    explicit FactoryResetViewModel(std::shared_ptr<DeviceModel> deviceModel,
                                   QObject* parent = nullptr);

public Q_SLOTS:
    // Admin PIN on a card with a separate Admin user, else the PIN.
    void factoryReset(QString password = QString());

Q_SIGNALS:
    void factoryResetSucceeded();

private:
    std::shared_ptr<DeviceModel> deviceModel;
};
