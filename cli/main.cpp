// vaultcli: one card operation per run; results on standard output, failures on
// standard error, the operation's result code as exit status.
#include "CardManagement.h"
#include "utils.h"
#include "vix_version.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

constexpr int32_t CONTROLLER_ID_CAPACITY = 64;
constexpr std::size_t FIRMWARE_CHUNK_SIZE = 128;
// Room for the session list before the card says how much it needs.
constexpr uint32_t FIRST_SESSION_ROOM = 4 * TRESORA_AC_MAX_SESSIONS_PER_PAGE;
// Offsets are 32-bit: the last chunk must start below 4 GiB.
constexpr std::size_t MAX_PACKAGE_SIZE = 0xFFFFFFFFu - FIRMWARE_CHUNK_SIZE + 1;
constexpr int32_t MAX_RETRY_COUNTER = 255;
constexpr int USAGE_ERROR = 1;
// Standard input or the update package could not be used; the card was not changed.
constexpr int LOCAL_FAILURE = 1;

struct SecretName
{
    const char* name;
    const char* prompt;
};

const SecretName PIN_NAME{"PIN", "PIN: "};
const SecretName ADMIN_PIN_NAME{"Admin PIN", "Admin PIN: "};
const SecretName NEW_PIN_NAME{"new PIN", "New PIN: "};
const SecretName NEW_ADMIN_PIN_NAME{"new Admin PIN", "New Admin PIN: "};

// Values are taken by position: argument 1 is the device, 2 the command, and
// options come in name/value pairs after it.
struct Invocation
{
    const char* program;
    const char* const* argv;

    const char* device() const { return argv[1]; }
    const char* command() const { return argv[2]; }
    const char* optionName(int option) const { return argv[1 + 2 * option]; }
    const char* optionValue(int option) const { return argv[2 + 2 * option]; }
};

int usageError(const Invocation& invocation)
{
    printUsage(invocation.program);
    return USAGE_ERROR;
}

int failed(int result)
{
    printError(result);
    return exitStatusFor(result);
}

int finished(int result)
{
    return result == 0 ? 0 : failed(result);
}

const SecretName& nameForOption(const char* optionName)
{
    return std::strcmp(optionName, "--adminPin") == 0 ? ADMIN_PIN_NAME : PIN_NAME;
}

// "-" reads the value from standard input, keeping it out of the process list.
bool obtainSecret(const char* argument, const SecretName& name, Secret* secret)
{
    if (std::strcmp(argument, "-") != 0) {
        *secret = Secret(std::string_view(argument));
        return true;
    }
    switch (readSecretLine(STDIN_FILENO, name.prompt, secret)) {
    case SecretReadResult::Ok:
        return true;
    case SecretReadResult::NoInput:
        std::fprintf(stderr, "Expected the %s on standard input, but it ended\n", name.name);
        break;
    case SecretReadResult::EmptyLine:
        std::fprintf(stderr, "The %s read from standard input is empty\n", name.name);
        break;
    case SecretReadResult::TooLong:
        std::fprintf(stderr, "The %s read from standard input is longer than %zu characters\n",
                     name.name, MAX_SECRET_LINE);
        break;
    case SecretReadResult::ReadError:
        std::fprintf(stderr, "Failed to read the %s from standard input: %s\n", name.name,
                     std::strerror(errno));
        break;
    }
    return false;
}

// A mistyped path must not cost a disk its data or leave a PIN on it. A device that
// cannot be read goes on to the operation, which reports the open failure.
bool isCardOrUnreadable(const char* device)
{
    if (tresora_ac_checkIdentification(device) != TRESORA_AC_ERR_NOT_A_CARD)
        return true;
    std::fprintf(stderr,
                 "Refusing %s: neither it nor its whole disk carries a card's identification "
                 "record, so it is not a card. Nothing was written to it.\n",
                 device);
    return false;
}

void noticeWaitForCard(const char* device)
{
    std::fprintf(stderr, "Waiting for another program to release the card %s ...\n", device);
}

