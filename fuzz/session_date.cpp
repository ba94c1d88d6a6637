// The packed-date conversion of the session list, in several host time zones.
//
// Input: byte 0 picks the host's zone, bytes 1-4 the packed date (big-endian),
// byte 5 the zone byte, byte 6 the local flag.
//
// Checked beyond memory safety: an invalid date gives 20 zero bytes, a valid one a
// complete text, and the text is the recorded instant shown in the host's zone.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "FuzzCheck.h"
#include "utcOffsetCorrectionUtil.h"

namespace {

const char* const HOST_ZONES[] = {"UTC0",        "CET-1CEST,M3.5.0,M10.5.0/3",
                                  "<-0330>3:30", "NZST-12NZDT,M9.5.0,M4.1.0/3",
                                  "<+14>-14",    "<-12>12"};
const size_t ZONE_COUNT = sizeof HOST_ZONES / sizeof HOST_ZONES[0];
size_t currentZone = ZONE_COUNT;

void useHostZone(size_t zone)
{
    if (zone == currentZone)
        return;
    setenv("TZ", HOST_ZONES[zone], 1);
    tzset();
    currentZone = zone;
}

// The expected text, computed on epoch seconds independently of the code under test.
void expectedText(uint32_t packed, signed char localFlag, signed char zone, char* text)
{
    std::tm fields{};
    fields.tm_year = static_cast<int>(packed >> 26) + 120;
    fields.tm_mon = static_cast<int>((packed >> 22) & 15) - 1;
    fields.tm_mday = static_cast<int>((packed >> 17) & 31);
    fields.tm_hour = static_cast<int>((packed >> 12) & 31);
    fields.tm_min = static_cast<int>((packed >> 6) & 63);
    fields.tm_sec = static_cast<int>(packed & 63);
    const time_t recorded = timegm(&fields);
    std::tm shown{};
    if (zone == SESSION_ZONE_MARKER && localFlag != 0) {
        gmtime_r(&recorded, &shown);
    } else {
        const time_t instant =
            zone == SESSION_ZONE_MARKER ? recorded : recorded - time_t{zone} * 900;
        localtime_r(&instant, &shown);
    }
    CHECK(strftime(text, SESSION_DATE_TEXT_SIZE, "%Y-%m-%dT%H:%M:%S", &shown) == 19);
}

bool isValidPacked(uint32_t packed)
{
    const unsigned month = (packed >> 22) & 15, day = (packed >> 17) & 31;
    const unsigned hour = (packed >> 12) & 31, minute = (packed >> 6) & 63, second = packed & 63;
    return month >= 1 && month <= 12 && day != 0 && hour <= 23 && minute <= 59 && second <= 60;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 7)
        return 0;
    useHostZone(data[0] % ZONE_COUNT);
    const uint32_t packed =
        (uint32_t{data[1]} << 24) | (uint32_t{data[2]} << 16) | (uint32_t{data[3]} << 8) | data[4];
    const auto zone = static_cast<signed char>(data[5]);
    const auto localFlag = static_cast<signed char>(data[6]);

    char text[SESSION_DATE_TEXT_SIZE];
    memset(text, 0x5A, sizeof text);
    formatSessionDate(packed, localFlag, zone, text);

    std::tm unpacked{};
    CHECK(unpackSessionDate(packed, unpacked) == isValidPacked(packed));
    if (!isValidPacked(packed)) {
        for (char c : text)
            CHECK(c == 0);
        return 0;
    }
    char expected[SESSION_DATE_TEXT_SIZE] = {};
    expectedText(packed, localFlag, zone, expected);
    CHECK(memcmp(text, expected, sizeof text) == 0);
    return 0;
}
