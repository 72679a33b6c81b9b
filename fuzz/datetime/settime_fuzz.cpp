// SetTime(text) on any text: 0 or -2, the date never touched, and an accepted hour within 0..24.
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
    return 0;
}
