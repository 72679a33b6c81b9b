#include "RollLoop.h"
#include "RollTally.h"
#include "RollTallyInternal.h"

#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <qdxtest/TempDir.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A settings file of its own for each test, so tests may run side by side.
using Settings = qdx::test::TempFile;

std::int64_t Sum(const CRollTally& t)
{
    std::int64_t sum = 0;
    for (int i = 0; i < t.m_Counts.GetSize(); ++i)
        sum += t.GetCount(i);
    return sum;
}

void SetCounts(CRollTally& t, std::vector<std::int64_t> counts)
{
    t.m_Counts.RemoveAll();
    for (std::int64_t c : counts)
        t.m_Counts.AddInt64(c);
}

bool WaitForState(const CRollTally& t, int state)
{
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (t.m_nState != state) {
        if (std::chrono::steady_clock::now() > give_up)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Counts per face after a scripted sequence of generator results (repeated as needed).
struct Scripted {
    std::vector<int> results;
    std::vector<int> reseedsAt;  // attempt numbers before which reseed was called
    int attempts = 0;
    bool completed = false;

    std::vector<std::int64_t> Run(int values, int rolls, const std::atomic<bool>* stop = nullptr)
    {
        std::vector<void*> slots(static_cast<std::size_t>(values), nullptr);
        completed = RollLoop(
            slots.data(), values, rolls,
            [this] { return results[static_cast<std::size_t>(attempts++) % results.size()]; },
            [this] { reseedsAt.push_back(attempts); }, stop);
        std::vector<std::int64_t> counts;
        for (void* s : slots)
            counts.push_back(reinterpret_cast<std::intptr_t>(s));
        return counts;
    }
};

// --- settings -----------------------------------------------------------------------------------

TEST(RollTallySettings, UnworkableValuesTakeTheNearestWorkable)
{
    {
        Settings ini;  // a new engine: nothing counted yet
        CRollTally t(ini.Path());
        EXPECT_TRUE(t.m_nRuns == 0 && t.m_fMaxDev == 0.0f && t.m_nState == 0);
        EXPECT_TRUE(t.m_Counts.GetSize() == 0 && t.m_Devs.GetSize() == 0);
    }
    struct Case {
        std::string file;
        int expectValues;
        long long expectRolls;
        RollGenerator expectGenerator;
        const char* fileAfter;  // nullptr: the file is left as it was
    } cases[] = {
        // Missing keys take the defaults and are written back.
        {"", 6, 600000, RollGenerator::Libc, "[SYS]\nRollValues=6\nRollsPerRun=100000\nGenerator=libc\n"},
        // Few rolls are raised but stay in the file.
        {"RollValues=3\nRollsPerRun=500\nGenerator=LCG214013\n", 3, 3000, RollGenerator::Lcg214013, nullptr},
        // An unknown generator gives the default.
        {"RollValues=0\nRollsPerRun=1000\nGenerator=mersenne\n", 1, 1000, RollGenerator::Libc, nullptr},
        {"RollValues=-5\nRollsPerRun=2000\nGenerator=mersenne\n", 1, 2000, RollGenerator::Libc, nullptr},
        {"RollValues=40000\nRollsPerRun=1000\nGenerator=mersenne\n", 32767, 32767LL * 1000, RollGenerator::Libc,
         nullptr},
        {"RollValues=32767\nRollsPerRun=100000\nGenerator=mersenne\n", 32767, 32767LL * (2147483647 / 32767),
         RollGenerator::Libc, nullptr},  // fits 32 bits
        {"RollValues=6\nRollsPerRun=-1\nGenerator=mersenne\n", 6, 6000, RollGenerator::Libc, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string text = c.file.empty() ? "" : "[SYS]\n" + c.file;
        Settings ini(text);
        CRollTally t(ini.Path());
        EXPECT_EQ(t.m_nValues, c.expectValues);
        EXPECT_EQ(t.m_nRolls, c.expectRolls);
        EXPECT_EQ(t.m_nGenerator, c.expectGenerator);
        EXPECT_EQ(ini.Text(), c.fileAfter ? c.fileAfter : text);
    }
}

TEST(RollTallySettings, GeneratorNames)
{
    for (RollGenerator g : {RollGenerator::Libc, RollGenerator::Lcg214013, RollGenerator::Lcg1103515245,
                            RollGenerator::Minstd, RollGenerator::Mt19937, RollGenerator::Randu}) {
        RollGenerator back = RollGenerator::Libc;
        EXPECT_TRUE(RollGeneratorFromName(RollGeneratorName(g), &back));
        EXPECT_EQ(back, g);
    }
    RollGenerator g = RollGenerator::Lcg214013;
    EXPECT_FALSE(RollGeneratorFromName("lcg", &g));
    EXPECT_FALSE(RollGeneratorFromName(nullptr, &g));
    EXPECT_EQ(g, RollGenerator::Lcg214013);
}

// --- the roll loop ------------------------------------------------------------------------------

TEST(RollLoop, RejectedTopResultsAreNotCountedAsRolls)
{
    struct Case {
        int values, rolls;
        std::vector<int> results;
        std::vector<std::int64_t> counts;
        int attempts;
    } cases[] = {
        // Six values reject the top two results: two rejections in the first pass.
        {6, 12, {32760, 32761, 32762, 32763, 32764, 32765, 32766, 32767}, {2, 2, 2, 2, 2, 2}, 14},
        {1, 6, {32767, 32766, 0}, {6}, 9},  // one value rejects only the top result
    };
    for (const Case& c : cases) {
        Scripted s;
        s.results = c.results;
        EXPECT_EQ(s.Run(c.values, c.rolls), c.counts) << c.values;
        EXPECT_EQ(s.attempts, c.attempts) << c.values;
    }
}

TEST(RollLoop, EveryFaceHasTheSameShareOfResults)
{
    for (int values : {1, 2, 3, 6, 7, 100, 32767}) {
        Scripted s;
        for (int r = 0; r <= 32767; ++r)
            s.results.push_back(r);
        int accepted = 32767 - 32767 % values;
        std::vector<std::int64_t> counts = s.Run(values, accepted);
        EXPECT_EQ(s.attempts, accepted) << values;
        for (std::int64_t c : counts)
            ASSERT_EQ(c, accepted / values) << values;
    }
}

TEST(RollLoop, TheFaceIsTheRemainderForEveryDieAndResult)
{
    // Every die size, with the results around each multiple of it and at the ends of the range;
    // every result for a few sizes.
    for (int values = 1; values <= 32767; ++values) {
        const FaceOf faceOf(values);
        for (int r : {0, 1, values - 1, values, values + 1, 2 * values - 1, 32766 - 32767 % values, 32766, 32767}) {
            if (r >= 0 && r <= 32767 && faceOf(static_cast<std::uint32_t>(r)) != static_cast<std::uint32_t>(r % values))
                FAIL() << r << " % " << values;
        }
    }
    for (int values : {3, 7, 1000, 16383, 32767})
        for (int r = 0; r <= 32767; ++r)
            ASSERT_EQ(FaceOf(values)(static_cast<std::uint32_t>(r)), static_cast<std::uint32_t>(r % values)) << values;
}

TEST(RollLoop, ReseedsHalfWayThenEveryTenthAttempt)
{
    Scripted all;
    all.results = {0};
    all.Run(1, 1000);
    EXPECT_EQ(all.reseedsAt, (std::vector<int>{500, 601, 702, 803, 904}));

    Scripted half;  // rejected attempts count down too
    half.results = {32767, 0};
    half.Run(1, 1000);
    ASSERT_EQ(half.attempts, 2000);
    ASSERT_EQ(half.reseedsAt.size(), 15u);
    for (std::size_t k = 0; k < half.reseedsAt.size(); ++k)
        EXPECT_EQ(half.reseedsAt[k], 500 + 101 * static_cast<int>(k));
}

TEST(RollLoop, AStopEndsTheLoopWithinAFewThousandAttempts)
{
    std::atomic<bool> stop{true};
    Scripted stopped;  // asked before it starts: not one roll
    stopped.results = {0};
    stopped.Run(1, 1000000, &stop);
    EXPECT_FALSE(stopped.completed);
    EXPECT_EQ(stopped.attempts, 0);

    // Asked part way through a run of 2^31 - 1 rolls.
    Scripted asked;
    const int askAt = 123457;
    asked.results = {0};
    stop = false;
    std::vector<void*> slots(1, nullptr);
    const bool completed = RollLoop(
        slots.data(), 1, 2147483647,
        [&] {
            if (++asked.attempts == askAt)
                stop = true;
            return 0;
        },
        [] {}, &stop);
    EXPECT_FALSE(completed);
    EXPECT_GE(asked.attempts, askAt);
    EXPECT_LE(asked.attempts, askAt + kRollStopCheckAttempts);

    Scripted unasked;  // a flag that stays false changes nothing
    stop = false;
    unasked.results = {32767, 0};
    unasked.Run(1, 1000, &stop);
    EXPECT_TRUE(unasked.completed);
    EXPECT_EQ(unasked.attempts, 2000);
}

// --- runs, deviations, totals -------------------------------------------------------------------

TEST(RollTallyRun, EveryGeneratorFillsARun)
{
    for (const char* name : {"libc", "lcg214013", "lcg1103515245", "minstd", "mt19937", "randu"}) {
        Settings ini(std::string("[SYS]\nRollsPerRun=20000\nGenerator=") + name + "\n");
        CRollTally t(ini.Path());
        ASSERT_EQ(CRollTally::RollThread(&t), 0);
        EXPECT_EQ(t.m_nState, 2);
        EXPECT_EQ(t.m_hDoneThread, std::this_thread::get_id());
        ASSERT_EQ(t.m_Counts.GetSize(), 6) << name;
        ASSERT_EQ(t.m_Devs.GetSize(), 6) << name;
        EXPECT_EQ(Sum(t), 120000) << name;
        float largest = 0.0f;
        for (int i = 0; i < 6; ++i) {
            EXPECT_GT(t.GetCount(i), 18000) << name << " face " << i + 1;
            largest = std::max(largest, std::fabs(t.GetDev(i)));
        }
        EXPECT_EQ(t.m_fMaxDev, largest) << name;
        EXPECT_LT(t.m_fMaxDev, 10.0f) << name;
    }
}

// Each generator against its definition written here, seeded from the run's own seed sequence,
// through the same loop: a run of a fixed seed gives exactly these counts.
TEST(RollTallyRun, EveryGeneratorFollowsItsDefinitionAndTheRunsSeeds)
{
    std::uint32_t x = 0;
    std::minstd_rand minstd;
    std::mt19937 mt;
    struct Case {
        RollGenerator generator;
        std::function<void(std::uint32_t)> seed;
        std::function<int()> next;
    } cases[] = {
        {RollGenerator::Libc, [](std::uint32_t s) { std::srand(s); }, [] { return std::rand() >> 16; }},
        {RollGenerator::Lcg214013, [&](std::uint32_t s) { x = s; },
         [&] { return static_cast<int>(((x = x * 214013u + 2531011u) >> 16) & 0x7FFF); }},
        {RollGenerator::Lcg1103515245, [&](std::uint32_t s) { x = s; },
         [&] { return static_cast<int>(((x = x * 1103515245u + 12345u) / 65536) % 32768); }},
        {RollGenerator::Minstd, [&](std::uint32_t s) { minstd.seed(s); }, [&] { return static_cast<int>(minstd() >> 16); }},
        {RollGenerator::Mt19937, [&](std::uint32_t s) { mt.seed(s); }, [&] { return static_cast<int>(mt() >> 17); }},
        {RollGenerator::Randu, [&](std::uint32_t s) { x = (s & 0x7FFFFFFFu) | 1u; },
         [&] { return static_cast<int>((x = (x * 65539u) & 0x7FFFFFFFu) >> 16); }},
    };
    for (const Case& c : cases) {
        RunSettings settings = FitRunSize(7, 1000, c.generator);
        settings.seed = 20261207;
        CRollTally run(settings);
        run.m_nRunIndex = 3;
        ASSERT_EQ(CRollTally::RollThread(&run), 0);
        ASSERT_EQ(run.m_nState, 2);

        RunSeeds seeds(20261207, 3);
        c.seed(seeds.Next());
        std::vector<void*> slots(7, nullptr);
        RollLoop(slots.data(), 7, 7000, c.next, [&] { c.seed(seeds.Next()); });
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(run.GetCount(i), reinterpret_cast<std::intptr_t>(slots[static_cast<std::size_t>(i)]))
                << RollGeneratorName(c.generator) << " face " << i + 1;
    }
    // Other runs and other seeds start elsewhere.
    RunSeeds a(1, 0), b(1, 1), c(2, 0);
    EXPECT_NE(a.Next(), b.Next());
    EXPECT_NE(RunSeeds(1, 0).Next(), c.Next());
}

TEST(RollTallyRun, OneValueHasNoDeviation)
{
    Settings ini("[SYS]\nRollValues=1\nRollsPerRun=5000\n");
    CRollTally t(ini.Path());
    CRollTally::RollThread(&t);
    ASSERT_EQ(t.m_Counts.GetSize(), 1);
    EXPECT_EQ(t.GetCount(0), 5000);
    EXPECT_EQ(t.GetDev(0), 0.0f);
    EXPECT_EQ(t.m_fMaxDev, 0.0f);
}

TEST(RollTallyRun, EachDeviationIsTheMeansQuotientRoundedOnce)
{
    // Odd and even numbers of faces, counts the mean does not divide evenly. One engine takes
    // them in turn: a row of as many faces as the last computes every deviation and the largest
    // anew over the same slots.
    struct Case {
        int values;
        std::vector<std::int64_t> counts;
    } cases[] = {
        {4, {90, 110, 100, 100}},
        {4, {100, 101, 99, 100}},
        {4, {}},            // nothing counted: no deviations
        {4, {0, 0, 0, 0}},  // no rolls: every face at the mean, no 0/0
        {1, {7}},
        {2, {1, 2}},
        {3, {3, 1000003, 17}},
        {5, {999999937, 1000000007, 999999999, 1000000009, 3}},
        {7, {0, 0, 0, 1, 0, 0, 0}},
    };
    Settings ini("[SYS]\nRollValues=4\n");
    CRollTally t(ini.Path());
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.values << " faces, " << c.counts.size() << " counts");
        t.m_nValues = c.values;
        SetCounts(t, c.counts);
        t.CalcDeviations();
        ASSERT_EQ(t.m_Devs.GetSize(), static_cast<int>(c.counts.size()));
        std::int64_t sum = 0;
        for (std::int64_t count : c.counts)
            sum += count;
        const float mean = static_cast<float>(static_cast<double>(sum) / c.values);
        float largest = 0.0f;
        for (std::size_t i = 0; i < c.counts.size(); ++i) {
            const float dev =
                sum == 0 ? 0.0f : static_cast<float>((static_cast<double>(c.counts[i]) / mean - 1.0) * 100.0);
            EXPECT_EQ(t.GetDev(static_cast<int>(i)), dev) << "face " << i + 1;
            largest = std::max(largest, std::fabs(dev));
        }
        EXPECT_EQ(t.m_fMaxDev, largest);
    }
}

TEST(RollTallyTotals, AddRunAddsFaceByFace)
{
    Settings ini("[SYS]\nRollValues=3\n");
    CRollTally totals(ini.Path()), run(ini.Path());
    SetCounts(run, {1, 2, 3});
    run.m_nState = 2;
    EXPECT_EQ(totals.AddRun(run), 0);
    EXPECT_EQ(run.m_nState, 3);
    EXPECT_EQ(totals.m_nRuns, 1);
    SetCounts(run, {10, 20, 30});
    run.m_nState = 2;
    totals.AddRun(run);
    EXPECT_EQ(totals.m_nRuns, 2);
    ASSERT_EQ(totals.m_Counts.GetSize(), 3);
    EXPECT_EQ(totals.GetCount(0), 11);
    EXPECT_EQ(totals.GetCount(1), 22);
    EXPECT_EQ(totals.GetCount(2), 33);
    EXPECT_FLOAT_EQ(totals.GetDev(0), -50.0f);
    EXPECT_FLOAT_EQ(totals.m_fMaxDev, 50.0f);
    EXPECT_EQ(totals.m_nState, 0);  // the totals never leave state 0

    // A run whose worker still rolls is not read.
    run.m_nState = 1;
    EXPECT_EQ(totals.AddRun(run), -1);
    EXPECT_EQ(totals.m_nRuns, 2);
    EXPECT_EQ(totals.GetCount(0), 11);

    totals.Reset();
    EXPECT_EQ(totals.m_nRuns, 0);
    EXPECT_EQ(totals.m_Counts.GetSize(), 0);
    EXPECT_EQ(totals.m_Devs.GetSize(), 0);
    EXPECT_EQ(totals.m_fMaxDev, 0.0f);
    EXPECT_EQ(totals.m_nValues, 3);
    EXPECT_EQ(totals.m_nRolls, 300000);
}

TEST(RollTallyTotals, TotalsPastTwoToThe31StayRight)
{
    Settings ini("[SYS]\nRollValues=2\n");
    CRollTally totals(ini.Path()), run(ini.Path());
    const std::int64_t big = 1500000000;  // two runs of these pass 2^31 per face and 2^32 in sum
    for (int i = 0; i < 3; ++i) {
        SetCounts(run, {big, big + 10000});
        run.m_nState = 2;
        totals.AddRun(run);
    }
    EXPECT_EQ(totals.GetCount(0), 3 * big);
    EXPECT_EQ(totals.GetCount(1), 3 * big + 30000);
    EXPECT_EQ(Sum(totals), 6 * big + 30000);
    EXPECT_GT(totals.GetDev(1), 0.0f);
    EXPECT_LT(totals.GetDev(0), 0.0f);
    EXPECT_NEAR(totals.m_fMaxDev, 3.333e-4f, 0.2e-4f);  // 15000 off a mean of 4.5e9, in percent
}

// --- the worker thread --------------------------------------------------------------------------

TEST(RollTallyThread, StartRollsOnAWorkerAndResetJoinsItOnce)
{
    Settings ini("[SYS]\nRollsPerRun=5000\n");
    CRollTally totals(ini.Path()), run(ini.Path());
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(run.Start(), 0);
        EXPECT_EQ(run.Start(), 1);  // a second start while the run is busy starts nothing
        ASSERT_TRUE(WaitForState(run, 2));
        EXPECT_EQ(run.Start(), 1);
        EXPECT_EQ(run.m_hDoneThread, run.m_hThread.get_id());
        EXPECT_NE(run.m_hDoneThread, std::this_thread::get_id());
        EXPECT_EQ(Sum(run), run.m_nRolls);
        EXPECT_EQ(totals.AddRun(run), 0);
        EXPECT_EQ(run.Start(), 1);  // state 3 too
        run.Reset();
        EXPECT_FALSE(run.m_hThread.joinable());
        EXPECT_EQ(run.m_hDoneThread, std::thread::id());
        EXPECT_EQ(run.m_nState, 0);
        run.Reset();  // nothing left to join: harmless
    }
    EXPECT_EQ(totals.m_nRuns, 3);
    EXPECT_EQ(Sum(totals), 3LL * run.m_nRolls);
}

