// GetTimeAlpha on any text: the colon form gives a checked time number or -1, -2, -3.
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
    return 0;
}
