// CTxt's conversions: escapes, markup decoding, rotation, file names, hex and number text,
// masking, removal and trimming.
#include <qdx/Fields.h>
#include <qdx/String.h>
#include <qdx/Txt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

bool IsAsciiAlnum(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
}

char FoldAscii(char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

// A path split the classic way: "c:" drive, directory with its separators, file name, and
// extension with its dot (after the last dot of the name part).
struct PathParts {
    std::string_view drive, dir, name, ext;
};

PathParts SplitPath(const char* path)
{
    PathParts parts;
    std::string_view rest(path ? path : "");
    if (rest.size() >= 2 && rest[1] == ':') {
        parts.drive = rest.substr(0, 2);
        rest.remove_prefix(2);
    }
    std::size_t lastSep = rest.find_last_of("/\\");
    if (lastSep != std::string_view::npos) {
        parts.dir = rest.substr(0, lastSep + 1);
        rest.remove_prefix(lastSep + 1);
    }
    std::size_t dot = rest.rfind('.');
    if (dot != std::string_view::npos) {
        parts.name = rest.substr(0, dot);
        parts.ext = rest.substr(dot);
    } else {
        parts.name = rest;
    }
    return parts;
}

// The value of a hex digit, with a blank counting as 0; -1 for anything else.
int HexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch == ' ')
        return 0;
    return -1;
}

} // namespace

int CTxt::ConvCRLF(int mode)
{
    if (!m_buffer)
        return 0;
    std::string out;
    out.reserve(static_cast<std::size_t>(m_length) + 16);
    for (const char* p = m_buffer; *p; ++p) {
        const char ch = *p;
        if (mode == 0) {
            switch (ch) {
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default: out += ch; break;
            }
        } else if (ch != '\\') {
            out += ch;
        } else {
            // A backslash and the character after it become one control character, or nothing.
            const char next = p[1];
            if (next == '\0')
                break;
            if (next == 'n')
                out += '\n';
            else if (next == 'r')
                out += '\r';
            else if (next == 't')
                out += '\t';
            ++p;
        }
    }
    SetTxt(out.c_str());
    return m_length;
}

int CTxt::ConvHTM2TXT()
{
    if (!m_buffer)
        return 0;
    std::string out;
    out.reserve(static_cast<std::size_t>(m_length));
    const char* p = m_buffer;
    while (*p) {
        if (strcmpmode("&nbsp;", p, 2) == 0) {
            out += ' ';
            p += 6;
        } else if (p[0] == '%' && p[1] == '%') {
            out += '%';
            p += 2;
        } else if (p[0] == '%' && p[1] != '\0' && p[2] != '\0') {
            // The run of hex digits (blanks as 0) at the start of the two characters.
            int value = 0;
            for (int i = 1; i <= 2; ++i) {
                int digit = HexValue(p[i]);
                if (digit < 0)
                    break;
                value = value * 16 + digit;
            }
            if (value == 0)
                break;  // a decoded NUL ends the text
            out += static_cast<char>(value);
            p += 3;
        } else {
            // Also a "%" too close to the end to hold an escape: it stays as it is.
            out += *p++;
        }
    }
    SetTxt(out.c_str());
    return m_length;
}

int CTxt::ConvProt(int mode, int key)
{
    if (!m_buffer)
        return 0;
    if (key < 1)
        key = 1;
    for (int i = 0; m_buffer[i]; ++i) {
        const int v = static_cast<unsigned char>(m_buffer[i]);
        if (v < 32 || v > 126)
            continue;
        const long long s = static_cast<long long>(key) + i;
        const bool add = (i % 2 == 0) == (mode != 0);
        // The remainder keeps the sign of the shift, so one correction brings it back in range.
        int r = static_cast<int>((add ? s : -s) % 95);
        int w = v + r;
        if (w < 32)
            w += 95;
        else if (w > 126)
            w -= 95;
        m_buffer[i] = static_cast<char>(w);
    }
    return m_length;
}

int CTxt::Replace(char from, char to)
{
    if (m_length <= 0)
        return 0;
    int count = 0;
    for (char* p = m_buffer; *p; ++p)
        if (*p == from) {
            *p = to;
            ++count;
        }
    return count;
}

