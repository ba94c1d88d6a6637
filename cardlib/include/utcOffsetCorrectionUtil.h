// Conversion of the card's recorded session dates to the host's local time.
#ifndef VIX_UTC_OFFSET_CORRECTION_UTIL_H
#define VIX_UTC_OFFSET_CORRECTION_UTIL_H

#include <cstdint>
#include <ctime>

// Zone byte that marks a record without a quarter-hour offset; the local flag decides.
constexpr signed char SESSION_ZONE_MARKER = 'A';

// Unpacks the card's 32-bit packed date into `time` (all other fields 0).
// Returns false when the fields do not form a valid date and time.
bool unpackSessionDate(uint32_t packed, std::tm& time);

// Converts an unpacked recorded date in place into the host's local time.
// zone: the recorder's UTC offset in quarter hours, or SESSION_ZONE_MARKER, in
// which case localFlag 0 means the time is UTC and non-zero that it is already local.
void getLocalSessionDateTime(std::tm& time, signed char localFlag, signed char zone);

#endif
