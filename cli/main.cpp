// vaultcli: one card operation per run; results on standard output, failures on
// standard error, the operation's result code as exit status.
#include "CardManagement.h"
#include "utils.h"
#include "vix_version.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
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
    // Set for a secret the card does not know yet: a typo at the hidden prompt
    // would set a PIN nobody knows, so it is asked twice there.
    const char* repeatPrompt = nullptr;
};

const SecretName PIN_NAME{"PIN", "PIN: "};
const SecretName ADMIN_PIN_NAME{"Admin PIN", "Admin PIN: "};
const SecretName NEW_PIN_NAME{"new PIN", "New PIN: ", "Repeat the new PIN: "};
const SecretName NEW_ADMIN_PIN_NAME{"new Admin PIN",
                                    "New Admin PIN: ", "Repeat the new Admin PIN: "};

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

int usageError(const Invocation& invocation, const std::string& problem)
{
    std::fprintf(stderr, "%s\n\n", problem.c_str());
    printUsage(invocation.program, stderr);
    return USAGE_ERROR;
}

// Which retry counter a wrong secret of the command spends.
enum class Counter { Pin, AdminPin, FactoryReset };

struct CardStatus
{
    uint32_t state = 0, readOnly = 0, pinRetries = 0, adminPinRetries = 0, flags = 0;
};

int readStatus(const char* device, CardStatus* status)
{
    return tresora_ac_getStatus(device, &status->state, &status->readOnly, &status->pinRetries,
                                &status->adminPinRetries, &status->flags);
}

void printWrongSecret(const char* device, Counter counter)
{
    const char* const secret = counter == Counter::AdminPin ? "Admin PIN" : "PIN";
    CardStatus status;
    if (readStatus(device, &status) != 0) {
        std::fprintf(stderr, "Wrong %s; the tries left could not be read.\n", secret);
        return;
    }
    const uint32_t tries = counter == Counter::Pin ? status.pinRetries : status.adminPinRetries;
    std::fprintf(stderr, "Wrong %s; %s tries left: %u.\n", secret,
                 counter == Counter::FactoryReset ? "factory reset" : secret, tries);
}

int failed(const Invocation& invocation, int result, Counter counter = Counter::Pin)
{
    printError(result);
    if (result == TRESORA_AC_SW_WRONG_PIN)
        printWrongSecret(invocation.device(), counter);
    else if (const std::string words = failureInWords(result); !words.empty())
        std::fprintf(stderr, "%s\n", words.c_str());
    return exitStatusFor(result);
}

int finished(const Invocation& invocation, int result, Counter counter = Counter::Pin)
{
    return result == 0 ? 0 : failed(invocation, result, counter);
}

const SecretName& nameForOption(const char* optionName)
{
    return std::strcmp(optionName, "--adminPin") == 0 ? ADMIN_PIN_NAME : PIN_NAME;
}

bool readSecret(const char* prompt, const SecretName& name, Secret* secret)
{
    switch (readSecretLine(STDIN_FILENO, prompt, secret)) {
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
    case SecretReadResult::SurroundingSpace:
        std::fprintf(stderr,
                     "The %s read from standard input begins or ends with white space, which "
                     "the card would take as part of it; nothing was sent to the card\n",
                     name.name);
        break;
    case SecretReadResult::ReadError:
        std::fprintf(stderr, "Failed to read the %s from standard input: %s\n", name.name,
                     std::strerror(errno));
        break;
    }
    return false;
}

// "-" reads the value from standard input, keeping it out of the process list.
bool obtainSecret(const char* argument, const SecretName& name, Secret* secret)
{
    if (std::strcmp(argument, "-") != 0) {
        *secret = Secret(std::string_view(argument));
        return true;
    }
    if (!readSecret(name.prompt, name, secret))
        return false;
    if (name.repeatPrompt == nullptr || isatty(STDIN_FILENO) == 0)
        return true;
    Secret repeated;
    if (!readSecret(name.repeatPrompt, name, &repeated))
        return false;
    if (repeated.view() == secret->view())
        return true;
    std::fprintf(stderr, "The two entries of the %s differ; nothing was sent to the card\n",
                 name.name);
    return false;
}

