#include "devicemodel.h"

#include "CardManagement.h"
#include "utils.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char* const productName = "Tresora Archive Card";
const unsigned int sectorSize = TRESORA_AC_ID_SECTOR_SIZE;
// Room for the session list before the card says how much it needs.
const uint32_t firstSessionRoom = 4 * TRESORA_AC_MAX_SESSIONS_PER_PAGE;

QString translated(const char* text)
{
    return QCoreApplication::translate("QCoreApplication", text);
}

std::string genericMessage(int code, int error)
{
    return "Device Exception: " + std::to_string(code) + ", system error: " + std::to_string(error);
}

const unsigned char* bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

uint32_t length(const std::string& text)
{
    return static_cast<uint32_t>(text.size());
}

std::string toHex(const unsigned char* data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    return text;
}

// Closes the descriptor and frees the buffer on every exit, keeping errno for the message.
class SectorReader
{
public:
    explicit SectorReader(const std::string& path)
    {
        fd = ::open(path.c_str(), O_RDONLY | O_DIRECT | O_SYNC | O_CLOEXEC);
        if (fd < 0)
            throw DeviceException(-1);
        buffer = static_cast<unsigned char*>(utils::allocAlignedBuffer(sectorSize));
        if (!buffer)
            fail();
        std::memset(buffer, 0, sectorSize);
    }
    ~SectorReader()
    {
        const int savedErrno = errno;
        utils::freeAlignedBuffer(buffer);
        if (fd >= 0)
            ::close(fd);
        errno = savedErrno;
    }
    SectorReader(const SectorReader&) = delete;
    SectorReader& operator=(const SectorReader&) = delete;

    void read(unsigned int sector)
    {
        if (::lseek(fd, off_t(sector) * sectorSize, SEEK_SET) < 0)
            fail();
        if (::read(fd, buffer, sectorSize) <= 0)
            fail();
    }
    const unsigned char* data() const { return buffer; }

private:
    [[noreturn]] void fail()
    {
        const int savedErrno = errno;
        utils::freeAlignedBuffer(buffer);
        buffer = nullptr;
        ::close(fd);
        fd = -1;
        errno = savedErrno;
        throw DeviceException(-1);
    }

    int fd = -1;
    unsigned char* buffer = nullptr;
};

tresora_ac_identification identificationOf(const std::vector<unsigned char>& sector)
{
    tresora_ac_identification record{};
    tresora_ac_decodeIdentification(sector.data(), uint32_t(sector.size()), &record);
    return record;
}

QString wrongPinMessage(DeviceModel& model, bool useAdminRetries, bool adminWording)
{
    try {
        const unsigned int retries = useAdminRetries ? model.remainingSecurityOfficerPinRetries()
                                                     : model.remainingUserPinRetries();
        return (adminWording ? translated(QT_TRANSLATE_NOOP(
                                   "QCoreApplication", "Wrong Admin PIN, remaining retries: %1"))
                             : translated(QT_TRANSLATE_NOOP("QCoreApplication",
                                                            "Wrong PIN, remaining retries: %1")))
            .arg(retries);
    } catch (...) {
        return adminWording ? translated(QT_TRANSLATE_NOOP("QCoreApplication", "Wrong Admin PIN"))
                            : translated(QT_TRANSLATE_NOOP("QCoreApplication", "Wrong PIN"));
    }
}

QString errorMessage(DeviceModel& model, int result, bool useAdminRetries, bool adminWording)
{
    switch (result) {
    case TRESORA_AC_SW_WRONG_PIN:
        return wrongPinMessage(model, useAdminRetries, adminWording);
    case TRESORA_AC_SW_RETRIES_EXCEEDED:
        return adminWording
                   ? translated(QT_TRANSLATE_NOOP(
                         "QCoreApplication", "Failed to login, Admin PIN retry counter exceeded!"))
                   : translated(QT_TRANSLATE_NOOP("QCoreApplication",
                                                  "Failed to login, PIN retry counter exceeded!"));
    case TRESORA_AC_SW_BLOCKED:
        return adminWording
                   ? translated(QT_TRANSLATE_NOOP(
                         "QCoreApplication",
                         "Admin PIN was entered incorrectly too many times. Retry "
                         "counter exceeded!"))
                   : translated(QT_TRANSLATE_NOOP(
                         "QCoreApplication", "PIN was entered incorrectly too many times. Retry "
                                             "counter exceeded!"));
    case TRESORA_AC_SW_PIN_LENGTH:
        return adminWording ? translated(QT_TRANSLATE_NOOP(
                                  "QCoreApplication", "Admin PIN must be 8-20 characters long"))
                            : translated(QT_TRANSLATE_NOOP("QCoreApplication",
                                                           "PIN must be 4-15 characters long"));
    case TRESORA_AC_SW_INVALID_FILE_SYSTEM:
        return translated(
                   QT_TRANSLATE_NOOP(
                       "QCoreApplication",
                       "Invalid File System. Please format the %1 with a valid FAT32 or exFAT "
                       "file system."))
            .arg(productName);
    case TRESORA_AC_ERR_REFRESH:
        return translated(
                   QT_TRANSLATE_NOOP(
                       "QCoreApplication",
                       "Failed to refresh the card content. This can happen if other "
                       "applications are using the card at the same time. Please remove the %1 "
                       "from your system and plug it back in so that the Operating System can "
                       "refresh it."))
            .arg(productName);
    case TRESORA_AC_ERR_CARD_IN_USE:
        return translated(QT_TRANSLATE_NOOP("QCoreApplication",
                                            "Another program is using the %1. Nothing was sent "
                                            "to the card. Please close that program and try "
                                            "again."))
            .arg(productName);
    default:
        return {};
    }
}

} // namespace

