#pragma once

#include "ViewModel.h"

#include <memory>

class ChangeAdminPinViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(QString, errorMessage, ErrorMessage, QString())
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, false)

public:
    explicit ChangeAdminPinViewModel(std::shared_ptr<DeviceModel> deviceModel,
                                     QObject* parent = nullptr);

public Q_SLOTS:
    void changeAdminPin(const QString& oldAdminPin, const QString& newAdminPin,
                        const QString& newAdminPinRepeat);

Q_SIGNALS:
    void changeAdminPinSucceeded();

private:
    std::shared_ptr<DeviceModel> deviceModel;
};
