// Arbitrary text, delimiter, field numbers and output size for strfld, strfldcnt and strfldtxt,
// each checked against the plain table-of-field-starts model.
#include <qdx/Fields.h>
#include <qdx/Txt.h>

#include <qdxtest/FieldsReference.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Field numbers: mostly small, sometimes the shorthands or anything at all.
int FieldNumber(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return 99;
    case 1: return -99;
    case 2: return in.ConsumeIntegral<int>();
    default: return in.ConsumeIntegralInRange<int>(-12, 12);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const char delim = in.ConsumeBool() ? ' ' : in.ConsumeIntegral<char>();
    const int from = FieldNumber(in);
    const int to = FieldNumber(in);
    const int outSize = in.ConsumeIntegralInRange<int>(0, 300);
    const std::string text = in.ConsumeRemainingBytesAsString();
    const char* c = text.c_str();  // the model reads up to the first NUL, as strfld does
    const std::string_view view(c);

    if (strfldcnt(c, delim) != qdx::test::ReferenceFieldCount(view, delim))
        std::abort();

    std::vector<char> out(static_cast<size_t>(outSize) + 1, 'Z');
    const int result = strfld(c, delim, from, to, outSize ? out.data() : nullptr, outSize);
    const auto expected = qdx::test::ReferenceField(view, delim, from, to, outSize);
    if (result != expected.first)
        std::abort();
    if (outSize > 0 && std::string(out.data()) != expected.second)
        std::abort();
    if (outSize > 0 && out[static_cast<size_t>(outSize)] != 'Z')
        std::abort();  // wrote past the buffer it was given

    CTxt field;
    const int viaTxt = strfldtxt(c, delim, from, to, field);
    const auto whole = qdx::test::ReferenceField(view, delim, from, to, 10000);
    if (viaTxt != whole.first || std::string(static_cast<const char*>(field)) != whole.second)
        std::abort();
    return 0;
}