DeviceException::DeviceException(int code) : DeviceException(code, errno, {}) {}

DeviceException::DeviceException(int code, const std::string& message)
    : std::runtime_error(message), errorCode(code), systemError(0)
{
}

DeviceException::DeviceException(int code, int error, const std::string&)
    : std::runtime_error(genericMessage(code, error)), errorCode(code), systemError(error)
{
}

DeviceInfo::DeviceInfo(std::string serialNumber, unsigned int firmwareVersion,
                       unsigned int systemState, unsigned int userPinRetries,
                       unsigned int adminPinRetries, unsigned int securityFlags,
                       unsigned int incompatibilityFlag)
    : serialNumber(std::move(serialNumber)), firmwareVersion(firmwareVersion),
      systemState(systemState), userPinRetries(userPinRetries), adminPinRetries(adminPinRetries),
      securityFlags(securityFlags), incompatibilityFlag(incompatibilityFlag)
{
}

DeviceModel::DeviceModel(QObject* parent) : QObject(parent) {}

DeviceModel::~DeviceModel() = default;

void DeviceModel::setBusy(bool busy)
{
    emit deviceIsBusyChanged(busy);
}

void DeviceModel::throwOnError(int result, bool useAdminRetries, bool adminWording)
{
    if (result == TRESORA_AC_OK)
        return;
    const QString message = errorMessage(*this, result, useAdminRetries, adminWording);
    if (message.isEmpty())
        throw DeviceException(result);
    throw DeviceException(result, message.toStdString());
}

DeviceTypes DeviceModel::deviceTypeFromCID(const std::string& cid)
{
    if (cid.size() < 8)
        return UnknownCard;
    switch (cid[3]) {
    case 'L':
        return SdCard;
    case 'N':
        return MicroSdCard;
    default:
        return UnknownCard;
    }
}

std::vector<unsigned char> DeviceModel::readDeviceSector(const std::string& path,
                                                         unsigned int sector)
{
    SectorReader reader(path);
    // The first read may return stale data of the card's firmware; the second is current.
    reader.read(sector);
    reader.read(sector);
    std::vector<unsigned char> result(std::size_t(2) * sectorSize, 0);
    std::copy(reader.data(), reader.data() + sectorSize, result.begin());
    return result;
}

std::vector<unsigned char> DeviceModel::readDeviceIdentifier(const std::string& path)
{
    for (int n = 0; tresora_ac_identificationSector(n) >= 0; ++n) {
        std::vector<unsigned char> data =
            readDeviceSector(path, unsigned(tresora_ac_identificationSector(n)));
        if (identificationOf(data).generation != TRESORA_AC_GENERATION_NONE)
            return data;
    }
    return std::vector<unsigned char>(sectorSize, 0);
}

