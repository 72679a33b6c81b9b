// Reading lines: bgetline against std::getline on a std::ifstream of the same 200 MB file, in
// the same run, reported as the ratio bgetline time / getline time (at most 1.0 is the goal).
// For the record also CTxtArray::LoadFromFileBuf against LoadFromFile (one read call per byte)
// on a 2 MB file of the same lines, as the ratio LoadFromFileBuf time / LoadFromFile time.
//
// The file (100-byte lines: 99 characters and a line feed) is made in /tmp when the program
// starts and removed when it ends. Each iteration reads the whole file once with each reader,
// alternating which goes first, so both see the same page-cache state. The benchmark's own time
// is the two together; the counters give each reader's time per pass and their ratio.
#include <qdx/BufferedReader.h>
#include <qdx/TxtArray.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr long kFileBytes = 200L * 1000 * 1000;
constexpr int kLineBytes = 100;

constexpr long kSmallFileBytes = 2L * 1000 * 1000;

std::string g_bigFile;
std::string g_smallFile;

std::string MakeLineFile(const char* tag, long bytes)
{
    std::string path = "/tmp/qdx-lines-bench-" + std::to_string(getpid()) + "-" + tag + ".txt";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::string line;
    for (long i = 0; i < bytes / kLineBytes; ++i) {
        line = std::to_string(i);
        line.resize(kLineBytes - 1, static_cast<char>('a' + i % 26));
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), f);
    }
    std::fclose(f);
    return path;
}

double Seconds(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// Sum of line lengths, so that neither loop can be optimised away.
long ReadWithGetline(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    long total = 0;
    while (std::getline(in, line))
        total += static_cast<long>(line.size());
    return total;
}

long ReadWithBgetline(const std::string& path)
{
    static std::vector<char> buf(100001);
    long total = 0;
    if (bgetopen(path.c_str()) == 1)
        for (int n; (n = bgetline(buf.data(), static_cast<int>(buf.size()))) >= 0;)
            total += n;
    bgetclose();
    return total;
}

void BM_BgetlineVsGetline(benchmark::State& state)
{
    double subject = 0, reference = 0;
    long lengths = 0, characters = 0;
    bool subjectFirst = false;
    for (auto _ : state) {
        subjectFirst = !subjectFirst;
        for (int turn = 0; turn < 2; ++turn) {
            auto start = std::chrono::steady_clock::now();
            if ((turn == 0) == subjectFirst) {
                long got = ReadWithBgetline(g_bigFile);
                lengths += got;
                characters = got;
                subject += Seconds(start);
            } else {
                lengths -= ReadWithGetline(g_bigFile);
                reference += Seconds(start);
            }
        }
    }
    if (lengths != 0 || characters != kFileBytes / kLineBytes * (kLineBytes - 1))
        state.SkipWithError("a reader missed lines");
    const double n = static_cast<double>(state.iterations());
    state.counters["bgetline_ms"] = 1000 * subject / n;
    state.counters["getline_ms"] = 1000 * reference / n;
    state.counters["ratio"] = subject / reference;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileBytes);
}
BENCHMARK(BM_BgetlineVsGetline)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_LoadFromFileBufVsLoadFromFile(benchmark::State& state)
{
    double subject = 0, reference = 0;
    bool subjectFirst = false;
    CTxtArray buffered, plain;
    CTxt err;
    for (auto _ : state) {
        subjectFirst = !subjectFirst;
        for (int turn = 0; turn < 2; ++turn) {
            auto start = std::chrono::steady_clock::now();
            if ((turn == 0) == subjectFirst) {
                buffered.LoadFromFileBuf(g_smallFile.c_str(), err);
                subject += Seconds(start);
            } else {
                plain.LoadFromFile(g_smallFile.c_str(), err);
                reference += Seconds(start);
            }
        }
    }
    if (buffered.GetSize() != kSmallFileBytes / kLineBytes || buffered.Compare(&plain) != 0)
        state.SkipWithError("the two loaders disagree");
    const double n = static_cast<double>(state.iterations());
    state.counters["buf_ms"] = 1000 * subject / n;
    state.counters["plain_ms"] = 1000 * reference / n;
    state.counters["ratio"] = subject / reference;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSmallFileBytes);
}
BENCHMARK(BM_LoadFromFileBufVsLoadFromFile)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    g_bigFile = MakeLineFile("200mb", kFileBytes);
    g_smallFile = MakeLineFile("2mb", kSmallFileBytes);
    ReadWithGetline(g_bigFile);  // warm the page cache for both
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(g_bigFile.c_str());
    std::remove(g_smallFile.c_str());
    return 0;
}
