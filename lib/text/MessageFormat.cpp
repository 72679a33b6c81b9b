#include "text/MessageFormat.h"

#include <cstdio>
#include <cstring>

namespace qdx::text_internal {
namespace {

constexpr int kMaxWidth = 65535;

// One insert of a message: its number, what it takes from the arguments, and the printf
// conversion that renders it ("%-8s").
struct InsertSpec {
    int index = 0;
    InsertKind kind = InsertKind::String;
    char conversion[32] = "%s";
};

bool IsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

// Reads the digits at p (leading zeros allowed) into value; false when it exceeds kMaxWidth.
bool ReadNumber(const char*& p, const char* end, int& value)
{
    value = 0;
    for (; p < end && IsDigit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > kMaxWidth)
            return false;
    }
    return true;
}

// Parses the printf conversion between the exclamation marks of "%1!-8.3lx!" (here "-8.3lx")
// into a checked, normalised conversion and the kind of argument it takes.
bool ParseConversion(const char* p, const char* end, InsertSpec& spec)
{
    bool minus = false, plus = false, space = false, hash = false, zero = false;
    for (; p < end; ++p) {
        if (*p == '-')
            minus = true;
        else if (*p == '+')
            plus = true;
        else if (*p == ' ')
            space = true;
        else if (*p == '#')
            hash = true;
        else if (*p == '0')
            zero = true;
        else
            break;
    }
    int width = -1, precision = -1;
    if (p < end && IsDigit(*p) && !ReadNumber(p, end, width))
        return false;
    if (p < end && *p == '.') {
        ++p;
        if (!ReadNumber(p, end, precision))
            return false;
    }

    // Length modifiers, normalised to what this platform's printf means by them.
    enum { kNone, kShort, kChar, kLong, kLongLong, kLongDouble } length = kNone;
    if (end - p >= 3 && std::strncmp(p, "I64", 3) == 0) {
        length = kLongLong;
        p += 3;
    } else if (end - p >= 3 && std::strncmp(p, "I32", 3) == 0) {
        p += 3;
    } else if (end - p >= 2 && p[0] == 'h' && p[1] == 'h') {
        length = kChar;
        p += 2;
    } else if (end - p >= 2 && p[0] == 'l' && p[1] == 'l') {
        length = kLongLong;
        p += 2;
    } else if (p < end && *p == 'h') {
        length = kShort;
        ++p;
    } else if (p < end && (*p == 'l' || *p == 'z' || *p == 'j' || *p == 't')) {
        length = kLong;
        ++p;
    } else if (p < end && *p == 'L') {
        length = kLongDouble;
        ++p;
    }
    if (end - p != 1)
        return false;
    const char conv = *p;

    const char* lengthText = "";
    switch (conv) {
    case 'd': case 'i': case 'o': case 'u': case 'x': case 'X':
        switch (length) {
        case kNone: spec.kind = InsertKind::Int; break;
        case kShort: spec.kind = InsertKind::Int; lengthText = "h"; break;
        case kChar: spec.kind = InsertKind::Int; lengthText = "hh"; break;
        case kLong: spec.kind = InsertKind::Long; lengthText = "l"; break;
        case kLongLong: spec.kind = InsertKind::LongLong; lengthText = "ll"; break;
        default: return false;
        }
        break;
    case 'c':
        if (length != kNone && length != kShort)
            return false;  // wide characters are not supported
        spec.kind = InsertKind::Int;
        break;
    case 's':
        if (length != kNone && length != kShort)
            return false;  // wide strings are not supported
        spec.kind = InsertKind::String;
        break;
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
        if (length == kLongDouble) {
            spec.kind = InsertKind::LongDouble;
            lengthText = "L";
        } else if (length == kNone || length == kLong) {
            spec.kind = InsertKind::Double;
        } else {
            return false;
        }
        break;
    case 'p':
        if (length != kNone)
            return false;
        spec.kind = InsertKind::Pointer;
        break;
    default:
        return false;  // includes %n, which would write through an argument
    }

    char* out = spec.conversion;
    *out++ = '%';
    if (minus) *out++ = '-';
    if (plus) *out++ = '+';
    if (space) *out++ = ' ';
    if (hash) *out++ = '#';
    if (zero) *out++ = '0';
    if (width >= 0)
        out += std::snprintf(out, 8, "%d", width);
    if (precision >= 0)
        out += std::snprintf(out, 8, ".%d", precision);
    for (const char* l = lengthText; *l; ++l)
        *out++ = *l;
    *out++ = conv;
    *out = '\0';
    return true;
}

// Walks a message: onText(pointer, count) for each literal run, onInsert(spec) for each insert
// (returning false aborts). False when the message is malformed or a callback aborted.
template <typename OnText, typename OnInsert>
bool Walk(const char* source, OnText&& onText, OnInsert&& onInsert)
{
    const char* p = source;
    while (*p) {
        const char* run = p;
        while (*p && *p != '%')
            ++p;
        if (p > run)
            onText(run, static_cast<std::size_t>(p - run));
        if (!*p)
            break;
        const char next = p[1];
        if (next == '\0')
            break;  // a lone percent sign at the end
        if (next == '0')
            return true;  // %0 ends the output
        if (next >= '1' && next <= '9') {
            InsertSpec spec;
            spec.index = next - '0';
            p += 2;
            if (IsDigit(*p))
                spec.index = spec.index * 10 + (*p++ - '0');
            if (*p == '!') {
                const char* close = std::strchr(p + 1, '!');
                if (!close || !ParseConversion(p + 1, close, spec))
                    return false;
                p = close + 1;
            }
            if (!onInsert(spec))
                return false;
            continue;
        }
        switch (next) {
        case 'n': onText("\n", 1); break;
        case 'r': onText("\r", 1); break;
        case 't': onText("\t", 1); break;
        default: onText(p + 1, 1); break;
        }
        p += 2;
    }
    return true;
}

template <typename T>
void AppendFormatted(std::string& out, const char* conversion, T value)
{
    char small[256];
    int n = std::snprintf(small, sizeof small, conversion, value);
    if (n < 0)
        return;
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.append(small, static_cast<std::size_t>(n));
        return;
    }
    std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(n) + 1);
    std::snprintf(&out[at], static_cast<std::size_t>(n) + 1, conversion, value);
    out.resize(at + static_cast<std::size_t>(n));
}

