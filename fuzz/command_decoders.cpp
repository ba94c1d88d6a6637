// Every decoder of the command set, fed with the card's answer from the input.
//
// Input: byte 0 picks the command, byte 1 the transport's outcome (mostly success;
// a few values stand for transport failures), byte 2 the caller's capacity where
// the command takes one, the rest is the answer (at most 508 bytes, as the
// transport delivers it).
//
// Checked beyond memory safety: transport failures come back unchanged, an answer
// without a real status word, or without the data its command needs, is refused,
// outputs are written only on success and hold what an independent reading of the
// answer gives, counts and lengths stay within the answer and the caller's room,
// and date texts are complete or empty.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FuzzCheck.h"
#include "SfcCardManager.h"
#include "utcOffsetCorrectionUtil.h"

namespace {

struct Script
{
    const uint8_t* answer = nullptr;
    unsigned answerLength = 0;
    int transportResult = 0;
    unsigned exchanges = 0;
};

Script script;

const int TRANSPORT_FAILURES[] = {FSI_RET_TIMEOUT,           FSI_RET_READ_ERR,
                                  FSI_RET_PAYLOAD_TYPE_ERR,  FSI_RET_APDU_SIZE_ERR,
                                  FSI_RET_INVALID_PARAMETER, FSI_RET_WRITE_ERR};

} // namespace

// The transport, as far as the command set reaches it.
extern "C" {

int fsi_transmit_se(SFC_FSI*, const unsigned char* apdu, unsigned apduLength, unsigned char* answer,
                    unsigned* answerLength, long)
{
    ++script.exchanges;
    // Every frame is well formed: class FF, Lc telling the data that follows.
    CHECK(apduLength >= 5 && apduLength <= 5 + SFC_MAX_LC && apdu[0] == SFC_CLA);
    CHECK(apdu[4] == apduLength - 5);
    CHECK(*answerLength == SFC_ANSWER_CAPACITY);
    if (script.transportResult == FSI_RET_TIMEOUT) {
        answer[0] = 0x62;
        answer[1] = 0x00;
        *answerLength = 2;
    }
    if (script.transportResult != FSI_RET_OK)
        return script.transportResult;
    memcpy(answer, script.answer, script.answerLength);
    *answerLength = script.answerLength;
    return FSI_RET_OK;
}

int fsi_open(const char*, SFC_FSI**)
{
    return FSI_RET_OPEN_ERR;
}

int fsi_open_raw(const char*, SFC_FSI**)
{
    return FSI_RET_OPEN_ERR;
}

int fsi_close(SFC_FSI*)
{
    return FSI_RET_OK;
}

void msleep(int64_t) {}

} // extern "C"

namespace {

SFC_FSI* const CHANNEL = reinterpret_cast<SFC_FSI*>(0x1000);
const unsigned char SENTINEL = 0xA5;

// The answer as the decoders must read it: data before the status word, 0 beyond.
struct Answer
{
    const uint8_t* bytes;
    unsigned length;

    bool hasStatusWord() const { return length >= 2; }
    int statusWord() const { return bytes[length - 2] * 256 + bytes[length - 1]; }
    // SW1 of ISO 7816: 61 to 6F or 90 to 9F.
    bool hasRealStatusWord() const
    {
        const unsigned sw1 = bytes[length - 2];
        return (sw1 >= 0x61 && sw1 <= 0x6F) || (sw1 >= 0x90 && sw1 <= 0x9F);
    }
    unsigned dataLength() const { return length - 2; }
    unsigned byteAt(unsigned i) const { return i < dataLength() ? bytes[i] : 0; }
    uint32_t be32At(unsigned i) const
    {
        return (uint32_t{byteAt(i)} << 24) | (byteAt(i + 1) << 16) | (byteAt(i + 2) << 8) |
               byteAt(i + 3);
    }
};

bool untouched(const void* object, size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(object);
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != SENTINEL)
            return false;
    }
    return true;
}

template <typename T> void fillSentinel(T& object)
{
    memset(static_cast<void*>(&object), SENTINEL, sizeof object);
}

