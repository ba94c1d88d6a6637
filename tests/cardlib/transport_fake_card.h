// An in-process stand-in for the card, for tests of the transport and the command set.
//
// Test executables that use it are linked with --wrap for writeFile, readFile,
// getWallTime and msleep. While a FakeCard exists, every block the transport writes
// is recorded, each complete command is handed to a responder, and the responder's
// answer block is written into the device file at the command's position just before
// the transport polls it. Time is simulated: the monotonic clock advances by a fixed
// step per reading and sleeps only advance it, so timeouts take no real time.
// Without a FakeCard the wrapped functions behave as the real ones.
#ifndef VIX_TESTS_TRANSPORT_FAKE_CARD_H
#define VIX_TESTS_TRANSPORT_FAKE_CARD_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cardtest {

using Bytes = std::vector<unsigned char>;

// A temporary device: a regular file on a disk file system (direct I/O works there),
// filled with a recognisable pattern; removed with its folder on destruction.
class DeviceFile
{
public:
    explicit DeviceFile(size_t size = 16 * 1024);
    ~DeviceFile();
    DeviceFile(const DeviceFile&) = delete;
    DeviceFile& operator=(const DeviceFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& folder() const { return folder_; }
    Bytes contents() const;
    void writeAt(uint64_t offset, const Bytes& bytes) const;

private:
    std::string folder_;
    std::string path_;
};

// One block written by the transport and the position it was written to.
struct WrittenBlock
{
    uint64_t offset;
    Bytes bytes;
};

// A complete command, reassembled from its command blocks.
struct Command
{
    unsigned char payloadType;
    Bytes bytes;
};

// How the card reacts to one command.
struct Reply
{
    Bytes block;             // the answer block (512 bytes)
    int unansweredPolls = 0; // polls that still see the command
    int busyPolls = 0;       // then polls that see a busy block
    bool never = false;      // the card never answers
};

using Responder = std::function<Reply(const Command&)>;

// Answer block: type, one unused byte, the announced length, then the payload.
Bytes answerBlock(unsigned char type, const Bytes& payload);
Bytes answerBlockAnnouncing(unsigned char type, unsigned announcedLength, const Bytes& payload);
// Answer of the secure element (type 3): data followed by the status word.
Bytes seAnswer(const Bytes& data, unsigned statusWord = 0x9000);
Reply reply(const Bytes& block);
Reply noAnswer();

class FakeCard
{
public:
    FakeCard();
    ~FakeCard();
    FakeCard(const FakeCard&) = delete;
    FakeCard& operator=(const FakeCard&) = delete;

    void respond(Responder responder) { responder_ = std::move(responder); }
    // Every command gets this answer.
    void answerAlways(const Bytes& block);
    void setClockStep(uint64_t milliseconds) { clockStep_ = milliseconds; }

    const std::vector<WrittenBlock>& blocksWritten() const { return blocks_; }
    const std::vector<Command>& commands() const { return commands_; }
    const Command& lastCommand() const;
    int polls() const { return polls_; }
    const std::vector<int64_t>& sleeps() const { return sleeps_; }

    // Hooks called by the wrapped functions.
    void onWrite(int fd, const void* buffer, size_t size);
    void onRead(int fd);
    uint64_t onClock();
    void onSleep(int64_t milliseconds);

private:
    void writeAnswerBlock(int fd, const Bytes& block);

    Responder responder_;
    std::vector<WrittenBlock> blocks_;
    std::vector<Command> commands_;
    Bytes pendingCommand_;
    bool replyPending_ = false;
    Reply reply_;
    uint64_t replyOffset_ = 0;
    int replyPolls_ = 0;
    int polls_ = 0;
    std::vector<int64_t> sleeps_;
    uint64_t clock_ = 1000000;
    uint64_t clockStep_ = 50;
    unsigned char* alignedBlock_;
};

} // namespace cardtest

#endif
