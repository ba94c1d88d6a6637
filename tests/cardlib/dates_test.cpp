// Recorded session dates shown in the host's local time, under fixed time zones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "utcOffsetCorrectionUtil.h"

namespace {

const char* const UTC = "UTC";
const char* const UTC_PLUS_ONE = "<+01>-1"; // no summer time
const char* const UTC_MINUS_FIVE = "<-05>5";

// A zone with summer time; the rule string stands in where the zone database is missing.
const char* berlin()
{
    return access("/usr/share/zoneinfo/Europe/Berlin", R_OK) == 0 ? "Europe/Berlin"
                                                                  : "CET-1CEST,M3.5.0,M10.5.0/3";
}

void useZone(const char* zone)
{
    setenv("TZ", zone, 1);
    tzset();
}

uint32_t pack(int year, int month, int day, int hour, int minute, int second)
{
    return (static_cast<uint32_t>(year - 2020) << 26) | (static_cast<uint32_t>(month) << 22) |
           (static_cast<uint32_t>(day) << 17) | (static_cast<uint32_t>(hour) << 12) |
           (static_cast<uint32_t>(minute) << 6) | static_cast<uint32_t>(second);
}

std::string shown(uint32_t packed, signed char zone, signed char localFlag = 0)
{
    char text[SESSION_DATE_TEXT_SIZE];
    formatSessionDate(packed, localFlag, zone, text);
    return std::string(text);
}

const uint32_t FEB_16_1107 = 0x0CA0B1C0;
const signed char MARKER = SESSION_ZONE_MARKER;

TEST(SessionDate, UnpacksThePackedFields)
{
    EXPECT_EQ(pack(2023, 2, 16, 11, 7, 0), FEB_16_1107);
    std::tm time{};
    ASSERT_TRUE(unpackSessionDate(FEB_16_1107, time));
    EXPECT_EQ(time.tm_year, 123);
    EXPECT_EQ(time.tm_mon, 1);
    EXPECT_EQ(time.tm_mday, 16);
    EXPECT_EQ(time.tm_hour, 11);
    EXPECT_EQ(time.tm_min, 7);
    EXPECT_EQ(time.tm_sec, 0);
    EXPECT_EQ(time.tm_isdst, 0);
    ASSERT_TRUE(unpackSessionDate(pack(2083, 12, 31, 23, 59, 59), time));
    EXPECT_EQ(time.tm_year, 183);
    EXPECT_EQ(time.tm_mon, 11);
    EXPECT_EQ(time.tm_mday, 31);
}

TEST(SessionDate, InvalidFieldsGiveAnEmptyText)
{
    useZone(UTC);
    const uint32_t invalid[] = {pack(2023, 0, 16, 11, 7, 0),
                                pack(2023, 13, 16, 11, 7, 0),
                                pack(2023, 2, 0, 11, 7, 0),
                                pack(2023, 2, 16, 24, 7, 0),
                                pack(2023, 2, 16, 11, 60, 0),
                                pack(2023, 2, 16, 11, 7, 61),
                                0};
    for (uint32_t packed : invalid) {
        std::tm time{};
        EXPECT_FALSE(unpackSessionDate(packed, time)) << std::hex << packed;
        char text[SESSION_DATE_TEXT_SIZE];
        std::fill(text, text + sizeof(text), 'x');
        formatSessionDate(packed, 0, 0, text);
        EXPECT_EQ(std::string(text, text + sizeof(text)), std::string(20, '\0'));
    }
    EXPECT_EQ(shown(pack(2023, 2, 16, 11, 7, 60), MARKER, 1), "2023-02-16T11:08:00");
}

TEST(SessionDate, MarkerWithLocalFlagIsShownUnchangedInEveryZone)
{
    for (const char* zone : {UTC, UTC_PLUS_ONE, UTC_MINUS_FIVE, berlin()}) {
        useZone(zone);
        EXPECT_EQ(shown(FEB_16_1107, MARKER, 1), "2023-02-16T11:07:00") << zone;
        EXPECT_EQ(shown(FEB_16_1107, MARKER, -3), "2023-02-16T11:07:00") << zone;
    }
}

TEST(SessionDate, RecordedOffsetGivesTheInstantShownInTheHostZone)
{
    useZone(UTC_PLUS_ONE);
    EXPECT_EQ(shown(FEB_16_1107, MARKER, 0), "2023-02-16T12:07:00");
    EXPECT_EQ(shown(FEB_16_1107, 4), "2023-02-16T11:07:00");
    EXPECT_EQ(shown(FEB_16_1107, 0), "2023-02-16T12:07:00");
    EXPECT_EQ(shown(FEB_16_1107, -20), "2023-02-16T17:07:00");

    useZone(UTC);
    EXPECT_EQ(shown(FEB_16_1107, 4), "2023-02-16T10:07:00");
    EXPECT_EQ(shown(FEB_16_1107, 0), "2023-02-16T11:07:00");
    EXPECT_EQ(shown(FEB_16_1107, 2), "2023-02-16T10:37:00");
    EXPECT_EQ(shown(pack(2023, 1, 1, 0, 30, 0), 4), "2022-12-31T23:30:00");

    useZone(UTC_MINUS_FIVE);
    EXPECT_EQ(shown(FEB_16_1107, 4), "2023-02-16T05:07:00");
}

TEST(SessionDate, SameInstantLooksTheSameWhicheverWayItWasRecorded)
{
    for (const char* zone : {UTC, UTC_PLUS_ONE, UTC_MINUS_FIVE, berlin()}) {
        useZone(zone);
        // 11:07 UTC, recorded as UTC, with zone 0, or as 12:07 at UTC+1.
        const std::string utc = shown(FEB_16_1107, MARKER, 0);
        EXPECT_EQ(shown(FEB_16_1107, 0), utc) << zone;
        EXPECT_EQ(shown(pack(2023, 2, 16, 12, 7, 0), 4), utc) << zone;
        EXPECT_EQ(shown(pack(2023, 2, 16, 6, 7, 0), -20), utc) << zone;
    }
}

TEST(SessionDate, SummerTimeFollowsTheInstantNotTheHost)
{
    useZone(berlin());
    EXPECT_EQ(shown(FEB_16_1107, 0), "2023-02-16T12:07:00");
    EXPECT_EQ(shown(pack(2023, 7, 1, 10, 0, 0), 0), "2023-07-01T12:00:00");
    EXPECT_EQ(shown(pack(2023, 7, 1, 10, 0, 0), MARKER, 0), "2023-07-01T12:00:00");
    // Across the spring change (02:00 local becomes 03:00, 01:00 UTC).
    EXPECT_EQ(shown(pack(2023, 3, 26, 0, 59, 0), 0), "2023-03-26T01:59:00");
    EXPECT_EQ(shown(pack(2023, 3, 26, 1, 0, 0), 0), "2023-03-26T03:00:00");
    // A local time inside the gap is kept as it was recorded.
    EXPECT_EQ(shown(pack(2023, 3, 26, 2, 30, 0), MARKER, 1), "2023-03-26T02:30:00");
    // The autumn hour that occurs twice: both occurrences, each from its own offset.
    EXPECT_EQ(shown(pack(2023, 10, 29, 2, 30, 0), 8), "2023-10-29T02:30:00");
    EXPECT_EQ(shown(pack(2023, 10, 29, 2, 30, 0), 4), "2023-10-29T02:30:00");
    EXPECT_EQ(shown(pack(2023, 10, 29, 0, 30, 0), 0), "2023-10-29T02:30:00");
    EXPECT_EQ(shown(pack(2023, 10, 29, 1, 30, 0), 0), "2023-10-29T02:30:00");
}

TEST(SessionDate, ConvertsInPlaceWithNormalisedFields)
{
    useZone(UTC_PLUS_ONE);
    std::tm time{};
    ASSERT_TRUE(unpackSessionDate(pack(2023, 12, 31, 23, 30, 0), time));
    getLocalSessionDateTime(time, 0, 0);
    EXPECT_EQ(time.tm_year, 124);
    EXPECT_EQ(time.tm_mon, 0);
    EXPECT_EQ(time.tm_mday, 1);
    EXPECT_EQ(time.tm_hour, 0);
    EXPECT_EQ(time.tm_min, 30);
    EXPECT_EQ(time.tm_wday, 1); // Monday
}

TEST(SessionDate, ConcurrentConversionsAgree)
{
    useZone(berlin());
    const std::string expected = shown(pack(2023, 7, 1, 10, 0, 0), 0);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &mismatches, &expected] {
            for (int i = 0; i < 2000; ++i)
                if (shown(pack(2023, 7, 1, 10, 0, 0), 0) != expected ||
                    shown(pack(2023, 2, 16, 11, 7, 0), MARKER, 1) != "2023-02-16T11:07:00")
                    ++mismatches[t];
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

} // namespace
