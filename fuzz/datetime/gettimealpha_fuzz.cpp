// GetTimeAlpha on any text: the colon form gives a checked time number or -1, -2, -3, and a
// number of 2^32 or more reads like 2^32 - 1, never as a time.
#include "FuzzSetup.h"

#include <qdx/DateTime.h>
#include <qdx/Fields.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text = AsText(data, size);
    const int result = CQDXDateTime::GetTimeAlpha(text.c_str());
    if (strfldcnt(text.c_str(), ':') >= 2 && (result > 235959 || result < -3))
        std::abort();
    ForEachLargeNumber(text, [&](const std::string& variant) {
        if (CQDXDateTime::GetTimeAlpha(variant.c_str()) != result)
            std::abort();
    });
    return 0;
}
