// What rolvek-check prints: the totals of the check, face by face with the texts the window
// shows, the completed runs, and the chi-square test of the totals; as a table, CSV or JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check/CheckOptions.h"

struct CheckFace {
    int value = 0;            // 1-based face number
    std::int64_t count = 0;   // exact count over all runs
    std::string countText;    // "%d", or "%.5f Mill" from one million on
    std::string less;         // deviation in hundredths of a percent when negative, else ""
    std::string more;         // the same when not negative, else ""
    int barPosition = 500;    // 0..1000, 500 is zero deviation
};

struct CheckReport {
    std::string generator;
    int values = 0;
    int rollsPerRun = 0;      // accepted rolls of one run, all faces together
    int runs = 0;             // completed runs in the totals
    bool interrupted = false; // the check was stopped (SIGINT, SIGTERM) before all its runs
    std::vector<CheckFace> faces;
    double chiSquare = 0;
    int degreesOfFreedom = 0;
    double pValue = 1;
};

// Chi-square statistic of `counts` against equal expectation, and its upper-tail p-value with
// counts.size() - 1 degrees of freedom. With fewer than two counts, or none rolled, the
// statistic is 0 and the p-value 1.
struct ChiSquare {
    double statistic = 0;
    int degreesOfFreedom = 0;
    double pValue = 1;
};
ChiSquare ChiSquareOfCounts(const std::vector<std::int64_t>& counts);

// A text bar of `width` characters for a bar position 0..1000, filled from the left like the
// window's bar: TextBar(500, 10) is "#####.....".
std::string TextBar(int position, int width);

// printf into a std::string (up to 511 characters).
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string FormatReport(const CheckReport& report, CheckFormat format);
