// Command-line options of rolvek-check.
//
//   rolvek-check --runs 20 --values 6 --format json
//
// ParseCheckOptions reads the arguments into CheckOptions; a bad option or value gives a
// one-line message naming it.
#pragma once

#include <optional>
#include <string>

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
    bool version = false;
};

// Reads argv[1..argc-1]. Options take their value as the next argument or after '='
// ("--runs 5", "--runs=5"). Returns true, or false with `error` set to a one-line message such
// as "unknown option '--fast'" or "bad value 'x' for --runs: expected a whole number from 1".
bool ParseCheckOptions(int argc, const char* const* argv, CheckOptions& options, std::string& error);

// The text --help prints.
std::string CheckUsage();
// The text --version prints.
std::string CheckVersion();
