#pragma once

#include "ViewModel.h"

#include <memory>

class QTimer;

class ActivateMemoryViewModel : public ViewModel
{
    Q_OBJECT
    VIEWMODEL_PROPERTY(QString, errorMessage, ErrorMessage, QString())
    VIEWMODEL_PROPERTY(bool, isUpdating, IsUpdating, false)

public:
    ActivateMemoryViewModel(std::shared_ptr<DeviceModel> deviceModel, int unplugPollInterval = 200,
                            QObject* parent = nullptr);
    ~ActivateMemoryViewModel() override;

public Q_SLOTS:
    void activate(const QString& pin, const QString& pinRepeat, QString adminPin,
                  const QString& adminPinRepeat, bool useAdminPin);

Q_SIGNALS:
    void activateSucceeded();
    void deviceWasUnplugged();
    // The form was refused before reaching the card: the PIN's fields, or the Admin PIN's.
    void inputRefused(bool adminPin);

private:
    struct Refusal
    {
        QString error; // empty: the form is fine
        bool adminPin = false;
    };
    Refusal validationError(const QString& pin, const QString& pinRepeat, const QString& adminPin,
                            const QString& adminPinRepeat, bool useAdminPin) const;
    void watchForUnplug();
    void pollConnection();

    std::shared_ptr<DeviceModel> deviceModel;
    int unplugPollInterval;
    QTimer* unplugTimer = nullptr;
};
