#include <qdx/DateTime.h>
#include <qdx/HttpGet.h>
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <qdxtest/DateTimeTestSupport.h>
#include <qdxtest/QuietLog.h>
#include <qdxtest/ScopedEnv.h>
#include "datetime/InternetTime.h"
#include <qdxtest/TestHttpServer.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace qdx::test;  // Make, Show, Utc, FixedClock, ZoneScope, LogCapture, ...
using ::testing::Contains;
using ::testing::HasSubstr;

// Every test gets its own settings file (without log file) and a clean network seam.
class InternetTimeTest : public qdx::test::TempDirTest {
protected:
    void TearDown() override { SetHttpPageSource({}); }

    // Serves `pages` one per fetch (the last one again when they run out) and notes each fetch.
    void Serve(std::vector<std::string> pages, int result = kHttpPageOk)
    {
        SetHttpPageSource([this, pages, result](const char* agent, const char* url, bool head, std::size_t maxBody,
                                                HttpPage& page) {
            fetches.push_back({agent, url});
            EXPECT_FALSE(head);
            EXPECT_EQ(maxBody, 10000u);
            const size_t i = std::min(fetches.size(), pages.size()) - 1;
            page.status = 200;
            page.body = pages.empty() ? std::string() : pages[i];
            return result;
        });
    }

    std::string IniText() const { return settings.Text(); }

    struct Fetch {
        std::string agent;
        std::string url;
    };
    std::vector<Fetch> fetches;
    qdx::test::ScopedSettings settings{dir};
    qdx::test::NoProxy noProxy;
};

std::string NavyPage(const char* universalLine)
{
    return std::string("<html><body><pre>\r\n"
                       "Jan. 02, 01:04:43 PM EST   Eastern Time\r\n") +
           universalLine + "\r\n</pre></body></html>\r\n";
}

// --- the Navy layout ------------------------------------------------------------------------------

// Each reader on pages of its layout: its result, the value (from 2001-01-01 00:00:00) and the
// message it leaves, and how many pages it fetched.
TEST_F(InternetTimeTest, TimePages)
{
    using Reader = int (CQDXDateTime::*)(CString&, int);
    const Reader navy = &CQDXDateTime::SetNowNavy;
    const Reader timeGov = &CQDXDateTime::SetNowTimeGov;
    const std::string at43 = NavyPage("UTC JAN 02 2006 18:04:43 UNIVERSAL TIME");
    const std::string at44 = NavyPage("UTC JAN 02 2006 18:04:44 UNIVERSAL TIME");
    const size_t passes = static_cast<size_t>(qdx::inet_internal::kMaxPasses);
    const struct {
        Reader read;
        std::vector<std::string> pages;  // one per fetch, the last one again when they run out
        int twoReadings;
        int result;
        const char* value;
        const char* msg;  // nullptr: not checked
        size_t fewestFetches, mostFetches;
    } cases[] = {
        {navy, {at43}, 0, 0, "2006-01-02 18:04:43", "20060102 18:04:43", 1, 1},
        {navy, {"utc jun 30 2031 23:59:59 universal time\n"}, 0, 0, "2031-06-30 23:59:59", nullptr, 1, 1},
        // two readings: fetched until the page's second changes, or given up on a stopped clock
        {navy, {at43, at43, at44}, 1, 0, "2006-01-02 18:04:44", "20060102 18:04:44", 3, 3},
        {navy, {at43}, 1, -4, "2006-01-02 18:04:43", "SyncTime: the page's time did not advance", 3, passes},
        {navy, {"<html>\nJan. 02, 01:04:43 PM EST Eastern Time\n</html>\n"}, 1, -5, "2001-01-01 00:00:00",
         "SetGMT:  Clould not find Universal time", 1, 1},
        // a bad month: the new time with the old date, and the line named
        {navy, {NavyPage("utc XYZ 02 2006 18:04:43 Universal Time")}, 0, -6, "2001-01-01 18:04:43",
         "Invalid date/time in UTC XYZ 02 2006 18:04:43 UNIVERSAL TIME (2, 180443)", 1, 1},
        // only the first 10000 bytes are read, even from a source that hands over more
        {navy, {std::string(10000, '\n') + "UTC JAN 02 2006 18:04:43 UNIVERSAL TIME\n"}, 0, -5, "2001-01-01 00:00:00",
         nullptr, 1, 1},
        {timeGov, {"<html>\n<td><font size=7><B>18:04:43<BR>\nMonday, January 02, 2006<br>\n</font></td>\n</html>\n"}, 0,
         0, "2006-01-02 18:04:43", "20060102 18:04:43", 1, 1},
        {timeGov, {"<B>00:00:00<BR>\nSunday, January 01, 2006<br>\n"}, 0, 0, "2006-01-01 00:00:00", nullptr, 1, 1},
        // a refused date: the search goes on, and the refusal stays in msg when nothing follows
        {timeGov, {"<B>18:04:43<BR>\nMonday, Foo 02, 2006<br>\n<B>18:04:44<BR>\nTuesday, January 03, 2006<br>\n"}, 0, 0,
         "2006-01-03 18:04:44", nullptr, 1, 1},
        {timeGov, {"<B>18:04:43<BR>\nMonday, Foo 02, 2006<br>\n"}, 0, -5, nullptr, "Invalid date/time in Monday, Foo 02, 2006<br> (2, 180443)", 1, 1},
        {timeGov, {"<B>18:04:43<BR>"}, 0, -5, nullptr, nullptr, 1, 1},
        {timeGov, {"no time here\n"}, 0, -5, nullptr, nullptr, 1, 1},
        {timeGov, {"<B>18:04:43 <BR>\nMonday, January 02, 2006<br>\n"}, 0, -5, nullptr, nullptr, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pages.back().substr(0, 80));
        fetches.clear();
        Serve(c.pages);
        CQDXDateTime value = Make(2001, 1, 1);
        CString msg;
        EXPECT_EQ((value.*c.read)(msg, c.twoReadings), c.result);
        if (c.value) {
            EXPECT_EQ(Show(value), c.value);
        }
        if (c.msg) {
            EXPECT_STREQ(msg, c.msg);
        }
        EXPECT_GE(fetches.size(), c.fewestFetches);
        EXPECT_LE(fetches.size(), c.mostFetches);
    }
}

