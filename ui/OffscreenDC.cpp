#include "OffscreenDC.h"

#include <QPaintDevice>

COffscreenDC::COffscreenDC(QPainter& target, const QRect& clip)
    : m_target(target), m_clip(clip),
      m_memory(target.device() == nullptr || target.device()->devType() != QInternal::Printer)
{
    if (!m_memory)
        return;
    const qreal ratio = target.device() ? target.device()->devicePixelRatioF() : 1.0;
    m_bitmap = QPixmap(m_clip.size() * ratio);
    m_bitmap.setDevicePixelRatio(ratio);
    m_painter.begin(&m_bitmap);
    // Widget coordinates keep working: the clip box's corner lands on the pixmap's origin.
    m_painter.translate(-m_clip.topLeft());
    m_painter.setFont(target.font());
}

COffscreenDC::~COffscreenDC()
{
    if (!m_memory)
        return;
    m_painter.end();
    m_target.drawPixmap(m_clip.topLeft(), m_bitmap);
}