const char* nodeKind(const char* device)
{
    struct stat node
    {
    };
    if (::stat(device, &node) != 0 || S_ISBLK(node.st_mode) || S_ISREG(node.st_mode))
        return nullptr;
    if (S_ISFIFO(node.st_mode))
        return "a FIFO";
    if (S_ISSOCK(node.st_mode))
        return "a socket";
    if (S_ISCHR(node.st_mode))
        return "a character device";
    if (S_ISDIR(node.st_mode))
        return "a directory";
    return "neither a block device nor a file";
}

void explainNotACard(const char* device)
{
    if (const char* kind = nodeKind(device)) {
        std::fprintf(stderr,
                     "Refusing %s: it is %s, not a card's block device or image file. Nothing "
                     "was opened.\n",
                     device, kind);
        return;
    }
    std::fprintf(stderr,
                 "Refusing %s: neither it nor, for a block device, its whole disk carries a "
                 "card's identification record, so it is not a card. Nothing was written to "
                 "it.\n",
                 device);
}

// A mistyped path must not cost a disk its data or leave a PIN on it. A device that
// cannot be read goes on to the operation, which reports the open failure.
bool isCardOrUnreadable(const char* device)
{
    uint32_t generation = TRESORA_AC_GENERATION_NONE;
    const int result = tresora_ac_identifyCard(device, &generation);
    if (result == TRESORA_AC_ERR_NOT_A_CARD) {
        explainNotACard(device);
        return false;
    }
    if (result == 0 && generation != TRESORA_AC_GENERATION_CCV2)
        std::fprintf(stderr,
                     "Warning: %s is a Tresora Camera Card, which this tool does not support "
                     "(the Kendrova Tresora Camera Card Tool is made for it); the card may "
                     "refuse or ignore what it is asked.\n",
                     device);
    return true;
}

void noticeWaitForCard(const char* device)
{
    std::fprintf(stderr, "Waiting for another program to release the card %s ...\n", device);
}

void noticeLateAnswer(const char* device, uint32_t secondsWaited)
{
    std::fprintf(stderr,
                 "The card at %s is still busy after its time-out; waiting for it to answer "
                 "(%u s so far). Do not remove it.\n",
                 device, secondsWaited);
}

int queryAdminUser(const char* device, bool* hasAdminUser)
{
    CardStatus status;
    const int result = readStatus(device, &status);
    *hasAdminUser = (status.flags & TRESORA_AC_FLAG_USER_ADMIN_SEPARATION) != 0;
    return result;
}

// Without an Admin user the value given is the PIN, and the Admin PIN derives from it.
Secret selectAdminPin(bool hasAdminUser, Secret given)
{
    return hasAdminUser ? std::move(given) : calculateAdminPinFromPin(given);
}

int runStatus(const Invocation& invocation)
{
    CardStatus status;
    int result = readStatus(invocation.device(), &status);
    if (result != 0)
        return failed(invocation, result);
    bool hasAdminUser = false;
    result = queryAdminUser(invocation.device(), &hasAdminUser);
    if (result != 0)
        return failed(invocation, result);
    std::printf("Card state: %s\n", translateState(status.state));
    std::printf("Read-only: %s\n", status.readOnly != 0 ? "true" : "false");
    std::printf("%s%u\n",
                hasAdminUser ? "PIN Retry Counter: " : "Login Retry Counter: ", status.pinRetries);
    std::printf("%s%u\n",
                hasAdminUser ? "Admin PIN Retry Counter: " : "Factory Reset Retry Counter: ",
                status.adminPinRetries);
    std::printf("SecurityFlag: %u\n", status.flags);
    return 0;
}

