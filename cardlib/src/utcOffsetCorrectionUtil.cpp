#include "utcOffsetCorrectionUtil.h"

#include <cstring>

namespace {

const int PACKED_YEAR_BASE = 2020 - 1900;
const long SECONDS_PER_QUARTER_HOUR = 15L * 60;

bool isValidDate(const std::tm& time)
{
    return time.tm_mday != 0 && time.tm_mon >= 0 && time.tm_mon <= 11 && time.tm_sec <= 60 &&
           time.tm_hour <= 23 && time.tm_min <= 59;
}

} // namespace

bool unpackSessionDate(uint32_t packed, std::tm& time)
{
    time = std::tm{};
    time.tm_year = static_cast<int>(packed >> 26) + PACKED_YEAR_BASE;
    time.tm_mon = static_cast<int>((packed >> 22) & 15) - 1;
    time.tm_mday = static_cast<int>((packed >> 17) & 31);
    time.tm_hour = static_cast<int>((packed >> 12) & 31);
    time.tm_min = static_cast<int>((packed >> 6) & 63);
    time.tm_sec = static_cast<int>(packed & 63);
    return isValidDate(time);
}

void getLocalSessionDateTime(std::tm& time, signed char localFlag, signed char zone)
{
    tzset(); // localtime_r alone would not notice a change of the host's zone
    time.tm_isdst = 0;
    time_t instant = timegm(&time);
    if (zone == SESSION_ZONE_MARKER && localFlag != 0) {
        gmtime_r(&instant, &time); // already local: only normalised (second 60)
        return;
    }
    if (zone != SESSION_ZONE_MARKER)
        instant -= zone * SECONDS_PER_QUARTER_HOUR;
    localtime_r(&instant, &time);
}

void formatSessionDate(uint32_t packed, signed char localFlag, signed char zone,
                       char (&text)[SESSION_DATE_TEXT_SIZE])
{
    memset(text, 0, sizeof(text));
    std::tm time{};
    if (!unpackSessionDate(packed, time))
        return;
    getLocalSessionDateTime(time, localFlag, zone);
    if (strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S", &time) == 0)
        memset(text, 0, sizeof(text));
}