// Each reader names itself as the agent and reads its address from the settings, which then
// list it (with its default when it was missing).
TEST_F(InternetTimeTest, ReadersNameThemselvesAndTakeTheirAddressFromTheSettings)
{
    Serve({NavyPage("UTC JAN 02 2006 18:04:43 UNIVERSAL TIME")});
    CQDXDateTime value;
    CString msg;
    EXPECT_EQ(value.SetNowNavy(msg, 0), 0);
    IniWriteString("INTERNET", "TimePageTimeGov", "http://127.0.0.1:8080/cgi-bin/timer.pl");
    value.SetNowTimeGov(msg, 0);
    ASSERT_EQ(fetches.size(), 2u);
    EXPECT_EQ(fetches[0].agent, "SetNowNavy");
    EXPECT_EQ(fetches[0].url, qdx::inet_internal::kNavyDefault);
    EXPECT_THAT(IniText(), HasSubstr(std::string("TimePageNavy=") + qdx::inet_internal::kNavyDefault));
    EXPECT_EQ(fetches[1].agent, "SetNowTimeGov");
    EXPECT_EQ(fetches[1].url, "http://127.0.0.1:8080/cgi-bin/timer.pl");
}

TEST_F(InternetTimeTest, TwoReadingsBudgetStartsAfterASlowFirstFetch)
{
    // The first fetch alone takes longer than the whole budget; the page then advances.
    const std::vector<std::string> pages = {NavyPage("UTC JAN 02 2006 18:04:43 UNIVERSAL TIME"),
                                            NavyPage("UTC JAN 02 2006 18:04:44 UNIVERSAL TIME")};
    SetHttpPageSource([this, pages](const char*, const char* url, bool, std::size_t, HttpPage& page) {
        fetches.push_back({"", url});
        if (fetches.size() == 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(qdx::inet_internal::kMaxPassMilliseconds + 100));
        page.body = pages[std::min<size_t>(fetches.size(), 2) - 1];
        return kHttpPageOk;
    });
    CQDXDateTime value;
    CString msg;
    EXPECT_EQ(value.SetNowNavy(msg, 1), 0) << msg.str();
    EXPECT_EQ(Show(value), "2006-01-02 18:04:44");
}

