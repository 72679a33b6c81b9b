// COffscreenDC: draws into an off-screen pixmap the size of the region being painted and copies
// it to the target in one go when it goes out of scope, so a widget never shows a half-drawn
// picture. Printers get the drawing straight.
//
//   QPainter target(this);
//   COffscreenDC offscreen(target, event->rect());
//   Draw(offscreen.painter());       // widget coordinates, as on `target`
#pragma once

#include <QPainter>
#include <QPixmap>
#include <QRect>

class COffscreenDC {
public:
    COffscreenDC(QPainter& target, const QRect& clip);
    ~COffscreenDC();
    COffscreenDC(const COffscreenDC&) = delete;
    COffscreenDC& operator=(const COffscreenDC&) = delete;

    // Where to draw: the pixmap's painter, or the target itself for a printer.
    QPainter& painter() { return m_memory ? m_painter : m_target; }

private:
    QPixmap m_bitmap;
    QPainter& m_target;
    QRect m_clip;
    bool m_memory;
    QPainter m_painter;
};