// What every command must return for a given script, before its own decoding.
// Returns true when the answer was a 9000 answer to decode.
bool checkCommonResult(int result, const Answer& answer, bool zeroOnSuccess)
{
    if (script.transportResult != FSI_RET_OK) {
        CHECK(result == script.transportResult);
        return false;
    }
    if (!answer.hasStatusWord() || !answer.hasRealStatusWord() ||
        (answer.statusWord() != TRESORA_AC_SW_SUCCESS && answer.dataLength() != 0)) {
        CHECK(result == SFC_ERR_MALFORMED_ANSWER);
        return false;
    }
    const int sw = answer.statusWord();
    if (sw != TRESORA_AC_SW_SUCCESS) {
        CHECK(result == sw);
        return false;
    }
    CHECK(result == (zeroOnSuccess ? 0 : TRESORA_AC_SW_SUCCESS) ||
          result == SFC_ERR_MALFORMED_ANSWER || result == TRESORA_AC_ERR_BUFFER_TOO_SMALL);
    return result != SFC_ERR_MALFORMED_ANSWER && result != TRESORA_AC_ERR_BUFFER_TOO_SMALL;
}

void checkDateText(const char (&text)[TRESORA_AC_SESSION_DATE_SIZE], uint32_t packed)
{
    std::tm fields{};
    if (!unpackSessionDate(packed, fields)) {
        for (char c : text)
            CHECK(c == 0);
        return;
    }
    // "YYYY-MM-DDTHH:MM:SS" and its terminating zero.
    const char* shape = "dddd-dd-ddTdd:dd:dd";
    for (unsigned i = 0; i < 19; ++i)
        CHECK(shape[i] == 'd' ? (text[i] >= '0' && text[i] <= '9') : text[i] == shape[i]);
    CHECK(text[19] == 0);
}

void decodeStatus(const Answer& answer)
{
    sfc::cardStatus status;
    fillSentinel(status);
    const int result = sfc::getStatus(CHANNEL, &status);
    if (!checkCommonResult(result, answer, false)) {
        CHECK(untouched(&status, sizeof status));
        return;
    }
    CHECK(answer.dataLength() >= 14);
    CHECK(status.state == answer.byteAt(1) && status.pinRetryCounter == answer.byteAt(2));
    CHECK(status.adminRetryCounter == answer.byteAt(3));
    CHECK(status.cdromArea == answer.be32At(10) && status.securityFlags == answer.byteAt(14));
}

void decodeControllerId(const Answer& answer, unsigned capacity)
{
    unsigned char id[256];
    memset(id, SENTINEL, sizeof id);
    int length = static_cast<int>(capacity);
    const int result = sfc::getControllerId(CHANNEL, id, &length);
    const bool decoded = checkCommonResult(result, answer, true);
    if (result == TRESORA_AC_ERR_BUFFER_TOO_SMALL)
        CHECK(answer.dataLength() > capacity && length == static_cast<int>(capacity));
    if (!decoded) {
        CHECK(untouched(id, sizeof id));
        return;
    }
    CHECK(static_cast<unsigned>(length) == answer.dataLength() && length >= 1 &&
          length <= static_cast<int>(capacity));
    CHECK(memcmp(id, answer.bytes, answer.dataLength()) == 0);
    CHECK(untouched(id + length, sizeof id - length));
}

void decodeAppVersion(const Answer& answer)
{
    unsigned version = 0xA5A5A5A5;
    const int result = sfc::getAppVersion(CHANNEL, &version);
    if (!checkCommonResult(result, answer, true)) {
        CHECK(version == 0xA5A5A5A5);
        if (result == SFC_ERR_MALFORMED_ANSWER && script.transportResult == FSI_RET_OK &&
            answer.hasStatusWord())
            CHECK(answer.dataLength() < 4 || answer.statusWord() != TRESORA_AC_SW_SUCCESS);
        return;
    }
    CHECK(answer.dataLength() >= 4 && version == answer.be32At(0));
}

void decodeSessions(const Answer& answer, unsigned firstIndex)
{
    tresora_ac_session list;
    fillSentinel(list);
    const int result = sfc::listSessions(CHANNEL, firstIndex, &list);
    if (!checkCommonResult(result, answer, false)) {
        CHECK(untouched(&list, sizeof list));
        return;
    }
    CHECK(list.count <= TRESORA_AC_MAX_SESSIONS_PER_PAGE);
    CHECK(answer.dataLength() >= 4 + list.count * SFC_SESSION_RECORD_SIZE);
    CHECK(list.count == answer.be32At(0));
    for (unsigned i = 0; i < list.count; ++i) {
        const unsigned record = 4 + i * SFC_SESSION_RECORD_SIZE;
        CHECK(list.entries[i].id == answer.be32At(record));
        CHECK(list.entries[i].sectorCount == answer.be32At(record + 10));
        checkDateText(list.entries[i].date, answer.be32At(record + 4));
    }
    CHECK(untouched(list.entries + list.count,
                    sizeof list.entries - list.count * sizeof list.entries[0]));
}

