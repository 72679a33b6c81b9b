// qdx-time as a user meets it: the program run against loopback servers started here, its
// output, messages and exit codes. No test sets the clock.
#include "net/TestHttpServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using ::testing::HasSubstr;
using Request = TestHttpServer::Request;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs qdx-time with `arguments` (words without blanks or quotes) in a folder of its own.
class QdxTimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qdx-time-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            unsetenv(name);
    }
    void TearDown() override { if (std::system(("rm -rf " + dir).c_str()) != 0) {} }

    Outcome QdxTime(const std::string& arguments) const
    {
        const std::string command = std::string(QDX_TIME_PATH) + " " + arguments + " >" + dir + "/out 2>" + dir + "/err";
        Outcome run;
        const int status = std::system(command.c_str());
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = ReadFile(dir + "/out");
        run.err = ReadFile(dir + "/err");
        return run;
    }

    std::string dir;
};

// A Date header line for a fixed text.
std::optional<std::string> Dated(const std::string& date)
{
    return TestHttpServer::Response(200, "OK", "", "Date: " + date + "\r\n");
}

TEST_F(QdxTimeTest, AServerDateACenturyOffIsToldRight)
{
    TestHttpServer server([](const Request&) { return Dated("Mon, 01 Jan 1900 00:00:00 GMT"); });
    const Outcome run = QdxTime("--page http-date --url " + server.Url("/"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // From 1900 to today is well beyond what 32 bits hold: 3944 million seconds and more.
    long long seconds = 0;
    const size_t at = run.out.find("UTC, ");
    ASSERT_NE(at, std::string::npos) << run.out;
    seconds = std::atoll(run.out.c_str() + at + 5);
    EXPECT_GT(seconds, 3944000000LL) << run.out;
    EXPECT_THAT(run.out, HasSubstr(" s ahead"));
}

} // namespace