int runControllerId(const Invocation& invocation)
{
    unsigned char identifier[CONTROLLER_ID_CAPACITY];
    int32_t length = CONTROLLER_ID_CAPACITY;
    const int result = tresora_ac_getControllerId(invocation.device(), identifier, &length);
    if (result != 0)
        return failed(invocation, result);
    displayCharToHex(identifier, static_cast<std::size_t>(
                                     std::clamp<int32_t>(length, 0, CONTROLLER_ID_CAPACITY)));
    return 0;
}

int runFirmwareVersion(const Invocation& invocation)
{
    uint32_t version = 0;
    const int result = tresora_ac_getFirmwareVersion(invocation.device(), &version);
    if (result != 0)
        return failed(invocation, result);
    std::printf("%s\n", versionBytesAsString(version).c_str());
    return 0;
}

int runLogout(const Invocation& invocation)
{
    return finished(invocation, tresora_ac_logout(invocation.device()));
}

int runSetReadOnly(const Invocation& invocation)
{
    return finished(invocation, tresora_ac_setDeviceReadOnly(invocation.device()));
}

int runSetReadWrite(const Invocation& invocation)
{
    return finished(invocation, tresora_ac_setDeviceReadWrite(invocation.device()));
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
    return finished(invocation, result);
}

int runDiscardCurrentSession(const Invocation& invocation)
{
    return finished(invocation, tresora_ac_discardCurrentSession(invocation.device()));
}

int runStartNewSession(const Invocation& invocation)
{
    return finished(invocation, tresora_ac_startNewSession(invocation.device()));
}

int runLogin(const Invocation& invocation)
{
    Secret pin;
    if (!obtainSecret(invocation.optionValue(1), PIN_NAME, &pin))
        return LOCAL_FAILURE;
    return finished(invocation, tresora_ac_login(invocation.device(), pin.data(), pin.size()));
}

// The option names the secret the card checks: a PIN given where the card wants its
// Admin PIN (or the other way round) would spend the other secret's tries.
bool optionFitsCard(const Invocation& invocation, bool hasAdminUser)
{
    const bool givesAdminPin = std::strcmp(invocation.optionName(1), "--adminPin") == 0;
    if (givesAdminPin == hasAdminUser)
        return true;
    std::fprintf(stderr,
                 hasAdminUser
                     ? "The card has a separate Admin user: %s takes its Admin PIN, as "
                       "--adminPin ADMIN_PIN. Nothing was sent to the card.\n"
                     : "The card has no separate Admin user: %s takes its PIN, as --pin PIN. "
                       "Nothing was sent to the card.\n",
                 invocation.command());
    return false;
}

// The secret of a wipe or factory reset, once its option fits the card; false, with
// the exit status in *status, when the command ends here.
bool obtainResetSecret(const Invocation& invocation, bool* hasAdminUser, Secret* secret,
                       int* status)
{
    const int result = queryAdminUser(invocation.device(), hasAdminUser);
    if (result != 0) {
        *status = failed(invocation, result);
        return false;
    }
    if (!optionFitsCard(invocation, *hasAdminUser)) {
        *status = USAGE_ERROR;
        return false;
    }
    *status = LOCAL_FAILURE;
    return obtainSecret(invocation.optionValue(1), nameForOption(invocation.optionName(1)), secret);
}

int runFactoryReset(const Invocation& invocation)
{
    bool hasAdminUser = false;
    Secret given;
    int status = 0;
    if (!obtainResetSecret(invocation, &hasAdminUser, &given, &status))
        return status;
    const Secret adminPin = selectAdminPin(hasAdminUser, std::move(given));
    return finished(invocation,
                    tresora_ac_factoryReset(invocation.device(), adminPin.data(), adminPin.size()),
                    hasAdminUser ? Counter::AdminPin : Counter::FactoryReset);
}