// A bad month in the Navy line is logged as the date reader's refusal.
TEST_F(InternetTimeTest, NavyLineWithABadMonthIsLogged)
{
    Serve({NavyPage("utc XYZ 02 2006 18:04:43 Universal Time")});
    CQDXDateTime value;
    CString msg;
    LogCapture log;
    EXPECT_EQ(value.SetNowNavy(msg, 0), -6);
    EXPECT_THAT(log.lines, Contains("Invalid Date: 2"));
}

TEST_F(InternetTimeTest, FetchFailuresHaveTheirOwnCodes)
{
    const std::pair<int, const char*> cases[] = {{kHttpPageSessionError, "SyncTime: Internet open error!"},
                                                 {kHttpPageOpenError, "SyncTime: URL open error!"},
                                                 {kHttpPageReadError, "SyncTime: URL reading error!"}};
    for (const auto& [failure, text] : cases) {
        Serve({"UTC JAN 02 2006 18:04:43 UNIVERSAL TIME"}, failure);
        CQDXDateTime value;
        CString msg;
        EXPECT_EQ(value.SetNowNavy(msg, 0), failure);
        EXPECT_STREQ(msg, text);
        EXPECT_EQ(value.SetNowTimeGov(msg, 0), failure);
        EXPECT_STREQ(msg, text);
        EXPECT_TRUE(value.IsEmpty());
    }
}

// --- any server's Date header ---------------------------------------------------------------------

std::string HttpDate(std::time_t when)
{
    std::tm fields{};
    gmtime_r(&when, &fields);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &fields);
    return text;
}

TEST_F(InternetTimeTest, HttpDateTakesTheServersClock)
{
    // A server whose clock runs an hour and a half ahead.
    TestHttpServer server([](const TestHttpServer::Request&) {
        return TestHttpServer::Response(200, "OK", "body", "Date: " + HttpDate(std::time(nullptr) + 5400) + "\r\n");
    });
    CQDXDateTime value;
    CString msg;
    ASSERT_EQ(value.SetNowHttpDate(server.Url("/").c_str(), msg, 0), 0) << msg.str();
    CQDXDateTime expected;
    expected.SetNowGMT();
    expected.ShiftTime(5400);
    EXPECT_LE(std::abs(value.GetDiffSec(&expected)), 2) << Show(value) << " vs " << Show(expected);
    std::vector<TestHttpServer::Request> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "HEAD");
}

TEST_F(InternetTimeTest, HttpDateTwoReadingsFetchUntilTheSecondChanges)
{
    const std::time_t base = Utc(2006, 1, 2, 18, 4, 43);
    int answered = 0;
    TestHttpServer server([&answered, base](const TestHttpServer::Request&) {
        const std::time_t shown = base + (answered++ >= 2 ? 1 : 0);
        return TestHttpServer::Response(200, "OK", "", "Date: " + HttpDate(shown) + "\r\n");
    });
    CQDXDateTime value;
    CString msg;
    EXPECT_EQ(value.SetNowHttpDate(server.Url("/").c_str(), msg, 1), 0);
    EXPECT_EQ(server.Requests().size(), 3u);
    EXPECT_EQ(Show(value), "2006-01-02 18:04:44");
    EXPECT_STREQ(msg, "20060102 18:04:44");
}

TEST_F(InternetTimeTest, HttpDateFallsBackToGetWhenHeadIsRefused)
{
    TestHttpServer server([](const TestHttpServer::Request& request) {
        if (request.method == "HEAD")
            return TestHttpServer::Response(405, "Method Not Allowed", "");
        return TestHttpServer::Response(200, "OK", "page", "Date: Mon, 02 Jan 2006 18:04:43 GMT\r\n");
    });
    CQDXDateTime value;
    CString msg;
    EXPECT_EQ(value.SetNowHttpDate(server.Url("/").c_str(), msg, 0), 0);
    EXPECT_EQ(Show(value), "2006-01-02 18:04:43");
}