int queryAdminUser(const char* device, bool* hasAdminUser)
{
    uint32_t state = 0, readOnly = 0, pinRetries = 0, adminPinRetries = 0, flags = 0;
    const int result =
        tresora_ac_getStatus(device, &state, &readOnly, &pinRetries, &adminPinRetries, &flags);
    *hasAdminUser = (flags & TRESORA_AC_FLAG_USER_ADMIN_SEPARATION) != 0;
    return result;
}

// Without an Admin user the value given is the PIN, and the Admin PIN derives from it.
Secret selectAdminPin(bool hasAdminUser, Secret given)
{
    return hasAdminUser ? std::move(given) : calculateAdminPinFromPin(given);
}

int runStatus(const Invocation& invocation)
{
    uint32_t state = 0, readOnly = 0, pinRetries = 0, adminPinRetries = 0, flags = 0;
    int result = tresora_ac_getStatus(invocation.device(), &state, &readOnly, &pinRetries,
                                      &adminPinRetries, &flags);
    if (result != 0)
        return failed(result);
    bool hasAdminUser = false;
    result = queryAdminUser(invocation.device(), &hasAdminUser);
    if (result != 0)
        return failed(result);
    std::printf("Card state: %s\n", translateState(state));
    std::printf("Read-only: %s\n", readOnly != 0 ? "true" : "false");
    std::printf("%s%u\n",
                hasAdminUser ? "PIN Retry Counter: " : "Login Retry Counter: ", pinRetries);
    std::printf("%s%u\n",
                hasAdminUser ? "Admin PIN Retry Counter: " : "Factory Reset Retry Counter: ",
                adminPinRetries);
    std::printf("SecurityFlag: %u\n", flags);
    return 0;
}

int runControllerId(const Invocation& invocation)
{
    unsigned char identifier[CONTROLLER_ID_CAPACITY];
    int32_t length = CONTROLLER_ID_CAPACITY;
    const int result = tresora_ac_getControllerId(invocation.device(), identifier, &length);
    if (result != 0)
        return failed(result);
    displayCharToHex(identifier, static_cast<std::size_t>(
                                     std::clamp<int32_t>(length, 0, CONTROLLER_ID_CAPACITY)));
    return 0;
}

int runFirmwareVersion(const Invocation& invocation)
{
    uint32_t version = 0;
    const int result = tresora_ac_getFirmwareVersion(invocation.device(), &version);
    if (result != 0)
        return failed(result);
    std::printf("%s\n", versionBytesAsString(version).c_str());
    return 0;
}

int runLogout(const Invocation& invocation)
{
    return finished(tresora_ac_logout(invocation.device()));
}

int runSetReadOnly(const Invocation& invocation)
{
    return finished(tresora_ac_setDeviceReadOnly(invocation.device()));
}

int runSetReadWrite(const Invocation& invocation)
{
    return finished(tresora_ac_setDeviceReadWrite(invocation.device()));
}

void printSession(const tresora_ac_session_entry& entry)
{
    const auto dateLength = static_cast<int>(strnlen(entry.date, sizeof entry.date));
    // 64-bit: sessions of 4 GiB and more would wrap in 32 bits.
    const uint64_t bytes = static_cast<uint64_t>(entry.sectorCount) * 512u;
    std::printf("%-15u%-25.*s%-15s\n", entry.id, dateLength, entry.date,
                getFormattedDataSize(static_cast<float>(bytes)).c_str());
}

int runListSessions(const Invocation& invocation)
{
    std::printf("%-15s%-25s%-15s\n", "Session ID", "Session Date", "Session Size");
    std::fflush(stdout);
    // Grown to what the card says it needs, should it list more sessions than there is room for.
    std::vector<tresora_ac_session_entry> sessions;
    uint32_t count = FIRST_SESSION_ROOM;
    int result = TRESORA_AC_ERR_BUFFER_TOO_SMALL;
    while (result == TRESORA_AC_ERR_BUFFER_TOO_SMALL && count > sessions.size()) {
        sessions.resize(count);
        result = tresora_ac_listAllSessions(invocation.device(), sessions.data(),
                                            static_cast<uint32_t>(sessions.size()), &count);
    }
    sessions.resize(std::min<std::size_t>(count, sessions.size()));
    for (const tresora_ac_session_entry& session : sessions)
        printSession(session);
    return result == 0 ? 0 : failed(result);
}

