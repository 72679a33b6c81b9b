// CReportCellDelegate: draws the cells of a report list. Every cell black on white, the current
// cell of the focused row as a sunken box, and a cell with a bar as that bar.
#pragma once

#include <QStyledItemDelegate>

class CReportListCtrl;

class CReportCellDelegate : public QStyledItemDelegate {
public:
    explicit CReportCellDelegate(CReportListCtrl* list);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Pixels a cell needs beside its text in `font` so the text is never cut, drawn plainly or
    // as the current cell's box.
    static int TextMargins(const QFont& font);

private:
    CReportListCtrl* m_list;
};
