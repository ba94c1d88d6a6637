#include "utils.h"

#include "CardManagement.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <regex>
#include <termios.h>
#include <unistd.h>
#include <vector>

Secret::Secret(std::size_t capacity)
{
    bytes_.reserve(capacity);
}

Secret::Secret(std::string_view text) : Secret(text.size())
{
    append(text);
}

Secret& Secret::operator=(Secret&& other) noexcept
{
    wipe();
    bytes_ = std::move(other.bytes_);
    return *this;
}

Secret::~Secret()
{
    wipe();
}

bool Secret::append(unsigned char byte)
{
    if (bytes_.size() == bytes_.capacity())
        return false;
    bytes_.push_back(byte);
    return true;
}

bool Secret::append(std::string_view text)
{
    if (text.size() > bytes_.capacity() - bytes_.size())
        return false;
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return true;
}

void Secret::removeLast()
{
    explicit_bzero(&bytes_.back(), 1);
    bytes_.pop_back();
}

unsigned char* Secret::zeroBytes(std::size_t size)
{
    wipe();
    bytes_.resize(std::min(size, bytes_.capacity()));
    return bytes_.data();
}

void Secret::wipe()
{
    if (!bytes_.empty())
        explicit_bzero(bytes_.data(), bytes_.size());
    bytes_.clear();
}

namespace {

bool isSecretOption(const char* argument)
{
    for (const char* name : {"--pin", "--adminPin", "--newPin", "--newAdminPin"}) {
        if (std::strcmp(argument, name) == 0)
            return true;
    }
    return false;
}

} // namespace

ArgumentCopy::ArgumentCopy(int argc, char** argv)
{
    for (int i = 0; i < argc && argv[i] != nullptr; ++i) {
        const std::string_view argument(argv[i]);
        Secret copy(argument.size() + 1);
        copy.append(argument);
        copy.append('\0');
        copies_.push_back(std::move(copy));
        if (i > 0 && isSecretOption(argv[i - 1]))
            explicit_bzero(argv[i], argument.size());
    }
    for (const Secret& copy : copies_)
        pointers_.push_back(copy.chars());
    pointers_.push_back(nullptr);
}

const char* translateState(uint32_t state)
{
    switch (state) {
    case TRESORA_AC_STATE_TRANSPARENT:
        return "Transparent";
    case TRESORA_AC_STATE_UNLOCKED:
        return "Unlocked";
    case TRESORA_AC_STATE_LOCKED:
        return "Locked";
    default:
        return "Undefined state";
    }
}

namespace {

// The codes a failed system call gives; for any other, errno holds nothing of it.
bool comesFromSystemCall(int code)
{
    switch (code) {
    case TRESORA_AC_ERR_NO_MEMORY:
    case TRESORA_AC_ERR_OPEN:
    case TRESORA_AC_ERR_CLOSE:
    case TRESORA_AC_ERR_WRITE:
    case TRESORA_AC_ERR_READ:
        return true;
    default:
        return false;
    }
}

struct CodeWords
{
    int code;
    const char* words;
};

const CodeWords CODE_WORDS[] = {
    {TRESORA_AC_SW_RETRIES_EXCEEDED, "Blocked: no tries are left, the card refuses the PIN."},
    {TRESORA_AC_SW_BLOCKED, "Blocked: entered wrong too often, no tries are left."},
    {TRESORA_AC_SW_PIN_LENGTH, "The card refused the length: a PIN has 4 to 15 characters, an "
                               "Admin PIN 8 to 20."},
    {TRESORA_AC_SW_INVALID_FILE_SYSTEM,
     "The card holds no valid FAT32 or exFAT file system, which activation needs."},
    {TRESORA_AC_SW_TIMEOUT, "The card did not answer in time."},
    {TRESORA_AC_ERR_TIMEOUT, "The card did not answer in time."},
    {TRESORA_AC_ERR_MALFORMED_ANSWER,
     "The card's answer was malformed: the card or its connection misbehaves."},
    {TRESORA_AC_ERR_ANSWER_TYPE,
     "The device answered with a block of the wrong kind: the card or its connection "
     "misbehaves."},
    {TRESORA_AC_ERR_OPEN, "The device cannot be opened."},
    {TRESORA_AC_ERR_REFRESH, "The card changed, but the system's view of it could not be "
                             "refreshed: remove the card and insert it again."},
    {TRESORA_AC_REMOUNT_INCOMPLETE, "The card changed, but its partition could not be mounted "
                                    "again: remove the card and insert it again."},
    {TRESORA_AC_ERR_SYSTEM_CONFIGURATION,
     "A helper program of this tool is not installed; nothing was sent to the card."},
    {TRESORA_AC_ERR_FIRMWARE_UNCHANGED,
     "The card still reports the firmware version it had before: the update was not applied."},
    {TRESORA_AC_ERR_CARD_IN_USE, "Another program kept the card busy for too long."},
    {TRESORA_AC_ERR_OUTCOME_UNKNOWN,
     "The card answered again after the command's time-out, but what it reports does not tell "
     "whether the command was carried out. Check the card's status before you repeat it."},
    {TRESORA_AC_ERR_CARD_SILENT,
     "The card did not answer again within 10 minutes after the command's time-out: whether "
     "the command was carried out is unknown. Do not power cycle the card; check its status "
     "later."},
};

} // namespace

