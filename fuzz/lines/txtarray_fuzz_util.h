// Small helpers shared by the string array's fuzz targets.
#pragma once

#include <qdx/TxtArray.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// The texts of the array; a gap shows as an empty text.
inline std::vector<std::string> TextsOf(CTxtArray& array)
{
    std::vector<std::string> texts;
    for (int i = 0; i < array.GetSize(); ++i) {
        const char* text = array.GetAtTxt(i);
        texts.emplace_back(text ? text : "");
    }
    return texts;
}

// The input as a C string: bytes up to the first NUL.
inline std::string AsText(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    return text.substr(0, text.find('\0'));
}

}  // namespace fuzz
