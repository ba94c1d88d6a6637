#include "SfcCardManager.h"

#include <cstring>

#include "SfcCardManagerFrame.h"
#include "os-abstraction.h"

namespace sfc::frame {

Frame::Frame(unsigned char ins, unsigned char p1, unsigned char p2)
    : bytes{SFC_CLA, ins, p1, p2, 0}, length(HEADER_SIZE), answerLength(0)
{
}

Frame::~Frame()
{
    explicit_bzero(bytes, sizeof(bytes));
}

void Frame::appendByte(unsigned value)
{
    bytes[length++] = static_cast<unsigned char>(value);
}

void Frame::appendBe16(unsigned value)
{
    appendByte(value >> 8);
    appendByte(value);
}

void Frame::appendBe32(uint32_t value)
{
    appendBe16(value >> 16);
    appendBe16(value & 0xFFFF);
}

void Frame::appendBytes(const unsigned char* data, unsigned count)
{
    if (count != 0)
        memcpy(bytes + length, data, count);
    length += count;
}

void Frame::appendItem(const unsigned char* data, unsigned count)
{
    appendByte(count);
    appendBytes(data, count);
}

unsigned Frame::byteAt(unsigned offset) const
{
    return offset < dataLength() ? bytes[offset] : 0;
}

uint32_t Frame::be32At(unsigned offset) const
{
    return (uint32_t{byteAt(offset)} << 24) | (uint32_t{byteAt(offset + 1)} << 16) |
           (uint32_t{byteAt(offset + 2)} << 8) | byteAt(offset + 3);
}

uint64_t Frame::be64At(unsigned offset) const
{
    return (uint64_t{be32At(offset)} << 32) | be32At(offset + 4);
}

bool fitsLc(uint64_t dataLength, uint64_t limit)
{
    return dataLength <= limit && dataLength <= SFC_MAX_LC;
}

bool validData(const void* data, uint64_t length)
{
    return data != nullptr || length == 0;
}

int exchange(SFC_FSI* channel, Frame& frame, long timeoutMs)
{
    frame.bytes[HEADER_SIZE - 1] = static_cast<unsigned char>(frame.length - HEADER_SIZE);
    unsigned answerLength = SFC_ANSWER_CAPACITY;
    const int result =
        fsi_transmit_se(channel, frame.bytes, frame.length, frame.bytes, &answerLength, timeoutMs);
    if (result != FSI_RET_OK)
        return result;
    if (answerLength < SW_SIZE)
        return SFC_ERR_MALFORMED_ANSWER;
    frame.answerLength = answerLength;
    return getSW(frame.bytes, answerLength);
}

int exchangeBare(SFC_FSI* channel, unsigned char ins, unsigned char p1, unsigned char p2,
                 long timeoutMs)
{
    Frame frame(ins, p1, p2);
    return exchange(channel, frame, timeoutMs);
}

int zeroOnSuccess(int result)
{
    return result == TRESORA_AC_SW_SUCCESS ? 0 : result;
}

} // namespace sfc::frame

using sfc::frame::Frame;

int getSW(const unsigned char* answer, unsigned int length)
{
    if (answer == nullptr || length < sfc::frame::SW_SIZE)
        return SFC_ERR_MALFORMED_ANSWER;
    return answer[length - 2] * 256 + answer[length - 1];
}

namespace sfc {

namespace {

int openWithRetries(int (*openChannel)(const char*, SFC_FSI**), const char* path, SFC_FSI** channel)
{
    int result = FSI_RET_OK;
    for (int attempt = 0; attempt < SFC_OPEN_ATTEMPTS; ++attempt) {
        result = openChannel(path, channel);
        if (result == FSI_RET_OK)
            return result;
        msleep(SFC_OPEN_RETRY_DELAY_MS);
    }
    return result;
}

const unsigned char STATUS_QUERY = 0x70;

} // namespace

int open(const char* path, SFC_FSI** channel)
{
    return openWithRetries(fsi_open, path, channel);
}

int open_raw(const char* path, SFC_FSI** channel)
{
    return openWithRetries(fsi_open_raw, path, channel);
}

int close(SFC_FSI* channel)
{
    fsi_close(channel);
    return 0;
}

int getStatus(SFC_FSI* channel, cardStatus* status)
{
    if (status == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(STATUS_QUERY, 0x00, 0x00);
    const int sw = frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
    if (sw != TRESORA_AC_SW_SUCCESS)
        return sw;
    status->reserved0 = frame.byteAt(0);
    status->state = frame.byteAt(1);
    status->pinRetryCounter = frame.byteAt(2);
    status->adminRetryCounter = frame.byteAt(3);
    status->reserved4 = frame.be32At(4);
    status->reserved8[0] = frame.byteAt(8);
    status->reserved8[1] = frame.byteAt(9);
    status->cdromArea = frame.be32At(10);
    status->securityFlags = frame.byteAt(14);
    return sw;
}

int getControllerId(SFC_FSI* channel, unsigned char* id, int* length)
{
    if (id == nullptr || length == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(STATUS_QUERY, 0x06, 0x00);
    const int sw = frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
    if (sw != TRESORA_AC_SW_SUCCESS)
        return sw;
    // A negative capacity is no room at all, not a huge one.
    if (*length < 0 || static_cast<unsigned>(*length) < frame.dataLength())
        return TRESORA_AC_ERR_BUFFER_TOO_SMALL;
    memcpy(id, frame.data(), frame.dataLength());
    *length = static_cast<int>(frame.dataLength());
    return 0;
}

int getAppVersion(SFC_FSI* channel, unsigned int* version)
{
    if (version == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(STATUS_QUERY, 0x02, 0x00);
    const int sw = frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
    if (sw != TRESORA_AC_SW_SUCCESS)
        return sw;
    if (!frame.carries(frame::BE32_SIZE))
        return SFC_ERR_MALFORMED_ANSWER;
    *version = frame.be32At(0);
    return 0;
}

} // namespace sfc
