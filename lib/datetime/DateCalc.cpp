// Calendar arithmetic of CQDXDateTime: Julian day numbers, week days, differences, and shifting
// by days, months and seconds.
//
// Shifting is defined by single steps (a day, a month) on the one-byte fields, which wrap: a
// day after 2155-12-31 is 1900-01-01 and a day before 1900-01-01 is 2155-12-31. Far shifts are
// computed directly from a day index into that 256-year cycle, with the same result as stepping.

#include "DateTimeImpl.h"

#include <cmath>
#include <ctime>
#include <limits>

using namespace qdx::dt_internal;

namespace {

// Days from 1970-01-01 to y-m-d of the proleptic Gregorian calendar (Howard Hinnant,
// "chrono-Compatible Low-Level Date Algorithms", days_from_civil). m in 1..12, d in 1..31.
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;                                   // [0, 399]
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;  // [0, 365]
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;           // [0, 146096]
    return era * 146097 + doe - 719468;
}

// The inverse, civil_from_days of the same paper.
constexpr void CivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;                                         // [0, 146096]
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;    // [0, 399]
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                  // [0, 365]
    const int64_t mp = (5 * doy + 2) / 153;                                       // [0, 11]
    d = doy - (153 * mp + 2) / 5 + 1;                                             // [1, 31]
    m = mp < 10 ? mp + 3 : mp - 9;                                                // [1, 12]
    y = yoe + era * 400 + (m <= 2);
}

constexpr int64_t kFirstDay = DaysFromCivil(1900, 1, 1);
// Days in the 256 years a value can hold; stepping wraps around after them.
constexpr int64_t kCycleDays = DaysFromCivil(2156, 1, 1) - kFirstDay;
constexpr int64_t kCycleMonths = 256 * 12;

constexpr int64_t FloorMod(int64_t a, int64_t b)
{
    const int64_t r = a % b;
    return r < 0 ? r + b : r;
}

bool DateValid(const CQDXDateTime& v)
{
    return v.month >= 1 && v.month <= 12 && v.day >= 1 &&
           v.day <= CQDXDateTime::DayMonth(v.year + 1900, v.month);
}

void StoreDate(CQDXDateTime& v, int64_t year, int64_t month, int64_t day)
{
    v.year = static_cast<unsigned char>(year);
    v.month = static_cast<unsigned char>(month);
    v.day = static_cast<unsigned char>(day);
}

// One day forward: past the month's end to day 1 of the next month, past December into the
// next year.
void StepForward(CQDXDateTime& v)
{
    int day = v.day + 1;
    int month = v.month;
    int year = v.year;
    if (day > CQDXDateTime::DayMonth(year + 1900, month)) {
        day = 1;
        if (++month > 12) {
            month = 1;
            ++year;
        }
    }
    StoreDate(v, year, month, day);
}

// One month back (January, or a month 0, goes to December of the year before).
void MonthBack(CQDXDateTime& v)
{
    if (v.month <= 1) {
        v.month = 12;
        --v.year;
    } else {
        --v.month;
    }
}

// One day back: before day 1 to the last day of the month before.
void StepBack(CQDXDateTime& v)
{
    if (v.day <= 1) {
        MonthBack(v);
        v.day = static_cast<unsigned char>(CQDXDateTime::DayMonth(v.year + 1900, v.month));
    } else {
        --v.day;
    }
}

// Moves the date by `days`, as that many single steps would.
void ShiftDays(CQDXDateTime& v, int64_t days)
{
    // A date that is not valid is stepped until it is (a few steps forward, at most about 255
    // back for a day number far beyond the month's end); from a valid date on, stepping and
    // counting days in the cycle agree.
    while (days != 0 && !DateValid(v)) {
        if (days > 0) {
            StepForward(v);
            --days;
        } else {
            StepBack(v);
            ++days;
        }
    }
    if (days == 0)
        return;
    if (days == 1) {
        StepForward(v);
        return;
    }
    if (days == -1) {
        StepBack(v);
        return;
    }
    const int64_t index = DaysFromCivil(v.year + 1900, v.month, v.day) - kFirstDay;
    int64_t y, m, d;
    CivilFromDays(kFirstDay + FloorMod(index + days, kCycleDays), y, m, d);
    StoreDate(v, y - 1900, m, d);
}

