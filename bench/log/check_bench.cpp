// rolvek-check's overhead per run: accepted rolls per second of `rolvek-check --generator
// lcg214013` with 6 values, the whole program from start to report, against a plain roll loop
// over the same generator and the same number of rolls in this process: roll, reject above the
// limit, count in an array. Two sizes: the default 100000 rolls per value and run (100 runs),
// and short runs of 1000 rolls per value (10000 runs), where the cost of each run shows most.
//
// Each iteration runs both once, alternating which goes first. The counter "ratio" is the
// program's rolls per second over the reference's, from the fastest passes (the least disturbed
// by other work on the machine); 1 would mean the program costs nothing beyond its rolls.
#include "ReferenceRoll.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
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

// Runs the program with standard output and error on /dev/null; its exit status.
int RunProgram(const std::string& program, int runs, int rollsPerValue)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string args[] = {program, "--runs", std::to_string(runs), "--rolls-per-run", std::to_string(rollsPerValue),
                          "--values", std::to_string(kValues), "--generator", "lcg214013"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Seconds(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

void BM_CheckRuns(benchmark::State& state)
{
    const int rollsPerValue = static_cast<int>(state.range(0));
    const int runs = static_cast<int>(state.range(1));
    // A copy of the program in a directory of its own: its settings file starts out missing, so
    // it runs with the defaults, and its log goes there too.
    char pattern[] = "/tmp/rolvek-check-bench.XXXXXX";
    if (!mkdtemp(pattern)) {
        state.SkipWithError("cannot make a temporary directory");
        return;
    }
    const std::string dir = pattern;
    const std::string program = dir + "/rolvek-check";
    if (std::system(("cp '" ROLVEK_CHECK_PROGRAM "' '" + program + "'").c_str()) != 0) {
        state.SkipWithError("cannot copy rolvek-check");
        return;
    }

    const std::int64_t rolls = static_cast<std::int64_t>(runs) * kValues * rollsPerValue;
    double fastestCheck = 1e9, fastestReference = 1e9;
    bool checkFirst = false;
    for (auto _ : state) {
        checkFirst = !checkFirst;
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
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}
BENCHMARK(BM_CheckRuns)->Args({100000, 100})->Args({1000, 10000})->Iterations(6)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
