// Setting a date-time from text and from date and time numbers, with the log lines the
// rejected numbers leave.

#include <qdxtest/DateTimeTestSupport.h>
#include <qdxtest/QuietLog.h>

#include <qdx/DateTime.h>
#include <qdx/Settings.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <unistd.h>

using namespace qdx::test;  // Make, Show, Utc, FixedClock, ZoneScope, LogCapture, ...
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// The runner writes no log file: messages still reach the last-message sink, where the tests
// read them.
::testing::Environment* const kQuietLog = ::testing::AddGlobalTestEnvironment(new qdx::test::QuietLog);

// 2026-07-15 13:45:30 UTC; the runner's zone is UTC.
constexpr std::time_t kNow = 1784123130;

TEST(SetDTNumbers, RejectsAndLogs)
{
    LogCapture log;
    CQDXDateTime v = Make(2001, 2, 3, 4, 5, 6);
    EXPECT_EQ(v.SetDT(20060102u, 143005u), 0);
    EXPECT_EQ(Show(v), "2006-01-02 14:30:05");
    EXPECT_EQ(v.SetDT(20061345u, 0u), 0);  // the calendar is not consulted
    EXPECT_EQ(Show(v), "2006-13-45 00:00:00");

    v = Make(2001, 2, 3, 4, 5, 6);
    EXPECT_EQ(v.SetDT(20060102u, 240001u), -2);
    EXPECT_EQ(Show(v), "2001-02-03 04:05:06");
    EXPECT_EQ(v.SetDT(20060102u, static_cast<uint32_t>(-5)), -2);
    EXPECT_EQ(v.SetDT(18991231u, 101010u), -1);
    EXPECT_EQ(Show(v), "2001-02-03 10:10:10");  // the time is set, the date is not
    EXPECT_THAT(log.lines, ElementsAre("Invalid Time: 240001", "Invalid Time: -5", "Invalid Date: 18991231"));
}

