#include "ReportListModel.h"

#include <qdxui/QtText.h>
#include <qdxui/UiTypes.h>

#include <algorithm>

int CReportListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CReportListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant CReportListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return QStringFromTxt(Cell(index.row(), index.column()).c_str());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Alignment(index.column()));
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        if (IsBarCell(index.row(), index.column())) {
            // A bar covers its cell: its caption is what the reader sees there.
            const std::optional<CPercentBar> bar = ShownBar(index.row());
            if (bar && bar->GetShowText())
                return QStringFromTxt(bar->DisplayText().c_str());
        }
        return QStringFromTxt(Cell(index.row(), index.column()).c_str());
    default:
        return {};
    }
}

QVariant CReportListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns[static_cast<std::size_t>(section)].heading;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Alignment(section));
    return {};
}

Qt::ItemFlags CReportListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

Qt::Alignment CReportListModel::Alignment(int column) const
{
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (column >= 0 && column < columnCount()) {
        const int format = m_columns[static_cast<std::size_t>(column)].format & 3;
        if (format == LVCFMT_RIGHT)
            horizontal = Qt::AlignRight;
        else if (format == LVCFMT_CENTER)
            horizontal = Qt::AlignHCenter;
    }
    return horizontal | Qt::AlignVCenter;
}

int CReportListModel::InsertColumn(int column, const QString& heading, int format)
{
    column = std::min(column, columnCount());
    beginInsertColumns(QModelIndex(), column, column);
    m_columns.insert(m_columns.begin() + column, Column{heading, format});
    for (auto& row : m_rows)
        if (static_cast<int>(row.size()) > column)
            row.insert(row.begin() + column, std::string());
    if (m_barColumn >= column)
        ++m_barColumn;
    endInsertColumns();
    return column;
}

int CReportListModel::InsertRow(int row, const char* text)
{
    row = std::min(row, rowCount());
    beginInsertRows(QModelIndex(), row, row);
    std::vector<std::string> cells;
    if (!m_columns.empty() && text && *text)
        cells.emplace_back(text);
    m_rows.insert(m_rows.begin() + row, std::move(cells));
    endInsertRows();
    return row;
}

void CReportListModel::SetRowCount(int rows)
{
    rows = std::max(rows, 0);
    const int now = rowCount();
    if (rows > now) {
        beginInsertRows(QModelIndex(), now, rows - 1);
        m_rows.resize(static_cast<std::size_t>(rows));
        endInsertRows();
    } else if (rows < now) {
        beginRemoveRows(QModelIndex(), rows, now - 1);
        m_rows.resize(static_cast<std::size_t>(rows));
        endRemoveRows();
    }
}

void CReportListModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

bool CReportListModel::SetCell(int row, int column, const char* text)
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return false;
    if (text == nullptr)
        text = "";
    std::vector<std::string>& cells = m_rows[static_cast<std::size_t>(row)];
    const auto at = static_cast<std::size_t>(column);
    if (at >= cells.size()) {
        if (*text == '\0')
            return true;  // already empty
        cells.resize(at + 1);
    }
    if (cells[at] != text) {
        cells[at] = text;
        if (!m_source)
            CellChanged(row, column);
    }
    return true;
}

std::string CReportListModel::Cell(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return std::string();
    if (m_source) {
        CTxt text;
        m_source->GetCellText(row, column, text);
        return std::string(static_cast<const char*>(text));
    }
    const std::vector<std::string>& cells = m_rows[static_cast<std::size_t>(row)];
    const auto at = static_cast<std::size_t>(column);
    return at < cells.size() ? cells[at] : std::string();
}

void CReportListModel::SetSource(CReportRowSource* source)
{
    beginResetModel();
    m_source = source;
    endResetModel();
}

void CReportListModel::CellChanged(int row, int column)
{
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at);
}

void CReportListModel::MakeBars(int count, int column, const CPercentBar& bar)
{
    m_bars.assign(static_cast<std::size_t>(std::max(count, 0)), bar);
    m_barColumn = column;
}

void CReportListModel::DeleteBars()
{
    m_bars.clear();
    m_barColumn = -1;
}

bool CReportListModel::DeleteBar(int row)
{
    if (!Bar(row))
        return false;
    m_bars[static_cast<std::size_t>(row)].reset();
    return true;
}

CPercentBar* CReportListModel::Bar(int row)
{
    if (row < 0 || row >= BarCount() || !m_bars[static_cast<std::size_t>(row)])
        return nullptr;
    return &*m_bars[static_cast<std::size_t>(row)];
}

const CPercentBar* CReportListModel::Bar(int row) const
{
    return const_cast<CReportListModel*>(this)->Bar(row);
}

std::optional<CPercentBar> CReportListModel::ShownBar(int row) const
{
    const CPercentBar* stored = Bar(row);
    if (!stored)
        return std::nullopt;
    CPercentBar bar = *stored;
    int position = 0;
    CTxt caption;
    if (m_source && row < rowCount() && m_source->GetBarCell(row, position, caption)) {
        bar.SetPos(position, 0, nullptr);
        bar.SetShowText(caption.IsEmpty() ? 0 : 1);
        bar.SetText(caption);
    }
    return bar;
}

bool CReportListModel::IsBarCell(int row, int column) const
{
    return column == m_barColumn && Bar(row) != nullptr;
}
