#pragma once

#include "ViewModel.h"

#include <memory>

class WipeDeviceViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, false)
    VIEWMODEL_PROPERTY(QString, errorMessage, ErrorMessage, QString())

public:
    explicit WipeDeviceViewModel(std::shared_ptr<DeviceModel> deviceModel,
                                 QObject* parent = nullptr);

public Q_SLOTS:
    // Passed to the card exactly as typed; the card picks PIN or Admin PIN itself.
    void wipeDevice(QString password);

Q_SIGNALS:
    void wipeContentSucceeded();

private:
    std::shared_ptr<DeviceModel> deviceModel;
};