int runWipeContent(const Invocation& invocation)
{
    bool hasAdminUser = false;
    Secret pin;
    int status = 0;
    if (!obtainResetSecret(invocation, &hasAdminUser, &pin, &status))
        return status;
    return finished(invocation, tresora_ac_wipeContent(invocation.device(), pin.data(), pin.size()),
                    hasAdminUser ? Counter::AdminPin : Counter::Pin);
}

int runSwitchToSession(const Invocation& invocation)
{
    int32_t sessionId = 0;
    if (!parseNonNegativeInt32(invocation.optionValue(1), &sessionId))
        return usageError(invocation, "SESSION_ID must be below 2147483648.");
    return finished(invocation, tresora_ac_switchToSession(invocation.device(),
                                                           static_cast<uint32_t>(sessionId)));
}

// The card receives the retry counter as one byte: a larger N would wrap into a
// different, possibly accepted, value.
bool parseRetryCounter(const char* digits, int32_t* retryCounter)
{
    return parseNonNegativeInt32(digits, retryCounter) && *retryCounter <= MAX_RETRY_COUNTER;
}

const char* const RETRY_COUNTER_RANGE = "retryCounter N must be at most 255.";

int runActivate(const Invocation& invocation)
{
    int32_t retryCounter = 0;
    if (!parseRetryCounter(invocation.optionValue(2), &retryCounter))
        return usageError(invocation, RETRY_COUNTER_RANGE);
    Secret pin;
    if (!obtainSecret(invocation.optionValue(1), PIN_NAME, &pin))
        return LOCAL_FAILURE;
    const Secret adminPin = calculateAdminPinFromPin(pin);
    return finished(invocation, tresora_ac_activate(invocation.device(), pin.data(), pin.size(),
                                                    adminPin.data(), adminPin.size(),
                                                    static_cast<uint32_t>(retryCounter), nullptr));
}

int runActivateWithAdminUser(const Invocation& invocation)
{
    int32_t retryCounter = 0;
    if (!parseRetryCounter(invocation.optionValue(3), &retryCounter))
        return usageError(invocation, RETRY_COUNTER_RANGE);
    Secret pin, adminPin;
    if (!obtainSecret(invocation.optionValue(1), PIN_NAME, &pin) ||
        !obtainSecret(invocation.optionValue(2), ADMIN_PIN_NAME, &adminPin))
        return LOCAL_FAILURE;
    const unsigned char flags = TRESORA_AC_FLAG_USER_ADMIN_SEPARATION;
    return finished(invocation, tresora_ac_activate(invocation.device(), pin.data(), pin.size(),
                                                    adminPin.data(), adminPin.size(),
                                                    static_cast<uint32_t>(retryCounter), &flags));
}

int reportAdminPinBehind(int adminPinResult)
{
    printError(TRESORA_AC_ERR_ADMIN_PIN_BEHIND);
    std::string reason = failureInWords(adminPinResult);
    if (adminPinResult == TRESORA_AC_SW_WRONG_PIN)
        reason = "the card refused the Admin PIN derived from the old PIN";
    else if (reason.empty())
        reason = "error " + std::to_string(adminPinResult);
    std::fprintf(stderr,
                 "Your PIN was changed, but the Admin PIN that goes with it could not be changed "
                 "(%s). Log in and wipe the card with your new PIN. A factory reset still needs "
                 "your old PIN: keep a note of it.\n",
                 reason.c_str());
    return exitStatusFor(TRESORA_AC_ERR_ADMIN_PIN_BEHIND);
}

int runChangePin(const Invocation& invocation)
{
    Secret pin, newPin;
    if (!obtainSecret(invocation.optionValue(1), PIN_NAME, &pin) ||
        !obtainSecret(invocation.optionValue(2), NEW_PIN_NAME, &newPin))
        return LOCAL_FAILURE;
    int adminPinResult = 0;
    const int result = tresora_ac_changePinKeepingAdminPin(
        invocation.device(), pin.data(), pin.size(), newPin.data(), newPin.size(), &adminPinResult);
    if (result == TRESORA_AC_ERR_ADMIN_PIN_BEHIND)
        return reportAdminPinBehind(adminPinResult);
    return finished(invocation, result);
}

