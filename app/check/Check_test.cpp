// rolvek-check: its options, its report, the run sequence it shares with the window, and the
// program itself.
#include "check/CheckOptions.h"
#include "check/CheckReport.h"
#include "check/CheckRun.h"
#include "RunExecutor.h"

#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <qdxtest/JsonTree.h>
#include <qdxtest/QuietLog.h>
#include <qdxtest/StreamRuns.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <numeric>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using ::testing::Not;
using qdx::test::JsonList;
using qdx::test::JsonTree;

// A folder of the test's own whose settings file (rolvek.ini, log file off) is also the
// process's, so the log writer reads it.
struct CheckDir {
    qdx::test::TempDir dir{"rolvek-check"};
    qdx::test::ScopedSettings settings{dir, "[SYS]\nRollValues=6\nRollsPerRun=1000\n", "rolvek.ini"};
    const std::string& Path() const { return dir.Path(); }
};

bool Parse(std::vector<const char*> args, CheckOptions& options, std::string& error)
{
    args.insert(args.begin(), "rolvek-check");
    return ParseCheckOptions(static_cast<int>(args.size()), args.data(), options, error);
}

std::string ParseError(std::vector<const char*> args)
{
    CheckOptions options;
    std::string error;
    EXPECT_FALSE(Parse(args, options, error));
    return error;
}

// --- options -------------------------------------------------------------------------------------

TEST(CheckOptions, DefaultsAndEveryOptionInBothForms)
{
    CheckOptions o;
    std::string error;
    ASSERT_TRUE(Parse({}, o, error));
    EXPECT_EQ(o.runs, 10);
    EXPECT_FALSE(o.values || o.rollsPerRun || o.generator || o.help);
    EXPECT_EQ(o.format, CheckFormat::Table);

    ASSERT_TRUE(Parse({"--runs", "3", "--values=4", "--rolls-per-run", "-7", "--generator=LCG214013", "--format",
                       "json"},
                      o, error))
        << error;
    EXPECT_EQ(o.runs, 3);
    EXPECT_EQ(o.values, 4);
    EXPECT_EQ(o.rollsPerRun, -7);  // brought into range later, as a stored setting would be
    EXPECT_EQ(o.generator, "lcg214013");
    EXPECT_EQ(o.format, CheckFormat::Json);

    ASSERT_TRUE(Parse({"--format=csv", "--help"}, o, error));
    EXPECT_EQ(o.format, CheckFormat::Csv);
    EXPECT_TRUE(o.help);
    EXPECT_THAT(CheckUsage(), HasSubstr("--rolls-per-run R"));

    CheckOptions s;
    EXPECT_TRUE(s.testFaces && !s.testPairs && s.repeat == 0 && s.alpha == 1e-6 && !s.targetBias && !s.plot);
    ASSERT_TRUE(Parse({"--test=pairs", "--repeat", "20", "--alpha=1e-9", "--target-bias", "0.1%", "--plot", "x.svg",
                       "--version", "-h"},
                      s, error))
        << error;
    EXPECT_TRUE(!s.testFaces && s.testPairs && s.version && s.help);
    EXPECT_EQ(s.repeat, 20);
    EXPECT_EQ(s.alpha, 1e-9);
    EXPECT_DOUBLE_EQ(*s.targetBias, 0.001);
    EXPECT_EQ(s.plot, "x.svg");
    ASSERT_TRUE(Parse({"--test", "faces,pairs", "--target-bias=0.002"}, s, error));
    EXPECT_TRUE(s.testFaces && s.testPairs);
    EXPECT_EQ(*s.targetBias, 0.002);
    for (const char* bad : {"0", "-0.1", "x", "1e999", "nan"})
        EXPECT_FALSE(Parse({"--target-bias", bad}, s, error)) << bad;
    EXPECT_FALSE(Parse({"--test", "faces,"}, s, error));
    EXPECT_FALSE(Parse({"--repeat", "0"}, s, error));
}