TEST(SetDTText, AcceptedForms)
{
    FixedClock clock(kNow);
    CQDXDateTime v;
    EXPECT_EQ(v.SetDT("20060102"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 00:00:00");
    EXPECT_EQ(v.SetDT("20060102 143005"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 14:30:05");
    EXPECT_EQ(v.SetDT("060102 14:30"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 14:30:00");
    EXPECT_EQ(v.SetDT("060102 1430"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 14:30:00");
    EXPECT_EQ(v.SetDT("1/2/2006 14:30:05"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 14:30:05");
    EXPECT_EQ(v.SetDT("1/2/06 7"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 07:00:00");
    EXPECT_EQ(v.SetDT("1/2/70"), 0);
    EXPECT_EQ(Show(v), "1970-01-02 00:00:00");
    EXPECT_EQ(v.SetDT("\t 1/2 \t"), 0);  // this year
    EXPECT_EQ(Show(v), "2026-01-02 00:00:00");
    EXPECT_EQ(v.SetDT("1/2 1430"), 0);
    EXPECT_EQ(Show(v), "2026-01-02 14:30:00");
    EXPECT_EQ(v.SetDT("2/29/2004 23:59:59 and more words"), 0);
    EXPECT_EQ(Show(v), "2004-02-29 23:59:59");
    EXPECT_EQ(v.SetDT("20061345"), 0);
    EXPECT_EQ(Show(v), "2006-13-45 00:00:00");
    EXPECT_EQ(v.SetDTCheck("20061345"), -1);
    EXPECT_EQ(v.SetDTCheck("20060102 240000"), -1);  // hour 24 is stored, and not valid
    EXPECT_EQ(v.SetDTCheck("20060102 2359"), 0);
}

TEST(SetDTText, SpecialWordsUseTheClock)
{
    ZoneScope zone("Europe/Paris");
    FixedClock clock(kNow);
    CQDXDateTime v;
    EXPECT_EQ(v.SetDT("now"), 0);
    EXPECT_EQ(Show(v), "2026-07-15 15:45:30");
    EXPECT_EQ(v.SetDT("  TODAY "), 0);
    EXPECT_EQ(Show(v), "2026-07-15 00:00:00");
    EXPECT_EQ(v.SetDT("NowEST"), 0);
    EXPECT_EQ(Show(v), "2026-07-15 09:45:30");
    EXPECT_EQ(v.SetDT("todayest"), 0);
    EXPECT_EQ(Show(v), "2026-07-15 00:00:00");
    v.Reset();
    EXPECT_EQ(v.SetDT("Live"), 0);
    EXPECT_EQ(Show(v), "2026-07-15 00:00:00");
    EXPECT_EQ(v.SetDT("Nowhere"), 0);  // a word, not a number: nothing changes
    EXPECT_EQ(Show(v), "2026-07-15 00:00:00");
}

TEST(SetDTText, OddCasesKeepTheValue)
{
    FixedClock clock(kNow);
    const CQDXDateTime before = Make(2001, 2, 3, 4, 5, 6);
    CQDXDateTime v = before;
    LogCapture log;
    EXPECT_EQ(v.SetDT("Jan 2 2006"), 0);
    EXPECT_EQ(Show(v), Show(before));
    EXPECT_EQ(v.SetDT("0:30"), 0);  // its first field reads as 0
    EXPECT_EQ(Show(v), Show(before));
    EXPECT_EQ(v.SetDT("2/30/2006"), -1);
    EXPECT_EQ(v.SetDT("13/2/2006"), -1);
    EXPECT_EQ(v.SetDT("1/2/1850"), -1);
    EXPECT_EQ(v.SetDT("18500102"), -1);
    EXPECT_EQ(v.SetDT("1/2/2006 25:00"), -2);
    EXPECT_EQ(v.SetDT("1/2/2006 12:60"), -2);
    EXPECT_EQ(v.SetDT("1/2/2006 12:00:60"), -2);
    EXPECT_EQ(v.SetDT("24:30"), -2);
    EXPECT_EQ(Show(v), Show(before));
    EXPECT_THAT(log.lines, IsEmpty());
    EXPECT_EQ(v.SetDT(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(Show(v), Show(before));

    // A time alone is stored; the missing date is reported.
    EXPECT_EQ(v.SetDT("12:30"), -1);
    EXPECT_EQ(Show(v), "2001-02-03 12:30:00");
    EXPECT_THAT(log.lines, ElementsAre("Invalid Date: 0"));

    EXPECT_EQ(v.SetDT(""), 0);
    EXPECT_EQ(v.IsEmpty(), 1);
    v = before;
    EXPECT_EQ(v.SetDT(" \t  "), 0);
    EXPECT_EQ(v.IsEmpty(), 1);

    // Only the first 1000 characters are looked at; a longer text is no harm.
    std::string longText = "20060102 1430";
    longText.append(5000, ' ');
    longText += "junk";
    EXPECT_EQ(v.SetDT(longText.c_str()), 0);
    EXPECT_EQ(Show(v), "2006-01-02 14:30:00");
    std::string longField(3000, '7');
    EXPECT_EQ(v.SetDT(longField.c_str()), -1);  // cut to a 99-digit number, beyond every year
}

TEST(SetTimeText, TwelveHourTextsAndWords)
{
    ZoneScope zone("Europe/Paris");
    FixedClock clock(kNow);
    CQDXDateTime v = Make(2006, 1, 2, 4, 5, 6);
    EXPECT_EQ(v.SetTime("12:30AM"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 12:30:00");  // 12:30AM is noon
    EXPECT_EQ(v.SetTime("12:30PM"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 12:30:00");
    EXPECT_EQ(v.SetTime("1:30 pm"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 13:30:00");
    EXPECT_EQ(v.SetTime("130PM"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 13:30:00");
    EXPECT_EQ(v.SetTime("00:30"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 00:30:00");
    EXPECT_EQ(v.SetTime("240000"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 12:00:00");
    EXPECT_EQ(v.SetTime("7"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 07:00:00");
    EXPECT_EQ(v.SetTime("today"), 0);  // the time of day, not midnight
    EXPECT_EQ(Show(v), "2006-01-02 15:45:30");
    EXPECT_EQ(v.SetTime("NOWEST"), 0);
    EXPECT_EQ(Show(v), "2006-01-02 09:45:30");
    EXPECT_EQ(v.SetTime(nullptr), 0);
    EXPECT_EQ(Show(v), "2006-01-02 00:00:00");
    v.SetTime(1, 2, 3);
    EXPECT_EQ(v.SetTime("  "), 0);
    EXPECT_EQ(Show(v), "2006-01-02 00:00:00");

    LogCapture log;
    v.SetTime(1, 2, 3);
    EXPECT_EQ(v.SetTime("25:00"), -2);
    EXPECT_EQ(v.SetTime("10:75"), -2);
    EXPECT_EQ(v.SetTime("250000"), -2);
    EXPECT_EQ(Show(v), "2006-01-02 01:02:03");
    EXPECT_THAT(log.lines, ElementsAre("Invalid Time: -1", "Invalid Time: -2", "Invalid Time: 250000"));
}

// Numbers too large for their field, in every reader: refused with the codes any other bad value
// gets, never wrapped into a valid value. Each "%s" takes every number below with every prefix.
TEST(LargeNumbers, RefusedByEveryReader)
{
    enum Reader { SetTime, SetDT, DateAlpha, TimeAlpha };
    struct Case {
        Reader reader;
        const char* text;
        int result;
        const char* log = nullptr;  // explicit cases: the one line logged, if any
        int fields[3] = {3, 1, 2};  // GetDateAlpha's year, month and day fields
        char sep = '/';
        bool minus = true;  // false where a minus would read as the dash form's separator
    };
    const Case patterns[] = {
        {SetTime, "%s", -2},           {SetTime, "%sPM", -2},         {SetTime, "%s:30", -2},
        {SetTime, "12:%s", -2},        {SetTime, "12:30:%s", -2},     {SetDT, "%s", -1},
        {SetDT, "%s:30", -2},          {SetDT, "20060102 %s", -2},    {SetDT, "20060102 12:%s", -2},
        {SetDT, "%s/2/2006", -1},      {SetDT, "1/%s/2006", -1},      {SetDT, "1/2/%s 7", -1},
        {SetDT, "1/2/2006 %s", -2},    {DateAlpha, "%s", 2},          {DateAlpha, "%s/2/2006", 2},
        {DateAlpha, "1/%s/2006", 3},   {DateAlpha, "1/2/%s", 1},      {DateAlpha, "Jan %s", 3, {}, {-1, 2, 3}},
        {DateAlpha, "JAN %s 2006", 3, {}, {3, 1, 2}, ' '},
        {DateAlpha, "%s-Jan-2006", 3, {}, {1, 2, 3}, '/', false},
        {DateAlpha, "2-%s-2006", 2, {}, {1, 2, 3}, '/', false},
        {DateAlpha, "2-Jan-%s", 1, {}, {1, 2, 3}, '/', false},
        {TimeAlpha, "%s.5", -1},       {TimeAlpha, "%s:30", -1},      {TimeAlpha, "12:%s", -2},
        {TimeAlpha, "12:30:%s", -3},
    };
    const char* const numbers[] = {"2147483647", "2147483648", "4294967295", "4294967296", "4294967297",
                                   "4295090752" /* 2^32 + 123456 */, "9223372036854775808", "99999999999999999999"};
    const char* const prefixes[] = {"", "+", "-", "000"};
    const Case cases[] = {
        {SetTime, "4294967296", -2, "Invalid Time: 4294967296"},
        {SetTime, "4295090752", -2, "Invalid Time: 4295090752"},
        {SetTime, "-4294967296", -2, "Invalid Time: -42949672960000"},  // hours, in hhmmss
        {SetTime, "12:4294967297", -2, "Invalid Time: -2"},              // the bad minute
        {SetTime, "9223372036854775808", -2, "Invalid Time: 99999999999999"},  // clamped where read
        {SetDT, "20060102 4295090752", -2, "Invalid Time: 4295090752"},
        {SetDT, "4294967296", -1},
        {SetDT, "1/4294967297/2006", -1},
        {DateAlpha, "Jan 4294967297", 3, nullptr, {-1, 2, 3}},
        {DateAlpha, "1/4294967297/2006", 3},
        {TimeAlpha, "2147483647", 2147483647},  // no colon, no range check: the number itself
        {TimeAlpha, "2147483648", -1},           // beyond an int: a bad hour
        {TimeAlpha, "4294967296", -1},
        {TimeAlpha, "-2147483647", -1},  // -2147483647 hours
        {TimeAlpha, "99999999999999999999", -1},
        {TimeAlpha, "-4503599627370495.5", -1},
    };

    FixedClock clock(kNow);
    const CQDXDateTime before = Make(2001, 2, 3, 4, 5, 6);
    LogCapture log;
    auto check = [&](const Case& c, const std::string& text, bool checkLog) {
        CQDXDateTime v = before;
        log.lines.clear();
        int result = 0;
        switch (c.reader) {
        case SetTime: result = v.SetTime(text.c_str()); break;
        case SetDT: result = v.SetDT(text.c_str()); break;
        case DateAlpha:
            result = static_cast<int>(CQDXDateTime::GetDateAlpha(text.c_str(), c.fields[0], c.fields[1], c.fields[2], c.sep));
            break;
        case TimeAlpha: result = CQDXDateTime::GetTimeAlpha(text.c_str()); break;
        }
        EXPECT_EQ(result, c.result) << c.reader << " '" << text << "'";
        EXPECT_EQ(Show(v), Show(before)) << c.reader << " '" << text << "'";
        if (checkLog) {
            EXPECT_EQ(log.lines, c.log ? std::vector<std::string>{c.log} : std::vector<std::string>{}) << text;
        }
    };
    for (const Case& c : patterns)
        for (const char* number : numbers)
            for (const char* prefix : prefixes) {
                if (prefix[0] == '-' && !c.minus)
                    continue;
                std::string text = c.text;
                text.replace(text.find("%s"), 2, std::string(prefix) + number);
                check(c, text, false);
            }
    for (const Case& c : cases)
        check(c, c.text, true);

    // SetDTJul has no range to check: a day number beyond an int reads as the nearest one.
    for (const char* number : numbers)
        for (const char* prefix : prefixes) {
            const std::string text = std::string(prefix) + number;
            const int jd = prefix[0] != '-' ? INT_MAX : text == "-2147483647" ? -INT_MAX : INT_MIN;
            CQDXDateTime fromText, fromInt;
            EXPECT_EQ(fromText.SetDTJul(text.c_str()), fromInt.SetDTJul(jd)) << text;
            EXPECT_EQ(Show(fromText), Show(fromInt)) << text;
        }
}

} // namespace