// unblockPin and changeAdminPin exist only on a card with an Admin user.
int requireAdminUser(const Invocation& invocation, bool* proceed)
{
    bool hasAdminUser = false;
    const int result = queryAdminUser(invocation.device(), &hasAdminUser);
    *proceed = false;
    if (result != 0)
        return failed(invocation, result);
    if (!hasAdminUser)
        return usageError(invocation, std::string("The card has no separate Admin user, which ") +
                                          invocation.command() + " needs.");
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
    return finished(invocation,
                    tresora_ac_unblockPin(invocation.device(), adminPin.data(), adminPin.size(),
                                          newPin.data(), newPin.size()),
                    Counter::AdminPin);
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
    return finished(invocation,
                    tresora_ac_changeAdminPin(invocation.device(), adminPin.data(), adminPin.size(),
                                              newAdminPin.data(), newAdminPin.size()),
                    Counter::AdminPin);
}

// The package is judged by its size before a byte of it is read: a short last chunk
// would be lost and the card left with truncated firmware, and a huge file would
// only be refused after it was read.
std::FILE* openUpdatePackage(const char* path, std::size_t* size)
{
    struct stat node
    {
    };
    if (::stat(path, &node) != 0) {
        std::fprintf(stderr, "Failed to open update package '%s': %s\n", path,
                     std::strerror(errno));
        return nullptr;
    }
    if (!S_ISREG(node.st_mode)) {
        std::fprintf(stderr, "Failed to open update package '%s': it is not a regular file\n",
                     path);
        return nullptr;
    }
    const auto bytes = static_cast<uint64_t>(node.st_size);
    if (bytes > MAX_PACKAGE_SIZE) {
        std::fprintf(stderr,
                     "Refusing update package '%s' of %llu bytes: the card takes at most %zu "
                     "bytes. Nothing was sent to the card.\n",
                     path, static_cast<unsigned long long>(bytes), MAX_PACKAGE_SIZE);
        return nullptr;
    }
    if (bytes == 0 || bytes % FIRMWARE_CHUNK_SIZE != 0) {
        std::fprintf(stderr,
                     "Refusing update package '%s' of %llu bytes: its size must be a non-zero "
                     "multiple of %zu bytes. Nothing was sent to the card.\n",
                     path, static_cast<unsigned long long>(bytes), FIRMWARE_CHUNK_SIZE);
        return nullptr;
    }
    std::FILE* file = std::fopen(path, "rbe");
    if (file == nullptr) {
        std::fprintf(stderr, "Failed to open update package '%s': %s\n", path,
                     std::strerror(errno));
        return nullptr;
    }
    *size = static_cast<std::size_t>(bytes);
    return file;
}

// A package that cannot be read to its end sets *readFailed: the card keeps its
// firmware, since nothing is applied.
int transferPackage(const char* device, const char* path, std::FILE* file, std::size_t size,
                    bool* readFailed)
{
    const bool showProgress = isatty(STDERR_FILENO) != 0;
    unsigned char chunk[FIRMWARE_CHUNK_SIZE];
    int result = 0;
    for (std::size_t offset = 0; result == 0 && offset < size; offset += FIRMWARE_CHUNK_SIZE) {
        errno = 0;
        if (std::fread(chunk, 1, sizeof chunk, file) != sizeof chunk) {
            std::fprintf(stderr,
                         "\nFailed to read update package '%s' at byte %zu: %s. Nothing was "
                         "applied.\n",
                         path, offset, errno != 0 ? std::strerror(errno) : "it became shorter");
            *readFailed = true;
            return 0;
        }
        result = tresora_ac_firmwareUpdateTransfer(device, static_cast<uint32_t>(offset), chunk,
                                                   FIRMWARE_CHUNK_SIZE);
        if (showProgress && result == 0)
            std::fprintf(stderr, "\r%zu of %zu bytes sent", offset + FIRMWARE_CHUNK_SIZE, size);
    }
    if (showProgress)
        std::fputs("\n", stderr);
    return result;
}

