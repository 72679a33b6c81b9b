// Command-line options of rolvek-check.
//
//   rolvek-check --runs 20 --values 6 --format json
//
// ParseCheckOptions reads the arguments into CheckOptions; a bad option or value gives a
// one-line message naming it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "RollStream.h"

enum class CheckFormat { Table, Csv, Json };

struct CheckOptions {
    int runs = 10;                        // runs to complete
    std::optional<int> values;            // faces; default from the settings file
    std::optional<int> rollsPerRun;       // rolls per face and run; default from the settings file
    std::optional<std::string> generator; // default from the settings file
    CheckFormat format = CheckFormat::Table;
    bool testFaces = true;                // --test: the chi-square, z-scores and flags of the faces
    bool testPairs = false;               // --test: Good's serial test of consecutive rolls
    int repeat = 0;                       // --repeat K: K checks and a verdict per test (0: one check)
    double alpha = 1e-6;                  // --alpha: a tail below it fails the check
    std::optional<double> targetBias;     // --target-bias: print the rolls this bias needs, roll nothing
    std::optional<std::string> plot;      // --plot FILE: write the SVG picture there
    bool help = false;
    // Where the values come from and how the runs are rolled (--input, --seed, --jobs).
    bool runsGiven = false;                        // --runs given: with --input, at most that many
    std::optional<std::string> input;              // --input FILE, "-" for standard input
    InputFormat inputFormat = InputFormat::U16le;  // --input-format
    int bits = 0;                                  // --bits; 0: 15 for text, else the word's width
    std::optional<std::uint64_t> seed;             // --seed; none: rolvek-check draws one
    int jobs = 0;                                  // --jobs; 0: one per core
    bool version = false;
};

// Jobs rolvek-check runs at most: each keeps up to 1 MB of runs in flight.
constexpr int kMaxCheckJobs = 64;

// Reads argv[1..argc-1] with getopt_long: options take their value as the next argument or
// after '=' ("--runs 5", "--runs=5") and may be shortened while they stay unambiguous. Returns
// true, or false with `error` set to a one-line message such as "unknown option '--fast'" or
// "bad value 'x' for --runs: expected a whole number from 1".
bool ParseCheckOptions(int argc, const char* const* argv, CheckOptions& options, std::string& error);

// The text --help prints.
std::string CheckUsage();
// The text --version prints.
std::string CheckVersion();