void CTxt::MakeFn()
{
    if (m_length <= 0)
        return;
    for (char* p = m_buffer; *p; ++p) {
        if (p[0] == '\\' && p[1] == '\\')
            ++p;  // a network path's leading pair stays
        else if (*p == '\\')
            *p = '/';
    }
    std::size_t n = std::strlen(m_buffer);
    while (n > 1 && m_buffer[n - 1] == '/')
        --n;
    m_buffer[n] = '\0';
    m_length = static_cast<int>(n);
}

void CTxt::MakeFnDOS()
{
    if (m_length <= 0)
        return;
    for (char* p = m_buffer; *p; ++p) {
        if (p[0] == '\\' && p[1] == '\\')
            ++p;
        else if (*p == '/')
            *p = '\\';
    }
    std::size_t n = std::strlen(m_buffer);
    while (n > 1 && m_buffer[n - 1] == '/')
        --n;
    while (n > 1 && m_buffer[n - 1] == '\\')
        --n;
    m_buffer[n] = '\0';
    m_length = static_cast<int>(n);
}

int CTxt::AddToFn(const char* add, int dash)
{
    // An empty text is split like any other (into empty parts) and rebuilt; only an object
    // without a buffer has nothing to split.
    if (!m_buffer)
        return m_length;
    PathParts parts = SplitPath(m_buffer);
    std::string out;
    out.append(parts.drive).append(parts.dir).append(parts.name);
    if (dash)
        out += '-';
    out.append(add ? add : "").append(parts.ext);
    SetTxt(out.c_str());
    return m_length;
}

int CTxt::GetFileTxt(int part, CTxt& out) const
{
    // `out` may be this object: build the part first, then assign.
    PathParts p = SplitPath(m_buffer);
    std::string result;
    switch (part) {
    case 0: result.append(p.drive); break;
    case 1: result.append(p.dir); break;
    case 2: result.append(p.name); break;
    case 3:
        if (!p.ext.empty())
            result.append(p.ext.substr(1));
        break;
    case 4: result.append(p.drive).append(p.dir); break;
    case 5: result.append(p.name).append(p.ext); break;
    case 6: result.append(p.drive).append(p.dir).append(p.name); break;
    case 7: result.append(p.drive).append(p.dir).append(p.name).append(p.ext); break;
    default: break;
    }
    out.MakeEmpty();
    out.SetTxt(result.c_str());
    return out.GetLength();
}

void CTxt::GetExeName(CTxt& out, int part)
{
    std::string path(256, '\0');
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) {
            path.clear();
            break;
        }
        if (static_cast<std::size_t>(n) < path.size()) {
            path.resize(static_cast<std::size_t>(n));
            break;
        }
        path.resize(path.size() * 2);  // the link may have been cut: try again with more room
    }
    CTxt exe(path.c_str());
    exe.MakeFn();
    exe.GetFileTxt(part, out);
}

int CTxt::FindStringArray(CStringArray& array, const char* text)
{
    for (int i = 0; i < array.GetSize(); ++i)
        if (strcmpmode(array.GetAt(i), text, 1) == 0)
            return i;
    return -1;
}

void CTxt::GetHex(unsigned long value, int digits)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08lX", value & 0xFFFFFFFFul);
    int keep = digits == 1 ? 2 : digits == 2 ? 4 : digits == 3 ? 6 : 8;
    SetTxt(hex + 8 - keep);
}

void CTxt::GetHexArray(unsigned char* data, int count)
{
    if (count <= 0 || count > 1000 || !data) {
        Format("GetHexArray(%dBy)", count);
        return;
    }
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(static_cast<std::size_t>(count) * 3);
    for (int i = 0; i < count; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0x0F];
        out += ',';
    }
    SetTxt(out.c_str());
}

