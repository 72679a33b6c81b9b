#include "ReportCellDelegate.h"

#include "ReportListModel.h"

#include <qdxui/QtText.h>
#include <qdxui/ReportListCtrl.h>

#include <QPainter>

#include <algorithm>

namespace {

// A one-pixel frame: top and left in `topLeft`, bottom and right in `bottomRight`.
void Draw3dRect(QPainter* painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight)
{
    if (r.width() <= 0 || r.height() <= 0)
        return;
    painter->fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
    painter->fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), topLeft);
    painter->fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    painter->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
}

// Inset of a plain cell's text on either side: one blank and two pixels.
int PlainInset(const QFontMetrics& metrics) { return metrics.horizontalAdvance(QLatin1Char(' ')) + 2; }
// Inset of the current cell's text on either side: two blanks.
int BoxInset(const QFontMetrics& metrics) { return 2 * metrics.horizontalAdvance(QLatin1Char(' ')); }

}  // namespace

CReportCellDelegate::CReportCellDelegate(CReportListCtrl* list) : QStyledItemDelegate(list), m_list(list) {}

int CReportCellDelegate::TextMargins(const QFont& font)
{
    const QFontMetrics metrics(font);
    return 2 * std::max(PlainInset(metrics), BoxInset(metrics));
}

void CReportCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect cell = option.rect;
    const CReportListModel& model = *m_list->m_model;
    painter->save();
    painter->setFont(option.font);
    if (model.IsBarCell(index.row(), index.column())) {
        // The bar lies over the whole cell and draws in the list's font.
        if (const std::optional<CPercentBar> bar = model.ShownBar(index.row())) {
            painter->setClipRect(cell, Qt::IntersectClip);
            bar->Paint(*painter, cell, m_list->palette());
            m_list->NoteShown(index.row(), index.column(), CReportListCtrl::BarKey(*bar, cell.width()));
        }
        painter->restore();
        return;
    }
    std::string shown = model.Cell(index.row(), index.column());
    const QString text = QStringFromTxt(shown.c_str());
    const QFontMetrics metrics(option.font);
    if (m_list->IsCurrentCell(index.row(), index.column())) {
        const QPalette& pal = m_list->palette();
        painter->fillRect(cell, pal.color(QPalette::Button));
        // The text starts two blanks in from either side, left-aligned, cut with an ellipsis.
        const int inset = BoxInset(metrics);
        const QRect textRect = cell.adjusted(inset, 0, -inset, 0);
        painter->setPen(pal.color(QPalette::ButtonText));
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          metrics.elidedText(text, Qt::ElideRight, std::max(textRect.width(), 0)));
        // A sunken box: shadow over face outside, dark shadow over highlight one pixel in.
        Draw3dRect(painter, cell, pal.color(QPalette::Dark), pal.color(QPalette::Button));
        Draw3dRect(painter, cell.adjusted(1, 1, -1, -1), pal.color(QPalette::Shadow), pal.color(QPalette::Light));
    } else {
        painter->fillRect(cell, Qt::white);
        const int inset = PlainInset(metrics);
        const QRect textRect = cell.adjusted(inset, 0, -inset, 0);
        const auto align = index.data(Qt::TextAlignmentRole).value<Qt::Alignment>();
        painter->setPen(Qt::black);
        painter->drawText(textRect, static_cast<int>(align) | Qt::TextSingleLine,
                          metrics.elidedText(text, Qt::ElideRight, std::max(textRect.width(), 0)));
    }
    m_list->NoteShown(index.row(), index.column(), std::move(shown));
    painter->restore();
}
