// GetDateAlpha with arbitrary field numbers and separators: the result is a date number in the
// accepted range or one of the codes 1, 2, 3. The first four bytes choose the year, month and
// day fields (-128..127, so 99, -99, 0 and -1 all occur) and the separator. A number of 2^32 or
// more reads like 2^32 - 1, never as a year, month or day (unless the separator is a digit,
// which the number's digits would split).
#include "FuzzSetup.h"

#include <qdx/DateTime.h>

#include <cctype>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    const int yearField = static_cast<int8_t>(data[0]);
    const int monthField = static_cast<int8_t>(data[1]);
    const int dayField = static_cast<int8_t>(data[2]);
    const char sep = static_cast<char>(data[3]);
    const std::string text = AsText(data + 4, size - 4);
    const uint32_t result = CQDXDateTime::GetDateAlpha(text.c_str(), yearField, monthField, dayField, sep);
    if (!CQDXDateTime::IsDate(result) && result != 1 && result != 2 && result != 3)
        std::abort();
    if (!std::isdigit(static_cast<unsigned char>(sep)))
        ForEachLargeNumber(text, [&](const std::string& variant) {
            if (CQDXDateTime::GetDateAlpha(variant.c_str(), yearField, monthField, dayField, sep) != result)
                std::abort();
        });
    return 0;
}
