#pragma once

#include "ViewModel.h"

#include <memory>

// A status snapshot is always news: the dialog shows every fresh reading.
inline bool isSamePropertyValue(const DeviceInfo&, const DeviceInfo&)
{
    return false;
}

class DeviceInfoViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, false)
    VIEWMODEL_PROPERTY(QString, errorMessage, ErrorMessage, QString())
    VIEWMODEL_PROPERTY(DeviceInfo, deviceInfo, DeviceInfo, DeviceInfo())

public:
    explicit DeviceInfoViewModel(std::shared_ptr<DeviceModel> deviceModel,
                                 QObject* parent = nullptr);

public Q_SLOTS:
    // Sends the empty state, then reads the card's status.
    void initialize() override;

private:
    std::shared_ptr<DeviceModel> deviceModel;
};
