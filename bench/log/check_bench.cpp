// rolvek-check's throughput: accepted rolls per second of `rolvek-check --runs 100` with the
// default settings (6 values, 100000 rolls per value and run, the libc generator), the whole
// program from start to report, against a plain roll loop over the same generator and the same
// number of rolls in this process: roll, reject above the limit, count in an array.
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
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kRuns = 100;
constexpr int kValues = 6;
constexpr int kRollsPerRun = kValues * 100000;

// The reference: the engine's roll loop over the libc generator, seeded from the clock.
std::int64_t ReferenceRolls(int values, std::int64_t rolls)
{
    std::srand(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000));
    return ReferenceRun(values, rolls, [] { return std::rand() >> 16; });
}

// Runs the program with standard output and error on /dev/null; its exit status.
int RunProgram(const std::string& program)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string runs = std::to_string(kRuns);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("--runs"), const_cast<char*>(runs.c_str()),
                    nullptr};
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) == 0)
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

    const std::int64_t rolls = static_cast<std::int64_t>(kRuns) * kRollsPerRun;
    double fastestCheck = 1e9, fastestReference = 1e9;
    bool checkFirst = false;
    for (auto _ : state) {
        checkFirst = !checkFirst;
        for (int turn = 0; turn < 2; ++turn) {
            const auto start = std::chrono::steady_clock::now();
            if ((turn == 0) == checkFirst) {
                if (RunProgram(program) != 0) {
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
    std::system(("rm -rf '" + dir + "'").c_str());
}
BENCHMARK(BM_CheckRuns)->Iterations(6)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
