// Setting a date-time from text and from date and time numbers, with the log lines the
// rejected numbers leave.

#include "DateTimeTestSupport.h"

#include <qdx/DateTime.h>
#include <qdx/Settings.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

using dt_test::FixedClock;
using dt_test::LogCapture;
using dt_test::Make;
using dt_test::Show;
using dt_test::Utc;
using dt_test::ZoneScope;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// The runner writes no log file: messages still reach the last-message sink, where the tests
// read them.
class QuietLog : public ::testing::Environment {
public:
    void SetUp() override
    {
        char dir[] = "/tmp/qdx_dt_testXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
        SetIniPath((m_dir + "/test.ini").c_str());
        IniWriteString("RELEASE", "WriteLog", "NO");
    }
    void TearDown() override
    {
        SetIniPath(nullptr);
        unlink((m_dir + "/test.ini").c_str());
        rmdir(m_dir.c_str());
    }

private:
    std::string m_dir;
};
::testing::Environment* const kQuietLog = ::testing::AddGlobalTestEnvironment(new QuietLog);

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

} // namespace
