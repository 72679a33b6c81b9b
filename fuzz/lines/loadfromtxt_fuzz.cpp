// CTxtArray::LoadFromTxt over arbitrary text: the lines must be those of a plain split (CR
// dropped, LF ends a line, an unterminated last line dropped), and writing them back with
// GetDelimTxt and loading again must give the same array.
#include "txtarray_fuzz_util.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text = fuzz::AsText(data, size);
    std::vector<std::string> expected;
    std::string line;
    for (char ch : text) {
        if (ch == '\r')
            continue;
        if (ch == '\n') {
            expected.push_back(line);
            line.clear();
        } else {
            line += ch;
        }
    }

    CTxtArray array;
    if (array.LoadFromTxt(text.c_str()) != static_cast<int>(expected.size()))
        std::abort();
    if (fuzz::TextsOf(array) != expected)
        std::abort();

    CTxt joined;
    if (array.GetDelimTxt(joined, '\n') != array.GetSize())
        std::abort();
    CTxtArray again;
    again.LoadFromTxt(joined);
    if (again.Compare(&array) != 0 || fuzz::TextsOf(again) != expected)
        std::abort();
    return 0;
}
