// rolvek-check: the check of the Rolvek window, from the command line.
//
//   rolvek-check --runs 20 --format json > totals.json
//
// Runs the same engine with the same collect step as the window's timer, one run right after
// the other on a worker that lives for the whole check, and prints the totals per face (with the
// texts the window shows and a text bar), the completed runs and the chi-square test of the
// totals. Settings come from the window's settings file, rolvek.ini beside the program; options
// override them for this call only. With --input the runs roll a stream's values instead of a
// generator's, until the stream ends. SIGINT or SIGTERM stops the check early: the report of the
// runs completed so far is printed, marked as interrupted, and the exit code is 128 + signal.
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <cinttypes>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <sched.h>
#include <unistd.h>

#include "RollStream.h"
#include "RollTally.h"
#include "RunExecutor.h"
#include "RunSettings.h"
#include "check/CheckOptions.h"
#include "check/CheckPlot.h"
#include "check/CheckRepeat.h"
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

// One job per core the process may run on.
int DefaultJobs()
{
    cpu_set_t set;
    int cores = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    return cores < 1 ? 1 : cores > kMaxCheckJobs ? kMaxCheckJobs : cores;
}

// After the input ended before --runs: false, with the message, when nothing can be reported
// (a broken read, or not one whole run); else a note on the values left over.
bool InputEndUsable(const RollStream& input, const CRollTally& totals)
{
    if (!input.Error().empty()) {
        std::fprintf(stderr, "rolvek-check: %s\n", input.Error().c_str());
        return false;
    }
    std::string partial;
    if (input.PartialBytes() > 0)
        partial = ", and " + std::to_string(input.PartialBytes()) + " bytes at the end make no whole " +
                  InputFormatName(input.Format()) + " value";
    if (input.Taken() == 0 && input.PartialBytes() == 0) {
        std::fprintf(stderr, "rolvek-check: %s holds no values\n", input.Name().c_str());
        return false;
    }
    if (totals.m_nRuns == 0) {
        std::fprintf(stderr,
                     "rolvek-check: %s is shorter than one run: its %" PRIu64 " values give fewer than the %d "
                     "accepted rolls of a run%s\n",
                     input.Name().c_str(), input.Taken(), totals.m_nRolls, partial.c_str());
        return false;
    }
    if (input.LeftOver() > 0 || !partial.empty())
        std::fprintf(stderr, "rolvek-check: %" PRIu64 " values at the end do not fill a run%s\n", input.LeftOver(),
                     partial.c_str());
    return true;
}

void CatchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// --plot: the report's z-scores and, with --repeat, the checks' p-values as an SVG file.
bool WritePlot(const std::string& path, const CheckReport& report)
{
    PlotData plot;
    plot.title = report.generator + ", " + Printf("%d %s, %d %s of %d rolls", report.values,
                                                  report.values == 1 ? "value" : "values", report.runs,
                                                  report.runs == 1 ? "run" : "runs", report.rollsPerRun);
    for (const CheckFace& f : report.faces)
        plot.z.push_back(f.z);
    plot.band = report.band;
    for (const RepeatVerdict& v : report.verdicts) {
        PlotSeries series{v.test, std::string(VerdictName(v.uniformity.verdict)) + " (p " +
                                      PValueText(v.uniformity.pValue) + ")", {}};
        for (const TwoTails& t : v.checks)
            series.pValues.push_back(t.upper);
        plot.repeats.push_back(series);
    }
    const std::string svg = PlotSvg(plot);
    FILE* file = std::fopen(path.c_str(), "w");
    const bool written = file && std::fwrite(svg.data(), 1, svg.size(), file) == svg.size();
    const int closed = file ? std::fclose(file) : EOF;
    if (!written || closed != 0) {
        std::fprintf(stderr, "rolvek-check: cannot write the plot '%s': %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// True when everything printed so far reached standard output; otherwise says so on stderr. A
// closed or full output is a failure, also where the buffer went out before the last flush.
bool OutputWritten()
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    std::perror("rolvek-check: writing the report");
    return false;
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
    if (options.help || options.version) {
        std::fputs((options.help ? CheckUsage() : CheckVersion()).c_str(), stdout);
        return OutputWritten() ? 0 : 1;
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
    RunSettings settings = ReadRunSettings(nullptr, overrides, &notes);
    for (const std::string& note : notes)
        std::fprintf(stderr, "rolvek-check: %s\n", note.c_str());

    if (options.targetBias) {
        std::fputs(FormatTargetBias(settings.values, *options.targetBias, settings.Rolls(), options.format).c_str(),
                   stdout);
        return OutputWritten() ? 0 : 1;
    }
    const int checks = options.repeat > 0 ? options.repeat : 1;
    if (options.runs > INT_MAX / checks) {
        std::fprintf(stderr, "rolvek-check: --repeat %d of %d runs each is more runs than a check can count\n",
                     checks, options.runs);
        return 2;
    }
    if (options.testPairs) {
        // An input without --runs holds rolls not known yet: the test itself refuses too few.
        const double rolls = options.input && !options.runsGiven && options.repeat == 0
                                 ? HUGE_VAL
                                 : static_cast<double>(settings.Rolls()) * options.runs;
        const std::string refusal = SerialTestRefusal(settings.values, rolls);
        if (!refusal.empty()) {
            const long long needed = static_cast<long long>(kMinPairExpected) * settings.values * settings.values;
            std::fprintf(stderr, "rolvek-check: %s", refusal.c_str());
            if (settings.values <= kMaxPairValues)
                std::fprintf(stderr, " (use --runs %lld or more%s)", (needed + settings.Rolls() - 1) / settings.Rolls(),
                             checks > 1 ? " per check" : "");
            std::fputs("\n", stderr);
            return 2;
        }
        settings.pairs = true;
    }

    RollStream input;
    if (options.input) {
        std::string error;
        if (!input.Open(*options.input, options.inputFormat, options.bits, error)) {
            std::fprintf(stderr, "rolvek-check: %s\n", error.c_str());
            return 1;
        }
        settings.input = &input;
    } else {
        // Every check can be repeated: without --seed one is drawn, and printed with the report.
        settings.seed = options.seed ? *options.seed : std::random_device()();
    }

    CRollTally totals(settings);
    RunExecutor executor(settings, options.jobs > 0 ? options.jobs : DefaultJobs());
    g_executor = &executor;
    CatchStopSignals();

    const bool showProgress = isatty(STDERR_FILENO) == 1;
    // With --input the input decides: every whole run it holds, or --runs if fewer. With --repeat
    // the checks are consecutive stretches of --runs runs each.
    const int runs = options.input && !options.runsGiven && options.repeat == 0 ? INT_MAX : options.runs * checks;
    CheckRepeat repeat(options.runs, options.testFaces, options.testPairs);
    const int result = RunCheck(executor, totals, runs, [&](int done) {
        repeat.AfterRun(totals);
        if (showProgress && runs == INT_MAX)
            std::fprintf(stderr, "\rrolvek-check: run %d", done);
        else if (showProgress)
            std::fprintf(stderr, "\rrolvek-check: run %d of %d", done, runs);
    });
    g_executor = nullptr;
    if (showProgress)
        std::fputs("\r\033[K", stderr);
    if (result < 0) {
        std::fprintf(stderr, "rolvek-check: no run could be started (Start failed)\n");
        return 1;
    }
    if (result == 2 && !InputEndUsable(input, totals))
        return 1;

    CheckReport report = MakeCheckReport(totals);
    report.interrupted = result == 1;
    report.alpha = options.alpha;
    report.facesAsked = options.testFaces;
    if (options.repeat > 0) {
        if (repeat.Checks() < options.repeat && !report.interrupted) {
            if (repeat.Checks() == 0) {
                std::fprintf(stderr, "rolvek-check: %s holds %d runs, fewer than one check of --runs %d\n",
                             input.Name().c_str(), totals.m_nRuns, options.runs);
                return 1;
            }
            std::fprintf(stderr, "rolvek-check: %s holds %d of the %d checks of %d runs; the verdicts are over %d\n",
                         input.Name().c_str(), repeat.Checks(), options.repeat, options.runs, repeat.Checks());
        }
        report.repeat = repeat.Checks();
        report.verdicts = repeat.Verdicts(options.alpha);
    }
    if (options.input) {
        report.generator = "input";
        report.input = *options.input;
        report.inputFormat = InputFormatName(input.Format());
        report.bits = input.Bits();
    } else {
        report.seed = settings.seed;
    }
    std::fputs(FormatReport(report, options.format).c_str(), stdout);
    if (!OutputWritten())
        return 1;
    if (options.format == CheckFormat::Csv)
        std::fputs(FormatSummary(report).c_str(), stderr);
    if (options.plot && !WritePlot(*options.plot, report))
        return 1;
    if (report.interrupted) {
        if (runs == INT_MAX)  // the input's runs: how many it holds is not known
            std::fprintf(stderr, "rolvek-check: interrupted after %d runs\n", totals.m_nRuns);
        else
            std::fprintf(stderr, "rolvek-check: interrupted after %d of %d runs\n", totals.m_nRuns, runs);
        return 128 + g_signal;
    }
    return CheckFailed(report) ? 3 : 0;
}
