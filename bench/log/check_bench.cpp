// rolvek-check's overhead per run: accepted rolls per second of `rolvek-check --generator
// lcg214013` with 6 values, the whole program from start to report, against a plain roll loop
// over the same generator and the same number of rolls in this process: roll, reject above the
// limit, count in an array. Two sizes: the default 100000 rolls per value and run (100 runs),
// and short runs of 1000 rolls per value (10000 runs), where the cost of each run shows most.
//
// Each iteration runs both once, alternating which goes first. The counter "ratio" is the
// program's rolls per second over the reference's, from the fastest passes (the least disturbed
// by other work on the machine); 1 would mean the program costs nothing beyond its rolls.
// "ratio_runs" takes out the program's start and end ("start_ms", the fastest check of one
// short run: mostly the loading of libqdx's libraries), leaving the cost of the runs alone.
#include "ReferenceRoll.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kValues = 6;

// The reference: the engine's roll loop over lcg214013, seeded from the clock.
std::int64_t ReferenceRolls(int values, std::int64_t rolls)
{
    std::uint32_t x = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
    return ReferenceRun(values, rolls, [&x] {
        x = x * 214013u + 2531011u;
        return static_cast<int>((x >> 16) & 0x7FFF);
    });
}

// Runs a program with standard output and error on /dev/null; its exit status.
int Spawn(std::vector<std::string> args)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string program = args[0];
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunProgram(const std::string& program, int runs, int rollsPerValue)
{
    return Spawn({program, "--runs", std::to_string(runs), "--rolls-per-run", std::to_string(rollsPerValue),
                  "--values", std::to_string(kValues), "--generator", "lcg214013", "--jobs", "1"});
}

