// A deliberately plain model of strfld and strfldcnt for tests and fuzz targets: it records the
// start of every field in a table, the way the rules are usually explained, and works out the
// field range in its own way; it is checked against the fast scanner in lib/text/Fields.cpp.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qdx::test {

inline int ReferenceFieldCount(std::string_view text, char delim)
{
    std::size_t first = 0;
    while (first < text.size() && text[first] == ' ')
        ++first;
    std::size_t end = text.size();
    if (delim != ' ')
        while (end > first && text[end - 1] == ' ')
            --end;
    if (first >= end)
        return 0;
    int count = 0;
    bool inRun = false;
    for (std::size_t i = first; i < end; ++i) {
        bool isDelim = text[i] == delim;
        if (delim == ' ') {
            if (isDelim && !inRun)
                ++count;  // a run of blanks separates once
            inRun = isDelim;
        } else if (isDelim) {
            ++count;
        }
    }
    return count + (text[end - 1] != delim ? 1 : 0);
}

// Returns strfld's result and the text it leaves in an output buffer of outSize bytes.
inline std::pair<int, std::string> ReferenceField(std::string_view text, char delim, int from, int to,
                                                  int outSize)
{
    if (to == 0)
        to = from;
    if (from != 0 && from > to)
        return {-1, ""};  // the numbers as given, so (2, -1) is reversed too
    const int n = ReferenceFieldCount(text, delim);
    if (n == 0 || to == 0)
        return {0, ""};  // no fields, or the range (0, 0)
    // A field number as a place 1..n: a negative one counts back from the end; 99 and -99 name
    // the last and the first field while the text has fewer than 99 of them.
    auto place = [n](int field) {
        if (n < 99 && field == 99)
            return n;
        if (n < 99 && field == -99)
            return 1;
        return field < 0 ? n + 1 + field : field;
    };
    if (from != 0) {  // 0 stays 0: it starts where field 1 does
        from = place(from);
        if (from < 1 || from > n)
            return {0, ""};  // the first field lies beyond the text's fields
    }
    to = std::clamp(place(to), 1, n);

    std::size_t pos = 0;
    if (delim == ' ')
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
    std::vector<std::size_t> starts{pos, pos};  // index = field number; 0 and 1 share the start
    for (std::size_t i = pos; i < text.size(); ++i)
        if (text[i] == delim && (delim != ' ' || i + 1 == text.size() || text[i + 1] != ' '))
            starts.push_back(i + 1);
    auto at = [&](int field) {
        return static_cast<std::size_t>(field) < starts.size() ? starts[static_cast<std::size_t>(field)]
                                                                : text.size();
    };
    std::size_t s = at(from);
    std::size_t e = at(to + 1);
    std::string copy = e > s ? std::string(text.substr(s, e - s)) : std::string();
    if (outSize < 1)
        return {0, ""};
    if (copy.size() > static_cast<std::size_t>(outSize - 1))
        copy.resize(static_cast<std::size_t>(outSize - 1));
    if (!copy.empty() && copy.back() == delim)
        copy.pop_back();
    return {static_cast<int>(copy.size()), copy};
}

} // namespace qdx::test
