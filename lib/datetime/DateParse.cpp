// Setting a date-time from text and from packed date and time numbers.

#include "DateTimeImpl.h"

#include <qdx/Fields.h>
#include <qdx/Log.h>

#include <cinttypes>

using namespace qdx::dt_internal;

namespace {

constexpr int kFieldSize = 100;  // a field keeps at most 99 characters
constexpr int kTextLimit = 1000; // SetDT and SetTime look at the first 1000 characters

// Hours below 24 and hhmm below 2400 are scaled up to hhmmss; larger numbers stay as they are.
// `n` lies within +-kNumberLimit, so the scaling cannot overflow.
int64_t ScaleTimeNumber(int64_t n)
{
    if (n < 24)
        n *= 100;
    if (n < 2400)
        n *= 100;
    return n;
}

bool IsWord(const char* text, const char* word)
{
    return strcmpmode(text, word, 1) == 0;
}

} // namespace

namespace qdx::dt_internal {

int64_t ParseTime(const char* text)
{
    if (strfldcnt(text, ':') < 2)
        return ScaleTimeNumber(ReadNumber(text));
    char field[kFieldSize];
    strfld(text, ':', 1, 0, field, kFieldSize);
    const int64_t hour = ReadNumber(field);
    if (hour < 0 || hour > 23)
        return -1;
    strfld(text, ':', 2, 0, field, kFieldSize);
    const int64_t minute = ReadNumber(field);
    if (minute < 0 || minute > 59)
        return -2;
    strfld(text, ':', 3, 0, field, kFieldSize);
    const int64_t second = ReadNumber(field);
    if (second < 0 || second > 59)
        return -3;
    return hour * 10000 + minute * 100 + second;
}

int ParseDate(const char* text)
{
    const int64_t n = ReadNumber(text);
    if (n >= 19000000 && n <= 29991231)
        return static_cast<int>(n);  // taken as it stands, month and day unchecked
    if (strfldcnt(text, '/') < 2) {
        // yymmdd or yyyymmdd
        const long year = TwoDigitYear(n / 10000);
        if (year < 1900 || year > 2999)
            return -1;
        return static_cast<int>(year * 10000 + n % 10000);
    }
    // month/day[/year]
    char field[kFieldSize];
    int64_t year = strfld(text, '/', 3, 0, field, kFieldSize) > 0 ? ReadNumber(field) : LocalNow().tm_year + 1900;
    year = TwoDigitYear(year);
    if (year < 1900 || year > 2999)
        return -1;
    strfld(text, '/', 1, 0, field, kFieldSize);
    const int64_t month = ReadNumber(field);
    if (month < 1 || month > 12)
        return -2;
    strfld(text, '/', 2, 0, field, kFieldSize);
    const int64_t day = ReadNumber(field);
    if (day < 1 || day > CQDXDateTime::DayMonth(static_cast<int>(year), static_cast<int>(month)))
        return -3;
    return static_cast<int>(year * 10000 + month * 100 + day);
}

int SetDateTime(CQDXDateTime& value, int64_t date, int64_t time)
{
    if (time < 0 || time > 240000) {
        LogTrace("DateTime", 0, "Invalid Time: %" PRId64, time);
        return -2;
    }
    value.hour = static_cast<unsigned char>(time / 10000);
    value.minute = static_cast<unsigned char>((time % 10000) / 100);
    value.second = static_cast<unsigned char>(time % 100);
    if (date < 19000101 || date > 29991231) {
        LogTrace("DateTime", 0, "Invalid Date: %" PRId64, date);
        return -1;
    }
    value.year = static_cast<unsigned char>(date / 10000 - 1900);
    value.month = static_cast<unsigned char>((date % 10000) / 100);
    value.day = static_cast<unsigned char>(date % 100);
    return 0;
}

} // namespace qdx::dt_internal

int CQDXDateTime::SetDT(uint32_t date, uint32_t time)
{
    // As signed numbers, so that the log shows a negative number passed in as it was meant.
    return SetDateTime(*this, static_cast<int32_t>(date), static_cast<int32_t>(time));
}

int CQDXDateTime::SetDT(const char* text)
{
    if (!text)
        return -1;
    char line[kTextLimit + 1];
    if (TrimCopy(text, line, kTextLimit) == 0) {
        Reset();
        return 0;
    }
    if (IsWord(line, "TodayEST") || IsWord(line, "LIVE")) {
        SetNowEST();
        hour = minute = second = 0;
        return 0;
    }
    if (IsWord(line, "NowEST")) {
        SetNowEST();
        return 0;
    }
    if (IsWord(line, "Today")) {
        SetNow();
        hour = minute = second = 0;
        return 0;
    }
    if (IsWord(line, "Now")) {
        SetNow();
        return 0;
    }

    char first[kFieldSize];
    strfld(line, ' ', 1, 0, first, kFieldSize);
    if (ReadNumber(first) == 0)
        return 0;  // not a date: nothing to do
    if (strfldcnt(first, ':') >= 2) {
        // A time alone: it is stored, and the missing date is reported by SetDT(0, time).
        const int64_t time = ParseTime(first);
        if (time < 0)
            return -2;
        return SetDateTime(*this, 0, time);
    }
    const int date = ParseDate(first);
    if (date < 0)
        return -1;
    char second[kFieldSize];
    strfld(line, ' ', 2, 0, second, kFieldSize);
    const int64_t time = ParseTime(second);
    if (time < 0)
        return -2;
    return SetDateTime(*this, date, time);
}

int CQDXDateTime::SetDTCheck(const char* text)
{
    if (SetDT(text) < 0)
        return -1;
    return IsValid() ? 0 : -1;
}

int CQDXDateTime::SetTime(const char* text)
{
    char line[kTextLimit + 1];
    const int length = text ? TrimCopy(text, line, kTextLimit) : 0;
    if (length == 0) {
        hour = minute = second = 0;
        return 0;
    }
    int64_t time = ParseTime(line);
    if (IsWord(line, "TodayEST") || IsWord(line, "LIVE") || IsWord(line, "NowEST")) {
        CQDXDateTime eastern;
        eastern.SetNowEST();
        time = eastern.GetTime();
    } else if (IsWord(line, "Today") || IsWord(line, "Now")) {
        CQDXDateTime local;
        local.SetNow();
        time = local.GetTime();
    }
    if (time < 0 || time > 240000) {
        LogTrace("DateTime", 0, "Invalid Time: %" PRId64, time);
        return -2;
    }
    hour = static_cast<unsigned char>(time / 10000);
    minute = static_cast<unsigned char>((time % 10000) / 100);
    second = static_cast<unsigned char>(time % 100);
    if (length >= 2 && IsWord(line + length - 2, "PM"))
        hour = static_cast<unsigned char>(hour + 12);
    if (hour >= 24)
        hour = static_cast<unsigned char>(hour - 12);  // 12:30PM, and 24:00:00, read as 12:30 and 12:00
    return 0;
}
