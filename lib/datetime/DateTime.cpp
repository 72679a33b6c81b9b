// The date-time value: storage, validity, comparison, and setting it from numbers, the clock,
// system time records, files and Unix seconds.

#include "DateTimeImpl.h"

#include <date/tz.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace qdx::dt_internal {

int64_t ReadNumber(const char* text)
{
    if (!text)
        return 0;
    const long long n = std::strtoll(text, nullptr, 10);  // saturates instead of overflowing
    return std::clamp<int64_t>(n, -kNumberLimit, kNumberLimit);
}

int AtoI(const char* text)
{
    return static_cast<int>(std::clamp<int64_t>(ReadNumber(text), INT_MIN, INT_MAX));
}

std::tm LocalNow()
{
    const std::time_t now = ClockNow().tv_sec;
    std::tm t{};
    if (!localtime_r(&now, &t))
        gmtime_r(&now, &t);
    return t;
}

void SetFromTm(CQDXDateTime& value, const std::tm& t)
{
    value.year = static_cast<unsigned char>(t.tm_year);
    value.month = static_cast<unsigned char>(t.tm_mon + 1);
    value.day = static_cast<unsigned char>(t.tm_mday);
    value.hour = static_cast<unsigned char>(t.tm_hour);
    value.minute = static_cast<unsigned char>(t.tm_min);
    value.second = static_cast<unsigned char>(t.tm_sec);
}

void StoreTimeSec(CQDXDateTime& value, int64_t seconds)
{
    value.hour = static_cast<unsigned char>(seconds / 3600);
    value.minute = static_cast<unsigned char>((seconds % 3600) / 60);
    value.second = static_cast<unsigned char>(seconds % 60);
}

static bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

int TrimCopy(const char* text, char* out, int limit)
{
    int length = 0;
    if (text)
        while (length < limit && text[length])
            ++length;
    int begin = 0;
    while (begin < length && IsBlank(text[begin]))
        ++begin;
    while (length > begin && IsBlank(text[length - 1]))
        --length;
    const int kept = length - begin;
    if (kept > 0)
        std::memcpy(out, text + begin, static_cast<size_t>(kept));
    out[kept] = '\0';
    return kept;
}

int TrimInPlace(char* text)
{
    const int length = static_cast<int>(std::strlen(text));
    int begin = 0;
    while (begin < length && IsBlank(text[begin]))
        ++begin;
    int end = length;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    std::memmove(text, text + begin, static_cast<size_t>(end - begin));
    text[end - begin] = '\0';
    return end - begin;
}

// Five hours behind Universal Time: Eastern standard time, used when the zone database fails.
constexpr int kEasternStandard = -5 * 3600;

static int OffsetIn(const date::time_zone* zone, std::time_t utc)
{
    if (!zone)
        return kEasternStandard;
    try {
        const auto info = zone->get_info(date::sys_seconds{std::chrono::seconds{utc}});
        return static_cast<int>(info.offset.count());
    } catch (...) {
        return kEasternStandard;
    }
}

