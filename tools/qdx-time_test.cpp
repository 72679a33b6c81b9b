// qdx-time as a user meets it: the program run against loopback servers started here, its
// output, messages and exit codes. No test sets the clock.
#include <qdxtest/ScopedEnv.h>
#include <qdxtest/TempDir.h>
#include <qdxtest/TestHttpServer.h>
#include <qdxtest/TestTlsServer.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using ::testing::HasSubstr;
using Request = qdx::test::TestHttpServer::Request;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

using qdx::test::ReadFile;
using qdx::test::TestHttpServer;
using qdx::test::TestTlsServer;

// Runs qdx-time with `arguments` (words without blanks or quotes) in a folder of its own.
class QdxTimeTest : public qdx::test::TempDirTest {
protected:
    // Runs with the settings file of this test, holding `settings` (lines of section [INTERNET]).
    Outcome QdxTime(const std::string& arguments, const std::string& settings = "") const
    {
        std::ofstream(home + "/qdx-time.ini") << "[RELEASE]\nWriteLog=NO\n[INTERNET]\n" << settings;
        const std::string command = std::string(QDX_TIME_PATH) + " --config " + home + "/qdx-time.ini " + arguments +
                                    " >" + home + "/out 2>" + home + "/err";
        Outcome run;
        const int status = std::system(command.c_str());
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = ReadFile(home + "/out");
        run.err = ReadFile(home + "/err");
        return run;
    }

    const std::string home = dir.Path();
    qdx::test::NoProxy noProxy;
};

// A Date header line for a fixed text.
std::optional<std::string> Dated(const std::string& date)
{
    return TestHttpServer::Response(200, "OK", "", "Date: " + date + "\r\n");
}

constexpr auto ClockOffBy = &TestHttpServer::ClockOffBy;

// The number after `label` in `text`, or NaN.
double NumberAfter(const std::string& text, const std::string& label)
{
    const size_t at = text.find(label);
    return at == std::string::npos ? std::nan("") : std::atof(text.c_str() + at + label.size());
}

TEST_F(QdxTimeTest, MeasuresAServersOffsetToAFractionOfASecond)
{
    TestHttpServer plain(ClockOffBy(1.3));
    TestTlsServer tls(ClockOffBy(1.3));
    const std::string settings = std::string("CAFile=") + ROLVEK_TESTDATA_DIR + "/test-ca.pem\nHttpDateRequests=10\n";
    // https through the extra CA file, and a bare host name that means https first.
    for (const std::string& url : {plain.Url("/"), tls.Url("/"), "127.0.0.1:" + std::to_string(tls.Port())}) {
        const Outcome run = QdxTime("--page http-date --url " + url, settings);
        ASSERT_EQ(run.exitCode, 0) << url << ": " << run.err;
        EXPECT_NEAR(NumberAfter(run.out, "median offset "), 1300, 100) << run.out;
        EXPECT_LT(NumberAfter(run.out, "+/- "), 100) << run.out;
        EXPECT_NEAR(NumberAfter(run.out, "local clock "), 1.3, 0.1) << run.out;
        EXPECT_THAT(run.out, HasSubstr(" s behind\n"));
    }
}

