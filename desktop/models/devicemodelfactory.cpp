#include "devicemodelfactory.h"

#include "CardManagement.h"

#include <QFile>
#include <algorithm>
#include <iterator>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>

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

// Size of a block device in 512-byte sectors as the kernel reports it; -1 when unknown.
qint64 blockDeviceSectors(dev_t number)
{
    QFile size(QStringLiteral("/sys/dev/block/%1:%2/size").arg(major(number)).arg(minor(number)));
    if (!size.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const qint64 sectors = size.readAll().trimmed().toLongLong(&ok);
    return ok ? sectors : -1;
}

} // namespace

bool DeviceModelFactory::Medium::operator==(const Medium& other) const
{
    return node == other.node && number == other.number && size == other.size &&
           changed == other.changed;
}

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
    QHash<QString, Medium> stillNotCards;
    for (const StorageInfo& candidate : mountedDevices()) {
        std::string path = candidate.devicePath;
        while (!path.empty() && path.back() == '/')
            path.pop_back();
        const QString key = QString::fromStdString(path);
        Medium medium;
        if (mediumOf(path, medium) && notCards.contains(key) && notCards.value(key) == medium) {
            stillNotCards.insert(key, medium);
            continue;
        }
        const int found = devices.size();
        try {
            probe(candidate, path, devices);
        } catch (const DeviceException&) {
            // Not readable or refused the switch: nothing to report during a background scan.
            continue;
        }
        if (devices.size() == found && mediumOf(path, medium))
            stillNotCards.insert(key, medium);
    }
    notCards.swap(stillNotCards);
    return devices;
}

void DeviceModelFactory::probe(const StorageInfo& candidate, const std::string& devicePath,
                               QList<Device>& devices)
{
    const std::vector<unsigned char> ident = readDeviceIdentifier(devicePath);
    tresora_ac_identification record{};
    FirmwareType firmwareType = Ccv1;
    if (tresora_ac_decodeIdentification(ident.data(), uint32_t(ident.size()), &record) !=
            TRESORA_AC_OK ||
        !firmwareTypeOf(record, firmwareType))
        return;
    const std::string cid(std::begin(record.cid), std::end(record.cid));
    const DeviceTypes type = DeviceModel::deviceTypeFromCID(cid);
    if (type == UnknownCard)
        return;
    const bool securityActive = record.securityActive == 1;
    devices.append(Device(QString::fromStdString(devicePath),
                          QString::fromStdString(candidate.name), type, securityActive,
                          firmwareType, record.incompatibility, record.securityFlags));
    if (firmwareType == Ccv2 && securityActive && record.readOnly != 1)
        switchToReadOnly(devicePath);
}

QList<StorageInfo> DeviceModelFactory::mountedDevices()
{
    return getMacAndLinuxMountedDevices(cardNodeFilters, deviceFolder);
}

std::vector<unsigned char> DeviceModelFactory::readDeviceIdentifier(const std::string& devicePath)
{
    return DeviceModel::readDeviceIdentifier(devicePath);
}

qint64 DeviceModelFactory::unclosedRecordingBytes(const std::string& devicePath)
{
    uint64_t bytes = 0;
    const int result = tresora_ac_getCurrentSessionSize(devicePath.c_str(), &bytes);
    if (result != TRESORA_AC_OK)
        throw DeviceException(result);
    return qint64(bytes);
}

QList<KeptRecording> DeviceModelFactory::takeKeptRecordings()
{
    QList<KeptRecording> taken;
    taken.swap(keptRecordings);
    return taken;
}

bool DeviceModelFactory::mediumOf(const std::string& devicePath, Medium& medium)
{
    struct stat info
    {
    };
    if (::stat(devicePath.c_str(), &info) != 0)
        return false;
    medium.node = info.st_ino;
    medium.number = info.st_rdev;
    medium.changed = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    medium.size = S_ISBLK(info.st_mode) ? blockDeviceSectors(info.st_rdev) : qint64(info.st_size);
    return true;
}

// Read-only keeps what the card holds from changing; the unclosed session is discarded
// only when it holds nothing, since a recording in it exists nowhere else. It is measured
// after the switch, once it can no longer grow.
void DeviceModelFactory::switchToReadOnly(const std::string& devicePath)
{
    const std::unique_ptr<DeviceModel> model(createDeviceModel(devicePath));
    model->setReadOnly();
    qint64 recorded = -1;
    try {
        recorded = unclosedRecordingBytes(devicePath);
    } catch (const DeviceException&) {
        // Unknown counts as not empty: it is kept.
    }
    if (recorded == 0)
        model->discardCurrentSession();
    else
        keptRecordings.append({QString::fromStdString(devicePath), recorded});
}
