// Decoding of every answer record: only bytes the answer carries are read.
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "SessionList.h"
#include "commands_fixture.h"

using namespace cardtest;

namespace {

const unsigned char PACKED_2023_02_16_1107[] = {0x0C, 0xA0, 0xB1, 0xC0};

Bytes be32(uint32_t value)
{
    return {static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
            static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
}

Bytes sessionRecord(uint32_t id, const Bytes& packed, signed char zone, signed char localFlag,
                    uint32_t sectors)
{
    return be32(id) + packed +
           Bytes{static_cast<unsigned char>(zone), static_cast<unsigned char>(localFlag)} +
           be32(sectors);
}

class Decoding : public CardCommand
{
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        CardCommand::SetUp();
    }
};

// ---- card status -----------------------------------------------------------------------

TEST_F(Decoding, FullStatusAnswer)
{
    cardAnswers(
        {0xAA, 0x02, 0x03, 0x0A, 0x01, 0x02, 0x03, 0x04, 0xB1, 0xB2, 0xFF, 0xFF, 0xFF, 0xFF, 0x02});
    sfc::cardStatus status{};
    ASSERT_EQ(sfc::getStatus(channel, &status), 0x9000);
    EXPECT_EQ(status.reserved0, 0xAA);
    EXPECT_EQ(status.state, TRESORA_AC_STATE_LOCKED);
    EXPECT_EQ(status.pinRetryCounter, 3);
    EXPECT_EQ(status.adminRetryCounter, 10);
    EXPECT_EQ(status.reserved4, 0x01020304u);
    EXPECT_EQ(status.reserved8[0], 0xB1);
    EXPECT_EQ(status.reserved8[1], 0xB2);
    EXPECT_EQ(status.cdromArea, TRESORA_AC_CDROM_AREA_WHOLE_CARD);
    EXPECT_EQ(status.securityFlags, TRESORA_AC_FLAG_USER_ADMIN_SEPARATION);
}

TEST_F(Decoding, ShortStatusAnswersNeverReadTheStatusWordOrOldBuffer)
{
    // 14 data bytes: the flags byte is absent, and the status word's 0x90 is not it.
    cardAnswers({0, 1, 3, 3, 0, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78});
    sfc::cardStatus status{};
    status.securityFlags = 0x55;
    ASSERT_EQ(sfc::getStatus(channel, &status), 0x9000);
    EXPECT_EQ(status.securityFlags, 0);
    EXPECT_EQ(status.cdromArea, 0x12345678u);

    // Without the whole read-only area, or without any data, it is no status at all;
    // the frame that was sent (FF 70 00 00 00) must not show through either.
    for (const Bytes& data : {Bytes{0, 1, 3, 3, 0, 0, 0, 0, 0, 0, 0x12, 0x34}, Bytes{}}) {
        cardAnswers(data);
        sfc::cardStatus untouched{};
        untouched.state = 9;
        EXPECT_EQ(sfc::getStatus(channel, &untouched), SFC_ERR_MALFORMED_ANSWER);
        EXPECT_EQ(untouched.state, 9);
        EXPECT_EQ(untouched.cdromArea, 0u);
    }
}

TEST_F(Decoding, FailedQueriesLeaveTheirOutputsUntouched)
{
    cardAnswers({}, 0x6F00);
    sfc::cardStatus status{};
    status.state = 9;
    EXPECT_EQ(sfc::getStatus(channel, &status), 0x6F00);
    EXPECT_EQ(status.state, 9);
    unsigned int version = 77;
    EXPECT_EQ(sfc::getAppVersion(channel, &version), 0x6F00);
    EXPECT_EQ(version, 77u);
    unsigned char id[64] = {};
    int length = 64;
    EXPECT_EQ(sfc::getControllerId(channel, id, &length), 0x6F00);
    EXPECT_EQ(length, 64);
    tresora_ac_session list{};
    list.count = 5;
    EXPECT_EQ(sfc::listSessions(channel, 0, &list), 0x6F00);
    EXPECT_EQ(list.count, 5u);
}

// ---- identifiers and versions ----------------------------------------------------------

TEST_F(Decoding, ControllerIdFitsTheCapacityOrIsRefused)
{
    const Bytes id = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    cardAnswers(id);
    unsigned char buffer[64] = {};
    int length = 64;
    ASSERT_EQ(sfc::getControllerId(channel, buffer, &length), 0);
    EXPECT_EQ(length, 16);
    EXPECT_EQ(Bytes(buffer, buffer + 16), id);

    unsigned char small[8] = {};
    length = 8;
    EXPECT_EQ(sfc::getControllerId(channel, small, &length), TRESORA_AC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(Bytes(small, small + 8), repeated(8, 0));
    length = -1;
    EXPECT_EQ(sfc::getControllerId(channel, buffer, &length), TRESORA_AC_ERR_BUFFER_TOO_SMALL);
}

TEST_F(Decoding, NumbersAndFixedSizeValues)
{
    cardAnswers({0x01, 0x02, 0x03, 0x04});
    unsigned int number = 0;
    ASSERT_EQ(sfc::getAppVersion(channel, &number), 0);
    EXPECT_EQ(number, 0x01020304u);
    ASSERT_EQ(sfc::getOverallSizeSD(channel, &number), 0x9000);
    EXPECT_EQ(number, 0x01020304u);
    ASSERT_EQ(sfc::getOverallSizeUSB(channel, &number), 0x9000);
    EXPECT_EQ(number, 0x01020304u);

    const Bytes version = {'1', '.', '2', '.', '3', '-', 'r', 'c', 'a', 'b', 'c', 'd'};
    cardAnswers(version + Bytes{0xEE});
    char first[8], next[4];
    ASSERT_EQ(sfc::getBaseFWVersion(channel, first, next), 0x9000);
    EXPECT_EQ(std::string(first, 8), "1.2.3-rc");
    EXPECT_EQ(std::string(next, 4), "abcd");

    Bytes longAnswer(80);
    for (size_t i = 0; i < longAnswer.size(); ++i)
        longAnswer[i] = static_cast<unsigned char>(i);
    cardAnswers(longAnswer);
    unsigned char id[16] = {}, partition[64] = {};
    ASSERT_EQ(sfc::getId(channel, id), 0);
    EXPECT_EQ(Bytes(id, id + 16), Bytes(longAnswer.begin(), longAnswer.begin() + 16));
    ASSERT_EQ(sfc::getPartition(channel, partition), 0x9000);
    EXPECT_EQ(Bytes(partition, partition + 64), Bytes(longAnswer.begin(), longAnswer.begin() + 64));
}

TEST_F(Decoding, ValuesLongerThanTheAnswerAreMalformed)
{
    cardAnswers({0x01, 0x02});
    unsigned int number = 5;
    EXPECT_EQ(sfc::getAppVersion(channel, &number), SFC_ERR_MALFORMED_ANSWER);
    EXPECT_EQ(sfc::getOverallSizeSD(channel, &number), SFC_ERR_MALFORMED_ANSWER);
    EXPECT_EQ(number, 5u);
    unsigned char id[16] = {}, partition[64] = {};
    char first[8], next[4];
    EXPECT_EQ(sfc::getId(channel, id), SFC_ERR_MALFORMED_ANSWER);
    EXPECT_EQ(sfc::getPartition(channel, partition), SFC_ERR_MALFORMED_ANSWER);
    EXPECT_EQ(sfc::getBaseFWVersion(channel, first, next), SFC_ERR_MALFORMED_ANSWER);
    cardAnswers({0x01});
    EXPECT_EQ(sfc::readNVRAM(channel, nullptr, &number, false, 0), SFC_ERR_MALFORMED_ANSWER);
    EXPECT_EQ(number, 5u);
}

TEST_F(Decoding, NvramAndExceptionStatusRecords)
{
    Bytes answer;
    for (unsigned i = 0; i < 20; ++i)
        answer.push_back(static_cast<unsigned char>(0x10 + i));
    cardAnswers(answer);
    sfc::cardStatusNvram nvram{};
    nvram.zero = 0x77;
    ASSERT_EQ(sfc::getStatus(channel, &nvram), 0x9000);
    EXPECT_EQ(nvram.bytes4to5[0], 0x14);
    EXPECT_EQ(nvram.bytes4to5[1], 0x15);
    EXPECT_EQ(nvram.byte18, 0x22);
    EXPECT_EQ(nvram.zero, 0);
    EXPECT_EQ(nvram.bytes0to3, 0x10111213u);
    EXPECT_EQ(nvram.bytes6to9, 0x16171819u);
    EXPECT_EQ(nvram.bytes10to13, 0x1A1B1C1Du);
    EXPECT_EQ(nvram.bytes14to17, 0x1E1F2021u);

    sfc::cardStatusException exception{};
    ASSERT_EQ(sfc::getStatus(channel, &exception), 0x9000);
    EXPECT_EQ(exception.values[0], 0x10111213u);
    EXPECT_EQ(exception.values[4], 0x20212223u);

    cardAnswers(Bytes(answer.begin(), answer.begin() + 17));
    ASSERT_EQ(sfc::getStatus(channel, &nvram), 0x9000);
    EXPECT_EQ(nvram.byte18, 0);
    EXPECT_EQ(nvram.bytes14to17, 0x1E1F2000u);
}

// ---- NVRAM -----------------------------------------------------------------------------

TEST_F(Decoding, ReadNvramSizeQueryAndCapacity)
{
    cardAnswers({0x01, 0x00});
    unsigned int length = 0;
    ASSERT_EQ(sfc::readNVRAM(channel, nullptr, &length, false, 0), 0);
    EXPECT_EQ(length, 256u);

    const Bytes data = repeated(300, 0x6B);
    cardAnswers(data);
    Bytes buffer(512, 0);
    length = 512;
    ASSERT_EQ(sfc::readNVRAM(channel, buffer.data(), &length, false, 0), 0);
    EXPECT_EQ(length, 300u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 300), data);
    EXPECT_EQ(buffer[300], 0);

    Bytes small(100, 0);
    length = 100;
    EXPECT_EQ(sfc::readNVRAM(channel, small.data(), &length, false, 0),
              TRESORA_AC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 100u);
    EXPECT_EQ(small, Bytes(100, 0));
}

// ---- protection profiles ---------------------------------------------------------------

Bytes profileWire(unsigned char kind, uint64_t value)
{
    return Bytes{kind} + Bytes{9, 9, 9, 9, 9, 9, 9} + be32(static_cast<uint32_t>(value >> 32)) +
           be32(static_cast<uint32_t>(value));
}

TEST_F(Decoding, ProtectionProfiles)
{
    cardAnswers(Bytes{3} + profileWire(1, 0x10) + profileWire(2, 0x0102030405060708ull) +
                profileWire(0xFE, 0xFFFFFFFFFFFFFFFFull));
    ProtectionProfile profiles[3] = {};
    unsigned int count = 0;
    ASSERT_EQ(sfc::getProtectionProfiles(channel, &count, profiles, 3), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(profiles[0].kind, 1u);
    EXPECT_EQ(profiles[0].value, 0x10u);
    EXPECT_EQ(profiles[1].value, 0x0102030405060708ull);
    EXPECT_EQ(profiles[2].kind, 0xFEu);
    EXPECT_EQ(profiles[2].value, 0xFFFFFFFFFFFFFFFFull);

    ProtectionProfile two[2] = {};
    EXPECT_EQ(sfc::getProtectionProfiles(channel, &count, two, 2), TRESORA_AC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(two[0].kind, 0u);

    cardAnswers({0});
    ASSERT_EQ(sfc::getProtectionProfiles(channel, &count, nullptr, 0), 0);
    EXPECT_EQ(count, 0u);
}

TEST_F(Decoding, ProfileCountBeyondTheAnswerIsMalformed)
{
    ProtectionProfile profiles[64] = {};
    unsigned int count = 9;
    for (const Bytes& answer :
         {Bytes{}, Bytes{2} + profileWire(1, 1), Bytes{32} + repeated(500, 1), Bytes{255}}) {
        cardAnswers(answer);
        EXPECT_EQ(sfc::getProtectionProfiles(channel, &count, profiles, 64),
                  SFC_ERR_MALFORMED_ANSWER);
        EXPECT_EQ(count, 0u);
    }
    cardAnswers(Bytes{31} + repeated(31 * 16, 1));
    EXPECT_EQ(sfc::getProtectionProfiles(channel, &count, profiles, 64), 0);
    EXPECT_EQ(count, 31u);
}

// ---- session list ----------------------------------------------------------------------

const Bytes PACKED(PACKED_2023_02_16_1107, PACKED_2023_02_16_1107 + 4);

TEST_F(Decoding, SessionListFrameAndRecords)
{
    cardAnswers(be32(3) + sessionRecord(7, PACKED, 'A', 1, 2048) +
                sessionRecord(0x01020304, PACKED, 4, 0, 0xFFFFFFFF) +
                sessionRecord(9, {0, 0, 0, 0}, 0, 0, 1));
    tresora_ac_session list{};
    ASSERT_EQ(sfc::listSessions(channel, 70000, &list), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x71, 0x00, 0x00, 0x04, 0x00, 0x01, 0x11, 0x70}));
    ASSERT_EQ(list.count, 3u);
    EXPECT_EQ(list.entries[0].id, 7u);
    EXPECT_STREQ(list.entries[0].date, "2023-02-16T11:07:00");
    EXPECT_EQ(list.entries[0].sectorCount, 2048u);
    EXPECT_EQ(list.entries[1].id, 0x01020304u);
    EXPECT_STREQ(list.entries[1].date, "2023-02-16T10:07:00");
    EXPECT_EQ(list.entries[1].sectorCount, 0xFFFFFFFFu);
    EXPECT_EQ(list.entries[2].id, 9u);
    EXPECT_EQ(Bytes(list.entries[2].date, list.entries[2].date + 20), repeated(20, 0));
    EXPECT_EQ(list.entries[2].sectorCount, 1u);
}

TEST_F(Decoding, EmptySessionPage)
{
    cardAnswers(be32(0));
    tresora_ac_session list{};
    list.count = 12;
    ASSERT_EQ(sfc::listSessions(channel, 0, &list), 0x9000);
    EXPECT_EQ(list.count, 0u);
}

TEST_F(Decoding, FullPageOf35Sessions)
{
    Bytes answer = be32(35);
    for (uint32_t i = 0; i < 35; ++i)
        answer = answer + sessionRecord(100 + i, PACKED, 'A', 1, i);
    ASSERT_EQ(answer.size(), 494u);
    cardAnswers(answer);
    tresora_ac_session list{};
    ASSERT_EQ(sfc::listSessions(channel, 0, &list), 0x9000);
    ASSERT_EQ(list.count, 35u);
    EXPECT_EQ(list.entries[34].id, 134u);
    EXPECT_EQ(list.entries[34].sectorCount, 34u);
}

TEST_F(Decoding, SessionCountBeyondTheRecordsIsMalformedAndEndsPaging)
{
    const Bytes record = sessionRecord(1, PACKED, 'A', 1, 1);
    for (const Bytes& answer : {Bytes{}, Bytes{0, 0, 0}, be32(2) + record,
                                be32(0xFFFFFFFF) + record, be32(36) + repeated(502, 0)}) {
        cardAnswers(answer);
        tresora_ac_session list{};
        list.count = 99;
        EXPECT_EQ(sfc::listSessions(channel, 0, &list), SFC_ERR_MALFORMED_ANSWER);
        EXPECT_EQ(list.count, 99u);
    }
}

// ---- refusals common to every decoding command -----------------------------------------

template <typename T> T* as(unsigned char* area)
{
    return reinterpret_cast<T*>(area);
}

unsigned profileCount; // set to 0 by every call

// A decoding command whose outputs, in/out lengths included, all lie in the area `a`.
#define DECODES(call) [](SFC_FSI* c, unsigned char* a) { return call; }

struct DecodingCommand
{
    const char* name;
    bool needsData; // a bare 0x9000 lacks the value
    int (*run)(SFC_FSI*, unsigned char*);
};

const DecodingCommand DECODING_COMMANDS[] = {
    {"status", true, DECODES(sfc::getStatus(c, as<sfc::cardStatus>(a)))},
    {"nvram status", false, DECODES(sfc::getStatus(c, as<sfc::cardStatusNvram>(a)))},
    {"exception status", false, DECODES(sfc::getStatus(c, as<sfc::cardStatusException>(a)))},
    {"controller id", true, DECODES(sfc::getControllerId(c, a, as<int>(a + 512)))},
    {"app version", true, DECODES(sfc::getAppVersion(c, as<unsigned>(a)))},
    {"id", true, DECODES(sfc::getId(c, a))},
    {"base version", true, DECODES(sfc::getBaseFWVersion(c, as<char>(a), as<char>(a + 8)))},
    {"profiles", true,
     DECODES(sfc::getProtectionProfiles(c, &profileCount, as<ProtectionProfile>(a), 4))},
    {"partition", true, DECODES(sfc::getPartition(c, a))},
    {"size SD", true, DECODES(sfc::getOverallSizeSD(c, as<unsigned>(a)))},
    {"size USB", true, DECODES(sfc::getOverallSizeUSB(c, as<unsigned>(a)))},
    {"read nvram", false, DECODES(sfc::readNVRAM(c, a, as<unsigned>(a + 512), false, 0))},
    {"nvram size", true, DECODES(sfc::readNVRAM(c, nullptr, as<unsigned>(a), false, 0))},
    {"sessions", true, DECODES(sfc::listSessions(c, 0, as<tresora_ac_session>(a)))},
};

TEST_F(Decoding, EveryDecodingCommandRefusesAFailedOrTooShortAnswerAlikeAndWritesNothing)
{
    const unsigned char UNTOUCHED = 0x5A;
    struct Refusal
    {
        Bytes payload;
        int result;
        bool onlyWhereDataIsNeeded;
    };
    // A refusal carries no data: one that does is no answer a card gives.
    const Refusal refusals[] = {
        {Bytes{0x6F, 0x00}, 0x6F00, false},
        {repeated(64, 0x11) + Bytes{0x6F, 0x00}, SFC_ERR_MALFORMED_ANSWER, false},
        {{0x90}, SFC_ERR_MALFORMED_ANSWER, false},
        {{0x90, 0x00}, SFC_ERR_MALFORMED_ANSWER, true}};
    for (const Refusal& refusal : refusals) {
        card.answerAlways(answerBlock(FSI_PAYLOAD_SE_RESPONSE, refusal.payload));
        for (const DecodingCommand& command : DECODING_COMMANDS) {
            if (refusal.onlyWhereDataIsNeeded && !command.needsData)
                continue;
            alignas(8) unsigned char area[1024];
            memset(area, UNTOUCHED, sizeof(area));
            EXPECT_EQ(command.run(channel, area), refusal.result) << command.name;
            EXPECT_EQ(Bytes(area, area + sizeof(area)), repeated(sizeof(area), UNTOUCHED))
                << command.name;
        }
    }
}

// ---- the whole session list ------------------------------------------------------------

struct WholeListCase
{
    const char* name;
    uint32_t firstIndex;
    bool ignoresIndex;  // every page is the first one
    size_t failingPage; // answered 0x6A88; 0: none
    int result;
    uint32_t count;
    size_t pages; // pages asked for
};

// Pages of 35 sessions that never end, each numbered from the index asked for.
TEST_F(Decoding, WholeSessionListStopsAtARepeatedPageTheIndexLimitOrAFailure)
{
    const WholeListCase cases[] = {
        {"repeated page", 0, true, 0, TRESORA_AC_ERR_MALFORMED_ANSWER, 35, 2},
        {"index limit", UINT32_MAX - 50, false, 0, TRESORA_AC_OK, UINT32_MAX, 2},
        {"failing page", 0, false, 3, 0x6A88, 70, 3},
    };
    for (const WholeListCase& c : cases) {
        SCOPED_TRACE(c.name);
        size_t pages = 0;
        card.respond([&](const Command& command) {
            if (++pages == c.failingPage)
                return reply(seAnswer({}, 0x6A88));
            const Bytes& index = command.bytes;
            const uint32_t first = c.ignoresIndex ? 0
                                                  : uint32_t(index[5]) << 24 | index[6] << 16 |
                                                        index[7] << 8 | index[8];
            Bytes answer = be32(35);
            for (uint32_t i = 0; i < 35; ++i)
                answer = answer + sessionRecord(first + i, PACKED, 'A', 1, 1);
            return reply(seAnswer(answer));
        });
        tresora_ac_session_entry room[40];
        SessionListing listing{room, 40, c.firstIndex};
        EXPECT_EQ(readSessionList(channel, &listing), c.result);
        EXPECT_EQ(listing.count, c.count);
        EXPECT_EQ(pages, c.pages);
    }
}

} // namespace
