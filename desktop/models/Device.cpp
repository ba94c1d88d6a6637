#include "Device.h"

#include "utils.h"

#include <QCoreApplication>

Device::Device(const QString& devicePath, const QString& label, DeviceTypes type,
               bool securityActive, FirmwareType firmwareType, unsigned int incompatibilityFlags,
               unsigned int securityFlags)
    : devicePath(devicePath), label(label), type(type), securityActive(securityActive),
      firmwareType(firmwareType), supported(firmwareType == Ccv2),
      incompatibilityFlags(incompatibilityFlags), securityFlags(securityFlags)
{
}

QString Device::displayName() const
{
    if (label.isEmpty())
        return devicePath;
    return QCoreApplication::translate("QCoreApplication", "%1 (%2)").arg(label, devicePath);
}

bool Device::isSameDevice(const Device& other) const
{
    return devicePath == other.devicePath && type == other.type &&
           firmwareType == other.firmwareType && supported == other.supported;
}

bool Device::operator==(const Device& other) const
{
    return isSameDevice(other) && label == other.label && securityActive == other.securityActive &&
           incompatibilityFlags == other.incompatibilityFlags &&
           securityFlags == other.securityFlags;
}

QString Device::mountpoint() const
{
    return getMountpoint(devicePath);
}

void registerDeviceMetaTypes()
{
    qRegisterMetaType<Device>("Device");
    qRegisterMetaType<DeviceInfo>("DeviceInfo");
    qRegisterMetaType<DeviceList>("DeviceList");
    qRegisterMetaType<SessionList>("SessionList");
}