class DeviceModelImpl::BusyScope
{
public:
    explicit BusyScope(DeviceModelImpl& model) : model(model)
    {
        if (model.busyDepth++ == 0)
            model.setBusy(true);
    }
    ~BusyScope()
    {
        if (--model.busyDepth == 0)
            model.setBusy(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    DeviceModelImpl& model;
};

DeviceModelImpl::DeviceModelImpl(const std::string& devicePath) : devicePath(devicePath) {}

void DeviceModelImpl::login(const std::string& pin)
{
    BusyScope busy(*this);
    throwOnError(tresora_ac_login(devicePath.c_str(), bytes(pin), length(pin)), false, false);
}

bool DeviceModelImpl::isLoggedIn()
{
    BusyScope busy(*this);
    return readStatus().state == TRESORA_AC_STATE_UNLOCKED;
}

void DeviceModelImpl::activate(const std::string& pin, const std::string& adminPin,
                               unsigned int securityFlags)
{
    BusyScope busy(*this);
    const unsigned char flags = static_cast<unsigned char>(securityFlags & 0xFF);
    const uint32_t retryCounter = 10;
    throwOnError(tresora_ac_activate(devicePath.c_str(), bytes(pin), length(pin), bytes(adminPin),
                                     length(adminPin), retryCounter, &flags),
                 false, false);
    umount();
}

void DeviceModelImpl::reset(const std::string& pin)
{
    BusyScope busy(*this);
    const bool separateAdmin = securityFlags & TRESORA_AC_FLAG_USER_ADMIN_SEPARATION;
    throwOnError(tresora_ac_wipeContent(devicePath.c_str(), bytes(pin), length(pin)), separateAdmin,
                 separateAdmin);
}

void DeviceModelImpl::factoryReset(const std::string& pin)
{
    BusyScope busy(*this);
    const bool separateAdmin = securityFlags & TRESORA_AC_FLAG_USER_ADMIN_SEPARATION;
    throwOnError(tresora_ac_factoryReset(devicePath.c_str(), bytes(pin), length(pin)), true,
                 separateAdmin);
}

void DeviceModelImpl::changePin(const std::string& pin, const std::string& newPin)
{
    BusyScope busy(*this);
    int adminPinResult = TRESORA_AC_OK;
    const int result =
        tresora_ac_changePinKeepingAdminPin(devicePath.c_str(), bytes(pin), length(pin),
                                            bytes(newPin), length(newPin), &adminPinResult);
    if (result == TRESORA_AC_ERR_ADMIN_PIN_BEHIND) {
        // The card's text for the Admin PIN step, which is what went wrong.
        const QString reason = errorMessage(*this, adminPinResult, true, true);
        throw DeviceException(result, reason.isEmpty() ? DeviceException(adminPinResult).what()
                                                       : reason.toStdString());
    }
    throwOnError(result, false, false);
}

void DeviceModelImpl::unblockPin(const std::string& adminPin, const std::string& newPin)
{
    BusyScope busy(*this);
    throwOnError(tresora_ac_unblockPin(devicePath.c_str(), bytes(adminPin), length(adminPin),
                                       bytes(newPin), length(newPin)),
                 true, true);
}

void DeviceModelImpl::changeAdminPin(const std::string& adminPin, const std::string& newAdminPin)
{
    BusyScope busy(*this);
    throwOnError(tresora_ac_changeAdminPin(devicePath.c_str(), bytes(adminPin), length(adminPin),
                                           bytes(newAdminPin), length(newAdminPin)),
                 true, true);
}

std::vector<Session> DeviceModelImpl::getSessions()
{
    BusyScope busy(*this);
    // Grown to what the card says it needs, should it list more sessions than there is room for.
    std::vector<tresora_ac_session_entry> entries;
    uint32_t count = firstSessionRoom;
    int result = TRESORA_AC_ERR_BUFFER_TOO_SMALL;
    while (result == TRESORA_AC_ERR_BUFFER_TOO_SMALL && count > entries.size()) {
        entries.resize(count);
        result = tresora_ac_listAllSessions(devicePath.c_str(), entries.data(),
                                            static_cast<uint32_t>(entries.size()), &count);
    }
    throwOnError(result, false, false);
    std::vector<Session> sessions;
    sessions.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const tresora_ac_session_entry& entry = entries[i];
        const char* dateEnd = std::find(entry.date, entry.date + sizeof entry.date, '\0');
        sessions.emplace_back(entry.id, std::string(entry.date, dateEnd), entry.sectorCount);
    }
    return sessions;
}

void DeviceModelImpl::switchToSession(int id)
{
    BusyScope busy(*this);
    throwOnError(tresora_ac_switchToSession(devicePath.c_str(), static_cast<uint32_t>(id)), false,
                 false);
}

void DeviceModelImpl::discardCurrentSession()
{
    BusyScope busy(*this);
    throwOnError(tresora_ac_discardCurrentSession(devicePath.c_str()), false, false);
}

void DeviceModelImpl::startNewSession()
{
    BusyScope busy(*this);
    throwOnError(tresora_ac_startNewSession(devicePath.c_str()), false, false);
}

bool DeviceModelImpl::isActivated()
{
    BusyScope busy(*this);
    return readStatus().state != TRESORA_AC_STATE_TRANSPARENT;
}

void DeviceModelImpl::setReadOnly()
{
    BusyScope busy(*this);
    throwOnError(tresora_ac_setDeviceReadOnly(devicePath.c_str()), false, false);
}

void DeviceModelImpl::setReadWrite()
{
    BusyScope busy(*this);
    throwOnError(tresora_ac_setDeviceReadWrite(devicePath.c_str()), false, false);
}

void DeviceModelImpl::umount()
{
    umountDevice(QString::fromStdString(devicePath));
}

unsigned int DeviceModelImpl::remainingUserPinRetries()
{
    BusyScope busy(*this);
    return readStatus().pinRetries;
}

unsigned int DeviceModelImpl::remainingSecurityOfficerPinRetries()
{
    BusyScope busy(*this);
    return readStatus().adminPinRetries;
}

std::string DeviceModelImpl::getDevicePath()
{
    return devicePath;
}

QString DeviceModelImpl::getDeviceMountpoint()
{
    return getMountpoint(QString::fromStdString(devicePath));
}

bool DeviceModelImpl::isConnectedToSystem()
{
    try {
        readDeviceIdentifier(devicePath);
        return true;
    } catch (...) {
        return false;
    }
}

DeviceInfo DeviceModelImpl::deviceInfo()
{
    BusyScope busy(*this);
    uint32_t firmwareVersion = 0;
    throwOnError(tresora_ac_getFirmwareVersion(devicePath.c_str(), &firmwareVersion), false, false);
    const Status status = readStatus();

    unsigned char identifier[64] = {};
    int32_t identifierLength = sizeof identifier;
    throwOnError(tresora_ac_getControllerId(devicePath.c_str(), identifier, &identifierLength),
                 false, false);
    const std::size_t used = std::clamp<int32_t>(identifierLength, 0, sizeof identifier);

    const std::vector<unsigned char> sector = readDeviceIdentifier(devicePath);
    return DeviceInfo(toHex(identifier, used), firmwareVersion, status.state, status.pinRetries,
                      status.adminPinRetries, status.securityFlags,
                      identificationOf(sector).incompatibility);
}

DeviceModelImpl::Status DeviceModelImpl::readStatus()
{
    uint32_t state = 0, readOnly = 0, pinRetries = 0, adminPinRetries = 0, flags = 0;
    throwOnError(tresora_ac_getStatus(devicePath.c_str(), &state, &readOnly, &pinRetries,
                                      &adminPinRetries, &flags),
                 false, false);
    return Status{state, readOnly, pinRetries, adminPinRetries, flags};
}

FakeDeviceModel::FakeDeviceModel(const std::string& devicePath) : devicePath(devicePath) {}

void FakeDeviceModel::login(const std::string& pin)
{
    QThread::msleep(400);
    loggedIn = false;
    if (pin != acceptedPin)
        throw DeviceException(TRESORA_AC_SW_WRONG_PIN);
    loggedIn = true;
}

bool FakeDeviceModel::isLoggedIn()
{
    QThread::msleep(200);
    return loggedIn;
}

void FakeDeviceModel::activate(const std::string& pin, const std::string&, unsigned int)
{
    QThread::msleep(1000);
    if (pin == refusedPin)
        throw std::runtime_error("Error activating device, error: 99");
}

void FakeDeviceModel::reset(const std::string&) {}

void FakeDeviceModel::factoryReset(const std::string&)
{
    QThread::msleep(1000);
}

void FakeDeviceModel::changePin(const std::string&, const std::string& newPin)
{
    QThread::msleep(1000);
    if (newPin == refusedPin)
        throw DeviceException(TRESORA_AC_SW_WRONG_PIN);
}

void FakeDeviceModel::unblockPin(const std::string&, const std::string&)
{
    QThread::msleep(1000);
}

void FakeDeviceModel::changeAdminPin(const std::string&, const std::string&)
{
    QThread::msleep(1000);
}

std::vector<Session> FakeDeviceModel::getSessions()
{
    return {};
}

void FakeDeviceModel::switchToSession(int) {}

void FakeDeviceModel::discardCurrentSession() {}

void FakeDeviceModel::startNewSession() {}

bool FakeDeviceModel::isActivated()
{
    return true;
}

void FakeDeviceModel::setReadOnly() {}

void FakeDeviceModel::setReadWrite() {}

void FakeDeviceModel::umount() {}

unsigned int FakeDeviceModel::remainingUserPinRetries()
{
    return deviceInfo().userPinRetries;
}

unsigned int FakeDeviceModel::remainingSecurityOfficerPinRetries()
{
    return deviceInfo().adminPinRetries;
}

std::string FakeDeviceModel::getDevicePath()
{
    return devicePath;
}

QString FakeDeviceModel::getDeviceMountpoint()
{
    return QString::fromStdString(devicePath);
}

bool FakeDeviceModel::isConnectedToSystem()
{
    return true;
}

DeviceInfo FakeDeviceModel::deviceInfo()
{
    return DeviceInfo("", 0x123, TRESORA_AC_STATE_LOCKED, 10, 15, 4, 0);
}