void printError(int code)
{
    const int systemError = errno;
    if (code > 0)
        std::fprintf(stderr, "Failed, error: 0x%x\n", static_cast<unsigned>(code));
    else if (comesFromSystemCall(code) && systemError != 0)
        std::fprintf(stderr, "Failed, error: %d, system error: %d (%s)\n", code, systemError,
                     std::strerror(systemError));
    else
        std::fprintf(stderr, "Failed, error: %d\n", code);
}

std::string failureInWords(int code)
{
    for (const CodeWords& entry : CODE_WORDS) {
        if (entry.code == code)
            return entry.words;
    }
    return {};
}

void displayCharToHex(const unsigned char* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        std::printf("%02x", bytes[i]);
}

std::string versionBytesAsString(unsigned version)
{
    return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFFu) + "." +
           std::to_string(version & 0xFFu);
}

std::string getFormattedDataSize(float bytes)
{
    char text[64];
    if (bytes >= 1000000000.0f)
        std::snprintf(text, sizeof text, "%.1f GB", bytes / (1024.0 * 1024.0 * 1024.0));
    else if (bytes >= 1000000.0f)
        std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024.0));
    else if (bytes >= 1000.0f)
        std::snprintf(text, sizeof text, "%.1f KB", bytes / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.1f Bytes", static_cast<double>(bytes));
    return text;
}

Secret calculateAdminPinFromPin(const Secret& pin)
{
    uint32_t length = TRESORA_AC_DERIVED_ADMIN_PIN_LENGTH(pin.size());
    Secret adminPin(length);
    tresora_ac_calculateAdminPinFromPin(pin.data(), pin.size(), adminPin.zeroBytes(length),
                                        &length);
    return adminPin;
}

// The digits of a number constant, as a literal.
#define NUMBER_TEXT(constant) NUMBER_TOKEN_TEXT(constant)
#define NUMBER_TOKEN_TEXT(token) #token
#define PIN_LENGTH_RULE                                                                            \
    "PIN length must be between " NUMBER_TEXT(TRESORA_AC_PIN_MIN_LENGTH) " and " NUMBER_TEXT(      \
        TRESORA_AC_PIN_MAX_LENGTH) ". "
#define RETRY_COUNTER_RULE                                                                         \
    "retryCounter N must be between " NUMBER_TEXT(                                                 \
        TRESORA_AC_RETRY_COUNTER_MIN) " and " NUMBER_TEXT(TRESORA_AC_RETRY_COUNTER_MAX) ". "
