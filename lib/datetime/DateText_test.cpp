// Reading dates and times out of free text, the name tables, the eighteen layouts and the
// calendar self-test.

#include <qdxtest/DateTimeTestSupport.h>
#include <qdxtest/TempDir.h>

#include <qdx/DateTime.h>
#include <qdx/Txt.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace qdx::test;  // Make, Show, Utc, FixedClock, ZoneScope, LogCapture, ...
using ::testing::Contains;
using ::testing::ElementsAre;

namespace {

constexpr std::time_t kNow = 1784123130;  // 2026-07-15 13:45:30 UTC

uint32_t DateAlpha(const char* text, int y, int m, int d, char sep)
{
    return CQDXDateTime::GetDateAlpha(text, y, m, d, sep);
}

TEST(GetDateAlpha, FieldOrdersAndForms)
{
    FixedClock clock(kNow);
    EXPECT_EQ(DateAlpha("20060102", 3, 1, 2, '/'), 20060102u);  // before any field is read
    EXPECT_EQ(DateAlpha("20060102", -7, 0, 99, 'x'), 20060102u);
    EXPECT_EQ(DateAlpha("JAN 02 2006 18:04:43", 3, 1, 2, ' '), 20060102u);
    EXPECT_EQ(DateAlpha("1/2/06", 3, 1, 2, '/'), 20060102u);
    EXPECT_EQ(DateAlpha("2006/01/02", 1, 2, 3, '/'), 20060102u);  // a month field of digits
    EXPECT_EQ(DateAlpha("2006-01-02", 1, 2, 3, '-'), 3u);  // the dash form reads day-month-year
    EXPECT_EQ(DateAlpha("1/2", 3, 1, 2, '/'), 20260102u);          // this year
    EXPECT_EQ(DateAlpha("1/2/70", 3, 1, 2, '/'), 19700102u);
    EXPECT_EQ(DateAlpha("1/2/69", 3, 1, 2, '/'), 20690102u);
    // Dash form, rewritten as year/month/day.
    EXPECT_EQ(DateAlpha("02-Jan-2006", 1, 2, 3, '/'), 20060102u);
    EXPECT_EQ(DateAlpha("2-JAN-06", 1, 2, 3, '/'), 20060102u);
    EXPECT_EQ(DateAlpha("2- jan. -06 12:00", 1, 2, 3, '/'), 20060102u);
    // Month first: the year is always this year's.
    EXPECT_EQ(DateAlpha("Jan 2", -1, 2, 3, '/'), 20260102u);
    EXPECT_EQ(DateAlpha("December 24 1999", -1, 2, 3, '/'), 20261224u);
}

TEST(GetDateAlpha, MonthWords)
{
    EXPECT_EQ(DateAlpha("JUNE 5 2006", 3, 1, 2, ' '), 20060605u);
    EXPECT_EQ(DateAlpha("JU 5 2006", 3, 1, 2, ' '), 20060705u);  // June and July match: July wins
    EXPECT_EQ(DateAlpha("MA 5 2006", 3, 1, 2, ' '), 20060505u);
    EXPECT_EQ(DateAlpha("A 5 2006", 3, 1, 2, ' '), 20060805u);
    EXPECT_EQ(DateAlpha("j 5 2006", 3, 1, 2, ' '), 20060705u);
    EXPECT_EQ(DateAlpha("sept. 5 2006", 3, 1, 2, ' '), 20060905u);
    EXPECT_EQ(DateAlpha("2006//05", 1, 2, 3, '/'), 20061205u);  // empty: matches every name
    EXPECT_EQ(DateAlpha("2006/ Feb /05", 1, 2, 3, '/'), 20060205u);
    EXPECT_EQ(DateAlpha("Foo 2", -1, 2, 3, '/'), 2u);
    EXPECT_EQ(DateAlpha("2006/Foo/05", 1, 2, 3, '/'), 2u);
}

TEST(GetDateAlpha, RejectsWithCodes)
{
    FixedClock clock(kNow);
    EXPECT_EQ(DateAlpha("2/30/2006", 3, 1, 2, '/'), 3u);
    EXPECT_EQ(DateAlpha("2/29/2004", 3, 1, 2, '/'), 20040229u);
    EXPECT_EQ(DateAlpha("2/0/2004", 3, 1, 2, '/'), 3u);
    EXPECT_EQ(DateAlpha("13/2/2006", 3, 1, 2, '/'), 2u);
    EXPECT_EQ(DateAlpha("0/2/2006", 3, 1, 2, '/'), 2u);
    EXPECT_EQ(DateAlpha("1/2/1850", 3, 1, 2, '/'), 1u);
    EXPECT_EQ(DateAlpha("1/2/3000", 3, 1, 2, '/'), 1u);
    EXPECT_EQ(DateAlpha("", -1, 2, 3, '/'), 1u);
    EXPECT_EQ(DateAlpha(nullptr, 3, 1, 2, '/'), 1u);
    // Every result is a date number or one of the codes, whatever the fields and separator.
    const char* texts[] = {"1/2/06", "Jan 2", "02-Jan-2006", "", "a b c", "99/99/99", "-5-", "2006"};
    for (const char* text : texts)
        for (int field = -100; field <= 100; field += 3)
            for (const char sep : {'/', ' ', '-', '\0', '\xff'}) {
                const uint32_t r = DateAlpha(text, field, 2, field / 2, sep);
                ASSERT_TRUE(CQDXDateTime::IsDate(r) || (r >= 1 && r <= 3)) << text << " " << field << " " << r;
            }
}

TEST(GetTimeAlpha, ColonsNumbersAndDecimalHours)
{
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("18:04:43"), 180443);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("18:04:43 UTC"), 180443);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("18:04"), 180400);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("24:00"), -1);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("12:60"), -2);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("12:00:60"), -3);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("7"), 70000);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("730"), 73000);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("183000"), 183000);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("7.5"), 73000);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("7.25"), 71500);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("7.1"), 70559);  // cut, not rounded
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("25.5"), 253000);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha("7.0"), 70000);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha(""), 0);
    EXPECT_EQ(CQDXDateTime::GetTimeAlpha(nullptr), 0);
    // Absurd numbers give some number, never undefined arithmetic (numbers too large for an int:
    // LargeNumbers.RefusedByEveryReader).
    CQDXDateTime::GetTimeAlpha("1e300");
    CQDXDateTime::GetTimeAlpha("nan");
}

