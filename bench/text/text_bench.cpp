// Text library timings, each against a reference measured in the same run:
//
// - BM_StrfldVsMemchr: strfld taking field 50 of a 1 KB line of 100 fields, against a plain
//   memchr scan that finds and copies the same field. Counter "ratio" = strfld time / scan time;
//   the goal is at most 2.
// - BM_AppendCharVsString, BM_AppendTextVsString: CTxt::Add and CTxt::AddTxt building a text of
//   `range` pieces, against std::string's push_back and append. CTxt grows to the exact size on
//   every append (memory is kept tight on purpose), so its cost grows with the square of the
//   length; the ratio is recorded, not held to a target.
//
// Subject and reference run in alternating batches, so both see the same cache and frequency
// state; each benchmark's own time is the two together.
#include <qdx/Fields.h>
#include <qdx/Txt.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// 100 fields of 9 characters and a delimiter: 1000 bytes, the last field without one.
std::string MakeLine()
{
    std::string line;
    for (int i = 1; i <= 100; ++i) {
        std::string field = "f" + std::to_string(i);
        field.resize(9, 'x');
        line += field;
        if (i < 100)
            line += '|';
    }
    return line;
}

// The reference: skip 49 delimiters with memchr, then copy up to the next one.
int MemchrField(const char* line, size_t length, int field, char* out, int outSize)
{
    const char* p = line;
    const char* end = line + length;
    for (int k = 1; k < field; ++k) {
        p = static_cast<const char*>(std::memchr(p, '|', static_cast<size_t>(end - p)));
        if (!p)
            return 0;
        ++p;
    }
    const char* stop = static_cast<const char*>(std::memchr(p, '|', static_cast<size_t>(end - p)));
    size_t n = static_cast<size_t>((stop ? stop : end) - p);
    if (n > static_cast<size_t>(outSize - 1))
        n = static_cast<size_t>(outSize - 1);
    std::memcpy(out, p, n);
    out[n] = '\0';
    return static_cast<int>(n);
}

void BM_StrfldVsMemchr(benchmark::State& state)
{
    const std::string line = MakeLine();
    constexpr int kBatch = 2000;
    char out[64];
    double subject = 0, reference = 0;
    long check = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i) {
            benchmark::DoNotOptimize(line.data());
            check += strfld(line.c_str(), '|', 50, 0, out, sizeof out);
            benchmark::ClobberMemory();
        }
        subject += Seconds(start);
        start = Clock::now();
        for (int i = 0; i < kBatch; ++i) {
            benchmark::DoNotOptimize(line.data());
            check -= MemchrField(line.c_str(), line.size(), 50, out, sizeof out);
            benchmark::ClobberMemory();
        }
        reference += Seconds(start);
    }
    if (check != 0 || std::strcmp(out, "f50xxxxxx") != 0)
        state.SkipWithError("strfld and the scan disagree");
    const double calls = static_cast<double>(state.iterations()) * kBatch;
    state.counters["strfld_ns"] = 1e9 * subject / calls;
    state.counters["memchr_ns"] = 1e9 * reference / calls;
    state.counters["ratio"] = subject / reference;
}
BENCHMARK(BM_StrfldVsMemchr)->MinTime(1.0);

void BM_AppendCharVsString(benchmark::State& state)
{
    const int pieces = static_cast<int>(state.range(0));
    double subject = 0, reference = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        CTxt t;
        for (int i = 0; i < pieces; ++i)
            t.Add(static_cast<char>('a' + i % 26));
        benchmark::DoNotOptimize(t.GetData());
        subject += Seconds(start);
        start = Clock::now();
        std::string s;
        for (int i = 0; i < pieces; ++i)
            s.push_back(static_cast<char>('a' + i % 26));
        benchmark::DoNotOptimize(s.data());
        reference += Seconds(start);
        if (s.size() != static_cast<size_t>(t.GetLength()))
            state.SkipWithError("lengths differ");
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ctxt_us"] = 1e6 * subject / n;
    state.counters["string_us"] = 1e6 * reference / n;
    state.counters["ratio"] = subject / reference;
}
BENCHMARK(BM_AppendCharVsString)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000);

void BM_AppendTextVsString(benchmark::State& state)
{
    const int pieces = static_cast<int>(state.range(0));
    const char* piece = "0123456789";
    double subject = 0, reference = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        CTxt t;
        for (int i = 0; i < pieces; ++i)
            t.AddTxt(piece);
        benchmark::DoNotOptimize(t.GetData());
        subject += Seconds(start);
        start = Clock::now();
        std::string s;
        for (int i = 0; i < pieces; ++i)
            s.append(piece);
        benchmark::DoNotOptimize(s.data());
        reference += Seconds(start);
        if (s.size() != static_cast<size_t>(t.GetLength()))
            state.SkipWithError("lengths differ");
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ctxt_us"] = 1e6 * subject / n;
    state.counters["string_us"] = 1e6 * reference / n;
    state.counters["ratio"] = subject / reference;
}
BENCHMARK(BM_AppendTextVsString)->Arg(100)->Arg(1000)->Arg(10000);

} // namespace

BENCHMARK_MAIN();