#define ADMIN_PIN_LENGTH_RULE                                                                      \
    "Admin PIN length must be between " NUMBER_TEXT(                                               \
        TRESORA_AC_ADMIN_PIN_MIN_LENGTH) " and " NUMBER_TEXT(TRESORA_AC_ADMIN_PIN_MAX_LENGTH) "."

namespace {

const char* const READ_ONLY_NOTICE =
    "After execution of this command, the card will be read-only, since the host Operating "
    "System might not be aware of the changes of the file system. If you are sure that your "
    "system is in sync with the card, you can run command setReadWrite in order to make it "
    "writable again. Otherwise, all writes to the card will be ignored until it gets power "
    "cycled.\n\n";
const char* const DELETION_NOTICE =
    "All currently stored data on the card will be DELETED and can not be recovered anymore "
    "after this command has been executed. ";
const char* const STATE_NOTICE =
    "This command only applies to a card in \"Locked\" or \"Unlocked\" state.\n";

void printCommandsUsage(std::FILE* out)
{
    std::fputs("Commands and their options:\n\n"
               "status: Query general status from the card.\n\n"
               "controllerID: Gets the unique controller identifier.\n\n"
               "firmwareVersion: Gets the firmware version.\n\n",
               out);
    std::fputs(
        "activate --pin PIN [--adminPin ADMIN_PIN] --retryCounter N: "
        "Activates the security features of the card. " PIN_LENGTH_RULE RETRY_COUNTER_RULE
        "Optionally, an admin user for more granular security options can be added: Only the "
        "admin user can delete data from the card and the Admin PIN can be used to unblock the "
        "PIN. " ADMIN_PIN_LENGTH_RULE
        "Activating the card is only possible if a valid FAT32 or exFAT file system is present on "
        "the card. All file content on the card will be discarded and after activation "
        "succeeded, an empty file system will be presented. "
        "This command only applies to a card in \"Transparent\" state.\n",
        out);
    std::fputs(READ_ONLY_NOTICE, out);
    std::fputs("wipeContent [--pin PIN | --adminPin ADMIN_PIN]: "
               "Wipes all content from the card and restores an empty file system. The security "
               "features of the card will stay active after this method has been called. "
               "The content wipe requires passing the PIN or Admin PIN depending on the security "
               "settings to confirm that data is deleted from the card. ",
               out);
    std::fputs(DELETION_NOTICE, out);
    std::fputs(STATE_NOTICE, out);
    std::fputs(READ_ONLY_NOTICE, out);
    std::fputs("factoryReset [--pin PIN | --adminPin ADMIN_PIN]: Brings the card back into a "
               "factory default state. The factory reset requires passing the PIN or Admin PIN "
               "depending on the security settings to confirm that data is deleted from the "
               "card. ",
               out);
    std::fputs(DELETION_NOTICE, out);
    std::fputs(STATE_NOTICE, out);
    std::fputs(READ_ONLY_NOTICE, out);
}

void printSessionAndPinUsage(std::FILE* out)
{
    std::fputs(
        "login --pin PIN: Logs into the card to unlock protected files. This command only "
        "applies to a card in \"Locked\" state.\n\n"
        "logout: Logs out from the card and brings it into locked state. This command only "
        "applies to a card in \"Unlocked\" state.\n\n"
        "setReadOnly: Makes the whole card temporarily read-only.\n\n"
        "setReadWrite: Makes the card writable again after --setReadOnly has been executed.\n\n"
        "listSessions: Lists session ids, dates and sizes of the card. This command only applies "
        "to a card in \"Unlocked\" state.\n\n"
        "switchToSession --id SESSION_ID: Switches to the session of the given id and allows to "
        "read back the data that was stored in that session. This command only applies to a "
        "card in \"Unlocked\" state.\n\n"
        "changePin --pin PIN --newPin NEW_PIN: Changes the PIN of the card.\n\n"
        "unblockPin --adminPin ADMIN_PIN --newPin NEW_PIN: Unblocks the PIN, i.e. allows to set "
        "a new PIN without knowing the old one.\n\n"
        "changeAdminPin --adminPin ADMIN_PIN --newAdminPin NEW_ADMIN_PIN: Changes the Admin PIN "
        "of the card.\n\n",
        out);
    std::fputs(
        "firmwareUpdate [--pin PIN | --adminPin ADMIN_PIN] --file FIRMWARE_UPDATE: Applies a "
        "firmware update. The firmware update requires passing the PIN or Admin PIN depending on "
        "the security settings. Please note that the firmware cannot be downgraded, i.e. once a "
        "firmware update has been applied it cannot be reversed.\n\n"
        "discardCurrentSession: Discards the current session, i.e. remove it from the list of "
        "recorded sessions.\n\n"
        "startNewSession: Closes the current session, persists it to disk and starts a new "
        "one.\n\n",
        out);
    std::fputs("PIN, ADMIN_PIN, NEW_PIN and NEW_ADMIN_PIN: Pass \"-\" instead of the value to read "
               "it from standard input, one line per value in the order of the options. The value "
               "is not echoed when standard input is a terminal, and it does not show in the "
               "process list or the shell history.\n\n",
               out);
}

} // namespace

