#include "PercentBarCtrl.h"

#include <QPaintEvent>
#include <QResizeEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

// Draws into an off-screen pixmap the size of the region being painted and copies it to the
// target in one go when it goes out of scope, so the widget never shows a half-drawn bar.
// Printers get the drawing straight.
class COffscreenDC {
public:
    COffscreenDC(QPainter& target, const QRect& clip)
        : m_target(target), m_clip(clip),
          m_memory(target.device() == nullptr || target.device()->devType() != QInternal::Printer)
    {
        if (m_memory) {
            const qreal ratio = target.device() ? target.device()->devicePixelRatioF() : 1.0;
            m_bitmap = QPixmap(m_clip.size() * ratio);
            m_bitmap.setDevicePixelRatio(ratio);
            m_painter.begin(&m_bitmap);
            // Widget coordinates keep working: the clip box's corner lands on the pixmap's origin.
            m_painter.translate(-m_clip.topLeft());
            m_painter.setFont(target.font());
        }
    }
    ~COffscreenDC()
    {
        if (m_memory) {
            m_painter.end();
            m_target.drawPixmap(m_clip.topLeft(), m_bitmap);
        }
    }
    COffscreenDC(const COffscreenDC&) = delete;
    COffscreenDC& operator=(const COffscreenDC&) = delete;

    QPainter& painter() { return m_memory ? m_painter : m_target; }

private:
    QPixmap m_bitmap;
    QPainter& m_target;
    QRect m_clip;
    bool m_memory;
    QPainter m_painter;
};

}  // namespace

CPercentBarCtrl::CPercentBarCtrl(QWidget* parent) : QWidget(parent)
{
    // The paint covers every pixel, so nothing is erased beforehand.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

CPercentBarCtrl::~CPercentBarCtrl() = default;

bool CPercentBarCtrl::Create(unsigned style, const QRect& rect, QWidget* parent, int id)
{
    if (parent != parentWidget())
        setParent(parent);
    m_style = style & ~(WS_CHILD | WS_VISIBLE);
    m_id = id;
    setGeometry(rect);
    if (style & WS_VISIBLE)
        show();
    return true;
}

void CPercentBarCtrl::SetStyle(unsigned style)
{
    m_style = style & ~(WS_CHILD | WS_VISIBLE);
    barExtent = -1;
    update();
}

LRESULT CPercentBarCtrl::SendMessage(unsigned message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        repaint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        barExtent = -1;
        return 0;
    case WM_SETTEXT:
        return OnSetText(reinterpret_cast<const char*>(lParam));
    case WM_GETTEXT:
        return OnGetText(wParam, reinterpret_cast<char*>(lParam));
    case PBM_SETRANGE:
        min = static_cast<int>(lParam & 0xFFFF);
        max = static_cast<int>((lParam >> 16) & 0xFFFF);
        return max;
    case PBM_SETRANGE32:
        min = static_cast<int>(wParam);
        max = static_cast<int>(lParam);
        return max;
    case PBM_GETRANGE:
        if (lParam != 0) {
            auto* range = reinterpret_cast<PBRANGE*>(lParam);
            range->iLow = min;
            range->iHigh = max;
        }
        return wParam != 0 ? min : max;
    case PBM_SETPOS:
        return SetPos(static_cast<int>(wParam));
    case PBM_DELTAPOS:
        // Wraps like the platform's 32-bit arithmetic instead of overflowing.
        return SetPos(static_cast<int>(static_cast<unsigned>(pos) + static_cast<unsigned>(wParam)));
    case PBM_STEPIT:
        return SetPos(static_cast<int>(static_cast<unsigned>(pos) + static_cast<unsigned>(step)));
    case PBM_SETSTEP: {
        const int old = step;
        step = static_cast<int>(wParam);
        return old;
    }
    case PBM_GETPOS:
        return pos;
    case PBM_SETBARCOLOR:
        return SetBarColour(static_cast<COLORREF>(lParam));
    case PBM_SETBKCOLOR:
        return SetBgColour(static_cast<COLORREF>(lParam));
    case BPM_SETTEXTCOLOUR:
        return SetTextColour(static_cast<COLORREF>(lParam));
    case BPM_SETSHOWTEXT:
        SetShowText(static_cast<int>(wParam));
        return 0;
    default:
        return 0;
    }
}

