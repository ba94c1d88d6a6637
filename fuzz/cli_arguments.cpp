// vaultcli's command-line handling: argument vectors built from the input, run
// against a scripted card API instead of a card.
//
// Input: byte 0 names the API call that fails (its position in the run; 255 and
// above the number of calls: none), byte 1 the failure code, byte 2 the card's
// answers (Admin user, session count, older card generation), then the arguments separated by NUL
// bytes; two NUL bytes in a row end the arguments, and what follows is the content of any update
// package the command opens ("missing" names one that does not exist).
//
// Checked beyond memory safety: a failed API call never ends in exit status 0, a
// session list too long for its room is asked for again with room for all, firmware
// chunks go out whole and in order, and a usage error makes no API call at all.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "CardManagement.h"
#include "FuzzCheck.h"
#include "vix_version.h"

int vaultcli_main(int argc, char** argv);

namespace {

const int FAILURE_CODES[] = {-1,   -3,        -11,    -24,    -26,    -27,   -28,
                             2,    0x6F02,    0x6F04, 0x6200, 0x6E00, 0x100, 0x10000,
                             -256, INT32_MIN, -29,    -31,    -32,    -33};

struct Run
{
    unsigned failAt = 0;
    int failure = 0;
    unsigned answers = 0;
    unsigned calls = 0;
    bool failed = false;
    uint32_t sessionsListed = 0;
    uint32_t nextChunkOffset = 0;
    bool inVaultcli = false;
    const uint8_t* package = nullptr;
    size_t packageSize = 0;
};

Run run;

// The result of the next API call.
int nextResult()
{
    const bool fail = run.calls++ == run.failAt;
    run.failed = run.failed || fail;
    return fail ? run.failure : 0;
}

bool hasAdminUser()
{
    return (run.answers & 1) != 0;
}

} // namespace

