// The card's side of the block protocol: recognising command blocks, assembling
// multi-block commands and laying out answer blocks.
#ifndef VCARD_PROTOCOL_H
#define VCARD_PROTOCOL_H

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "CardBlockLayout.h"
#include "CardIdentification.h"

namespace vcard {

constexpr std::size_t kBlockSize = FSI_BLOCK_SIZE;
constexpr std::size_t kCommandHeaderSize = FSI_HEADER_SIZE;
constexpr std::size_t kCommandPayloadMax = FSI_CHUNK_PAYLOAD_SIZE;
constexpr std::size_t kAnswerHeaderSize = FSI_ANSWER_HEADER_SIZE;
constexpr std::size_t kAnswerPayloadMax = FSI_MAX_ANSWER_SIZE;
constexpr std::uint64_t kCommandBlockOffset = FSI_RAW_BLOCK_OFFSET;
constexpr std::uint64_t kIdentificationSector = CARD_ID_PRIMARY_SECTOR;

enum PayloadType : std::uint8_t {
    kTerminalCommand = FSI_PAYLOAD_FC,
    kSecureElementCommand = FSI_PAYLOAD_SE,
    kTerminalAnswer = FSI_PAYLOAD_FC_RESPONSE,
    kSecureElementAnswer = FSI_PAYLOAD_SE_RESPONSE,
    kBusy = FSI_PAYLOAD_BUSY
};

using Block = std::array<std::uint8_t, kBlockSize>;
using Bytes = std::vector<std::uint8_t>;

struct CommandBlock
{
    std::uint8_t type = 0;
    bool moreFollows = false;
    Bytes payload;
};

// False when the block is not a command block (no identifier) or its length
// field exceeds what a command block carries.
bool isCommandBlock(const Block& block);
bool parseCommandBlock(const Block& block, CommandBlock& out);

// Collects the blocks of one command; a block that does not continue the
// command in progress starts a new one.
class CommandAssembler
{
public:
    enum class Result { Incomplete, Complete };
    Result add(const CommandBlock& block);
    std::uint8_t type() const { return type_; }
    const Bytes& command() const { return command_; }
    std::size_t blockCount() const { return blocks_; }
    void clear();

private:
    bool inProgress_ = false;
    std::uint8_t type_ = 0;
    std::size_t blocks_ = 0;
    Bytes command_;
};

struct Answer
{
    std::uint8_t type = kSecureElementAnswer;
    Bytes payload; // data followed by the status word
    // Length written into the header; differs from payload.size() only for a
    // deliberately malformed answer.
    std::uint32_t announcedLength = 0;
    bool lengthOverridden = false;
};

Block makeAnswerBlock(const Answer& answer);
Block makeBusyBlock();

Answer statusOnly(std::uint8_t type, std::uint16_t statusWord);
void appendStatusWord(Bytes& payload, std::uint16_t statusWord);
void appendU16(Bytes& out, std::uint16_t value);
void appendU32(Bytes& out, std::uint32_t value);
void appendU64(Bytes& out, std::uint64_t value);

// Tells a new write of the host from a command block already taken up. The card
// sees a block by a change notification or by its fallback poll, and one write
// can bring its notification after the block was read, or more than one. The
// host writes the same bytes again only as a retry, after its shortest timeout.
class CommandWatch
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kRetryGap = std::chrono::milliseconds(500);

    // `block` is a command block; `notified`: a change notification came with it.
    bool isNew(const Block& block, bool notified, Clock::time_point now);
    // The card wrote its own block (busy or answer) over the host's, so whatever
    // command block comes next is a new write, even two equal queries in a row.
    void replaced();

private:
    Block last_{};
    bool haveLast_ = false;
    Clock::time_point takenAt_{};
};

} // namespace vcard

#endif