TEST(CheckOptions, BadOptionsAndValuesAreNamed)
{
    EXPECT_EQ(ParseError({"--fast"}), "unknown option '--fast' (see --help)");
    EXPECT_EQ(ParseError({"-r", "3"}), "unknown option '-r' (see --help)");
    EXPECT_EQ(ParseError({"--r", "3"}), "ambiguous option '--r' (see --help)");
    EXPECT_EQ(ParseError({"10"}), "unexpected argument '10' (see --help)");
    EXPECT_EQ(ParseError({"--runs"}), "option --runs needs a value");
    EXPECT_EQ(ParseError({"--help=yes"}), "option --help takes no value");
    for (const char* bad : {"0", "-1", "x", "5x", " 5", "", "99999999999", "1.5"})
        EXPECT_EQ(ParseError({"--runs", bad}),
                  std::string("bad value '") + bad + "' for --runs: expected a whole number from 1");
    EXPECT_EQ(ParseError({"--values=six"}), "bad value 'six' for --values: expected a whole number");
    EXPECT_EQ(ParseError({"--rolls-per-run", "1e6"}), "bad value '1e6' for --rolls-per-run: expected a whole number");
    EXPECT_EQ(ParseError({"--format", "xml"}), "bad value 'xml' for --format: expected table, csv or json");
    // The message stays on one line whatever the argument holds.
    EXPECT_EQ(ParseError({"--runs", "1\n2"}), "bad value '1\\x0a2' for --runs: expected a whole number from 1");
    EXPECT_EQ(ParseError({"--\x1b[2J"}), "unknown option '--\\x1b[2J' (see --help)");
    EXPECT_EQ(ParseError({"--generator", "mt"}),
              "bad value 'mt' for --generator: expected libc, lcg214013, lcg1103515245, minstd, mt19937 or randu");
}

// --- statistics and text -------------------------------------------------------------------------

TEST(CheckReport, TextBarFillsFromTheLeftLikeTheWindowsBar)
{
    EXPECT_EQ(TextBar(500, 10), "#####.....");
    EXPECT_EQ(TextBar(0, 10), "..........");
    EXPECT_EQ(TextBar(1000, 10), "##########");
    EXPECT_EQ(TextBar(999, 10), "#########.");
    EXPECT_EQ(TextBar(-20, 4), "....");
    EXPECT_EQ(TextBar(5000, 4), "####");
}

TEST(CheckReport, FacesCarryTheWindowsTextsAndBarPositions)
{
    CRollTally totals(FitRunSize(3, 1000));
    for (std::int64_t c : {900000LL, 1100000LL, 1000000LL})
        totals.m_Counts.AddInt64(c);
    totals.m_nRuns = 1;
    totals.CalcDeviations();
    const CheckReport r = MakeCheckReport(totals);
    ASSERT_EQ(r.faces.size(), 3u);
    EXPECT_EQ(r.faces[0].countText, "900000");
    EXPECT_EQ(r.faces[0].less, "-1000.00");
    EXPECT_EQ(r.faces[0].more, "");
    EXPECT_EQ(r.faces[0].barPosition, 0);
    EXPECT_EQ(r.faces[1].countText, "1.10000 Mill");
    EXPECT_EQ(r.faces[1].more, "1000.00");
    EXPECT_EQ(r.faces[1].barPosition, 1000);
    EXPECT_EQ(r.faces[2].more, "0.00");
    EXPECT_EQ(r.faces[2].barPosition, 500);
    EXPECT_EQ(r.faces[2].count, 1000000);
    EXPECT_EQ(r.faceTest.degreesOfFreedom, 2);
    EXPECT_DOUBLE_EQ(r.faceTest.statistic, 20000.0);

    const std::string table = FormatReport(r, CheckFormat::Table);
    EXPECT_THAT(table, HasSubstr("     2   1.10000 Mill           1000.00 "));
    EXPECT_THAT(table, HasSubstr(" " + std::string(40, '#') + "\n"));
}

