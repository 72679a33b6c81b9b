// Any command line: ParseCheckOptions either accepts it with usable options or names the problem
// in one line.
//
// Input: the arguments, separated by NUL bytes.
#include "check/CheckOptions.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> args{"rolvek-check"};
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (size > 0)
        args.push_back(current);
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());

    CheckOptions options;
    std::string error;
    if (ParseCheckOptions(static_cast<int>(argv.size()), argv.data(), options, error)) {
        if (options.runs < 1 || !error.empty() || options.repeat < 0 || !(options.alpha > 0 && options.alpha < 1) ||
            (options.targetBias && !(*options.targetBias > 0)) || (options.plot && options.plot->empty()) ||
            !(options.testFaces || options.testPairs))
            std::abort();
    } else if (error.empty() || error.find_first_of("\r\n") != std::string::npos) {
        std::abort();
    }
    return 0;
}
