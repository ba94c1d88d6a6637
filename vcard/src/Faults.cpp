#include "vcard/Faults.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "CardCommandCodes.h"

namespace vcard {

namespace {

struct CommandName
{
    const char* name;
    int payloadType;
    int ins;
    int p1;
    int p2;
};

const CommandName kCommandNames[] = {
    {"status", kSecureElementCommand, SFC_INS_QUERY, SFC_QUERY_STATUS, -1},
    {"controller-id", kSecureElementCommand, SFC_INS_QUERY, SFC_QUERY_CONTROLLER_ID, -1},
    {"firmware-version", kSecureElementCommand, SFC_INS_QUERY, SFC_QUERY_VERSION, -1},
    {"profiles", kSecureElementCommand, SFC_INS_QUERY, SFC_QUERY_PROFILES, -1},
    {"query", kSecureElementCommand, SFC_INS_QUERY, -1, -1},
    {"activate", kSecureElementCommand, SFC_INS_ACTIVATE, -1, -1},
    {"deactivate", kSecureElementCommand, SFC_INS_DEACTIVATE, -1, -1},
    {"verify", kSecureElementCommand, SFC_INS_VERIFY, -1, -1},
    {"login", kSecureElementCommand, SFC_INS_VERIFY, -1, -1},
    {"lock", kSecureElementCommand, SFC_INS_LOCK, -1, -1},
    {"logout", kSecureElementCommand, SFC_INS_LOCK, -1, -1},
    {"change-pin", kSecureElementCommand, SFC_INS_CHANGE_PASSWORD, 0x00, -1},
    {"change-admin-pin", kSecureElementCommand, SFC_INS_CHANGE_PASSWORD, 0x01, -1},
    {"unblock", kSecureElementCommand, SFC_INS_UNBLOCK_OR_AREA, SFC_UNBLOCK, -1},
    {"set-read-only", kSecureElementCommand, SFC_INS_CDROM_AREA, SFC_CDROM_AREA_SET, -1},
    {"set-read-write", kSecureElementCommand, SFC_INS_CDROM_AREA, SFC_CDROM_AREA_DEFAULT, -1},
    {"reset", kSecureElementCommand, SFC_INS_RESET, -1, -1},
    {"wipe", kSecureElementCommand, SFC_INS_RESET, 0x00, SFC_RESET_WIPE},
    {"factory-reset", kSecureElementCommand, SFC_INS_RESET, 0x00, SFC_RESET_FACTORY},
    {"list-sessions", kSecureElementCommand, SFC_INS_LIST_SESSIONS, -1, -1},
    {"switch-session", kSecureElementCommand, SFC_INS_SWITCH_SESSION, -1, -1},
    {"discard-session", kSecureElementCommand, SFC_INS_SESSION_CONTROL, SFC_SESSION_DISCARD, -1},
    {"new-session", kSecureElementCommand, SFC_INS_SESSION_CONTROL, SFC_SESSION_START_NEW, -1},
    {"firmware-transfer", kSecureElementCommand, SFC_INS_FIRMWARE_UPDATE, SFC_FIRMWARE_TRANSFER,
     -1},
    {"firmware-apply", kSecureElementCommand, SFC_INS_FIRMWARE_UPDATE, SFC_FIRMWARE_APPLY, -1},
    {"read-nvram", kSecureElementCommand, SFC_INS_READ_NVRAM, -1, -1},
    {"write-nvram", kSecureElementCommand, SFC_INS_WRITE_NVRAM, -1, -1},
    {"ct-reset", kTerminalCommand, FSI_CT_INS_RESET, -1, -1},
    {"ct-request", kTerminalCommand, FSI_CT_INS_REQUEST, -1, -1},
    {"ct-status", kTerminalCommand, FSI_CT_INS_STATUS, -1, -1},
    {"ct-eject", kTerminalCommand, FSI_CT_INS_EJECT, -1, -1},
    {"any", -1, -1, -1, -1},
};

struct FaultName
{
    const char* name;
    FaultKind kind;
    std::uint32_t defaultArgument;
};

const FaultName kFaultNames[] = {
    {"no-answer", FaultKind::NoAnswer, 0},   {"busy", FaultKind::Busy, 0},
    {"wrong-type", FaultKind::WrongType, 0}, {"bad-length", FaultKind::ImpossibleLength, 600},
    {"short", FaultKind::TooShort, 1},       {"overcount", FaultKind::Overcount, 1},
    {"status", FaultKind::StatusWord, 0},    {"vanish", FaultKind::Vanish, 0},
    {"first-page", FaultKind::FirstPage, 0},
};

bool parseCommand(const std::string& word, FaultRule& rule)
{
    for (const CommandName& name : kCommandNames) {
        if (word == name.name) {
            rule.payloadType = name.payloadType;
            rule.ins = name.ins;
            rule.p1 = name.p1;
            rule.p2 = name.p2;
            return true;
        }
    }
    char* end = nullptr;
    unsigned long ins = std::strtoul(word.c_str(), &end, 16);
    if (word.empty() || *end != '\0' || ins > 0xFF) {
        return false;
    }
    rule.ins = int(ins);
    return true;
}

bool matches(const FaultRule& rule, std::uint8_t payloadType, const Bytes& command)
{
    auto field = [&command](std::size_t index) {
        return index < command.size() ? command[index] : -1;
    };
    return (rule.payloadType < 0 || rule.payloadType == payloadType) &&
           (rule.ins < 0 || rule.ins == field(1)) && (rule.p1 < 0 || rule.p1 == field(2)) &&
           (rule.p2 < 0 || rule.p2 == field(3));
}

void raiseCount(Answer& answer, const Bytes& command, std::uint32_t extra)
{
    const bool sessionList = command.size() > 1 && command[1] == SFC_INS_LIST_SESSIONS;
    const bool profileList =
        command.size() > 2 && command[1] == SFC_INS_QUERY && command[2] == SFC_QUERY_PROFILES;
    Bytes& payload = answer.payload;
    if (sessionList && payload.size() >= 6) {
        std::uint32_t count = std::uint32_t(payload[0]) << 24 | std::uint32_t(payload[1]) << 16 |
                              std::uint32_t(payload[2]) << 8 | payload[3];
        count += extra;
        for (int i = 0; i < 4; ++i) {
            payload[std::size_t(i)] = std::uint8_t(count >> (24 - 8 * i));
        }
    } else if (profileList && payload.size() >= 3) {
        payload[0] = std::uint8_t(payload[0] + extra);
    }
}

} // namespace

bool faultExecutesCommand(const FaultRule& rule)
{
    switch (rule.kind) {
    case FaultKind::NoAnswer:
    case FaultKind::StatusWord:
    case FaultKind::Vanish:
        return false;
    case FaultKind::Busy:
        return rule.argument != 0;
    default:
        return true;
    }
}

bool parseFaultRule(const std::string& line, FaultRule& rule, std::string& error)
{
    std::istringstream in(line);
    std::string command;
    std::string fault;
    std::vector<std::string> rest;
    in >> command >> fault;
    for (std::string word; in >> word;) {
        rest.push_back(word);
    }
    rule = FaultRule{};
    rule.command = command;
    if (!parseCommand(command, rule)) {
        error = "unknown command \"" + command + "\"";
        return false;
    }
    const FaultName* kind = nullptr;
    for (const FaultName& name : kFaultNames) {
        if (fault == name.name) {
            kind = &name;
        }
    }
    if (kind == nullptr) {
        error = "unknown fault \"" + fault + "\"";
        return false;
    }
    rule.kind = kind->kind;
    rule.argument = kind->defaultArgument;
    if (!rest.empty() && (rest.back() == "once" || rest.back() == "always")) {
        rule.once = rest.back() == "once";
        rest.pop_back();
    }
    if (rest.size() > 1) {
        error = "too many words in \"" + line + "\"";
        return false;
    }
    if (rest.size() == 1) {
        char* end = nullptr;
        const int base = rule.kind == FaultKind::StatusWord ? 16 : 10;
        unsigned long value = std::strtoul(rest[0].c_str(), &end, base);
        if (*end != '\0' || value > 0xFFFFFFFFul) {
            error = "bad argument \"" + rest[0] + "\"";
            return false;
        }
        rule.argument = std::uint32_t(value);
    } else if (rule.kind == FaultKind::StatusWord) {
        error = "the status fault needs a status word, for example \"status 6f02\"";
        return false;
    }
    if ((rule.kind == FaultKind::StatusWord && rule.argument > 0xFFFF) ||
        (rule.kind == FaultKind::TooShort && rule.argument > 1)) {
        error = "argument out of range in \"" + line + "\"";
        return false;
    }
    return true;
}

bool FaultPlan::parse(const std::string& text, std::string& error)
{
    std::vector<FaultRule> rules;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::size_t comment = line.find('#');
        if (comment != std::string::npos) {
            line.erase(comment);
        }
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        FaultRule rule;
        if (!parseFaultRule(line, rule, error)) {
            error.insert(0, "line " + std::to_string(number) + ": ");
            return false;
        }
        rules.push_back(rule);
    }
    rules_ = std::move(rules);
    return true;
}