TEST(CheckReport, JsonParsesAndKeepsEveryFigure)
{
    CheckReport r;
    r.generator = "lcg\"1103515245\\";  // quotes and backslashes are escaped
    r.values = 2;
    r.rollsPerRun = 2000;
    r.runs = 1;
    r.faces = {{1, 999, "999", "-0.10", "", 0}, {2, 1001, "1001", "", "0.10", 1000}};
    AddFaceStatistics(r);
    const auto tree = JsonTree(FormatReport(r, CheckFormat::Json));
    EXPECT_EQ(tree.get<std::string>("generator"), r.generator);
    EXPECT_EQ(tree.get<int>("runs"), 1);
    EXPECT_DOUBLE_EQ(tree.get<double>("faces_test.statistic"), 0.002);
    EXPECT_NEAR(tree.get<double>("faces_test.p_value"), std::erfc(std::sqrt(0.001)), 1e-12);
    EXPECT_THAT(JsonList<std::string>(tree, "faces", "less_text"), ElementsAre("-0.10", ""));

    r.faces.clear();  // an empty list is still valid JSON
    JsonTree(FormatReport(r, CheckFormat::Json));
}

// --- the run sequence ----------------------------------------------------------------------------

TEST(CheckRun, RunsAreCollectedWithTheWindowsStepAndLoggedAtStartAndEnd)
{
    CheckDir dir;
    std::vector<std::string> messages;
    SetLastMessageSink([&messages](const char* text) { messages.push_back(text); });
    const RunSettings settings = FitRunSize(6, 1000, RollGenerator::Lcg214013);
    CRollTally totals(settings);
    RunExecutor executor(settings);
    std::vector<int> progress;
    ASSERT_EQ(RunCheck(executor, totals, 3, [&progress](int done) { progress.push_back(done); }), 0);
    SetLastMessageSink(nullptr);

    EXPECT_EQ(totals.m_nRuns, 3);
    std::int64_t sum = 0;
    for (int i = 0; i < totals.m_nValues; ++i)
        sum += totals.GetCount(i);
    EXPECT_EQ(sum, 3 * 6000);
    EXPECT_THAT(progress, ElementsAre(1, 2, 3));
    EXPECT_THAT(messages, ElementsAre("Check started: 3 runs of 6000 rolls (6 values), generator lcg214013",
                                      "Check ended: Completed Runs: 3 - Stopped"));
}

TEST(RunExecutor, HandsRunsOverInOrderFromWorkersItReuses)
{
    for (int jobs : {1, 3}) {
        RunExecutor executor(FitRunSize(4, 1000), jobs);
        std::vector<std::thread::id> workers;
        for (int call = 0; call < 2; ++call) {
            ASSERT_EQ(executor.Run(7, [&](CRollTally& run) {
                EXPECT_EQ(run.m_nState, 2);
                workers.push_back(run.m_hDoneThread);
            }), 7);
        }
        ASSERT_EQ(workers.size(), 14u);
        for (std::size_t i = 0; i < workers.size(); ++i)  // run i rolled by job i % jobs, both calls
            EXPECT_EQ(workers[i], workers[(i % 7) % static_cast<std::size_t>(jobs)]) << jobs << " jobs, run " << i;
    }
}

TEST(RunExecutor, CancelEndsARunOf2To31RollsAndDropsIt)
{
    RunExecutor executor(FitRunSize(1, 2147483647));
    std::thread canceller([&executor] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        executor.Cancel();
    });
    int collected = 0;
    EXPECT_EQ(executor.Run(2, [&collected](CRollTally&) { ++collected; }), 0);
    canceller.join();
    EXPECT_EQ(collected, 0);
    EXPECT_EQ(executor.Run(1, [](CRollTally&) {}), 0);  // a cancelled executor rolls no more
}

// --- the program ---------------------------------------------------------------------------------

struct Outcome {
    int status = -1;
    std::string out, err;
};

// The exit status of a program that wrote its output to `dir`'s files out and err, and those.
Outcome ReadOutcome(const CheckDir& dir, int status)
{
    Outcome o;
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = qdx::test::ReadFile(dir.Path() + "/out");
    o.err = qdx::test::ReadFile(dir.Path() + "/err");
    return o;
}

// A copy of rolvek-check placed in `dir`, so that its settings and log land there.
std::string CopyProgram(const CheckDir& dir)
{
    const std::string program = dir.Path() + "/rolvek-check";
    std::filesystem::copy_file(ROLVEK_BINARY_DIR "/app/rolvek-check", program,
                               std::filesystem::copy_options::overwrite_existing);
    return program;
}

