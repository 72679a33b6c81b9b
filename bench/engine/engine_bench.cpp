// The roll loop: nanoseconds per accepted roll of a whole engine run (CRollTally::RollThread,
// with its reseeding, its slot counters and the deviations at the end), against a minimal loop
// over the same generator written here: roll, reject above the limit, count in a plain array.
// Both take the number of values at run time, as the engine gets it from the settings.
//
// Each iteration makes one run of each, alternating which goes first, timed in the thread's CPU
// time. The counters give each one's ns per accepted roll (from the fastest pass, the least
// disturbed by other work on the machine, and as a mean) and the ratio engine / reference of
// the fastest passes; the goal is a ratio of at most 1.10.
#include "ReferenceRoll.h"
#include "RollTally.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kValues = 6;
constexpr int kRollsPerValue = 100000;

unsigned ClockSeed()
{
    return static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
}

std::int64_t Reference(RollGenerator generator, int values, int rolls)
{
    std::uint32_t x = ClockSeed();
    switch (generator) {
    case RollGenerator::Libc:
        std::srand(x);
        return ReferenceRun(values, rolls, [] { return std::rand() >> 16; });
    case RollGenerator::Lcg214013:
        return ReferenceRun(values, rolls, [&x] {
            x = x * 214013u + 2531011u;
            return static_cast<int>((x >> 16) & 0x7FFF);
        });
    case RollGenerator::Lcg1103515245:
        return ReferenceRun(values, rolls, [&x] {
            x = x * 1103515245u + 12345u;
            return static_cast<int>((x / 65536) % 32768);
        });
    default:  // the generators added for comparison are not measured here
        break;
    }
    return 0;
}

// CPU time of this thread: on a busy machine a pass that is preempted does not count the time
// it spent waiting.
double ThreadSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

void BM_RollLoop(benchmark::State& state)
{
    const auto generator = static_cast<RollGenerator>(state.range(0));
    std::string ini = "/tmp/rolvek-engine-bench-" + std::to_string(getpid()) + ".ini";
    std::ofstream(ini, std::ios::trunc) << "[SYS]\nRollValues=" << kValues << "\nRollsPerRun=" << kRollsPerValue
                                        << "\nGenerator=" << RollGeneratorName(generator) << "\n";
    CRollTally run(ini.c_str());
    std::remove(ini.c_str());
    if (run.m_nGenerator != generator || run.m_nRolls != kValues * kRollsPerValue) {
        state.SkipWithError("the engine did not take the benchmark's settings");
        return;
    }
    int values = kValues;
    benchmark::DoNotOptimize(values);  // a run-time number of values, as the engine's

    double engine = 0, reference = 0, fastestEngine = 1e9, fastestReference = 1e9;
    bool engineFirst = false;
    for (auto _ : state) {
        engineFirst = !engineFirst;
        for (int turn = 0; turn < 2; ++turn) {
            const double start = ThreadSeconds();
            if ((turn == 0) == engineFirst) {
                CRollTally::RollThread(&run);
                double s = ThreadSeconds() - start;
                engine += s;
                fastestEngine = std::min(fastestEngine, s);
                run.Reset();
            } else {
                benchmark::DoNotOptimize(Reference(generator, values, run.m_nRolls));
                double s = ThreadSeconds() - start;
                reference += s;
                fastestReference = std::min(fastestReference, s);
            }
        }
    }
    const double rolls = run.m_nRolls;
    const double n = static_cast<double>(state.iterations());
    state.counters["engine_ns"] = 1e9 * fastestEngine / rolls;
    state.counters["ref_ns"] = 1e9 * fastestReference / rolls;
    state.counters["engine_mean_ns"] = 1e9 * engine / n / rolls;
    state.counters["ref_mean_ns"] = 1e9 * reference / n / rolls;
    state.counters["ratio"] = fastestEngine / fastestReference;
    state.SetLabel(RollGeneratorName(generator));
}
BENCHMARK(BM_RollLoop)
    ->Arg(static_cast<int>(RollGenerator::Libc))
    ->Arg(static_cast<int>(RollGenerator::Lcg214013))
    ->Arg(static_cast<int>(RollGenerator::Lcg1103515245))
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
