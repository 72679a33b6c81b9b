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
    const CQDXDateTime start = Make(2001, 2, 3, 4, 5, 6);
    ExpectTextSets(&CQDXDateTime::SetDT, start,
                   {
                       {"20060102", 0, "2006-01-02 00:00:00"},
                       {"20060102 143005", 0, "2006-01-02 14:30:05"},
                       {"060102 14:30", 0, "2006-01-02 14:30:00"},
                       {"060102 1430", 0, "2006-01-02 14:30:00"},
                       {"1/2/2006 14:30:05", 0, "2006-01-02 14:30:05"},
                       {"1/2/06 7", 0, "2006-01-02 07:00:00"},
                       {"1/2/70", 0, "1970-01-02 00:00:00"},
                       {"\t 1/2 \t", 0, "2026-01-02 00:00:00"},  // this year
                       {"1/2 1430", 0, "2026-01-02 14:30:00"},
                       {"2/29/2004 23:59:59 and more words", 0, "2004-02-29 23:59:59"},
                       {"20061345", 0, "2006-13-45 00:00:00"},
                   });
    ExpectTextSets(&CQDXDateTime::SetDTCheck, start,
                   {
                       {"20061345", -1, nullptr},
                       {"20060102 240000", -1, nullptr},  // hour 24 is stored, and not valid
                       {"20060102 2359", 0, "2006-01-02 23:59:00"},
                   });
}

TEST(SetDTText, SpecialWordsUseTheClock)
{
    ZoneScope zone("Europe/Paris");
    FixedClock clock(kNow);
    ExpectTextSets(&CQDXDateTime::SetDT, CQDXDateTime(),
                   {
                       {"now", 0, "2026-07-15 15:45:30"},
                       {"  TODAY ", 0, "2026-07-15 00:00:00"},
                       {"NowEST", 0, "2026-07-15 09:45:30"},
                       {"todayest", 0, "2026-07-15 00:00:00"},
                       {"Live", 0, "2026-07-15 00:00:00"},
                   });
    // A word, not a number: nothing changes.
    ExpectTextSets(&CQDXDateTime::SetDT, Make(2006, 1, 2), {{"Nowhere", 0, "2006-01-02 00:00:00"}});
}

TEST(SetDTText, OddCasesKeepTheValue)
{
    FixedClock clock(kNow);
    const CQDXDateTime before = Make(2001, 2, 3, 4, 5, 6);
    const char* kept = "2001-02-03 04:05:06";
    LogCapture log;
    ExpectTextSets(&CQDXDateTime::SetDT, before,
                   {
                       {"Jan 2 2006", 0, kept},
                       {"0:30", 0, kept},  // its first field reads as 0
                       {"2/30/2006", -1, kept},
                       {"13/2/2006", -1, kept},
                       {"1/2/1850", -1, kept},
                       {"18500102", -1, kept},
                       {"1/2/2006 25:00", -2, kept},
                       {"1/2/2006 12:60", -2, kept},
                       {"1/2/2006 12:00:60", -2, kept},
                       {"24:30", -2, kept},
                       {nullptr, -1, kept},
                   });
    EXPECT_THAT(log.lines, IsEmpty());
    CQDXDateTime v = before;

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
    LogCapture log;
    ExpectTextSets(&CQDXDateTime::SetTime, Make(2006, 1, 2, 1, 2, 3),
                   {
                       {"12:30AM", 0, "2006-01-02 12:30:00"},  // 12:30AM is noon
                       {"12:30PM", 0, "2006-01-02 12:30:00"},
                       {"1:30 pm", 0, "2006-01-02 13:30:00"},
                       {"130PM", 0, "2006-01-02 13:30:00"},
                       {"00:30", 0, "2006-01-02 00:30:00"},
                       {"240000", 0, "2006-01-02 12:00:00"},
                       {"7", 0, "2006-01-02 07:00:00"},
                       {"today", 0, "2006-01-02 15:45:30"},  // the time of day, not midnight
                       {"NOWEST", 0, "2006-01-02 09:45:30"},
                       {nullptr, 0, "2006-01-02 00:00:00"},
                       {"  ", 0, "2006-01-02 00:00:00"},
                       {"25:00", -2, "2006-01-02 01:02:03"},
                       {"10:75", -2, "2006-01-02 01:02:03"},
                       {"250000", -2, "2006-01-02 01:02:03"},
                   });
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
