// CReportListModel: the cells of a report list. Rows of 8-bit texts under headed columns, kept
// as given and turned into Qt strings only when a cell is drawn, or asked of a row source
// (CReportRowSource) when one is set; and one bar (CPercentBar) per row over one column.
#pragma once

#include <qdxui/PercentBar.h>
#include <qdxui/ReportRowSource.h>

#include <QAbstractTableModel>

#include <optional>
#include <string>
#include <vector>

class CReportListModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display: the cell's text. Alignment: the column's format. Tooltip and accessible text: the
    // cell's text, or for a bar cell showing text the bar's caption.
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // --- columns and rows -------------------------------------------------------------------

    // Inserts a column (appended beyond the end); returns its index.
    int InsertColumn(int column, const QString& heading, int format);
    // Inserts a row with `text` in column 0 (appended beyond the end); returns its index.
    int InsertRow(int row, const char* text);
    // Adds empty rows at the end or removes rows from the end, in one step.
    void SetRowCount(int rows);
    void Clear();

    // --- texts ----------------------------------------------------------------------------------

    // Stores a cell's text; false for a cell outside the list. A changed text repaints the cell.
    bool SetCell(int row, int column, const char* text);
    // The cell's text: the source's when one is set, otherwise the stored one; empty outside.
    std::string Cell(int row, int column) const;
    // Cells come from `source` (not owned) while it is set; null: the stored texts again.
    void SetSource(CReportRowSource* source);
    CReportRowSource* Source() const { return m_source; }
    // Tells the views that the cell changed.
    void CellChanged(int row, int column);

    // --- bars -----------------------------------------------------------------------------------

    // Drops every bar, then makes `count` bar slots over `column`, each holding a copy of `bar`.
    void MakeBars(int count, int column, const CPercentBar& bar);
    void DeleteBars();
    // Empties the slot of `row`; false when there was no bar.
    bool DeleteBar(int row);
    int BarCount() const { return static_cast<int>(m_bars.size()); }
    int BarColumn() const { return m_barColumn; }
    // The stored bar of `row`; null for a row without a slot or a deleted bar.
    CPercentBar* Bar(int row);
    const CPercentBar* Bar(int row) const;
    // The bar of `row` as drawn: the stored one with the source's position and caption applied.
    std::optional<CPercentBar> ShownBar(int row) const;
    // Whether the cell at `row` and `column` is covered by a bar.
    bool IsBarCell(int row, int column) const;

    // --- text format ----------------------------------------------------------------------------

    Qt::Alignment Alignment(int column) const;

private:
    struct Column {
        QString heading;
        int format;
    };

    std::vector<Column> m_columns;
    // A row's cells; a row shorter than the columns has empty texts in the rest, so empty
    // rows cost no storage.
    std::vector<std::vector<std::string>> m_rows;
    CReportRowSource* m_source = nullptr;
    std::vector<std::optional<CPercentBar>> m_bars;
    int m_barColumn = -1;
};