bool FaultPlan::take(std::uint8_t payloadType, const Bytes& command, FaultRule& rule)
{
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (matches(*it, payloadType, command)) {
            rule = *it;
            if (it->once) {
                rules_.erase(it);
            }
            return true;
        }
    }
    return false;
}

Bytes faultedCommand(const FaultRule& rule, Bytes command)
{
    // FF 71 00 00 04, then the 4-byte index of the first session wanted.
    const bool sessionList = command.size() >= 9 && command[1] == SFC_INS_LIST_SESSIONS;
    if (rule.kind == FaultKind::FirstPage && sessionList) {
        std::fill(command.begin() + 5, command.begin() + 9, std::uint8_t(0));
    }
    return command;
}

Answer shapeAnswer(const FaultRule& rule, Answer answer, const Bytes& command)
{
    switch (rule.kind) {
    case FaultKind::WrongType:
        answer.type = answer.type == kSecureElementAnswer ? kTerminalAnswer : kSecureElementAnswer;
        break;
    case FaultKind::ImpossibleLength:
        answer.lengthOverridden = true;
        answer.announcedLength = rule.argument;
        break;
    case FaultKind::TooShort:
        answer.payload.resize(rule.argument);
        break;
    case FaultKind::Overcount:
        raiseCount(answer, command, rule.argument);
        break;
    case FaultKind::StatusWord:
        answer.payload.clear();
        appendStatusWord(answer.payload, std::uint16_t(rule.argument));
        break;
    default:
        break;
    }
    return answer;
}

} // namespace vcard