// Lengths of the months before month m (1..13) in a common year.
constexpr int kDaysBefore[14] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

std::time_t ToLocalTime(const CQDXDateTime& v)
{
    std::tm parts{};
    parts.tm_year = v.year;
    parts.tm_mon = v.month - 1;
    parts.tm_mday = v.day;
    parts.tm_hour = v.hour;
    parts.tm_min = v.minute;
    parts.tm_sec = v.second;
    parts.tm_isdst = -1;  // let the zone rules decide daylight saving
    return std::mktime(&parts);
}

} // namespace

int CQDXDateTime::Jan1(int year)
{
    const int64_t y = year;
    int64_t d = 4 + y + (y + 3) / 4;
    if (y > 1800)
        d = d - (y - 1701) / 100 + (y - 1601) / 400;
    if (y > 1752)
        d = d + 3;
    return static_cast<int>(d % 7);
}

int CQDXDateTime::GetYear() const
{
    return year + 1900;
}

int CQDXDateTime::GetJulian() const
{
    int y = GetYear();
    int m = month;
    if (m <= 2) {
        y -= 1;
        m += 12;
    }
    const int a = y / 100;
    const int b = 2 - a + a / 4;
    // trunc(365.25 * y) and trunc(30.6001 * (m + 1)) in exact integer form: y is positive here
    // (1899..2155), and 30.6001 * (m + 1) never lies within 1e-4 of an integer for m + 1 < 10000.
    return (1461 * y) / 4 + (306001 * (m + 1)) / 10000 + day + 1720995 + b;
}

int CQDXDateTime::GetWeekDay(int mode) const
{
    const int y = GetYear();
    const int m = month > 13 ? 13 : month;  // months past December add nothing more
    int before = m >= 1 ? kDaysBefore[m] : 0;
    if (m > 2 && DayYear(y) == 366)
        ++before;
    const int w = (Jan1(y) + before + day - 1) % 7;
    if (mode == 0)
        return w;
    return w == 0 ? 6 : w - 1;
}

int CQDXDateTime::GetJulianWeek(int mode) const
{
    return (GetJulian() - GetWeekDay(mode)) / 7;
}

uint32_t CQDXDateTime::GetWeekStart(int mode) const
{
    CQDXDateTime copy = *this;
    // A valid date needs at most six steps; a few hundred cover any field contents.
    for (int steps = 0; copy.GetWeekDay(mode) != 0 && steps < 400; ++steps)
        copy.ShiftDate(-1);
    return copy.GetDate(0);
}

uint32_t CQDXDateTime::GetDate(int mode) const
{
    if (!IsValid())
        return 0;
    const uint32_t y = mode == 1 ? year : year + 1900u;
    return y * 10000u + month * 100u + day;
}

uint32_t CQDXDateTime::GetTime() const
{
    return hour * 10000u + minute * 100u + second;
}

uint32_t CQDXDateTime::GetTimeSec() const
{
    return hour * 3600u + minute * 60u + second;
}

uint32_t CQDXDateTime::GetTimeShift(int seconds) const
{
    int64_t s = static_cast<int64_t>(GetTimeSec()) + seconds;
    if (s < 0)
        s += 86400 * ((86399 - s) / 86400);
    if (s > 86400)
        s = (s - 1) % 86400 + 1;  // a whole day reads 24:00:00, not 00:00:00
    return static_cast<uint32_t>((s / 3600) * 10000 + ((s % 3600) / 60) * 100 + s % 60);
}

uint32_t CQDXDateTime::GetIntervalIdx(int length, int offset) const
{
    const uint32_t slotLength = length < 1 ? 1u : static_cast<uint32_t>(length);
    const uint32_t yymmdd = ((year % 100u) * 100u + month) * 100u + day;
    const uint32_t slot = (GetTimeSec() + static_cast<uint32_t>(offset)) / slotLength;
    return yymmdd * 10000u + slot;
}

float CQDXDateTime::GetDateFloat() const
{
    const int whole = year * 1000 + month * 31 + day;
    return static_cast<float>(whole) + static_cast<float>(GetTimeSec()) * (1.0f / 86400.0f);
}

