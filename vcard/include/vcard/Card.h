// The card's behaviour: its persistent state and the answer to every command.
// No I/O: the caller moves blocks, keeps the state file and the content folders.
#ifndef VCARD_CARD_H
#define VCARD_CARD_H

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "CardManagement.h"
#include "vcard/Protocol.h"

namespace vcard {

namespace sw {
constexpr std::uint16_t kOk = TRESORA_AC_SW_SUCCESS;
constexpr std::uint16_t kReadOnlySet = TRESORA_AC_SW_READ_ONLY_SET;
constexpr std::uint16_t kWrongPin = TRESORA_AC_SW_WRONG_PIN;
constexpr std::uint16_t kRetriesExhausted = TRESORA_AC_SW_RETRIES_EXCEEDED;
constexpr std::uint16_t kBlockedNow = TRESORA_AC_SW_BLOCKED;
constexpr std::uint16_t kPinLength = TRESORA_AC_SW_PIN_LENGTH;
constexpr std::uint16_t kInvalidFileSystem = TRESORA_AC_SW_INVALID_FILE_SYSTEM;
constexpr std::uint16_t kWrongLength = 0x6700;
constexpr std::uint16_t kSecurityNotSatisfied = 0x6982;
constexpr std::uint16_t kConditionsNotSatisfied = 0x6985;
constexpr std::uint16_t kWrongData = 0x6A80;
constexpr std::uint16_t kNotFound = 0x6A88;
constexpr std::uint16_t kNoIcc = 0x6A82;
constexpr std::uint16_t kWrongParameters = 0x6A86;
constexpr std::uint16_t kWrongOffset = 0x6B00;
constexpr std::uint16_t kUnknownInstruction = 0x6D00;
constexpr std::uint16_t kUnknownClass = 0x6E00;
} // namespace sw

enum CardStateValue : std::uint8_t { kTransparent = 0, kUnlocked = 1, kLocked = 2 };

constexpr std::uint8_t kFlagAdminSeparation = 0x02;
constexpr std::uint32_t kWholeCardReadOnly = 0xFFFFFFFFu;
constexpr std::size_t kSessionsPerPage = 35;
constexpr std::size_t kSessionRecordSize = 14;
constexpr std::int8_t kZoneMarker = 'A';

struct Session
{
    std::uint32_t id = 0;
    std::uint32_t packedDate = 0;
    std::int8_t zone = kZoneMarker; // quarter hours east of UTC, or the marker 'A'
    std::int8_t localFlag = 0;      // with the marker: 0 = packed time is UTC
    std::uint32_t sectors = 0;
};

struct Profile
{
    std::uint8_t kind = 0;
    std::uint64_t value = 0;
};

// Everything the card keeps across power cycles (and the emulator in its state file).
struct CardState
{
    std::uint8_t state = kTransparent;
    std::string pin;
    std::string adminPin;
    std::uint8_t securityFlags = 0;
    std::uint8_t retryLimit = 0;
    std::uint8_t pinTries = 0;
    std::uint8_t adminTries = 0;
    std::uint32_t cdromArea = 0;
    std::uint32_t readException = 0;

    std::uint32_t firmwareVersion = 0x00010203;
    bool updateKeepsVersion = false;
    std::uint32_t updateVersion = 0; // 0: the current version with its last field + 1
    std::uint32_t firmwareReceived = 0;

    Bytes controllerId;
    char formFactor = 'N'; // CID byte 3: 'N' micro SD, 'L' full-size SD
    int generation = 2;    // identification text "...-ccv2" or "...-ccv1"
    bool fileSystemValid = true;
    bool secureElementPresent = true;
    std::uint32_t longCommandMs = 100;
    std::uint64_t sizeBytes = 64ull << 20;
    // Where the card's partition starts in the image, in sectors: 0 when the
    // image is the partition, else the image is a whole disk with a partition table.
    std::uint32_t partitionStart = 0;
    std::uint8_t incompatibilityFlags = 0;

    std::vector<Session> sessions;            // closed, recorded sessions in card order
    Session current{1, 0, kZoneMarker, 0, 0}; // the session being recorded, never listed
    std::uint32_t shownSession = 0;           // switched-to session; 0 = the current one

