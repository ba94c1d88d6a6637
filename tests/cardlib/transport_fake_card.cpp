#include "transport_fake_card.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

#include "FileBasedSecurityInterface.h"
#include "os-abstraction.h"

extern "C" {
int __real_writeFile(int fd, const void* buffer, size_t size, size_t* count);
int __real_readFile(int fd, void* buffer, size_t size, size_t* count);
uint64_t __real_getWallTime(void);
void __real_msleep(int64_t milliseconds);
}

namespace cardtest {

namespace {

FakeCard* activeCard = nullptr;

Bytes readWholeFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        throw std::runtime_error("cannot read " + path);
    Bytes bytes;
    unsigned char chunk[4096];
    ssize_t got = 0;
    while ((got = read(fd, chunk, sizeof(chunk))) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    close(fd);
    return bytes;
}

} // namespace

DeviceFile::DeviceFile(size_t size)
{
    std::string pattern = std::string(CARDTEST_SCRATCH_DIR) + "/cardXXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a scratch folder under " CARDTEST_SCRATCH_DIR);
    folder_ = pattern;
    path_ = folder_ + "/device";
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * 7 + i / 512) & 0xFF);
    writeAt(0, bytes);
}

DeviceFile::~DeviceFile()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

Bytes DeviceFile::contents() const
{
    return readWholeFile(path_);
}

void DeviceFile::writeAt(uint64_t offset, const Bytes& bytes) const
{
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0 || pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) !=
                      static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot write " + path_);
    close(fd);
}

Bytes answerBlockAnnouncing(unsigned char type, unsigned announcedLength, const Bytes& payload)
{
    Bytes block(FSI_BLOCK_SIZE, 0xA5);
    block[0] = type;
    block[1] = 0;
    block[2] = static_cast<unsigned char>(announcedLength >> 8);
    block[3] = static_cast<unsigned char>(announcedLength);
    const size_t room = FSI_BLOCK_SIZE - FSI_ANSWER_HEADER_SIZE;
    std::copy_n(payload.begin(), std::min(payload.size(), room),
                block.begin() + FSI_ANSWER_HEADER_SIZE);
    return block;
}

Bytes answerBlock(unsigned char type, const Bytes& payload)
{
    return answerBlockAnnouncing(type, static_cast<unsigned>(payload.size()), payload);
}

Bytes seAnswer(const Bytes& data, unsigned statusWord)
{
    Bytes payload = data;
    payload.push_back(static_cast<unsigned char>(statusWord >> 8));
    payload.push_back(static_cast<unsigned char>(statusWord));
    return answerBlock(FSI_PAYLOAD_SE_RESPONSE, payload);
}

Reply reply(const Bytes& block)
{
    Reply result;
    result.block = block;
    return result;
}

Reply noAnswer()
{
    Reply result;
    result.never = true;
    return result;
}

FakeCard::FakeCard()
    : alignedBlock_(static_cast<unsigned char*>(allocAlignedBuffer(FSI_BLOCK_SIZE)))
{
    if (activeCard != nullptr)
        throw std::logic_error("only one FakeCard at a time");
    activeCard = this;
    responder_ = [](const Command&) { return noAnswer(); };
}

FakeCard::~FakeCard()
{
    activeCard = nullptr;
    freeAlignedBuffer(alignedBlock_);
}

void FakeCard::answerAlways(const Bytes& block)
{
    respond([block](const Command&) { return reply(block); });
}

const Command& FakeCard::lastCommand() const
{
    if (commands_.empty())
        throw std::logic_error("no command was sent");
    return commands_.back();
}

void FakeCard::onWrite(int fd, const void* buffer, size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const off_t position = lseek(fd, 0, SEEK_CUR);
    blocks_.push_back({static_cast<uint64_t>(position), Bytes(bytes, bytes + size)});
    if (size != FSI_BLOCK_SIZE ||
        std::memcmp(bytes, FSI_COMMAND_IDENTIFIER, FSI_IDENTIFIER_SIZE) != 0)
        return;
    const unsigned length = (unsigned{bytes[34]} << 8) | bytes[35];
    pendingCommand_.insert(pendingCommand_.end(), bytes + FSI_HEADER_SIZE,
                           bytes + FSI_HEADER_SIZE + length);
    if (bytes[33] != 0)
        return;
    commands_.push_back({bytes[FSI_IDENTIFIER_SIZE], pendingCommand_});
    pendingCommand_.clear();
    reply_ = responder_(commands_.back());
    replyPending_ = true;
    replyPolls_ = 0;
    replyOffset_ = static_cast<uint64_t>(position);
}

void FakeCard::onRead(int fd)
{
    ++polls_;
    if (!replyPending_ || reply_.never)
        return;
    ++replyPolls_;
    if (replyPolls_ <= reply_.unansweredPolls)
        return;
    if (replyPolls_ <= reply_.unansweredPolls + reply_.busyPolls) {
        writeAnswerBlock(fd, answerBlock(FSI_PAYLOAD_BUSY, {}));
        return;
    }
    writeAnswerBlock(fd, reply_.block);
    replyPending_ = false;
}

void FakeCard::writeAnswerBlock(int fd, const Bytes& block)
{
    std::memcpy(alignedBlock_, block.data(), FSI_BLOCK_SIZE);
    if (pwrite(fd, alignedBlock_, FSI_BLOCK_SIZE, static_cast<off_t>(replyOffset_)) !=
        FSI_BLOCK_SIZE)
        throw std::runtime_error("the fake card cannot write its answer");
}

uint64_t FakeCard::onClock()
{
    clock_ += clockStep_;
    return clock_;
}

void FakeCard::onSleep(int64_t milliseconds)
{
    sleeps_.push_back(milliseconds);
    clock_ += static_cast<uint64_t>(milliseconds);
}

} // namespace cardtest

using cardtest::activeCard;

extern "C" int __wrap_writeFile(int fd, const void* buffer, size_t size, size_t* count)
{
    if (activeCard != nullptr)
        activeCard->onWrite(fd, buffer, size);
    return __real_writeFile(fd, buffer, size, count);
}

extern "C" int __wrap_readFile(int fd, void* buffer, size_t size, size_t* count)
{
    if (activeCard != nullptr)
        activeCard->onRead(fd);
    return __real_readFile(fd, buffer, size, count);
}

extern "C" uint64_t __wrap_getWallTime(void)
{
    return activeCard != nullptr ? activeCard->onClock() : __real_getWallTime();
}

extern "C" void __wrap_msleep(int64_t milliseconds)
{
    if (activeCard != nullptr)
        activeCard->onSleep(milliseconds);
    else
        __real_msleep(milliseconds);
}
