// CQDXDateTime: a calendar date and a time of day to the whole second, in six bytes, without a
// time zone. The value covers the years 1900 to 2155 (the year is kept as years since 1900 in
// one byte) on the Gregorian calendar.
//
// What the class offers:
// - storage, validity, comparison and copying; the packed number forms the library passes dates
//   and times in: the date number yyyymmdd (20060102), the time number hhmmss (143005) and the
//   seconds of the day (52205);
// - setting a value from free text, numbers, the clock (local, Universal and US Eastern time),
//   a SYSTEMTIME, a file's modification time and Unix seconds;
// - calendar arithmetic: Julian day numbers, week days, differences, shifting by months, days
//   and seconds;
// - reading dates and times out of free text and writing a value in eighteen numbered layouts.
//
//   CQDXDateTime when;
//   when.SetDT("1/2/2006 14:30:05");       // 0
//   when.ShiftDate(30);                     // 2006-02-01 14:30:05
//   CString text;
//   when.GetStr(text, 9);                   // "2/1/2006 14:30:05"
//
// Results are integers: 0 for success and negative codes for failures, as each function states.
// Setters that reject a number also log a line under the category "DateTime". Nothing throws.
//
// The clock is read through ClockNow() (qdx/Platform.h), so tests can fix "now".
#pragma once

#include <qdx/Platform.h>
#include <qdx/String.h>
#include <qdx/qdx_export.h>

#include <cstdint>

class CTxt;

// The six fields of a date-time as a plain record, for callers that keep their own copies.
class QDX_EXPORT CQDXDateTimePlain {
public:
    unsigned char year = 0;    // years since 1900
    unsigned char month = 0;   // 1..12
    unsigned char day = 0;     // 1..length of the month
    unsigned char hour = 0;    // 0..23
    unsigned char minute = 0;  // 0..59
    unsigned char second = 0;  // 0..59

    CQDXDateTimePlain() = default;
    CQDXDateTimePlain(const CQDXDateTimePlain& other) = default;
    CQDXDateTimePlain& operator=(const CQDXDateTimePlain& other) = default;

    // Compares field by field from the year down; -1, 0 or 1 as this is earlier, equal or later.
    // `mode` 1..5 stops after the year, month, day, hour or minute; any other mode compares all
    // six fields. A null `other` gives 99.
    int Compare(const CQDXDateTimePlain* other, int mode) const;
};

class QDX_EXPORT CQDXDateTime {
public:
    unsigned char year = 0;    // years since 1900: 0..255 is 1900..2155
    unsigned char month = 0;   // 1..12
    unsigned char day = 0;     // 1..DayMonth(year + 1900, month)
    unsigned char hour = 0;    // 0..23 (24 may be stored, see SetTimeHMS; such a value is not valid)
    unsigned char minute = 0;  // 0..59
    unsigned char second = 0;  // 0..59

    // --- value, validity, comparison ----------------------------------------------------------

    // The empty value: all six fields 0 (not a valid date, and not 1900-01-01).
    CQDXDateTime() = default;
    CQDXDateTime(const CQDXDateTime& other) = default;
    CQDXDateTime& operator=(const CQDXDateTime& other) = default;