struct UpdatePackage
{
    const char* path;
    std::FILE* file;
    std::size_t size;
};

int updateFirmware(const Invocation& invocation, const Secret& pin, Counter counter,
                   const UpdatePackage& package)
{
    const char* device = invocation.device();
    uint32_t oldVersion = 0;
    int result = tresora_ac_getFirmwareVersion(device, &oldVersion);
    if (result != 0)
        return failed(invocation, result);
    std::fputs("Transferring FW\n", stderr);
    bool readFailed = false;
    result = transferPackage(device, package.path, package.file, package.size, &readFailed);
    if (readFailed)
        return LOCAL_FAILURE;
    if (result != 0)
        return failed(invocation, result);
    std::fputs("Applying FW. Depending on the FW size, this might take multiple minutes to "
               "complete. Please be patient, do not power cycle the device!\n",
               stderr);
    result = tresora_ac_firmwareUpdateApply(device, pin.data(), pin.size(),
                                            static_cast<uint32_t>(package.size));
    if (result != 0)
        return failed(invocation, result, counter);
    uint32_t newVersion = 0;
    result = tresora_ac_getFirmwareVersion(device, &newVersion);
    if (result != 0)
        return failed(invocation, result);
    std::fprintf(stderr, "Successfully updated from %s to %s\n",
                 versionBytesAsString(oldVersion).c_str(),
                 versionBytesAsString(newVersion).c_str());
    return 0;
}

int runFirmwareUpdate(const Invocation& invocation)
{
    const char* device = invocation.device();
    bool hasAdminUser = false;
    int result = queryAdminUser(device, &hasAdminUser);
    if (result != 0)
        return failed(invocation, result);
    std::size_t size = 0;
    std::FILE* file = openUpdatePackage(invocation.optionValue(2), &size);
    if (file == nullptr)
        return LOCAL_FAILURE;
    Secret given;
    if (!obtainSecret(invocation.optionValue(1), nameForOption(invocation.optionName(1)), &given)) {
        std::fclose(file);
        return LOCAL_FAILURE;
    }
    const Secret pin = selectAdminPin(hasAdminUser, std::move(given));
    // No other program's command may come between the chunks and the apply.
    result = tresora_ac_holdCard(device);
    if (result == TRESORA_AC_ERR_CARD_IN_USE) {
        std::fclose(file);
        return failed(invocation, result);
    }
    const int status =
        updateFirmware(invocation, pin, hasAdminUser ? Counter::AdminPin : Counter::FactoryReset,
                       {invocation.optionValue(2), file, size});
    if (result == 0)
        tresora_ac_releaseCard();
    std::fclose(file);
    return status;
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
    // No pattern has more than eight words.
    if (!argumentsAreWellFormed(argc, argv) || argc > 9)
        return usageError(invocation, usageProblem(argc, argv));
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
        return usageError(invocation, usageProblem(argc, argv));
    for (const Command& command : COMMANDS) {
        if (command.group != group || std::strcmp(command.name, invocation.command()) != 0)
            continue;
        if (!isCardOrUnreadable(invocation.device()))
            return exitStatusFor(TRESORA_AC_ERR_NOT_A_CARD);
        // Only what the operation's own system calls leave is worth reporting.
        errno = 0;
        return command.run(invocation);
    }
    return usageError(invocation, usageProblem(argc, argv));
}

} // namespace

int main(int argc, char** argv)
{
    const ArgumentCopy arguments(argc, argv);
    tresora_ac_setWaitNotice(noticeWaitForCard);
    tresora_ac_setAnswerWaitNotice(noticeLateAnswer);
    const int status = dispatch(argc, arguments.argv());
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "Failed to write to standard output: %s\n", std::strerror(errno));
        return status != 0 ? status : 1;
    }
    return status;
}