double Seconds(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// A directory of its own with a copy of the program: its settings file starts out missing, so it
// runs with the defaults, and its log goes there too. Removed with the object.
struct Sandbox {
    std::string dir, program;
    Sandbox()
    {
        char pattern[] = "/tmp/rolvek-check-bench.XXXXXX";
        if (!mkdtemp(pattern))
            return;
        dir = pattern;
        std::error_code error;
        if (std::filesystem::copy_file(ROLVEK_CHECK_PROGRAM, dir + "/rolvek-check", error))
            program = dir + "/rolvek-check";
    }
    ~Sandbox()
    {
        std::error_code ignored;
        if (!dir.empty())
            std::filesystem::remove_all(dir, ignored);
    }
};

void BM_CheckRuns(benchmark::State& state)
{
    const int rollsPerValue = static_cast<int>(state.range(0));
    const int runs = static_cast<int>(state.range(1));
    Sandbox box;
    if (box.program.empty()) {
        state.SkipWithError("cannot set up rolvek-check");
        return;
    }
    const std::string& program = box.program;

    const std::int64_t rolls = static_cast<std::int64_t>(runs) * kValues * rollsPerValue;
    double fastestCheck = 1e9, fastestReference = 1e9, fastestStart = 1e9;
    bool checkFirst = false;
    for (auto _ : state) {
        checkFirst = !checkFirst;
        // The program's cost before and after its runs (loading its libraries, the settings, the
        // log's first and last line): one run of 6000 rolls, whose rolling takes microseconds.
        const auto started = std::chrono::steady_clock::now();
        RunProgram(program, 1, 1000);
        fastestStart = std::min(fastestStart, Seconds(started));
        for (int turn = 0; turn < 2; ++turn) {
            const auto start = std::chrono::steady_clock::now();
            if ((turn == 0) == checkFirst) {
                const int status = RunProgram(program, runs, rollsPerValue);
                if (status != 0 && status != 3) {  // 3: the check's tests failed, as they may
                    state.SkipWithError("rolvek-check failed");
                    break;
                }
                fastestCheck = std::min(fastestCheck, Seconds(start));
            } else {
                benchmark::DoNotOptimize(ReferenceRolls(kValues, rolls));
                fastestReference = std::min(fastestReference, Seconds(start));
            }
        }
    }
    state.counters["check_rolls_per_s"] = static_cast<double>(rolls) / fastestCheck;
    state.counters["ref_rolls_per_s"] = static_cast<double>(rolls) / fastestReference;
    state.counters["ratio"] = fastestReference / fastestCheck;
    // The same with the program's start and end taken out: what the runs themselves cost.
    state.counters["start_ms"] = 1e3 * fastestStart;
    state.counters["ratio_runs"] = fastestReference / std::max(fastestCheck - fastestStart, 1e-9);
}
BENCHMARK(BM_CheckRuns)->Args({100000, 100})->Args({1000, 10000})->Iterations(6)->Unit(benchmark::kMillisecond);

// Wall-clock seconds of the fastest of `passes`, and of the slowest.
struct Passes {
    double fastest = 1e9, slowest = 0;
    void Add(double s)
    {
        fastest = std::min(fastest, s);
        slowest = std::max(slowest, s);
    }
};

// 100 MB of lcg214013's full 32-bit states as u16le words (the high halves), and the same
// generator's 15-bit results as text, one to eight per line.
constexpr std::size_t kInputBytes = 100u << 20;
void WriteInputs(const std::string& binary, const std::string& text, std::size_t textBytes)
{
    std::uint32_t x = 12345;
    std::vector<std::uint16_t> words(1 << 16);
    FILE* out = std::fopen(binary.c_str(), "wb");
    for (std::size_t written = 0; written < kInputBytes; written += words.size() * 2) {
        for (std::uint16_t& w : words) {
            x = x * 214013u + 2531011u;
            w = static_cast<std::uint16_t>(x >> 16);
        }
        std::fwrite(words.data(), 2, words.size(), out);
    }
    std::fclose(out);
    out = std::fopen(text.c_str(), "w");
    std::size_t written = 0;
    for (int i = 0; written < textBytes; ++i) {
        x = x * 214013u + 2531011u;
        written += static_cast<std::size_t>(std::fprintf(out, "%u%s", (x >> 16) & 0x7FFF, i % 8 == 7 ? "\n" : ", "));
    }
    std::fclose(out);
}

// The reference for binary input: read the file in 1 MB pieces and tally each word's top 15
// bits with the check's rejection, as plainly as it can be written.
std::int64_t ReadAndTally(const std::string& path, int values)
{
    std::vector<std::uint16_t> buffer(1 << 19);
    std::vector<std::int64_t> counts(static_cast<std::size_t>(values));
    const int limit = 32766 - 32767 % values;
    const int fd = open(path.c_str(), O_RDONLY);
    for (ssize_t got; (got = read(fd, buffer.data(), buffer.size() * 2)) > 0;) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) / 2; ++i) {
            const int r = buffer[i] >> 1;
            if (r <= limit)
                ++counts[static_cast<std::size_t>(r % values)];
        }
    }
    close(fd);
    benchmark::DoNotOptimize(counts.data());
    return counts[0];
}

// The reference for text: whole pieces read, separators skipped, numbers read by
// std::from_chars and tallied; a number cut by the end of a piece is read again with the next.
std::int64_t FromCharsTally(const std::string& path, int values)
{
    std::vector<char> buffer(1 << 20);
    std::vector<std::int64_t> counts(static_cast<std::size_t>(values));
    const int limit = 32766 - 32767 % values;
    const int fd = open(path.c_str(), O_RDONLY);
    std::size_t kept = 0;
    for (ssize_t got; (got = read(fd, buffer.data() + kept, buffer.size() - kept)) > 0;) {
        const char* p = buffer.data();
        const char* end = p + kept + static_cast<std::size_t>(got);
        const char* last = end;
        while (last > p && last[-1] >= '0' && last[-1] <= '9')
            --last;  // an unfinished number waits for the next piece
        while (p < last) {
            if (*p < '0' || *p > '9') {
                ++p;
                continue;
            }
            unsigned v = 0;
            p = std::from_chars(p, last, v).ptr;
            if (static_cast<int>(v) <= limit)
                ++counts[v % static_cast<unsigned>(values)];
        }
        kept = static_cast<std::size_t>(end - last);
        std::memmove(buffer.data(), last, kept);
    }
    close(fd);
    benchmark::DoNotOptimize(counts.data());
    return counts[0];
}