TEST_F(InternetTimeTest, HttpDateFailures)
{
    TestHttpServer noDate([](const TestHttpServer::Request&) { return TestHttpServer::Response(200, "OK", ""); });
    CQDXDateTime value = Make(2001, 1, 1);
    CString msg;
    EXPECT_EQ(value.SetNowHttpDate(noDate.Url("/").c_str(), msg, 0), -3);
    EXPECT_STREQ(msg, "SyncTime: no readable Date: header");
    EXPECT_EQ(Show(value), "2001-01-01 00:00:00");

    TestHttpServer badDate([](const TestHttpServer::Request&) {
        return TestHttpServer::Response(200, "OK", "", "Date: yesterday\r\n");
    });
    EXPECT_EQ(value.SetNowHttpDate(badDate.Url("/").c_str(), msg, 0), -3);

    EXPECT_EQ(value.SetNowHttpDate("ftp://127.0.0.1/", msg, 0), -2);
    EXPECT_STREQ(msg, "SyncTime: URL open error!");
    EXPECT_EQ(value.SetNowHttpDate(nullptr, msg, 0), -2);
}

TEST(HttpDate, ReadsAllThreeForms)
{
    uint32_t date = 0;
    uint32_t time = 0;
    const char* forms[] = {"Mon, 02 Jan 2006 18:04:43 GMT", "Monday, 02-Jan-06 18:04:43 GMT",
                           "Mon Jan  2 18:04:43 2006", "mon, 02 jan 2006 18:04:43 utc"};
    for (const char* form : forms) {
        ASSERT_TRUE(qdx::inet_internal::ParseHttpDate(form, date, time)) << form;
        EXPECT_EQ(date, 20060102u) << form;
        EXPECT_EQ(time, 180443u) << form;
    }
    ASSERT_TRUE(qdx::inet_internal::ParseHttpDate("Thu, 31 Dec 1998 23:59:60 GMT", date, time));  // leap second
    EXPECT_EQ(time, 235959u);
    for (const char* bad : {"", "yesterday", "Mon, 02 Jan 2006 18:04:43 CET", "Mon, 30 Feb 2006 18:04:43 GMT",
                            "Mon, 02 Jan 2006 24:00:00 GMT", "Mon, 02 Foo 2006 18:04:43 GMT",
                            "Mon, 02 Jan 2006 18:4:43 GMT", "Mon, 02 Jan 1850 18:04:43 GMT",
                            "Mon Jan  2 18:04:43 06", "Mon, 02 Jan 2006 18:04:43 GMT extra"})
        EXPECT_FALSE(qdx::inet_internal::ParseHttpDate(bad, date, time)) << bad;
    EXPECT_EQ(qdx::inet_internal::FindDateHeader("HTTP/1.1 200 OK\r\nX-Date: no\r\ndate:  Mon \r\n\r\n"), "Mon");
    EXPECT_EQ(qdx::inet_internal::FindDateHeader("Date: status line\r\n"), std::nullopt);
}

// --- the date page --------------------------------------------------------------------------------

class DatePageTest : public InternetTimeTest {
protected:
    // Starts a server answering with `body` and points DatePageURL at it.
    void ServeDatePage(const std::string& body)
    {
        m_server = std::make_unique<TestHttpServer>(
            [body](const TestHttpServer::Request&) { return TestHttpServer::Response(200, "OK", body); });
        IniWriteString("INTERNET", "DatePageURL", m_server->Url("/cgi-bin/dater.sh").c_str());
    }

private:
    std::unique_ptr<TestHttpServer> m_server;
};

