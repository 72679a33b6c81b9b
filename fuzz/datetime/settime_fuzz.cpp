// SetTime(text) on any text: 0 or -2, the date never touched, an accepted hour within 0..24, and
// a number of 2^32 or more read like 2^32 - 1, so refused.
#include "FuzzSetup.h"

#include <qdx/DateTime.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text = AsText(data, size);
    CQDXDateTime value;
    value.SetDT(20060102u, 143005u);
    const int result = value.SetTime(text.c_str());
    if (result != 0 && result != -2)
        std::abort();
    if (value.year != 106 || value.month != 1 || value.day != 2)
        std::abort();
    if (result == 0 && value.hour > 24)
        std::abort();
    if (result == -2 && value.GetTime() != 143005u)
        std::abort();
    ForEachLargeNumber(text, [&](const std::string& variant) {
        CQDXDateTime other;
        other.SetDT(20060102u, 143005u);
        if (other.SetTime(variant.c_str()) != result || other.Compare(&value, 0) != 0)
            std::abort();
    });
    return 0;
}
