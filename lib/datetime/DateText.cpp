// Reading dates and times out of free text, and writing a date-time as text.

#include "DateTimeImpl.h"

#include <qdx/Fields.h>
#include <qdx/Log.h>
#include <qdx/Txt.h>

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <climits>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace qdx::dt_internal;

namespace {

constexpr int kFieldSize = 100;  // a field keeps at most 99 characters

constexpr const char* kShortMonth[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kLongMonth[12] = {"January", "February", "March",     "April",   "May",      "June",
                                        "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kShortDay[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
// "Wednsday" is the name this library has always written (files made with it carry it).
constexpr const char* kLongDay[7] = {"Sunday", "Monday", "Tuesday", "Wednsday", "Thursday", "Friday", "Saturday"};

// The month a month word names, or `month` when none matches. A word matches a name when one
// of the two starts the other, ignoring case; every match overrides the one before, so the
// last match in calendar order wins ("Ju" is July, and the empty word is December).
int64_t MatchMonth(const char* word, int64_t month)
{
    for (int i = 0; i < 12; ++i)
        if (strcmpmode(word, kShortMonth[i], 0) == 0)
            month = i + 1;
    return month;
}

} // namespace

// --- readers --------------------------------------------------------------------------------------

uint32_t CQDXDateTime::GetDateAlpha(const char* text, int yearField, int monthField, int dayField, char sep)
{
    if (!text)
        return 1;
    const int64_t number = ReadNumber(text);
    if (number >= 19000101 && number <= 29991231)
        return static_cast<uint32_t>(number);

    char rebuilt[64];
    const char* fields = text;
    char word[kFieldSize];
    if (monthField == 2 && strfldcnt(text, '-') >= 3) {
        // Dash form, 02-Jan-2006: rewritten as year/month/day.
        const int64_t day = ReadNumber(text);
        strfld(text, '-', 2, 0, word, kFieldSize);
        TrimInPlace(word);
        const int64_t month = MatchMonth(word, ReadNumber(word));
        const int64_t year = strfld(text, '-', 3, 0, word, kFieldSize) > 0 ? ReadNumber(word) : 0;
        std::snprintf(rebuilt, sizeof rebuilt, "%" PRId64 "/%" PRId64 "/%" PRId64, year, month, day);
        fields = rebuilt;
    } else if (yearField == -1) {
        // Month first, Jan 2: rewritten as /month/day, so the year is this year's.
        if (strfld(text, ' ', 1, 0, word, kFieldSize) <= 0)
            return 1;
        TrimInPlace(word);
        const int64_t month = MatchMonth(word, 0);
        if (month == 0)
            return 2;
        strfld(text, ' ', 2, 0, word, kFieldSize);
        std::snprintf(rebuilt, sizeof rebuilt, "/%" PRId64 "/%" PRId64, month, ReadNumber(word));
        fields = rebuilt;
        yearField = 1;
    }

    int64_t year = strfld(fields, sep, yearField, 0, word, kFieldSize) > 0 ? ReadNumber(word) : LocalNow().tm_year + 1900;
    year = TwoDigitYear(year);
    if (year < 1900 || year > 2999)
        return 1;

    if (strfld(fields, sep, monthField, 0, word, kFieldSize) < 0)
        word[0] = '\0';
    TrimInPlace(word);
    int64_t month = std::isdigit(static_cast<unsigned char>(word[0])) ? ReadNumber(word) : 0;
    month = MatchMonth(word, month);
    if (month < 1 || month > 12)
        return 2;

    const int64_t day = strfld(fields, sep, dayField, 0, word, kFieldSize) > 0 ? ReadNumber(word) : 0;
    if (day < 1 || day > DayMonth(static_cast<int>(year), static_cast<int>(month)))
        return 3;
    return static_cast<uint32_t>(year * 10000 + month * 100 + day);
}

int CQDXDateTime::GetTimeAlpha(const char* text)
{
    if (!text)
        return 0;
    int64_t time;
    const double hours = strfldcnt(text, ':') < 2 ? std::strtod(text, nullptr) : 0.0;
    const double whole = std::trunc(hours);
    if (std::isfinite(hours) && hours != whole) {
        // Decimal hours; the fraction of an hour is cut to the second, not rounded. The whole
        // hours are clamped like any number read from a text.
        const int64_t h = static_cast<int64_t>(std::clamp(whole, -double(kNumberLimit), double(kNumberLimit)));
        const int64_t s = static_cast<int64_t>(std::trunc((hours - whole) * 3600.0));
        time = h * 10000 + (s / 60) * 100 + s % 60;
    } else {
        time = ParseTime(text);
    }
    // Without a colon nothing checks the range, so the time number may be more than an int
    // holds; its hour is then negative or beyond 214748, and it reads as a bad hour.
    if (time < INT_MIN || time > INT_MAX)
        return -1;
    return static_cast<int>(time);
}

// --- names ----------------------------------------------------------------------------------------

void CQDXDateTime::GetMonthTxt(int month, CTxt& out, int abbreviated)
{
    if (month >= 1 && month <= 12)
        out = abbreviated ? kShortMonth[month - 1] : kLongMonth[month - 1];
    else
        out.Format("?%d", month);
}

void CQDXDateTime::GetWeekDayTxt(int day, CTxt& out, int abbreviated, int mode)
{
    day %= 7;
    if (mode == 1 && ++day == 7)  // Monday-based: Sunday (6) becomes 0
        day = 0;
    if (day >= 0 && day <= 6)
        out = abbreviated ? kShortDay[day] : kLongDay[day];
    else
        out.Format("?%d", day);
}

int CQDXDateTime::GetWeekDayVal(const char* text, int mode)
{
    int found = -1;
    for (int i = 0; i < 7 && found < 0; ++i)
        if (strcmpmode(kShortDay[i], text, 2) == 0)
            found = i;
    if (found < 0 || mode != 1)
        return found;
    return found == 0 ? 6 : found - 1;
}

// --- writers --------------------------------------------------------------------------------------

void CQDXDateTime::GetStr(CString& out, int mode) const
{
    const int Y = year + 1900;
    const int y2 = year % 100;
    const int M = month, D = day, h = hour, m = minute, s = second;
    // Hours 0 to 12 are written with AM (noon is 12:00AM), 13 and later with PM.
    const bool pm = h > 12;
    const int h12 = pm ? h - 12 : h;
    switch (mode) {
    case 0: out.Format("%04d%02d%02d %02d:%02d:%02d", Y, M, D, h, m, s); break;
    case 1: out.Format("%04d%02d%02d", Y, M, D); break;
    case 2: out.Format("%02d:%02d:%02d", h, m, s); break;
    case 3: out.Format("%d/%d/%02d %02d:%02d:%02d", M, D, y2, h, m, s); break;
    case 4: out.Format("%d/%d/%02d", M, D, y2); break;
    case 5: out.Format("%02d:%02d", h, m); break;
    case 6: out.Format("%d/%d/%04d", M, D, Y); break;
    case 7: out.Format(pm ? "%02d:%02d:%02dPM" : "%02d:%02d:%02dAM", h12, m, s); break;
    case 8: out.Format(pm ? "%02d:%02dPM" : "%02d:%02dAM", h12, m); break;
    case 9: out.Format("%d/%d/%04d %02d:%02d:%02d", M, D, Y, h, m, s); break;
    case 10: out.Format("%04d%02d%02d_%02d%02d%02d", Y, M, D, h, m, s); break;
    case 11: out.Format("%02d%02d%02d", h, m, s); break;
    case 12: out.Format("%02d/%02d/%04d", M, D, Y); break;
    case 13: out.Format("%02d/%02d/%04d %02d:%02d", M, D, Y, h, m); break;
    case 14: out.Format("%02d/%02d", M, D); break;
    case 15: out.Format(pm ? "%02d/%02d/%04d %02d:%02dPM" : "%02d/%02d/%04d %02d:%02dAM", M, D, Y, h12, m); break;
    case 16:
        out.Format(pm ? "%02d/%02d/%04d %02d:%02d:%02dPM" : "%02d/%02d/%04d %02d:%02d:%02dAM", M, D, Y, h12, m, s);
        break;
    case 17: out.Format("%02d/%02d/%04d %02d:%02d:%02d", M, D, Y, h, m, s); break;
    default: break;  // any other layout leaves the text as it was
    }
}

void CQDXDateTime::GetTxt(CTxt& out, int mode) const
{
    CString text;
    GetStr(text, mode);
    out = text.GetString();
}

void CQDXDateTime::GetCurrDate(CString& out)
{
    CQDXDateTime now;
    now.SetNow();
    now.GetStr(out, 12);
}

void CQDXDateTime::GetCurrDateTime(CString& out)
{
    CQDXDateTime now;
    now.SetNow();
    now.GetStr(out, 9);
}

void CQDXDateTime::GetCurrDateCTxt(CTxt& out)
{
    CQDXDateTime now;
    now.SetNow();
    now.GetTxt(out, 12);
}

void CQDXDateTime::GetCurrDateTimeCTxt(CTxt& out)
{
    CQDXDateTime now;
    now.SetNow();
    now.GetTxt(out, 9);
}

// --- self-test ------------------------------------------------------------------------------------

void CQDXDateTime::TestJulian()
{
    static const char kFile[] = "Lunar.csv";
    year = 102;  // 2002-01-01; the time stays
    month = 1;
    day = 1;
    int errors = 0;
    std::FILE* file = std::fopen(kFile, "wb");
    if (!file) {
        // The check still runs; the missing calendar counts as an error of the test.
        LogTrace("TEST", 0, "Julian: Cannot create %s (%s)", kFile, std::strerror(errno));
        ++errors;
    }
    const int base = GetJulian();
    CTxt name;
    for (int i = 0; i < 20000; ++i) {
        const int jd = GetJulian();
        const int w = GetWeekDay(0);
        GetWeekDayTxt(w, name, 0, 0);
        if (file) {
            if (w >= 1 && w <= 5)
                std::fprintf(file, "%d/%d/%d,%s,Series%d,?\r\n", month, day, GetYear(), static_cast<const char*>(name),
                             (jd + 2) % 4 + 1);
            else
                std::fprintf(file, "%d/%d/%d,%s\r\n", month, day, GetYear(), static_cast<const char*>(name));
        }
        if (jd - base != i) {
            LogTrace("TEST", 0, "Julian: Diff=%d/%d", jd - base, i);
            ++errors;
        }
        if ((jd + 1) % 7 != w) {
            LogTrace("TEST", 0, "Julian: WeekDay=%d/%d", (jd + 1) % 7, w);
            ++errors;
        }
        ShiftDate(1);
        if (GetYear() > 2004)
            break;
    }
    if (file) {
        const bool failed = std::ferror(file) != 0;
        if (std::fclose(file) != 0 || failed) {
            LogTrace("TEST", 0, "Julian: Cannot write %s (%s)", kFile, std::strerror(errno));
            ++errors;
        }
    }
    LogTrace("TEST", 0, "Julian: Error=%d", errors);
}
