#include <qdxui/ReportListCtrl.h>

#include "ReportCellDelegate.h"
#include "ReportListModel.h"

#include <qdxui/QtText.h>

#include <QFocusEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>

CReportListCtrl::CReportListCtrl(QWidget* parent) : QTableView(parent), m_model(new CReportListModel(this))
{
    setModel(m_model);
    setItemDelegate(new CReportCellDelegate(this));
    setShowGrid(false);
    setWordWrap(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FitRowHeight();

    // The fill column gives way when another column changes its width.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column) {
        if (column != m_nFillColumn)
            FitFillColumn();
    });

    // Scrolling with the scroll bars takes the keyboard focus, so the keys work at once.
    const auto takeFocus = [this] {
        if (!hasFocus())
            setFocus(Qt::OtherFocusReason);
    };
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this, takeFocus);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, takeFocus);
}

CReportListCtrl::~CReportListCtrl() = default;

int CReportListCtrl::SetupReport(unsigned short options)
{
    m_wOptions = options;
    setSelectionBehavior(QAbstractItemView::SelectRows);
    horizontalHeader()->setSectionsMovable(true);
    return 1;
}

// --- bars ------------------------------------------------------------------------------------

int CReportListCtrl::CreateBars(int column, int range, COLORREF barColour, COLORREF bgColour, COLORREF textColour)
{
    const int n = GetItemCount();
    if (n == GetBarCount())
        return 0;
    DeleteBars();
    if (n == 0)
        return 0;
    // Every bar starts alike: one is made and copied into each row's slot.
    CPercentBar bar;
    bar.SetBarColour(barColour);
    bar.SetBgColour(bgColour);
    bar.SetTextColour(textColour);
    bar.SetRange(0, range);
    bar.SetPos(range / 2, GetColumnWidth(column), nullptr);
    bar.SetStep(1);
    m_model->MakeBars(n, column, bar);
    viewport()->update();
    return 0;
}

const CPercentBar* CReportListCtrl::GetBar(int row) const { return m_model->Bar(row); }

std::optional<CPercentBar> CReportListCtrl::GetShownBar(int row) const { return m_model->ShownBar(row); }

int CReportListCtrl::GetBarCount() const { return m_model->BarCount(); }

int CReportListCtrl::SetBar(int row, int position, const char* caption)
{
    if (row < 0 || row >= GetBarCount())
        return -1;
    CPercentBar* bar = m_model->Bar(row);
    if (bar == nullptr)
        return -2;
    bool changed = false;
    bar->SetPos(position, GetColumnWidth(m_model->BarColumn()), &changed);
    if (caption != nullptr) {
        if (*caption) {
            changed = bar->SetShowText(1) || changed;
            changed = bar->SetText(caption) || changed;
        } else {
            changed = bar->SetShowText(0) || changed;
        }
    }
    if (changed && row < GetItemCount())
        m_model->CellChanged(row, m_model->BarColumn());
    return 0;
}

void CReportListCtrl::DeleteBar(int row)
{
    const int column = m_model->BarColumn();
    if (m_model->DeleteBar(row) && row < GetItemCount())
        m_model->CellChanged(row, column);
}

void CReportListCtrl::DeleteBars()
{
    m_model->DeleteBars();
    viewport()->update();
}

// --- layout ----------------------------------------------------------------------------------

void CReportListCtrl::updateGeometries()
{
    QTableView::updateGeometries();
    // A new fill width changes the scroll ranges just computed.
    if (FitFillColumn())
        QTableView::updateGeometries();
}

void CReportListCtrl::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    FitFillColumn();
}

void CReportListCtrl::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        FitRowHeight();
}

void CReportListCtrl::FitRowHeight()
{
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 4);
}

void CReportListCtrl::SetFillColumn(int column, int minWidth)
{
    m_nFillColumn = column;
    m_nFillMin = std::max(minWidth, 0);
    FitFillColumn();
}