// The first date on the page, in any of its forms; each line before it that is no date is logged.
TEST_F(DatePageTest, TakesTheFirstDateOnThePage)
{
    const struct {
        const char* page;
        int result;
        const char* value;  // nullptr: not looked at
        int invalidDates;
    } cases[] = {
        {"<html>\n2006/01/02\n2007/03/04\n", 0, "2006-01-02 00:00:00", 1},
        {"Today is\r\n02-Jan-2006\r\n", 0, "2006-01-02 00:00:00", 1},
        {"20060102\n", 0, "2006-01-02 00:00:00", 0},
        {"<html>\nno date\n</html>\n", -2, nullptr, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        ServeDatePage(c.page);
        CQDXDateTime value = Make(1999, 9, 9, 9, 9, 9);
        LogCapture log;
        EXPECT_EQ(value.SetNowURL(), c.result);
        if (c.value) {
            EXPECT_EQ(Show(value), c.value);
        }
        int invalidDates = 0;
        for (const std::string& line : log.lines)
            invalidDates += line.rfind("Invalid Date: ", 0) == 0;
        EXPECT_EQ(invalidDates, c.invalidDates);
    }
}

TEST_F(DatePageTest, UnreachablePageGivesTheLocalClock)
{
    IniWriteString("INTERNET", "DatePageURL", "ftp://127.0.0.1/dater.sh");
    FixedClock clock(Utc(2010, 7, 8, 9, 10, 11));
    CQDXDateTime value;
    EXPECT_EQ(value.SetNowURL(), -1);
    EXPECT_EQ(Show(value), "2010-07-08 09:10:11");  // TZ is UTC in the test runner
}

TEST_F(DatePageTest, DefaultAddressIsWrittenBack)
{
    CQDXDateTime value;
    EXPECT_EQ(value.SetNowURL(), -1);  // ".invalid" never resolves
    EXPECT_THAT(IniText(), HasSubstr(std::string("DatePageURL=") + qdx::inet_internal::kDatePageDefault));
}

// --- local time and the clock ---------------------------------------------------------------------

TEST(AdjToLocal, ShiftsByTheZonesOffsetInForceNow)
{
    {
        ZoneScope zone("EST5");
        CQDXDateTime value = Make(2006, 1, 1, 2, 0, 0);
        EXPECT_EQ(value.AdjToLocal(), 0);
        EXPECT_EQ(Show(value), "2005-12-31 21:00:00");
    }
    {
        // In July daylight saving is in force, whatever the value's own date.
        ZoneScope zone("EST5EDT,M3.2.0,M11.1.0");
        FixedClock clock(Utc(2006, 7, 1, 12));
        CQDXDateTime value = Make(2006, 1, 1, 2, 0, 0);
        value.AdjToLocal();
        EXPECT_EQ(Show(value), "2005-12-31 22:00:00");
    }
    {
        ZoneScope zone("IST-5:30");
        CQDXDateTime value = Make(2006, 1, 1, 20, 0, 0);
        value.AdjToLocal();
        EXPECT_EQ(Show(value), "2006-01-02 01:30:00");
    }
}

// A clock for SyncGMT: ClockNow reads it, ClockSet moves it (plus a little time for the call).
class FakeClock {
public:
    explicit FakeClock(timespec now) : m_now(now)
    {
        m_previousNow = SetClockNowSource([this] { return m_now; });
        m_previousSet = SetClockSetter([this](const timespec& when) {
            sets.push_back(when);
            if (failWith)
                return failWith;
            m_now = when;
            m_now.tv_nsec += 20 * 1000000;
            return 0;
        });
    }
    ~FakeClock()
    {
        SetClockNowSource(m_previousNow);
        SetClockSetter(m_previousSet);
    }

    std::vector<timespec> sets;
    int failWith = 0;

private:
    timespec m_now;
    ClockNowSource m_previousNow;
    ClockSetter m_previousSet;
};

// The clock is set to the value (Universal Time) at the start of a second, the message names
// the local times, and a refused or impossible setting is reported, the movement then 0.
TEST(SyncGMT, SetsTheClockAndReportsHowFarItMoved)
{
    const struct {
        const char* zone;
        timespec clock;
        CQDXDateTime value;
        int failWith;
        int result;
        bool set;
        float adjusted;
        const char* msg;
    } cases[] = {
        {"UTC", {Utc(2006, 1, 2, 18, 0, 0), 50 * 1000000}, Make(2006, 1, 2, 18, 4, 43), 0, 0, true, 282.970f,
         "Adjusted 282.970 Sec to 1/2/2006 18:04:43.000 (From 1/2/2006 18:00:00.050) DiffNow=283"},
        {"EST5", {Utc(2006, 1, 2, 18, 4, 40), 0}, Make(2006, 1, 2, 18, 4, 43), 0, 0, true, 3.020f,
         "Adjusted  3.020 Sec to 1/2/2006 13:04:43.000 (From 1/2/2006 13:04:40.000) DiffNow=3"},
        {"UTC", {Utc(2006, 1, 2, 18, 0, 0), 0}, Make(2006, 1, 2, 18, 4, 43), EPERM, -1, true, 0.0f,
         "SetLocalTime failed (Error 1=Operation not permitted)"},
        // never a value that is no date (what a failed page reading may leave) on the clock
        {"UTC", {Utc(2006, 1, 2, 18, 0, 0), 0}, CQDXDateTime(), 0, -1, false, 0.0f,
         "SetLocalTime failed (Error 22=Invalid argument)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + Show(c.value) + " " + std::to_string(c.failWith));
        ZoneScope zone(c.zone);
        FakeClock clock(c.clock);
        clock.failWith = c.failWith;
        CQDXDateTime value = c.value;
        CString msg;
        float adjusted = -1;
        EXPECT_EQ(value.SyncGMT(msg, &adjusted), c.result);
        EXPECT_STREQ(msg, c.msg);
        EXPECT_NEAR(adjusted, c.adjusted, 0.0005f);
        EXPECT_EQ(Show(value), Show(c.value));  // the value itself stays Universal Time
        ASSERT_EQ(clock.sets.size(), c.set ? 1u : 0u);
        if (c.set) {
            EXPECT_EQ(clock.sets[0].tv_sec, Utc(2006, 1, 2, 18, 4, 43));
            EXPECT_EQ(clock.sets[0].tv_nsec, 0);
        }
    }
    // A null pointer for the movement is fine.
    ZoneScope zone("UTC");
    FakeClock clock({Utc(2006, 1, 2, 18, 0, 0), 0});
    CString msg;
    EXPECT_EQ(Make(2006, 1, 2, 18, 4, 43).SyncGMT(msg, nullptr), 0);
}

TEST(SyncGMT, SetsTheReadingsInstantAcrossDaylightSavingChanges)
{
    // The reading and the machine's clock (both Universal Time) on either side of each 2024 change
    // and in the repeated autumn hour (New York 05:00-07:00 UTC, Berlin 00:00-02:00 UTC).
    struct Case {
        const char* zone;
        int month, day;
        int readingHour, readingMinute, clockHour, clockMinute;
        const char* setLocal;  // the local time the message names
    };
    const Case cases[] = {
        {"America/New_York", 3, 10, 6, 50, 7, 10, "3/10/2024 01:50:00"},
        {"America/New_York", 3, 10, 7, 10, 6, 50, "3/10/2024 03:10:00"},
        {"America/New_York", 11, 3, 6, 30, 6, 30, "11/3/2024 01:30:00"},
        {"America/New_York", 11, 3, 5, 30, 6, 30, "11/3/2024 01:30:00"},
        {"America/New_York", 11, 3, 6, 30, 5, 30, "11/3/2024 01:30:00"},
        {"America/New_York", 11, 3, 7, 30, 5, 30, "11/3/2024 02:30:00"},
        {"America/New_York", 11, 3, 4, 30, 7, 30, "11/3/2024 00:30:00"},
        {"Europe/Berlin", 3, 31, 0, 50, 1, 10, "3/31/2024 01:50:00"},
        {"Europe/Berlin", 3, 31, 1, 10, 0, 50, "3/31/2024 03:10:00"},
        {"Europe/Berlin", 10, 27, 0, 30, 1, 30, "10/27/2024 02:30:00"},
        {"Europe/Berlin", 10, 27, 1, 30, 0, 30, "10/27/2024 02:30:00"},
        {"Europe/Berlin", 10, 27, 1, 30, 1, 30, "10/27/2024 02:30:00"},
        {"Europe/Berlin", 10, 27, 2, 30, 0, 30, "10/27/2024 03:30:00"},
    };
    for (const Case& c : cases) {
        ZoneScope zone(c.zone);
        const std::time_t reading = Utc(2024, c.month, c.day, c.readingHour, c.readingMinute);
        const std::time_t machine = Utc(2024, c.month, c.day, c.clockHour, c.clockMinute);
        FakeClock clock({machine, 0});
        CQDXDateTime value = Make(2024, c.month, c.day, c.readingHour, c.readingMinute, 0);
        CString msg;
        const std::string label = std::string(c.zone) + " reading " + Show(value) + ", clock " +
                                  std::to_string(c.clockHour) + ":" + std::to_string(c.clockMinute);
        EXPECT_EQ(value.SyncGMT(msg, nullptr), 0) << label;
        ASSERT_EQ(clock.sets.size(), 1u) << label;
        EXPECT_EQ(clock.sets[0].tv_sec, reading) << label;
        EXPECT_THAT(msg.str(), HasSubstr(std::string(" to ") + c.setLocal + ".000 ")) << label << ": " << msg.str();
        EXPECT_THAT(msg.str(), ::testing::EndsWith("DiffNow=" + std::to_string(reading - machine))) << label;
    }
}

TEST(SyncByOffset, MovesTheClockByTheOffsetToTheMillisecond)
{
    ZoneScope zone("Europe/Berlin");
    struct Case {
        timespec now;
        int64_t offsetMs;
        timespec set;
        const char* msg;
    };
    const Case cases[] = {
        {{Utc(2006, 1, 2, 18, 4, 41), 950400000}, 1300, {Utc(2006, 1, 2, 18, 4, 43), 250000000},
         "Adjusted +1.300 Sec to 1/2/2006 19:04:43.250 (From 1/2/2006 19:04:41.950)"},
        {{Utc(2006, 1, 2, 18, 4, 41), 100000000}, -1300, {Utc(2006, 1, 2, 18, 4, 39), 800000000},
         "Adjusted -1.300 Sec to 1/2/2006 19:04:39.800 (From 1/2/2006 19:04:41.100)"},
    };
    for (const Case& c : cases) {
        FakeClock clock(c.now);
        CString msg;
        float adjusted = 0;
        EXPECT_EQ(CQDXDateTime::SyncByOffset(c.offsetMs, msg, &adjusted), 0);
        ASSERT_EQ(clock.sets.size(), 1u);
        EXPECT_EQ(clock.sets[0].tv_sec, c.set.tv_sec);
        EXPECT_EQ(clock.sets[0].tv_nsec, c.set.tv_nsec);
        EXPECT_STREQ(msg, c.msg);
        EXPECT_NEAR(adjusted, c.offsetMs * 0.001 + 0.020, 0.0015);  // the fake clock adds 20 ms
    }
    FakeClock clock({Utc(2006, 1, 2), 0});
    clock.failWith = EPERM;
    CString msg;
    EXPECT_EQ(CQDXDateTime::SyncByOffset(1000, msg, nullptr), -1);
    EXPECT_STREQ(msg, "SetLocalTime failed (Error 1=Operation not permitted)");
}

TEST(SyncGMT, WaitsForTheStartOfTheNextSecond)
{
    ZoneScope zone("UTC");
    // The clock reads .950 until the call has waited, then the start of the next second.
    const auto start = std::chrono::steady_clock::now();
    ClockNowSource previous = SetClockNowSource([start] {
        return std::chrono::steady_clock::now() - start < std::chrono::milliseconds(30)
                   ? timespec{Utc(2006, 1, 2, 18, 0, 0), 950 * 1000000}
                   : timespec{Utc(2006, 1, 2, 18, 0, 1), 2 * 1000000};
    });
    ClockSetter previousSet = SetClockSetter([](const timespec&) { return 0; });
    CQDXDateTime value = Make(2006, 1, 2, 18, 0, 1);
    CString msg;
    EXPECT_EQ(value.SyncGMT(msg, nullptr), 0);
    EXPECT_THAT(msg.str(), HasSubstr("(From 1/2/2006 18:00:01.002)"));
    SetClockNowSource(previous);
    SetClockSetter(previousSet);
}

} // namespace