    // Back to the empty value.
    void Reset();
    // Copies the six fields of `other`; a null `other` leaves the value as it is.
    void Copy(const CQDXDateTime* other);
    // 1 when month, day, hour, minute and second lie in their ranges (day against the month's
    // length), else 0.
    int IsValid() const;
    // 1 when all six fields are 0.
    int IsEmpty() const;
    // 1 when any field is not 0.
    int IsFilled() const;
    // 366 for a Gregorian leap year, else 365.
    static int DayYear(int year);
    // Length of `month` (1..12) in `year`: DayMonth(2004, 2) == 29. 0 for any other month.
    static int DayMonth(int year, int month);
    // 1 when 19000101 <= n <= 29991231 (a range check only: 20061345 passes).
    static int IsDate(uint32_t n);
    // 1 when n <= 240000 (a range check only: 236099 passes).
    static int IsTime(uint32_t n);
    // Forces a usable value: empty becomes 1900-01-01 00:00:00, month and day are clamped into
    // their ranges, an hour above 24 makes the time 23:59:59, minute and second stop at 59.
    // An hour of exactly 24 stays. Returns 0.
    int FixDate();
    // Compares field by field from the year down: -1, 0 or 1 as this is earlier, equal or later.
    // `mode` 1..5 stops after the year, month, day, hour or minute (3 compares dates only); any
    // other mode compares all six fields. A null `other` stands for now, local time.
    int Compare(const CQDXDateTime* other, int mode) const;
    // 0 when year, month and day agree; else 3 when the days differ, 2 when only the months (and
    // perhaps years) differ, 1 when only the years differ. A null `other` gives 3.
    int SameDate(const CQDXDateTime* other) const;

    // --- setting --------------------------------------------------------------------------------

    // Sets date and time from text: "20060102", "20060102 143005", "060102 14:30", "1/2/2006
    // 14:30:05", "1/2/06 7", "1/2" (this year), or one of "Now", "Today" (midnight), "NowEST",
    // "TodayEST" and "LIVE" (Eastern midnight), any case. An empty text gives the empty value.
    // Returns 0; 0 with the value unchanged when the first word is not a number; -1 for a bad
    // date; -2 for a bad time (value unchanged). A time alone ("12:30") sets the time, keeps the
    // date, logs "Invalid Date: 0" and returns -1. A null text returns -1.
    int SetDT(const char* text);
    // SetDT(text), then -1 unless it succeeded and the result is valid.
    int SetDTCheck(const char* text);
    // Sets from a date number and a time number. -2 (value unchanged, "Invalid Time: %d" logged)
    // for a time above 240000; -1 ("Invalid Date: %d" logged) for a date outside IsDate, with
    // the time already stored. Month and day are not checked against the calendar.
    int SetDT(uint32_t date, uint32_t time);
    // Sets from a system time record; -1 when the result is not valid (fields stored anyway) or
    // the record is null.
    int SetDT(const SYSTEMTIME* st);
    // Sets to a file's modification time in local time; -1 (and the empty value) when the file
    // cannot be examined. A file named "NUL" gives the Unix epoch.
    int SetDTFile(const char* path);
    // Sets to `t` seconds after 1970-01-01 00:00:00 UTC, in local time. Returns 0.
    int SetDTUnix(int32_t t);
    // Sets the time of day only, from text: "14:30", "1:30 pm", "130PM", "7" (07:00:00), or "Now"
    // and "Today" (the local time of day) and "NowEST", "TodayEST", "LIVE" (Eastern). A final
    // "PM" adds 12 hours; an hour of 24 or more then loses 12 (so "12:30AM" and "12:30PM" are
    // both 12:30:00). A null or empty text gives 00:00:00. -2 ("Invalid Time: %d" logged, value
    // unchanged) when the time is not accepted.
    int SetTime(const char* text);
    // Stores the three time fields as given, without validation. Returns 0.
    int SetTime(unsigned char hour, unsigned char minute, unsigned char second);
    // Stores a seconds-of-the-day count without wrapping into the next day (86400 gives hour 24).
    int SetTimeSec(int seconds);
    // Stores a time number, then checks it: -1 for an hour above 24, -2 for a minute above 59,
    // -3 for a second above 59, -4 for 24 hours plus something; else 0. The fields stay stored.
    int SetTimeHMS(int time);
    // Now, local time.
    void SetNow();
    // Now, Universal Time.
    void SetNowGMT();
    // Now, US Eastern time (America/New_York; UTC-5 when that zone cannot be loaded).
    void SetNowEST();
    // Cuts the time of day down to a multiple of `step` seconds (a step below 1 counts as 1);
    // with `up` 1 it goes one step further, even from a multiple. The date stays, so a result of
    // a whole day or more leaves an hour of 24 or more.
    void RoundToNearestSec(int step, int up);