// Runs the copy of rolvek-check in `dir` on `args`, with standard input from `in`.
Outcome RunProgram(const CheckDir& dir, const std::string& args, const std::string& in = "/dev/null")
{
    const std::string program = CopyProgram(dir);
    const std::string command =
        "'" + program + "' " + args + " >'" + dir.Path() + "/out' 2>'" + dir.Path() + "/err' <'" + in + "'";
    return ReadOutcome(dir, std::system(command.c_str()));
}

// What the program in `dir` has logged so far, all days together.
std::string ProgramLog(const CheckDir& dir)
{
    std::string log;
    std::error_code error;
    for (const auto& day : std::filesystem::directory_iterator(dir.Path() + "/logs", error))
        log += qdx::test::ReadFile((day.path() / "rolvek-check.log").string());
    return log;
}

// Waits (at most a minute) until the program in `dir` has logged "Check started": its stop
// handlers are in place then.
void AwaitStart(const CheckDir& dir)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ProgramLog(dir).find("Check started") == std::string::npos && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TEST(CheckProgram, JsonTotalsOfNRunsSumToNRunsOfRolls)
{
    CheckDir dir;
    qdx::test::WriteFile(dir.settings.Path(), "[SYS]\nRollValues=5\nRollsPerRun=2000\n");
    const Outcome o = RunProgram(dir, "--runs 4 --format json --generator lcg1103515245");
    ASSERT_TRUE(o.status == 0 || o.status == 3) << o.err;  // 3: a fair check fails once in a while
    EXPECT_EQ(o.err, "");  // no progress when standard error is not a terminal
    const auto tree = JsonTree(o.out);
    EXPECT_EQ(tree.get<int>("runs"), 4);
    EXPECT_EQ(tree.get<int>("values"), 5);
    EXPECT_EQ(tree.get<int>("rolls_per_run"), 2000);  // per face, as --rolls-per-run
    EXPECT_EQ(tree.get<int>("rolls_in_run"), 10000);
    EXPECT_EQ(tree.get<std::string>("generator"), "lcg1103515245");
    const std::vector<long long> counts = JsonList<long long>(tree, "faces", "count");
    EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0LL), 4 * 10000);
    const double p = tree.get<double>("faces_test.p_value");
    EXPECT_GE(p, 0.0);
    EXPECT_LE(p, 1.0);
    EXPECT_EQ(tree.get<int>("faces_test.degrees_of_freedom"), 4);

    // The runs were reported through the log, into the day's file beside the program.
    const std::string log = ProgramLog(dir);
    EXPECT_THAT(log, HasSubstr("a|Check started: 4 runs of 10000 rolls (5 values), generator lcg1103515245\r\n"));
    EXPECT_THAT(log, HasSubstr("a|Check ended: Completed Runs: 4 - Stopped\r\n"));
    EXPECT_THAT(log, Not(HasSubstr("Running ...")));  // no line per run
}

TEST(CheckProgram, OptionsOverrideTheSettingsWithTheSameClamps)
{
    CheckDir dir;
    const Outcome o = RunProgram(dir, "--runs=1 --values 0 --rolls-per-run 10 --format csv --seed 7");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.err, StartsWith("rolvek-check: --values 0 cannot be used, using 1 (a die has 1 to 32767 faces)\n"
                                  "rolvek-check: --rolls-per-run 10 cannot be used, using 1000 (fewer than 1000 count "
                                  "as 1000)\nSeed: 7 (--seed 7 repeats this check)\nCompleted runs: 1 (1000 rolls)\n"));
    EXPECT_EQ(o.out, "value,count,deviation,z,flag\n1,1000,0.00,0.0000,0\n");
}

// Starts the copy of rolvek-check in `dir` on `args`, writing to dir's out and err files, and
// calls `during` with its process id. The program must end within 5 seconds of `during`'s
// return; else it is killed and the status is -1.
Outcome RunDuring(const CheckDir& dir, std::vector<std::string> args, const std::function<void(pid_t)>& during)
{
    args.insert(args.begin(), CopyProgram(dir));
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen((dir.Path() + "/out").c_str(), "w", stdout) || !freopen((dir.Path() + "/err").c_str(), "w", stderr))
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    during(pid);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadOutcome(dir, status);
}

