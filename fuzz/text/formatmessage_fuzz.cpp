// Arbitrary messages for the %1-style formatter, with arguments of the kinds each message asks
// for, and again with every argument a string (which must be refused, never misread, wherever a
// number is asked for).
#include <qdx/Txt.h>

#include "text/MessageFormat.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

using qdx::text_internal::InsertArg;
using qdx::text_internal::InsertKind;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string insertText = in.ConsumeRandomLengthString(40);
    const long long number = in.ConsumeIntegral<long long>();
    const double real = in.ConsumeFloatingPoint<double>();
    const std::string message = in.ConsumeRemainingBytesAsString();
    const char* source = message.c_str();

    std::array<InsertKind, qdx::text_internal::kMaxInsert + 1> kinds;
    int highest = 0;
    const bool parsed = qdx::text_internal::ParseInsertKinds(source, kinds, highest);
    if (highest < 0 || highest > qdx::text_internal::kMaxInsert)
        std::abort();

    std::array<InsertArg, qdx::text_internal::kMaxInsert> typed;
    std::array<InsertArg, qdx::text_internal::kMaxInsert> strings;
    for (int i = 0; i < qdx::text_internal::kMaxInsert; ++i) {
        InsertArg& a = typed[static_cast<size_t>(i)];
        a.kind = kinds[static_cast<size_t>(i + 1)];
        switch (a.kind) {
        case InsertKind::Int: a.i = static_cast<int>(number); break;
        case InsertKind::Long: a.l = static_cast<long>(number); break;
        case InsertKind::LongLong: a.ll = number; break;
        case InsertKind::Double: a.d = real; break;
        case InsertKind::LongDouble: a.ld = real; break;
        case InsertKind::String: a.s = insertText.c_str(); break;
        case InsertKind::Pointer: a.p = &number; break;
        case InsertKind::None: a.p = nullptr; break;
        }
        strings[static_cast<size_t>(i)].kind = InsertKind::String;
        strings[static_cast<size_t>(i)].s = insertText.c_str();
    }

    std::string out;
    const bool formatted = qdx::text_internal::FormatInserts(source, typed.data(), highest, out);
    if (formatted != parsed)
        std::abort();  // a message that parses formats with the arguments it asked for

    bool onlyStrings = true;
    for (int i = 1; i <= highest; ++i)
        onlyStrings &= kinds[static_cast<size_t>(i)] == InsertKind::String ||
                       kinds[static_cast<size_t>(i)] == InsertKind::None;
    std::string again;
    const bool withStrings = qdx::text_internal::FormatInserts(source, strings.data(), qdx::text_internal::kMaxInsert, again);
    if (withStrings != (parsed && onlyStrings))
        std::abort();
    if (withStrings && again != out)
        std::abort();

    // Through CTxt: a message whose inserts are all strings, or none.
    if (parsed && highest == 0) {
        CTxt t("kept");
        t.FormatMessageA(source);
        if (std::string(static_cast<const char*>(t)) != std::string(out.c_str()))
            std::abort();
    }
    return 0;
}