    // --- calendar arithmetic -----------------------------------------------------------------

    // Day of the week of 1 January of `year`, 0 = Sunday (Julian calendar up to 1752).
    static int Jan1(int year);
    // year + 1900.
    int GetYear() const;
    // Julian day number of the date: 2451545 for 2000-01-01.
    int GetJulian() const;
    // Day of the week: mode 0 gives 0 = Sunday .. 6 = Saturday, any other mode 0 = Monday ..
    // 6 = Sunday.
    int GetWeekDay(int mode) const;
    // (GetJulian() - GetWeekDay(mode)) / 7.
    int GetJulianWeek(int mode) const;
    // Date number of the first day of the week (Sunday for mode 0, Monday otherwise).
    uint32_t GetWeekStart(int mode) const;
    // The date number (mode 1: with the year counted from 1900, 1060102); 0 when not valid.
    uint32_t GetDate(int mode) const;
    // The time number hhmmss (no validity test).
    uint32_t GetTime() const;
    // Seconds of the day.
    uint32_t GetTimeSec() const;
    // Time number of the time of day moved by `seconds`; the value does not change. A total of
    // exactly a whole day reads 240000.
    uint32_t GetTimeShift(int seconds) const;
    // yymmdd * 10000 + (GetTimeSec() + offset) / length: the index of a time slot of `length`
    // seconds. A length below 1 counts as 1.
    uint32_t GetIntervalIdx(int length, int offset) const;
    // year * 1000 + month * 31 + day + GetTimeSec() / 86400: sortable, not a day count.
    float GetDateFloat() const;
    // Date number from year (two-digit years: 0..69 are 2000..2069, 70..99 are 1970..1999),
    // month and day; 1, 2 or 3 for a bad year, month or day (a day above 31).
    static uint32_t GetDateMDY(int year, int month, int day);
    // Time number; 4, 5 or 6 for a bad hour, minute or second.
    static uint32_t GetTimeHMS(int hour, int minute, int second);
    // Seconds from this value to `other` by the calendar (no zone, no daylight saving); a null
    // or empty `other` stands for now. Positive when `other` is later; exact up to about 68 years.
    int GetDiffSec(const CQDXDateTime* other) const;
    // The same in 64 bits.
    int64_t GetDiffSecBig(const CQDXDateTime* other) const;
    // GetDiffSecBig(other) / 86400, with fractions: 36 hours give 1.5.
    float GetDiffDays(const CQDXDateTime* other) const;
    // Months from `other` to this value (positive when this is later), with the rest counted in
    // lengths of the month it falls in: 2006-03-15 12:00 against 2006-01-10 gives 2.1774.
    // A null `other` stands for now.
    float GetDiffMonth(const CQDXDateTime* other) const;
    // Elapsed seconds from this value to `other`, both read as local time with daylight saving
    // decided by the system's zone rules (mktime). A null or empty `other` stands for now.
    // kDiffSpanOutOfRange when the span does not fit in an int (about 68 years either way):
    // GetDiffSecSpanBig gives every span whole.
    int GetDiffSecSpan(const CQDXDateTime* other) const;
    static constexpr int kDiffSpanOutOfRange = INT32_MIN;
    // The same in 64 bits: 2006-01-01 to 2100-01-01 in UTC gives 2966371200.
    int64_t GetDiffSecSpanBig(const CQDXDateTime* other) const;
    // The same in days. A value that is not valid first gets the date 1900-01-01 (this changes
    // it), and so does an `other` whose date fields are all 0.
    float GetDiffDaysSpan(CQDXDateTime* other);
    // Moves the date by whole days (the time stays). Any distance costs the same.
    void ShiftDate(int days);
    // Moves the date by whole months. Forward, a day beyond the new month's end moves on into
    // the next month (2006-01-31 + 1 is 2006-03-01); backward, it is pulled back to the month's
    // last day at each step (2006-03-31 - 2 is 2006-01-28).
    void ShiftMonth(int months);
    // Moves the value by seconds, carrying into the date.
    void ShiftTime(int seconds);
    // Sets the day with Julian day number `jd` at 00:00:00; returns the days from today to it.
    int SetDTJul(int jd);
    // SetDTJul(atoi(text)), a number beyond the int range taken as the nearest int; a null text
    // counts as 0.
    int SetDTJul(const char* text);
    // Sets from days since 1899-12-30 00:00 with the time of day as the fraction (rounded to the
    // second): 38719.25 is 2006-01-02 06:00:00. -1 when the result is not valid.
    int SetDTFloat(double days);
    // Fills a system time record: the six fields, the day of the week (0 = Sunday) and 0 ms.
    void GetSYSTEMTIME(SYSTEMTIME* st) const;

