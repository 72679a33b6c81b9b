// Any category, text and level make exactly one whole line in the log file, and NormalizePath
// leaves no single backslash and no trailing slash.
//
// Input: one byte level, then the category up to the first NUL (a missing NUL: no category),
// then the text. Categories that would be commands get a leading 'x', so no input opens, closes
// or copies files of its own choosing.
#include <qdx/Log.h>
#include <qdx/Settings.h>

#include "log/LogInternal.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace {

struct Setup {
    std::string dir, log;
    Setup()
    {
        char pattern[] = "/dev/shm/logline_fuzz.XXXXXX";
        dir = mkdtemp(pattern) ? pattern : "/tmp";
        log = dir + "/fuzz.log";
        std::ofstream(dir + "/fuzz.ini") << "[SYS]\nLogShowDate=YES\nLogShowTime=YES\nLogFileFlushOnEach=NO\n";
        SetIniPath((dir + "/fuzz.ini").c_str());
    }
};

void CheckNormalized(const std::string& input)
{
    std::string path = input;
    NormalizePath(path.data());
    const size_t length = std::strlen(path.c_str());
    if (length > std::strlen(input.c_str()))
        std::abort();
    if (length > 0 && path[length - 1] == '/')
        std::abort();
    for (size_t i = 0; i < length; ++i) {
        if (path[i] == '\\') {
            if (i + 1 >= length || path[i + 1] != '\\')
                std::abort();  // a single backslash survived
            ++i;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Setup setup;
    if (size < 1)
        return 0;
    const int level = static_cast<int8_t>(data[0]);
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    CheckNormalized(rest);

    const size_t nul = rest.find('\0');
    std::string category, text;
    const char* cat = nullptr;
    if (nul != std::string::npos) {
        category = rest.substr(0, nul);
        text = rest.substr(nul + 1);
        if (!category.empty() && category[0] == '*')
            category.insert(0, "x");
        cat = category.c_str();
    } else {
        text = rest;
    }

    qdx::log_internal::ResetState();
    if (LogFileWrite("*OPENLOG", setup.log.c_str(), 1) != 1)
        std::abort();
    LogFileWrite(cat, text.c_str(), level);
    LogFileWrite("*CLOSE", "", 0);

    std::ifstream in(setup.log, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    const std::string file = all.str();
    // The opening line and the message line, each ending in CR LF, and no other line break.
    const size_t first = file.find("\r\n");
    if (first == std::string::npos || file.size() < 2 || file.compare(file.size() - 2, 2, "\r\n") != 0)
        std::abort();
    const std::string line = file.substr(first + 2, file.size() - first - 4);
    if (line.find_first_of("\r\n") != std::string::npos)
        std::abort();
    if (cat && (line.size() < 17 || line[16] != '|'))
        std::abort();
    return 0;
}