void printUsage(const char* programName, std::FILE* out)
{
    std::fprintf(out,
                 "Please keep %s (%s) terminated while using this command line tool. Otherwise "
                 "unintended behaviors of the card may occur.\n\n",
                 "Kendrova Tresora Archive Tool", "Vix");
    std::fprintf(out,
                 "Usage:\n%s [-h|--help][-v|--version]\n%s mount_point command "
                 "[command_options]\n\n",
                 programName, programName);
    std::fputs("mount_point is the drive letter followed by a colon on Windows, e.g. 'e:'. On "
               "Linux, this is the path to the first partition on the block device, e.g. "
               "'/dev/sdb1'.\n\n",
               out);
    printCommandsUsage(out);
    printSessionAndPinUsage(out);
}

int exitStatusFor(int result)
{
    const auto bits = static_cast<uint32_t>(result);
    if (bits & 0xFFu)
        return static_cast<int>(bits & 0xFFu);
    if (bits & 0xFF00u)
        return static_cast<int>((bits >> 8) & 0xFFu);
    return result == 0 ? 0 : 1;
}

bool argumentsAreWellFormed(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument == nullptr || *argument == '\0')
            return false;
        for (const char* c = argument; *c; ++c) {
            if (std::isspace(static_cast<unsigned char>(*c)))
                return false;
        }
    }
    return true;
}

Secret commandLineForPatterns(int argc, const char* const* argv)
{
    Secret text(static_cast<std::size_t>(argc) * (MAX_MATCHED_ARGUMENT + 1));
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text.append(' ');
        const std::string_view argument(argv[i]);
        text.append(argument.size() > MAX_MATCHED_ARGUMENT ? std::string_view("x") : argument);
    }
    return text;
}

namespace {

const std::vector<std::regex>& commandPatterns()
{
    static const char* const COMMAND_PATTERN[] = {
        R"((-h|--help))",
        R"((-v|--version))",
        R"(\S+ (status|controllerID|firmwareVersion|logout|setReadOnly|setReadWrite|listSessions|discardCurrentSession|startNewSession))",
        R"(\S+ (login --pin \S+|factoryReset (--pin|--adminPin) \S+|wipeContent (--pin|--adminPin) \S+|switchToSession --id \d+))",
        R"(\S+ (activate --pin \S+ --retryCounter \d+|(changePin --pin \S+|unblockPin --adminPin \S+) --newPin \S+|changeAdminPin --adminPin \S+ --newAdminPin \S+|firmwareUpdate (--pin|--adminPin) \S+ --file \S+))",
        R"(\S+ activate --pin \S+ --adminPin \S+ --retryCounter \d+)",
    };
    // Compiling a pattern costs far more than matching it; do it once per process.
    static const std::vector<std::regex> compiled = [] {
        std::vector<std::regex> patterns;
        for (const char* pattern : COMMAND_PATTERN)
            patterns.emplace_back(pattern, std::regex::ECMAScript | std::regex::optimize);
        return patterns;
    }();
    return compiled;
}

} // namespace

