#include "check/CheckOptions.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "RollTally.h"

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
           "Rolls the die run after run, like the Rolvek window, and prints the totals.\n"
           "\n"
           "  --runs N           runs to complete (default 10)\n"
           "  --values V         faces of the die (default: RollValues of the settings file)\n"
           "  --rolls-per-run R  rolls per face in each run, at least 1000\n"
           "                     (default: RollsPerRun of the settings file)\n"
           "  --generator NAME   libc, lcg214013 or lcg1103515245\n"
           "                     (default: Generator of the settings file)\n"
           "  --format F         table (default), csv or json\n"
           "  --help             show this text\n"
           "\n"
           "Values that cannot be used are brought to the nearest workable one, as the window\n"
           "does, with a note on standard error. Ctrl+C (SIGINT) or SIGTERM stops the check and\n"
           "prints the runs completed so far, marked as interrupted.\n"
           "Exit codes: 0 done, 1 no run started or report not written, 2 bad option or value,\n"
           "130 stopped by SIGINT, 143 stopped by SIGTERM.\n";
}

bool ParseCheckOptions(int argc, const char* const* argv, CheckOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i] ? argv[i] : "";
        std::optional<std::string> inlineValue;
        if (option.rfind("--", 0) != 0) {
            error = "unexpected argument '" + Shown(option) + "' (see --help)";
            return false;
        }
        const size_t equals = option.find('=');
        if (equals != std::string::npos) {
            inlineValue = option.substr(equals + 1);
            option.erase(equals);
        }
        if (option == "--help") {
            if (inlineValue) {
                error = "option --help takes no value";
                return false;
            }
            options.help = true;
            continue;
        }
        const bool known = option == "--runs" || option == "--values" || option == "--rolls-per-run" ||
                           option == "--generator" || option == "--format";
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
