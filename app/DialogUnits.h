// The dialogs' layouts are given in dialog units, as their templates were drawn; on screen a
// horizontal unit is 1.5 pixels and a vertical one 1.625 pixels.
#pragma once

#include <QRect>

#include <cmath>

inline QRect DialogRect(int x, int y, int width, int height)
{
    auto px = [](double v) { return static_cast<int>(std::lround(v * 1.5)); };
    auto py = [](double v) { return static_cast<int>(std::lround(v * 1.625)); };
    return QRect(px(x), py(y), px(width), py(height));
}
