#include <qdxui/PercentBarCtrl.h>

#include "OffscreenDC.h"

#include <qdxui/QtText.h>

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cstring>

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
    m_bar.SetVertical((m_style & PBS_VERTICAL) != 0);
    m_id = id;
    setGeometry(rect);
    if (style & WS_VISIBLE)
        show();
    return true;
}

void CPercentBarCtrl::SetStyle(unsigned style)
{
    m_style = style & ~(WS_CHILD | WS_VISIBLE);
    m_bar.SetVertical((m_style & PBS_VERTICAL) != 0);
    m_bar.ForgetExtent();
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
        m_bar.ForgetExtent();
        return 0;
    case WM_SETTEXT:
        return OnSetText(reinterpret_cast<const char*>(lParam));
    case WM_GETTEXT:
        return OnGetText(wParam, reinterpret_cast<char*>(lParam));
    case PBM_SETRANGE:
        return m_bar.SetRange(static_cast<int>(lParam & 0xFFFF), static_cast<int>((lParam >> 16) & 0xFFFF));
    case PBM_SETRANGE32:
        return m_bar.SetRange(static_cast<int>(wParam), static_cast<int>(lParam));
    case PBM_GETRANGE:
        if (lParam != 0) {
            auto* range = reinterpret_cast<PBRANGE*>(lParam);
            range->iLow = m_bar.GetRangeMin();
            range->iHigh = m_bar.GetRangeMax();
        }
        return wParam != 0 ? m_bar.GetRangeMin() : m_bar.GetRangeMax();
    case PBM_SETPOS:
        return SetPos(static_cast<int>(wParam));
    case PBM_DELTAPOS:
        // Wraps like the platform's 32-bit arithmetic instead of overflowing.
        return SetPos(static_cast<int>(static_cast<unsigned>(GetPos()) + static_cast<unsigned>(wParam)));
    case PBM_STEPIT:
        return SetPos(static_cast<int>(static_cast<unsigned>(GetPos()) + static_cast<unsigned>(m_bar.GetStep())));
    case PBM_SETSTEP:
        return m_bar.SetStep(static_cast<int>(wParam));
    case PBM_GETPOS:
        return GetPos();
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

COLORREF CPercentBarCtrl::SetBarColour(COLORREF colour)
{
    update();
    return m_bar.SetBarColour(colour);
}

COLORREF CPercentBarCtrl::SetBgColour(COLORREF colour)
{
    update();
    return m_bar.SetBgColour(colour);
}

COLORREF CPercentBarCtrl::SetTextColour(COLORREF colour)
{
    update();
    return m_bar.SetTextColour(colour);
}

void CPercentBarCtrl::SetShowText(int flag)
{
    if (m_bar.SetShowText(flag))
        update();
}

void CPercentBarCtrl::SetPrecision(int decimals)
{
    if (m_bar.SetPrecision(decimals))
        update();
}

LRESULT CPercentBarCtrl::OnSetText(const char* newText)
{
    // The widget keeps the text as its accessible name too, as a window keeps its window text.
    setAccessibleName(QStringFromTxt(newText));
    // Only a real change repaints: a caption set again every second must not flicker.
    if (m_bar.SetText(newText))
        update();
    return 1;
}

LRESULT CPercentBarCtrl::OnGetText(WPARAM size, char* buffer) const
{
    if (buffer == nullptr || size == 0)
        return 0;
    const std::string& text = m_bar.GetText();
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<LRESULT>(n);
}

LRESULT CPercentBarCtrl::SetPos(int newPos)
{
    // Measured over the current size: after a resize the edge counts as moved.
    bool moved = false;
    const int old = m_bar.SetPos(newPos, m_bar.IsVertical() ? height() : width(), &moved);
    if (moved)
        repaint();
    return old;
}

void CPercentBarCtrl::paintEvent(QPaintEvent* event)
{
    if (m_bar.GetRangeMin() >= m_bar.GetRangeMax())
        return;
    QPainter target(this);
    target.setFont(parentWidget() ? parentWidget()->font() : font());
    COffscreenDC offscreen(target, event->rect());
    m_bar.Paint(offscreen.painter(), rect(), palette());
}
