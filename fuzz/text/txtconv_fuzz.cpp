// CTxt's conversions on arbitrary text: ConvCRLF, ConvHTM2TXT, ConvProt, RemoveFromText, TrimNum
// and MaskNonVar, with the properties each must keep (round trips, what may remain, the buffer
// invariants).
#include <qdx/Txt.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// The buffer holds the counted text and its NUL, within its capacity.
void CheckInvariants(const CTxt& t)
{
    if (!t.GetData()) {
        Check(t.GetLength() == 0 && t.GetCapacity() == 0);
        return;
    }
    Check(t.GetLength() >= 0 && t.GetCapacity() >= t.GetLength() + 2);
    Check(t.GetData()[t.GetLength()] == '\0');
}

std::string Text(const CTxt& t)
{
    return t.GetData() ? std::string(t.GetData()) : std::string();
}

char Fold(char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch + 32) : ch;
}

// RemoveFromText written the plain way.
std::string Removed(const std::string& text, const std::string& part)
{
    if (part.empty() || part.size() > text.size())
        return text;
    std::string out;
    size_t i = 0;
    while (i + part.size() <= text.size()) {
        bool match = true;
        for (size_t k = 0; k < part.size() && match; ++k)
            match = Fold(text[i + k]) == Fold(part[k]);
        if (match)
            i += part.size();
        else
            out += text[i++];
    }
    return out + text.substr(i);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int op = in.ConsumeIntegralInRange<int>(0, 5);
    const int key = in.ConsumeIntegral<int>();
    const std::string extra = in.ConsumeRandomLengthString(8);
    const std::string input = in.ConsumeRemainingBytesAsString();
    const std::string text(input.c_str());  // conversions read up to the first NUL

    CTxt t(input.c_str());
    switch (op) {
    case 0: {
        size_t controls = 0;
        for (char ch : text)
            controls += ch == '\r' || ch == '\n' || ch == '\t';
        Check(t.ConvCRLF(0) == static_cast<int>(text.size() + controls));
        CheckInvariants(t);
        t.ConvCRLF(1);
        if (text.find('\\') == std::string::npos)
            Check(Text(t) == text);  // without backslashes the round trip is exact
        break;
    }
    case 1:
        Check(t.ConvHTM2TXT() <= static_cast<int>(text.size()));
        break;
    case 2: {
        const int mode = key & 1;
        Check(t.ConvProt(mode ? 1 : 0, key) == static_cast<int>(text.size()));
        CheckInvariants(t);
        for (size_t i = 0; i < text.size(); ++i) {
            unsigned char was = static_cast<unsigned char>(text[i]);
            unsigned char now = static_cast<unsigned char>(t[static_cast<int>(i)]);
            Check((was >= 32 && was <= 126) ? (now >= 32 && now <= 126) : now == was);
        }
        t.ConvProt(mode ? 0 : 1, key);
        Check(Text(t) == text);
        break;
    }
    case 3:
        t.RemoveFromText(extra.c_str());
        Check(Text(t) == Removed(text, std::string(extra.c_str())));
        break;
    case 4: {
        const bool brackets = key & 1;
        t.TrimNum(brackets);
        std::string kept;
        for (char ch : text)
            if (std::strchr(brackets ? "0123456789.E+-()" : "0123456789.E+-", ch) && ch)
                kept += ch;
        Check(Text(t) == kept);
        break;
    }
    case 5: {
        const char* allowed = key & 2 ? extra.c_str() : nullptr;
        const int mask = key & 1;
        const int result = t.MaskNonVar(mask, allowed);
        if (text.empty()) {
            Check(result == -1);
            break;
        }
        auto ok = [&](char ch) {
            return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' ||
                   (allowed && std::strchr(allowed, ch));
        };
        size_t first = 0;
        while (first < text.size() && ok(text[first]))
            ++first;
        if (mask == 0) {
            Check(result == (first < text.size() ? static_cast<signed char>(text[first]) : 0));
            Check(Text(t) == text);
        } else {
            Check(result == (first < text.size() ? static_cast<int>(first) : -1));
            for (char ch : Text(t))
                Check(ok(ch));
        }
        break;
    }
    }
    CheckInvariants(t);
    return 0;
}