int runDiscardCurrentSession(const Invocation& invocation)
{
    return finished(tresora_ac_discardCurrentSession(invocation.device()));
}

int runStartNewSession(const Invocation& invocation)
{
    return finished(tresora_ac_startNewSession(invocation.device()));
}

int runLogin(const Invocation& invocation)
{
    Secret pin;
    if (!obtainSecret(invocation.optionValue(1), PIN_NAME, &pin))
        return LOCAL_FAILURE;
    return finished(tresora_ac_login(invocation.device(), pin.data(), pin.size()));
}

int runFactoryReset(const Invocation& invocation)
{
    bool hasAdminUser = false;
    const int result = queryAdminUser(invocation.device(), &hasAdminUser);
    if (result != 0)
        return failed(result);
    Secret given;
    if (!obtainSecret(invocation.optionValue(1), nameForOption(invocation.optionName(1)), &given))
        return LOCAL_FAILURE;
    const Secret adminPin = selectAdminPin(hasAdminUser, std::move(given));
    return finished(tresora_ac_factoryReset(invocation.device(), adminPin.data(), adminPin.size()));
}

int runWipeContent(const Invocation& invocation)
{
    Secret pin;
    if (!obtainSecret(invocation.optionValue(1), nameForOption(invocation.optionName(1)), &pin))
        return LOCAL_FAILURE;
    return finished(tresora_ac_wipeContent(invocation.device(), pin.data(), pin.size()));
}

int runSwitchToSession(const Invocation& invocation)
{
    int32_t sessionId = 0;
    if (!parseNonNegativeInt32(invocation.optionValue(1), &sessionId))
        return usageError(invocation);
    return finished(
        tresora_ac_switchToSession(invocation.device(), static_cast<uint32_t>(sessionId)));
}

// The card receives the retry counter as one byte: a larger N would wrap into a
// different, possibly accepted, value.
bool parseRetryCounter(const char* digits, int32_t* retryCounter)
{
    return parseNonNegativeInt32(digits, retryCounter) && *retryCounter <= MAX_RETRY_COUNTER;
}

int runActivate(const Invocation& invocation)
{
    int32_t retryCounter = 0;
    if (!parseRetryCounter(invocation.optionValue(2), &retryCounter))
        return usageError(invocation);
    Secret pin;
    if (!obtainSecret(invocation.optionValue(1), PIN_NAME, &pin))
        return LOCAL_FAILURE;
    const Secret adminPin = calculateAdminPinFromPin(pin);
    return finished(tresora_ac_activate(invocation.device(), pin.data(), pin.size(),
                                        adminPin.data(), adminPin.size(),
                                        static_cast<uint32_t>(retryCounter), nullptr));
}

int runActivateWithAdminUser(const Invocation& invocation)
{
    int32_t retryCounter = 0;
    if (!parseRetryCounter(invocation.optionValue(3), &retryCounter))
        return usageError(invocation);
    Secret pin, adminPin;
    if (!obtainSecret(invocation.optionValue(1), PIN_NAME, &pin) ||
        !obtainSecret(invocation.optionValue(2), ADMIN_PIN_NAME, &adminPin))
        return LOCAL_FAILURE;
    const unsigned char flags = TRESORA_AC_FLAG_USER_ADMIN_SEPARATION;
    return finished(tresora_ac_activate(invocation.device(), pin.data(), pin.size(),
                                        adminPin.data(), adminPin.size(),
                                        static_cast<uint32_t>(retryCounter), &flags));
}

int runChangePin(const Invocation& invocation)
{
    Secret pin, newPin;
    if (!obtainSecret(invocation.optionValue(1), PIN_NAME, &pin) ||
        !obtainSecret(invocation.optionValue(2), NEW_PIN_NAME, &newPin))
        return LOCAL_FAILURE;
    return finished(tresora_ac_changePin(invocation.device(), pin.data(), pin.size(), newPin.data(),
                                         newPin.size()));
}