int commandGroup(std::string_view commandLine)
{
    int group = 1;
    for (const std::regex& expression : commandPatterns()) {
        if (std::regex_match(commandLine.begin(), commandLine.end(), expression))
            return group;
        ++group;
    }
    return 0;
}

bool parseNonNegativeInt32(const char* digits, int32_t* value)
{
    if (digits == nullptr || *digits == '\0')
        return false;
    int64_t number = 0;
    for (const char* c = digits; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        number = number * 10 + (*c - '0');
        if (number > INT32_MAX)
            return false;
    }
    *value = static_cast<int32_t>(number);
    return true;
}

namespace {

struct termios savedTerminal;
struct termios quietTerminal;
volatile sig_atomic_t savedTerminalFd = -1;

const int PROMPT_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
constexpr std::size_t PROMPT_SIGNAL_COUNT = sizeof PROMPT_SIGNALS / sizeof PROMPT_SIGNALS[0];
struct sigaction previousActions[PROMPT_SIGNAL_COUNT];

void restoreTerminal()
{
    if (savedTerminalFd >= 0)
        tcsetattr(savedTerminalFd, TCSANOW, &savedTerminal);
}

void restoreTerminalAndRaise(int signalNumber)
{
    restoreTerminal();
    for (std::size_t i = 0; i < PROMPT_SIGNAL_COUNT; ++i) {
        if (PROMPT_SIGNALS[i] == signalNumber)
            sigaction(signalNumber, &previousActions[i], nullptr);
    }
    raise(signalNumber);
}

// Ctrl-Z: the shell the user returns to gets its echo back; once continued, the
// prompt hides the input again.
void stopWithEchoOn(int)
{
    const int savedErrno = errno;
    restoreTerminal();
    struct sigaction stop
    {
    };
    stop.sa_handler = SIG_DFL;
    struct sigaction ours
    {
    };
    sigaction(SIGTSTP, &stop, &ours);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    raise(SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr); // stops here until SIGCONT
    sigaction(SIGTSTP, &ours, nullptr);
    if (savedTerminalFd >= 0)
        tcsetattr(savedTerminalFd, TCSANOW, &quietTerminal);
    errno = savedErrno;
}

// A signal the caller ignores stays ignored (a SIGHUP under nohup); the others
// restore the terminal first.
void catchPromptSignals()
{
    for (std::size_t i = 0; i < PROMPT_SIGNAL_COUNT; ++i) {
        sigaction(PROMPT_SIGNALS[i], nullptr, &previousActions[i]);
        if (previousActions[i].sa_handler == SIG_IGN)
            continue;
        struct sigaction action
        {
        };
        action.sa_handler = PROMPT_SIGNALS[i] == SIGTSTP ? stopWithEchoOn : restoreTerminalAndRaise;
        sigemptyset(&action.sa_mask);
        sigaction(PROMPT_SIGNALS[i], &action, nullptr);
    }
}

void restorePromptSignals()
{
    for (std::size_t i = 0; i < PROMPT_SIGNAL_COUNT; ++i)
        sigaction(PROMPT_SIGNALS[i], &previousActions[i], nullptr);
}

void restoreEcho(int fd)
{
    tcsetattr(fd, TCSAFLUSH, &savedTerminal);
    savedTerminalFd = -1;
    restorePromptSignals();
}

// An interrupted or suspended prompt must not leave the user's terminal without echo.
bool disableEcho(int fd)
{
    if (tcgetattr(fd, &savedTerminal) != 0)
        return false;
    quietTerminal = savedTerminal;
    quietTerminal.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    savedTerminalFd = fd;
    catchPromptSignals();
    if (tcsetattr(fd, TCSAFLUSH, &quietTerminal) == 0)
        return true;
    restoreEcho(fd);
    return false;
}

// Byte by byte, so that nothing past the line is consumed and no stdio buffer
// keeps a copy of the secret.
SecretReadResult readLine(int fd, Secret* line)
{
    bool sawAnything = false;
    for (;;) {
        unsigned char byte = 0;
        const ssize_t got = read(fd, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return SecretReadResult::ReadError;
        if (got == 0)
            break;
        sawAnything = true;
        if (byte == '\n')
            break;
        if (!line->append(byte))
            return SecretReadResult::TooLong;
    }
    if (!line->empty() && line->view().back() == '\r')
        line->removeLast();
    if (!sawAnything)
        return SecretReadResult::NoInput;
    if (line->empty())
        return SecretReadResult::EmptyLine;
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    if (isSpace(line->view().front()) || isSpace(line->view().back()))
        return SecretReadResult::SurroundingSpace;
    return SecretReadResult::Ok;
}

} // namespace

SecretReadResult readSecretLine(int fd, const char* prompt, Secret* secret)
{
    Secret line(MAX_SECRET_LINE);
    const bool terminal = isatty(fd) != 0;
    if (terminal) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
    }
    const bool echoOff = terminal && disableEcho(fd);
    const SecretReadResult result = readLine(fd, &line);
    const int readError = errno;
    if (echoOff) {
        restoreEcho(fd);
        std::fputs("\n", stderr);
    }
    errno = readError;
    if (result == SecretReadResult::Ok)
        *secret = std::move(line);
    return result;
}

