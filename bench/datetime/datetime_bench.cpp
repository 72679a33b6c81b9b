// What a far SetDTJul costs. SetDTJul reads the clock, then moves the date from today to the
// Julian day asked for. The far call (to 1900-01-01, some 46 000 days back) is measured against
// two references timed in the same run:
//   near:  the same call for today's Julian day (clock and conversions, no shift);
//   steps: walking the same distance one day at a time, the way the date used to get there.
// Counters: far_ns, near_ns, steps_ns (per call), far_over_near and steps_over_far.

#include <qdx/DateTime.h>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

double NanosecondsPer(Clock::time_point start, int64_t count)
{
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / static_cast<double>(count);
}

void BM_SetDTJulFar(benchmark::State& state)
{
    constexpr int kFarDay = 2415021;  // 1900-01-01
    CQDXDateTime value;
    value.SetNow();
    const int today = value.GetJulian();

    int64_t calls = 0;
    const Clock::time_point farStart = Clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(value.SetDTJul(kFarDay));
        ++calls;
    }
    const double farNs = NanosecondsPer(farStart, calls);

    const Clock::time_point nearStart = Clock::now();
    for (int64_t i = 0; i < calls; ++i)
        benchmark::DoNotOptimize(value.SetDTJul(today));
    const double nearNs = NanosecondsPer(nearStart, calls);

    // Day steps over the same distance; a few walks are enough for a stable figure.
    const int distance = today - kFarDay;
    constexpr int kWalks = 20;
    const Clock::time_point stepStart = Clock::now();
    for (int walk = 0; walk < kWalks; ++walk) {
        value.SetDTJul(today);
        for (int d = 0; d < distance; ++d)
            value.ShiftDate(-1);
        benchmark::DoNotOptimize(value.day);
    }
    const double stepsNs = NanosecondsPer(stepStart, kWalks);

    state.counters["far_ns"] = farNs;
    state.counters["near_ns"] = nearNs;
    state.counters["steps_ns"] = stepsNs;
    state.counters["far_over_near"] = farNs / nearNs;
    state.counters["steps_over_far"] = stepsNs / farNs;
}
BENCHMARK(BM_SetDTJulFar);

} // namespace

BENCHMARK_MAIN();
