#include "settings/IniText.h"

#include <cstring>
#include <unordered_set>

namespace qdx::ini_internal {
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
// end ("\n", "\r\n", "\r" or nothing at the end of the file).
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

// Where the first line starts: a byte order mark that some editors put first is not part of it.
std::size_t FirstLine(std::string_view text)
{
    return text.size() >= 3 && std::memcmp(text.data(), "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

// The line that starts at `pos` (< text.size()).
Line ReadLine(std::string_view text, std::size_t pos)
{
    Line line;
    line.begin = pos;
    std::size_t brk = text.find_first_of("\r\n", pos);
    if (brk == std::string_view::npos) {
        line.end = line.next = text.size();
    } else {
        line.end = brk;
        line.next = brk + 1;
        if (text[brk] == '\r' && line.next < text.size() && text[line.next] == '\n')
            ++line.next;
    }
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
    return line;
}

// Calls visit(line) for each line in order until it returns false.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit)
{
    for (std::size_t pos = FirstLine(text); pos < text.size();) {
        Line line = ReadLine(text, pos);
        if (!visit(line))
            return;
        pos = line.next;
    }
}

std::string_view Unquote(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// What a write needs to know about its section, found in one pass over the file.
struct Place {
    bool found = false;     // the file has the section
    Line header;            // its header line
    std::size_t endPos = 0; // where the section ends: the next header, or the end of the text
    bool hasKey = false;
    Line key;               // the first line of the key in it
    Line lastKey;           // the section's last key line (the header when it has none)
};

Place FindPlace(std::string_view text, std::string_view section, std::string_view key)
{
    Place place;
    place.endPos = text.size();
    ForEachLine(text, [&](const Line& line) {
        if (line.kind == Kind::Section) {
            if (place.found) {  // the next section ends ours
                place.endPos = line.begin;
                return false;
            }
            if (EqualNoCase(line.name, section)) {
                place.found = true;
                place.header = place.lastKey = line;
            }
        } else if (place.found && line.kind == Kind::Key) {
            place.lastKey = line;
            if (!place.hasKey && EqualNoCase(line.name, key)) {
                place.hasKey = true;
                place.key = line;
            }
        }
        return true;
    });
    return place;
}

// The line end the file already uses (that of its first line), LF for a file without one.
std::string_view LineEnd(std::string_view text)
{
    std::size_t brk = text.find_first_of("\r\n");
    if (brk == std::string_view::npos || text[brk] == '\n')
        return "\n";
    return brk + 1 < text.size() && text[brk + 1] == '\n' ? "\r\n" : "\r";
}

bool HasLineBreak(const char* s) { return std::strpbrk(s, "\r\n") != nullptr; }

std::string Folded(std::string_view section, std::string_view key)
{
    std::string id;
    id.reserve(section.size() + key.size() + 1);
    for (char c : section)
        id.push_back(Fold(c));
    id.push_back('\n');
    for (char c : key)
        id.push_back(Fold(c));
    return id;
}

} // namespace

bool Lookup(std::string_view text, std::string_view section, std::string_view key, std::string* value)
{
    Place place = FindPlace(text, Trim(section), Trim(key));
    if (!place.hasKey)
        return false;
    value->assign(Unquote(place.key.value));
    return true;
}

IniIndex::IniIndex(std::string_view text)
{
    std::unordered_set<std::string> seen;  // folded section names met so far
    std::string_view section;
    bool counts = false;  // only the first section of a name counts
    ForEachLine(text, [&](const Line& line) {
        if (line.kind == Kind::Section) {
            section = line.name;
            counts = seen.insert(Folded(section, "")).second;
        } else if (counts && line.kind == Kind::Key) {
            m_values.emplace(Folded(section, line.name), Unquote(line.value));  // the first key wins
        }
        return true;
    });
}

bool IniIndex::Find(std::string_view section, std::string_view key, std::string* value) const
{
    auto found = m_values.find(Folded(Trim(section), Trim(key)));
    if (found == m_values.end())
        return false;
    value->assign(found->second);
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
static std::string StoredValue(std::string_view value)
{
    if (Trim(value) != value || Unquote(value) != value)
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

// Ends a last line that has no line end of its own.
static void EndLastLine(std::string& out, std::string_view nl)
{
    if (!out.empty() && out.back() != '\n' && out.back() != '\r')
        out.append(nl);
}

std::string Apply(std::string_view text, const char* section, const char* key, const char* valueText)
{
    std::string stored = valueText ? StoredValue(valueText) : std::string();
    const char* value = valueText ? stored.c_str() : nullptr;
    std::string_view sectionName = Trim(section);
    std::string_view keyName = key ? Trim(key) : std::string_view();
    Place place = FindPlace(text, sectionName, keyName);
    std::string_view nl = LineEnd(text);
    std::string out;

    if (!key) {  // remove the whole section
        if (!place.found)
            return std::string(text);
        out.append(text.substr(0, place.header.begin));
        out.append(text.substr(place.endPos));
        return out;
    }

    if (!place.found) {
        out.assign(text);
        if (!value)
            return out;
        EndLastLine(out, nl);
        out.append("[").append(sectionName).append("]").append(nl);
        out.append(keyName).append("=").append(value).append(nl);
        return out;
    }

    if (place.hasKey) {
        const Line& line = place.key;
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
    const Line& prev = place.lastKey;
    out.append(text.substr(0, prev.next));
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

} // namespace qdx::ini_internal
