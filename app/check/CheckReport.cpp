#include "check/CheckReport.h"

#include <algorithm>
#include <cmath>
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

std::string Plural(long long n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A log10 p-value in JSON: null for a p-value of exactly 0 (minus infinity).
std::string JsonLog10(double value)
{
    return std::isfinite(value) ? JsonNumber(value) : "null";
}

// The deviation as the window writes it, in hundredths of a percent ("-12.34"); "" when unknown.
const std::string& DeviationText(const CheckFace& f)
{
    return f.less.empty() ? f.more : f.less;
}

std::string TailsText(const TwoTails& p)
{
    return "p-value " + PValueText(p.upper) + " (too uneven) and " + PValueText(p.lower) + " (too even)";
}

std::string FlaggedList(const CheckReport& r)
{
    std::string list;
    int flagged = 0;
    for (const CheckFace& f : r.faces) {
        if (!f.flagged)
            continue;
        if (++flagged <= 20)
            list += (flagged > 1 ? ", " : "") + std::to_string(f.value) + Printf(" (z %.2f)", f.z);
    }
    if (flagged == 0)
        return "none";
    return flagged > 20 ? list + Printf(", ... (%d in all)", flagged) : list;
}

// What failed, one phrase each; empty when nothing did.
std::vector<std::string> Failures(const CheckReport& r)
{
    std::vector<std::string> out;
    if (r.repeat > 0) {
        for (const RepeatVerdict& v : r.verdicts)
            if (v.uniformity.verdict == Verdict::Failed)
                out.push_back(v.test + " FAILED over " + Plural(r.repeat, "check", "checks"));
        return out;
    }
    auto tails = [&](const char* name, const TestOutcome& t) {
        if (!t.made)
            return;
        if (t.p.upper < r.alpha)
            out.push_back(std::string(name) + " too uneven (p " + PValueText(t.p.upper) + ")");
        if (t.p.lower < r.alpha)
            out.push_back(std::string(name) + " too even (p " + PValueText(t.p.lower) + ")");
    };
    if (r.facesAsked)
        tails("faces", r.faceTest);
    if (r.pairs)
        tails("pairs", *r.pairs);
    for (const CheckFace& f : r.faces)
        if (r.facesAsked && f.flagged) {
            out.push_back("faces outside the flag band: " + FlaggedList(r));
            break;
        }
    return out;
}

std::string FormatTable(const CheckReport& r)
{
    std::string out = "Rolvek check: " + Plural(r.runs, "run", "runs") + " of " +
                      Plural(r.rollsPerRun, "roll", "rolls") + " (" + Plural(r.values, "value", "values") +
                      "), generator " + r.generator + "\n\n";
    out += Printf("%6s %14s %8s %8s %7s  %s\n", "Value", "Count", "Less", "More", "z", "Deviation");
    for (const CheckFace& f : r.faces)
        out += Printf("%6d %14s %8s %8s %7.2f%s %s\n", f.value, f.countText.c_str(), f.less.c_str(), f.more.c_str(),
                      f.z, f.flagged ? "!" : " ", TextBar(f.barPosition, kBarWidth).c_str());
    return out + "\n" + FormatSummary(r);
}

// One table, one row per face, that csv.DictReader reads as it is.
std::string FormatCsv(const CheckReport& r)
{
    std::string out = "value,count,deviation,z,flag\n";
    for (const CheckFace& f : r.faces)
        out += Printf("%d,%" PRId64 ",%s,%.4f,%d\n", f.value, f.count, DeviationText(f).c_str(), f.z,
                      f.flagged ? 1 : 0);
    return out;
}

std::string JsonTails(const TwoTails& p)
{
    return "\"p_value\": " + JsonNumber(p.upper) + ", \"p_value_too_even\": " + JsonNumber(p.lower) +
           ", \"log10_p_value\": " + JsonLog10(p.log10Upper) + ", \"log10_p_value_too_even\": " +
           JsonLog10(p.log10Lower);
}

std::string JsonTest(const TestOutcome& t)
{
    if (!t.made)
        return "{\"made\": false, \"refusal\": " + JsonString(t.refusal) + "}";
    return "{\"made\": true, \"statistic\": " + JsonNumber(t.statistic) +
           ", \"degrees_of_freedom\": " + JsonNumber(t.degreesOfFreedom) + ", " + JsonTails(t.p) + "}";
}

std::string FormatJson(const CheckReport& r)
{
    const int perFace = r.values > 0 ? r.rollsPerRun / r.values : 0;
    std::string out = "{\n";
    out += Printf("  \"format_version\": %d,\n", kReportFormatVersion);
    out += "  \"generator\": " + JsonString(r.generator) + ",\n";
    if (r.seed)
        out += Printf("  \"seed\": %" PRIu64 ",\n", *r.seed);
    if (!r.input.empty())
        out += "  \"input\": " + JsonString(r.input) + ",\n  \"input_format\": " + JsonString(r.inputFormat) +
               Printf(",\n  \"bits\": %d,\n", r.bits);
    out += Printf("  \"values\": %d,\n  \"rolls_per_run\": %d,\n  \"rolls_in_run\": %d,\n  \"runs\": %d,\n"
                  "  \"rolls\": %lld,\n  \"interrupted\": %s,\n",
                  r.values, perFace, r.rollsPerRun, r.runs, static_cast<long long>(r.rollsPerRun) * r.runs,
                  r.interrupted ? "true" : "false");
    out += "  \"faces\": [";
    for (size_t i = 0; i < r.faces.size(); ++i) {
        const CheckFace& f = r.faces[i];
        const std::string& deviation = DeviationText(f);
        out += i ? ",\n    " : "\n    ";
        out += Printf("{\"value\": %d, \"count\": %" PRId64 ", \"deviation\": %s, \"z\": ", f.value, f.count,
                      deviation.empty() ? "null" : deviation.c_str()) +
               JsonNumber(f.z) + ", \"flagged\": " + (f.flagged ? "true" : "false") +
               ", \"count_text\": " + JsonString(f.countText) + ", \"less_text\": " + JsonString(f.less) +
               ", \"more_text\": " + JsonString(f.more) + Printf(", \"bar_position\": %d}", f.barPosition);
    }
    out += r.faces.empty() ? "],\n" : "\n  ],\n";
    out += "  \"flag_band\": " + JsonNumber(r.band) + ",\n";
    out += "  \"flag_familywise\": " + JsonNumber(kFlagFamilywise) + ",\n";
    out += "  \"alpha\": " + JsonNumber(r.alpha) + ",\n";
    out += "  \"faces_test\": " + JsonTest(r.faceTest) + ",\n";
    if (r.pairs) {
        out += "  \"pairs_test\": " + JsonTest(*r.pairs);
        if (r.pairs->made)
            out.insert(out.size() - 1, ", \"pair_chi_square\": " + JsonNumber(r.pairs->pairStatistic));
        out += ",\n";
    }
    out += "  \"detectable_bias\": " + (std::isfinite(r.detectableBias) ? JsonNumber(r.detectableBias) : "null") +
           ",\n";
    if (r.repeat > 0) {
        out += Printf("  \"repeat\": %d,\n  \"verdicts\": {", r.repeat);
        for (size_t i = 0; i < r.verdicts.size(); ++i) {
            const RepeatVerdict& v = r.verdicts[i];
            out += (i ? ",\n    " : "\n    ") + JsonString(v.test) + ": {\"verdict\": " +
                   JsonString(VerdictName(v.uniformity.verdict)) + ", \"p_value\": " + JsonNumber(v.uniformity.pValue) +
                   ", \"anderson_darling\": " + JsonNumber(v.uniformity.statistic) +
                   ", \"anderson_darling_p_value\": " + JsonNumber(v.uniformity.andersonP) +
                   ", \"extreme_p_value\": " + JsonNumber(v.uniformity.extremeP) + ", \"p_values\": [";
            for (size_t k = 0; k < v.checks.size(); ++k)
                out += (k ? ", " : "") + JsonNumber(v.checks[k].upper);
            out += "]}";
        }
        out += "\n  },\n";
    }
    out += std::string("  \"failed\": ") + (CheckFailed(r) ? "true" : "false") + "\n}\n";
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

TestOutcome MakePairsOutcome(const SerialTest& serial)
{
    TestOutcome t;
    t.made = serial.made;
    t.refusal = serial.refusal;
    t.statistic = serial.statistic;
    t.degreesOfFreedom = serial.degreesOfFreedom;
    t.p = serial.p;
    t.pairStatistic = serial.pairStatistic;
    return t;
}

void AddFaceStatistics(CheckReport& report)
{
    std::vector<std::int64_t> counts;
    for (const CheckFace& f : report.faces)
        counts.push_back(f.count);
    const std::vector<double> z = FaceZScores(counts);
    report.band = FlagBand(static_cast<int>(counts.size()));
    for (size_t i = 0; i < counts.size(); ++i) {
        report.faces[i].z = z[i];
        report.faces[i].flagged = std::fabs(z[i]) > report.band;
    }
    const ChiSquareTest chi = ChiSquareOfFaces(counts);
    report.faceTest.made = chi.degreesOfFreedom > 0;
    report.faceTest.refusal = report.faceTest.made ? "" : "a die of one value, or no roll, has nothing to test";
    report.faceTest.statistic = chi.statistic;
    report.faceTest.degreesOfFreedom = chi.degreesOfFreedom;
    report.faceTest.p = chi.p;
    double rolls = 0;
    for (const std::int64_t c : counts)
        rolls += static_cast<double>(c);
    report.detectableBias = DetectableBias(static_cast<int>(counts.size()), rolls);
}

bool CheckFailed(const CheckReport& report)
{
    return !Failures(report).empty();
}

std::string FormatSummary(const CheckReport& r)
{
    std::string out;
    if (r.seed)
        out += Printf("Seed: %" PRIu64 " (--seed %" PRIu64 " repeats this check)\n", *r.seed, *r.seed);
    if (!r.input.empty())
        out += Printf("Input: %s (%s, %d bits)\n", r.input == "-" ? "standard input" : r.input.c_str(),
                      r.inputFormat.c_str(), r.bits);
    out += "Completed runs: " + std::to_string(r.runs) + (r.interrupted ? " (interrupted)" : "") + " (" +
                      Plural(static_cast<long long>(r.rollsPerRun) * r.runs, "roll", "rolls") + ")\n";
    const TestOutcome& f = r.faceTest;
    if (r.facesAsked && f.made)
        out += Printf("Faces: chi-square %.4f with %.0f degrees of freedom, ", f.statistic, f.degreesOfFreedom) +
               TailsText(f.p) + "\n";
    else if (r.facesAsked)
        out += "Faces: not tested: " + f.refusal + "\n";
    if (r.facesAsked && std::isfinite(r.band))
        out += Printf("Flag band: |z| above %.2f (a %g %% chance of any false flag over ", r.band,
                      100 * kFlagFamilywise) +
               Plural(r.values, "value", "values") + "); flagged: " + FlaggedList(r) + "\n";
    if (r.facesAsked && std::isfinite(r.detectableBias))
        out += Printf("Detectable bias: a face %.3g %% too frequent would have been caught (in %g %% of checks)\n",
                      100 * r.detectableBias, 100 * kDetectPower);
    if (r.pairs) {
        if (r.pairs->made)
            out += Printf("Pairs: Good's serial statistic %.4f with %.0f degrees of freedom, ", r.pairs->statistic,
                          r.pairs->degreesOfFreedom) +
                   TailsText(r.pairs->p) + "\n";
        else
            out += "Pairs: not tested: " + r.pairs->refusal + "\n";
    }
    if (r.repeat > 0) {
        out += "Verdicts over " + Plural(r.repeat, "check", "checks") + ":";
        for (size_t i = 0; i < r.verdicts.size(); ++i)
            out += (i ? ", " : " ") + r.verdicts[i].test + " " + VerdictName(r.verdicts[i].uniformity.verdict) +
                   " (p " + PValueText(r.verdicts[i].uniformity.pValue) + ")";
        out += "\n";
    }
    const std::vector<std::string> failures = Failures(r);
    if (failures.empty()) {
        out += "Result: passed\n";
    } else {
        out += "Result: FAILED: ";
        for (size_t i = 0; i < failures.size(); ++i)
            out += (i ? "; " : "") + failures[i];
        out += Printf(" (alpha %g)\n", r.alpha);
    }
    return out;
}

std::string FormatTargetBias(int values, double bias, int rollsPerRun, CheckFormat format)
{
    const double rolls = RollsForBias(values, bias);
    const double runs = std::ceil(rolls / std::max(rollsPerRun, 1));
    if (format == CheckFormat::Json)
        return Printf("{\n  \"format_version\": %d,\n  \"values\": %d,\n  \"target_bias\": ", kReportFormatVersion,
                      values) +
               JsonNumber(bias) + ",\n  \"rolls\": " + (std::isfinite(rolls) ? JsonNumber(rolls) : "null") +
               Printf(",\n  \"rolls_in_run\": %d,\n  \"runs\": ", rollsPerRun) +
               (std::isfinite(runs) ? JsonNumber(runs) : "null") + "\n}\n";
    if (format == CheckFormat::Csv)
        return "values,target_bias,rolls,rolls_in_run,runs\n" + Printf("%d,", values) + JsonNumber(bias) + "," +
               (std::isfinite(rolls) ? JsonNumber(rolls) : "") + Printf(",%d,", rollsPerRun) +
               (std::isfinite(runs) ? JsonNumber(runs) : "") + "\n";
    if (!std::isfinite(rolls))
        return Printf("No number of rolls catches a face %g %% too frequent with ", 100 * bias) +
               Plural(values, "value", "values") + ".\n";
    return Printf("To catch a face %g %% too frequent (in %g %% of checks) with ", 100 * bias, 100 * kDetectPower) +
           Plural(values, "value", "values") + Printf(": %.0f rolls, ", rolls) +
           Plural(static_cast<long long>(runs), "run", "runs") + " of " + Plural(rollsPerRun, "roll", "rolls") +
           Printf(" (--runs %.0f).\n", runs);
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
