// The date-time value: validity, comparison, FixDate, and setting it from numbers, records,
// files and the (fixed) clock.

#include "DateTimeImpl.h"
#include <qdxtest/DateTimeTestSupport.h>
#include <qdxtest/TempDir.h>

#include <qdx/DateTime.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace qdx::test;  // Make, Show, Utc, FixedClock, ZoneScope, LogCapture, ...

namespace {

TEST(Value, EmptyValidAndFilled)
{
    CQDXDateTime v;
    EXPECT_EQ(v.IsEmpty(), 1);
    EXPECT_EQ(v.IsFilled(), 0);
    EXPECT_EQ(v.IsValid(), 0);
    v = Make(1900, 1, 1);  // not the empty value
    EXPECT_EQ(v.IsEmpty(), 0);
    EXPECT_EQ(v.IsValid(), 1);
    v.Reset();
    EXPECT_EQ(v.IsEmpty(), 1);

    EXPECT_EQ(Make(2004, 2, 29).IsValid(), 1);
    EXPECT_EQ(Make(2006, 2, 29).IsValid(), 0);
    EXPECT_EQ(Make(2006, 13, 1).IsValid(), 0);
    EXPECT_EQ(Make(2006, 1, 0).IsValid(), 0);
    EXPECT_EQ(Make(2006, 1, 1, 24).IsValid(), 0);
    EXPECT_EQ(Make(2006, 1, 1, 23, 60).IsValid(), 0);
    EXPECT_EQ(Make(2006, 1, 1, 23, 59, 60).IsValid(), 0);
    EXPECT_EQ(Make(2155, 12, 31, 23, 59, 59).IsValid(), 1);

    CQDXDateTime copy;
    const CQDXDateTime source = Make(2006, 1, 2, 3, 4, 5);
    copy.Copy(&source);
    EXPECT_EQ(Show(copy), "2006-01-02 03:04:05");
    copy.Copy(nullptr);
    EXPECT_EQ(Show(copy), "2006-01-02 03:04:05");

    const CQDXDateTimeInterval interval;
    EXPECT_EQ(interval.begin.IsEmpty(), 1);
    EXPECT_EQ(interval.end.IsEmpty(), 1);
    EXPECT_EQ(interval.extra, 0);
}

TEST(Value, CalendarRulesAndNumberRanges)
{
    EXPECT_EQ(CQDXDateTime::DayYear(1900), 365);
    EXPECT_EQ(CQDXDateTime::DayYear(2000), 366);
    EXPECT_EQ(CQDXDateTime::DayYear(2004), 366);
    EXPECT_EQ(CQDXDateTime::DayYear(2100), 365);
    EXPECT_EQ(CQDXDateTime::DayMonth(2004, 2), 29);
    EXPECT_EQ(CQDXDateTime::DayMonth(2006, 2), 28);
    EXPECT_EQ(CQDXDateTime::DayMonth(2006, 4), 30);
    EXPECT_EQ(CQDXDateTime::DayMonth(2006, 13), 0);
    EXPECT_EQ(CQDXDateTime::DayMonth(2006, 0), 0);

    EXPECT_EQ(CQDXDateTime::IsDate(19000101), 1);
    EXPECT_EQ(CQDXDateTime::IsDate(19000100), 0);
    EXPECT_EQ(CQDXDateTime::IsDate(29991231), 1);
    EXPECT_EQ(CQDXDateTime::IsDate(29991232), 0);
    EXPECT_EQ(CQDXDateTime::IsDate(20061345), 1);  // a range check only
    EXPECT_EQ(CQDXDateTime::IsTime(0), 1);
    EXPECT_EQ(CQDXDateTime::IsTime(236099), 1);
    EXPECT_EQ(CQDXDateTime::IsTime(240000), 1);
    EXPECT_EQ(CQDXDateTime::IsTime(240001), 0);
    EXPECT_EQ(CQDXDateTime::IsTime(static_cast<uint32_t>(-1)), 0);
}

TEST(Value, FixDateForcesAUsableValue)
{
    CQDXDateTime v;
    EXPECT_EQ(v.FixDate(), 0);
    EXPECT_EQ(Show(v), "1900-01-01 00:00:00");
    const struct {
        CQDXDateTime from;
        const char* fixed;
    } cases[] = {
        {Make(2006, 2, 30, 25, 10, 10), "2006-02-28 23:59:59"},
        {Make(2006, 0, 0, 24, 30, 0), "2006-01-01 24:30:00"},  // an hour of exactly 24 stays
        {Make(2006, 14, 99, 10, 61, 75), "2006-12-31 10:59:59"},
    };
    for (const auto& c : cases) {
        v = c.from;
        v.FixDate();
        EXPECT_EQ(Show(v), c.fixed) << Show(c.from);
    }
}

TEST(Compare, FieldsInOrderAndModes)
{
    const CQDXDateTime a = Make(2006, 1, 2, 3, 4, 5);
    CQDXDateTime b = a;
    EXPECT_EQ(a.Compare(&b, 0), 0);
    b.second = 6;
    EXPECT_EQ(a.Compare(&b, 0), -1);
    EXPECT_EQ(b.Compare(&a, 6), 1);
    EXPECT_EQ(a.Compare(&b, 5), 0);  // stops after the minute
    b = a;
    b.day = 1;
    b.hour = 23;
    EXPECT_EQ(a.Compare(&b, 3), 1);
    EXPECT_EQ(a.Compare(&b, 2), 0);
    b = Make(2007, 1, 1);
    EXPECT_EQ(a.Compare(&b, 1), -1);
    EXPECT_EQ(a.Compare(&b, 99), -1);

    FixedClock clock(Utc(2026, 7, 15, 13, 45, 30));
    EXPECT_EQ(Make(2026, 7, 15).Compare(nullptr, 3), 0);  // today
    EXPECT_EQ(Make(2026, 7, 15).Compare(nullptr, 0), -1);
    EXPECT_EQ(Make(2026, 7, 16).Compare(nullptr, 3), 1);

    CQDXDateTimePlain p, q;
    p.year = 106;
    q.year = 106;
    q.month = 2;
    EXPECT_EQ(p.Compare(&q, 0), -1);
    EXPECT_EQ(p.Compare(&q, 1), 0);
    EXPECT_EQ(p.Compare(nullptr, 0), 99);
    q = p;
    EXPECT_EQ(p.Compare(&q, 0), 0);

    const CQDXDateTime jan5 = Make(2006, 1, 5);
    const CQDXDateTime feb5 = Make(2007, 2, 5);
    const CQDXDateTime jan5next = Make(2007, 1, 5);
    const CQDXDateTime jan6 = Make(2006, 1, 6);
    EXPECT_EQ(jan5.SameDate(&feb5), 2);
    EXPECT_EQ(jan5.SameDate(&jan5next), 1);
    EXPECT_EQ(jan5.SameDate(&jan6), 3);
    EXPECT_EQ(jan5.SameDate(&jan5), 0);
    EXPECT_EQ(jan5.SameDate(nullptr), 3);
}

TEST(SetFromNumbers, TimeFields)
{
    CQDXDateTime v = Make(2006, 1, 2);
    EXPECT_EQ(v.SetTimeHMS(240000), 0);
    EXPECT_EQ(v.hour, 24);
    EXPECT_EQ(v.SetTimeHMS(240100), -4);
    EXPECT_EQ(v.SetTimeHMS(236000), -2);
    EXPECT_EQ(v.SetTimeHMS(235960), -3);
    EXPECT_EQ(v.SetTimeHMS(250000), -1);
    EXPECT_EQ(v.SetTimeHMS(143005), 0);
    EXPECT_EQ(Show(v), "2006-01-02 14:30:05");

    EXPECT_EQ(v.SetTimeSec(86400), 0);
    EXPECT_EQ(Show(v), "2006-01-02 24:00:00");
    EXPECT_EQ(v.SetTimeSec(52205), 0);
    EXPECT_EQ(Show(v), "2006-01-02 14:30:05");
    EXPECT_EQ(v.SetTime(7, 99, 0), 0);  // stored without validation
    EXPECT_EQ(Show(v), "2006-01-02 07:99:00");

    const struct {
        CQDXDateTime from;
        int step, up;
        const char* rounded;
    } rounds[] = {
        {Make(2006, 1, 2, 10, 7, 59), 300, 0, "2006-01-02 10:05:00"},
        {Make(2006, 1, 2, 10, 5, 0), 300, 1, "2006-01-02 10:10:00"},
        {Make(2006, 1, 2, 23, 59, 59), 0, 1, "2006-01-02 24:00:00"},  // a step below 1 counts as 1
    };
    for (const auto& c : rounds) {
        v = c.from;
        v.RoundToNearestSec(c.step, c.up);
        EXPECT_EQ(Show(v), c.rounded) << Show(c.from) << " by " << c.step;
    }
    v = Make(2006, 1, 2, 23, 59, 59);
    v.RoundToNearestSec(2147483647, 1);  // no overflow
    EXPECT_EQ(v.day, 2);
}

TEST(SetFromNumbers, SystemTimeRecord)
{
    SYSTEMTIME st{2006, 1, 1, 2, 14, 30, 5, 999};
    CQDXDateTime v;
    EXPECT_EQ(v.SetDT(&st), 0);
    EXPECT_EQ(Show(v), "2006-01-02 14:30:05");
    st.wDay = 30;
    st.wMonth = 2;
    EXPECT_EQ(v.SetDT(&st), -1);
    EXPECT_EQ(Show(v), "2006-02-30 14:30:05");  // stored anyway
    EXPECT_EQ(v.SetDT(static_cast<const SYSTEMTIME*>(nullptr)), -1);
}

TEST(SetFromClock, NowInLocalUniversalAndEasternTime)
{
    ZoneScope zone("Europe/Paris");
    FixedClock summer(Utc(2026, 7, 15, 13, 45, 30));
    CQDXDateTime v;
    v.SetNow();
    EXPECT_EQ(Show(v), "2026-07-15 15:45:30");
    v.SetNowGMT();
    EXPECT_EQ(Show(v), "2026-07-15 13:45:30");
    v.SetNowEST();
    EXPECT_EQ(Show(v), "2026-07-15 09:45:30");
    {
        FixedClock winter(Utc(2026, 1, 1, 3, 0, 0));
        v.SetNowEST();
        EXPECT_EQ(Show(v), "2025-12-31 22:00:00");
    }
    {
        // Between the US and the European change of clocks: New York keeps daylight time
        // while Paris is still on winter time.
        FixedClock march(Utc(2026, 3, 20, 12, 0, 0));
        v.SetNowEST();
        EXPECT_EQ(Show(v), "2026-03-20 08:00:00");
        v.SetNow();
        EXPECT_EQ(Show(v), "2026-03-20 13:00:00");
    }
    // Without the zone, Eastern time is Universal Time less five hours.
    EXPECT_EQ(qdx::dt_internal::EasternOffset(Utc(2026, 7, 15), "No/SuchZone"), -18000);
    EXPECT_EQ(qdx::dt_internal::EasternOffset(Utc(2026, 7, 15), "America/New_York"), -14400);
}

TEST(SetFromClock, UnixSecondsAndFiles)
{
    ZoneScope zone("America/New_York");
    CQDXDateTime v;
    EXPECT_EQ(v.SetDTUnix(1136214605), 0);  // 2006-01-02 15:10:05 UTC
    EXPECT_EQ(Show(v), "2006-01-02 10:10:05");
    EXPECT_EQ(v.SetDTUnix(0), 0);
    EXPECT_EQ(Show(v), "1969-12-31 19:00:00");

    qdx::test::TempDir dir;
    const std::string file = dir.Write("file", "");
    const char* path = file.c_str();
    const timespec times[2] = {{1136214605, 0}, {1136214605, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path, times, 0), 0);
    EXPECT_EQ(v.SetDTFile(path), 0);
    EXPECT_EQ(Show(v), "2006-01-02 10:10:05");
    // A modification time after 2038 is kept whole.
    const timespec later[2] = {{4102444800, 0}, {4102444800, 0}};  // 2100-01-01 00:00:00 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, path, later, 0), 0);
    EXPECT_EQ(v.SetDTFile(path), 0);
    EXPECT_EQ(Show(v), "2099-12-31 19:00:00");
    unlink(path);

    EXPECT_EQ(v.SetDTFile(path), -1);
    EXPECT_EQ(v.IsEmpty(), 1);
    v = Make(2006, 1, 2);
    EXPECT_EQ(v.SetDTFile(nullptr), -1);
    EXPECT_EQ(v.IsEmpty(), 1);
    // A file named NUL (the null device's name elsewhere) reads as the epoch.
    EXPECT_EQ(v.SetDTFile(dir.Write("Nul", "").c_str()), 0);
    EXPECT_EQ(Show(v), "1969-12-31 19:00:00");
}

} // namespace