extern "C" {

FILE* __real_fopen(const char* path, const char* mode);
int __real_stat(const char* path, struct stat* node);

// vaultcli judges a package by its size before it opens it.
int __wrap_stat(const char* path, struct stat* node)
{
    if (!run.inVaultcli)
        return __real_stat(path, node);
    if (strcmp(path, "missing") == 0 || run.packageSize == 0) {
        errno = ENOENT;
        return -1;
    }
    *node = {};
    node->st_mode = S_IFREG | 0644;
    node->st_size = static_cast<off_t>(run.packageSize);
    return 0;
}

// Only vaultcli's own opens are served from the input.
FILE* __wrap_fopen(const char* path, const char* mode)
{
    if (!run.inVaultcli)
        return __real_fopen(path, mode);
    if (strcmp(path, "missing") == 0 || run.packageSize == 0)
        return nullptr;
    return fmemopen(const_cast<uint8_t*>(run.package), run.packageSize, "rb");
}

const char* tresora_ac_getLibraryVersion(void)
{
    return VIX_VERSION;
}

int tresora_ac_identifyCard(const char* devicePath, uint32_t* generation)
{
    CHECK(devicePath != nullptr && generation != nullptr);
    *generation = (run.answers & 4) != 0 ? TRESORA_AC_GENERATION_CCV1 : TRESORA_AC_GENERATION_CCV2;
    return 0;
}

void tresora_ac_setWaitNotice(void (*)(const char*)) {}
void tresora_ac_setAnswerWaitNotice(tresora_ac_answer_notice) {}

int tresora_ac_holdCard(const char* devicePath)
{
    CHECK(devicePath != nullptr);
    return 0;
}

void tresora_ac_releaseCard(void) {}

int tresora_ac_getStatus(const char* devicePath, uint32_t* state, uint32_t* readOnly,
                         uint32_t* pinRetryCounter, uint32_t* adminPinRetryCounter,
                         uint32_t* securityFlags)
{
    CHECK(devicePath != nullptr && *devicePath != '\0');
    const int result = nextResult();
    if (result != 0)
        return result;
    *state = run.answers >> 4;
    *readOnly = run.answers & 2;
    *pinRetryCounter = run.answers;
    *adminPinRetryCounter = ~run.answers;
    *securityFlags = hasAdminUser() ? TRESORA_AC_FLAG_USER_ADMIN_SEPARATION : 0;
    return 0;
}

int tresora_ac_getControllerId(const char*, unsigned char* buffer, int32_t* length)
{
    CHECK(buffer != nullptr && length != nullptr && *length > 0);
    const int result = nextResult();
    if (result != 0)
        return result;
    memset(buffer, 0xC5, static_cast<size_t>(*length));
    // An API that misreports the length must not make the tool read past its buffer.
    *length = (run.answers & 4) ? *length + 100 : (run.answers & 8) ? -5 : *length / 2;
    return 0;
}

int tresora_ac_getFirmwareVersion(const char*, uint32_t* version)
{
    const int result = nextResult();
    if (result == 0)
        *version = 0x0001020A + run.calls;
    return result;
}

int tresora_ac_activate(const char*, const unsigned char* pin, uint32_t pinLength,
                        const unsigned char* adminPin, uint32_t adminPinLength, uint32_t,
                        const unsigned char* securityFlags)
{
    CHECK(pin != nullptr && adminPin != nullptr && pinLength > 0 && adminPinLength > 0);
    CHECK(securityFlags == nullptr || *securityFlags == TRESORA_AC_FLAG_USER_ADMIN_SEPARATION);
    return nextResult();
}

int tresora_ac_wipeContent(const char*, const unsigned char* pin, uint32_t pinLength)
{
    CHECK(pin != nullptr && pinLength > 0);
    return nextResult();
}

int tresora_ac_factoryReset(const char*, const unsigned char* adminPin, uint32_t adminPinLength)
{
    CHECK(adminPin != nullptr && adminPinLength > 0);
    return nextResult();
}

int tresora_ac_login(const char*, const unsigned char* pin, uint32_t pinLength)
{
    CHECK(pin != nullptr && pinLength > 0);
    return nextResult();
}

int tresora_ac_logout(const char*)
{
    return nextResult();
}

int tresora_ac_changePinKeepingAdminPin(const char*, const unsigned char* oldPin,
                                        uint32_t oldLength, const unsigned char* newPin,
                                        uint32_t newLength, int* adminPinResult)
{
    CHECK(oldPin != nullptr && newPin != nullptr && oldLength > 0 && newLength > 0);
    CHECK(adminPinResult != nullptr);
    *adminPinResult = TRESORA_AC_SW_WRONG_PIN;
    return nextResult();
}

int tresora_ac_changeAdminPin(const char*, const unsigned char* oldAdminPin, uint32_t oldLength,
                              const unsigned char* newAdminPin, uint32_t newLength)
{
    CHECK(hasAdminUser());
    CHECK(oldAdminPin != nullptr && newAdminPin != nullptr && oldLength > 0 && newLength > 0);
    return nextResult();
}

int tresora_ac_unblockPin(const char*, const unsigned char* adminPin, uint32_t adminPinLength,
                          const unsigned char* newPin, uint32_t newPinLength)
{
    CHECK(hasAdminUser());
    CHECK(adminPin != nullptr && newPin != nullptr && adminPinLength > 0 && newPinLength > 0);
    return nextResult();
}

int tresora_ac_setDeviceReadOnly(const char*)
{
    return nextResult();
}

int tresora_ac_setDeviceReadWrite(const char*)
{
    return nextResult();
}

// Up to 381 sessions, more than vaultcli's first room; a failure comes after some.
int tresora_ac_listAllSessions(const char*, tresora_ac_session_entry* sessions, uint32_t capacity,
                               uint32_t* count)
{
    CHECK(count != nullptr && (sessions != nullptr || capacity == 0));
    CHECK(run.sessionsListed <= capacity); // asked again, then with room for all
    const int result = nextResult();
    run.sessionsListed = (run.answers >> 1) * 3;
    *count = result == 0 ? run.sessionsListed : std::min(run.sessionsListed, capacity) / 2;
    for (uint32_t i = 0; i < *count && i < capacity; ++i) {
        memset(&sessions[i], 0x37, sizeof sessions[i]); // a date without its NUL
        sessions[i].id = i;
        sessions[i].sectorCount = 0xFFFFFFFF;
    }
    if (result != 0)
        return result;
    return *count > capacity ? TRESORA_AC_ERR_BUFFER_TOO_SMALL : 0;
}

int tresora_ac_switchToSession(const char*, uint32_t sessionId)
{
    CHECK(sessionId <= INT32_MAX);
    return nextResult();
}

int tresora_ac_discardCurrentSession(const char*)
{
    return nextResult();
}

int tresora_ac_startNewSession(const char*)
{
    return nextResult();
}

int tresora_ac_firmwareUpdateTransfer(const char*, uint32_t offset, const unsigned char* chunk,
                                      uint16_t chunkLength)
{
    CHECK(chunk != nullptr && chunkLength == 128 && offset == run.nextChunkOffset);
    CHECK(offset + chunkLength <= run.packageSize);
    CHECK(memcmp(chunk, run.package + offset, chunkLength) == 0);
    run.nextChunkOffset += chunkLength;
    return nextResult();
}

int tresora_ac_firmwareUpdateApply(const char*, const unsigned char* pin, uint32_t pinLength,
                                   uint32_t totalLength)
{
    CHECK(pin != nullptr && pinLength > 0);
    CHECK(totalLength == run.nextChunkOffset && totalLength == run.packageSize);
    return nextResult();
}

int LLVMFuzzerInitialize(int*, char***)
{
    // Results and the usage text are of no interest; secrets read from standard
    // input meet its end at once.
    CHECK(freopen("/dev/null", "w", stdout) != nullptr);
    CHECK(freopen("/dev/null", "r", stdin) != nullptr);
    return 0;
}

} // extern "C"