void decodeProfiles(const Answer& answer, unsigned capacity)
{
    ProtectionProfile profiles[256];
    fillSentinel(profiles);
    unsigned count = 0xA5A5A5A5;
    const int result = sfc::getProtectionProfiles(CHANNEL, &count, profiles, capacity);
    const bool decoded = checkCommonResult(result, answer, true);
    if (result == TRESORA_AC_ERR_BUFFER_TOO_SMALL)
        CHECK(count > capacity);
    else if (!decoded)
        CHECK(count == 0);
    if (!decoded) {
        CHECK(untouched(profiles, sizeof profiles));
        return;
    }
    CHECK(count == answer.byteAt(0) && count <= capacity);
    CHECK(answer.dataLength() >= 1 + count * SFC_PROFILE_WIRE_SIZE);
    for (unsigned i = 0; i < count; ++i) {
        const unsigned offset = 1 + i * SFC_PROFILE_WIRE_SIZE;
        CHECK(profiles[i].kind == answer.byteAt(offset));
        CHECK(profiles[i].value ==
              ((uint64_t{answer.be32At(offset + 8)} << 32) | answer.be32At(offset + 12)));
    }
    CHECK(untouched(profiles + count, sizeof profiles - count * sizeof profiles[0]));
}

void decodeNvram(const Answer& answer, unsigned capacity, bool sizeOnly)
{
    unsigned char buffer[512];
    memset(buffer, SENTINEL, sizeof buffer);
    unsigned length = capacity;
    const int result = sfc::readNVRAM(CHANNEL, sizeOnly ? nullptr : buffer, &length, false, 0);
    const bool decoded = checkCommonResult(result, answer, true);
    if (!decoded) {
        CHECK(untouched(buffer, sizeof buffer) && length == capacity);
        return;
    }
    if (sizeOnly) {
        CHECK(answer.dataLength() >= 2 && length == ((answer.byteAt(0) << 8) | answer.byteAt(1)));
        return;
    }
    CHECK(length == answer.dataLength() && length <= capacity);
    CHECK(memcmp(buffer, answer.bytes, length) == 0);
    CHECK(untouched(buffer + length, sizeof buffer - length));
}

void decodeFirmwareVersion(const Answer& answer)
{
    char first[9], next[5];
    memset(first, SENTINEL, sizeof first);
    memset(next, SENTINEL, sizeof next);
    const int result = sfc::getBaseFWVersion(CHANNEL, first, next);
    if (!checkCommonResult(result, answer, false)) {
        CHECK(untouched(first, sizeof first) && untouched(next, sizeof next));
        return;
    }
    CHECK(answer.dataLength() >= 12);
    CHECK(memcmp(first, answer.bytes, 8) == 0 && memcmp(next, answer.bytes + 8, 4) == 0);
    CHECK(untouched(first + 8, 1) && untouched(next + 4, 1));
}

void decodePartition(const Answer& answer)
{
    unsigned char partition[65];
    memset(partition, SENTINEL, sizeof partition);
    const int result = sfc::getPartition(CHANNEL, partition);
    if (!checkCommonResult(result, answer, false)) {
        CHECK(untouched(partition, sizeof partition));
        return;
    }
    CHECK(answer.dataLength() >= 64 && memcmp(partition, answer.bytes, 64) == 0);
    CHECK(untouched(partition + 64, 1));
}

void decodeId(const Answer& answer)
{
    unsigned char id[17];
    memset(id, SENTINEL, sizeof id);
    const int result = sfc::getId(CHANNEL, id);
    if (!checkCommonResult(result, answer, true)) {
        CHECK(untouched(id, sizeof id));
        return;
    }
    CHECK(answer.dataLength() >= 16 && memcmp(id, answer.bytes, 16) == 0 && untouched(id + 16, 1));
}