TEST_F(QdxTimeTest, TheMedianLeavesOutAServerThatDisagrees)
{
    TestHttpServer a(ClockOffBy(0.5));
    TestHttpServer b(ClockOffBy(0.5));
    TestHttpServer off(ClockOffBy(60.5));
    const Outcome run = QdxTime("--page http-date --url " + a.Url("/") + " --url " + off.Url("/") + " --url " + b.Url("/"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NEAR(NumberAfter(run.out, "median offset "), 500, 100) << run.out;
    EXPECT_THAT(run.out, HasSubstr("left out " + off.Url("/") + " offset +60"));
    EXPECT_THAT(run.out, HasSubstr(", 2 of 3 servers"));
}

TEST_F(QdxTimeTest, FailuresNameTheAddressAndTheCause)
{
    int closedPort;
    {
        TestHttpServer closed(ClockOffBy(0));
        closedPort = closed.Port();
    }
    const std::string refused = "http://127.0.0.1:" + std::to_string(closedPort) + "/";
    TestHttpServer noDate([](const Request&) { return TestHttpServer::Response(200, "OK", ""); });
    TestHttpServer silent([](const Request&) { return std::nullopt; });
    TestTlsServer tls(ClockOffBy(0));
    TestHttpServer bigPage([](const Request&) { return TestHttpServer::Response(200, "OK", std::string(5000, 'x')); });
    struct Case {
        std::string arguments;
        std::string settings;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {"--page http-date --url qdx-time-test.invalid", "", 5,
         "qdx-time: https://qdx-time-test.invalid/: cannot resolve host qdx-time-test.invalid\n"},
        {"--page http-date --url " + refused, "", 6,
         "qdx-time: " + refused + ": cannot connect to 127.0.0.1 port " + std::to_string(closedPort) +
             ": connection refused\n"},
        {"--page http-date --url " + noDate.Url("/"), "", 9,
         "qdx-time: " + noDate.Url("/") + ": no Date header in the answer (status 200)\n"},
        {"--page http-date --url " + tls.Url("/"), "", 7, "qdx-time: " + tls.Url("/") + ": the certificate of 127.0.0.1"},
        {"--page http-date --url " + tls.Url("/"), "CAFile=/nonexistent/ca.pem\n", 7,
         "qdx-time: /nonexistent/ca.pem: cannot read the CA file /nonexistent/ca.pem: No such file or directory\n"},
        {"--page http-date --url " + silent.Url("/"), "HttpDateTimeoutSeconds=1\n", 8,
         "qdx-time: " + silent.Url("/") + ": no answer in time from 127.0.0.1"},
        {"--page http-date --url ftp://127.0.0.1/", "", 2,
         "qdx-time: ftp://127.0.0.1/: not an http:// or https:// address, nor a host name\n"},
        {"--page http-date --set", "", 4, "qdx-time: no server to ask: give --url ADDRESS, or list servers in "
                                          "HttpDateServers in section [INTERNET] of " + home + "/qdx-time.ini\n"},
        {"--page navy", "", 4,
         "qdx-time: no address for the Navy-layout time page: set TimePageNavy in section [INTERNET] of " + home +
             "/qdx-time.ini\n"},
        {"--page timegov", "TimePageTimeGov=http://timegov-layout-time-server.invalid/timezone.cgi?UTC/s/0\n", 4,
         "set TimePageTimeGov in section [INTERNET] of " + home +
             "/qdx-time.ini (now the placeholder http://timegov-layout-time-server.invalid/timezone.cgi?UTC/s/0)\n"},
        {"--page navy --set", "TimePageNavy=" + refused + "cgi-bin/timer.pl\n", 6,
         "qdx-time: " + refused + "cgi-bin/timer.pl: cannot connect to 127.0.0.1 port"},
        {"--page url", "DatePageURL=" + noDate.Url("/dater.sh") + "\n", 9,
         "qdx-time: " + noDate.Url("/dater.sh") + ": no date on the date page (-2)\n"},
        {"--page url", "DatePageURL=" + bigPage.Url("/dater.sh") + "\nFetchMaxKB=1\n", 1,
         "qdx-time: " + bigPage.Url("/dater.sh") + ": the answer of 127.0.0.1 is too large"},
    };
    for (const Case& c : cases) {
        const Outcome run = QdxTime(c.arguments, c.settings);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.err;
        EXPECT_THAT(run.err, HasSubstr(c.message)) << c.arguments;
        EXPECT_EQ(run.out, "") << c.arguments;
    }
}

TEST_F(QdxTimeTest, AServerDateACenturyOffIsToldRight)
{
    TestHttpServer server([](const Request&) { return Dated("Mon, 01 Jan 1900 00:00:00 GMT"); });
    const Outcome run = QdxTime("--page http-date --url " + server.Url("/"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // From 1900 to today is well beyond what 32 bits hold: 3944 million seconds and more.
    EXPECT_GT(NumberAfter(run.out, "local clock "), 3944e6) << run.out;
    EXPECT_THAT(run.out, HasSubstr(" s ahead\n"));
}

} // namespace
