#ifndef VAULTDESK_DEVICE_H
#define VAULTDESK_DEVICE_H

#include "devicemodel.h"

#include <QList>
#include <QMetaType>
#include <QString>

// A card recognised by the device scan.
class Device
{
public:
    Device() = default;
    Device(const QString& devicePath, const QString& label, DeviceTypes type, bool securityActive,
           FirmwareType firmwareType, unsigned int incompatibilityFlags,
           unsigned int securityFlags);

    QString displayName() const;
    // Same card in the same slot; label and flags may have changed.
    bool isSameDevice(const Device& other) const;
    bool operator==(const Device& other) const;
    bool operator!=(const Device& other) const { return !(*this == other); }
    // False for a default-constructed Device: no device selected.
    explicit operator bool() const { return !devicePath.isEmpty(); }
    QString mountpoint() const;

    QString devicePath;
    QString label;
    DeviceTypes type = UnknownCard;
    bool securityActive = false;
    FirmwareType firmwareType = Ccv1;
    bool supported = false;
    unsigned int incompatibilityFlags = 0;
    unsigned int securityFlags = 0;
};

using DeviceList = QList<Device>;

Q_DECLARE_METATYPE(Device)

// Registers "Device", "DeviceInfo", "DeviceList" and "SessionList" for queued connections.
void registerDeviceMetaTypes();

#endif
