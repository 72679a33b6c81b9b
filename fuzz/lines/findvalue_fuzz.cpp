// CTxtArray::FindValue and SetValue over arbitrary records. The input is split at line feeds:
// the first line is a key, the second a value, the rest are the array's records.
//  - FindValue must return the first record whose key (the text before the first "|") equals
//    the key ignoring case, or -1 with "<key> to found" when asked to report;
//  - after SetValue(key, value), FindValue(key) must find that record (for a key without "|")
//    and give the value back whenever the record layout can carry it unchanged.
#include "txtarray_fuzz_util.h"

#include <qdx/Fields.h>

#include <cstdlib>
#include <cstring>

namespace {

std::string RightTrimmed(const std::string& s)
{
    size_t end = s.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text = fuzz::AsText(data, size);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1)
        lines.push_back(text.substr(start, at - start));
    lines.push_back(text.substr(start));
    if (lines.size() < 2)
        return 0;
    const std::string key = lines[0];
    const std::string value = lines[1];

    CTxtArray array;
    for (size_t i = 2; i < lines.size(); ++i)
        array.Add(lines[i].c_str());

    int expected = -1;
    for (int i = 0; i < array.GetSize() && expected < 0; ++i) {
        CTxt field;
        strfldtxt(array.GetAtTxt(i), '|', 1, 1, field);
        if (strcmpmode(key.c_str(), field, 1) == 0)
            expected = i;
    }
    CTxt found;
    if (array.FindValue(key.c_str(), found, 1) != expected)
        std::abort();
    if (expected < 0 && std::string(found) != key + " to found")
        std::abort();

    const int index = array.SetValue(key.c_str(), value.c_str());
    if (expected >= 0 ? index != expected : index != array.GetSize() - 1)
        std::abort();
    // A key holding "|" cannot be found again: the record's key ends at its first "|".
    if (key.find('|') != std::string::npos || key.size() > 9999)
        return 0;
    if (array.FindValue(key.c_str(), found, 0) != index)
        std::abort();
    // A value survives the record unchanged unless it ends in "|" (one is dropped), is all blanks
    // (the record then has no second field), or is longer than what is kept.
    const bool carried = !RightTrimmed(value).empty() && RightTrimmed(value).back() != '|' && value.size() <= 9999;
    if (carried && std::string(found) != value)
        std::abort();
    return 0;
}
