#include <qdxui/PercentBar.h>

#include <qdxui/QtText.h>

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

int CPercentBar::SetPos(int newPos, int length, bool* moved)
{
    const int old = pos;
    pos = newPos;
    const int extent = FilledExtent(Fraction(), length);
    const bool changed = extent != barExtent || length != m_extentLength;
    if (changed) {
        barExtent = extent;
        m_extentLength = length;
    }
    if (moved)
        *moved = changed;
    return old;
}

int CPercentBar::SetRange(int low, int high)
{
    min = low;
    max = high;
    return max;
}

int CPercentBar::SetStep(int newStep)
{
    const int old = step;
    step = newStep;
    return old;
}

bool CPercentBar::SetShowText(int flag)
{
    const bool changed = flag != showText;
    showText = flag;
    return changed;
}

bool CPercentBar::SetPrecision(int decimals)
{
    const bool changed = decimals != precision;
    precision = decimals;
    return changed;
}

bool CPercentBar::SetText(const char* newText)
{
    if (newText ? text == newText : text.empty())
        return false;
    text = newText ? newText : "";
    return true;
}

double CPercentBar::Fraction() const
{
    if (min >= max)
        return 0.0;
    return (static_cast<double>(pos) - min) / (static_cast<double>(max) - min);
}

int CPercentBar::FilledExtent(double fraction, int length)
{
    // Far outside the range the product leaves the int range; the clamp keeps the conversion
    // defined and still far beyond any real widget, so every pixel of change is still seen.
    constexpr double kLimit = 1 << 28;
    return static_cast<int>(std::clamp(std::trunc(fraction * length), -kLimit, kLimit));
}

std::string CPercentBar::PercentText() const
{
    const double percent = Fraction() * 100.0;
    char buffer[64];
    if (precision <= 0) {
        const double whole = std::clamp(std::trunc(percent), double(std::numeric_limits<int>::min()),
                                        double(std::numeric_limits<int>::max()));
        std::snprintf(buffer, sizeof buffer, "%d%%", static_cast<int>(whole));
        return buffer;
    }
    const int n = std::snprintf(buffer, sizeof buffer, "%.*f%%", precision, percent);
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof buffer)
        return buffer;
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), "%.*f%%", precision, percent);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

std::string CPercentBar::DisplayText() const
{
    return text.empty() ? PercentText() : text;
}

void CPercentBar::Paint(QPainter& p, const QRect& client, const QPalette& palette) const
{
    // An empty or reversed range draws nothing at all.
    if (min >= max)
        return;
    const QColor bar = barColour == CLR_DEFAULT ? palette.color(QPalette::Highlight) : ColorFromRef(barColour);
    const QColor background = bgColour == CLR_DEFAULT ? palette.color(QPalette::Base) : ColorFromRef(bgColour);
    const double fraction = Fraction();

    QRect filled;
    QRect empty;
    if (m_vertical) {
        const int top = client.bottom() + 1 - FilledExtent(fraction, client.height());
        filled = QRect(QPoint(client.left(), top), client.bottomRight());
        empty = QRect(client.topLeft(), QPoint(client.right(), top - 1));
    } else {
        const int right = client.left() + FilledExtent(fraction, client.width());
        filled = QRect(client.topLeft(), QPoint(right - 1, client.bottom()));
        empty = QRect(QPoint(right, client.top()), client.bottomRight());
    }
    // Parts beyond the edges (a position outside the range) are cut at the client rectangle.
    filled &= client;
    empty &= client;
    p.fillRect(filled, bar);
    p.fillRect(empty, background);

    if (!showText || m_vertical)
        return;
    const QString caption = QStringFromTxt(DisplayText().c_str());
    const int flags = Qt::AlignCenter | Qt::TextSingleLine;
    p.save();
    p.setClipRect(filled, Qt::IntersectClip);
    p.setPen(textColour == CLR_DEFAULT ? background : ColorFromRef(textColour));
    p.drawText(client, flags, caption);
    p.restore();
    p.save();
    p.setClipRect(empty, Qt::IntersectClip);
    p.setPen(textColour == CLR_DEFAULT ? bar : ColorFromRef(textColour));
    p.drawText(client, flags, caption);
    p.restore();
}