TEST(Names, MonthsAndDays)
{
    const auto month = [](int m, int abbreviated) {
        CTxt out("old");
        CQDXDateTime::GetMonthTxt(m, out, abbreviated);
        return std::string(out);
    };
    EXPECT_EQ(month(5, 1), "May");
    EXPECT_EQ(month(5, 0), "May");
    EXPECT_EQ(month(9, 0), "September");
    EXPECT_EQ(month(1, 1), "Jan");
    EXPECT_EQ(month(13, 0), "?13");
    EXPECT_EQ(month(0, 1), "?0");

    const auto weekDay = [](int d, int abbreviated, int mode) {
        CTxt out("old");
        CQDXDateTime::GetWeekDayTxt(d, out, abbreviated, mode);
        return std::string(out);
    };
    EXPECT_EQ(weekDay(3, 0, 0), "Wednsday");
    EXPECT_EQ(weekDay(10, 0, 0), "Wednsday");
    EXPECT_EQ(weekDay(5, 0, 1), "Saturday");
    EXPECT_EQ(weekDay(6, 1, 1), "Sun");
    EXPECT_EQ(weekDay(0, 1, 1), "Mon");
    EXPECT_EQ(weekDay(-1, 1, 0), "?-1");

    EXPECT_EQ(CQDXDateTime::GetWeekDayVal("saturday", 0), 6);
    EXPECT_EQ(CQDXDateTime::GetWeekDayVal("saturday", 1), 5);
    EXPECT_EQ(CQDXDateTime::GetWeekDayVal("Sunday", 1), 6);
    EXPECT_EQ(CQDXDateTime::GetWeekDayVal("SUNNY", 0), 0);
    EXPECT_EQ(CQDXDateTime::GetWeekDayVal("Su", 0), -1);
    EXPECT_EQ(CQDXDateTime::GetWeekDayVal("Mon", 1), 0);
    EXPECT_EQ(CQDXDateTime::GetWeekDayVal("", 0), -1);
    EXPECT_EQ(CQDXDateTime::GetWeekDayVal(nullptr, 0), -1);
}

