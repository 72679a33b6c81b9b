// Feeds arbitrary settings files to the parser and the writer. The input is three lines
// (section, key, value) followed by the file's text. The text is tried as it is and with its
// line ends rewritten to LF, CR LF, lone CR and a mix of the three: the reader must find the
// same values in every form, the parsed index must agree with the plain lookup, a write the
// layout can hold must read back exactly as written, and new lines must keep the file's own
// line end.
#include "settings/IniText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string_view TakeLine(std::string_view& in)
{
    std::size_t nl = in.find('\n');
    std::string_view line = in.substr(0, nl);
    in.remove_prefix(nl == std::string_view::npos ? in.size() : nl + 1);
    return line;
}

// The text with every line end (LF, CR LF or lone CR) replaced: form 0 LF, 1 CR LF, 2 CR,
// 3 the three in turn.
std::string WithLineEnds(std::string_view text, int form)
{
    static const char* const kEnds[] = {"\n", "\r\n", "\r"};
    std::string out;
    int turn = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\r' && c != '\n') {
            out.push_back(c);
            continue;
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        out.append(kEnds[form == 3 ? turn++ % 3 : form]);
    }
    return out;
}

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string Found(std::string_view text, const std::string& section, const std::string& key)
{
    std::string value, indexed;
    const bool found = qdx::ini_internal::Lookup(text, section, key, &value);
    Check(qdx::ini_internal::IniIndex(text).Find(section, key, &indexed) == found);
    Check(!found || indexed == value);
    return found ? value : std::string("\x01missing");
}

// Every line end in `text` at or after `from` is `nl`.
bool LineEndsAre(std::string_view text, std::size_t from, std::string_view nl)
{
    for (std::size_t i = from; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        if (text.compare(i, nl.size(), nl) != 0)
            return false;
        i += nl.size() - 1;
    }
    return true;
}

void WriteAndReadBack(std::string_view text, const std::string& section, const std::string& key,
                      const std::string& value)
{
    std::string written = qdx::ini_internal::Apply(text, section.c_str(), key.c_str(), value.c_str());
    Check(Found(written, section, key) == value);
    // Writing the same again changes nothing.
    Check(qdx::ini_internal::Apply(written, section.c_str(), key.c_str(), value.c_str()) == written);
    std::string removed = qdx::ini_internal::Apply(written, section.c_str(), key.c_str(), nullptr);
    std::string back;
    Check(!qdx::ini_internal::Lookup(removed, section, key, &back) || removed.size() < written.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view in(reinterpret_cast<const char*>(data), size);
    std::string section(TakeLine(in));
    std::string key(TakeLine(in));
    std::string value(TakeLine(in));
    std::string_view text = in;
    // The public functions take C strings: a NUL ends a name there.
    section = section.c_str();
    key = key.c_str();
    value = value.c_str();

    const std::string asFound = Found(text, section, key);
    qdx::ini_internal::ExeDirFromPath(text);
    qdx::ini_internal::IniPathFromPath(text);

    const bool writable = qdx::ini_internal::CanWrite(section.c_str(), key.c_str(), value.c_str());
    if (writable)
        WriteAndReadBack(text, section, key, value);

    for (int form = 0; form < 4; ++form) {
        const std::string variant = WithLineEnds(text, form);
        Check(Found(variant, section, key) == asFound);
        if (!writable)
            continue;
        WriteAndReadBack(variant, section, key, value);
        if (form < 3) {
            // A file with one kind of line end keeps it: a new key or section adds nothing else.
            static const char* const kEnds[] = {"\n", "\r\n", "\r"};
            const std::string written = qdx::ini_internal::Apply(variant, section.c_str(), key.c_str(), value.c_str());
            const bool hasEnd = variant.find_first_of("\r\n") != std::string::npos;
            Check(LineEndsAre(written, 0, hasEnd ? kEnds[form] : "\n"));
        }
    }
    return 0;
}
