// Helpers shared by the date-time sources; not exported.
#pragma once

#include <qdx/DateTime.h>

#include <cstdint>
#include <ctime>

namespace qdx::dt_internal {

// Text to date number for SetDT: yyyymmdd as it stands, yymmdd/yyyymmdd with the two-digit year
// rule, or month/day[/year]. -1 bad year, -2 bad month, -3 bad day.
int ParseDate(const char* text);
// Text to time number: "7", "730", "73015" (no colon: hours, hhmm, or hhmmss as it stands, so
// of any size up to +-kNumberLimit x 10000) or "h:m[:s]". -1 bad hour, -2 bad minute, -3 bad
// second.
int64_t ParseTime(const char* text);

// SetDT(date, time) for numbers of any size: a time outside 0..240000 is refused first (-2,
// "Invalid Time: %d" logged, value unchanged), then the time is stored and a date outside
// 19000101..29991231 refused (-1, "Invalid Date: %d" logged, time kept). Returns 0 otherwise.
int SetDateTime(CQDXDateTime& value, int64_t date, int64_t time);

// Seconds to add to Universal Time `utc` to get Eastern time in the named zone; -18000 (UTC-5)
// when the zone cannot be loaded. SetNowEST uses "America/New_York".
int EasternOffset(std::time_t utc, const char* zoneName);

// The two-digit year rule: 0..69 are 2000..2069, 70..99 are 1970..1999; others unchanged.
inline int64_t TwoDigitYear(int64_t year)
{
    if (year < 70)
        year += 2000;
    if (year < 100)
        year += 1900;
    return year;
}

// Where a text becomes a number: the value of its leading integer as atol reads it (white
// space, an optional sign, decimal digits; 0 when there are none), clamped to +-kNumberLimit.
// No field of a date or time needs more than eight digits, so a clamped number fails every
// range check after it, as the number written does, instead of wrapping into range; and the
// time reader's x10000 cannot overflow.
constexpr int64_t kNumberLimit = 99999999999999;  // fourteen digits
int64_t ReadNumber(const char* text);
// ReadNumber clamped to the int range, for a day number (SetDTJul).
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

} // namespace qdx::dt_internal