TEST(Layouts, AllEighteen)
{
    const CQDXDateTime v = Make(2006, 1, 2, 14, 30, 5);
    const char* expected[18] = {"20060102 14:30:05",     "20060102",
                                "14:30:05",              "1/2/06 14:30:05",
                                "1/2/06",                "14:30",
                                "1/2/2006",              "02:30:05PM",
                                "02:30PM",               "1/2/2006 14:30:05",
                                "20060102_143005",       "143005",
                                "01/02/2006",            "01/02/2006 14:30",
                                "01/02",                 "01/02/2006 02:30PM",
                                "01/02/2006 02:30:05PM", "01/02/2006 14:30:05"};
    for (int mode = 0; mode < 18; ++mode) {
        CString s;
        v.GetStr(s, mode);
        EXPECT_STREQ(s, expected[mode]) << "mode " << mode;
        CTxt t;
        v.GetTxt(t, mode);
        EXPECT_STREQ(t, expected[mode]) << "mode " << mode;
    }

    CString s("kept");
    v.GetStr(s, 18);
    EXPECT_STREQ(s, "kept");
    v.GetStr(s, -1);
    EXPECT_STREQ(s, "kept");
    CTxt t("gone");
    v.GetTxt(t, 18);
    EXPECT_STREQ(t, "");

    CQDXDateTime empty;
    empty.GetStr(s, 0);
    EXPECT_STREQ(s, "19000000 00:00:00");
}

TEST(Layouts, TwelveHourClock)
{
    const auto layout = [](int hour, int minute, int mode) {
        CString s;
        Make(2006, 1, 2, hour, minute, 0).GetStr(s, mode);
        return std::string(s.GetString());
    };
    EXPECT_EQ(layout(12, 15, 7), "12:15:00AM");  // noon is written with AM
    EXPECT_EQ(layout(0, 15, 7), "00:15:00AM");
    EXPECT_EQ(layout(13, 15, 7), "01:15:00PM");
    EXPECT_EQ(layout(23, 59, 8), "11:59PM");

    CString s;

    // What the 12-hour layouts write, SetTime reads back as the same time of day.
    for (int hour = 0; hour < 24; ++hour) {
        const CQDXDateTime v = Make(2006, 1, 2, hour, 7, 9);
        v.GetStr(s, 7);
        CQDXDateTime back = Make(2006, 1, 2);
        ASSERT_EQ(back.SetTime(s), 0);
        // 00:xx is written 00:xxAM and read as 00:xx; 12:xx as 12:xxAM and read as 12:xx.
        EXPECT_EQ(back.GetTime(), v.GetTime()) << s.GetString();
    }
}

TEST(Layouts, CurrentDate)
{
    FixedClock clock(kNow);
    CString s;
    CQDXDateTime::GetCurrDate(s);
    EXPECT_STREQ(s, "07/15/2026");
    CQDXDateTime::GetCurrDateTime(s);
    EXPECT_STREQ(s, "7/15/2026 13:45:30");
    CTxt t;
    CQDXDateTime::GetCurrDateCTxt(t);
    EXPECT_STREQ(t, "07/15/2026");
    CQDXDateTime::GetCurrDateTimeCTxt(t);
    EXPECT_STREQ(t, "7/15/2026 13:45:30");
}

// Runs a test body in a fresh temporary directory as the current directory.
class InTempDir : public qdx::test::TempDirTest {
protected:
    void SetUp() override
    {
        ASSERT_NE(getcwd(m_old, sizeof m_old), nullptr);
        ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(chdir(m_old), 0); }

    char m_old[4096] = {};
};

TEST_F(InTempDir, TestJulianWritesTheCalendar)
{
    LogCapture log;
    CQDXDateTime v = Make(2010, 6, 7, 8, 9, 10);
    v.TestJulian();
    EXPECT_EQ(Show(v), "2005-01-01 08:09:10");
    EXPECT_THAT(log.lines, ElementsAre("Julian: Error=0"));

    std::ifstream file("Lunar.csv", std::ios::binary);
    ASSERT_TRUE(file);
    std::stringstream content;
    content << file.rdbuf();
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(content, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 1096u);
    EXPECT_EQ(lines[0], "1/1/2002,Tuesday,Series3,?");
    EXPECT_EQ(lines[1], "1/2/2002,Wednsday,Series4,?");
    EXPECT_EQ(lines[4], "1/5/2002,Saturday");
    EXPECT_EQ(lines[1095], "12/31/2004,Friday,Series2,?");
}

TEST_F(InTempDir, TestJulianReportsAFileItCannotCreate)
{
    ASSERT_EQ(mkdir("Lunar.csv", 0700), 0);  // a directory where the file should go
    LogCapture log;
    CQDXDateTime v;
    v.TestJulian();
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0].rfind("Julian: Cannot create Lunar.csv", 0), 0u) << log.lines[0];
    EXPECT_EQ(log.lines[1], "Julian: Error=1");
    EXPECT_EQ(Show(v), "2005-01-01 00:00:00");
}

} // namespace
