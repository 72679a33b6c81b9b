#include "check/CheckReport.h"

#include <boost/math/distributions/chi_squared.hpp>

#include <algorithm>
#include <cstdarg>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kBarWidth = 40;

// Numbers in JSON: the shortest text that reads back as the same double.
std::string JsonNumber(double value)
{
    for (int precision = 6; precision <= 17; ++precision) {
        const std::string text = Printf("%.*g", precision, value);
        if (std::strtod(text.c_str(), nullptr) == value)
            return text;
    }
    return Printf("%.17g", value);
}

// The cell texts are plain ASCII, but quote and escape them properly all the same.
std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += Printf("\\u%04x", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string FormatTable(const CheckReport& r)
{
    std::string out = Printf("Rolvek check: %d runs of %d rolls (%d values), generator %s\n\n", r.runs,
                             r.rollsPerRun, r.values, r.generator.c_str());
    out += Printf("%6s %14s %8s %8s  %s\n", "Value", "Count", "Less", "More", "Deviation");
    for (const CheckFace& f : r.faces)
        out += Printf("%6d %14s %8s %8s  %s\n", f.value, f.countText.c_str(), f.less.c_str(), f.more.c_str(),
                      TextBar(f.barPosition, kBarWidth).c_str());
    out += Printf("\nCompleted runs: %d%s\n", r.runs, r.interrupted ? " (interrupted)" : "");
    out += Printf("Chi-square: %.4f with %d degrees of freedom, p-value %.4g\n", r.chiSquare, r.degreesOfFreedom,
                  r.pValue);
    return out;
}

// Two tables: one row per face, then (after a blank line) one summary row.
std::string FormatCsv(const CheckReport& r)
{
    std::string out = "value,count,count_text,less,more,bar_position\n";
    for (const CheckFace& f : r.faces)
        out += Printf("%d,%" PRId64 ",%s,%s,%s,%d\n", f.value, f.count, f.countText.c_str(), f.less.c_str(),
                      f.more.c_str(), f.barPosition);
    out += "\ngenerator,values,rolls_per_run,runs,chi_square,degrees_of_freedom,p_value,interrupted\n";
    out += Printf("%s,%d,%d,%d,%s,%d,%s,%d\n", r.generator.c_str(), r.values, r.rollsPerRun, r.runs,
                  JsonNumber(r.chiSquare).c_str(), r.degreesOfFreedom, JsonNumber(r.pValue).c_str(),
                  r.interrupted ? 1 : 0);
    return out;
}

std::string FormatJson(const CheckReport& r)
{
    std::string out = "{\n";
    out += "  \"generator\": " + JsonString(r.generator) + ",\n";
    out += Printf("  \"values\": %d,\n  \"rolls_per_run\": %d,\n  \"runs\": %d,\n  \"interrupted\": %s,\n", r.values,
                  r.rollsPerRun, r.runs, r.interrupted ? "true" : "false");
    out += "  \"faces\": [";
    for (size_t i = 0; i < r.faces.size(); ++i) {
        const CheckFace& f = r.faces[i];
        out += i ? ",\n    " : "\n    ";
        out += Printf("{\"value\": %d, \"count\": %" PRId64 ", \"count_text\": ", f.value, f.count) +
               JsonString(f.countText) + ", \"less\": " + JsonString(f.less) + ", \"more\": " + JsonString(f.more) +
               Printf(", \"bar_position\": %d}", f.barPosition);
    }
    out += r.faces.empty() ? "],\n" : "\n  ],\n";
    out += "  \"chi_square\": " + JsonNumber(r.chiSquare) + ",\n";
    out += Printf("  \"degrees_of_freedom\": %d,\n", r.degreesOfFreedom);
    out += "  \"p_value\": " + JsonNumber(r.pValue) + "\n}\n";
    return out;
}

} // namespace

std::string Printf(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

ChiSquare ChiSquareOfCounts(const std::vector<std::int64_t>& counts)
{
    ChiSquare result;
    if (counts.size() < 2)
        return result;
    double total = 0;
    for (const std::int64_t c : counts)
        total += static_cast<double>(c);
    if (total <= 0)
        return result;
    const double expected = total / static_cast<double>(counts.size());
    for (const std::int64_t c : counts) {
        const double d = static_cast<double>(c) - expected;
        result.statistic += d * d / expected;
    }
    result.degreesOfFreedom = static_cast<int>(counts.size()) - 1;
    const boost::math::chi_squared distribution(result.degreesOfFreedom);
    result.pValue = boost::math::cdf(boost::math::complement(distribution, result.statistic));
    return result;
}

std::string TextBar(int position, int width)
{
    const int filled = std::clamp(position, 0, 1000) * width / 1000;
    return std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), '.');
}

std::string FormatReport(const CheckReport& report, CheckFormat format)
{
    switch (format) {
    case CheckFormat::Csv:
        return FormatCsv(report);
    case CheckFormat::Json:
        return FormatJson(report);
    case CheckFormat::Table:
        break;
    }
    return FormatTable(report);
}
