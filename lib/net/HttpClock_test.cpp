#include <qdx/HttpClock.h>
#include <qdx/HttpGet.h>

#include <qdxtest/ScopedEnv.h>
#include <qdxtest/TestHttpServer.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <thread>

namespace {

using qdx::test::TestHttpServer;

using ::testing::ElementsAre;

HttpClockReading Reading(double offsetMs, double uncertaintyMs)
{
    HttpClockReading r;
    r.ok = true;
    r.offsetMs = offsetMs;
    r.uncertaintyMs = uncertaintyMs;
    return r;
}

TEST(HttpCombineClocks, MedianSpreadAndTheServersLeftOut)
{
    HttpClockReading failed;
    struct Case {
        std::vector<HttpClockReading> readings;
        int used;
        double median, spread;
        std::vector<size_t> outliers;
        bool majority;
    };
    const Case cases[] = {
        {{}, 0, 0, 0, {}, true},
        {{failed}, 0, 0, 0, {}, true},
        {{Reading(1300, 5)}, 1, 1300, 0, {}, true},
        // One of three far off: named and left out; the failed one does not count.
        {{Reading(500, 5), failed, Reading(60500, 5), Reading(504, 5)}, 2, 502, 4, {2}, true},
        // Within their uncertainty of each other: all kept.
        {{Reading(100, 20), Reading(130, 20), Reading(90, 20)}, 3, 100, 40, {}, true},
        // Two that disagree: no majority, so neither is left out.
        {{Reading(0, 5), Reading(1000, 5)}, 2, 500, 1000, {}, false},
    };
    for (const Case& c : cases) {
        const HttpClockSummary s = HttpCombineClocks(c.readings);
        EXPECT_EQ(s.used, c.used);
        EXPECT_DOUBLE_EQ(s.medianMs, c.median);
        EXPECT_DOUBLE_EQ(s.spreadMs, c.spread);
        EXPECT_EQ(s.outliers, c.outliers);
        EXPECT_EQ(s.majority, c.majority);
    }
}

// Two measurements at once (as qdx-time makes them), each against its own server.
TEST(HttpMeasureClock, MeasuresSeveralServersAtOnce)
{
    qdx::test::NoProxy noProxy;
    TestHttpServer ahead(TestHttpServer::ClockOffBy(2.5));
    TestHttpServer behind(TestHttpServer::ClockOffBy(-0.7));
    HttpClockReading a;
    HttpClockReading b;
    std::thread first([&] { a = HttpMeasureClock(ahead.Url("/"), {"", 8, 10000}); });
    std::thread second([&] { b = HttpMeasureClock(" " + behind.Url("/x") + " ", {"", 8, 10000}); });
    first.join();
    second.join();
    ASSERT_TRUE(a.ok) << a.error.message;
    ASSERT_TRUE(b.ok) << b.error.message;
    // The true offset lies within the uncertainty the measurement gives.
    EXPECT_LE(std::fabs(a.offsetMs - 2500), a.uncertaintyMs + 1);
    EXPECT_LE(std::fabs(b.offsetMs + 700), b.uncertaintyMs + 1);
    EXPECT_EQ(b.url, behind.Url("/x"));
    EXPECT_GE(a.requests, 2);
    EXPECT_LT(a.uncertaintyMs, 500);
}

TEST(HttpLastError, TellsWhyTheLastFetchFailed)
{
    qdx::test::NoProxy noProxy;
    CString page;
    EXPECT_EQ(HttpGet("http://qdx-no-such-host.invalid/page", page, 0), 2);
    HttpFetchError error = HttpLastError();
    EXPECT_EQ(error.cause, HttpFailure::Resolve);
    EXPECT_EQ(error.url, "http://qdx-no-such-host.invalid/page");
    EXPECT_EQ(error.message, "cannot resolve host qdx-no-such-host.invalid");

    TestHttpServer server([](const TestHttpServer::Request&) { return TestHttpServer::Response(200, "OK", "x"); });
    EXPECT_EQ(HttpGet(server.Url("/").c_str(), page, 0), 0);
    EXPECT_EQ(HttpLastError().cause, HttpFailure::None);

    EXPECT_EQ(HttpGet("https://127.0.0.1/", page, 0), 1);
    EXPECT_EQ(HttpLastError().cause, HttpFailure::BadAddress);
}

} // namespace
