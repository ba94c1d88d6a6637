// Protection profiles, CD-ROM area, NVRAM, customisation and the further queries.
#include <cstring>

#include "SfcCardManager.h"
#include "SfcCardManagerFrame.h"

namespace sfc {

namespace {

using frame::Frame;

const unsigned char INS_QUERY = 0x70;
const unsigned char QUERY_ID = 0x01;
const unsigned char QUERY_VERSION = 0x02;
const unsigned char QUERY_NVRAM_STATUS = 0x03;
const unsigned char QUERY_EXCEPTION_STATUS = 0x04;
const unsigned char QUERY_PROFILES = 0x07;
const unsigned char QUERY_PARTITION = 0x08;
const unsigned char QUERY_SIZE_USB = 0x09;
const unsigned char INS_AREA = 0x50;
const unsigned char AREA_READ_EXCEPTION = 0x01;
const unsigned char AREA_CDROM = 0x02;
const unsigned char INS_CDROM_AREA = 0x53;
const unsigned char CDROM_AREA_AND_EXCEPTION = 0x02;
const unsigned char PROFILES = 0x03;
const unsigned char PROFILES_CLEAR = 0x00;
const unsigned char PROFILES_SET = 0x01;
const unsigned char INS_CONFIGURE = 0x80;
const unsigned char CONFIGURE_CUSTOMIZE = 0x01;
const unsigned char CONFIGURE_NVRAM = 0x03;
const unsigned char CONFIGURE_SECURITY_FLAGS = 0x05;
const unsigned char INS_READ_NVRAM = 0xD0;
const unsigned char INS_WRITE_NVRAM = 0xD1;

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
    Frame frame(INS_QUERY, p1, 0x00);
    const int sw = frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
    if (sw != TRESORA_AC_SW_SUCCESS)
        return sw;
    if (!frame.carries(needed))
        return SFC_ERR_MALFORMED_ANSWER;
    memcpy(out, frame.data(), needed);
    return sw;
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
    Frame frame(INS_AREA, p1, flag);
    frame.appendItem(data, length);
    frame.appendBe32(number);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
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
    return frame::zeroOnSuccess(queryBytes(channel, QUERY_ID, id16, ID_SIZE));
}

int getBaseFWVersion(SFC_FSI* channel, char* first8, char* next4)
{
    if (first8 == nullptr || next4 == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(INS_QUERY, QUERY_VERSION, 0x01);
    const int sw = frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
    if (sw != TRESORA_AC_SW_SUCCESS)
        return sw;
    if (!frame.carries(VERSION_FIRST_SIZE + VERSION_NEXT_SIZE))
        return SFC_ERR_MALFORMED_ANSWER;
    memcpy(first8, frame.data(), VERSION_FIRST_SIZE);
    memcpy(next4, frame.data() + VERSION_FIRST_SIZE, VERSION_NEXT_SIZE);
    return sw;
}

int getStatus(SFC_FSI* channel, cardStatusNvram* status)
{
    if (status == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(INS_QUERY, QUERY_NVRAM_STATUS, 0x00);
    const int sw = frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
    if (sw != TRESORA_AC_SW_SUCCESS)
        return sw;
    status->bytes4to5[0] = frame.byteAt(4);
    status->bytes4to5[1] = frame.byteAt(5);
    status->byte18 = frame.byteAt(18);
    status->zero = 0;
    status->bytes0to3 = frame.be32At(0);
    status->bytes6to9 = frame.be32At(6);
    status->bytes10to13 = frame.be32At(10);
    status->bytes14to17 = frame.be32At(14);
    return sw;
}

int getStatus(SFC_FSI* channel, cardStatusException* status)
{
    if (status == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(INS_QUERY, QUERY_EXCEPTION_STATUS, 0x00);
    const int sw = frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
    if (sw != TRESORA_AC_SW_SUCCESS)
        return sw;
    for (unsigned i = 0; i < 5; ++i)
        status->values[i] = frame.be32At(i * frame::BE32_SIZE);
    return sw;
}

int getProtectionProfiles(SFC_FSI* channel, unsigned int* count, ProtectionProfile* profiles,
                          unsigned int capacity)
{
    if (count == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    *count = 0;
    Frame frame(INS_QUERY, QUERY_PROFILES, 0x00);
    const int sw = frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
    if (sw != TRESORA_AC_SW_SUCCESS)
        return sw;
    if (!frame.carries(PROFILE_COUNT_SIZE))
        return SFC_ERR_MALFORMED_ANSWER;
    const unsigned n = frame.byteAt(0);
    if (!frame.carries(PROFILE_COUNT_SIZE + n * SFC_PROFILE_WIRE_SIZE))
        return SFC_ERR_MALFORMED_ANSWER;
    *count = n;
    if (n == 0)
        return 0;
    if (profiles == nullptr || capacity < n)
        return TRESORA_AC_ERR_BUFFER_TOO_SMALL;
    for (unsigned i = 0; i < n; ++i) {
        const unsigned offset = PROFILE_COUNT_SIZE + i * SFC_PROFILE_WIRE_SIZE;
        profiles[i].kind = frame.byteAt(offset);
        profiles[i].value = frame.be64At(offset + PROFILE_VALUE_OFFSET);
    }
    return 0;
}

int getPartition(SFC_FSI* channel, unsigned char* partition64)
{
    return queryBytes(channel, QUERY_PARTITION, partition64, PARTITION_SIZE);
}

int getOverallSizeSD(SFC_FSI* channel, unsigned int* size)
{
    return queryNumber(channel, QUERY_PARTITION, size);
}

int getOverallSizeUSB(SFC_FSI* channel, unsigned int* size)
{
    return queryNumber(channel, QUERY_SIZE_USB, size);
}

int setReadException(SFC_FSI* channel, const unsigned char* data, unsigned int length,
                     unsigned int number, bool flag)
{
    return setArea(channel, AREA_READ_EXCEPTION, data, length, number, flag);
}

int setCdromArea(SFC_FSI* channel, const unsigned char* data, unsigned int length,
                 unsigned int number, bool flag)
{
    return setArea(channel, AREA_CDROM, data, length, number, flag);
}

int setCdromAreaAndReadException(SFC_FSI* channel, unsigned int cdromArea,
                                 unsigned int readException)
{
    Frame frame(INS_CDROM_AREA, CDROM_AREA_AND_EXCEPTION, 0x00);
    frame.appendBe32(cdromArea);
    frame.appendBe32(readException);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
}

int clearProtectionProfiles(SFC_FSI* channel)
{
    return frame::zeroOnSuccess(
        frame::exchangeBare(channel, INS_CDROM_AREA, PROFILES, PROFILES_CLEAR));
}

int setProtectionProfiles(SFC_FSI* channel, const ProtectionProfile* profiles, unsigned int count)
{
    if (!frame::validData(profiles, count))
        return FSI_RET_INVALID_PARAMETER;
    if (count > SFC_MAX_PROFILES_PER_SET)
        return FSI_RET_PARAM_APDU_SIZE_ERR;
    Frame frame(INS_CDROM_AREA, PROFILES, PROFILES_SET);
    frame.appendByte(count);
    for (unsigned i = 0; i < count; ++i)
        appendProfile(frame, profiles[i]);
    return frame::zeroOnSuccess(frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS));
}

int customizeCard(SFC_FSI* channel, int p2, unsigned char length, const unsigned char* data)
{
    if (!frame::validData(data, length))
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(INS_CONFIGURE, CONFIGURE_CUSTOMIZE, static_cast<unsigned char>(p2));
    frame.appendBytes(data, length);
    return frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
}

int configureNVRAM(SFC_FSI* channel, unsigned int first, unsigned int second, unsigned int third,
                   unsigned int fourth, bool flag)
{
    Frame frame(INS_CONFIGURE, CONFIGURE_NVRAM, flag);
    frame.appendByte(first);
    frame.appendByte(second);
    frame.appendBe32(third);
    frame.appendBe32(fourth);
    return frame::zeroOnSuccess(frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS));
}

int setExtendedSecurityFlags(SFC_FSI* channel, unsigned int flags)
{
    Frame frame(INS_CONFIGURE, CONFIGURE_SECURITY_FLAGS, 0x00);
    frame.appendByte(flags);
    return frame::zeroOnSuccess(frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS));
}

int readNVRAM(SFC_FSI* channel, unsigned char* buffer, unsigned int* length, bool flag,
              unsigned int offset)
{
    if (length == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    Frame frame(INS_READ_NVRAM, flag, buffer == nullptr ? 1 : 0);
    frame.appendBe32(offset);
    const int sw = frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS);
    if (sw != TRESORA_AC_SW_SUCCESS)
        return sw;
    if (buffer == nullptr) {
        if (!frame.carries(NVRAM_SIZE_FIELD))
            return SFC_ERR_MALFORMED_ANSWER;
        *length = (frame.byteAt(0) << 8) | frame.byteAt(1);
        return 0;
    }
    if (*length < frame.dataLength())
        return TRESORA_AC_ERR_BUFFER_TOO_SMALL;
    memcpy(buffer, frame.data(), frame.dataLength());
    *length = frame.dataLength();
    return 0;
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
    Frame frame(INS_WRITE_NVRAM, noOffset ? 1 : 0, flag);
    if (!noOffset)
        frame.appendBe32(offset);
    frame.appendBytes(data, length);
    return frame::zeroOnSuccess(frame::exchange(channel, frame, SFC_COMMAND_TIMEOUT_MS));
}

} // namespace sfc