static const date::time_zone* FindZone(const char* name)
{
    try {
        return name ? date::locate_zone(name) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

int EasternOffset(std::time_t utc, const char* zoneName)
{
    return OffsetIn(FindZone(zoneName), utc);
}

// The zone database is read once; the lookup result (or its failure) is kept for the process.
static int NewYorkOffset(std::time_t utc)
{
    static const date::time_zone* const zone = FindZone("America/New_York");
    return OffsetIn(zone, utc);
}

} // namespace qdx::dt_internal

using namespace qdx::dt_internal;

// --- value, validity, comparison -----------------------------------------------------------------

namespace {

// Field-by-field comparison shared by CQDXDateTime and CQDXDateTimePlain: the first `count`
// fields (all six for a mode outside 1..5) decide.
int CompareFields(const unsigned char* a, const unsigned char* b, int mode)
{
    const int count = (mode >= 1 && mode <= 5) ? mode : 6;
    for (int i = 0; i < count; ++i) {
        if (a[i] < b[i])
            return -1;
        if (a[i] > b[i])
            return 1;
    }
    return 0;
}

template <typename T>
void Fields(const T& v, unsigned char (&out)[6])
{
    out[0] = v.year;
    out[1] = v.month;
    out[2] = v.day;
    out[3] = v.hour;
    out[4] = v.minute;
    out[5] = v.second;
}

} // namespace

int CQDXDateTimePlain::Compare(const CQDXDateTimePlain* other, int mode) const
{
    if (!other)
        return 99;
    unsigned char a[6], b[6];
    Fields(*this, a);
    Fields(*other, b);
    return CompareFields(a, b, mode);
}

void CQDXDateTime::Reset()
{
    year = month = day = hour = minute = second = 0;
}

void CQDXDateTime::Copy(const CQDXDateTime* other)
{
    if (other)
        *this = *other;
}

int CQDXDateTime::IsValid() const
{
    if (month < 1 || month > 12)
        return 0;
    if (day < 1 || day > DayMonth(year + 1900, month))
        return 0;
    return (hour <= 23 && minute <= 59 && second <= 59) ? 1 : 0;
}

int CQDXDateTime::IsEmpty() const
{
    return (year | month | day | hour | minute | second) == 0 ? 1 : 0;
}

int CQDXDateTime::IsFilled() const
{
    return IsEmpty() ? 0 : 1;
}

int CQDXDateTime::DayYear(int year)
{
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return leap ? 366 : 365;
}

int CQDXDateTime::DayMonth(int year, int month)
{
    static constexpr int kLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    if (month == 2 && DayYear(year) == 366)
        return 29;
    return kLength[month - 1];
}

int CQDXDateTime::IsDate(uint32_t n)
{
    return (n >= 19000101u && n <= 29991231u) ? 1 : 0;
}

int CQDXDateTime::IsTime(uint32_t n)
{
    return n <= 240000u ? 1 : 0;
}

int CQDXDateTime::FixDate()
{
    if (IsEmpty()) {
        year = 0;
        month = 1;
        day = 1;
    }
    if (month == 0)
        month = 1;
    else if (month > 12)
        month = 12;
    const int length = DayMonth(year + 1900, month);
    if (day == 0)
        day = 1;
    else if (day > length)
        day = static_cast<unsigned char>(length);
    if (hour > 24) {
        hour = 23;
        minute = 59;
        second = 59;
    }
    if (minute > 59)
        minute = 59;
    if (second > 59)
        second = 59;
    return 0;
}

int CQDXDateTime::Compare(const CQDXDateTime* other, int mode) const
{
    CQDXDateTime now;
    if (!other) {
        now.SetNow();
        other = &now;
    }
    unsigned char a[6], b[6];
    Fields(*this, a);
    Fields(*other, b);
    return CompareFields(a, b, mode);
}

int CQDXDateTime::SameDate(const CQDXDateTime* other) const
{
    if (!other || day != other->day)
        return 3;
    if (month != other->month)
        return 2;
    if (year != other->year)
        return 1;
    return 0;
}

// --- setting from numbers, records, files and the clock --------------------------------------------

int CQDXDateTime::SetDT(const SYSTEMTIME* st)
{
    if (!st)
        return -1;
    year = static_cast<unsigned char>(st->wYear - 1900);
    month = static_cast<unsigned char>(st->wMonth);
    day = static_cast<unsigned char>(st->wDay);
    hour = static_cast<unsigned char>(st->wHour);
    minute = static_cast<unsigned char>(st->wMinute);
    second = static_cast<unsigned char>(st->wSecond);
    return IsValid() ? 0 : -1;
}

// Local time of a Unix time of any width (file times reach past 2038).
static void SetFromUnix(CQDXDateTime& value, std::time_t t)
{
    std::tm parts{};
    if (localtime_r(&t, &parts))
        SetFromTm(value, parts);
    else
        value.Reset();
}

int CQDXDateTime::SetDTFile(const char* path)
{
    Reset();
    struct stat info{};
    if (!path || stat(path, &info) != 0)
        return -1;
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    const bool isNul = (name[0] | 0x20) == 'n' && (name[1] | 0x20) == 'u' && (name[2] | 0x20) == 'l' &&
                       name[3] == '\0';
    SetFromUnix(*this, isNul ? 0 : info.st_mtime);
    return 0;
}

int CQDXDateTime::SetDTUnix(int32_t t)
{
    SetFromUnix(*this, static_cast<std::time_t>(t));
    return 0;
}

int CQDXDateTime::SetTime(unsigned char h, unsigned char m, unsigned char s)
{
    hour = h;
    minute = m;
    second = s;
    return 0;
}

int CQDXDateTime::SetTimeSec(int seconds)
{
    StoreTimeSec(*this, seconds);
    return 0;
}

int CQDXDateTime::SetTimeHMS(int time)
{
    const uint32_t n = static_cast<uint32_t>(time);
    hour = static_cast<unsigned char>(n / 10000);
    minute = static_cast<unsigned char>((n % 10000) / 100);
    second = static_cast<unsigned char>(n % 100);
    if (hour > 24)
        return -1;
    if (minute > 59)
        return -2;
    if (second > 59)
        return -3;
    if (hour == 24 && (minute != 0 || second != 0))
        return -4;
    return 0;
}

void CQDXDateTime::SetNow()
{
    SetFromTm(*this, LocalNow());
}

void CQDXDateTime::SetNowGMT()
{
    const std::time_t now = ClockNow().tv_sec;
    std::tm parts{};
    gmtime_r(&now, &parts);
    SetFromTm(*this, parts);
}

void CQDXDateTime::SetNowEST()
{
    const std::time_t now = ClockNow().tv_sec;
    const std::time_t eastern = now + NewYorkOffset(now);
    std::tm parts{};
    gmtime_r(&eastern, &parts);
    SetFromTm(*this, parts);
}

void CQDXDateTime::RoundToNearestSec(int step, int up)
{
    const int64_t length = step < 1 ? 1 : step;
    int64_t q = GetTimeSec() / length;
    if (up == 1)
        ++q;
    StoreTimeSec(*this, q * length);
}
