#include "vcard/Card.h"

#include "CardCommandCodes.h"
#include "CardIdentification.h"
#include "CardManagement.h"

#include <algorithm>
#include <cstring>

namespace vcard {

namespace {

constexpr std::size_t kAnswerDataMax = kAnswerPayloadMax - 2;
constexpr std::size_t kProfileWireSize = 16;

// Reads the data field of a command: numbers, bytes and length-prefixed items.
class Reader
{
public:
    explicit Reader(const Bytes& data) : data_(data) {}
    bool u8(std::uint8_t& value)
    {
        if (left() < 1) {
            return false;
        }
        value = data_[pos_++];
        return true;
    }
    bool u16(std::uint16_t& value)
    {
        std::uint8_t high = 0;
        std::uint8_t low = 0;
        if (left() < 2 || !u8(high) || !u8(low)) {
            return false;
        }
        value = std::uint16_t((high << 8) | low);
        return true;
    }
    bool u32(std::uint32_t& value)
    {
        std::uint16_t high = 0;
        std::uint16_t low = 0;
        if (left() < 4 || !u16(high) || !u16(low)) {
            return false;
        }
        value = (std::uint32_t(high) << 16) | low;
        return true;
    }
    bool bytes(std::size_t count, Bytes& out)
    {
        if (left() < count) {
            return false;
        }
        out.assign(data_.begin() + long(pos_), data_.begin() + long(pos_ + count));
        pos_ += count;
        return true;
    }
    bool item(std::string& out)
    {
        std::uint8_t length = 0;
        Bytes raw;
        if (!u8(length) || !bytes(length, raw)) {
            return false;
        }
        out.assign(raw.begin(), raw.end());
        return true;
    }
    bool atEnd() const { return pos_ == data_.size(); }
    std::size_t left() const { return data_.size() - pos_; }

private:
    const Bytes& data_;
    std::size_t pos_ = 0;
};

// Items carry at most 255 bytes: their length always fits.
bool validPin(const std::string& pin)
{
    return tresora_ac_pinLengthIsValid(std::uint32_t(pin.size()));
}

bool validAdminPin(const std::string& adminPin)
{
    return tresora_ac_adminPinLengthIsValid(std::uint32_t(adminPin.size()));
}

Bytes secureElementAtr()
{
    Bytes atr = {0x3B, 0x8B, 0x01, 'T', 'r', 'e', 's', 'o', 'r', 'a', '-', 'S', 'E', '1', 0x00};
    std::uint8_t check = 0;
    for (std::size_t i = 1; i + 1 < atr.size(); ++i) {
        check ^= atr[i];
    }
    atr.back() = check;
    return atr;
}

std::uint32_t bumpedVersion(std::uint32_t version)
{
    return (version & 0xFFFFFF00u) | ((version + 1) & 0xFFu);
}

} // namespace

Response Card::process(std::uint8_t payloadType, const Bytes& command, std::time_t now)
{
    if (payloadType == kTerminalCommand) {
        return Response{terminalCommand(command), 0};
    }
    if (payloadType == kSecureElementCommand) {
        return secureElementCommand(command, now);
    }
    // Unknown payload type: answered like a secure-element command the card cannot parse.
    return Response{statusOnly(kSecureElementAnswer, sw::kWrongParameters), 0};
}

Answer Card::terminalCommand(const Bytes& command)
{
    if (command.size() < 4) {
        return statusOnly(kTerminalAnswer, sw::kWrongLength);
    }
    if (command[0] != FSI_CT_CLA) {
        return statusOnly(kTerminalAnswer, sw::kUnknownClass);
    }
    Answer answer;
    answer.type = kTerminalAnswer;
    const std::uint8_t ins = command[1];
    const bool iccUnit = command[2] != 0;
    switch (ins) {
    case FSI_CT_INS_RESET: // the terminal itself answers 90 00, the card its ATR
    case FSI_CT_INS_REQUEST:
        if (ins == FSI_CT_INS_RESET && !iccUnit) {
            break;
        }
        if (!state_.secureElementPresent) {
            return statusOnly(kTerminalAnswer, sw::kNoIcc);
        }
        answer.payload = secureElementAtr();
        break;
    case FSI_CT_INS_STATUS: // card presence data object
        answer.payload = {0x80, 0x01, std::uint8_t(state_.secureElementPresent ? 0x05 : 0x00)};
        break;
    case FSI_CT_INS_EJECT:
        break;
    default:
        return statusOnly(kTerminalAnswer, sw::kUnknownInstruction);
    }
    appendStatusWord(answer.payload, sw::kOk);
    return answer;
}

Response Card::secureElementCommand(const Bytes& apdu, std::time_t now)
{
    if (apdu.size() < 5 || apdu.size() != std::size_t(apdu[4]) + 5) {
        return Response{statusOnly(kSecureElementAnswer, sw::kWrongLength), 0};
    }
    if (apdu[0] != SFC_CLA) {
        return Response{statusOnly(kSecureElementAnswer, sw::kUnknownClass), 0};
    }
    Bytes data(apdu.begin() + 5, apdu.end());
    return dispatch(apdu[1], apdu[2], apdu[3], data, now);
}

Response Card::dispatch(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2, const Bytes& data,
                        std::time_t now)
{
    Response response;
    response.answer.type = kSecureElementAnswer;
    Bytes out;
    const std::uint16_t status = run(ins, p1, p2, data, now, out);
    const bool longCommand = ins == SFC_INS_ACTIVATE || ins == SFC_INS_RESET;
    if (longCommand && status == sw::kOk) {
        response.busyMs = state_.longCommandMs;
    }
    if (status == sw::kOk) {
        response.answer.payload = std::move(out);
    }
    appendStatusWord(response.answer.payload, status);
    return response;
}

std::uint16_t Card::run(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2, const Bytes& data,
                        std::time_t now, Bytes& out)
{
    switch (ins) {
    case SFC_INS_QUERY:
        return query(p1, p2, data, out);
    case SFC_INS_ACTIVATE:
        return activate(p1, data, now);
    case SFC_INS_DEACTIVATE:
        return deactivate(data);
    case SFC_INS_VERIFY:
        return verify(data);
    case SFC_INS_LOCK:
        return lock(data);
    case SFC_INS_CHANGE_PASSWORD:
        return changeSecret(p1, data);
    case SFC_INS_UNBLOCK_OR_AREA:
        return unblockOrArea(p1, data);
    case SFC_INS_CDROM_AREA:
        return cdromArea(p1, p2, data);
    case SFC_INS_RESET:
        return p1 == 0 ? reset(p2, data, now) : sw::kWrongParameters;
    case SFC_INS_LIST_SESSIONS:
        return listSessions(data, out);
    case SFC_INS_SWITCH_SESSION:
        return switchSession(data);
    case SFC_INS_SESSION_CONTROL:
        return sessionControl(p1, data, now);
    case SFC_INS_CONFIGURE:
        return configure(p1, p2, data);
    case SFC_INS_FIRMWARE_UPDATE:
        return firmware(p1, data);
    case SFC_INS_READ_NVRAM:
        return readNvram(p2, data, out);
    case SFC_INS_WRITE_NVRAM:
        return writeNvram(p1, data);
    default:
        return sw::kUnknownInstruction;
    }
}

std::uint16_t Card::query(std::uint8_t p1, std::uint8_t p2, const Bytes& data, Bytes& out)
{
    if (!data.empty()) {
        return sw::kWrongLength;
    }
    switch (p1) {
    case SFC_QUERY_STATUS:
        out = statusAnswer();
        return sw::kOk;
    case SFC_QUERY_ID:
        out = makeCid(state_);
        return sw::kOk;
    case SFC_QUERY_VERSION:
        return versionAnswer(p2, out);
    case SFC_QUERY_NVRAM_STATUS:
        out = nvramStatusAnswer();
        return sw::kOk;
    case SFC_QUERY_EXCEPTION_STATUS:
        out = exceptionStatusAnswer();
        return sw::kOk;
    case SFC_QUERY_CONTROLLER_ID:
        out = state_.controllerId;
        return sw::kOk;
    case SFC_QUERY_PROFILES:
        out = profilesAnswer();
        return sw::kOk;
    case SFC_QUERY_PARTITION:
        out = partitionAnswer();
        return sw::kOk;
    case SFC_QUERY_SIZE_USB:
        appendU32(out, std::uint32_t(state_.sizeBytes / 512));
        return sw::kOk;
    default:
        return sw::kWrongParameters;
    }
}

Bytes Card::statusAnswer() const
{
    Bytes out = {0, state_.state, state_.pinTries, state_.adminTries};
    appendU32(out, 0);
    out.insert(out.end(), {0, 0});
    appendU32(out, state_.cdromArea);
    out.push_back(state_.securityFlags);
    return out;
}

std::uint16_t Card::versionAnswer(std::uint8_t which, Bytes& out) const
{
    if (which == SFC_VERSION_APP) {
        appendU32(out, state_.firmwareVersion);
        return sw::kOk;
    }
    if (which == SFC_VERSION_BASE) {
        std::string text = versionText(state_.firmwareVersion);
        text.resize(8, ' ');
        out.assign(text.begin(), text.end());
        appendU32(out, state_.firmwareVersion);
        return sw::kOk;
    }
    return sw::kWrongParameters;
}

Bytes Card::nvramStatusAnswer() const
{
    Bytes out;
    appendU32(out, std::uint32_t(state_.nvram.size()));
    out.insert(out.end(), state_.nvramConfig.begin(), state_.nvramConfig.end());
    appendU32(out, 0);
    out.push_back(state_.extendedFlags);
    return out;
}

Bytes Card::exceptionStatusAnswer() const
{
    Bytes out;
    appendU32(out, state_.cdromArea);
    appendU32(out, state_.readException);
    appendU32(out, std::uint32_t(state_.profiles.size()));
    appendU32(out, state_.firmwareReceived);
    appendU32(out, state_.extendedFlags);
    return out;
}

Bytes Card::profilesAnswer() const
{
    Bytes out = {std::uint8_t(state_.profiles.size())};
    for (const Profile& profile : state_.profiles) {
        out.push_back(profile.kind);
        out.insert(out.end(), 7, 0);
        appendU64(out, profile.value);
    }
    return out;
}

Bytes Card::partitionAnswer() const
{
    Bytes out;
    appendU32(out, std::uint32_t(state_.sizeBytes / 512));
    appendU32(out, 0);
    out.push_back(0x0C);
    out.resize(64, 0);
    return out;
}

std::uint16_t Card::checkSecret(const std::string& given, const std::string& expected,
                                std::uint8_t& tries) const
{
    if (tries == 0) {
        return sw::kRetriesExhausted;
    }
    if (given != expected) {
        --tries;
        return tries == 0 ? sw::kBlockedNow : sw::kWrongPin;
    }
    tries = state_.retryLimit;
    return sw::kOk;
}

std::uint16_t Card::checkPin(const std::string& given)
{
    if (!validPin(given)) {
        return sw::kPinLength;
    }
    return checkSecret(given, state_.pin, state_.pinTries);
}

std::uint16_t Card::checkAdminPin(const std::string& given)
{
    if (!validAdminPin(given)) {
        return sw::kPinLength;
    }
    return checkSecret(given, state_.adminPin, state_.adminTries);
}

// Session ids are never reused, so that no folder of old content can pass for a new session.
void Card::clearContent(std::time_t now)
{
    state_.sessions.clear();
    state_.current = Session{state_.current.id + 1, packUtc(now), kZoneMarker, 0, 0};
    state_.shownSession = 0;
}

std::uint16_t Card::activate(std::uint8_t mode, const Bytes& data, std::time_t now)
{
    Reader reader(data);
    std::string pin;
    std::string adminPin;
    std::uint8_t retries = 0;
    std::uint8_t flags = 0;
    if (!reader.item(pin) || !reader.item(adminPin) || !reader.u8(retries)) {
        return sw::kWrongLength;
    }
    if (!reader.atEnd() && (!reader.u8(flags) || !reader.atEnd())) {
        return sw::kWrongLength;
    }
    if (mode != SFC_ACTIVATION_MODE) {
        return sw::kWrongParameters;
    }
    if (activated()) {
        return sw::kConditionsNotSatisfied;
    }
    if (!state_.fileSystemValid) {
        return sw::kInvalidFileSystem;
    }
    if (!validPin(pin) || !validAdminPin(adminPin)) {
        return sw::kPinLength;
    }
    if (retries < TRESORA_AC_RETRY_COUNTER_MIN || retries > TRESORA_AC_RETRY_COUNTER_MAX) {
        return sw::kWrongData;
    }
    state_.pin = pin;
    state_.adminPin = adminPin;
    state_.securityFlags = flags;
    state_.retryLimit = state_.pinTries = state_.adminTries = retries;
    state_.state = kUnlocked;
    state_.cdromArea = kWholeCardReadOnly;
    clearContent(now);
    return sw::kOk;
}

// The data is exactly one PIN item, checked against an activated card.
std::uint16_t Card::checkPinItem(const Bytes& data)
{
    Reader reader(data);
    std::string pin;
    if (!reader.item(pin) || !reader.atEnd()) {
        return sw::kWrongLength;
    }
    if (!activated()) {
        return sw::kConditionsNotSatisfied;
    }
    return checkPin(pin);
}

void Card::forgetSecurity()
{
    state_.state = kTransparent;
    state_.pin.clear();
    state_.adminPin.clear();
    state_.securityFlags = 0;
    state_.retryLimit = state_.pinTries = state_.adminTries = 0;
}

std::uint16_t Card::deactivate(const Bytes& data)
{
    const std::uint16_t status = checkPinItem(data);
    if (status != sw::kOk) {
        return status;
    }
    forgetSecurity();
    return sw::kOk;
}

std::uint16_t Card::verify(const Bytes& data)
{
    const std::uint16_t status = checkPinItem(data);
    if (status == sw::kOk) {
        state_.state = kUnlocked;
    }
    return status;
}

std::uint16_t Card::lock(const Bytes& data)
{
    if (!data.empty()) {
        return sw::kWrongLength;
    }
    if (!activated()) {
        return sw::kConditionsNotSatisfied;
    }
    state_.state = kLocked;
    return sw::kOk;
}

std::uint16_t Card::changeSecret(std::uint8_t who, const Bytes& data)
{
    Reader reader(data);
    std::string oldSecret;
    std::string newSecret;
    if (!reader.item(oldSecret) || !reader.item(newSecret) || !reader.atEnd()) {
        return sw::kWrongLength;
    }
    if (who > 1) {
        return sw::kWrongParameters;
    }
    if (!activated()) {
        return sw::kConditionsNotSatisfied;
    }
    const bool admin = who == 1;
    if (!(admin ? validAdminPin(newSecret) : validPin(newSecret))) {
        return sw::kPinLength;
    }
    std::uint16_t status = admin ? checkAdminPin(oldSecret) : checkPin(oldSecret);
    if (status == sw::kOk) {
        (admin ? state_.adminPin : state_.pin) = newSecret;
    }
    return status;
}

std::uint16_t Card::unblockOrArea(std::uint8_t p1, const Bytes& data)
{
    Reader reader(data);
    std::string adminPin;
    if (!reader.item(adminPin)) {
        return sw::kWrongLength;
    }
    if (p1 == SFC_UNBLOCK) {
        std::string newPin;
        if (!reader.item(newPin) || !reader.atEnd()) {
            return sw::kWrongLength;
        }
        if (!activated() || !hasAdminUser()) {
            return sw::kConditionsNotSatisfied;
        }
        if (!validPin(newPin)) {
            return sw::kPinLength;
        }
        std::uint16_t status = checkAdminPin(adminPin);
        if (status == sw::kOk) {
            state_.pin = newPin;
            state_.pinTries = state_.retryLimit;
        }
        return status;
    }
    std::uint32_t value = 0;
    if (!reader.u32(value) || !reader.atEnd()) {
        return sw::kWrongLength;
    }
    if (p1 != SFC_AREA_READ_EXCEPTION && p1 != SFC_AREA_CDROM) {
        return sw::kWrongParameters;
    }
    if (activated()) {
        std::uint16_t status = checkAdminPin(adminPin);
        if (status != sw::kOk) {
            return status;
        }
    }
    (p1 == SFC_AREA_READ_EXCEPTION ? state_.readException : state_.cdromArea) = value;
    return sw::kOk;
}

std::uint16_t Card::cdromArea(std::uint8_t p1, std::uint8_t p2, const Bytes& data)
{
    Reader reader(data);
    switch (p1) {
    case SFC_CDROM_AREA_DEFAULT:
        if (!data.empty()) {
            return sw::kWrongLength;
        }
        state_.cdromArea = 0;
        return sw::kOk;
    case SFC_CDROM_AREA_SET:
        if (!reader.u32(state_.cdromArea) || !reader.atEnd()) {
            return sw::kWrongLength;
        }
        return sw::kReadOnlySet;
    case SFC_CDROM_AREA_AND_EXCEPTION: {
        std::uint32_t area = 0;
        std::uint32_t exception = 0;
        if (!reader.u32(area) || !reader.u32(exception) || !reader.atEnd()) {
            return sw::kWrongLength;
        }
        state_.cdromArea = area;
        state_.readException = exception;
        return sw::kOk;
    }
    case SFC_CDROM_AREA_PROFILES:
        break;
    default:
        return sw::kWrongParameters;
    }
    if (p2 == SFC_PROFILES_CLEAR) {
        if (!data.empty()) {
            return sw::kWrongLength;
        }
        state_.profiles.clear();
        return sw::kOk;
    }
    std::uint8_t count = 0;
    if (p2 != SFC_PROFILES_SET) {
        return sw::kWrongParameters;
    }
    if (!reader.u8(count) || reader.left() != std::size_t(count) * kProfileWireSize) {
        return sw::kWrongLength;
    }
    std::vector<Profile> profiles;
    for (std::uint8_t i = 0; i < count; ++i) {
        Bytes wire;
        reader.bytes(kProfileWireSize, wire);
        Profile profile;
        profile.kind = wire[0];
        for (std::size_t b = 8; b < kProfileWireSize; ++b) {
            profile.value = (profile.value << 8) | wire[b];
        }
        profiles.push_back(profile);
    }
    state_.profiles = std::move(profiles);
    return sw::kOk;
}

std::uint16_t Card::reset(std::uint8_t mode, const Bytes& data, std::time_t now)
{
    std::string secret;
    if (!data.empty()) {
        Reader reader(data);
        if (!reader.item(secret) || !reader.atEnd()) {
            return sw::kWrongLength;
        }
    }
    if (mode != SFC_RESET_WIPE && mode != SFC_RESET_FACTORY) {
        return sw::kWrongParameters;
    }
    if (!activated()) {
        return sw::kConditionsNotSatisfied;
    }
    const bool adminRequired = mode == SFC_RESET_FACTORY || hasAdminUser();
    std::uint16_t status = adminRequired ? checkAdminPin(secret) : checkPin(secret);
    if (status != sw::kOk) {
        return status;
    }
    if (mode == SFC_RESET_FACTORY) {
        forgetSecurity();
        state_.profiles.clear();
        state_.readException = 0;
    }
    state_.fileSystemValid = true;
    state_.cdromArea = kWholeCardReadOnly;
    clearContent(now);
    return sw::kOk;
}

// Kept only while powered: the login, the read-only switch, the switched-to
// session and a firmware transfer under way.
void Card::powerCycle()
{
    if (activated()) {
        state_.state = kLocked;
    }
    state_.cdromArea = 0;
    state_.shownSession = 0;
    state_.firmwareReceived = 0;
}

std::uint32_t Card::shownSessionId() const
{
    return state_.shownSession != 0 ? state_.shownSession : state_.current.id;
}

void Card::setSessionSectors(std::uint32_t id, std::uint32_t sectors)
{
    if (state_.current.id == id) {
        state_.current.sectors = sectors;
    }
    for (Session& session : state_.sessions) {
        if (session.id == id) {
            session.sectors = sectors;
        }
    }
}

std::uint16_t Card::listSessions(const Bytes& data, Bytes& out)
{
    Reader reader(data);
    std::uint32_t first = 0;
    if (!reader.u32(first) || !reader.atEnd()) {
        return sw::kWrongLength;
    }
    if (state_.state == kLocked) {
        return sw::kSecurityNotSatisfied;
    }
    const std::size_t total = state_.sessions.size();
    const std::size_t count = first < total ? std::min(kSessionsPerPage, total - first) : 0;
    appendU32(out, std::uint32_t(count));
    for (std::size_t i = first; i < first + count; ++i) {
        const Session& session = state_.sessions[i];
        appendU32(out, session.id);
        appendU32(out, session.packedDate);
        out.push_back(std::uint8_t(session.zone));
        out.push_back(std::uint8_t(session.localFlag));
        appendU32(out, session.sectors);
    }
    return sw::kOk;
}

std::uint16_t Card::switchSession(const Bytes& data)
{
    Reader reader(data);
    std::uint32_t id = 0;
    if (!reader.u32(id) || !reader.atEnd()) {
        return sw::kWrongLength;
    }
    if (state_.state == kLocked) {
        return sw::kSecurityNotSatisfied;
    }
    if (id == state_.current.id) {
        state_.shownSession = 0;
        return sw::kOk;
    }
    auto found = std::find_if(state_.sessions.begin(), state_.sessions.end(),
                              [id](const Session& session) { return session.id == id; });
    if (found == state_.sessions.end()) {
        return sw::kNotFound;
    }
    state_.shownSession = id;
    return sw::kOk;
}

std::uint16_t Card::sessionControl(std::uint8_t p1, const Bytes& data, std::time_t now)
{
    if (!data.empty()) {
        return sw::kWrongLength;
    }
    if (p1 != SFC_SESSION_DISCARD && p1 != SFC_SESSION_START_NEW) {
        return sw::kWrongParameters;
    }
    std::uint32_t nextId = state_.current.id + 1;
    if (p1 == SFC_SESSION_START_NEW) {
        state_.sessions.push_back(state_.current);
    }
    state_.current = Session{nextId, packUtc(now), kZoneMarker, 0, 0};
    state_.shownSession = 0;
    return sw::kOk;
}

std::uint16_t Card::firmware(std::uint8_t p1, const Bytes& data)
{
    Reader reader(data);
    if (p1 == SFC_FIRMWARE_TRANSFER) {
        std::uint32_t offset = 0;
        std::uint16_t length = 0;
        Bytes chunk;
        if (!reader.u32(offset) || !reader.u16(length) || !reader.bytes(length, chunk) ||
            !reader.atEnd()) {
            return sw::kWrongLength;
        }
        if (offset == 0) {
            state_.firmwareReceived = 0;
        }
        if (offset != state_.firmwareReceived) {
            return sw::kWrongOffset;
        }
        state_.firmwareReceived += length;
        return sw::kOk;
    }
    if (p1 != SFC_FIRMWARE_APPLY) {
        return sw::kWrongParameters;
    }
    std::string secret;
    std::uint32_t total = 0;
    if (!reader.item(secret) || !reader.u32(total) || !reader.atEnd()) {
        return sw::kWrongLength;
    }
    if (activated()) {
        bool isPin =
            !hasAdminUser() && validPin(secret) && secret == state_.pin && state_.pinTries > 0;
        std::uint16_t status = isPin ? checkPin(secret) : checkAdminPin(secret);
        if (status != sw::kOk) {
            return status;
        }
    }
    if (total == 0 || total != state_.firmwareReceived) {
        return sw::kWrongData;
    }
    state_.firmwareReceived = 0;
    if (state_.updateKeepsVersion) {
        return sw::kOk;
    }
    std::uint32_t next =
        state_.updateVersion != 0 ? state_.updateVersion : bumpedVersion(state_.firmwareVersion);
    state_.updateVersion = 0;
    state_.firmwareVersion = std::max(state_.firmwareVersion, next);
    return sw::kOk;
}

std::uint16_t Card::configure(std::uint8_t p1, std::uint8_t p2, const Bytes& data)
{
    switch (p1) {
    case SFC_CONFIGURE_CUSTOMIZE:
        state_.customization = data;
        state_.customization.insert(state_.customization.begin(), p2);
        return sw::kOk;
    case SFC_CONFIGURE_NVRAM: {
        Reader reader(data);
        Bytes config;
        std::uint8_t ignored = 0;
        std::uint8_t ignored2 = 0;
        std::uint32_t size = 0;
        std::uint32_t fourth = 0;
        if (!reader.u8(ignored) || !reader.u8(ignored2) || !reader.u32(size) ||
            !reader.u32(fourth) || !reader.atEnd()) {
            return sw::kWrongLength;
        }
        if (size > 65536) {
            return sw::kWrongData;
        }
        state_.nvramConfig = data;
        if (size != 0) {
            state_.nvram.assign(size, 0);
        }
        return sw::kOk;
    }
    case SFC_CONFIGURE_SECURITY_FLAGS:
        if (data.size() != 1) {
            return sw::kWrongLength;
        }
        state_.extendedFlags = data[0];
        return sw::kOk;
    default:
        return sw::kWrongParameters;
    }
}

std::uint16_t Card::readNvram(std::uint8_t p2, const Bytes& data, Bytes& out)
{
    Reader reader(data);
    std::uint32_t offset = 0;
    if (!reader.u32(offset) || !reader.atEnd()) {
        return sw::kWrongLength;
    }
    if (p2 == SFC_NVRAM_SIZE_QUERY) {
        appendU16(out, std::uint16_t(std::min<std::size_t>(state_.nvram.size(), 0xFFFF)));
        return sw::kOk;
    }
    if (offset > state_.nvram.size()) {
        return sw::kWrongOffset;
    }
    std::size_t count = std::min(kAnswerDataMax, state_.nvram.size() - offset);
    out.assign(state_.nvram.begin() + long(offset), state_.nvram.begin() + long(offset + count));
    return sw::kOk;
}

std::uint16_t Card::writeNvram(std::uint8_t p1, const Bytes& data)
{
    Reader reader(data);
    std::uint32_t offset = 0;
    if (p1 > SFC_NVRAM_NO_OFFSET) {
        return sw::kWrongParameters;
    }
    if (p1 != SFC_NVRAM_NO_OFFSET && !reader.u32(offset)) {
        return sw::kWrongLength;
    }
    Bytes payload;
    reader.bytes(reader.left(), payload);
    if (std::uint64_t(offset) + payload.size() > state_.nvram.size()) {
        return sw::kWrongOffset;
    }
    std::copy(payload.begin(), payload.end(), state_.nvram.begin() + long(offset));
    return sw::kOk;
}

Bytes makeCid(const CardState& state)
{
    Bytes cid = {0x4B, 'K', 'V', std::uint8_t(state.formFactor), 'V', 'S', 'I', 'M', 0x10};
    for (std::size_t i = 0; i < 4; ++i) {
        cid.push_back(i < state.controllerId.size() ? state.controllerId[i] : 0);
    }
    cid.insert(cid.end(), {0x01, 0x7A, 0x01});
    return cid;
}

Block makeIdentificationSector(const CardState& state)
{
    Block sector{};
    std::string text = state.generation == 1 ? CARD_ID_TEXT_CCV1 : CARD_ID_TEXT_CCV2;
    std::memcpy(sector.data() + CARD_ID_TEXT_OFFSET, text.data(), text.size());
    Bytes cid = makeCid(state);
    std::memcpy(sector.data() + CARD_ID_CID_OFFSET, cid.data(), cid.size());
    sector[CARD_ID_SECURITY_STATE_OFFSET] = state.state != kTransparent ? 1 : 0;
    sector[CARD_ID_READ_ONLY_OFFSET] = state.cdromArea == kWholeCardReadOnly ? 1 : 0;
    sector[CARD_ID_INCOMPATIBILITY_OFFSET] = state.incompatibilityFlags;
    sector[CARD_ID_SECURITY_FLAGS_OFFSET] = state.securityFlags;
    return sector;
}

} // namespace vcard
