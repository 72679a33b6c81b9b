// Feeds arbitrary settings files to the parser and the writer. The input is three lines
// (section, key, value) followed by the file's text. Checks that a write the layout can hold
// reads back exactly as written, and that nothing else about the write misbehaves.
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

    std::string found;
    qdx_ini::Lookup(text, section, key, &found);
    qdx_ini::ExeDirFromPath(text);
    qdx_ini::IniPathFromPath(text);

    if (qdx_ini::CanWrite(section.c_str(), key.c_str(), value.c_str())) {
        std::string written = qdx_ini::Apply(text, section.c_str(), key.c_str(), value.c_str());
        std::string back;
        if (!qdx_ini::Lookup(written, section, key, &back) || back != value)
            std::abort();
        // Writing the same again changes nothing.
        if (qdx_ini::Apply(written, section.c_str(), key.c_str(), value.c_str()) != written)
            std::abort();
        std::string removed = qdx_ini::Apply(written, section.c_str(), key.c_str(), nullptr);
        if (qdx_ini::Lookup(removed, section, key, &back) && removed.size() >= written.size())
            std::abort();
    }
    return 0;
}