int CTxt::MakeValueTxt(double value, int decimals)
{
    // Formatted whole, however many digits the value has.
    char small[128];
    int n = std::snprintf(small, sizeof small, "%.*f", decimals, value);
    std::string text;
    if (n < 0) {
        n = 0;
    } else if (static_cast<std::size_t>(n) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(n));
    } else {
        text.resize(static_cast<std::size_t>(n) + 1);
        std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
        text.resize(static_cast<std::size_t>(n));
    }
    if (text.find('.') != std::string::npos) {
        std::size_t end = text.find_last_not_of('0');
        if (text[end] == '.')
            --end;
        text.resize(end + 1);
    }
    std::size_t first = text.find_first_not_of(' ');
    SetTxt(first == std::string::npos ? "" : text.c_str() + first);
    return m_length;
}

int CTxt::MaskNonVar(int mask, const char* extra)
{
    if (m_length <= 0)
        return -1;
    int first = -1;
    for (int i = 0; m_buffer[i]; ++i) {
        const char ch = m_buffer[i];
        if (IsAsciiAlnum(ch) || ch == '_' || (extra && std::strchr(extra, ch)))
            continue;
        if (mask == 0)
            return static_cast<signed char>(ch);
        m_buffer[i] = '_';
        if (first < 0)
            first = i;
    }
    return mask == 0 ? 0 : first;
}

int CTxt::MaskNonPrintable()
{
    if (m_length <= 0)
        return 0;
    int count = 0;
    for (char* p = m_buffer; *p; ++p) {
        const unsigned char ch = static_cast<unsigned char>(*p);
        if (ch < 32 || ch > 126) {
            *p = '+';
            ++count;
        }
    }
    return count;
}

int CTxt::RemoveFromText(const char* part)
{
    if (!m_buffer || !part || !*part)
        return m_length;
    const std::size_t n = std::strlen(part);
    const std::size_t len = std::strlen(m_buffer);
    if (n > len)
        return m_length;
    // Compacts in place: the write position never passes the read position.
    std::size_t w = 0, r = 0;
    while (r + n <= len) {
        bool match = true;
        for (std::size_t k = 0; k < n; ++k)
            if (FoldAscii(m_buffer[r + k]) != FoldAscii(part[k])) {
                match = false;
                break;
            }
        if (match) {
            r += n;
        } else {
            m_buffer[w++] = m_buffer[r++];
        }
    }
    while (r < len)
        m_buffer[w++] = m_buffer[r++];
    m_buffer[w] = '\0';
    m_length = static_cast<int>(w);
    return m_length;
}

int CTxt::RemoveCharList(const char* list)
{
    if (!m_buffer)
        return 0;
    if (!list || !*list)
        return m_length;
    char* w = m_buffer;
    for (const char* r = m_buffer; *r; ++r)
        if (!std::strchr(list, *r))
            *w++ = *r;
    *w = '\0';
    m_length = static_cast<int>(w - m_buffer);
    return m_length;
}

int CTxt::RemoveChar(char ch)
{
    if (!m_buffer)
        return 0;
    char* w = m_buffer;
    for (const char* r = m_buffer; *r; ++r)
        if (*r != ch)
            *w++ = *r;
    *w = '\0';
    m_length = static_cast<int>(w - m_buffer);
    return m_length;
}

int CTxt::TrimNum(int brackets)
{
    if (!m_buffer)
        return 0;
    const char* keep = brackets ? "0123456789.E+-()" : "0123456789.E+-";
    char* w = m_buffer;
    for (const char* r = m_buffer; *r; ++r)
        if (std::strchr(keep, *r))
            *w++ = *r;
    *w = '\0';
    m_length = static_cast<int>(w - m_buffer);
    return m_length;
}

int CTxt::Trim(char ch)
{
    if (m_length <= 0)
        return 0;
    std::size_t end = std::strlen(m_buffer);
    while (end > 0 && m_buffer[end - 1] == ch)
        --end;
    std::size_t start = 0;
    while (start < end && m_buffer[start] == ch)
        ++start;
    std::memmove(m_buffer, m_buffer + start, end - start);
    m_buffer[end - start] = '\0';
    m_length = static_cast<int>(end - start);
    return m_length;
}

int CTxt::TrimRight(char ch)
{
    if (m_length <= 0)
        return 0;
    int removed = 0;
    while (m_length > 0 && m_buffer[m_length - 1] == ch) {
        --m_length;
        ++removed;
    }
    m_buffer[m_length] = '\0';
    return removed;
}
