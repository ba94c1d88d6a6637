#include "devicemodelfactory.h"

#include <algorithm>
#include <memory>

namespace {

const std::size_t cidOffset = 32;
const std::size_t cidSize = 16;
const std::size_t securityStateOffset = 48;
const std::size_t readOnlyOffset = 50;
const std::size_t incompatibilityOffset = 51;
const std::size_t securityFlagsOffset = 52;
const std::size_t identificationTextLimit = 32;

// Returns false when the record does not name a known identification generation.
bool firmwareTypeOf(const std::vector<unsigned char>& ident, FirmwareType& type)
{
    const auto end = ident.begin() + std::min(identificationTextLimit, ident.size());
    const std::string text(ident.begin(), std::find(ident.begin(), end, 0));
    if (text == "Kendrova-SFC-SD-ccv1")
        type = Ccv1;
    else if (text == "Kendrova-SFC-SD-ccv2")
        type = Ccv2;
    else
        return false;
    return true;
}

} // namespace

DeviceModelFactory::DeviceModelFactory(QString deviceFolder) : deviceFolder(std::move(deviceFolder))
{
}

DeviceModelFactory::~DeviceModelFactory() = default;

DeviceModel* DeviceModelFactory::createDeviceModel(const std::string& devicePath)
{
    return new DeviceModelImpl(devicePath);
}

QList<Device> DeviceModelFactory::searchDevices()
{
    QList<Device> devices;
    for (const StorageInfo& candidate : mountedDevices()) {
        std::string path = candidate.devicePath;
        while (!path.empty() && path.back() == '/')
            path.pop_back();
        try {
            const std::vector<unsigned char> ident = readDeviceIdentifier(path);
            FirmwareType firmwareType = Ccv1;
            if (ident.size() <= securityFlagsOffset || !firmwareTypeOf(ident, firmwareType))
                continue;
            const std::string cid(ident.begin() + cidOffset, ident.begin() + cidOffset + cidSize);
            const DeviceTypes type = DeviceModel::deviceTypeFromCID(cid);
            if (type == UnknownCard)
                continue;
            const bool securityActive = ident[securityStateOffset] == 1;
            devices.append(Device(QString::fromStdString(path),
                                  QString::fromStdString(candidate.name), type, securityActive,
                                  firmwareType, ident[incompatibilityOffset],
                                  ident[securityFlagsOffset]));
            if (firmwareType == Ccv2 && securityActive && ident[readOnlyOffset] != 1)
                switchToReadOnly(path);
        } catch (const DeviceException&) {
            // Not readable or refused the switch: nothing to report during a background scan.
        }
    }
    return devices;
}

QList<StorageInfo> DeviceModelFactory::mountedDevices()
{
    return getMacAndLinuxMountedDevices(QStringLiteral("sd*"), deviceFolder);
}

std::vector<unsigned char> DeviceModelFactory::readDeviceIdentifier(const std::string& devicePath)
{
    return DeviceModel::readDeviceIdentifier(devicePath);
}

void DeviceModelFactory::switchToReadOnly(const std::string& devicePath)
{
    const std::unique_ptr<DeviceModel> model(createDeviceModel(devicePath));
    model->setReadOnly();
    model->discardCurrentSession();
}
