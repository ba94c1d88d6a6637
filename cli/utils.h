// Formatting, parsing and secret handling for vaultcli.
#ifndef VIX_CLI_UTILS_H
#define VIX_CLI_UTILS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The bytes of a PIN or of a command line that holds one. The buffer is reserved
// once and never grows past it, so no stale copy is left in freed memory, and it
// is wiped when the secret is destroyed.
class Secret
{
public:
    explicit Secret(std::size_t capacity = 0);
    explicit Secret(std::string_view text);
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    Secret(Secret&& other) noexcept = default;
    Secret& operator=(Secret&& other) noexcept;
    ~Secret();

    // False, and nothing added, when the reserved capacity is used up.
    bool append(unsigned char byte);
    bool append(std::string_view text);
    void removeLast();
    // Becomes `size` zero bytes (at most the reserved capacity), for the card library to
    // write into.
    unsigned char* zeroBytes(std::size_t size);

    const unsigned char* data() const { return bytes_.data(); }
    const char* chars() const { return reinterpret_cast<const char*>(bytes_.data()); }
    uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }
    bool empty() const { return bytes_.empty(); }
    std::string_view view() const { return {chars(), bytes_.size()}; }

private:
    void wipe();

    std::vector<unsigned char> bytes_;
};

// The program's own copy of its arguments. PIN values are wiped from the original
// argument vector at once, so that the process list never shows them.
class ArgumentCopy
{
public:
    ArgumentCopy(int argc, char** argv);
    const char* const* argv() const { return pointers_.data(); }

private:
    std::vector<Secret> copies_;
    std::vector<const char*> pointers_;
};

const char* translateState(uint32_t state);

// Writes the failure line for an API result code to standard error. The system's
// error number is added only for codes of a failed system call, and only when set.
void printError(int code);

// One line in words for a result code a user can act on, without a line break;
// empty for a code that has none. `tries` is appended for a wrong PIN.
std::string failureInWords(int code);

void displayCharToHex(const unsigned char* bytes, std::size_t count);
std::string versionBytesAsString(unsigned version);
std::string getFormattedDataSize(float bytes);

// The Admin PIN of a card without a separate Admin user.
Secret calculateAdminPinFromPin(const Secret& pin);

// The usage text, to standard output for --help and to standard error after a
// usage error.
void printUsage(const char* programName, std::FILE* out = stdout);

// What is wrong with a command line that matches no command, in one line without
// a line break.
std::string usageProblem(int argc, const char* const* argv);

// The process keeps only the low 8 bits of its status; a failure must not look
// like success, so a result whose low byte is 0 exits with its next byte.
int exitStatusFor(int result);

// False for an empty argument or one holding white space: the command patterns
// see the joined text while values are taken by position, so both must agree.
bool argumentsAreWellFormed(int argc, const char* const* argv);

// The text the command patterns are matched against: the arguments after the
// program name, joined by single spaces. std::regex matches recursively, about
// one stack frame per character, so a very long argument would overflow the
// stack; an argument longer than any command word or number in range stands as
// "x" instead. It still matches \S+ and nothing else, which gives the same
// outcome (a long number is out of range and refused anyway).
Secret commandLineForPatterns(int argc, const char* const* argv);
constexpr std::size_t MAX_MATCHED_ARGUMENT = 64;

// The number (1 to 6) of the first command pattern that matches the whole text,
// 0 when none does.
int commandGroup(std::string_view commandLine);

// Decimal digits only, within the signed 32-bit range.
bool parseNonNegativeInt32(const char* digits, int32_t* value);

enum class SecretReadResult { Ok, NoInput, EmptyLine, TooLong, SurroundingSpace, ReadError };

constexpr std::size_t MAX_SECRET_LINE = 255;

// Reads one line from fd without echo when fd is a terminal, prompting on
// standard error then. The line break (and a carriage return) is not kept; a line
// that begins or ends with other white space is refused, since the card would take
// the space as part of the PIN.
SecretReadResult readSecretLine(int fd, const char* prompt, Secret* secret);

#endif
