#include "vcard/StateFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

namespace vcard {

namespace {

constexpr int kFormatVersion = 1;
const char* const kStateNames[] = {"transparent", "unlocked", "locked"};

std::string hex32(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string zoneText(std::int8_t zone)
{
    return zone == kZoneMarker ? std::string("A") : std::to_string(int(zone));
}

std::string sessionText(const Session& session)
{
    std::string date = packedDateValid(session.packedDate) ? packedDateText(session.packedDate)
                                                           : hex32(session.packedDate);
    return std::to_string(session.id) + " " + date + " " + zoneText(session.zone) + " " +
           std::to_string(int(session.localFlag)) + " " + std::to_string(session.sectors);
}

Bytes trimmedNvram(const Bytes& nvram)
{
    std::size_t used = nvram.size();
    while (used > 0 && nvram[used - 1] == 0) {
        --used;
    }
    return Bytes(nvram.begin(), nvram.begin() + long(used));
}

bool parsePackedDate(const std::string& text, std::uint32_t& packed)
{
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    char extra = 0;
    if (text.rfind("0x", 0) == 0) {
        return parseNumber(text, packed);
    }
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d%c", &year, &month, &day, &hour, &minute,
                    &second, &extra) != 6 ||
        year < 2020 || year > 2083) {
        return false;
    }
    packed = packDate(year, month, day, hour, minute, second);
    return packedDateValid(packed);
}

bool parseZone(const std::string& text, std::int8_t& zone)
{
    if (text == "A") {
        zone = kZoneMarker;
        return true;
    }
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < -128 || value > 127) {
        return false;
    }
    zone = std::int8_t(value);
    return true;
}

bool parseSession(const std::string& text, Session& session)
{
    std::istringstream in(text);
    std::string id;
    std::string date;
    std::string zone;
    std::string local;
    std::string sectors;
    std::string extra;
    int flag = 0;
    if (!(in >> id >> date >> zone >> local >> sectors) || (in >> extra)) {
        return false;
    }
    if (!parseNumber(id, session.id) || session.id == 0 ||
        !parsePackedDate(date, session.packedDate) || !parseZone(zone, session.zone) ||
        !parseNumber(sectors, session.sectors)) {
        return false;
    }
    try {
        flag = std::stoi(local);
    } catch (...) {
        return false;
    }
    session.localFlag = std::int8_t(flag);
    return true;
}

bool parseProfile(const std::string& text, Profile& profile)
{
    std::istringstream in(text);
    std::string kind;
    std::string value;
    std::string extra;
    return (in >> kind >> value) && !(in >> extra) && parseNumber(kind, profile.kind) &&
           parseNumber(value, profile.value);
}

bool parseStateName(const std::string& text, std::uint8_t& state)
{
    for (std::uint8_t i = 0; i < 3; ++i) {
        if (text == kStateNames[i]) {
            state = i;
            return true;
        }
    }
    return false;
}

bool parseChoice(const std::string& text, const char* yes, const char* no, bool& out)
{
    out = text == yes;
    return text == yes || text == no;
}

// The state file's fields, each read by its own parser into the card's state.
using FieldParser = bool (*)(const std::string& value, CardState& state);

template <auto Member> bool numberField(const std::string& value, CardState& state)
{
    return parseNumber(value, state.*Member);
}

template <auto Member> bool hexField(const std::string& value, CardState& state)
{
    Bytes raw;
    if (!fromHex(value, raw)) {
        return false;
    }
    (state.*Member).assign(raw.begin(), raw.end());
    return true;
}

bool formatField(const std::string& value, CardState&)
{
    return value == std::to_string(kFormatVersion);
}

bool sessionField(const std::string& value, CardState& state)
{
    Session session;
    if (!parseSession(value, session)) {
        return false;
    }
    state.sessions.push_back(session);
    return true;
}

bool profileField(const std::string& value, CardState& state)
{
    Profile profile;
    if (!parseProfile(value, profile)) {
        return false;
    }
    state.profiles.push_back(profile);
    return true;
}

