// Protection profiles, CD-ROM area, NVRAM, customisation and the further queries.
#include <cstring>

#include "SfcCardManager.h"
#include "SfcCardManagerFrame.h"

namespace sfc {

namespace {

using frame::Frame;

const unsigned ID_SIZE = 16;
const unsigned VERSION_FIRST_SIZE = 8;
const unsigned VERSION_NEXT_SIZE = 4;
const unsigned PARTITION_SIZE = 64;
const unsigned PROFILE_COUNT_SIZE = 1;
const unsigned PROFILE_VALUE_OFFSET = 8;
const unsigned NVRAM_SIZE_FIELD = 2;
const uint64_t AREA_EXTRA_SIZE = 1 + 4; // item length byte, number
const uint64_t NVRAM_MAX_PLAIN_DATA = 246;
const uint64_t NVRAM_MAX_DATA_WITH_OFFSET = 250;

// A query whose answer must carry at least `needed` bytes; they are copied to `out`.
int queryBytes(SFC_FSI* channel, unsigned char p1, unsigned char* out, unsigned needed)
{
    if (out == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(SFC_INS_QUERY, p1, 0x00);
    return frame::exchangeAndDecode(channel, frame, needed, [out, needed](const Frame& answer) {
        memcpy(out, answer.data(), needed);
        return TRESORA_AC_SW_SUCCESS;
    });
}

int queryNumber(SFC_FSI* channel, unsigned char p1, unsigned int* number)
{
    unsigned char bytes[frame::BE32_SIZE];
    const int sw = queryBytes(channel, p1, number == nullptr ? nullptr : bytes, sizeof(bytes));
    if (sw == TRESORA_AC_SW_SUCCESS)
        *number = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) |
                  (uint32_t{bytes[2]} << 8) | bytes[3];
    return sw;
}

int setArea(SFC_FSI* channel, unsigned char p1, const unsigned char* data, unsigned int length,
            unsigned int number, bool flag)
{
    if (!frame::validData(data, length))
        return FSI_RET_INVALID_PARAMETER;
    if (!frame::fitsLc(length + AREA_EXTRA_SIZE))
        return FSI_RET_PARAM_APDU_SIZE_ERR;
    Frame frame(SFC_INS_UNBLOCK_OR_AREA, p1, flag);
    frame.appendItem(data, length);
    frame.appendBe32(number);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
}

// A count byte, then the profiles it announces; every one must be in the answer.
int decodeProfiles(const Frame& answer, unsigned int* count, ProtectionProfile* profiles,
                   unsigned int capacity)
{
    const unsigned n = answer.byteAt(0);
    if (!answer.carries(PROFILE_COUNT_SIZE + n * SFC_PROFILE_WIRE_SIZE))
        return SFC_ERR_MALFORMED_ANSWER;
    *count = n;
    if (n == 0)
        return TRESORA_AC_SW_SUCCESS;
    if (profiles == nullptr || capacity < n)
        return TRESORA_AC_ERR_BUFFER_TOO_SMALL;
    for (unsigned i = 0; i < n; ++i) {
        const unsigned offset = PROFILE_COUNT_SIZE + i * SFC_PROFILE_WIRE_SIZE;
        profiles[i].kind = answer.byteAt(offset);
        profiles[i].value = answer.be64At(offset + PROFILE_VALUE_OFFSET);
    }
    return TRESORA_AC_SW_SUCCESS;
}

void appendProfile(Frame& frame, const ProtectionProfile& profile)
{
    frame.appendByte(profile.kind);
    for (unsigned i = 1; i < PROFILE_VALUE_OFFSET; ++i)
        frame.appendByte(0);
    frame.appendBe32(static_cast<uint32_t>(profile.value >> 32));
    frame.appendBe32(static_cast<uint32_t>(profile.value));
}

} // namespace

int getId(SFC_FSI* channel, unsigned char* id16)
{
    return frame::zeroOnSuccess(queryBytes(channel, SFC_QUERY_ID, id16, ID_SIZE));
}

int getBaseFWVersion(SFC_FSI* channel, char* first8, char* next4)
{
    if (first8 == nullptr || next4 == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(SFC_INS_QUERY, SFC_QUERY_VERSION, SFC_VERSION_BASE);
    const unsigned needed = VERSION_FIRST_SIZE + VERSION_NEXT_SIZE;
    return frame::exchangeAndDecode(channel, frame, needed, [first8, next4](const Frame& answer) {
        memcpy(first8, answer.data(), VERSION_FIRST_SIZE);
        memcpy(next4, answer.data() + VERSION_FIRST_SIZE, VERSION_NEXT_SIZE);
        return TRESORA_AC_SW_SUCCESS;
    });
}

int getStatus(SFC_FSI* channel, cardStatusNvram* status)
{
    if (status == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(SFC_INS_QUERY, SFC_QUERY_NVRAM_STATUS, 0x00);
    return frame::exchangeAndDecode(channel, frame, 0, [status](const Frame& answer) {
        status->bytes4to5[0] = answer.byteAt(4);
        status->bytes4to5[1] = answer.byteAt(5);
        status->byte18 = answer.byteAt(18);
        status->zero = 0;
        status->bytes0to3 = answer.be32At(0);
        status->bytes6to9 = answer.be32At(6);
        status->bytes10to13 = answer.be32At(10);
        status->bytes14to17 = answer.be32At(14);
        return TRESORA_AC_SW_SUCCESS;
    });
}

int getStatus(SFC_FSI* channel, cardStatusException* status)
{
    if (status == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(SFC_INS_QUERY, SFC_QUERY_EXCEPTION_STATUS, 0x00);
    return frame::exchangeAndDecode(channel, frame, 0, [status](const Frame& answer) {
        for (unsigned i = 0; i < 5; ++i)
            status->values[i] = answer.be32At(i * frame::BE32_SIZE);
        return TRESORA_AC_SW_SUCCESS;
    });
}

int getProtectionProfiles(SFC_FSI* channel, unsigned int* count, ProtectionProfile* profiles,
                          unsigned int capacity)
{
    if (count == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    *count = 0;
    Frame frame(SFC_INS_QUERY, SFC_QUERY_PROFILES, 0x00);
    return frame::zeroOnSuccess(frame::exchangeAndDecode(
        channel, frame, PROFILE_COUNT_SIZE, [count, profiles, capacity](const Frame& answer) {
            return decodeProfiles(answer, count, profiles, capacity);
        }));
}

int getPartition(SFC_FSI* channel, unsigned char* partition64)
{
    return queryBytes(channel, SFC_QUERY_PARTITION, partition64, PARTITION_SIZE);
}

int getOverallSizeSD(SFC_FSI* channel, unsigned int* size)
{
    return queryNumber(channel, SFC_QUERY_PARTITION, size);
}

int getOverallSizeUSB(SFC_FSI* channel, unsigned int* size)
{
    return queryNumber(channel, SFC_QUERY_SIZE_USB, size);
}

int setReadException(SFC_FSI* channel, const unsigned char* data, unsigned int length,
                     unsigned int number, bool flag)
{
    return setArea(channel, SFC_AREA_READ_EXCEPTION, data, length, number, flag);
}

int setCdromArea(SFC_FSI* channel, const unsigned char* data, unsigned int length,
                 unsigned int number, bool flag)
{
    return setArea(channel, SFC_AREA_CDROM, data, length, number, flag);
}

int setCdromAreaAndReadException(SFC_FSI* channel, unsigned int cdromArea,
                                 unsigned int readException)
{
    Frame frame(SFC_INS_CDROM_AREA, SFC_CDROM_AREA_AND_EXCEPTION, 0x00);
    frame.appendBe32(cdromArea);
    frame.appendBe32(readException);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
}

int clearProtectionProfiles(SFC_FSI* channel)
{
    return frame::zeroOnSuccess(frame::exchangeBare(channel, SFC_INS_CDROM_AREA,
                                                    SFC_CDROM_AREA_PROFILES, SFC_PROFILES_CLEAR));
}

int setProtectionProfiles(SFC_FSI* channel, const ProtectionProfile* profiles, unsigned int count)
{
    if (!frame::validData(profiles, count))
        return FSI_RET_INVALID_PARAMETER;
    if (count > SFC_MAX_PROFILES_PER_SET)
        return FSI_RET_PARAM_APDU_SIZE_ERR;
    Frame frame(SFC_INS_CDROM_AREA, SFC_CDROM_AREA_PROFILES, SFC_PROFILES_SET);
    frame.appendByte(count);
    for (unsigned i = 0; i < count; ++i)
        appendProfile(frame, profiles[i]);
    return frame::zeroOnSuccess(frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS));
}

int customizeCard(SFC_FSI* channel, int p2, unsigned char length, const unsigned char* data)
{
    if (!frame::validData(data, length))
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(SFC_INS_CONFIGURE, SFC_CONFIGURE_CUSTOMIZE, static_cast<unsigned char>(p2));
    frame.appendBytes(data, length);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
}

int configureNVRAM(SFC_FSI* channel, unsigned int first, unsigned int second, unsigned int third,
                   unsigned int fourth, bool flag)
{
    Frame frame(SFC_INS_CONFIGURE, SFC_CONFIGURE_NVRAM, flag);
    frame.appendByte(first);
    frame.appendByte(second);
    frame.appendBe32(third);
    frame.appendBe32(fourth);
    return frame::zeroOnSuccess(frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS));
}

int setExtendedSecurityFlags(SFC_FSI* channel, unsigned int flags)
{
    Frame frame(SFC_INS_CONFIGURE, SFC_CONFIGURE_SECURITY_FLAGS, 0x00);
    frame.appendByte(flags);
    return frame::zeroOnSuccess(frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS));
}

int readNVRAM(SFC_FSI* channel, unsigned char* buffer, unsigned int* length, bool flag,
              unsigned int offset)
{
    if (length == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    const bool sizeQuery = buffer == nullptr;
    Frame frame(SFC_INS_READ_NVRAM, flag, sizeQuery ? SFC_NVRAM_SIZE_QUERY : 0);
    frame.appendBe32(offset);
    const unsigned needed = sizeQuery ? NVRAM_SIZE_FIELD : 0;
    return frame::zeroOnSuccess(frame::exchangeAndDecode(
        channel, frame, needed, [sizeQuery, buffer, length](const Frame& answer) {
            if (sizeQuery) {
                *length = (answer.byteAt(0) << 8) | answer.byteAt(1);
                return TRESORA_AC_SW_SUCCESS;
            }
            if (!answer.copyDataTo(buffer, *length))
                return TRESORA_AC_ERR_BUFFER_TOO_SMALL;
            *length = answer.dataLength();
            return TRESORA_AC_SW_SUCCESS;
        }));
}

int writeNVRAM(SFC_FSI* channel, const unsigned char* data, unsigned int length, bool noOffset,
               bool flag, unsigned int offset)
{
    if (!frame::validData(data, length))
        return FSI_RET_INVALID_PARAMETER;
    const bool fits = noOffset ? frame::fitsLc(length, NVRAM_MAX_PLAIN_DATA)
                               : frame::fitsLc(length, NVRAM_MAX_DATA_WITH_OFFSET);
    if (!fits)
        return FSI_RET_PARAM_APDU_SIZE_ERR;
    Frame frame(SFC_INS_WRITE_NVRAM, noOffset ? SFC_NVRAM_NO_OFFSET : 0, flag);
    if (!noOffset)
        frame.appendBe32(offset);
    frame.appendBytes(data, length);
    return frame::zeroOnSuccess(frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS));
}

} // namespace sfc
