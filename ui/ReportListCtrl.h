// CReportListCtrl: a report list (rows of cells under a header) with a bar cell per row, a cell
// cursor and notifications to its owner.
//
//   CReportListCtrl list(dialog);
//   list.SetupReport(0);
//   list.InsertColumn(0, "Value", LVCFMT_RIGHT, list.GetStringWidth("Value") + 12);
//   list.InsertColumn(1, "", LVCFMT_RIGHT, 200);
//   for (int i = 0; i < 8; ++i)
//       list.InsertItem(i, "");
//   list.CreateBars(1, 1000, RGB(0, 0xB2, 0), RGB(0xFF, 0, 0), RGB(0xFF, 0xFF, 0));  // all at 500
//   list.SetBar(0, 750, "+12.34");
//   connect(&list, &CReportListCtrl::notification, ...);   // NM_CLICK, LVN_BEGINLABELEDIT
//
// The cell cursor is a current row and a current column (a display position: header sections
// can be dragged into another order). The user moves it with the mouse, Tab, the arrow keys and
// F2; the current cell of the focused row is drawn as a sunken box, every other cell black on
// white. A click sends the owner NM_CLICK; a second click in the same column, and F2, ask the
// owner to edit the cell (LVN_BEGINLABELEDIT). Cell tooltips show the cell's text.
//
// Bar cells (CPercentBarCtrl) lie over one column and follow their cells when the list scrolls
// or its columns are resized or moved; the list owns and deletes them.
#pragma once

#include "PercentBarCtrl.h"
#include "UiTypes.h"

#include <qdx/SPtrArray.h>

#include <QTableView>

#include <string>

class CReportListModel;

class CReportListCtrl : public QTableView {
    Q_OBJECT

public:
    // An empty list without columns, rows or bars; no current row or column.
    explicit CReportListCtrl(QWidget* parent = nullptr);
    // Deletes the remaining bar cells.
    ~CReportListCtrl() override;

    // The control id carried in notifications (0 until set).
    void SetDlgCtrlID(int id) { m_nID = id; }
    int GetDlgCtrlID() const { return m_nID; }

    // --- the report setup and the bar cells ----------------------------------------------

    // Stores the options word (no behaviour depends on it) and turns on full-row selection and
    // movable header sections. Returns 1.
    int SetupReport(unsigned short options);
    unsigned short GetOptions() const { return m_wOptions; }

    // One bar cell per existing row over `column`: range 0..`range` (any int, not only 16 bits),
    // at range / 2, step 1, in the given colours. When the number of bars already equals the
    // number of rows nothing changes, even with other colours; otherwise earlier bars are
    // deleted first. Returns 0.
    int CreateBars(int column, int range, COLORREF barColour, COLORREF bgColour, COLORREF textColour);
    // Moves the bar of `row` to `position`. A null caption leaves the bar's text as it is; a
    // non-empty one is shown instead of the percentage; an empty one hides the text.
    // Returns 0, -1 for a row without a bar slot, -2 for a deleted bar.
    int SetBar(int row, int position, const char* caption);
    // Deletes the bar of `row` and leaves its slot empty; invalid rows and empty slots are ignored.
    void DeleteBar(int row);
    // Deletes every bar and all the slots.
    void DeleteBars();
    // The bar of `row`, or null (no slot, or a deleted bar).
    CPercentBarCtrl* GetBar(int row) const;
    // The number of bar slots (deleted bars included).
    int GetBarCount() const { return m_Bars.GetSize(); }

    // --- columns, rows and cell texts --------------------------------------------------------

    // Inserts a column at `column` (appended when beyond the end) with its heading, format
    // (LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_CENTER) and width in pixels (-1: keep the default).
    // Returns the new column's index, -1 for a negative index.
    int InsertColumn(int column, const char* heading, int format = LVCFMT_LEFT, int width = -1);
    int GetColumnCount() const;
    // Width in pixels; false (and nothing changed) for an invalid column.
    bool SetColumnWidth(int column, int width);
    int GetColumnWidth(int column) const;
    // Inserts a row with `text` in column 0 (appended when beyond the end); returns its index,
    // -1 for a negative index.
    int InsertItem(int row, const char* text);
    int GetItemCount() const;
    // Removes every row (bar slots stay; their bars are hidden until rows come back).
    void DeleteAllItems();
    // Sets a cell's text; false for a cell outside the list. Setting the same text again does
    // not repaint anything.
    bool SetItemText(int row, int column, const char* text);
    // A cell's text; empty for a cell outside the list.
    std::string GetItemText(int row, int column) const;
    // Width in pixels of `text` in the list's font.
    int GetStringWidth(const char* text) const;

    // --- the cell cursor -----------------------------------------------------------------------

    // The current row and column (a display position); -1 for none.
    int GetCurRow() const { return m_nCurRow; }
    int GetCurCol() const { return m_nCurCol; }
    // The row that has the focus (where the box is drawn); -1 for none.
    int GetFocusedRow() const;

    // Scrolls horizontally so that `column` starts at the left edge, unless it is fully in
    // view already. Invalid indexes are ignored.
    void EnsureColumnVisible(int column);
    // The display position of `column`; -1 when there is no such column.
    int ColumnToPosition(int column) const;
    // Sends the owner LVN_BEGINLABELEDIT for the cell at `row` in the column shown at `position`.
    void NotifyBeginEdit(int row, int position);

    // --- tooltips --------------------------------------------------------------------------------

    // The tool id of a cell: row * 1024 + column + 1.
    static std::uintptr_t ToolId(int row, int column);
    // Answers a tooltip text request: the tool id in hdr.idFrom names the cell (0: row 0,
    // column 0; otherwise row (id - 1) / 1024, column (id - 1) % 1024); its text is copied into
    // szText, cut to 79 characters. Returns 0.
    LRESULT OnToolTipText(NMTTDISPINFOA* info) const;
    LRESULT OnToolTipText(NMTTDISPINFOW* info) const;

signals:
    // A notification for the owner; the record behind `header` (NMITEMACTIVATE for NM_CLICK,
    // NMLVDISPINFO for LVN_BEGINLABELEDIT) lives while the signal is delivered.
    void notification(const NMHDR* header);

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    friend class CReportCellDelegate;

    // Handles a key press; true when it is used up, false when the list should see it too.
    bool OnKeyDown(int key);
    // Redraws the whole line of `row`.
    void UpdateRow(int row);
    // Places the bars of the rows in view over their cells and hides the others.
    void LayoutBars();
    void HideAllBars();
    void SendNotify(NMHDR* header);
    // Row height that fits the current font.
    void FitRowHeight();
    // Whether the cell (row, logical column) is the current cell drawn as a box.
    bool IsCurrentCell(int row, int column) const;

    int m_nCurCol = -1;
    int m_nCurRow = -1;
    SPtrArray m_Bars;           // CPercentBarCtrl* per row, null after DeleteBar; owned
    unsigned short m_wOptions = 0;

    CReportListModel* m_model = nullptr;
    int m_nID = 0;
    int m_nBarColumn = -1;      // the column the bars lie over
    int m_nBarsFirst = 0;       // rows whose bars LayoutBars showed last time
    int m_nBarsLast = -1;
};
