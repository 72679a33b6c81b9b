#include "check/CheckOptions.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include <getopt.h>

#include "RollStream.h"
#include "RunSettings.h"

namespace {

// A whole number in the int range, with an optional sign and nothing else around it.
bool ParseInt(const std::string& text, long long low, long long high, int& value)
{
    if (text.empty() || std::strchr("+-0123456789", text[0]) == nullptr)
        return false;
    errno = 0;
    char* end = nullptr;
    const long long number = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || end == text.c_str() || number < low || number > high)
        return false;
    value = static_cast<int>(number);
    return true;
}

// A real number with nothing around it; a trailing '%' divides it by 100 when `percent`.
bool ParseReal(const std::string& text, bool percent, double& value)
{
    std::string number = text;
    const bool inPercent = percent && !number.empty() && number.back() == '%';
    if (inPercent)
        number.pop_back();
    if (number.empty() || std::strchr("+-.0123456789", number[0]) == nullptr)
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(number.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value))
        return false;
    if (inPercent)
        value /= 100;
    return true;
}

std::string Shown(const std::string& text)
{
    return ShownInMessage(text.data(), text.size());
}

std::string BadValue(const std::string& value, const std::string& option, const std::string& expected)
{
    return "bad value '" + Shown(value) + "' for " + Shown(option) + ": expected " + expected;
}

} // namespace

std::string CheckUsage()
{
    return "Usage: rolvek-check [options]\n"
           "Rolls the die run after run, like the Rolvek window, and prints the totals with the\n"
           "statistics of the check.\n"
           "\n"
           "  --runs N           runs to complete (default 10; with --input every run it holds)\n"
           "  --values V         faces of the die (default: RollValues of the settings file)\n"
           "  --rolls-per-run R  rolls per face in each run, at least 1000\n"
           "                     (default: RollsPerRun of the settings file)\n"
           "  --generator NAME   libc, lcg214013, lcg1103515245, minstd, mt19937 or randu\n"
           "                     (default: Generator of the settings file)\n"
           "  --seed N           seed of the generator, 0 to 2^64 - 1: the same seed gives the\n"
           "                     same totals (default: one drawn and printed with the report)\n"
           "  --jobs N           runs rolled at once, 1 to 64 (default: one per core); the\n"
           "                     totals of a seed are the same for every N\n"
           "  --input FILE       roll the values of FILE (- for standard input) instead of a\n"
           "                     generator's; the die takes the top 15 bits of each\n"
           "  --input-format F   u16le (default), u32le, u64le (little-endian words) or text\n"
           "                     (whole numbers separated by blanks, commas or line ends)\n"
           "  --bits K           bits a value holds, 15 to the word's width (default: the\n"
           "                     word's width; 15 for text)\n"
           "  --format F         table (default), csv or json; with csv the summary goes to\n"
           "                     standard error\n"
           "  --test LIST        faces (default), pairs, or faces,pairs: the chi-square of the\n"
           "                     faces with their z-scores, and Good's serial test of consecutive\n"
           "                     rolls (at most 4096 values, at least 5 rolls per pair of values)\n"
           "  --repeat K         K checks of --runs runs each (with --input, K consecutive\n"
           "                     stretches of the input), and a verdict per test over their K\n"
           "                     p-values: PASSED, WEAK (p below 0.005) or FAILED (below alpha)\n"
           "  --alpha A          a p-value below A fails the check (default 1e-6)\n"
           "  --target-bias B    print how many rolls catch one face B too frequent (0.001 or\n"
           "                     0.1%) in 99 % of checks, and roll nothing\n"
           "  --plot FILE        also write the z-scores (and the repeats' p-values) as an SVG\n"
           "  -h, --help         show this text\n"
           "  --version          show the version\n"
           "\n"
           "A face is flagged when its z-score leaves the band that a fair die leaves in 0.1 % of\n"
           "checks over all its faces. Values that cannot be used are brought to the nearest\n"
           "workable one, as the window does, with a note on standard error. Ctrl+C (SIGINT) or\n"
           "SIGTERM stops the check and prints the runs completed so far, marked as interrupted.\n"
           "With --input, values left after the last whole run are named on standard error and\n"
           "not counted. Input that cannot be used ends the check with one message and exit 1,\n"
           "counting nothing: a missing file, a directory, a read error, an empty input or one\n"
           "shorter than a run, a word of text that is no number (its line and column), a\n"
           "value of 2^K or more (its line and column, or its byte offset).\n"
           "Exit codes: 0 nothing failed (WEAK included), 1 no run started, input unusable or a\n"
           "file not written, 2 bad option or value, 3 a test failed (a FAILED verdict with\n"
           "--repeat; without it a p-value of either tail below alpha, or a flagged face),\n"
           "130 stopped by SIGINT, 143 stopped by SIGTERM.\n";
}