TEST(RollTallyThread, ResetAndDestructionWaitForARollingWorker)
{
    Settings ini("[SYS]\nRollsPerRun=200000\n");
    CRollTally run(ini.Path());
    ASSERT_EQ(run.Start(), 0);
    run.Reset();  // the worker finishes first; nothing of it survives the reset
    EXPECT_EQ(run.m_nState, 0);
    EXPECT_EQ(run.m_Counts.GetSize(), 0);
    EXPECT_FALSE(run.m_hThread.joinable());

    auto doomed = std::make_unique<CRollTally>(ini.Path());
    ASSERT_EQ(doomed->Start(), 0);
    doomed.reset();  // waits for the worker rather than freeing its object under it
}

TEST(RollTallyThread, ACancelledRunDropsItsCountsAndIsIdle)
{
    Settings ini("[SYS]\nRollValues=1\nRollsPerRun=2147483647\n");
    CRollTally run(ini.Path());
    ASSERT_EQ(run.Start(), 0);
    run.Cancel();
    run.Reset();  // joins a worker that stops within a few thousand rolls, not 2^31
    EXPECT_EQ(run.m_nState, 0);
    EXPECT_EQ(run.m_Counts.GetSize(), 0);

    EXPECT_FALSE(run.m_bStop);  // Reset forgets the Cancel
    run.Cancel();
    CRollTally::RollThread(&run);  // a cancelled idle run ends at once, empty
    EXPECT_EQ(run.m_nState, 0);
    EXPECT_EQ(run.m_Counts.GetSize(), 0);
}

TEST(RollTallyThread, AFailedStartIsReportedAndLeavesTheRunIdle)
{
    Settings ini("[RELEASE]\nWriteLog=NO\n[SYS]\nRollsPerRun=1000\n");
    SetIniPath(ini.Path());  // the log writer's settings: no log file from this test
    std::vector<std::string> messages;
    LastMessageSink previousSink =
        SetLastMessageSink([&messages](const char* text) { messages.push_back(text); });
    RollWorkerFactory previousFactory = g_rollWorkerFactory;
    g_rollWorkerFactory = [](CRollTally*) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };

    CRollTally run(ini.Path());
    EXPECT_EQ(run.Start(), -1);
    EXPECT_EQ(run.m_nState, 0);
    EXPECT_FALSE(run.m_hThread.joinable());
    EXPECT_EQ(messages, std::vector<std::string>{"Start failed"});

    g_rollWorkerFactory = previousFactory;  // the next tick's try succeeds
    EXPECT_EQ(run.Start(), 0);
    EXPECT_TRUE(WaitForState(run, 2));
    run.Reset();

    SetLastMessageSink(previousSink);
    SetIniPath(nullptr);
}

} // namespace
