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
// zone: the recorder's UTC offset in quarter hours; the recorded instant is the
// packed time minus that offset, in UTC. With SESSION_ZONE_MARKER, localFlag 0 means
// the packed time is UTC and non-zero that it is already local (kept as it is).
// Thread-safe: works on UTC epoch seconds, never on the host's broken-down local time.
void getLocalSessionDateTime(std::tm& time, signed char localFlag, signed char zone);

// Size of the date text, terminating zero included.
constexpr unsigned SESSION_DATE_TEXT_SIZE = 20;

// Writes the local "%Y-%m-%dT%H:%M:%S" text of a packed date, or 20 zero bytes when
// the packed date is not valid.
void formatSessionDate(uint32_t packed, signed char localFlag, signed char zone,
                       char (&text)[SESSION_DATE_TEXT_SIZE]);

#endif