    // --- text -------------------------------------------------------------------------------------

    // Reads a date out of free text and returns its date number, or 1 (bad year), 2 (bad month),
    // 3 (bad day); test the result with IsDate. The fields are numbered as for strfld and
    // separated by `sep`; month fields may be English month names or any prefix of one:
    //   GetDateAlpha("JAN 02 2006 18:04:43", 3, 1, 2, ' ') == 20060102
    //   GetDateAlpha("02-Jan-2006", 1, 2, 3, '/')          == 20060102   (dash form)
    //   GetDateAlpha("Jan 2", -1, 2, 3, '/')                == this year's 2 January
    //   GetDateAlpha("1/2/06", 3, 1, 2, '/')                == 20060102
    //   GetDateAlpha("20060102", any fields)                == 20060102
    // Where several names match a month field, the last in calendar order wins ("Ju" is July,
    // and an empty field is December). A null text gives 1.
    static uint32_t GetDateAlpha(const char* text, int yearField, int monthField, int dayField, char sep);
    // Reads a time of day: "18:04:43 UTC" gives 180443, "7" 070000, "730" 073000, "7.5" (hours)
    // 073000. -1, -2 or -3 for a bad hour, minute or second in the colon form. Without a colon the
    // range is not checked ("25.5" gives 253000), but a number too large for an int gives -1. A null
    // text gives 0.
    static int GetTimeAlpha(const char* text);
    // The English month name ("Jan" when abbreviated, else "January"); "?13" outside 1..12.
    static void GetMonthTxt(int month, CTxt& out, int abbreviated);
    // The English day name of `day` (0 = Sunday, or 0 = Monday with mode 1); "?%d" outside.
    static void GetWeekDayTxt(int day, CTxt& out, int abbreviated, int mode);
    // The day named at the start of `text` ("sat", "Saturday"): 0 = Sunday .. 6, or 0 = Monday
    // .. 6 = Sunday with mode 1; -1 when no day's three-letter name starts the text.
    static int GetWeekDayVal(const char* text, int mode);
    // Writes the fields as they are, in layout `mode`; 2006-01-02 14:30:05 gives
    //    0 "20060102 14:30:05"    6 "1/2/2006"              12 "01/02/2006"
    //    1 "20060102"             7 "02:30:05PM"            13 "01/02/2006 14:30"
    //    2 "14:30:05"             8 "02:30PM"               14 "01/02"
    //    3 "1/2/06 14:30:05"      9 "1/2/2006 14:30:05"     15 "01/02/2006 02:30PM"
    //    4 "1/2/06"              10 "20060102_143005"       16 "01/02/2006 02:30:05PM"
    //    5 "14:30"               11 "143005"                17 "01/02/2006 14:30:05"
    // The 12-hour layouts write the hours 0 to 12 with AM (noon is "12:00AM", half past midnight
    // "00:30AM") and 13 to 23 as 1 to 11 with PM. Any other mode leaves `out` unchanged.
    void GetStr(CString& out, int mode) const;
    // GetStr into `out`; any other mode empties it.
    void GetTxt(CTxt& out, int mode) const;
    // Today's local date in layout 12.
    static void GetCurrDate(CString& out);
    // Now, local time, in layout 9.
    static void GetCurrDateTime(CString& out);
    static void GetCurrDateCTxt(CTxt& out);
    static void GetCurrDateTimeCTxt(CTxt& out);
    // Self-test of GetJulian and GetWeekDay over 2002..2004 that writes the working-day calendar
    // "Lunar.csv" into the current directory and logs "Julian: Error=%d" (category "TEST").
    // Afterwards the value holds 2005-01-01 with the time it had.
    void TestJulian();