uint32_t CQDXDateTime::GetDateMDY(int y, int m, int d)
{
    const long fullYear = TwoDigitYear(y);
    if (fullYear < 1900 || fullYear > 2999)
        return 1;
    if (m < 1 || m > 12)
        return 2;
    if (d < 1 || d > 31)
        return 3;
    return static_cast<uint32_t>(fullYear * 10000 + m * 100 + d);
}

uint32_t CQDXDateTime::GetTimeHMS(int h, int m, int s)
{
    if (h < 0 || h > 23)
        return 4;
    if (m < 0 || m > 59)
        return 5;
    if (s < 0 || s > 59)
        return 6;
    return static_cast<uint32_t>(h * 10000 + m * 100 + s);
}

int64_t CQDXDateTime::GetDiffSecBig(const CQDXDateTime* other) const
{
    CQDXDateTime now;
    if (!other || other->IsEmpty()) {
        now.SetNow();
        other = &now;
    }
    if (Compare(other, 6) == 0)
        return 0;
    return (static_cast<int64_t>(other->GetJulian()) - GetJulian()) * 86400 +
           static_cast<int64_t>(other->GetTimeSec()) - GetTimeSec();
}

int CQDXDateTime::GetDiffSec(const CQDXDateTime* other) const
{
    return static_cast<int>(GetDiffSecBig(other));  // exact up to about 68 years
}

float CQDXDateTime::GetDiffDays(const CQDXDateTime* other) const
{
    return static_cast<float>(GetDiffSecBig(other)) * (1.0f / 86400.0f);
}

float CQDXDateTime::GetDiffMonth(const CQDXDateTime* other) const
{
    CQDXDateTime t;
    if (other)
        t = *other;
    else
        t.SetNow();
    int c = Compare(&t, 3);
    if (c == 0)
        return 0.0f;
    // Two representable dates lie fewer than 256 * 12 months apart; the bound only matters for
    // fields that no month step can reach (a month of 13 or more), which would loop for ever.
    constexpr int kMaxSteps = 256 * 12 + 2;
    int r;
    float length;
    if (c == 1) {
        r = 1;
        t.ShiftMonth(1);
        for (int steps = 0; (c = Compare(&t, 3)) == 1 && steps < kMaxSteps; ++steps) {
            ++r;
            t.ShiftMonth(1);
        }
        if (c == 0)
            return static_cast<float>(r);
        t.ShiftMonth(-1);
        --r;
        length = static_cast<float>(DayMonth(t.GetYear(), t.month));
    } else {
        r = -1;
        t.ShiftMonth(-1);
        for (int steps = 0; (c = Compare(&t, 3)) == -1 && steps < kMaxSteps; ++steps) {
            --r;
            t.ShiftMonth(-1);
        }
        if (c == 0)
            return static_cast<float>(r);
        length = static_cast<float>(DayMonth(t.GetYear(), t.month));
        t.ShiftMonth(1);
        ++r;
    }
    const float f = GetDiffDays(&t);
    if (f == 0.0f || length == 0.0f)
        return static_cast<float>(r);
    return static_cast<float>(r) - f / length;
}

int CQDXDateTime::GetDiffSecSpan(const CQDXDateTime* other) const
{
    // A span that does not fit is reported as such, never cut to 32 bits with a wrong sign.
    const int64_t span = GetDiffSecSpanBig(other);
    if (span <= std::numeric_limits<int>::min() || span > std::numeric_limits<int>::max())
        return kDiffSpanOutOfRange;
    return static_cast<int>(span);
}

int64_t CQDXDateTime::GetDiffSecSpanBig(const CQDXDateTime* other) const
{
    CQDXDateTime now;
    if (!other || other->IsEmpty()) {
        now.SetNow();
        other = &now;
    }
    const int64_t mine = ToLocalTime(*this);
    const int64_t theirs = ToLocalTime(*other);
    return theirs - mine;
}

float CQDXDateTime::GetDiffDaysSpan(CQDXDateTime* other)
{
    if (GetDate(0) == 0) {
        year = 0;
        month = 1;
        day = 1;
    }
    CQDXDateTime now;
    if (!other) {
        now.SetNow();
        other = &now;
    }
    if (other->year == 0 && other->month == 0 && other->day == 0) {
        other->month = 1;
        other->day = 1;
    }
    const int64_t mine = ToLocalTime(*this);
    const int64_t theirs = ToLocalTime(*other);
    return static_cast<float>(theirs - mine) * (1.0f / 86400.0f);
}

