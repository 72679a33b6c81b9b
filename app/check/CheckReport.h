// What rolvek-check prints: the totals of the check face by face (the texts the window shows,
// the z-score and the flag), the completed runs, the tests (faces, pairs), the bias the check
// could have seen and, with --repeat, a verdict per test; as a table, CSV or JSON.
//
//   CheckReport report = MakeCheckReport(totals);   // counts and the window's texts
//   AddFaceStatistics(report);                      // z-scores, flags, face test, bias
//   report.pairs = MakePairsOutcome(GoodSerialTest(pairs));
//   FormatReport(report, CheckFormat::Json);
//   CheckFailed(report)                             // exit code 3
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SerialTest.h"
#include "Statistics.h"
#include "check/CheckOptions.h"

// The version of the JSON layout, its "format_version" field; raised when a field changes its
// meaning or goes away.
constexpr int kReportFormatVersion = 2;

struct CheckFace {
    int value = 0;            // 1-based face number
    std::int64_t count = 0;   // exact count over all runs
    std::string countText;    // "%d", or "%.5f Mill" from one million on
    std::string less;         // deviation in hundredths of a percent when negative, else ""
    std::string more;         // the same when not negative, else ""
    int barPosition = 500;    // 0..1000, 500 is zero deviation
    double z = 0;             // z-score of the count (AddFaceStatistics)
    bool flagged = false;     // |z| beyond the flag band
};

// One test of the check: its statistic and both tails, or why it was not made.
struct TestOutcome {
    bool made = false;
    std::string refusal;
    double statistic = 0;
    double degreesOfFreedom = 0;
    TwoTails p;
    double pairStatistic = 0;  // pairs: the plain chi-square of the pair counts
};
TestOutcome MakePairsOutcome(const SerialTest& serial);

// --repeat: the tails of each check for one test, and the verdict over them.
struct RepeatVerdict {
    std::string test;              // "faces" or "pairs"
    std::vector<TwoTails> checks;  // one per check, in check order
    Uniformity uniformity;
};

struct CheckReport {
    std::string generator;
    int values = 0;
    int rollsPerRun = 0;      // accepted rolls of one run, all faces together
    int runs = 0;             // completed runs in the totals
    bool interrupted = false; // the check was stopped (SIGINT, SIGTERM) before all its runs
    std::optional<std::uint64_t> seed;  // the seed of a built-in generator
    std::string input;        // the values' source with --input ("-" for standard input), else ""
    std::string inputFormat;  // with --input: "u16le", ... and the bits a value holds
    int bits = 0;
    std::vector<CheckFace> faces;

    double alpha = kDefaultAlpha;  // a tail below it fails the check
    double band = 0;               // flag band of the z-scores (AddFaceStatistics)
    bool facesAsked = true;        // --test holds faces: the face test and flags can fail the check
    TestOutcome faceTest;          // the chi-square of the counts, both tails
    std::optional<TestOutcome> pairs;  // with --test pairs
    double detectableBias = 0;     // relative bias of one face caught 99 % of the time
    int repeat = 0;                // checks of --repeat K (0 without)
    std::vector<RepeatVerdict> verdicts;  // with --repeat, one per test
};

// Fills in the z-scores and flags of the faces, the flag band, the face test and the
// detectable bias from the faces' counts.
void AddFaceStatistics(CheckReport& report);

// Whether the check failed, for exit code 3: with --repeat a FAILED verdict; without, a tail
// below alpha in a test that was asked for and made, or a flagged face (when faces were asked).
bool CheckFailed(const CheckReport& report);

// A text bar of `width` characters for a bar position 0..1000, filled from the left like the
// window's bar: TextBar(500, 10) is "#####.....".
std::string TextBar(int position, int width);

// printf into a std::string (up to 511 characters).
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The report as a table, CSV or JSON. CSV is the face table alone; its summary is
// FormatSummary, which rolvek-check writes to standard error.
std::string FormatReport(const CheckReport& report, CheckFormat format);
// The lines under the table: runs, tests, flags, bias, verdicts and the result.
std::string FormatSummary(const CheckReport& report);

// --target-bias: how many rolls (and runs of `rollsPerRun`) catch one face `bias` too frequent.
std::string FormatTargetBias(int values, double bias, int rollsPerRun, CheckFormat format);