TEST(CheckProgram, StopSignalsReportTheRunsSoFarAsInterrupted)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        CheckDir dir;
        // A run of 2^31 - 1 rolls would take minutes: the signal comes during the first one.
        qdx::test::WriteFile(dir.settings.Path(), "[SYS]\nRollValues=1\nRollsPerRun=2147483647\n");
        const Outcome o = RunDuring(dir, {"--runs", "2", "--format", "json"}, [&](pid_t program) {
            AwaitStart(dir);
            kill(program, signal);
        });
        EXPECT_EQ(o.status, 128 + signal) << o.err;
        EXPECT_THAT(o.out, HasSubstr("\"rolls_per_run\": 2147483647,\n  \"rolls_in_run\": 2147483647,\n  \"runs\": 0,\n"
                                     "  \"rolls\": 0,\n  \"interrupted\": true,\n"))
            << o.out;  // no run completed
    }
}

TEST(CheckProgram, ExitCodesAndMessagesForScripts)
{
    CheckDir dir;
    struct Case {
        const char* args;
        int status;
        const char* out;  // a part of standard output (nothing at all with exit code 2)
        const char* err;  // a part of standard error
    };
    for (const Case& c : {
             Case{"--version", 0, "rolvek-check (rolvek) ", ""},
             Case{"-h", 0, "--target-bias B", ""},
             Case{"--help", 0, "Usage: rolvek-check", ""},
             Case{"--runs 3 --colour", 2, "", "rolvek-check: unknown option '--colour' (see --help)\n"},
             Case{"--runs -3", 2, "", "rolvek-check: bad value '-3' for --runs: expected a whole number from 1\n"},
             Case{"--target-bias 0.2% --values 6", 0, "with 6 values: 46401452 rolls, 7734 runs of 6000 rolls (--runs 7734)", ""},
             // A tail below an alpha of 0.9 always fails; csv keeps the summary on standard error.
             Case{"--runs 1 --rolls-per-run 1000 --alpha 0.9 --format csv", 3, "value,count,deviation,z,flag\n1,",
                  "Result: FAILED: faces too "},
             Case{"--test pairs --values 300 --rolls-per-run 1000 --runs 1", 2, "",
                  "rolvek-check: the pair test needs 450000 rolls or more for 300 values (5 per each of the 300 x 300 "
                  "cells); there are 300000 (use --runs 2 or more)\n"},
             Case{"--test faces,pairs --values 5000", 2, "", "at most 4096 values"},
             Case{"--test dice", 2, "", "bad value 'dice' for --test: expected faces, pairs or faces,pairs\n"},
             Case{"--alpha 1", 2, "", "bad value '1' for --alpha: expected a number between 0 and 1"},
             // RANDU as a coin: its consecutive rolls are far from independent.
             Case{"--generator randu --values 2 --test faces,pairs --runs 1 --rolls-per-run 1000 --seed 5", 3,
                  "Result: FAILED: pairs too uneven (p 4.497e-57)", ""},
             Case{"--runs 1 --rolls-per-run 1000 --plot /nonexistent/p.svg", 1, "Result: ",
                  "rolvek-check: cannot write the plot '/nonexistent/p.svg': No such file or directory\n"},
         }) {
        const Outcome o = RunProgram(dir, c.args);
        EXPECT_EQ(o.status, c.status) << c.args << "\n" << o.err;
        EXPECT_THAT(o.out, HasSubstr(c.out)) << c.args;
        EXPECT_THAT(o.err, HasSubstr(c.err)) << c.args;
        if (c.status == 2) {
            EXPECT_EQ(o.out, "") << c.args;
        }
    }
}