bool CReportListCtrl::FitFillColumn()
{
    if (m_bFitting || m_nFillColumn < 0 || m_nFillColumn >= GetColumnCount())
        return false;
    int others = 0;
    for (int column = 0; column < GetColumnCount(); ++column)
        if (column != m_nFillColumn && !isColumnHidden(column))
            others += columnWidth(column);
    const int width = std::max(m_nFillMin, viewport()->width() - others);
    if (width != columnWidth(m_nFillColumn)) {
        m_bFitting = true;
        setColumnWidth(m_nFillColumn, width);
        m_bFitting = false;
        return true;
    }
    return false;
}

int CReportListCtrl::WidthForColumns(int fillWidth, int height) const
{
    int width = 2 * frameWidth();
    for (int column = 0; column < GetColumnCount(); ++column)
        if (!isColumnHidden(column))
            width += column == m_nFillColumn ? fillWidth : columnWidth(column);
    const int header = horizontalHeader()->isHidden() ? 0 : horizontalHeader()->sizeHint().height();
    const int rowsHeight = GetItemCount() * verticalHeader()->defaultSectionSize();
    if (rowsHeight > height - 2 * frameWidth() - header)
        width += style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return width;
}

bool CReportListCtrl::FitColumnToText(int column, const char* text)
{
    if (column < 0 || column >= GetColumnCount())
        return false;
    const int needed = GetStringWidth(text) + CReportCellDelegate::TextMargins(font());
    if (needed <= columnWidth(column))
        return false;
    setColumnWidth(column, needed);
    return true;
}

// --- columns, rows and texts -----------------------------------------------------------------

int CReportListCtrl::InsertColumn(int column, const char* heading, int format, int width)
{
    if (column < 0)
        return -1;
    column = m_model->InsertColumn(column, QStringFromTxt(heading), format);
    if (width >= 0)
        setColumnWidth(column, width);
    return column;
}

int CReportListCtrl::GetColumnCount() const { return m_model->columnCount(); }

bool CReportListCtrl::SetColumnWidth(int column, int width)
{
    if (column < 0 || column >= GetColumnCount() || width < 0)
        return false;
    setColumnWidth(column, width);
    return true;
}

int CReportListCtrl::GetColumnWidth(int column) const
{
    return column >= 0 && column < GetColumnCount() ? columnWidth(column) : 0;
}

int CReportListCtrl::InsertItem(int row, const char* text)
{
    if (row < 0)
        return -1;
    return m_model->InsertRow(row, text);
}

void CReportListCtrl::SetItemCount(int rows)
{
    m_model->SetRowCount(rows);
    if (m_nCurRow >= GetItemCount())
        m_nCurRow = GetItemCount() - 1;
}

int CReportListCtrl::GetItemCount() const { return m_model->rowCount(); }

void CReportListCtrl::DeleteAllItems()
{
    m_model->Clear();
    m_nCurRow = -1;
    m_shown.clear();
}

bool CReportListCtrl::SetItemText(int row, int column, const char* text)
{
    return m_model->SetCell(row, column, text);
}

std::string CReportListCtrl::GetItemText(int row, int column) const { return m_model->Cell(row, column); }

int CReportListCtrl::GetStringWidth(const char* text) const
{
    return QFontMetrics(font()).horizontalAdvance(QStringFromTxt(text));
}

// --- cells kept by the owner -----------------------------------------------------------------

void CReportListCtrl::SetRowSource(CReportRowSource* source)
{
    m_shown.clear();
    m_model->SetSource(source);
}

std::string CReportListCtrl::BarKey(const CPercentBar& bar, int width)
{
    std::string key = std::to_string(CPercentBar::FilledExtent(bar.Fraction(), width));
    key += '\n';
    if (bar.GetShowText())
        key += bar.DisplayText();
    return key;
}

std::string CReportListCtrl::ShownKey(int row, int column) const
{
    if (!m_model->IsBarCell(row, column))
        return m_model->Cell(row, column);
    return BarKey(*m_model->ShownBar(row), columnWidth(column));
}

void CReportListCtrl::NoteShown(int row, int column, std::string key)
{
    if (m_model->Source() == nullptr)
        return;
    std::vector<std::string>& shown = m_shown[row];
    shown.resize(static_cast<std::size_t>(GetColumnCount()));
    shown[static_cast<std::size_t>(column)] = std::move(key);
}

