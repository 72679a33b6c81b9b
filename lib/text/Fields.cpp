#include <qdx/Fields.h>

#include <cstddef>
#include <cstring>

namespace {

// Where field 1 begins: for the blank delimiter, after the text's leading blanks.
const char* FieldBase(const char* text, char delim)
{
    if (delim == ' ')
        while (*text == ' ')
            ++text;
    return text;
}

// The next separating delimiter at or after `p`, or null when none comes before the NUL. For the
// blank delimiter that is the last blank of the next run of blanks.
inline const char* NextDelim(const char* p, char delim)
{
    if (delim == '\0')
        return nullptr;
    const char* q = std::strchr(p, delim);
    if (q && delim == ' ')
        while (q[1] == ' ')
            ++q;
    return q;
}

// Positions just after delimiter number `a` - 1 (field a's start) and just after delimiter
// number `b` (the end of field b), scanning once. Field numbers of 0 or 1 start at `base`; an end
// whose delimiter does not exist is the end of the text. The caller keeps `a` within the text's
// fields, so the start always exists.
void Locate(const char* base, char delim, int a, int b, const char** start, const char** end)
{
    const char* p = base;
    const char* s = a <= 1 ? base : nullptr;
    const char* e = b <= 0 ? base : nullptr;
    int last = a - 1 > b ? a - 1 : b;
    for (int k = 0; k < last;) {
        const char* q = NextDelim(p, delim);
        if (!q)
            break;
        p = q + 1;
        ++k;
        if (k == a - 1)
            s = p;
        if (k == b)
            e = p;
    }
    if (!e)
        e = p + std::strlen(p);
    *start = s ? s : e;
    *end = e;
}

// Copies [start, end) into out, cut to outSize - 1, dropping one delimiter at its end.
int CopyRange(const char* start, const char* end, char delim, char* out, int outSize)
{
    if (!out)
        return 0;
    std::size_t len = end > start ? static_cast<std::size_t>(end - start) : 0;
    if (len > static_cast<std::size_t>(outSize - 1))
        len = static_cast<std::size_t>(outSize - 1);
    if (len > 0 && start[len - 1] == delim)
        --len;
    std::memcpy(out, start, len);
    out[len] = '\0';
    return static_cast<int>(len);
}

} // namespace

int strfldcnt(const char* text, char delim)
{
    if (!text)
        return 0;
    while (*text == ' ')
        ++text;
    if (*text == '\0')
        return 0;
    const char* last = text + std::strlen(text) - 1;
    int count = 0;
    if (delim == ' ') {
        // Each run of blanks separates once: count the blanks not followed by another blank.
        for (const char* p = text; p <= last; ++p)
            count += (p[0] == ' ' && p[1] != ' ');
    } else {
        while (*last == ' ')  // stops at text[0], which is not a blank
            --last;
        for (const char* p = text; p <= last; ++p)
            count += (*p == delim);
    }
    // A delimiter at the end closes the last field without opening another.
    return count + (*last != delim ? 1 : 0);
}

int strfld(const char* text, char delim, int from, int to, char* out, int outSize)
{
    if (!out || outSize < 1)
        out = nullptr;
    else
        out[0] = '\0';
    if (!text)
        text = "";
    if (to == 0)
        to = from;
    if (from != 0 && from > to)
        return -1;

    const char* base = FieldBase(text, delim);
    const char* start;
    const char* end;

    if (from < 0 || to < 0 || from == 99) {
        // Numbers counted from the end (and the 99 shorthand) need the field count first.
        const int n = strfldcnt(text, delim);
        if (n < 99) {
            if (from == 99)
                from = n;
            else if (from == -99)
                from = -n;
        }
        const long long absFrom = from < 0 ? -static_cast<long long>(from) : from;
        if (absFrom > n)
            return 0;
        if (to > n)
            to = n;
        if (to < -n)
            to = -n;
        if (from < 0)
            from = n + from + 1;
        if (to < 0)
            to = n + to + 1;
        Locate(base, delim, from, to, &start, &end);
        return CopyRange(start, end, delim, out, outSize);
    }

    // 0 <= from <= to: one scan up to the end of field `to`, counting fields only when the text
    // runs out first.
    if (to == 0)
        return 0;  // (0, 0): the empty range
    const char* p = base;
    const char* s = from <= 1 ? base : nullptr;
    int k = 0;
    for (; k < to; ++k) {
        const char* q = NextDelim(p, delim);
        if (!q)
            break;
        p = q + 1;
        if (k + 1 == from - 1)
            s = p;
    }
    if (k == to)
        return CopyRange(s, p, delim, out, outSize);

    // Only k delimiters exist, the last one just before p. The text holds one more field when
    // something other than trailing blanks (or, for the blank delimiter, anything) follows it.
    const char* textEnd = p + std::strlen(p);
    bool tailField = false;
    if (delim == ' ') {
        tailField = *p != '\0';
    } else {
        for (const char* t = p; t < textEnd; ++t)
            if (*t != ' ') {
                tailField = true;
                break;
            }
    }
    const int n = k + (tailField ? 1 : 0);
    if (from > n)
        return 0;
    // `to` lies beyond the last field: the range runs to the end of the last field.
    return CopyRange(s, tailField ? textEnd : p, delim, out, outSize);
}

int strcmpmode(const char* a, const char* b, int mode)
{
    if (!a || !b)
        return 3;
    auto upper = [](char ch) {
        return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
    };
    for (; *a && *b; ++a, ++b)
        if (upper(*a) != upper(*b))
            return 1;
    switch (mode) {
    case 1:
        return (*a == '\0' && *b == '\0') ? 0 : 2;
    case 2:
        return *a != '\0' ? 2 : 0;
    default:
        return 0;
    }
}

int strchrpos(char ch, const char* text)
{
    if (!text || ch == '\0')
        return -1;
    const char* at = std::strchr(text, ch);
    return at ? static_cast<int>(at - text) : -1;
}