std::string CheckVersion()
{
    return "rolvek-check (rolvek) " ROLVEK_VERSION "\n";
}

namespace {

enum OptionId {
    kRuns = 256, kValues, kRollsPerRun, kGenerator, kFormat, kHelp, kSeed, kJobs, kInput, kInputFormat, kBits,
    kTest, kRepeat, kAlpha, kTargetBias, kPlot, kVersion,
};

constexpr option kLongOptions[] = {
    {"runs", required_argument, nullptr, kRuns},
    {"values", required_argument, nullptr, kValues},
    {"rolls-per-run", required_argument, nullptr, kRollsPerRun},
    {"generator", required_argument, nullptr, kGenerator},
    {"format", required_argument, nullptr, kFormat},
    {"help", no_argument, nullptr, kHelp},
    {"seed", required_argument, nullptr, kSeed},
    {"jobs", required_argument, nullptr, kJobs},
    {"input", required_argument, nullptr, kInput},
    {"input-format", required_argument, nullptr, kInputFormat},
    {"bits", required_argument, nullptr, kBits},
    {"test", required_argument, nullptr, kTest},
    {"repeat", required_argument, nullptr, kRepeat},
    {"alpha", required_argument, nullptr, kAlpha},
    {"target-bias", required_argument, nullptr, kTargetBias},
    {"plot", required_argument, nullptr, kPlot},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

const char* NameOf(int id)
{
    for (const option& o : kLongOptions)
        if (o.val == id)
            return o.name;
    return "?";
}

// Why getopt_long refused argv[at]: an unknown or ambiguous option, or a value where none goes.
std::string Refused(const std::string& argument, int optopt)
{
    if (argument.rfind("--", 0) != 0)
        return "unknown option '" + Shown(argument) + "' (see --help)";
    const std::string name = argument.substr(2, argument.find('=') - 2);
    if (optopt != 0)
        return "option --" + std::string(NameOf(optopt)) + " takes no value";
    int matches = 0;
    for (const option& o : kLongOptions)
        if (o.name && std::string(o.name).rfind(name, 0) == 0)
            ++matches;
    if (matches > 1 && !name.empty())
        return "ambiguous option '--" + Shown(name) + "' (see --help)";
    return "unknown option '--" + Shown(name) + "' (see --help)";
}

bool ParseSeed(const std::string& text, std::uint64_t& seed)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seed);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseOne(int id, const std::string& value, CheckOptions& options, std::string& error)
{
    const std::string option = std::string("--") + NameOf(id);
    int number = 0;
    switch (id) {
    case kRuns:
        if (!ParseInt(value, 1, INT_MAX, number)) {
            error = BadValue(value, option, "a whole number from 1");
            return false;
        }
        options.runs = number;
        options.runsGiven = true;
        return true;
    case kValues:
    case kRollsPerRun:
        if (!ParseInt(value, INT_MIN, INT_MAX, number)) {
            error = BadValue(value, option, "a whole number");
            return false;
        }
        (id == kValues ? options.values : options.rollsPerRun) = number;
        return true;
    case kGenerator: {
        RollGenerator generator;
        if (!RollGeneratorFromName(value.c_str(), &generator)) {
            error = BadValue(value, option, RollGeneratorNames());
            return false;
        }
        options.generator = RollGeneratorName(generator);
        return true;
    }
    case kFormat:
        if (value == "table") {
            options.format = CheckFormat::Table;
        } else if (value == "csv") {
            options.format = CheckFormat::Csv;
        } else if (value == "json") {
            options.format = CheckFormat::Json;
        } else {
            error = BadValue(value, option, "table, csv or json");
            return false;
        }
        return true;
    case kSeed: {
        std::uint64_t seed = 0;
        if (!ParseSeed(value, seed)) {
            error = BadValue(value, option, "a whole number from 0 to 18446744073709551615");
            return false;
        }
        options.seed = seed;
        return true;
    }
    case kJobs:
        if (!ParseInt(value, 1, kMaxCheckJobs, number)) {
            error = BadValue(value, option, "a whole number from 1 to " + std::to_string(kMaxCheckJobs));
            return false;
        }
        options.jobs = number;
        return true;
    case kInput:
        if (value.empty()) {
            error = BadValue(value, option, "a file name, or - for standard input");
            return false;
        }
        options.input = value;
        return true;
    case kInputFormat:
        if (!InputFormatFromName(value.c_str(), &options.inputFormat)) {
            error = BadValue(value, option, "u16le, u32le, u64le or text");
            return false;
        }
        return true;
    case kBits:
        if (!ParseInt(value, 15, 64, number)) {
            error = BadValue(value, option, "a whole number from 15 to 64 (the die takes the top 15 bits)");
            return false;
        }
        options.bits = number;
        return true;
    case kTest:
        options.testFaces = options.testPairs = false;
        for (size_t start = 0; start <= value.size();) {
            const size_t comma = std::min(value.find(',', start), value.size());
            const std::string test = value.substr(start, comma - start);
            if (test == "faces") {
                options.testFaces = true;
            } else if (test == "pairs") {
                options.testPairs = true;
            } else {
                error = BadValue(value, option, "faces, pairs or faces,pairs");
                return false;
            }
            start = comma + 1;
        }
        return true;
    case kRepeat:
        if (!ParseInt(value, 1, INT_MAX, number)) {
            error = BadValue(value, option, "a whole number from 1");
            return false;
        }
        options.repeat = number;
        return true;
    case kAlpha: {
        double alpha = 0;
        if (!ParseReal(value, false, alpha) || !(alpha > 0 && alpha < 1)) {
            error = BadValue(value, option, "a number between 0 and 1, such as 1e-6");
            return false;
        }
        options.alpha = alpha;
        return true;
    }
    case kTargetBias: {
        double bias = 0;
        if (!ParseReal(value, true, bias) || !(bias > 0)) {
            error = BadValue(value, option, "a relative bias above 0, such as 0.001 or 0.1%");
            return false;
        }
        options.targetBias = bias;
        return true;
    }
    case kPlot:
        if (value.empty()) {
            error = BadValue(value, option, "the name of the SVG file to write");
            return false;
        }
        options.plot = value;
        return true;
    }
    return true;
}

// What only makes sense together: the input's options need --input, which replaces the generator.
bool CheckCombination(const CheckOptions& o, bool formatGiven, std::string& error)
{
    if (!o.input) {
        if (formatGiven || o.bits) {
            error = std::string(o.bits ? "--bits" : "--input-format") + " describes the values of --input; give --input FILE too";
            return false;
        }
        return true;
    }
    if (o.seed || o.generator) {
        error = std::string(o.seed ? "--seed" : "--generator") + " chooses a built-in generator and cannot be used with --input";
        return false;
    }
    const int width = InputFormatWidth(o.inputFormat);
    if (o.bits > width) {
        error = "bad value '" + std::to_string(o.bits) + "' for --bits: a " + InputFormatName(o.inputFormat) +
                " value holds at most " + std::to_string(width) + " bits";
        return false;
    }
    return true;
}

} // namespace

