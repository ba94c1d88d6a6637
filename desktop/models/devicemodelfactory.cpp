#include "devicemodelfactory.h"

#include "CardIdentification.h"

#include <algorithm>
#include <memory>

namespace {

const std::size_t cidOffset = CARD_ID_CID_OFFSET;
const std::size_t cidSize = CARD_ID_CID_SIZE;
const std::size_t securityStateOffset = CARD_ID_SECURITY_STATE_OFFSET;
const std::size_t readOnlyOffset = CARD_ID_READ_ONLY_OFFSET;
const std::size_t incompatibilityOffset = CARD_ID_INCOMPATIBILITY_OFFSET;
const std::size_t securityFlagsOffset = CARD_ID_SECURITY_FLAGS_OFFSET;

// Returns false when the record does not name a known identification generation.
bool firmwareTypeOf(const std::vector<unsigned char>& ident, FirmwareType& type)
{
    switch (cardIdentificationGeneration(ident.data(), ident.size())) {
    case CARD_ID_CCV1:
        type = Ccv1;
        return true;
    case CARD_ID_CCV2:
        type = Ccv2;
        return true;
    default:
        return false;
    }
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
