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
// owner to edit the cell (LVN_BEGINLABELEDIT). Cell tooltips show the cell's text; over a bar,
// the bar's caption, which is also the cell's accessible text.
//
// Bar cells (CPercentBar) are drawn over their cells, so they follow the cells when the list
// scrolls or its columns are resized or moved; only the rows in view are drawn.
//
// A list of many rows can leave its cells with the owner (SetRowSource): the list then asks for
// the cells it draws, and RedrawItems repaints only the cells in view whose text or bar changed.
#pragma once

#include <qdxui/PercentBar.h>
#include <qdxui/ReportRowSource.h>
#include <qdxui/UiTypes.h>

#include <QTableView>

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class CReportListModel;

class CReportListCtrl : public QTableView {
    Q_OBJECT

public:
    // An empty list without columns, rows or bars; no current row or column.
    explicit CReportListCtrl(QWidget* parent = nullptr);
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
    // non-empty one is shown instead of the percentage; an empty one hides the text. The cell
    // is repainted only when the filled edge moves by a pixel or the text changes.
    // Returns 0, -1 for a row without a bar slot, -2 for a deleted bar.
    int SetBar(int row, int position, const char* caption);
    // Deletes the bar of `row` and leaves its slot empty; invalid rows and empty slots are ignored.
    void DeleteBar(int row);
    // Deletes every bar and all the slots.
    void DeleteBars();
    // The bar of `row` as SetBar left it, or null (no slot, or a deleted bar).
    const CPercentBar* GetBar(int row) const;
    // The bar of `row` as it is drawn (with a row source, as the source gives it); none for a
    // row without a bar.
    std::optional<CPercentBar> GetShownBar(int row) const;
    // The number of bar slots (deleted bars included).
    int GetBarCount() const;

    // --- columns, rows and cell texts --------------------------------------------------------

    // Inserts a column at `column` (appended when beyond the end) with its heading, format
    // (LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_CENTER) and width in pixels (-1: keep the default).
    // Returns the new column's index, -1 for a negative index.
    int InsertColumn(int column, const char* heading, int format = LVCFMT_LEFT, int width = -1);
    int GetColumnCount() const;
    // Width in pixels; false (and nothing changed) for an invalid column.
    bool SetColumnWidth(int column, int width);
    int GetColumnWidth(int column) const;
    // Widens `column` so that `text` shows in it uncut, plainly or as the current cell; never
    // narrows it. True when it grew.
    bool FitColumnToText(int column, const char* text);
    // `column` takes the width the other columns leave in view, never less than `minWidth`
    // (-1: no such column). Without it the columns keep the widths they were given.
    void SetFillColumn(int column, int minWidth);
    // The width of the whole list when every column shows in full and the fill column is
    // `fillWidth` wide, frame and vertical scroll bar (when the rows need one at `height`)
    // included.
    int WidthForColumns(int fillWidth, int height) const;
    // Inserts a row with `text` in column 0 (appended when beyond the end); returns its index,
    // -1 for a negative index.
    int InsertItem(int row, const char* text);
    // Adds empty rows at the end, or removes rows from the end, to have `rows` rows.
    void SetItemCount(int rows);
    int GetItemCount() const;
    // Removes every row (bar slots stay; their bars are hidden until rows come back).
    void DeleteAllItems();
    // Sets a cell's text; false for a cell outside the list. Setting the same text again does
    // not repaint anything.
    bool SetItemText(int row, int column, const char* text);
    // A cell's text (the row source's, when one is set); empty for a cell outside the list.
    std::string GetItemText(int row, int column) const;
    // Width in pixels of `text` in the list's font.
    int GetStringWidth(const char* text) const;

    // --- cells kept by the owner ----------------------------------------------------------

    // Cells come from `source` (not owned; it must outlive the list or be unset) instead of
    // SetItemText; bars where the source gives them. Null: the stored texts again.
    void SetRowSource(CReportRowSource* source);
    // The cells of rows `first` to `last` may have changed: repaints the cells in view whose
    // text, filled edge or caption differs from what they show.
    void RedrawItems(int first, int last);

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
    // column 0; otherwise row (id - 1) / 1024, column (id - 1) % 1024); its text (over a bar,
    // the caption) is copied into szText, cut to 79 characters. Returns 0.
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
    void SendNotify(NMHDR* header);
    // Row height that fits the current font.
    void FitRowHeight();
    // Gives the fill column the room the others leave; true when its width changed.
    bool FitFillColumn();
    // Whether the cell (row, logical column) is the current cell drawn as a box.
    bool IsCurrentCell(int row, int column) const;
    // What a cell shows, as a key to compare: its text, or a bar's filled edge and caption.
    std::string ShownKey(int row, int column) const;
    static std::string BarKey(const CPercentBar& bar, int width);
    // Records what a cell of a source row was drawn with (called by the delegate).
    void NoteShown(int row, int column, std::string key);
    // The tooltip text of a cell.
    std::string CellTip(int row, int column) const;

    int m_nCurCol = -1;
    int m_nCurRow = -1;
    unsigned short m_wOptions = 0;

    CReportListModel* m_model = nullptr;
    int m_nID = 0;
    int m_nFillColumn = -1;
    int m_nFillMin = 0;
    bool m_bFitting = false;
    // For a source: what the cells in view were drawn with, by row and column.
    std::unordered_map<int, std::vector<std::string>> m_shown;
};