bool nvramSizeField(const std::string& value, CardState& state)
{
    std::uint32_t size = 0;
    if (!parseNumber(value, size) || size > 65536) {
        return false;
    }
    state.nvram.assign(size, 0);
    return true;
}

// Written after nvram-size, which it must fit.
bool nvramField(const std::string& value, CardState& state)
{
    Bytes raw;
    if (!fromHex(value, raw) || raw.size() > state.nvram.size()) {
        return false;
    }
    std::copy(raw.begin(), raw.end(), state.nvram.begin());
    return true;
}

const std::map<std::string, FieldParser>& fieldParsers()
{
    static const std::map<std::string, FieldParser> parsers = {
        {"format", formatField},
        {"generation", parseGeneration},
        {"form-factor", parseFormFactor},
        {"size", numberField<&CardState::sizeBytes>},
        {"partition-start", numberField<&CardState::partitionStart>},
        {"state", [](const std::string& v, CardState& s) { return parseStateName(v, s.state); }},
        {"pin", hexField<&CardState::pin>},
        {"admin-pin", hexField<&CardState::adminPin>},
        {"security-flags", numberField<&CardState::securityFlags>},
        {"retry-limit", numberField<&CardState::retryLimit>},
        {"pin-tries", numberField<&CardState::pinTries>},
        {"admin-tries", numberField<&CardState::adminTries>},
        {"cdrom-area", numberField<&CardState::cdromArea>},
        {"read-exception", numberField<&CardState::readException>},
        {"firmware-version",
         [](const std::string& v, CardState& s) { return parseVersion(v, s.firmwareVersion); }},
        {"firmware-update", parseUpdateVersion},
        {"firmware-received", numberField<&CardState::firmwareReceived>},
        {"controller-id", parseControllerId},
        {"file-system",
         [](const std::string& v, CardState& s) {
             return parseChoice(v, "valid", "invalid", s.fileSystemValid);
         }},
        {"secure-element",
         [](const std::string& v, CardState& s) {
             return parseChoice(v, "present", "absent", s.secureElementPresent);
         }},
        {"long-command-ms",
         [](const std::string& v, CardState& s) { return parseLongCommandMs(v, s.longCommandMs); }},
        {"incompatibility-flags", numberField<&CardState::incompatibilityFlags>},
        {"session", sessionField},
        {"current-session",
         [](const std::string& v, CardState& s) { return parseSession(v, s.current); }},
        {"shown-session", numberField<&CardState::shownSession>},
        {"profile", profileField},
        {"nvram-size", nvramSizeField},
        {"nvram", nvramField},
        {"nvram-config",
         [](const std::string& v, CardState& s) {
             return fromHex(v, s.nvramConfig) && s.nvramConfig.size() == 10;
         }},
        {"extended-flags", numberField<&CardState::extendedFlags>},
        {"customization",
         [](const std::string& v, CardState& s) { return fromHex(v, s.customization); }},
    };
    return parsers;
}

bool applyKey(const std::string& key, const std::string& value, CardState& state)
{
    const auto parser = fieldParsers().find(key);
    return parser != fieldParsers().end() && parser->second(value, state);
}

std::string trim(const std::string& text)
{
    std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

} // namespace

bool parseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t& value)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed > max || text[0] == '-') {
        return false;
    }
    value = parsed;
    return true;
}

bool parseGeneration(const std::string& text, CardState& state)
{
    state.generation = text == "ccv1" ? 1 : 2;
    return text == "ccv1" || text == "ccv2";
}

bool parseFormFactor(const std::string& text, CardState& state)
{
    state.formFactor = text == "full" ? 'L' : 'N';
    return text == "full" || text == "micro";
}

bool parseUpdateVersion(const std::string& text, CardState& state)
{
    state.updateKeepsVersion = text == "same";
    state.updateVersion = 0;
    return text == "same" || text == "next" || parseVersion(text, state.updateVersion);
}

