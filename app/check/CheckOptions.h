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
    bool help = false;
};

// Reads argv[1..argc-1]. Options take their value as the next argument or after '='
// ("--runs 5", "--runs=5"). Returns true, or false with `error` set to a one-line message such
// as "unknown option '--fast'" or "bad value 'x' for --runs: expected a whole number from 1".
bool ParseCheckOptions(int argc, const char* const* argv, CheckOptions& options, std::string& error);

// The text --help prints.
std::string CheckUsage();
