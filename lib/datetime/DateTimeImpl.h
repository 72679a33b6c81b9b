// Helpers shared by the date-time sources; not exported.
#pragma once

#include <qdx/DateTime.h>

#include <cstdint>
#include <ctime>

namespace qdx_dt {

// Text to date number for SetDT: yyyymmdd as it stands, yymmdd/yyyymmdd with the two-digit year
// rule, or month/day[/year]. -1 bad year, -2 bad month, -3 bad day.
int ParseDate(const char* text);
// Text to time number: "7", "730", "73015" (no colon: hours, hhmm, or hhmmss as it stands) or
// "h:m[:s]". -1 bad hour, -2 bad minute, -3 bad second.
int ParseTime(const char* text);

// Seconds to add to Universal Time `utc` to get Eastern time in the named zone; -18000 (UTC-5)
// when the zone cannot be loaded. SetNowEST uses "America/New_York".
int EasternOffset(std::time_t utc, const char* zoneName);

// The two-digit year rule: 0..69 are 2000..2069, 70..99 are 1970..1999; others unchanged.
inline long TwoDigitYear(long year)
{
    if (year < 70)
        year += 2000;
    if (year < 100)
        year += 1900;
    return year;
}

// atol/atoi without undefined behaviour on overflow: strtol's value (saturated at the long
// range), and for the int form its low 32 bits, as the C library's atoi gives.
long AtoL(const char* text);
int AtoI(const char* text);

// The current local time, from the clock seam.
std::tm LocalNow();

// Fills the fields from a broken-down time (tm_year is years since 1900).
void SetFromTm(CQDXDateTime& value, const std::tm& t);

// Stores a seconds-of-the-day count of any size (hour = s / 3600, kept to its low 8 bits).
void StoreTimeSec(CQDXDateTime& value, int64_t seconds);

// Copies at most `limit` characters of `text` into `out` (size limit + 1) with blanks and tabs
// removed from both ends; returns the length.
int TrimCopy(const char* text, char* out, int limit);

// Trims blanks and tabs from both ends of `text` in place; returns the length.
int TrimInPlace(char* text);

} // namespace qdx_dt