// unblockPin and changeAdminPin exist only on a card with an Admin user.
int requireAdminUser(const Invocation& invocation, bool* proceed)
{
    bool hasAdminUser = false;
    const int result = queryAdminUser(invocation.device(), &hasAdminUser);
    *proceed = false;
    if (result != 0)
        return failed(result);
    if (!hasAdminUser)
        return usageError(invocation);
    *proceed = true;
    return 0;
}

int runUnblockPin(const Invocation& invocation)
{
    bool proceed = false;
    const int status = requireAdminUser(invocation, &proceed);
    if (!proceed)
        return status;
    Secret adminPin, newPin;
    if (!obtainSecret(invocation.optionValue(1), ADMIN_PIN_NAME, &adminPin) ||
        !obtainSecret(invocation.optionValue(2), NEW_PIN_NAME, &newPin))
        return LOCAL_FAILURE;
    return finished(tresora_ac_unblockPin(invocation.device(), adminPin.data(), adminPin.size(),
                                          newPin.data(), newPin.size()));
}

int runChangeAdminPin(const Invocation& invocation)
{
    bool proceed = false;
    const int status = requireAdminUser(invocation, &proceed);
    if (!proceed)
        return status;
    Secret adminPin, newAdminPin;
    if (!obtainSecret(invocation.optionValue(1), ADMIN_PIN_NAME, &adminPin) ||
        !obtainSecret(invocation.optionValue(2), NEW_ADMIN_PIN_NAME, &newAdminPin))
        return LOCAL_FAILURE;
    return finished(tresora_ac_changeAdminPin(invocation.device(), adminPin.data(), adminPin.size(),
                                              newAdminPin.data(), newAdminPin.size()));
}

// The whole package is read and checked first: a short last chunk would be lost
// and the card left with truncated firmware.
bool readUpdatePackage(const char* path, std::vector<unsigned char>* package)
{
    std::FILE* file = std::fopen(path, "rbe");
    if (file == nullptr) {
        std::fprintf(stderr, "Failed to open update package '%s'\n", path);
        return false;
    }
    unsigned char buffer[16 * 1024];
    std::size_t got = 0;
    bool tooLarge = false;
    while (!tooLarge && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        tooLarge = got > MAX_PACKAGE_SIZE - package->size();
        if (!tooLarge)
            package->insert(package->end(), buffer, buffer + got);
    }
    const bool readFailed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (readFailed) {
        std::fprintf(stderr, "Failed to read update package '%s': %s\n", path,
                     std::strerror(readError));
        return false;
    }
    if (tooLarge) {
        std::fprintf(stderr, "Refusing update package '%s': it is larger than %zu bytes\n", path,
                     MAX_PACKAGE_SIZE);
        return false;
    }
    if (package->empty() || package->size() % FIRMWARE_CHUNK_SIZE != 0) {
        std::fprintf(stderr,
                     "Refusing update package '%s' of %zu bytes: its size must be a non-zero "
                     "multiple of %zu bytes. Nothing was sent to the card.\n",
                     path, package->size(), FIRMWARE_CHUNK_SIZE);
        return false;
    }
    return true;
}

int transferPackage(const char* device, const std::vector<unsigned char>& package)
{
    const bool showProgress = isatty(STDERR_FILENO) != 0;
    for (std::size_t offset = 0; offset < package.size(); offset += FIRMWARE_CHUNK_SIZE) {
        const int result = tresora_ac_firmwareUpdateTransfer(
            device, static_cast<uint32_t>(offset), package.data() + offset, FIRMWARE_CHUNK_SIZE);
        if (result != 0) {
            if (showProgress)
                std::fputs("\n", stderr);
            return result;
        }
        if (showProgress)
            std::fprintf(stderr, "\r%zu of %zu bytes sent", offset + FIRMWARE_CHUNK_SIZE,
                         package.size());
    }
    if (showProgress)
        std::fputs("\n", stderr);
    return 0;
}