void CReportListCtrl::RedrawItems(int first, int last)
{
    const int rows = GetItemCount();
    const int top = rowAt(0);
    if (m_model->Source() == nullptr || rows == 0 || top < 0)
        return;
    int bottom = rowAt(viewport()->height() - 1);
    if (bottom < 0)
        bottom = rows - 1;  // the rows end above the bottom edge
    // What rows out of view showed no longer matters: they are drawn afresh when they return.
    for (auto it = m_shown.begin(); it != m_shown.end();)
        it = it->first < top || it->first > bottom ? m_shown.erase(it) : std::next(it);
    for (int row = std::max(first, top); row <= std::min(last, bottom); ++row) {
        const auto shown = m_shown.find(row);
        for (int column = 0; column < GetColumnCount(); ++column) {
            if (isColumnHidden(column))
                continue;
            const bool known = shown != m_shown.end() && static_cast<std::size_t>(column) < shown->second.size();
            if (!known || shown->second[static_cast<std::size_t>(column)] != ShownKey(row, column))
                m_model->CellChanged(row, column);
        }
    }
}

// --- the cell cursor -------------------------------------------------------------------------

int CReportListCtrl::GetFocusedRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

int CReportListCtrl::ColumnToPosition(int column) const
{
    if (column < 0 || column >= GetColumnCount())
        return -1;
    return horizontalHeader()->visualIndex(column);
}

bool CReportListCtrl::IsCurrentCell(int row, int column) const
{
    return m_nCurCol >= 0 && row == GetFocusedRow() && column == horizontalHeader()->logicalIndex(m_nCurCol);
}

void CReportListCtrl::EnsureColumnVisible(int column)
{
    if (column < 0 || column >= GetColumnCount())
        return;
    const int left = horizontalHeader()->sectionPosition(column);  // widths of the columns before it
    const int width = columnWidth(column);
    const int offset = -horizontalScrollBar()->value();             // row 0's left edge
    if (left + offset < 0 || left + offset + width > viewport()->width())
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + left + offset);
}

void CReportListCtrl::UpdateRow(int row)
{
    if (row < 0 || row >= GetItemCount())
        return;
    viewport()->update(QRect(0, rowViewportPosition(row), viewport()->width(), rowHeight(row)));
}

void CReportListCtrl::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    // The box moves with the focused row, whichever cell of it Qt thinks is current.
    if (previous.isValid())
        UpdateRow(previous.row());
    if (current.isValid())
        UpdateRow(current.row());
}

void CReportListCtrl::focusInEvent(QFocusEvent* event)
{
    // Qt makes the first row current when a list without a current row gets the focus from
    // the keyboard. The cell cursor starts on no row, so the focus stays on none as well: the
    // first Down then lands both on row 0.
    const bool hadCurrent = currentIndex().isValid();
    QTableView::focusInEvent(event);
    if (!hadCurrent && currentIndex().isValid())
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

bool CReportListCtrl::event(QEvent* event)
{
    // Keys are taken here, before the focus chain sees Tab and before the table moves its own
    // current cell with the arrows.
    if (event->type() == QEvent::KeyPress && OnKeyDown(static_cast<QKeyEvent*>(event)->key()))
        return true;
    return QTableView::event(event);
}

bool CReportListCtrl::OnKeyDown(int key)
{
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Right: {
        const int last = GetColumnCount() - 1;
        if (m_nCurCol + 1 > last) {
            m_nCurCol = last;
            return true;
        }
        ++m_nCurCol;
        EnsureColumnVisible(horizontalHeader()->logicalIndex(m_nCurCol));
        UpdateRow(GetFocusedRow());
        return true;
    }
    case Qt::Key_Left:
        if (m_nCurCol - 1 < -1) {
            m_nCurCol = -1;
            return true;
        }
        --m_nCurCol;
        EnsureColumnVisible(horizontalHeader()->logicalIndex(m_nCurCol));
        UpdateRow(GetFocusedRow());
        return true;
    case Qt::Key_Up:
        if (m_nCurRow > 0)
            --m_nCurRow;
        return false;
    case Qt::Key_Down:
        m_nCurRow = std::min(m_nCurRow + 1, GetItemCount() - 1);
        return false;
    case Qt::Key_F2:
        // The cell the box stands on: the focused row at the current column.
        if (m_nCurCol >= 0 && GetFocusedRow() >= 0)
            NotifyBeginEdit(GetFocusedRow(), m_nCurCol);
        return false;
    default:
        return false;
    }
}

void CReportListCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QTableView::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    const int row = rowAt(at.y());
    const int subItem = row >= 0 ? columnAt(at.x()) : -1;
    // Every column of a row is text (no icons), so a hit on column 0 is a hit on its label.
    const bool onLabel = row >= 0 && subItem == 0;

    const int previousCol = m_nCurCol;
    m_nCurCol = ColumnToPosition(subItem);
    EnsureColumnVisible(horizontalHeader()->logicalIndex(m_nCurCol));
    m_nCurRow = row;

    QTableView::mousePressEvent(event);

    NMITEMACTIVATE click{};
    click.hdr.code = NM_CLICK;
    SendNotify(&click.hdr);

    if (m_nCurCol != -1 && m_nCurCol == previousCol && (subItem != 0 || onLabel))
        NotifyBeginEdit(row, ColumnToPosition(subItem));
}

void CReportListCtrl::SendNotify(NMHDR* header)
{
    header->hwndFrom = this;
    header->idFrom = static_cast<std::uintptr_t>(m_nID);
    emit notification(header);
}

void CReportListCtrl::NotifyBeginEdit(int row, int position)
{
    const int column = horizontalHeader()->logicalIndex(position);
    std::string text = GetItemText(row, column);
    NMLVDISPINFO info{};
    info.hdr.code = LVN_BEGINLABELEDIT;
    info.item.mask = LVIF_TEXT;
    info.item.iItem = row;
    info.item.iSubItem = column;
    info.item.pszText = text.data();
    info.item.cchTextMax = static_cast<int>(text.size());
    SendNotify(&info.hdr);
}

// --- tooltips --------------------------------------------------------------------------------

std::uintptr_t CReportListCtrl::ToolId(int row, int column)
{
    return static_cast<std::uintptr_t>(row) * 1024 + static_cast<std::uintptr_t>(column) + 1;
}

namespace {

// The cell a tool id names.
void CellOfTool(std::uintptr_t id, int& row, int& column)
{
    row = 0;
    column = 0;
    if (id != 0) {
        // Ids beyond any real cell name no cell: the text is then empty.
        const std::uintptr_t r = (id - 1) / 1024;
        row = r > static_cast<std::uintptr_t>(INT32_MAX) ? -1 : static_cast<int>(r);
        column = static_cast<int>((id - 1) % 1024);
    }
}

}  // namespace

std::string CReportListCtrl::CellTip(int row, int column) const
{
    if (row < 0 || row >= GetItemCount() || column < 0 || column >= GetColumnCount())
        return std::string();
    return TxtFromQString(m_model->index(row, column).data(Qt::ToolTipRole).toString()).toStdString();
}

LRESULT CReportListCtrl::OnToolTipText(NMTTDISPINFOA* info) const
{
    int row;
    int column;
    CellOfTool(info->hdr.idFrom, row, column);
    const std::string text = CellTip(row, column);
    const std::size_t n = std::min(text.size(), sizeof info->szText - 1);
    std::memcpy(info->szText, text.data(), n);
    info->szText[n] = '\0';
    return 0;
}

LRESULT CReportListCtrl::OnToolTipText(NMTTDISPINFOW* info) const
{
    int row;
    int column;
    CellOfTool(info->hdr.idFrom, row, column);
    const std::wstring text = QStringFromTxt(CellTip(row, column).c_str()).toStdWString();
    const std::size_t capacity = sizeof info->szText / sizeof info->szText[0];
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::wmemcpy(info->szText, text.data(), n);
    info->szText[n] = L'\0';
    return 0;
}

bool CReportListCtrl::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        NMTTDISPINFOA info{};
        if (index.isValid()) {
            info.hdr.idFrom = ToolId(index.row(), index.column());
            OnToolTipText(&info);
        }
        if (info.szText[0])
            QToolTip::showText(help->globalPos(), QStringFromTxt(info.szText), viewport(), visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
    return QTableView::viewportEvent(event);
}
