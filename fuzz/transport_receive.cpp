// The transport's receive step against a card that answers anything.
//
// Input: byte 0 picks the call and the timeout, bytes 1-2 the answer capacity
// (big-endian), the rest is what the device holds at the transfer block on each
// poll, 512 bytes per poll; a final partial block is a short read.
//
// Checked beyond memory safety: the answer stays within the caller's capacity and
// the block, a success copies exactly the announced bytes, a timeout leaves 62 00,
// other failures leave the length alone, the transfer block is wiped, and nothing
// is written anywhere but the command block.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FileBasedSecurityInterface.h"
#include "FuzzCheck.h"
#include "os-abstraction.h"

namespace {

const int FAKE_FD = 7;

struct FakeDevice
{
    const uint8_t* blocks = nullptr;
    size_t size = 0;
    size_t consumed = 0;
    uint64_t position = 0;
    uint64_t clock = 0;
    unsigned reads = 0;
    unsigned writes = 0;
};

FakeDevice device;

} // namespace

// Platform layer of the transport, served from the input.
extern "C" {

void* allocAlignedBuffer(size_t size)
{
    void* buffer = nullptr;
    return posix_memalign(&buffer, OS_IO_ALIGNMENT, size) == 0 ? buffer : nullptr;
}

int freeAlignedBuffer(void* buffer)
{
    if (buffer == nullptr)
        return -1;
    free(buffer);
    return 0;
}

int openFile(const char*, int* fd, int)
{
    *fd = FAKE_FD;
    return 0;
}

int closeFile(int fd)
{
    CHECK(fd == FAKE_FD);
    return 0;
}

int readFile(int fd, void* buffer, size_t size, size_t* count)
{
    CHECK(fd == FAKE_FD && size == FSI_BLOCK_SIZE);
    CHECK(device.position == FSI_RAW_BLOCK_OFFSET);
    ++device.reads;
    const size_t left = device.size - device.consumed;
    const size_t n = left < size ? left : size;
    memcpy(buffer, device.blocks + device.consumed, n);
    device.consumed += n;
    *count = n;
    return 0;
}

int writeFile(int fd, const void* buffer, size_t size, size_t* count)
{
    // Only whole command blocks, only at the transfer block.
    CHECK(fd == FAKE_FD && size == FSI_BLOCK_SIZE);
    CHECK(device.position == FSI_RAW_BLOCK_OFFSET);
    CHECK(memcmp(buffer, FSI_COMMAND_IDENTIFIER, FSI_IDENTIFIER_SIZE) == 0);
    ++device.writes;
    *count = size;
    return 0;
}

int seekFile(int fd, uint64_t offset)
{
    CHECK(fd == FAKE_FD);
    device.position = offset;
    return 0;
}

const unsigned char BLOCK_BEFORE_COMMAND = 0xEB;

int readAt(int fd, void* buffer, size_t size, uint64_t offset)
{
    CHECK(fd == FAKE_FD && size == FSI_BLOCK_SIZE && offset == FSI_RAW_BLOCK_OFFSET);
    memset(buffer, BLOCK_BEFORE_COMMAND, size);
    return 0;
}

// Only the undoing of an unanswered command: the block read before it, at its place.
int writeAt(int fd, const void* buffer, size_t size, uint64_t offset)
{
    CHECK(fd == FAKE_FD && size == FSI_BLOCK_SIZE && offset == FSI_RAW_BLOCK_OFFSET);
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    for (size_t i = 0; i < size; ++i)
        CHECK(bytes[i] == BLOCK_BEFORE_COMMAND);
    return 0;
}

int openVolume(const char*, int* fd, void* buffer, size_t size)
{
    memset(buffer, 0xEB, size);
    *fd = FAKE_FD;
    return 0;
}

int closeVolume(int fd, const void* buffer, size_t)
{
    CHECK(fd == FAKE_FD);
    // A write-back may only go to the block read at open.
    CHECK(buffer == nullptr || device.position == 0);
    return 0;
}

void msleep(int64_t milliseconds)
{
    device.clock += static_cast<uint64_t>(milliseconds);
}

uint64_t getWallTime(void)
{
    return ++device.clock;
}

uint64_t getTimeDifference(uint64_t start, uint64_t end)
{
    return end - start;
}

} // extern "C"

