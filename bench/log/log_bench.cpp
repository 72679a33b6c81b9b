// Log lines per second, against plain write() calls of the same lines in the same run.
//
// Each iteration logs a batch of lines through LogTrace (LogFileFlushOnEach NO, so a commit is
// ordered every 21 lines) and writes the same, already formatted lines with one write() each to
// a second file beside it, alternating which goes first. The counter "ratio" is the writer's time
// over the reference's, from the fastest batches. After each batch of the writer, the commits it
// ordered are waited for outside the timing, so they do not spill into the reference's batch.
//
// The files sit on a disk (tmpfs:0): the folder in LOG_BENCH_DIR, or else the one holding this
// program (a build tree is on a real disk, where /tmp may be tmpfs); there the commits cost what
// the device makes them cost. Or on /dev/shm (tmpfs:1), where a commit costs next to nothing and
// the ratio shows what the writer itself adds to each line. The label names the file system
// measured.

#include <qdx/Log.h>
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include "log/LogInternal.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

constexpr int kBatch = 1000;

std::string MakeTempDir(const std::string& base)
{
    std::string pattern = base + "/qdx_log_bench.XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

std::string DiskDir()
{
    if (const char* dir = std::getenv("LOG_BENCH_DIR"); dir && *dir)
        return dir;
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string(".");
    return path.substr(0, path.find_last_of('/'));
}

std::string FileSystemName(const std::string& dir)
{
    struct statfs fs;
    if (::statfs(dir.c_str(), &fs) != 0)
        return "unknown";
    switch (fs.f_type) {
    case EXT4_SUPER_MAGIC: return "ext4";  // also ext2 and ext3
    case TMPFS_MAGIC: return "tmpfs";
    case XFS_SUPER_MAGIC: return "xfs";
    case BTRFS_SUPER_MAGIC: return "btrfs";
    case OVERLAYFS_SUPER_MAGIC: return "overlay";
    default: {
        char hex[32];
        std::snprintf(hex, sizeof hex, "fs 0x%lx", static_cast<unsigned long>(fs.f_type));
        return hex;
    }
    }
}

void BM_LogLines(benchmark::State& state)
{
    const std::string dir = MakeTempDir(state.range(0) == 0 ? DiskDir() : std::string("/dev/shm"));
    if (dir.empty()) {
        state.SkipWithError("cannot make a temporary directory");
        return;
    }
    state.SetLabel(FileSystemName(dir));
    const std::string ini = dir + "/bench.ini";
    std::ofstream(ini) << "[SYS]\nLogFileFlushOnEach=NO\nLogShowDate=YES\nLogShowTime=YES\n";
    namespace li = qdx::log_internal;
    SetIniPath(ini.c_str());
    li::ResetState();
    const std::string logPath = dir + "/bench.log";
    LogFileWrite("*OPENLOG", logPath.c_str(), 1);
    const int ref = ::open((dir + "/reference.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);

    // The reference lines are the writer's lines, formatted before the clock starts.
    std::vector<std::string> lines(kBatch);
    for (int i = 0; i < kBatch; ++i) {
        char line[256];
        std::snprintf(line, sizeof line, "RunTally        |061206|14:03:27.015a|Completed Runs: %d - Running ...\r\n", i);
        lines[i] = line;
    }

    using Clock = std::chrono::steady_clock;
    double logSeconds = 0, fastestLog = 1e9, fastestRef = 1e9;
    bool logFirst = false;
    for (auto _ : state) {
        logFirst = !logFirst;
        double logTime = 0;
        for (int turn = 0; turn < 2; ++turn) {
            const auto start = Clock::now();
            if ((turn == 0) == logFirst) {
                for (int i = 0; i < kBatch; ++i)
                    LogTrace("RunTally", 1, "Completed Runs: %d - Running ...", i);
                logTime = std::chrono::duration<double>(Clock::now() - start).count();
                fastestLog = std::min(fastestLog, logTime);
                li::WaitForCommits();
            } else {
                for (const std::string& line : lines)
                    benchmark::DoNotOptimize(::write(ref, line.data(), line.size()));
                fastestRef = std::min(fastestRef, std::chrono::duration<double>(Clock::now() - start).count());
            }
        }
        logSeconds += logTime;
        state.SetIterationTime(logTime);
    }
    // From the fastest batches: the least disturbed by other work on the machine.
    state.counters["lines_per_s"] = kBatch / fastestLog;
    state.counters["ref_lines_per_s"] = kBatch / fastestRef;
    state.counters["mean_lines_per_s"] = static_cast<double>(state.iterations()) * kBatch / logSeconds;
    state.counters["ratio"] = fastestLog / fastestRef;

    LogFileWrite("*CLOSE", "", 0);
    ::close(ref);
    li::ResetState();
    SetIniPath(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}
BENCHMARK(BM_LogLines)->ArgName("tmpfs")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