bool parseControllerId(const std::string& text, CardState& state)
{
    return fromHex(text, state.controllerId) && !state.controllerId.empty() &&
           state.controllerId.size() <= kControllerIdMax;
}

bool parseLongCommandMs(const std::string& text, std::uint32_t& milliseconds)
{
    std::uint64_t value = 0;
    if (!parseUnsigned(text, kLongCommandMsMax, value)) {
        return false;
    }
    milliseconds = std::uint32_t(value);
    return true;
}

std::string toHex(const Bytes& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 15]);
    }
    return text;
}

bool fromHex(const std::string& text, Bytes& bytes)
{
    if (text.size() % 2 != 0) {
        return false;
    }
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(text.substr(i, 2).c_str(), "%2x", &value) != 1 ||
            !std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
            return false;
        }
        bytes.push_back(std::uint8_t(value));
    }
    return true;
}

std::string formatState(const CardState& state)
{
    std::ostringstream out;
    auto line = [&out](const char* key, const std::string& value) {
        out << key << " = " << value << '\n';
    };
    out << "# vaultsim card state; see docs/vaultsim.md\n";
    line("format", std::to_string(kFormatVersion));
    line("generation", state.generation == 1 ? "ccv1" : "ccv2");
    line("form-factor", state.formFactor == 'L' ? "full" : "micro");
    line("size", std::to_string(state.sizeBytes));
    line("partition-start", std::to_string(state.partitionStart));
    line("state", state.state < 3 ? kStateNames[state.state] : "transparent");
    line("pin", toHex(Bytes(state.pin.begin(), state.pin.end())));
    line("admin-pin", toHex(Bytes(state.adminPin.begin(), state.adminPin.end())));
    line("security-flags", std::to_string(state.securityFlags));
    line("retry-limit", std::to_string(state.retryLimit));
    line("pin-tries", std::to_string(state.pinTries));
    line("admin-tries", std::to_string(state.adminTries));
    line("cdrom-area", hex32(state.cdromArea));
    line("read-exception", hex32(state.readException));
    line("firmware-version", versionText(state.firmwareVersion));
    line("firmware-update", state.updateKeepsVersion   ? "same"
                            : state.updateVersion != 0 ? versionText(state.updateVersion)
                                                       : "next");
    line("firmware-received", std::to_string(state.firmwareReceived));
    line("controller-id", toHex(state.controllerId));
    line("file-system", state.fileSystemValid ? "valid" : "invalid");
    line("secure-element", state.secureElementPresent ? "present" : "absent");
    line("long-command-ms", std::to_string(state.longCommandMs));
    line("incompatibility-flags", std::to_string(state.incompatibilityFlags));
    for (const Session& session : state.sessions) {
        line("session", sessionText(session));
    }
    line("current-session", sessionText(state.current));
    line("shown-session", std::to_string(state.shownSession));
    for (const Profile& profile : state.profiles) {
        line("profile", std::to_string(profile.kind) + " " + std::to_string(profile.value));
    }
    line("nvram-size", std::to_string(state.nvram.size()));
    line("nvram", toHex(trimmedNvram(state.nvram)));
    line("nvram-config", toHex(state.nvramConfig));
    line("extended-flags", std::to_string(state.extendedFlags));
    line("customization", toHex(state.customization));
    return out.str();
}

bool parseState(const std::string& text, CardState& state, std::string& error)
{
    state = CardState{};
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    bool sawFormat = false;
    while (std::getline(in, raw)) {
        ++number;
        std::string line = trim(raw);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::size_t equals = line.find('=');
        std::string key = equals == std::string::npos ? line : trim(line.substr(0, equals));
        std::string value = equals == std::string::npos ? "" : trim(line.substr(equals + 1));
        if (equals == std::string::npos || !applyKey(key, value, state)) {
            error = "line " + std::to_string(number) + ": cannot use \"" + line + "\"";
            return false;
        }
        sawFormat = sawFormat || key == "format";
    }
    if (!sawFormat) {
        error = "not a vaultsim state file (no format line)";
        return false;
    }
    return true;
}

} // namespace vcard