void decodeOverallSize(const Answer& answer, bool usb)
{
    unsigned size = 0xA5A5A5A5;
    const int result =
        usb ? sfc::getOverallSizeUSB(CHANNEL, &size) : sfc::getOverallSizeSD(CHANNEL, &size);
    if (!checkCommonResult(result, answer, false)) {
        CHECK(size == 0xA5A5A5A5);
        return;
    }
    CHECK(answer.dataLength() >= 4 && size == answer.be32At(0));
}

void decodeExceptionStatus(const Answer& answer)
{
    sfc::cardStatusException status;
    fillSentinel(status);
    const int result = sfc::getStatus(CHANNEL, &status);
    if (!checkCommonResult(result, answer, false)) {
        CHECK(untouched(&status, sizeof status));
        return;
    }
    for (unsigned i = 0; i < 5; ++i)
        CHECK(status.values[i] == answer.be32At(4 * i));
}

void decodeNvramStatus(const Answer& answer)
{
    sfc::cardStatusNvram status;
    fillSentinel(status);
    const int result = sfc::getStatus(CHANNEL, &status);
    if (!checkCommonResult(result, answer, false)) {
        CHECK(untouched(&status, sizeof status));
        return;
    }
    CHECK(status.bytes0to3 == answer.be32At(0) && status.byte18 == answer.byteAt(18));
    CHECK(status.bytes4to5[0] == answer.byteAt(4) && status.bytes14to17 == answer.be32At(14));
}

// Commands without decoded output: only the status word mapping matters.
void exchangeOnly(const Answer& answer, unsigned which)
{
    const unsigned char pin[] = {'1', '2', '3', '4'};
    int result = 0;
    bool zeroOnSuccess = false;
    switch (which % 6) {
    case 0:
        result = sfc::verify(CHANNEL, pin, sizeof pin);
        break;
    case 1:
        result = sfc::setDeviceReadOnly(CHANNEL);
        // The card's 6F01 answer is this command's success.
        if (script.transportResult == FSI_RET_OK && answer.length == 2 &&
            answer.statusWord() == TRESORA_AC_SW_READ_ONLY_SET) {
            CHECK(result == TRESORA_AC_SW_SUCCESS);
            return;
        }
        break;
    case 2:
        result = sfc::firmwareUpdateTransfer(CHANNEL, 256, pin, sizeof pin);
        break;
    case 3:
        result = sfc::clearProtectionProfiles(CHANNEL);
        zeroOnSuccess = true;
        break;
    case 4:
        result = sfc::switchToSession(CHANNEL, 0xFFFFFFFF);
        break;
    default:
        result = sfc::writeNVRAM(CHANNEL, pin, sizeof pin, false, true, 7);
        zeroOnSuccess = true;
        break;
    }
    // None of them answers with data: an answer that carries some is no answer to it.
    if (checkCommonResult(result, answer, zeroOnSuccess))
        CHECK(answer.dataLength() == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const unsigned command = data[0];
    const unsigned outcome = data[1];
    const unsigned capacity = data[2];
    const size_t answerSize = size - 3 < SFC_ANSWER_CAPACITY ? size - 3 : SFC_ANSWER_CAPACITY;
    const size_t failures = sizeof TRANSPORT_FAILURES / sizeof TRANSPORT_FAILURES[0];
    script = Script{data + 3, static_cast<unsigned>(answerSize),
                    outcome < failures ? TRANSPORT_FAILURES[outcome] : FSI_RET_OK, 0};
    const Answer answer{data + 3, static_cast<unsigned>(answerSize)};

    switch (command % 16) {
    case 0:
        decodeStatus(answer);
        break;
    case 1:
        decodeControllerId(answer, capacity);
        break;
    case 2:
        decodeAppVersion(answer);
        break;
    case 3:
        decodeSessions(answer, capacity * 35);
        break;
    case 4:
        decodeProfiles(answer, capacity);
        break;
    case 5:
        decodeNvram(answer, capacity, false);
        break;
    case 6:
        decodeNvram(answer, capacity, true);
        break;
    case 7:
        decodeFirmwareVersion(answer);
        break;
    case 8:
        decodePartition(answer);
        break;
    case 9:
        decodeId(answer);
        break;
    case 10:
        decodeOverallSize(answer, false);
        break;
    case 11:
        decodeOverallSize(answer, true);
        break;
    case 12:
        decodeExceptionStatus(answer);
        break;
    case 13:
        decodeNvramStatus(answer);
        break;
    default:
        exchangeOnly(answer, command >> 4);
        break;
    }
    CHECK(script.exchanges == 1);
    return 0;
}
