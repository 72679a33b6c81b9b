#include "settings/IniText.h"

#include <cstring>
#include <vector>

namespace qdx_ini {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

enum class Kind { Other, Section, Key };

// One line of the file. [begin, end) is its text without the line end; [end, next) is the line
// end ("\n", "\r\n" or nothing at the end of the file).
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
    Kind kind = Kind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // a key's value, trimmed, quotes still on
    std::size_t keyEnd = 0;  // just after the '=' of a key line: the text before it is kept
    bool spaced = false;     // "key = value" style: a blank before the '='
};

std::vector<Line> Split(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    // A byte order mark that some editors put first is not part of the first line's text.
    if (text.size() >= 3 && std::memcmp(text.data(), "\xEF\xBB\xBF", 3) == 0)
        pos = 3;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) {
            line.end = line.next = text.size();
        } else {
            line.end = nl;
            line.next = nl + 1;
        }
        if (line.end > line.begin && text[line.end - 1] == '\r')
            --line.end;
        std::string_view body = text.substr(line.begin, line.end - line.begin);
        std::string_view trimmed = Trim(body);
        if (!trimmed.empty() && trimmed.front() == '[') {
            std::string_view inner = trimmed.substr(1);
            std::size_t close = inner.find(']');
            line.kind = Kind::Section;
            line.name = Trim(inner.substr(0, close));
        } else if (!trimmed.empty() && trimmed.front() != ';' && trimmed.front() != '#') {
            std::size_t eq = body.find('=');
            if (eq != std::string_view::npos) {
                line.kind = Kind::Key;
                line.name = Trim(body.substr(0, eq));
                line.keyEnd = line.begin + eq + 1;
                line.spaced = eq > 0 && IsBlank(body[eq - 1]);
                line.value = Trim(body.substr(eq + 1));
            }
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

std::string_view Unquote(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// The section that a write or a read is about: its header line and the lines up to the next
// header. `first` is -1 when the file has no such section.
struct SectionSpan {
    int first = -1;
    int last = -1;  // the last line belonging to the section (the header when it is empty)
};

SectionSpan FindSection(const std::vector<Line>& lines, std::string_view section)
{
    SectionSpan span;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        if (lines[i].kind != Kind::Section)
            continue;
        if (span.first >= 0)
            break;
        if (EqualNoCase(lines[i].name, section))
            span.first = span.last = i;
    }
    if (span.first >= 0) {
        int i = span.first + 1;
        while (i < static_cast<int>(lines.size()) && lines[i].kind != Kind::Section)
            ++i;
        span.last = i - 1;
    }
    return span;
}

int FindKey(const std::vector<Line>& lines, const SectionSpan& span, std::string_view key)
{
    for (int i = span.first + 1; i <= span.last; ++i)
        if (lines[i].kind == Kind::Key && EqualNoCase(lines[i].name, key))
            return i;
    return -1;
}

// The line end the file already uses (that of its first line), LF for a new file.
std::string_view LineEnd(std::string_view text)
{
    std::size_t nl = text.find('\n');
    if (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r')
        return "\r\n";
    return "\n";
}

bool HasLineBreak(const char* s) { return std::strpbrk(s, "\r\n") != nullptr; }

} // namespace

bool Lookup(std::string_view text, std::string_view section, std::string_view key, std::string* value)
{
    section = Trim(section);
    key = Trim(key);
    std::vector<Line> lines = Split(text);
    SectionSpan span = FindSection(lines, section);
    if (span.first < 0)
        return false;
    int at = FindKey(lines, span, key);
    if (at < 0)
        return false;
    value->assign(Unquote(lines[at].value));
    return true;
}

bool CanWrite(const char* section, const char* key, const char* value)
{
    if (!section)
        return false;
    std::string_view s = Trim(section);
    if (s.empty() || s.find(']') != std::string_view::npos || HasLineBreak(section))
        return false;
    if (key) {
        std::string_view k = Trim(key);
        if (k.empty() || k.find('=') != std::string_view::npos || HasLineBreak(key) ||
            k.front() == '[' || k.front() == ';' || k.front() == '#')
            return false;
    }
    if (value && HasLineBreak(value))
        return false;
    return true;
}

// The text to write for `value`, such that reading it back gives `value` exactly. The reader
// trims blanks around a value and takes off one pair of quotes around the whole of it, so a value
// with blanks at either end (a command that ends in a blank, say) or wrapped in quotes of its own
// is written inside one more pair of double quotes.
// Ends a last line that has no line feed. A file's very last CR already counts as its line end
// when reading, so it is completed to CR LF rather than followed by a second line end.
static void EndLastLine(std::string& out, std::string_view nl)
{
    out.append(!out.empty() && out.back() == '\r' ? std::string_view("\n") : nl);
}

static std::string StoredValue(std::string_view value)
{
    if (Trim(value) != value || Unquote(value) != value)
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

std::string Apply(std::string_view text, const char* section, const char* key, const char* valueText)
{
    std::string stored = valueText ? StoredValue(valueText) : std::string();
    const char* value = valueText ? stored.c_str() : nullptr;
    std::string_view sectionName = Trim(section);
    std::vector<Line> lines = Split(text);
    SectionSpan span = FindSection(lines, sectionName);
    std::string_view nl = LineEnd(text);
    std::string out;

    if (!key) {  // remove the whole section
        if (span.first < 0)
            return std::string(text);
        out.append(text.substr(0, lines[span.first].begin));
        out.append(text.substr(lines[span.last].next));
        return out;
    }
    std::string_view keyName = Trim(key);

    if (span.first < 0) {
        out.assign(text);
        if (!value)
            return out;
        if (!out.empty() && out.back() != '\n')
            EndLastLine(out, nl);
        out.append("[").append(sectionName).append("]").append(nl);
        out.append(keyName).append("=").append(value).append(nl);
        return out;
    }

    int at = FindKey(lines, span, keyName);
    if (at >= 0) {
        const Line& line = lines[at];
        out.append(text.substr(0, line.begin));
        if (value) {
            // The line keeps its own spelling of the key and its "key = value" style.
            out.append(text.substr(line.begin, line.keyEnd - line.begin));
            if (line.spaced)
                out.append(" ");
            out.append(value);
            out.append(text.substr(line.end, line.next - line.end));
        }
        out.append(text.substr(line.next));
        return out;
    }
    if (!value)
        return std::string(text);

    // A new key goes after the section's last key (comments and blanks after it belong to
    // whatever follows), or right after the header.
    int after = span.first;
    for (int i = span.first + 1; i <= span.last; ++i)
        if (lines[i].kind == Kind::Key)
            after = i;
    const Line& prev = lines[after];
    out.append(text.substr(0, prev.next));
    if (text[prev.next - 1] != '\n')  // the last line of the file had no line end
        EndLastLine(out, nl);
    out.append(keyName).append("=").append(value).append(nl);
    out.append(text.substr(prev.next));
    return out;
}

namespace {

// Cuts a final "<sep>Debug<sep>" or "<sep>Release<sep>" off a directory that ends with '/'.
void DropBuildDir(std::string& dir, std::string_view name)
{
    std::size_t n = name.size() + 2;
    if (dir.size() < n)
        return;
    std::string_view tail(dir.data() + dir.size() - n, n);
    if (tail.front() == '/' && tail.back() == '/' && EqualNoCase(tail.substr(1, name.size()), name))
        dir.resize(dir.size() - n + 1);
}

// Cuts a final "Debug" or "Release" off a base name, as long as something is left of it.
void DropBuildSuffix(std::string& base, std::string_view name)
{
    if (base.size() <= name.size())
        return;
    if (EqualNoCase(std::string_view(base).substr(base.size() - name.size()), name))
        base.resize(base.size() - name.size());
}

} // namespace

std::string ExeDirFromPath(std::string_view exePath)
{
    std::size_t slash = exePath.rfind('/');
    std::string dir(slash == std::string_view::npos ? std::string_view() : exePath.substr(0, slash + 1));
    DropBuildDir(dir, "Debug");
    DropBuildDir(dir, "Release");
    if (!dir.empty() && dir.back() == '/')
        dir.pop_back();
    return dir;
}

std::string IniPathFromPath(std::string_view exePath)
{
    std::size_t slash = exePath.rfind('/');
    std::string base(slash == std::string_view::npos ? exePath : exePath.substr(slash + 1));
    std::size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0)
        base.resize(dot);
    DropBuildSuffix(base, "Debug");
    DropBuildSuffix(base, "Release");
    std::string path = ExeDirFromPath(exePath);
    if (path.empty() && slash == std::string_view::npos)
        path.push_back('.');
    path.push_back('/');
    path.append(base);
    path.append(".ini");
    return path;
}

} // namespace qdx_ini