double Timed(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return Seconds(start);
}

// --input on 100 MB of u16le in the page cache against ent on the same file and the plain
// read-and-tally loop; text input against the plain from_chars loop over the same text.
void BM_Input(benchmark::State& state)
{
    Sandbox box;
    if (box.program.empty()) {
        state.SkipWithError("cannot set up rolvek-check");
        return;
    }
    const std::string binary = box.dir + "/values.u16", text = box.dir + "/values.txt";
    WriteInputs(binary, text, kInputBytes / 4);
    const bool haveEnt = Spawn({"ent", "-t", binary}) == 0;  // also brings the file into the cache
    ReadAndTally(text, kValues);
    Passes check, ent, plain, checkText, plainText;
    for (auto _ : state) {
        check.Add(Timed([&] { Spawn({box.program, "--input", binary, "--values", "6"}); }));
        plain.Add(Timed([&] { ReadAndTally(binary, kValues); }));
        if (haveEnt)
            ent.Add(Timed([&] { Spawn({"ent", "-t", binary}); }));
        checkText.Add(Timed([&] { Spawn({box.program, "--input", text, "--input-format", "text", "--values", "6"}); }));
        plainText.Add(Timed([&] { FromCharsTally(text, kValues); }));
    }
    const double mb = static_cast<double>(kInputBytes) / 1e6;
    state.counters["check_MBps"] = mb / check.fastest;
    state.counters["plain_MBps"] = mb / plain.fastest;
    state.counters["vs_plain"] = plain.fastest / check.fastest;  // goal: at least 0.5
    if (haveEnt) {
        state.counters["ent_MBps"] = mb / ent.fastest;
        state.counters["vs_ent"] = ent.fastest / check.fastest;  // goal: at least 5
    }
    state.counters["text_vs_from_chars"] = plainText.fastest / checkText.fastest;  // goal: at least 0.5
    state.counters["check_slowest_MBps"] = mb / check.slowest;
    std::remove(binary.c_str());
    std::remove(text.c_str());
}
BENCHMARK(BM_Input)->Iterations(3)->Unit(benchmark::kMillisecond);

// --jobs 2 against --jobs 1: lcg214013 at the defaults (6 values, 100000 rolls per value), the
// same seed. Each iteration runs both, alternating which goes first; the counters give the
// ratio of the fastest passes (goal on two free cores: at least 1.7), of the slowest, and the
// spread of the ratios of the pairs, since on a busy machine one pass says little.
void BM_Jobs(benchmark::State& state)
{
    Sandbox box;
    if (box.program.empty()) {
        state.SkipWithError("cannot set up rolvek-check");
        return;
    }
    const int runs = 100;
    auto check = [&](int jobs) {
        return Timed([&] {
            Spawn({box.program, "--runs", std::to_string(runs), "--generator", "lcg214013", "--values", "6",
                   "--rolls-per-run", "100000", "--seed", "1", "--jobs", std::to_string(jobs)});
        });
    };
    Passes one, two;
    std::vector<double> pairs;  // the speedup of each pair run back to back
    bool oneFirst = false;
    for (auto _ : state) {
        oneFirst = !oneFirst;
        double a = 0, b = 0;
        if (oneFirst) {
            a = check(1);
            b = check(2);
        } else {
            b = check(2);
            a = check(1);
        }
        one.Add(a);
        two.Add(b);
        pairs.push_back(a / b);
    }
    std::sort(pairs.begin(), pairs.end());
    state.counters["speedup_min"] = pairs.front();
    state.counters["speedup_median"] = pairs[pairs.size() / 2];
    state.counters["speedup_max"] = pairs.back();
    const double rolls = static_cast<double>(runs) * 600000;
    state.counters["jobs1_Mrolls_per_s"] = rolls / one.fastest / 1e6;
    state.counters["jobs2_Mrolls_per_s"] = rolls / two.fastest / 1e6;
    state.counters["speedup"] = one.fastest / two.fastest;
    state.counters["speedup_slowest"] = one.slowest / two.slowest;
}
BENCHMARK(BM_Jobs)->Iterations(8)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