void CQDXDateTime::ShiftDate(int days)
{
    ShiftDays(*this, days);
}

void CQDXDateTime::ShiftMonth(int months)
{
    if (months == 0)
        return;
    if (months > 0) {
        // Step the month forward `months` times, then move a day beyond the month's end on
        // into the next month (at most ten days).
        int64_t y = year;
        int64_t m = month;
        int64_t k = months;
        if (m < 1 || m > 12) {
            if (++m > 12) {
                m = 1;
                ++y;
            }
            --k;
        }
        const int64_t index = (m - 1) + k;
        year = static_cast<unsigned char>(y + index / 12);
        month = static_cast<unsigned char>(index % 12 + 1);
        for (int i = 0; i < 10 && !IsValid(); ++i)
            ShiftDate(1);
        return;
    }

    // Backward, each month step pulls a day beyond the month's end back to its last day (at
    // most ten days), and the next step starts from there.
    auto step = [this] {
        MonthBack(*this);
        for (int i = 0; i < 10 && !IsValid(); ++i)
            ShiftDate(-1);
    };
    int64_t k = -static_cast<int64_t>(months);
    // After this many steps the date has been through every reachable state it will leave
    // behind, so it is in the cycle that the steps repeat.
    constexpr int64_t kSettle = kCycleDays + 64;
    for (int64_t done = 0; k > 0; ++done) {
        if (IsValid() && day <= 28) {
            // No later step can move the day any more: plain month arithmetic.
            const int64_t index = FloorMod(static_cast<int64_t>(year) * 12 + (month - 1) - k, kCycleMonths);
            year = static_cast<unsigned char>(index / 12);
            month = static_cast<unsigned char>(index % 12 + 1);
            return;
        }
        if (done == kSettle) {
            // Only a value whose time fields are not valid gets here: its days move with every
            // step. Find the length of the cycle and skip whole rounds of it.
            const CQDXDateTime mark = *this;
            int64_t period = 0;
            do {
                step();
                ++period;
                --k;
            } while (k > 0 && Compare(&mark, 3) != 0);
            if (k > 0)
                k %= period;
            continue;
        }
        step();
        --k;
    }
}

void CQDXDateTime::ShiftTime(int seconds)
{
    int64_t s = static_cast<int64_t>(GetTimeSec()) + seconds;
    int64_t carry = 0;
    if (s < 0) {
        const int64_t q = (86399 - s) / 86400;  // floor division: -1 s is 23:59:59 the day before
        s += q * 86400;
        carry = -q;
    }
    if (s >= 86400) {
        carry += s / 86400;
        s %= 86400;
    }
    StoreTimeSec(*this, s);
    if (carry != 0)
        ShiftDays(*this, carry);
}

int CQDXDateTime::SetDTJul(int jd)
{
    SetNow();
    hour = minute = second = 0;
    const int64_t diff = static_cast<int64_t>(jd) - GetJulian();
    if (diff != 0)
        ShiftDays(*this, diff);
    return static_cast<int>(diff);
}

int CQDXDateTime::SetDTJul(const char* text)
{
    return SetDTJul(AtoI(text));
}

int CQDXDateTime::SetDTFloat(double days)
{
    Reset();
    // Beyond a billion days no date of the 256 representable years is meant; refusing such
    // counts (and NaN or infinity) keeps the conversions below defined.
    if (!std::isfinite(days) || days > 1e9 || days < -1e9)
        return -1;
    const int64_t whole = static_cast<int64_t>(days);  // toward zero
    SetDTJul(static_cast<int>(whole + 2415019));        // 2415019: 1899-12-30
    StoreTimeSec(*this, static_cast<int64_t>((days - static_cast<double>(whole)) * 86400.0 + 0.5));
    return IsValid() ? 0 : -1;
}

void CQDXDateTime::GetSYSTEMTIME(SYSTEMTIME* st) const
{
    if (!st)
        return;
    st->wYear = static_cast<WORD>(GetYear());
    st->wMonth = month;
    st->wDay = day;
    st->wHour = hour;
    st->wMinute = minute;
    st->wSecond = second;
    st->wDayOfWeek = static_cast<WORD>(GetWeekDay(0));
    st->wMilliseconds = 0;
}
