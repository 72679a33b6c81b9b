// The dialogs' layouts are given in dialog units, as their templates were drawn. At 96 dpi a
// horizontal unit is 1.5 pixels and a vertical one 1.625 pixels. On a denser screen Qt scales
// the whole window (QT_FONT_DPI=144 gives 1.5 device pixels per pixel); where a platform reports
// a logical dpi above 96 instead, the units grow with it, as the dialogs' text does.
#pragma once

#include <QRect>
#include <QWidget>

#include <cmath>

// Pixels of `units` horizontal dialog units on the screen of `widget`.
inline int DialogX(const QWidget* widget, double units)
{
    return static_cast<int>(std::lround(units * 1.5 * widget->logicalDpiX() / 96.0));
}

// Pixels of `units` vertical dialog units on the screen of `widget`.
inline int DialogY(const QWidget* widget, double units)
{
    return static_cast<int>(std::lround(units * 1.625 * widget->logicalDpiY() / 96.0));
}

inline QRect DialogRect(const QWidget* widget, int x, int y, int width, int height)
{
    return QRect(DialogX(widget, x), DialogY(widget, y), DialogX(widget, width), DialogY(widget, height));
}
