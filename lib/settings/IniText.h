// The settings file's text, without any file access: finding a value, and producing the text
// after one write. Kept apart from the file handling so the parser can be tested and fuzzed on
// its own.
//
// A line ends at LF, at CR LF or at a lone CR, so files written on any system read alike.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace qdx::ini_internal {

// Finds `key` in the first section named `section` (both compared ignoring ASCII case, blanks
// around them ignored). On success stores the value (blanks around it and one pair of matching
// quotes removed) and returns true.
bool Lookup(std::string_view text, std::string_view section, std::string_view key, std::string* value);

// A whole file parsed once, for many lookups: Find gives what Lookup gives on the same text.
//   IniIndex index("[SYS]\rRollValues=6\r");
//   index.Find("sys", "rollvalues", &value);   // true, value "6"
class IniIndex {
public:
    explicit IniIndex(std::string_view text);
    bool Find(std::string_view section, std::string_view key, std::string* value) const;

private:
    std::unordered_map<std::string, std::string> m_values;  // "section\nkey" in lower case -> value
};

// Whether the names and value can be written without breaking the layout (see IniWriteString).
// A null key or value is valid (they remove a section or a key).
bool CanWrite(const char* section, const char* key, const char* value);

// The text after writing key=value into section; a null value removes the key, a null key the
// whole section. Every other line is kept byte for byte; new lines end like the file's first
// line (LF for a file without one). The caller has checked CanWrite.
std::string Apply(std::string_view text, const char* section, const char* key, const char* value);

// What GetExeDir makes of the executable's full path.
std::string ExeDirFromPath(std::string_view exePath);
// What GetIniPath makes of the executable's full path.
std::string IniPathFromPath(std::string_view exePath);

} // namespace qdx::ini_internal
