#include "devicemodelfactory.h"

#include "CardManagement.h"

#include <algorithm>
#include <iterator>
#include <memory>

namespace {

// Returns false when the record does not name a known identification generation.
bool firmwareTypeOf(const tresora_ac_identification& record, FirmwareType& type)
{
    switch (record.generation) {
    case TRESORA_AC_GENERATION_CCV1:
        type = Ccv1;
        return true;
    case TRESORA_AC_GENERATION_CCV2:
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
            tresora_ac_identification record{};
            FirmwareType firmwareType = Ccv1;
            if (tresora_ac_decodeIdentification(ident.data(), uint32_t(ident.size()), &record) !=
                    TRESORA_AC_OK ||
                !firmwareTypeOf(record, firmwareType))
                continue;
            const std::string cid(std::begin(record.cid), std::end(record.cid));
            const DeviceTypes type = DeviceModel::deviceTypeFromCID(cid);
            if (type == UnknownCard)
                continue;
            const bool securityActive = record.securityActive == 1;
            devices.append(Device(QString::fromStdString(path),
                                  QString::fromStdString(candidate.name), type, securityActive,
                                  firmwareType, record.incompatibility, record.securityFlags));
            if (firmwareType == Ccv2 && securityActive && record.readOnly != 1)
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