COLORREF CPercentBarCtrl::StoreColour(COLORREF& field, COLORREF colour)
{
    const COLORREF old = field;
    update();
    field = colour;
    return old;
}

COLORREF CPercentBarCtrl::SetBarColour(COLORREF colour) { return StoreColour(barColour, colour); }
COLORREF CPercentBarCtrl::SetBgColour(COLORREF colour) { return StoreColour(bgColour, colour); }
COLORREF CPercentBarCtrl::SetTextColour(COLORREF colour) { return StoreColour(textColour, colour); }

void CPercentBarCtrl::SetShowText(int flag)
{
    if (flag != showText)
        update();
    showText = flag;
}

void CPercentBarCtrl::SetPrecision(int decimals)
{
    if (decimals != precision)
        update();
    precision = decimals;
}

LRESULT CPercentBarCtrl::OnSetText(const char* newText)
{
    // The widget keeps the text as its accessible name too, as a window keeps its window text.
    setAccessibleName(QString::fromUtf8(newText ? newText : ""));
    // Only a real change repaints: a caption set again every second must not flicker.
    if (newText ? text != newText : !text.empty()) {
        text = newText ? newText : "";
        update();
    }
    return 1;
}

LRESULT CPercentBarCtrl::OnGetText(WPARAM size, char* buffer) const
{
    if (buffer == nullptr || size == 0)
        return 0;
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<LRESULT>(n);
}

double CPercentBarCtrl::Fraction() const
{
    if (min >= max)
        return 0.0;
    return (static_cast<double>(pos) - min) / (static_cast<double>(max) - min);
}

int CPercentBarCtrl::FilledExtent(double fraction, int length)
{
    // Far outside the range the product leaves the int range; the clamp keeps the conversion
    // defined and still far beyond any real widget, so every pixel of change is still seen.
    constexpr double kLimit = 1 << 28;
    return static_cast<int>(std::clamp(std::trunc(fraction * length), -kLimit, kLimit));
}

LRESULT CPercentBarCtrl::SetPos(int newPos)
{
    const int old = pos;
    pos = newPos;
    const int length = (m_style & PBS_VERTICAL) ? height() : width();
    const int extent = FilledExtent(Fraction(), length);
    if (extent != barExtent) {
        barExtent = extent;
        m_extentSize = size();
        repaint();
    }
    return old;
}

std::string CPercentBarCtrl::DisplayText() const
{
    if (!text.empty())
        return text;
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

void CPercentBarCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Qt delivers one resize when a widget is first shown, whatever happened to its size while
    // it was hidden; the stored extent is stale only if the size differs from the one it was
    // measured at.
    if (event->size() != m_extentSize)
        barExtent = -1;
}

void CPercentBarCtrl::paintEvent(QPaintEvent* event)
{
    // An empty or reversed range draws nothing at all.
    if (min >= max)
        return;

    const QColor bar = barColour == CLR_DEFAULT ? palette().color(QPalette::Highlight) : ColorFromRef(barColour);
    const QColor background = bgColour == CLR_DEFAULT ? palette().color(QPalette::Base) : ColorFromRef(bgColour);
    const double fraction = Fraction();

    QPainter target(this);
    target.setFont(parentWidget() ? parentWidget()->font() : font());
    COffscreenDC offscreen(target, event->rect());
    QPainter& p = offscreen.painter();

    const QRect client = rect();
    const bool vertical = (m_style & PBS_VERTICAL) != 0;
    QRect filled;
    QRect empty;
    if (vertical) {
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

    if (showText && !vertical) {
        const QString caption = QString::fromUtf8(DisplayText());
        const int flags = Qt::AlignCenter | Qt::TextSingleLine;
        p.save();
        p.setClipRect(filled);
        p.setPen(textColour == CLR_DEFAULT ? background : ColorFromRef(textColour));
        p.drawText(client, flags, caption);
        p.setClipRect(empty);
        p.setPen(textColour == CLR_DEFAULT ? bar : ColorFromRef(textColour));
        p.drawText(client, flags, caption);
        p.restore();
    }
}
