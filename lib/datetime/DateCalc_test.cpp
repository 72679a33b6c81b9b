// Calendar arithmetic: checked day by day against std::chrono's civil calendar, far shifts
// against single steps, and the documented examples.

#include <qdxtest/DateTimeTestSupport.h>

#include <qdx/DateTime.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <vector>

using namespace qdx::test;  // Make, Show, Utc, FixedClock, ZoneScope, LogCapture, ...

namespace {

namespace chr = std::chrono;

CQDXDateTime FromChrono(chr::sys_days day, int h = 0, int mi = 0, int s = 0)
{
    const chr::year_month_day ymd{day};
    return Make(static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
                static_cast<int>(static_cast<unsigned>(ymd.day())), h, mi, s);
}

bool SameFields(const CQDXDateTime& a, const CQDXDateTime& b)
{
    return a.Compare(&b, 6) == 0;
}

struct Shift {
    CQDXDateTime from;
    int by;
    const char* to;  // the fields the shift leaves
};

void ExpectShifts(void (CQDXDateTime::*shift)(int), std::initializer_list<Shift> cases)
{
    for (const Shift& c : cases) {
        CQDXDateTime v = c.from;
        (v.*shift)(c.by);
        EXPECT_EQ(Show(v), c.to) << Show(c.from) << " by " << c.by;
    }
}

// Every day a value can hold, compared with an independent calendar.
TEST(CalendarAgainstChrono, EveryDayFrom1900To2155)
{
    const chr::sys_days first{chr::year{1900} / 1 / 1};
    const chr::sys_days last{chr::year{2155} / 12 / 31};
    constexpr int kJulianOfEpoch = 2440588;  // 1970-01-01
    int failures = 0;
    for (chr::sys_days day = first; day <= last && failures < 10; day += chr::days{1}) {
        const CQDXDateTime v = FromChrono(day, 13, 5, 7);
        const int jd = static_cast<int>(day.time_since_epoch().count()) + kJulianOfEpoch;
        const chr::weekday wd{day};
        const int sunday0 = static_cast<int>(wd.c_encoding());
        const int monday0 = static_cast<int>(wd.iso_encoding()) - 1;

        CQDXDateTime next = v;
        next.ShiftDate(1);
        CQDXDateTime prev = v;
        prev.ShiftDate(-1);
        // ShiftDate wraps at the ends of the representable range.
        const CQDXDateTime expectNext = day == last ? Make(1900, 1, 1, 13, 5, 7) : FromChrono(day + chr::days{1}, 13, 5, 7);
        const CQDXDateTime expectPrev = day == first ? Make(2155, 12, 31, 13, 5, 7) : FromChrono(day - chr::days{1}, 13, 5, 7);
        const CQDXDateTime neighbour = day == last ? v : FromChrono(day + chr::days{1}, 14, 0, 0);

        bool ok = v.IsValid() == 1 && v.GetJulian() == jd && v.GetWeekDay(0) == sunday0 &&
                  v.GetWeekDay(1) == monday0 && SameFields(next, expectNext) && SameFields(prev, expectPrev);
        if (day != last)
            ok = ok && v.GetDiffSec(&neighbour) == 86400 + 3300 - 7 && neighbour.GetDiffSec(&v) == -(86400 + 3300 - 7);
        if (!ok) {
            ++failures;
            ADD_FAILURE() << Show(v) << ": julian " << v.GetJulian() << " (" << jd << "), weekday "
                          << v.GetWeekDay(0) << "/" << v.GetWeekDay(1) << " (" << sunday0 << "/" << monday0
                          << "), next " << Show(next) << ", prev " << Show(prev) << ", diff "
                          << v.GetDiffSec(&neighbour);
        }
    }
}

// Far shifts are computed directly; they must land where single steps land, also from fields
// that do not form a valid date, and across the wrap-around at the ends of the range.
TEST(ShiftDate, FarShiftEqualsSingleSteps)
{
    std::mt19937 random(20060102);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> distance(-4000, 4000);
    for (int round = 0; round < 300; ++round) {
        CQDXDateTime start;
        if (round % 3 == 0) {  // any field contents
            start.year = static_cast<unsigned char>(byte(random));
            start.month = static_cast<unsigned char>(byte(random) % 16);
            start.day = static_cast<unsigned char>(byte(random) % 40);
        } else {
            start = Make(1900 + byte(random), 1 + byte(random) % 12, 1 + byte(random) % 28);
        }
        start.hour = static_cast<unsigned char>(byte(random) % 30);
        const int n = distance(random);
        CQDXDateTime jumped = start;
        jumped.ShiftDate(n);
        CQDXDateTime stepped = start;
        for (int i = 0; i < std::abs(n); ++i)
            stepped.ShiftDate(n > 0 ? 1 : -1);
        ASSERT_TRUE(SameFields(jumped, stepped)) << Show(start) << " by " << n << ": " << Show(jumped)
                                                 << " vs " << Show(stepped);
    }
}

TEST(ShiftDate, ExamplesAndTheRangeEnds)
{
    ExpectShifts(&CQDXDateTime::ShiftDate, {
                                               {Make(2006, 3, 1), -1, "2006-02-28 00:00:00"},
                                               {Make(2004, 2, 28), 1, "2004-02-29 00:00:00"},
                                               {Make(2005, 12, 31, 23, 59, 59), 1, "2006-01-01 23:59:59"},
                                               {Make(2006, 1, 2), 0, "2006-01-02 00:00:00"},
                                               // a whole cycle of the 256 years
                                               {Make(2006, 1, 2), 93502, "2006-01-02 00:00:00"},
                                           });
    CQDXDateTime v = Make(2006, 1, 2);
    v.ShiftDate(2147483647);  // no time limit on the distance
    CQDXDateTime back = v;
    back.ShiftDate(-2147483647);
    EXPECT_EQ(Show(back), "2006-01-02 00:00:00");
}

TEST(WeekDays, Jan1AndWeekStart)
{
    EXPECT_EQ(CQDXDateTime::Jan1(2006), 0);
    EXPECT_EQ(CQDXDateTime::Jan1(2000), 6);
    EXPECT_EQ(CQDXDateTime::Jan1(1752), 3);  // still the Julian calendar
    EXPECT_EQ(CQDXDateTime::Jan1(1753), 1);

    const CQDXDateTime wednesday = Make(2006, 1, 4, 10, 0, 0);
    EXPECT_EQ(wednesday.GetWeekStart(0), 20060101u);
    EXPECT_EQ(wednesday.GetWeekStart(1), 20060102u);
    EXPECT_EQ(Make(2006, 1, 1).GetWeekStart(1), 20051226u);  // a Sunday ends the Monday week
    EXPECT_EQ(Make(1900, 1, 1).GetWeekStart(0), 21551228u);  // wraps to the other end

    EXPECT_EQ(Make(2000, 1, 1).GetJulian(), 2451545);
    EXPECT_EQ(Make(2000, 1, 1).GetWeekDay(0), 6);
    EXPECT_EQ(Make(2006, 1, 1).GetWeekDay(1), 6);
    EXPECT_EQ(Make(2006, 1, 2).GetWeekDay(1), 0);
    EXPECT_EQ(Make(2006, 1, 4).GetJulianWeek(0), (Make(2006, 1, 4).GetJulian() - 3) / 7);
}

TEST(ShiftMonth, CorrectsDaysBeyondTheMonthsEnd)
{
    ExpectShifts(&CQDXDateTime::ShiftMonth,
                 {
                     {Make(2006, 1, 31), 1, "2006-03-01 00:00:00"},
                     {Make(2006, 1, 29), 1, "2006-03-01 00:00:00"},
                     {Make(2004, 1, 30), 1, "2004-03-01 00:00:00"},  // leap year: past 31 Feb is March
                     {Make(2004, 1, 29), 1, "2004-02-29 00:00:00"},
                     {Make(2006, 3, 31), -1, "2006-02-28 00:00:00"},
                     {Make(2006, 3, 31), -2, "2006-01-28 00:00:00"},  // corrected at the first step
                     {Make(2006, 1, 31), 2, "2006-03-31 00:00:00"},
                     {Make(2006, 11, 15), 14, "2008-01-15 00:00:00"},
                     {Make(2006, 1, 15), -13, "2004-12-15 00:00:00"},
                     // an hour of 24 is never valid, so every correction runs its ten days
                     {Make(2006, 1, 31, 24), 1, "2006-03-10 24:00:00"},
                 });
}

// A backward shift by n months is n single backward steps, each with its correction; the
// far shortcuts must agree with that, for valid values and for values with a bad time.
TEST(ShiftMonth, FarBackwardShiftEqualsSingleSteps)
{
    const CQDXDateTime starts[] = {Make(2006, 3, 31), Make(2155, 12, 31, 23, 59, 59), Make(1900, 1, 1),
                                   Make(2006, 8, 31, 24), Make(2006, 13, 40, 5, 70, 0)};
    for (const int n : {1, 7, 37, 5000, 200000}) {
        for (const CQDXDateTime& start : starts) {
            CQDXDateTime jumped = start;
            jumped.ShiftMonth(-n);
            CQDXDateTime stepped = start;
            for (int i = 0; i < n; ++i)
                stepped.ShiftMonth(-1);
            EXPECT_TRUE(SameFields(jumped, stepped))
                << Show(start) << " by -" << n << ": " << Show(jumped) << " vs " << Show(stepped);
        }
    }
    // A whole cycle of months forward from a valid day comes back to it.
    CQDXDateTime v = Make(2006, 5, 17, 8);
    v.ShiftMonth(256 * 12);
    EXPECT_EQ(Show(v), "2006-05-17 08:00:00");
    v.ShiftMonth(2147483647);
    v.ShiftMonth(-2147483647);
    EXPECT_EQ(Show(v), "2006-05-17 08:00:00");
}

TEST(ShiftTime, CarriesIntoTheDateLikeElapsedSeconds)
{
    ExpectShifts(&CQDXDateTime::ShiftTime, {{Make(2006, 1, 1), -1, "2005-12-31 23:59:59"},
                                           {Make(2006, 1, 1, 10, 20, 30), 86400, "2006-01-02 10:20:30"}});

    // Any shift agrees with adding seconds on a time line.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> seconds(-400000000, 400000000);
    for (int round = 0; round < 2000; ++round) {
        const int n = seconds(random);
        const std::time_t start = Utc(2030, 6, 15, 12, 34, 56);
        CQDXDateTime shifted = Make(2030, 6, 15, 12, 34, 56);
        shifted.ShiftTime(n);
        const std::time_t target = start + n;
        std::tm parts{};
        gmtime_r(&target, &parts);
        CQDXDateTime expected = Make(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                                     parts.tm_min, parts.tm_sec);
        ASSERT_TRUE(SameFields(shifted, expected)) << n << ": " << Show(shifted) << " vs " << Show(expected);
    }
}

TEST(GetTimeShift, ReadsTheMovedTimeWithoutChangingTheValue)
{
    const CQDXDateTime v = Make(2006, 1, 2, 23, 30, 0);
    EXPECT_EQ(v.GetTimeShift(3600), 3000u);
    EXPECT_EQ(v.GetTimeShift(1800), 240000u);
    EXPECT_EQ(v.GetTimeShift(1800 + 86400), 240000u);
    EXPECT_EQ(v.GetTimeShift(-84600), 0u);
    EXPECT_EQ(v.GetTimeShift(-84601), 235959u);
    EXPECT_EQ(v.GetTimeShift(2147483647), Make(2006, 1, 2, 23, 30, 0).GetTimeShift(2147483647 % 86400));
    EXPECT_EQ(Show(v), "2006-01-02 23:30:00");
}

TEST(Differences, CalendarFamily)
{
    FixedClock clock(Utc(2026, 7, 15, 13, 45, 30));
    const CQDXDateTime a = Make(2006, 1, 1);
    const CQDXDateTime b = Make(2006, 1, 2, 12);
    EXPECT_EQ(a.GetDiffSec(&b), 129600);
    EXPECT_EQ(b.GetDiffSec(&a), -129600);
    EXPECT_FLOAT_EQ(a.GetDiffDays(&b), 1.5f);
    EXPECT_EQ(a.GetDiffSec(&a), 0);

    // A null or empty other is now (the runner's zone is UTC).
    const CQDXDateTime now = Make(2026, 7, 15, 13, 45, 30);
    const CQDXDateTime empty;
    EXPECT_EQ(a.GetDiffSec(nullptr), a.GetDiffSec(&now));
    EXPECT_EQ(a.GetDiffSec(&empty), a.GetDiffSec(&now));
    EXPECT_EQ(now.GetDiffSec(nullptr), 0);

    // 1900 to 2155 does not fit 32 bits; the 64-bit form is exact.
    const CQDXDateTime first = Make(1900, 1, 1);
    const CQDXDateTime last = Make(2155, 12, 31, 23, 59, 59);
    EXPECT_EQ(first.GetDiffSecBig(&last), int64_t{93502} * 86400 - 1);

    const CQDXDateTime march15 = Make(2006, 3, 15, 12);
    const CQDXDateTime jan10 = Make(2006, 1, 10);
    EXPECT_NEAR(march15.GetDiffMonth(&jan10), 2.0f + 5.5f / 31.0f, 1e-5);
    EXPECT_NEAR(jan10.GetDiffMonth(&march15), -(2.0f + 5.5f / 31.0f), 1e-5);
    const CQDXDateTime march10 = Make(2006, 3, 10, 18);
    EXPECT_EQ(march10.GetDiffMonth(&jan10), 2.0f);
    EXPECT_EQ(jan10.GetDiffMonth(&march10), -2.0f);
    EXPECT_EQ(jan10.GetDiffMonth(&jan10), 0.0f);
    EXPECT_EQ(now.GetDiffMonth(nullptr), 0.0f);

    // Fields no month step can reach end the count instead of looping for ever.
    CQDXDateTime odd = Make(2155, 14, 3);
    EXPECT_TRUE(std::isfinite(odd.GetDiffMonth(&jan10)));
}

TEST(Differences, SpanFamilyFollowsTheLocalZone)
{
    ZoneScope zone("America/New_York");
    const CQDXDateTime before = Make(2006, 4, 2);  // clocks went forward at 2:00 that night
    const CQDXDateTime after = Make(2006, 4, 3);
    EXPECT_EQ(before.GetDiffSecSpan(&after), 23 * 3600);
    EXPECT_EQ(before.GetDiffSec(&after), 24 * 3600);  // the calendar family ignores it
    CQDXDateTime start = before;
    EXPECT_NEAR(start.GetDiffDaysSpan(const_cast<CQDXDateTime*>(&after)), 23.0f / 24.0f, 1e-6);

    // Empty values are moved to 1900-01-01 first (their times stay).
    CQDXDateTime empty;
    CQDXDateTime other;
    other.hour = 12;
    EXPECT_FLOAT_EQ(empty.GetDiffDaysSpan(&other), 0.5f);
    EXPECT_EQ(Show(empty), "1900-01-01 00:00:00");
    EXPECT_EQ(Show(other), "1900-01-01 12:00:00");

    FixedClock clock(Utc(2026, 7, 15, 16));  // 12:00 in New York
    const CQDXDateTime noon = Make(2026, 7, 15, 11);
    EXPECT_EQ(noon.GetDiffSecSpan(nullptr), 3600);
}

TEST(Differences, SpansBeyondAnIntAreReportedNotWrapped)
{
    ZoneScope zone("UTC");
    struct Case {
        CQDXDateTime from, to;
        int64_t seconds;
    };
    const Case cases[] = {
        {Make(2006, 1, 1), Make(2100, 1, 1), 2966371200},
        {Make(2100, 1, 1), Make(2006, 1, 1), -2966371200},
        {Make(1950, 1, 1), Make(2026, 1, 1), 2398377600},  // a date before 1958 against today
        {Make(1900, 1, 1), Make(2155, 12, 31, 23, 59, 59), 8078572799},
        {Make(1950, 1, 1), Make(1960, 1, 1), 315532800},
        {Make(1970, 1, 1), Make(2038, 1, 19, 3, 14, 7), 2147483647},  // the last span that fits
    };
    for (const Case& c : cases) {
        const std::string label = Show(c.from) + " to " + Show(c.to);
        EXPECT_EQ(c.from.GetDiffSecSpanBig(&c.to), c.seconds) << label;
        const bool fits = c.seconds > INT32_MIN && c.seconds <= INT32_MAX;
        EXPECT_EQ(c.from.GetDiffSecSpan(&c.to), fits ? c.seconds : CQDXDateTime::kDiffSpanOutOfRange) << label;
    }
}

TEST(NumberForms, DatesTimesAndSlots)
{
    const CQDXDateTime v = Make(2006, 1, 2, 14, 30, 5);
    EXPECT_EQ(v.GetDate(0), 20060102u);
    EXPECT_EQ(v.GetDate(1), 1060102u);
    EXPECT_EQ(Make(2006, 2, 30).GetDate(0), 0u);
    EXPECT_EQ(v.GetTime(), 143005u);
    EXPECT_EQ(v.GetTimeSec(), 52205u);
    EXPECT_EQ(v.GetYear(), 2006);
    EXPECT_EQ(Make(2006, 1, 2, 10).GetIntervalIdx(300, 0), 601020120u);
    EXPECT_EQ(Make(2006, 1, 2, 10).GetIntervalIdx(0, 0), 601020000u + 36000u);  // no division by zero
    EXPECT_FLOAT_EQ(Make(2006, 1, 2, 12).GetDateFloat(), 106033.5f);

    EXPECT_EQ(CQDXDateTime::GetDateMDY(6, 1, 2), 20060102u);
    EXPECT_EQ(CQDXDateTime::GetDateMDY(70, 1, 2), 19700102u);
    EXPECT_EQ(CQDXDateTime::GetDateMDY(2006, 2, 31), 20060231u);
    EXPECT_EQ(CQDXDateTime::GetDateMDY(1850, 1, 1), 1u);
    EXPECT_EQ(CQDXDateTime::GetDateMDY(2006, 13, 1), 2u);
    EXPECT_EQ(CQDXDateTime::GetDateMDY(2006, 1, 32), 3u);
    EXPECT_EQ(CQDXDateTime::GetTimeHMS(14, 30, 5), 143005u);
    EXPECT_EQ(CQDXDateTime::GetTimeHMS(24, 0, 0), 4u);
    EXPECT_EQ(CQDXDateTime::GetTimeHMS(1, 60, 0), 5u);
    EXPECT_EQ(CQDXDateTime::GetTimeHMS(1, 0, -1), 6u);

    SYSTEMTIME st{};
    st.wMilliseconds = 999;
    v.GetSYSTEMTIME(&st);
    const std::vector<int> fields = {st.wYear, st.wMonth, st.wDayOfWeek, st.wDay,
                                     st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    EXPECT_EQ(fields, (std::vector<int>{2006, 1, 1 /* a Monday */, 2, 14, 30, 5, 0}));
}

TEST(SetDTJulAndFloat, SetDaysFromCounts)
{
    FixedClock clock(Utc(2026, 7, 15, 13, 45, 30));
    const int today = Make(2026, 7, 15).GetJulian();
    const struct {
        int jd;
        const char* shown;
    } days[] = {{2451545, "2000-01-01 00:00:00"}, {today, "2026-07-15 00:00:00"},
                {Make(2155, 12, 31).GetJulian(), "2155-12-31 00:00:00"}};
    for (const auto& c : days) {
        CQDXDateTime v = Make(2010, 5, 5, 5, 5, 5);
        EXPECT_EQ(v.SetDTJul(c.jd), c.jd - today) << c.jd;
        EXPECT_EQ(Show(v), c.shown);
    }
    CQDXDateTime v;
    EXPECT_EQ(v.SetDTJul("2415021"), 2415021 - today);
    EXPECT_EQ(Show(v), "1900-01-01 00:00:00");

    const struct {
        double days;
        int result;
        const char* shown;  // nullptr: not looked at
    } floats[] = {{38719.25, 0, "2006-01-02 06:00:00"},
                  {2.0, 0, "1900-01-01 00:00:00"},
                  {38719.9999999, -1, "2006-01-02 24:00:00"},
                  {std::nan(""), -1, "1900-00-00 00:00:00"},  // empty
                  {1e300, -1, nullptr}};
    for (const auto& c : floats) {
        CQDXDateTime f = Make(2010, 5, 5, 5, 5, 5);
        EXPECT_EQ(f.SetDTFloat(c.days), c.result) << c.days;
        if (c.shown) {
            EXPECT_EQ(Show(f), c.shown) << c.days;
        }
    }
}

} // namespace
