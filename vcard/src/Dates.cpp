#include <cstdio>

#include "vcard/Card.h"

namespace vcard {

std::uint32_t packDate(int year, int month, int day, int hour, int minute, int second)
{
    return (std::uint32_t(year - 2020) & 63u) << 26 | (std::uint32_t(month) & 15u) << 22 |
           (std::uint32_t(day) & 31u) << 17 | (std::uint32_t(hour) & 31u) << 12 |
           (std::uint32_t(minute) & 63u) << 6 | (std::uint32_t(second) & 63u);
}

std::uint32_t packUtc(std::time_t time)
{
    std::tm parts{};
    gmtime_r(&time, &parts);
    return packDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                    parts.tm_min, parts.tm_sec);
}

bool packedDateValid(std::uint32_t packed)
{
    unsigned month = (packed >> 22) & 15u;
    unsigned day = (packed >> 17) & 31u;
    unsigned hour = (packed >> 12) & 31u;
    unsigned minute = (packed >> 6) & 63u;
    unsigned second = packed & 63u;
    return day != 0 && month >= 1 && month <= 12 && second <= 60 && hour <= 23 && minute <= 59;
}

std::string packedDateText(std::uint32_t packed)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", (packed >> 26) + 2020,
                  (packed >> 22) & 15u, (packed >> 17) & 31u, (packed >> 12) & 31u,
                  (packed >> 6) & 63u, packed & 63u);
    return text;
}

bool parseVersion(const std::string& text, std::uint32_t& version)
{
    unsigned major = 0;
    unsigned minor = 0;
    unsigned patch = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u%c", &major, &minor, &patch, &extra) != 3 ||
        major > 0xFFFF || minor > 0xFF || patch > 0xFF) {
        return false;
    }
    version = major << 16 | minor << 8 | patch;
    return true;
}

std::string versionText(std::uint32_t version)
{
    return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFF) + "." +
           std::to_string(version & 0xFF);
}

} // namespace vcard
