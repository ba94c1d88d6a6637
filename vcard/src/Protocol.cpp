#include "vcard/Protocol.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace vcard {

bool isCommandBlock(const Block& block)
{
    return std::equal(std::begin(FSI_COMMAND_IDENTIFIER), std::end(FSI_COMMAND_IDENTIFIER),
                      block.begin());
}

bool parseCommandBlock(const Block& block, CommandBlock& out)
{
    if (!isCommandBlock(block)) {
        return false;
    }
    std::size_t length = (std::size_t(block[34]) << 8) | block[35];
    if (length > kCommandPayloadMax) {
        return false;
    }
    out.type = block[32];
    out.moreFollows = block[33] != 0;
    out.payload.assign(block.begin() + kCommandHeaderSize,
                       block.begin() + kCommandHeaderSize + length);
    return true;
}

CommandAssembler::Result CommandAssembler::add(const CommandBlock& block)
{
    if (!inProgress_ || block.type != type_) {
        clear();
        inProgress_ = true;
        type_ = block.type;
    }
    command_.insert(command_.end(), block.payload.begin(), block.payload.end());
    ++blocks_;
    if (block.moreFollows) {
        return Result::Incomplete;
    }
    inProgress_ = false;
    return Result::Complete;
}

void CommandAssembler::clear()
{
    inProgress_ = false;
    blocks_ = 0;
    command_.clear();
}

Block makeAnswerBlock(const Answer& answer)
{
    Block block{};
    std::uint32_t length =
        answer.lengthOverridden ? answer.announcedLength : std::uint32_t(answer.payload.size());
    block[0] = answer.type;
    block[2] = std::uint8_t(length >> 8);
    block[3] = std::uint8_t(length);
    std::size_t copied = std::min(answer.payload.size(), kAnswerPayloadMax);
    std::memcpy(block.data() + kAnswerHeaderSize, answer.payload.data(), copied);
    return block;
}

Block makeBusyBlock()
{
    Block block{};
    block[0] = kBusy;
    return block;
}

void appendU16(Bytes& out, std::uint16_t value)
{
    out.push_back(std::uint8_t(value >> 8));
    out.push_back(std::uint8_t(value));
}

void appendU32(Bytes& out, std::uint32_t value)
{
    appendU16(out, std::uint16_t(value >> 16));
    appendU16(out, std::uint16_t(value));
}

void appendU64(Bytes& out, std::uint64_t value)
{
    appendU32(out, std::uint32_t(value >> 32));
    appendU32(out, std::uint32_t(value));
}

void appendStatusWord(Bytes& payload, std::uint16_t statusWord)
{
    appendU16(payload, statusWord);
}

Answer statusOnly(std::uint8_t type, std::uint16_t statusWord)
{
    Answer answer;
    answer.type = type;
    appendStatusWord(answer.payload, statusWord);
    return answer;
}

bool CommandWatch::isNew(const Block& block, bool notified, Clock::time_point now)
{
    const bool seen = haveLast_ && block == last_;
    if (seen && (!notified || now - takenAt_ < kRetryGap)) {
        return false;
    }
    last_ = block;
    haveLast_ = true;
    takenAt_ = now;
    return true;
}

void CommandWatch::replaced()
{
    haveLast_ = false;
}

} // namespace vcard
