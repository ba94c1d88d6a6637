// Recorded sessions and firmware update.
#include "SfcCardManager.h"
#include "SfcCardManagerFrame.h"
#include "utcOffsetCorrectionUtil.h"

namespace sfc {

namespace {

using frame::Frame;

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
    return count <= TRESORA_AC_MAX_SESSIONS_PER_PAGE &&
           SESSION_COUNT_SIZE + uint64_t{count} * SFC_SESSION_RECORD_SIZE <= frame.dataLength();
}

} // namespace

int listSessions(SFC_FSI* channel, unsigned int firstIndex, tresora_ac_session* list)
{
    if (list == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(SFC_INS_LIST_SESSIONS, 0x00, 0x00);
    frame.appendBe32(firstIndex);
    return frame::exchangeAndDecode(
        channel, frame, SESSION_COUNT_SIZE, [list](const Frame& answer) -> int {
            const uint32_t count = answer.be32At(0);
            if (!holdsSessions(answer, count))
                return SFC_ERR_MALFORMED_ANSWER;
            list->count = count;
            for (uint32_t i = 0; i < count; ++i)
                decodeSession(answer, SESSION_COUNT_SIZE + i * SFC_SESSION_RECORD_SIZE,
                              list->entries[i]);
            return TRESORA_AC_SW_SUCCESS;
        });
}

int switchToSession(SFC_FSI* channel, unsigned int sessionId)
{
    Frame frame(SFC_INS_SWITCH_SESSION, 0x00, 0x00);
    frame.appendBe32(sessionId);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
}

int discardCurrentSession(SFC_FSI* channel)
{
    return frame::exchangeBare(channel, SFC_INS_SESSION_CONTROL, SFC_SESSION_DISCARD, 0x00);
}

int startNewSession(SFC_FSI* channel)
{
    return frame::exchangeBare(channel, SFC_INS_SESSION_CONTROL, SFC_SESSION_START_NEW, 0x00);
}

int firmwareUpdateTransfer(SFC_FSI* channel, unsigned int offset, const unsigned char* chunk,
                           unsigned short chunkLength)
{
    if (!frame::validData(chunk, chunkLength))
        return FSI_RET_INVALID_PARAMETER;
    if (!frame::fitsLc(chunkLength + TRANSFER_HEADER_SIZE))
        return FSI_RET_PARAM_APDU_SIZE_ERR;
    Frame frame(SFC_INS_FIRMWARE_UPDATE, SFC_FIRMWARE_TRANSFER, 0x00);
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
    Frame frame(SFC_INS_FIRMWARE_UPDATE, SFC_FIRMWARE_APPLY, 0x00);
    frame.appendItem(pin, pinLength);
    frame.appendBe32(imageSize);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
}

} // namespace sfc
