// GetDateAlpha with arbitrary field numbers and separators: the result is a date number in the
// accepted range or one of the codes 1, 2, 3. The first four bytes choose the year, month and
// day fields (-128..127, so 99, -99, 0 and -1 all occur) and the separator.
#include "FuzzSetup.h"

#include <qdx/DateTime.h>

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
    return 0;
}
