#include "activateMemoryViewModel.h"

#include "CardManagement.h"

#include <QTimer>

ActivateMemoryViewModel::ActivateMemoryViewModel(std::shared_ptr<DeviceModel> deviceModel,
                                                 int unplugPollInterval, QObject* parent)
    : ViewModel(parent), deviceModel(std::move(deviceModel)), unplugPollInterval(unplugPollInterval)
{
}

ActivateMemoryViewModel::~ActivateMemoryViewModel()
{
    // Closed before the card was unplugged: give the device scan back, or it stays paused
    // and later busy announcements no longer reach it.
    if (unplugTimer && unplugTimer->isActive())
        deviceModel->setBusy(false);
}

ActivateMemoryViewModel::Refusal
ActivateMemoryViewModel::validationError(const QString& pin, const QString& pinRepeat,
                                         const QString& adminPin, const QString& adminPinRepeat,
                                         bool useAdminPin) const
{
    if (!pinLengthIsValid(pin))
        return {tr("PIN must be 4-15 characters long"), false};
    if (pin != pinRepeat)
        return {tr("PIN & re-entered PIN do not match"), false};
    if (useAdminPin && !adminPinLengthIsValid(adminPin))
        return {tr("Admin PIN must be 8-20 characters long"), true};
    if (useAdminPin && adminPin != adminPinRepeat)
        return {tr("Admin PIN & re-entered Admin PIN do not match"), true};
    return {};
}

void ActivateMemoryViewModel::activate(const QString& pin, const QString& pinRepeat,
                                       QString adminPin, const QString& adminPinRepeat,
                                       bool useAdminPin)
{
    const Refusal refusal = validationError(pin, pinRepeat, adminPin, adminPinRepeat, useAdminPin);
    if (!refusal.error.isEmpty()) {
        setErrorMessage(refusal.error);
        emit inputRefused(refusal.adminPin);
        return;
    }
    if (!useAdminPin)
        adminPin = calculateAdminPinFromPin(pin);
    const bool activated = runCardCall(this, [&] {
        deviceModel->activate(SecretUtf8(pin), SecretUtf8(adminPin),
                              useAdminPin ? TRESORA_AC_FLAG_USER_ADMIN_SEPARATION : 0);
        // The card must be replugged; keep the scan away from it until then.
        deviceModel->setBusy(true);
        emit activateSucceeded();
    });
    if (activated)
        watchForUnplug();
}

void ActivateMemoryViewModel::watchForUnplug()
{
    if (!unplugTimer) {
        unplugTimer = new QTimer(this);
        connect(unplugTimer, &QTimer::timeout, this, &ActivateMemoryViewModel::pollConnection);
    }
    unplugTimer->start(unplugPollInterval);
}

void ActivateMemoryViewModel::pollConnection()
{
    if (deviceModel->isConnectedToSystem())
        return;
    unplugTimer->stop();
    emit deviceWasUnplugged();
    deviceModel->setBusy(false);
}
