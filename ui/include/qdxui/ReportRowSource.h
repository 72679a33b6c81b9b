// CReportRowSource: where a report list's cells come from when the list holds none itself (the
// platform's owner-data list). The list asks only for the cells it draws or reports, so a list
// of thousands of rows costs no more per refresh than the rows in view.
//
//   class Totals : public CReportRowSource {
//       void GetCellText(int row, int column, CTxt& text) const override { text.Format("%d", row + 1); }
//   };
//   list.SetRowSource(&totals);
//   list.SetItemCount(32769);
//   ... the totals change:
//   list.RedrawItems(0, 32768);      // only changed cells in view are repainted
#pragma once

#include <qdx/Txt.h>

class CReportRowSource {
public:
    virtual ~CReportRowSource() = default;

    // The text of the cell at `row` and `column` into `text` (empty for an empty cell).
    virtual void GetCellText(int row, int column, CTxt& text) const = 0;

    // The bar of `row` as it is to be shown: true with its position and caption (a non-empty
    // caption is shown instead of the percentage, an empty one hides the text); false when the
    // bar shows what SetBar gave it. Rows without a bar are never asked.
    virtual bool GetBarCell(int row, int& position, CTxt& caption) const
    {
        (void)row;
        (void)position;
        (void)caption;
        return false;
    }
};