int runFirmwareUpdate(const Invocation& invocation)
{
    const char* device = invocation.device();
    bool hasAdminUser = false;
    int result = queryAdminUser(device, &hasAdminUser);
    if (result != 0)
        return failed(result);
    std::vector<unsigned char> package;
    if (!readUpdatePackage(invocation.optionValue(2), &package))
        return LOCAL_FAILURE;
    Secret given;
    if (!obtainSecret(invocation.optionValue(1), nameForOption(invocation.optionName(1)), &given))
        return LOCAL_FAILURE;
    const Secret pin = selectAdminPin(hasAdminUser, std::move(given));

    uint32_t oldVersion = 0;
    result = tresora_ac_getFirmwareVersion(device, &oldVersion);
    if (result != 0)
        return failed(result);
    std::fputs("Transferring FW\n", stderr);
    result = transferPackage(device, package);
    if (result != 0)
        return failed(result);
    std::fputs("Applying FW. Depending on the FW size, this might take multiple minutes to "
               "complete. Please be patient, do not power cycle the device!\n",
               stderr);
    result = tresora_ac_firmwareUpdateApply(device, pin.data(), pin.size(),
                                            static_cast<uint32_t>(package.size()));
    if (result != 0)
        return failed(result);
    uint32_t newVersion = 0;
    result = tresora_ac_getFirmwareVersion(device, &newVersion);
    if (result != 0)
        return failed(result);
    std::fprintf(stderr, "Successfully updated from %s to %s\n",
                 versionBytesAsString(oldVersion).c_str(),
                 versionBytesAsString(newVersion).c_str());
    return 0;
}

struct Command
{
    int group;
    const char* name;
    int (*run)(const Invocation&);
};

const Command COMMANDS[] = {
    {3, "status", runStatus},
    {3, "controllerID", runControllerId},
    {3, "firmwareVersion", runFirmwareVersion},
    {3, "logout", runLogout},
    {3, "setReadOnly", runSetReadOnly},
    {3, "setReadWrite", runSetReadWrite},
    {3, "listSessions", runListSessions},
    {3, "discardCurrentSession", runDiscardCurrentSession},
    {3, "startNewSession", runStartNewSession},
    {4, "login", runLogin},
    {4, "factoryReset", runFactoryReset},
    {4, "wipeContent", runWipeContent},
    {4, "switchToSession", runSwitchToSession},
    {5, "activate", runActivate},
    {5, "changePin", runChangePin},
    {5, "unblockPin", runUnblockPin},
    {5, "changeAdminPin", runChangeAdminPin},
    {5, "firmwareUpdate", runFirmwareUpdate},
    {6, "activate", runActivateWithAdminUser},
};

// Program name, device, command, then one name/value pair per option.
int expectedArgumentCount(int group)
{
    return 2 * group - 3;
}

int dispatch(int argc, const char* const* argv)
{
    const Invocation invocation{argc > 0 && argv[0] != nullptr ? argv[0] : "vaultcli", argv};
    if (!argumentsAreWellFormed(argc, argv))
        return usageError(invocation);
    // No pattern has more than eight words.
    if (argc > 9)
        return usageError(invocation);
    int group = 0;
    {
        const Secret commandLine = commandLineForPatterns(argc, argv);
        group = commandGroup(commandLine.view());
    }
    if (group == 1) {
        printUsage(invocation.program);
        return 0;
    }
    if (group == 2) {
        std::printf("%s\n", VIX_PROGRAM_VERSION_TEXT);
        return 0;
    }
    if (group == 0 || argc != expectedArgumentCount(group))
        return usageError(invocation);
    for (const Command& command : COMMANDS) {
        if (command.group == group && std::strcmp(command.name, invocation.command()) == 0)
            return isCardOrUnreadable(invocation.device())
                       ? command.run(invocation)
                       : exitStatusFor(TRESORA_AC_ERR_NOT_A_CARD);
    }
    return usageError(invocation);
}

} // namespace

int main(int argc, char** argv)
{
    const ArgumentCopy arguments(argc, argv);
    tresora_ac_setWaitNotice(noticeWaitForCard);
    const int status = dispatch(argc, arguments.argv());
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "Failed to write to standard output: %s\n", std::strerror(errno));
        return status != 0 ? status : 1;
    }
    return status;
}