    // --- reading the time from time web pages and setting the clock live in their own file -----

    // The page addresses are settings of section "INTERNET" (TimePageNavy, TimePageTimeGov,
    // DatePageURL), written with defaults naming no real server at their first read. The
    // readings are Universal Time; msg receives the reading ("20060102 18:04:43") or the failure.
    // With twoReadings 1 a page is fetched again until its second changes, so the reading falls
    // just after the page's clock advanced. These calls block until the fetches end; the page
    // readers use the one buffered line reader of the process.

    // Sets the value to the Universal Time line ("UNIVERSAL") of the Navy-layout time page.
    // 0; -1 no transfer could be set up; -2 the page did not answer; -3 it broke off; -4 in the
    // two-reading mode the page's time did not advance within 3 seconds; -5 no such line; -6 the
    // line's date or time is refused (msg "Invalid date/time in <line> (<date>, <time>)").
    int SetNowNavy(CString& msg, int twoReadings);
    // The same for the time-zone page layout ("<B>18:04:43<BR>" and the next line
    // "Monday, January 02, 2006"); -6 does not occur, a refused date lets the search go on.
    int SetNowTimeGov(CString& msg, int twoReadings);
    // The same from the "Date:" header of any http:// server's answer (HEAD, or GET for servers
    // refusing HEAD). 0; -1, -2 as above; -3 no readable Date: header; -4 as above.
    int SetNowHttpDate(const char* url, CString& msg, int twoReadings);
    // Sets the value to the first date on the date page (year/month/day, day-Mon-year or
    // yyyymmdd) at 00:00:00. 0; -1 the page could not be fetched (the value is now, local time);
    // -2 no line holds a date.
    int SetNowURL();
    // Converts the value from Universal Time to local time by the zone's offset in force now.
    // Returns 0.
    int AdjToLocal();
    // Sets the machine's clock to this value (Universal Time) in local time, close to the start
    // of a second (waiting up to 900 ms). msg: "Adjusted %6.3f Sec to ... DiffNow=%d", or
    // "SetLocalTime failed (Error %d=%s)" (EPERM without the right to set the clock; EINVAL for a
    // value that is no valid date and time). `adjusted` (may be null) receives the clock's
    // movement in seconds. 0 or -1.
    int SyncGMT(CString& msg, float* adjusted);
    // Moves the machine's clock by `offsetMs` milliseconds (positive: forward), to the
    // millisecond, through the clock seam: for an offset measured against several servers
    // (HttpMeasureClock, HttpCombineClocks in qdx/HttpClock.h). msg: "Adjusted %+.3f Sec to
    // 1/2/2006 18:04:43.250 (From 1/2/2006 18:04:41.950)" in local time, or "SetLocalTime failed
    // (Error %d=%s)" (EPERM without the right to set the clock; EINVAL for a time before 1970).
    // `adjusted` (may be null) receives the clock's movement in seconds. 0 or -1.
    static int SyncByOffset(int64_t offsetMs, CString& msg, float* adjusted);
};

// A begin and an end with a number the caller gives meaning to.
class QDX_EXPORT CQDXDateTimeInterval {
public:
    CQDXDateTime begin;
    CQDXDateTime end;
    int32_t extra = 0;

    CQDXDateTimeInterval() = default;
    CQDXDateTimeInterval(const CQDXDateTimeInterval& other) = default;
    CQDXDateTimeInterval& operator=(const CQDXDateTimeInterval& other) = default;
};

static_assert(sizeof(CQDXDateTime) == 6, "a date-time is six bytes");
static_assert(sizeof(CQDXDateTimePlain) == 6, "a date-time record is six bytes");
