// SetDT(text) and SetDTCheck(text) on any text: results stay within their codes, a valid result
// written in layout 0 reads back to the same value, and a number of 2^32 or more reads like
// 2^32 - 1, so it is refused.
#include "FuzzSetup.h"

#include <qdx/DateTime.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text = AsText(data, size);
    CQDXDateTime value;
    value.SetDT(20060102u, 143005u);
    const int result = value.SetDT(text.c_str());
    if (result != 0 && result != -1 && result != -2)
        std::abort();
    ForEachLargeNumber(text, [&](const std::string& variant) {
        CQDXDateTime other;
        other.SetDT(20060102u, 143005u);
        if (other.SetDT(variant.c_str()) != result || other.Compare(&value, 0) != 0)
            std::abort();
    });

    CQDXDateTime checked;
    const int check = checked.SetDTCheck(text.c_str());
    if (check != 0 && check != -1)
        std::abort();

    if (value.IsValid()) {
        CString written;
        value.GetStr(written, 0);
        CQDXDateTime again;
        if (again.SetDT(written) != 0 || again.Compare(&value, 0) != 0)
            std::abort();
    }
    return 0;
}