namespace {

enum Call { Receive, ReceiveFc, TransmitSe, TransmitFc, Request, Reset, Status, Eject, CALLS };

bool isZero(const unsigned char* bytes, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

// The block the transport took as the answer: the last one it read.
const uint8_t* lastBlock()
{
    if (device.consumed < FSI_BLOCK_SIZE)
        return nullptr;
    return device.blocks + device.consumed - FSI_BLOCK_SIZE;
}

void checkReceiveOutcome(int result, unsigned capacity, const unsigned char* answer,
                         unsigned length, unsigned char expectedType)
{
    if (capacity < 2) {
        CHECK(result == FSI_RET_INVALID_PARAMETER && device.reads == 0);
        return;
    }
    if (result == FSI_RET_OK) {
        const uint8_t* block = lastBlock();
        CHECK(block != nullptr && block[0] == expectedType);
        CHECK(length <= capacity && length <= FSI_MAX_ANSWER_SIZE);
        CHECK(length == ((unsigned{block[2]} << 8) | block[3]));
        CHECK(memcmp(answer, block + FSI_ANSWER_HEADER_SIZE, length) == 0);
    } else if (result == FSI_RET_TIMEOUT) {
        CHECK(length == 2 && answer[0] == 0x62 && answer[1] == 0x00);
    } else {
        CHECK(result == FSI_RET_INVALID_PARAMETER || result == FSI_RET_APDU_SIZE_ERR ||
              result == FSI_RET_PAYLOAD_TYPE_ERR || result == FSI_RET_READ_ERR);
        CHECK(length == capacity);
    }
}

void runCall(SFC_FSI* channel, Call call, long timeout, unsigned capacity)
{
    // Exactly the caller's capacity, so that any write past it is caught.
    std::vector<unsigned char> storage(capacity + 1);
    unsigned char* answer = storage.data();
    unsigned length = capacity;
    const unsigned char apdu[5] = {0xFF, 0x70, 0x00, 0x00, 0x00};
    int result = 0;
    switch (call) {
    case Receive:
        result = fsi_receive(channel, FSI_PAYLOAD_SE_RESPONSE, answer, &length, timeout);
        checkReceiveOutcome(result, capacity, answer, length, FSI_PAYLOAD_SE_RESPONSE);
        break;
    case ReceiveFc:
        result = fsi_receive(channel, FSI_PAYLOAD_FC_RESPONSE, answer, &length, timeout);
        checkReceiveOutcome(result, capacity, answer, length, FSI_PAYLOAD_FC_RESPONSE);
        break;
    case TransmitSe:
        result = fsi_transmit_se(channel, apdu, sizeof apdu, answer, &length, timeout);
        checkReceiveOutcome(result, capacity, answer, length, FSI_PAYLOAD_SE_RESPONSE);
        CHECK(device.writes == 1);
        break;
    case TransmitFc:
        result = fsi_transmit_fc(channel, apdu, sizeof apdu, answer, &length, timeout);
        checkReceiveOutcome(result, capacity, answer, length, FSI_PAYLOAD_FC_RESPONSE);
        break;
    case Request:
        result = fsi_request(channel, answer, &length, timeout);
        break;
    case Reset:
        result = fsi_reset(channel, 0x01, answer, &length, timeout);
        break;
    case Status:
        result = fsi_status(channel, 0x46, answer, &length, timeout);
        checkReceiveOutcome(result, capacity, answer, length, FSI_PAYLOAD_FC_RESPONSE);
        break;
    case Eject:
        result = fsi_eject(channel, timeout);
        break;
    default:
        break;
    }
    CHECK(result <= 0 && result >= FSI_INTERNAL_ERROR);
    CHECK(length <= capacity || result == FSI_RET_INVALID_PARAMETER);
    // Once the card was polled, the block may hold the command (a PIN): it must be wiped.
    if (device.reads != 0)
        CHECK(isZero(channel->ioBlock, FSI_BLOCK_SIZE));
}

// After a terminal reported no card, only class FF commands may reach the card.
void checkSecureElementGate(SFC_FSI* channel)
{
    if (channel->sePresent)
        return;
    const unsigned char apdu[5] = {0x80, 0xCA, 0x00, 0x00, 0x00};
    unsigned char answer[2];
    unsigned length = sizeof answer;
    const unsigned reads = device.reads, writes = device.writes;
    CHECK(fsi_transmit_se(channel, apdu, sizeof apdu, answer, &length, 0) == FSI_RET_OK);
    CHECK(length == 2 && answer[0] == 0x6E && answer[1] == 0x00);
    CHECK(device.reads == reads && device.writes == writes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const Call call = static_cast<Call>((data[0] & 0x0F) % CALLS);
    const unsigned timeoutCode = data[0] >> 4;
    // Code 15 stands for the default timeout; the fake clock runs out with the input.
    const long timeout = timeoutCode == 15 ? -1 : static_cast<long>(timeoutCode) * 7;
    const unsigned capacity = ((unsigned{data[1]} << 8) | data[2]) % 1024;
    device = FakeDevice{data + 3, size - 3};

    SFC_FSI* channel = nullptr;
    CHECK(fsi_open_raw("/fuzz/card", &channel) == FSI_RET_OK);
    runCall(channel, call, timeout, capacity);
    checkSecureElementGate(channel);
    CHECK(fsi_close(channel) == FSI_RET_OK);
    return 0;
}