bool ParseCheckOptions(int argc, const char* const* argv, CheckOptions& options, std::string& error)
{
    // "+": stop at the first argument that is no option; ":": report a missing value as ':'.
    optind = 0;  // a fresh scan, also when called again
    opterr = 0;
    bool formatGiven = false;
    char* const* args = const_cast<char* const*>(argv);
    for (;;) {
        const int id = getopt_long(argc, args, "+:h", kLongOptions, nullptr);
        if (id == -1)
            break;
        const std::string argument = argv[optind - 1] ? argv[optind - 1] : "";
        if (id == ':') {
            error = "option --" + std::string(NameOf(optopt)) + " needs a value";
            return false;
        }
        if (id == '?') {
            error = Refused(argument, optopt);
            return false;
        }
        if (id == kHelp || id == 'h') {
            options.help = true;
            continue;
        }
        if (id == kVersion) {
            options.version = true;
            continue;
        }
        formatGiven = formatGiven || id == kInputFormat;
        if (!ParseOne(id, optarg ? optarg : "", options, error))
            return false;
    }
    if (optind < argc) {
        error = "unexpected argument '" + Shown(argv[optind] ? argv[optind] : "") + "' (see --help)";
        return false;
    }
    return options.help || options.version || CheckCombination(options, formatGiven, error);
}
