// Recorded sessions and firmware update.
#include "SfcCardManager.h"
#include "SfcCardManagerFrame.h"
#include "utcOffsetCorrectionUtil.h"

namespace sfc {

namespace {

using frame::Frame;

const unsigned char INS_LIST_SESSIONS = 0x71;
const unsigned char INS_SWITCH_SESSION = 0x72;
const unsigned char INS_SESSION_CONTROL = 0x73;
const unsigned char SESSION_DISCARD = 0x00;
const unsigned char SESSION_START_NEW = 0x01;
const unsigned char INS_FIRMWARE_UPDATE = 0xAA;
const unsigned char FIRMWARE_TRANSFER = 0x00;
const unsigned char FIRMWARE_APPLY = 0x01;
const unsigned SESSION_COUNT_SIZE = 4;
const uint64_t TRANSFER_HEADER_SIZE = 6; // offset, chunk length
const uint64_t APPLY_EXTRA_SIZE = 1 + 4; // PIN length byte, image size

void decodeSession(const Frame& frame, unsigned offset, tresora_ac_session_entry& entry)
{
    entry.id = frame.be32At(offset);
    formatSessionDate(frame.be32At(offset + 4), static_cast<signed char>(frame.byteAt(offset + 9)),
                      static_cast<signed char>(frame.byteAt(offset + 8)), entry.date);
    entry.sectorCount = frame.be32At(offset + 10);
}

// A count the answer cannot back with records is refused, so that nothing beyond the
// answer is read and a caller paging on the count still ends.
bool holdsSessions(const Frame& frame, uint32_t count)
{
    return frame.carries(SESSION_COUNT_SIZE) && count <= TRESORA_AC_MAX_SESSIONS_PER_PAGE &&
           uint64_t{count} * SFC_SESSION_RECORD_SIZE <= frame.dataLength() - SESSION_COUNT_SIZE;
}

} // namespace

int listSessions(SFC_FSI* channel, unsigned int firstIndex, tresora_ac_session* list)
{
    if (list == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(INS_LIST_SESSIONS, 0x00, 0x00);
    frame.appendBe32(firstIndex);
    const int sw = frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
    if (sw != TRESORA_AC_SW_SUCCESS)
        return sw;
    const uint32_t count = frame.be32At(0);
    if (!holdsSessions(frame, count))
        return SFC_ERR_MALFORMED_ANSWER;
    list->count = count;
    for (uint32_t i = 0; i < count; ++i)
        decodeSession(frame, SESSION_COUNT_SIZE + i * SFC_SESSION_RECORD_SIZE, list->entries[i]);
    return sw;
}

int switchToSession(SFC_FSI* channel, unsigned int sessionId)
{
    Frame frame(INS_SWITCH_SESSION, 0x00, 0x00);
    frame.appendBe32(sessionId);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
}

int discardCurrentSession(SFC_FSI* channel)
{
    return frame::exchangeBare(channel, INS_SESSION_CONTROL, SESSION_DISCARD, 0x00);
}

int startNewSession(SFC_FSI* channel)
{
    return frame::exchangeBare(channel, INS_SESSION_CONTROL, SESSION_START_NEW, 0x00);
}

int firmwareUpdateTransfer(SFC_FSI* channel, unsigned int offset, const unsigned char* chunk,
                           unsigned short chunkLength)
{
    if (!frame::validData(chunk, chunkLength))
        return FSI_RET_INVALID_PARAMETER;
    if (!frame::fitsLc(chunkLength + TRANSFER_HEADER_SIZE))
        return FSI_RET_PARAM_APDU_SIZE_ERR;
    Frame frame(INS_FIRMWARE_UPDATE, FIRMWARE_TRANSFER, 0x00);
    frame.appendBe32(offset);
    frame.appendBe16(chunkLength);
    frame.appendBytes(chunk, chunkLength);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
}

int firmwareUpdateApply(SFC_FSI* channel, const unsigned char* pin, unsigned int pinLength,
                        unsigned int imageSize)
{
    if (!frame::validData(pin, pinLength))
        return FSI_RET_INVALID_PARAMETER;
    if (!frame::fitsLc(pinLength + APPLY_EXTRA_SIZE))
        return FSI_RET_PARAM_APDU_SIZE_ERR;
    Frame frame(INS_FIRMWARE_UPDATE, FIRMWARE_APPLY, 0x00);
    frame.appendItem(pin, pinLength);
    frame.appendBe32(imageSize);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
}

} // namespace sfc