namespace {

bool namesCommand(const std::vector<std::string>& arguments)
{
    static const char* const COMMANDS[] = {
        "status",         "controllerID",    "firmwareVersion", "logout",
        "setReadOnly",    "setReadWrite",    "listSessions",    "discardCurrentSession",
        "login",          "startNewSession", "factoryReset",    "wipeContent",
        "activate",       "switchToSession", "changePin",       "unblockPin",
        "changeAdminPin", "firmwareUpdate"};
    const size_t count = arguments.size();
    if (count < 3 || count > 9 || count % 2 == 0)
        return false;
    for (const char* command : COMMANDS) {
        if (arguments[2] == command)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const size_t failures = sizeof FAILURE_CODES / sizeof FAILURE_CODES[0];
    run = Run{};
    run.failAt = data[0];
    run.failure = FAILURE_CODES[data[1] % failures];
    run.answers = data[2];

    std::vector<std::string> arguments{"vaultcli"};
    size_t i = 3;
    std::string current;
    for (; i < size; ++i) {
        if (data[i] != 0) {
            current += static_cast<char>(data[i]);
            continue;
        }
        arguments.push_back(current);
        current.clear();
        if (i + 1 < size && data[i + 1] == 0) {
            i += 2;
            break;
        }
    }
    if (i >= size && !current.empty())
        arguments.push_back(current);
    if (i < size) {
        run.package = data + i;
        run.packageSize = size - i;
    }
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // vaultcli wipes what follows a secret option in its argv, so judge the line first.
    const bool named = namesCommand(arguments);
    run.inVaultcli = true;
    const int status = vaultcli_main(static_cast<int>(arguments.size()), argv.data());
    run.inVaultcli = false;
    fflush(stdout);

    CHECK(status >= 0 && status <= 255);
    if (run.failed)
        CHECK(status != 0);
    if (status == 0)
        CHECK(!run.failed);
    // A line that names no command, or has no room for its options, reaches no card.
    if (!named)
        CHECK(run.calls == 0);
    return 0;
}
