// CTxtArray::LoadFromFields over arbitrary text and delimiters (the first byte): the elements
// must be exactly the non-empty, blank-trimmed fields that strfld cuts one by one.
#include "txtarray_fuzz_util.h"

#include <qdx/Fields.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 4096)  // the field-by-field reference is quadratic
        return 0;
    const char delim = static_cast<char>(data[0]);
    const std::string text = fuzz::AsText(data + 1, size - 1);

    std::vector<std::string> expected;
    const int n = strfldcnt(text.c_str(), delim);
    for (int k = 1; k <= n; ++k) {
        CTxt field;
        strfldtxt(text.c_str(), delim, k, k, field);
        std::string s(field);
        size_t first = s.find_first_not_of(' ');
        if (first == std::string::npos)
            continue;
        s = s.substr(first, s.find_last_not_of(' ') - first + 1);
        expected.push_back(s);
    }

    CTxtArray array;
    if (array.LoadFromFields(text.c_str(), delim) != static_cast<int>(expected.size()))
        std::abort();
    if (fuzz::TextsOf(array) != expected)
        std::abort();
    return 0;
}