TEST(CheckProgram, RepeatedChecksGiveAVerdictPerTestAndAPlot)
{
    CheckDir dir;
    const std::string plot = dir.Path() + "/check.svg";
    const Outcome o = RunProgram(dir, "--runs 1 --values 4 --rolls-per-run 1000 --test faces,pairs --repeat 3 "
                                      "--alpha 0.999999 --format json --plot '" + plot + "'");
    EXPECT_EQ(o.status, 3) << o.err;  // a verdict p-value below 0.999999 is FAILED
    const auto tree = JsonTree(o.out);
    EXPECT_EQ(tree.get<int>("repeat"), 3);
    EXPECT_EQ(tree.get<int>("runs"), 3);
    EXPECT_EQ(tree.get_child("verdicts.faces.p_values").size(), 3u);
    EXPECT_EQ(tree.get<std::string>("verdicts.pairs.verdict"), "FAILED");
    EXPECT_EQ(tree.get<int>("pairs_test.degrees_of_freedom"), 12);
    EXPECT_THAT(qdx::test::ReadFile(plot), HasSubstr("<circle"));  // the repeats' p-values
}

// --- values from a stream, seeds, jobs ------------------------------------------------------------

// The first `n` 15-bit results of lcg214013 from seed 1.
std::vector<int> Lcg15(int n)
{
    std::vector<int> results;
    for (std::uint32_t x = 1; static_cast<int>(results.size()) < n;) {
        x = x * 214013u + 2531011u;
        results.push_back(static_cast<int>((x >> 16) & 0x7FFF));
    }
    return results;
}

// Writes `results` as `format` with values of `bits` bits whose top 15 are the result; the bits
// below are filled with noise, which the die must ignore.
void WriteValues(const std::string& path, const std::vector<int>& results, const std::string& format, int bits)
{
    std::ofstream out(path, std::ios::binary);
    const int width = format == "u16le" ? 16 : format == "u32le" ? 32 : 64;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const std::uint64_t noise = (i * 0x9E3779B97F4A7C15ull) & ((std::uint64_t{1} << (bits - 15)) - 1);
        const std::uint64_t v = (static_cast<std::uint64_t>(results[i]) << (bits - 15)) | noise;
        if (format == "text") {
            out << v << (i % 7 == 6 ? "\n" : i % 2 ? ", " : " \t");
            continue;
        }
        for (int b = 0; b < width; b += 8)
            out.put(static_cast<char>((v >> b) & 0xFF));
    }
}

std::vector<long long> JsonCounts(const std::string& json)
{
    return JsonList<long long>(JsonTree(json), "faces", "count");
}

TEST(CheckInput, EveryFormatOfTheSameValuesGivesTheCountsOfTheRollLoop)
{
    CheckDir dir;
    const std::vector<int> results = Lcg15(3 * 6000 + 4321);  // three whole runs and the start of a fourth
    const qdx::test::StreamRuns lcg(results);
    ASSERT_EQ(lcg.runs, 3);
    struct Case {
        const char* format;
        int bits;
        const char* option;
    } cases[] = {
        {"u16le", 16, ""}, {"u16le", 15, " --bits 15"}, {"u32le", 32, " --input-format u32le"},
        {"u32le", 20, " --input-format=u32le --bits 20"}, {"u64le", 64, " --input-format u64le"},
        {"u64le", 40, " --input-format u64le --bits 40"}, {"text", 15, " --input-format text"},
        {"text", 17, " --input-format TEXT --bits 17"},
    };
    for (const Case& c : cases) {
        const std::string file = dir.Path() + "/values";
        WriteValues(file, results, c.format, c.bits);
        for (const char* via : {"file", "pipe"}) {
            const bool pipe = std::string(via) == "pipe";
            const Outcome o = RunProgram(dir, std::string("--format json --input ") + (pipe ? "-" : file) + c.option,
                                         pipe ? file : "/dev/null");
            SCOPED_TRACE(std::string(c.format) + c.option + " from a " + via);
            ASSERT_EQ(o.status, 0) << o.err;
            EXPECT_EQ(JsonCounts(o.out), lcg.counts);
            EXPECT_THAT(o.out, HasSubstr("\"runs\": 3,"));
            EXPECT_THAT(o.out, HasSubstr("\"input_format\": \"" + std::string(c.format) + "\",\n  \"bits\": " +
                                          std::to_string(c.bits) + ","));
            EXPECT_EQ(o.err, "rolvek-check: " + std::to_string(lcg.leftOver) + " values at the end do not fill a run\n");
        }
    }
    // --runs below what the input holds: only those.
    WriteValues(dir.Path() + "/values", results, "u16le", 16);
    const Outcome o = RunProgram(dir, "--format csv --runs 2 --input " + dir.Path() + "/values");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 7) << o.out;  // the header and six faces
    EXPECT_THAT(o.err, StartsWith("Input: " + dir.Path() + "/values (u16le, 16 bits)\nCompleted runs: 2 (12000 rolls)\n"));
}

