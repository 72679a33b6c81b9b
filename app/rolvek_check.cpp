// rolvek-check: the check of the Rolvek window, from the command line.
//
//   rolvek-check --runs 20 --format json > totals.json
//
// Runs the same engine with the same collect step as the window's timer, one run right after
// the other on a worker that lives for the whole check, and prints the totals per face (with the
// texts the window shows and a text bar), the completed runs and the chi-square test of the
// totals. Settings come from the window's settings file, rolvek.ini beside the program; options
// override them for this call only. SIGINT or SIGTERM stops the check early: the report of the
// runs completed so far is printed, marked as interrupted, and the exit code is 128 + signal.
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "RollTally.h"
#include "RunExecutor.h"
#include "RunSettings.h"
#include "check/CheckOptions.h"
#include "check/CheckReport.h"
#include "check/CheckRun.h"

namespace {

RunExecutor* volatile g_executor = nullptr;
volatile std::sig_atomic_t g_signal = 0;

extern "C" void OnStopSignal(int signal)
{
    g_signal = signal;
    if (RunExecutor* executor = g_executor)
        executor->Cancel();  // atomic stores only
}

void CatchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    StartProgram("rolvek");
    CheckOptions options;
    std::string error;
    if (!ParseCheckOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "rolvek-check: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(CheckUsage().c_str(), stdout);
        return 0;
    }

    // The window and the command line share one settings file: rolvek.ini in the folder that
    // holds this program's own (beside it, or the user's configuration folder when installed).
    CString own;
    GetIniPath(own);
    const std::string ownPath = own.str();
    SetIniPath((ownPath.substr(0, ownPath.rfind('/') + 1) + "rolvek.ini").c_str());

    RunOverrides overrides;
    overrides.values = options.values;
    overrides.rollsPerValue = options.rollsPerRun;
    if (options.generator) {
        RollGenerator generator = RollGenerator::Libc;
        RollGeneratorFromName(options.generator->c_str(), &generator);  // checked by the parser
        overrides.generator = generator;
    }
    std::vector<std::string> notes;
    const RunSettings settings = ReadRunSettings(nullptr, overrides, &notes);
    for (const std::string& note : notes)
        std::fprintf(stderr, "rolvek-check: %s\n", note.c_str());

    CRollTally totals(settings);
    RunExecutor executor(settings);
    g_executor = &executor;
    CatchStopSignals();

    const bool showProgress = isatty(STDERR_FILENO) == 1;
    const int runs = options.runs;
    const int result = RunCheck(executor, totals, runs, [showProgress, runs](int done) {
        if (showProgress)
            std::fprintf(stderr, "\rrolvek-check: run %d of %d", done, runs);
    });
    g_executor = nullptr;
    if (showProgress)
        std::fputs("\r\033[K", stderr);
    if (result < 0) {
        std::fprintf(stderr, "rolvek-check: no run could be started (Start failed)\n");
        return 1;
    }

    CheckReport report = MakeCheckReport(totals);
    report.interrupted = result == 1;
    std::fputs(FormatReport(report, options.format).c_str(), stdout);
    if (std::fflush(stdout) != 0) {
        std::perror("rolvek-check: writing the report");
        return 1;
    }
    if (report.interrupted) {
        std::fprintf(stderr, "rolvek-check: interrupted after %d of %d runs\n", totals.m_nRuns, runs);
        return 128 + g_signal;
    }
    return 0;
}
