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

bool Frame::copyDataTo(unsigned char* out, uint64_t capacity) const
{
    if (capacity < dataLength())
        return false;
    if (dataLength() != 0)
        memcpy(out, data(), dataLength());
    return true;
}

bool fitsLc(uint64_t dataLength, uint64_t limit)
{
    return dataLength <= limit && dataLength <= SFC_MAX_LC;
}

bool validData(const void* data, uint64_t length)
{
    return data != nullptr || length == 0;
}

bool isRealStatusWord(int sw)
{
    const int sw1 = sw >> 8;
    return (sw1 >= 0x61 && sw1 <= 0x6F) || (sw1 >= 0x90 && sw1 <= 0x9F);
}

int transmit(SFC_FSI* channel, Frame& frame, long timeoutMs)
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
    const int sw = getSW(frame.bytes, answerLength);
    if (!isRealStatusWord(sw) || (sw != TRESORA_AC_SW_SUCCESS && frame.dataLength() != 0))
        return SFC_ERR_MALFORMED_ANSWER;
    return sw;
}

int exchange(SFC_FSI* channel, Frame& frame, long timeoutMs)
{
    const int sw = transmit(channel, frame, timeoutMs);
    if (sw == TRESORA_AC_SW_SUCCESS && frame.dataLength() != 0)
        return SFC_ERR_MALFORMED_ANSWER;
    return sw;
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

// Through the read-only area; the security flags byte after it is optional.
const unsigned STATUS_SIZE = 14;

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
    Frame frame(SFC_INS_QUERY, SFC_QUERY_STATUS, 0x00);
    return frame::exchangeAndDecode(channel, frame, STATUS_SIZE, [status](const Frame& answer) {
        status->reserved0 = answer.byteAt(0);
        status->state = answer.byteAt(1);
        status->pinRetryCounter = answer.byteAt(2);
        status->adminRetryCounter = answer.byteAt(3);
        status->reserved4 = answer.be32At(4);
        status->reserved8[0] = answer.byteAt(8);
        status->reserved8[1] = answer.byteAt(9);
        status->cdromArea = answer.be32At(10);
        status->securityFlags = answer.byteAt(14);
        return TRESORA_AC_SW_SUCCESS;
    });
}

int getControllerId(SFC_FSI* channel, unsigned char* id, int* length)
{
    if (id == nullptr || length == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(SFC_INS_QUERY, SFC_QUERY_CONTROLLER_ID, 0x00);
    return frame::zeroOnSuccess(
        frame::exchangeAndDecode(channel, frame, 1, [id, length](const Frame& answer) {
            // A negative capacity is no room at all, not a huge one.
            if (*length < 0 || !answer.copyDataTo(id, static_cast<unsigned>(*length)))
                return TRESORA_AC_ERR_BUFFER_TOO_SMALL;
            *length = static_cast<int>(answer.dataLength());
            return TRESORA_AC_SW_SUCCESS;
        }));
}

int getAppVersion(SFC_FSI* channel, unsigned int* version)
{
    if (version == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(SFC_INS_QUERY, SFC_QUERY_VERSION, SFC_VERSION_APP);
    return frame::zeroOnSuccess(
        frame::exchangeAndDecode(channel, frame, frame::BE32_SIZE, [version](const Frame& answer) {
            *version = answer.be32At(0);
            return TRESORA_AC_SW_SUCCESS;
        }));
}

} // namespace sfc
