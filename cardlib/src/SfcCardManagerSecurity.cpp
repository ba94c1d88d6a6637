// Commands that change the card's security state.
#include "SfcCardManager.h"
#include "SfcCardManagerFrame.h"

namespace sfc {

namespace {

using frame::Frame;

const uint64_t ITEM_LENGTH_SIZE = 1;

// Two length-prefixed items, the shape of every PIN change and unblock.
int sendTwoItems(SFC_FSI* channel, unsigned char ins, unsigned char p1, const unsigned char* first,
                 unsigned firstLength, const unsigned char* second, unsigned secondLength)
{
    if (!frame::validData(first, firstLength) || !frame::validData(second, secondLength))
        return FSI_RET_INVALID_PARAMETER;
    if (!frame::fitsLc(uint64_t{firstLength} + secondLength + 2 * ITEM_LENGTH_SIZE))
        return FSI_RET_PARAM_APDU_SIZE_ERR;
    Frame frame(ins, p1, 0x00);
    frame.appendItem(first, firstLength);
    frame.appendItem(second, secondLength);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
}

// One length-prefixed item.
int sendItem(SFC_FSI* channel, unsigned char ins, const unsigned char* item, unsigned length)
{
    if (!frame::validData(item, length))
        return FSI_RET_INVALID_PARAMETER;
    if (!frame::fitsLc(uint64_t{length} + ITEM_LENGTH_SIZE))
        return FSI_RET_PARAM_APDU_SIZE_ERR;
    Frame frame(ins, 0x00, 0x00);
    frame.appendItem(item, length);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
}

} // namespace

int activate(SFC_FSI* channel, unsigned char mode, const unsigned char* pin, unsigned pinLength,
             const unsigned char* adminPin, unsigned adminPinLength, unsigned retryCounter,
             const unsigned char* flags)
{
    if (!frame::validData(pin, pinLength) || !frame::validData(adminPin, adminPinLength))
        return FSI_RET_INVALID_PARAMETER;
    const uint64_t dataLength =
        uint64_t{pinLength} + adminPinLength + 2 * ITEM_LENGTH_SIZE + 1 + (flags != nullptr);
    if (!frame::fitsLc(dataLength))
        return FSI_RET_PARAM_APDU_SIZE_ERR;
    Frame frame(SFC_INS_ACTIVATE, mode, 0x00);
    frame.appendItem(pin, pinLength);
    frame.appendItem(adminPin, adminPinLength);
    frame.appendByte(retryCounter);
    if (flags != nullptr)
        frame.appendByte(*flags);
    return frame::exchange(channel, frame, SFC_LONG_TIMEOUT_MS);
}

int verify(SFC_FSI* channel, const unsigned char* pin, unsigned pinLength)
{
    return sendItem(channel, SFC_INS_VERIFY, pin, pinLength);
}

int deactivate(SFC_FSI* channel, const unsigned char* pin, unsigned int length)
{
    return sendItem(channel, SFC_INS_DEACTIVATE, pin, length);
}

int lockCard(SFC_FSI* channel)
{
    return frame::exchangeBare(channel, SFC_INS_LOCK, 0x00, 0x00);
}

int changePassword(SFC_FSI* channel, unsigned char who, const unsigned char* oldPassword,
                   unsigned oldLength, const unsigned char* newPassword, unsigned newLength)
{
    return sendTwoItems(channel, SFC_INS_CHANGE_PASSWORD, who, oldPassword, oldLength, newPassword,
                        newLength);
}

int changeUserPassword(SFC_FSI* channel, const unsigned char* oldPassword, unsigned oldLength,
                       const unsigned char* newPassword, unsigned newLength)
{
    return changePassword(channel, SFC_WHO_USER, oldPassword, oldLength, newPassword, newLength);
}

int changeSecurityOfficerPassword(SFC_FSI* channel, const unsigned char* oldPassword,
                                  unsigned oldLength, const unsigned char* newPassword,
                                  unsigned newLength)
{
    return changePassword(channel, SFC_WHO_ADMIN, oldPassword, oldLength, newPassword, newLength);
}

int unblockPassword(SFC_FSI* channel, const unsigned char* adminPin, unsigned adminPinLength,
                    const unsigned char* newPin, unsigned newPinLength)
{
    return sendTwoItems(channel, SFC_INS_UNBLOCK_OR_AREA, SFC_UNBLOCK, adminPin, adminPinLength,
                        newPin, newPinLength);
}

int unblock(SFC_FSI* channel, const unsigned char* adminPin, unsigned adminPinLength,
            const unsigned char* newPin, unsigned newPinLength)
{
    return unblockPassword(channel, adminPin, adminPinLength, newPin, newPinLength);
}

int reset(SFC_FSI* channel, unsigned char mode, const unsigned char* data, unsigned length)
{
    Frame frame(SFC_INS_RESET, 0x00, mode);
    if (data != nullptr && length != 0) {
        if (!frame::fitsLc(uint64_t{length} + ITEM_LENGTH_SIZE))
            return FSI_RET_PARAM_APDU_SIZE_ERR;
        frame.appendItem(data, length);
    }
    return frame::exchange(channel, frame, SFC_LONG_TIMEOUT_MS);
}

int setDeviceReadOnly(SFC_FSI* channel)
{
    Frame frame(SFC_INS_CDROM_AREA, SFC_CDROM_AREA_SET, 0x00);
    frame.appendBe32(TRESORA_AC_CDROM_AREA_WHOLE_CARD);
    const int sw = frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
    return sw == TRESORA_AC_SW_READ_ONLY_SET ? TRESORA_AC_SW_SUCCESS : sw;
}

int setCdromAreaBackToDefault(SFC_FSI* channel)
{
    return frame::exchangeBare(channel, SFC_INS_CDROM_AREA, SFC_CDROM_AREA_DEFAULT, 0x00);
}

} // namespace sfc