TEST(CheckInput, InputThatCannotBeUsedIsOneMessageAndExitOne)
{
    CheckDir dir;
    const std::string d = dir.Path();
    const std::vector<int> results = Lcg15(5000);
    WriteValues(d + "/short", results, "u16le", 16);
    WriteValues(d + "/short.txt", results, "text", 15);
    std::ofstream(d + "/empty").close();
    std::ofstream(d + "/word.txt") << "1 2 3\n4, 5,x6 7\n";
    std::ofstream(d + "/big.txt") << "1 2\n 32768\n";
    std::ofstream(d + "/neg.txt") << "-1\n";
    std::ofstream(d + "/big.bin", std::ios::binary) << std::string("\x01\x00\x02\x00\x00\x80", 6);
    std::ofstream(d + "/odd.bin", std::ios::binary) << std::string("\x01\x00\x02", 3);
    struct Case {
        std::string args, err;
    } cases[] = {
        {"--input " + d + "/empty", d + "/empty holds no values"},
        {"--input " + d + "/short",
         d + "/short is shorter than one run: its 5000 values give fewer than the 6000 accepted rolls of a run"},
        {"--input " + d + "/short.txt --input-format text",
         d + "/short.txt is shorter than one run: its 5000 values give fewer than the 6000 accepted rolls of a run"},
        {"--input " + d + "/odd.bin", d + "/odd.bin is shorter than one run: its 1 values give fewer than the 6000 "
                                          "accepted rolls of a run, and 1 bytes at the end make no whole u16le value"},
        {"--input " + d + "/word.txt --input-format text", d + "/word.txt, line 2, column 6: 'x6' is not a whole number"},
        {"--input " + d + "/big.txt --input-format text",
         d + "/big.txt, line 2, column 2: 32768 is outside 0 .. 32767 (15 bits; see --bits)"},
        {"--input " + d + "/neg.txt --input-format text",
         d + "/neg.txt, line 1, column 1: -1 is outside 0 .. 32767 (15 bits; see --bits)"},
        {"--input " + d + "/big.bin --bits 15",
         d + "/big.bin: the u16le value at byte offset 4 is 32768, more than 15 bits hold (at most 32767; see --bits)"},
        {"--input " + d, d + " is a directory; --input needs a file of values, or - for standard input"},
        {"--input " + d + "/missing", "cannot open " + d + "/missing: No such file or directory"},
    };
    for (const Case& c : cases) {
        const Outcome o = RunProgram(dir, "--format csv " + c.args);
        EXPECT_EQ(o.status, 1) << c.args;
        EXPECT_EQ(o.err, "rolvek-check: " + c.err + "\n") << c.args;
        EXPECT_EQ(o.out, "") << c.args;  // nothing counted, nothing reported
    }
    // Options that do not fit together are bad options (exit 2).
    for (const char* args : {"--bits 16", "--input x --bits 14", "--input x --seed 3", "--input x --bits 17"}) {
        const Outcome o = RunProgram(dir, args);
        EXPECT_EQ(o.status, 2) << args << ": " << o.err;
    }
}

TEST(CheckInput, AFifoClosedEarlyIsShortAndAQuietOneStillHearsSigint)
{
    CheckDir dir;
    const std::string fifo = dir.Path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Outcome o = RunDuring(dir, {"--format", "csv", "--input", fifo}, [&](pid_t) {
        const int fd = open(fifo.c_str(), O_WRONLY);
        EXPECT_EQ(write(fd, "\x01\x00\x02\x00\x03\x00", 6), 6);
        close(fd);
    });
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "rolvek-check: " + fifo +
                         " is shorter than one run: its 3 values give fewer than the 6000 accepted rolls of a run\n");

    // A writer that never writes: the reader polls, so SIGINT still ends the check at once.
    std::ofstream(dir.Path() + "/rolvek.ini") << "[SYS]\nRollsPerRun=1000\n";  // logs "Check started"
    int fd = -1;  // held open until the program has ended
    o = RunDuring(dir, {"--format", "csv", "--input", fifo}, [&](pid_t program) {
        fd = open(fifo.c_str(), O_WRONLY);
        AwaitStart(dir);
        kill(program, SIGINT);
    });
    close(fd);
    EXPECT_EQ(o.status, 130) << o.err;
    EXPECT_THAT(o.err, HasSubstr("\nCompleted runs: 0 (interrupted) (0 rolls)\n"));
}