    std::vector<Profile> profiles;
    Bytes nvram = Bytes(4096, 0);
    Bytes nvramConfig = Bytes(10, 0);
    std::uint8_t extendedFlags = 0;
    Bytes customization;
};

struct Response
{
    Answer answer;
    std::uint32_t busyMs = 0; // answer busy this long before the answer
};

class Card
{
public:
    explicit Card(CardState state = {}) : state_(std::move(state)) {}

    // One complete command (all its blocks) of the given payload type.
    Response process(std::uint8_t payloadType, const Bytes& command, std::time_t now);

    const CardState& state() const { return state_; }
    // What the card keeps only while it has power goes back to how it starts.
    void powerCycle();
    CardState& state() { return state_; }

    // Session whose content the card presents: the switched one, or the current one.
    std::uint32_t shownSessionId() const;
    bool contentProtected() const { return state_.state == kLocked; }
    void setSessionSectors(std::uint32_t id, std::uint32_t sectors);

private:
    Answer terminalCommand(const Bytes& command);
    Response secureElementCommand(const Bytes& apdu, std::time_t now);
    Response dispatch(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2, const Bytes& data,
                      std::time_t now);
    std::uint16_t run(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2, const Bytes& data,
                      std::time_t now, Bytes& out);

    std::uint16_t query(std::uint8_t p1, std::uint8_t p2, const Bytes& data, Bytes& out);
    // The answers of the queries that report the card's state.
    Bytes statusAnswer() const;
    std::uint16_t versionAnswer(std::uint8_t which, Bytes& out) const;
    Bytes nvramStatusAnswer() const;
    Bytes exceptionStatusAnswer() const;
    Bytes profilesAnswer() const;
    Bytes partitionAnswer() const;
    std::uint16_t activate(std::uint8_t mode, const Bytes& data, std::time_t now);
    std::uint16_t verify(const Bytes& data);
    std::uint16_t lock(const Bytes& data);
    std::uint16_t changeSecret(std::uint8_t who, const Bytes& data);
    std::uint16_t unblockOrArea(std::uint8_t p1, const Bytes& data);
    std::uint16_t deactivate(const Bytes& data);
    std::uint16_t cdromArea(std::uint8_t p1, std::uint8_t p2, const Bytes& data);
    std::uint16_t reset(std::uint8_t mode, const Bytes& data, std::time_t now);
    std::uint16_t listSessions(const Bytes& data, Bytes& out);
    std::uint16_t switchSession(const Bytes& data);
    std::uint16_t sessionControl(std::uint8_t p1, const Bytes& data, std::time_t now);
    std::uint16_t firmware(std::uint8_t p1, const Bytes& data);
    std::uint16_t configure(std::uint8_t p1, std::uint8_t p2, const Bytes& data);
    std::uint16_t readNvram(std::uint8_t p2, const Bytes& data, Bytes& out);
    std::uint16_t writeNvram(std::uint8_t p1, const Bytes& data);

    std::uint16_t checkSecret(const std::string& given, const std::string& expected,
                              std::uint8_t& tries) const;
    std::uint16_t checkPin(const std::string& given);
    std::uint16_t checkAdminPin(const std::string& given);
    std::uint16_t checkPinItem(const Bytes& data);
    void forgetSecurity();
    void clearContent(std::time_t now);
    bool activated() const { return state_.state != kTransparent; }
    bool hasAdminUser() const { return state_.securityFlags & kFlagAdminSeparation; }

    CardState state_;
};

// Identification record kept at sector 26 of the image.
Block makeIdentificationSector(const CardState& state);
// CID register: 16 bytes, byte 3 the form factor.
Bytes makeCid(const CardState& state);

// Packed recording date: year-2020 (6 bits), month, day, hour, minute, second.
std::uint32_t packDate(int year, int month, int day, int hour, int minute, int second);
std::uint32_t packUtc(std::time_t time);
// "%Y-%m-%dT%H:%M:%S" of the packed fields, without any zone conversion.
std::string packedDateText(std::uint32_t packed);
bool packedDateValid(std::uint32_t packed);

// "1.2.3" <-> 0x00010203 (major in bits 31..16).
bool parseVersion(const std::string& text, std::uint32_t& version);
std::string versionText(std::uint32_t version);

} // namespace vcard

#endif
