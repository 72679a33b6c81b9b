// Setting a date-time from text and from packed date and time numbers.

#include "DateTimeImpl.h"

#include <qdx/Fields.h>
#include <qdx/Log.h>

using namespace qdx_dt;

namespace {

constexpr int kFieldSize = 100;  // a field keeps at most 99 characters
constexpr int kTextLimit = 1000; // SetDT and SetTime look at the first 1000 characters

// Hours below 24 and hhmm below 2400 are scaled up to hhmmss; larger numbers stay as they are.
// The arithmetic wraps instead of overflowing for absurd inputs.
int ScaleTimeNumber(long n)
{
    int64_t v = n;
    if (v < 24)
        v = static_cast<int64_t>(static_cast<uint64_t>(v) * 100u);
    if (v < 2400)
        v = static_cast<int64_t>(static_cast<uint64_t>(v) * 100u);
    return static_cast<int>(v);
}

bool IsWord(const char* text, const char* word)
{
    return strcmpmode(text, word, 1) == 0;
}

} // namespace

namespace qdx_dt {

int ParseTime(const char* text)
{
    if (strfldcnt(text, ':') < 2)
        return ScaleTimeNumber(AtoL(text));
    char field[kFieldSize];
    strfld(text, ':', 1, 0, field, kFieldSize);
    const int hour = AtoI(field);
    if (hour < 0 || hour > 23)
        return -1;
    strfld(text, ':', 2, 0, field, kFieldSize);
    const int minute = AtoI(field);
    if (minute < 0 || minute > 59)
        return -2;
    strfld(text, ':', 3, 0, field, kFieldSize);
    const int second = AtoI(field);
    if (second < 0 || second > 59)
        return -3;
    return hour * 10000 + minute * 100 + second;
}

int ParseDate(const char* text)
{
    const long n = AtoL(text);
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
    long year = strfld(text, '/', 3, 0, field, kFieldSize) > 0 ? AtoL(field) : LocalNow().tm_year + 1900;
    year = TwoDigitYear(year);
    if (year < 1900 || year > 2999)
        return -1;
    strfld(text, '/', 1, 0, field, kFieldSize);
    const long month = AtoL(field);
    if (month < 1 || month > 12)
        return -2;
    strfld(text, '/', 2, 0, field, kFieldSize);
    const long day = AtoL(field);
    if (day < 1 || day > CQDXDateTime::DayMonth(static_cast<int>(year), static_cast<int>(month)))
        return -3;
    return static_cast<int>(year * 10000 + month * 100 + day);
}

} // namespace qdx_dt

int CQDXDateTime::SetDT(uint32_t date, uint32_t time)
{
    if (!IsTime(time)) {
        LogTrace("DateTime", 0, "Invalid Time: %d", static_cast<int>(time));
        return -2;
    }
    hour = static_cast<unsigned char>(time / 10000);
    minute = static_cast<unsigned char>((time % 10000) / 100);
    second = static_cast<unsigned char>(time % 100);
    if (!IsDate(date)) {
        LogTrace("DateTime", 0, "Invalid Date: %d", static_cast<int>(date));
        return -1;
    }
    year = static_cast<unsigned char>(date / 10000 - 1900);
    month = static_cast<unsigned char>((date % 10000) / 100);
    day = static_cast<unsigned char>(date % 100);
    return 0;
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
    if (AtoI(first) == 0)
        return 0;  // not a date: nothing to do
    if (strfldcnt(first, ':') >= 2) {
        // A time alone: it is stored, and the missing date is reported by SetDT(0, time).
        const int time = ParseTime(first);
        if (time < 0)
            return -2;
        return SetDT(0u, static_cast<uint32_t>(time));
    }
    const int date = ParseDate(first);
    if (date < 0)
        return -1;
    char second[kFieldSize];
    strfld(line, ' ', 2, 0, second, kFieldSize);
    const int time = ParseTime(second);
    if (time < 0)
        return -2;
    return SetDT(static_cast<uint32_t>(date), static_cast<uint32_t>(time));
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
    int time = ParseTime(line);
    if (IsWord(line, "TodayEST") || IsWord(line, "LIVE") || IsWord(line, "NowEST")) {
        CQDXDateTime eastern;
        eastern.SetNowEST();
        time = static_cast<int>(eastern.GetTime());
    } else if (IsWord(line, "Today") || IsWord(line, "Now")) {
        CQDXDateTime local;
        local.SetNow();
        time = static_cast<int>(local.GetTime());
    }
    if (!IsTime(static_cast<uint32_t>(time))) {
        LogTrace("DateTime", 0, "Invalid Time: %d", time);
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