TEST(CheckInput, RepeatedChecksAreConsecutiveStretchesOfTheInput)
{
    CheckDir dir;
    const std::string d = dir.Path();
    const std::vector<int> results = Lcg15(4 * 6000 + 100);
    std::size_t cut = 0;  // the values of the first two runs
    for (int accepted = 0; accepted < 2 * 6000; ++cut)
        accepted += results[cut] <= 32765;
    const auto at = results.begin() + static_cast<std::ptrdiff_t>(cut);
    WriteValues(d + "/all", results, "u16le", 16);
    WriteValues(d + "/first", {results.begin(), at}, "u16le", 16);
    WriteValues(d + "/second", {at, results.end()}, "u16le", 16);
    auto json = [&](const std::string& args) {
        const Outcome o = RunProgram(dir, "--format json --test faces,pairs --runs 2 " + args);
        EXPECT_EQ(o.status, 0) << args << ": " << o.err;
        return JsonTree(o.out);
    };
    const auto repeated = json("--repeat 2 --input " + d + "/all");
    const auto faces = JsonList<double>(repeated, "verdicts.faces.p_values");
    const auto pairs = JsonList<double>(repeated, "verdicts.pairs.p_values");
    ASSERT_EQ(faces.size(), 2u);
    ASSERT_EQ(pairs.size(), 2u);
    for (int k : {0, 1}) {
        const auto alone = json("--input " + d + (k == 0 ? "/first" : "/second"));
        EXPECT_DOUBLE_EQ(faces[k], alone.get<double>("faces_test.p_value")) << k;
        EXPECT_DOUBLE_EQ(pairs[k], alone.get<double>("pairs_test.p_value")) << k;
    }
    // An input that holds fewer checks than asked: the verdicts are over those it holds.
    const Outcome o = RunProgram(dir, "--runs 2 --repeat 3 --input " + d + "/all");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.err, HasSubstr("holds 2 of the 3 checks of 2 runs; the verdicts are over 2\n"));
}

TEST(CheckSeed, TheSameSeedRepeatsEveryFormatAndEveryNumberOfJobs)
{
    CheckDir dir;
    for (const char* generator : {"libc", "lcg214013", "lcg1103515245", "minstd", "mt19937", "randu"}) {
        const std::string args =
            std::string("--runs 5 --rolls-per-run 1000 --values 7 --test faces,pairs --repeat 2 --generator ") + generator;
        std::string json;
        for (const char* format : {"table", "csv", "json"}) {
            const Outcome first = RunProgram(dir, args + " --seed 18446744073709551615 --jobs 1 --format " + format);
            const Outcome again = RunProgram(dir, args + " --seed 18446744073709551615 --jobs 2 --format " + format);
            ASSERT_EQ(first.status, 0) << first.err;
            EXPECT_EQ(first.out, again.out) << generator << " " << format;
            if (std::string(format) == "json")
                json = first.out;
        }
        EXPECT_THAT(json, HasSubstr("\"seed\": 18446744073709551615,"));
        const Outcome other = RunProgram(dir, args + " --seed 1 --format json");
        EXPECT_NE(JsonCounts(other.out), JsonCounts(json)) << generator;
    }
    // Without --seed one is drawn and printed; given back, it repeats the check.
    const Outcome drawn = RunProgram(dir, "--runs 2 --rolls-per-run 1000 --format csv");
    ASSERT_EQ(drawn.err.rfind("Seed: ", 0), 0u) << drawn.err;
    const std::string seed = drawn.err.substr(6, drawn.err.find(' ', 6) - 6);
    EXPECT_EQ(RunProgram(dir, "--runs 2 --rolls-per-run 1000 --format csv --seed " + seed).out, drawn.out);
}

} // namespace