namespace {

struct CommandSynopsis
{
    const char* name;
    const char* options;
};

const CommandSynopsis COMMAND_SYNOPSES[] = {
    {"status", ""},
    {"controllerID", ""},
    {"firmwareVersion", ""},
    {"logout", ""},
    {"setReadOnly", ""},
    {"setReadWrite", ""},
    {"listSessions", ""},
    {"discardCurrentSession", ""},
    {"startNewSession", ""},
    {"login", " --pin PIN"},
    {"factoryReset", " --pin PIN, or --adminPin ADMIN_PIN"},
    {"wipeContent", " --pin PIN, or --adminPin ADMIN_PIN"},
    {"switchToSession", " --id SESSION_ID (decimal digits)"},
    {"activate", " --pin PIN [--adminPin ADMIN_PIN] --retryCounter N (decimal digits)"},
    {"changePin", " --pin PIN --newPin NEW_PIN"},
    {"unblockPin", " --adminPin ADMIN_PIN --newPin NEW_PIN"},
    {"changeAdminPin", " --adminPin ADMIN_PIN --newAdminPin NEW_ADMIN_PIN"},
    {"firmwareUpdate", " --pin PIN or --adminPin ADMIN_PIN, then --file FIRMWARE_UPDATE"},
};

bool isProgramOption(std::string_view argument)
{
    return argument == "-h" || argument == "--help" || argument == "-v" || argument == "--version";
}

} // namespace

std::string usageProblem(int argc, const char* const* argv)
{
    if (argc < 2)
        return "No device and command given.";
    for (int i = 1; i < argc; ++i) {
        if (!argumentsAreWellFormed(2, argv + i - 1))
            return "Argument " + std::to_string(i) +
                   " is empty or holds white space, which no command takes.";
    }
    const std::string_view first(argv[1]);
    if (isProgramOption(first))
        return "'" + std::string(first) + "' takes no further arguments.";
    if (first.front() == '-')
        return "Unknown option '" + std::string(first) + "'; the device comes first.";
    if (argc == 2)
        return "No command given after the device '" + std::string(first) + "'.";
    for (const CommandSynopsis& synopsis : COMMAND_SYNOPSES) {
        if (std::strcmp(argv[2], synopsis.name) == 0)
            return std::string("Wrong options for ") + synopsis.name + "; it takes" +
                   (*synopsis.options != '\0' ? synopsis.options : " none") + ".";
    }
    return "Unknown command '" + std::string(argv[2]) + "'.";
}