bool AppendInsert(std::string& out, const InsertSpec& spec, const InsertArg& arg)
{
    if (arg.kind != spec.kind)
        return false;
    switch (spec.kind) {
    case InsertKind::Int: AppendFormatted(out, spec.conversion, arg.i); break;
    case InsertKind::Long: AppendFormatted(out, spec.conversion, arg.l); break;
    case InsertKind::LongLong: AppendFormatted(out, spec.conversion, arg.ll); break;
    case InsertKind::Double: AppendFormatted(out, spec.conversion, arg.d); break;
    case InsertKind::LongDouble: AppendFormatted(out, spec.conversion, arg.ld); break;
    case InsertKind::String: AppendFormatted(out, spec.conversion, arg.s); break;
    case InsertKind::Pointer: AppendFormatted(out, spec.conversion, arg.p); break;
    case InsertKind::None: return false;
    }
    return true;
}

} // namespace

bool ParseInsertKinds(const char* source, std::array<InsertKind, kMaxInsert + 1>& kinds, int& highest)
{
    kinds.fill(InsertKind::None);
    highest = 0;
    if (!source)
        return false;
    return Walk(
        source, [](const char*, std::size_t) {},
        [&](const InsertSpec& spec) {
            InsertKind& kind = kinds[static_cast<std::size_t>(spec.index)];
            if (kind != InsertKind::None && kind != spec.kind)
                return false;  // one argument cannot be read as two types
            kind = spec.kind;
            if (spec.index > highest)
                highest = spec.index;
            return true;
        });
}

bool FormatInserts(const char* source, const InsertArg* args, int count, std::string& out)
{
    out.clear();
    if (!source)
        return false;
    return Walk(
        source, [&](const char* text, std::size_t n) { out.append(text, n); },
        [&](const InsertSpec& spec) {
            return spec.index <= count && AppendInsert(out, spec, args[spec.index - 1]);
        });
}

bool FormatInsertsV(const char* source, va_list args, std::string& out)
{
    out.clear();
    std::array<InsertKind, kMaxInsert + 1> kinds;
    int highest = 0;
    if (!ParseInsertKinds(source, kinds, highest))
        return false;
    // Read the arguments in order, each as its insert needs; a number the message skips is
    // taken as a pointer-sized value so that the ones after it line up.
    std::array<InsertArg, kMaxInsert> values;
    for (int i = 1; i <= highest; ++i) {
        InsertArg& v = values[static_cast<std::size_t>(i - 1)];
        v.kind = kinds[static_cast<std::size_t>(i)];
        switch (v.kind) {
        case InsertKind::Int: v.i = va_arg(args, int); break;
        case InsertKind::Long: v.l = va_arg(args, long); break;
        case InsertKind::LongLong: v.ll = va_arg(args, long long); break;
        case InsertKind::Double: v.d = va_arg(args, double); break;
        case InsertKind::LongDouble: v.ld = va_arg(args, long double); break;
        case InsertKind::String: v.s = va_arg(args, const char*); break;
        case InsertKind::Pointer: v.p = va_arg(args, const void*); break;
        case InsertKind::None: v.p = va_arg(args, const void*); break;
        }
    }
    return FormatInserts(source, values.data(), highest, out);
}

} // namespace qdx::text_internal
