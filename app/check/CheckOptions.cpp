#include "check/CheckOptions.h"

#include <cerrno>
#include <cmath>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <algorithm>

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

// The user's text as it goes into a message: control characters are written as \xNN, so that
// the message stays on one line.
std::string Shown(const std::string& text)
{
    std::string out;
    for (const unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
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
           "  --runs N           runs to complete (default 10)\n"
           "  --values V         faces of the die (default: RollValues of the settings file)\n"
           "  --rolls-per-run R  rolls per face in each run, at least 1000\n"
           "                     (default: RollsPerRun of the settings file)\n"
           "  --generator NAME   libc, lcg214013 or lcg1103515245\n"
           "                     (default: Generator of the settings file)\n"
           "  --format F         table (default), csv or json; with csv the summary goes to\n"
           "                     standard error\n"
           "  --test LIST        faces (default), pairs, or faces,pairs: the chi-square of the\n"
           "                     faces with their z-scores, and Good's serial test of consecutive\n"
           "                     rolls (at most 4096 values, at least 5 rolls per pair of values)\n"
           "  --repeat K         K checks of --runs runs each, and a verdict per test over their\n"
           "                     K p-values: PASSED, WEAK (p below 0.005) or FAILED (below alpha)\n"
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
           "Exit codes: 0 nothing failed (WEAK included), 1 no run started or a file not written,\n"
           "2 bad option or value, 3 a test failed (a FAILED verdict with --repeat; without it a\n"
           "p-value of either tail below alpha, or a flagged face), 130 stopped by SIGINT,\n"
           "143 stopped by SIGTERM.\n";
}

std::string CheckVersion()
{
    return "rolvek-check (rolvek) " ROLVEK_VERSION "\n";
}

bool ParseCheckOptions(int argc, const char* const* argv, CheckOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i] ? argv[i] : "";
        std::optional<std::string> inlineValue;
        if (option == "-h") {
            options.help = true;
            continue;
        }
        if (option.rfind("--", 0) != 0) {
            error = "unexpected argument '" + Shown(option) + "' (see --help)";
            return false;
        }
        const size_t equals = option.find('=');
        if (equals != std::string::npos) {
            inlineValue = option.substr(equals + 1);
            option.erase(equals);
        }
        if (option == "--help" || option == "--version") {
            if (inlineValue) {
                error = "option " + option + " takes no value";
                return false;
            }
            (option == "--help" ? options.help : options.version) = true;
            continue;
        }
        const bool known = option == "--runs" || option == "--values" || option == "--rolls-per-run" ||
                           option == "--generator" || option == "--format" || option == "--test" ||
                           option == "--repeat" || option == "--alpha" || option == "--target-bias" ||
                           option == "--plot";
        if (!known) {
            error = "unknown option '" + Shown(option) + "' (see --help)";
            return false;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < argc && argv[i + 1]) {
            value = argv[++i];
        } else {
            error = "option " + option + " needs a value";
            return false;
        }

        int number = 0;
        if (option == "--runs") {
            if (!ParseInt(value, 1, INT_MAX, number)) {
                error = BadValue(value, option, "a whole number from 1");
                return false;
            }
            options.runs = number;
        } else if (option == "--values") {
            if (!ParseInt(value, INT_MIN, INT_MAX, number)) {
                error = BadValue(value, option, "a whole number");
                return false;
            }
            options.values = number;
        } else if (option == "--rolls-per-run") {
            if (!ParseInt(value, INT_MIN, INT_MAX, number)) {
                error = BadValue(value, option, "a whole number");
                return false;
            }
            options.rollsPerRun = number;
        } else if (option == "--generator") {
            RollGenerator generator;
            if (!RollGeneratorFromName(value.c_str(), &generator)) {
                error = BadValue(value, option, "libc, lcg214013 or lcg1103515245");
                return false;
            }
            options.generator = RollGeneratorName(generator);
        } else if (option == "--test") {
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
        } else if (option == "--repeat") {
            if (!ParseInt(value, 1, INT_MAX, number)) {
                error = BadValue(value, option, "a whole number from 1");
                return false;
            }
            options.repeat = number;
        } else if (option == "--alpha") {
            double alpha = 0;
            if (!ParseReal(value, false, alpha) || !(alpha > 0 && alpha < 1)) {
                error = BadValue(value, option, "a number between 0 and 1, such as 1e-6");
                return false;
            }
            options.alpha = alpha;
        } else if (option == "--target-bias") {
            double bias = 0;
            if (!ParseReal(value, true, bias) || !(bias > 0)) {
                error = BadValue(value, option, "a relative bias above 0, such as 0.001 or 0.1%");
                return false;
            }
            options.targetBias = bias;
        } else if (option == "--plot") {
            if (value.empty()) {
                error = BadValue(value, option, "the name of the SVG file to write");
                return false;
            }
            options.plot = value;
        } else {
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
        }
    }
    return true;
}
