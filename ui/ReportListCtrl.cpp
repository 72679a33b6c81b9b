#include "ReportListCtrl.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <vector>

// --- the cell store --------------------------------------------------------------------------

// Rows of 8-bit cell texts under headed columns. Texts are kept as given and turned into Qt
// strings only when a cell is drawn, so rewriting many cells stays cheap.
class CReportListModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        if (role == Qt::DisplayRole)
            return QString::fromUtf8(Cell(index.row(), index.column()));
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Alignment(index.column()));
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
            return {};
        if (role == Qt::DisplayRole)
            return m_columns[static_cast<std::size_t>(section)].heading;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Alignment(section));
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    int InsertColumn(int column, const QString& heading, int format)
    {
        column = std::min(column, columnCount());
        beginInsertColumns(QModelIndex(), column, column);
        m_columns.insert(m_columns.begin() + column, Column{heading, format});
        for (auto& row : m_rows)
            row.insert(row.begin() + column, std::string());
        endInsertColumns();
        return column;
    }

    int InsertRow(int row, const char* text)
    {
        row = std::min(row, rowCount());
        beginInsertRows(QModelIndex(), row, row);
        std::vector<std::string> cells(m_columns.size());
        if (!cells.empty() && text)
            cells[0] = text;
        m_rows.insert(m_rows.begin() + row, std::move(cells));
        endInsertRows();
        return row;
    }

    void Clear()
    {
        beginResetModel();
        m_rows.clear();
        endResetModel();
    }

    bool SetCell(int row, int column, const char* text)
    {
        if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
            return false;
        std::string& cell = m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
        if (text == nullptr)
            text = "";
        if (cell != text) {
            cell = text;
            const QModelIndex at = index(row, column);
            emit dataChanged(at, at);
        }
        return true;
    }

    const std::string& Cell(int row, int column) const
    {
        static const std::string none;
        if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
            return none;
        return m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
    }

private:
    struct Column {
        QString heading;
        int format;
    };

    Qt::Alignment Alignment(int column) const
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

    std::vector<Column> m_columns;
    std::vector<std::vector<std::string>> m_rows;
};

// --- drawing the cells -----------------------------------------------------------------------

// Draws every cell black on white, and the current cell of the focused row as a sunken box.
class CReportCellDelegate : public QStyledItemDelegate {
public:
    explicit CReportCellDelegate(CReportListCtrl* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString text = index.data(Qt::DisplayRole).toString();
        const QRect cell = option.rect;
        const QFontMetrics metrics(option.font);
        painter->save();
        painter->setFont(option.font);
        if (m_list->IsCurrentCell(index.row(), index.column())) {
            const QPalette& pal = m_list->palette();
            painter->fillRect(cell, pal.color(QPalette::Button));
            // The text starts two blanks in from either side, left-aligned, cut with an ellipsis.
            const int inset = 2 * metrics.horizontalAdvance(QLatin1Char(' '));
            const QRect textRect = cell.adjusted(inset, 0, -inset, 0);
            painter->setPen(pal.color(QPalette::ButtonText));
            painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                              metrics.elidedText(text, Qt::ElideRight, std::max(textRect.width(), 0)));
            // A sunken box: shadow over face outside, dark shadow over highlight one pixel in.
            Draw3dRect(painter, cell, pal.color(QPalette::Dark), pal.color(QPalette::Button));
            Draw3dRect(painter, cell.adjusted(1, 1, -1, -1), pal.color(QPalette::Shadow), pal.color(QPalette::Light));
        } else {
            painter->fillRect(cell, Qt::white);
            const int margin = metrics.horizontalAdvance(QLatin1Char(' ')) + 2;
            const QRect textRect = cell.adjusted(margin, 0, -margin, 0);
            const auto align = index.data(Qt::TextAlignmentRole).value<Qt::Alignment>();
            painter->setPen(Qt::black);
            painter->drawText(textRect, static_cast<int>(align) | Qt::TextSingleLine,
                              metrics.elidedText(text, Qt::ElideRight, std::max(textRect.width(), 0)));
        }
        painter->restore();
    }

private:
    // A one-pixel frame: top and left in `topLeft`, bottom and right in `bottomRight`.
    static void Draw3dRect(QPainter* painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight)
    {
        if (r.width() <= 0 || r.height() <= 0)
            return;
        painter->fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
        painter->fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), topLeft);
        painter->fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
        painter->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
    }

    CReportListCtrl* m_list;
};

// --- the list --------------------------------------------------------------------------------

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

    // Bars follow their cells wherever the cells go.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { LayoutBars(); });
    connect(horizontalHeader(), &QHeaderView::sectionMoved, this, [this] { LayoutBars(); });
    connect(verticalHeader(), &QHeaderView::sectionResized, this, [this] { LayoutBars(); });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] { LayoutBars(); });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { LayoutBars(); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { LayoutBars(); });
    connect(m_model, &QAbstractItemModel::columnsInserted, this, [this] { LayoutBars(); });

    // Scrolling with the scroll bars takes the keyboard focus, so the keys work at once.
    const auto takeFocus = [this] {
        if (!hasFocus())
            setFocus(Qt::OtherFocusReason);
    };
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this, takeFocus);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, takeFocus);
}

CReportListCtrl::~CReportListCtrl()
{
    DeleteBars();
}

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
    if (n == m_Bars.GetSize())
        return 0;
    DeleteBars();
    if (n == 0)
        return 0;
    m_nBarColumn = column;
    if (m_Bars.SetSize(n) != 0)
        return 0;  // no room for the slots: the list goes without bars
    for (int i = 0; i < n; ++i) {
        auto* bar = new CPercentBarCtrl(viewport());
        // The bars lie over their cells; clicks and tooltips belong to the list underneath.
        bar->setAttribute(Qt::WA_TransparentForMouseEvents);
        bar->Create(PBS_SMOOTH, visualRect(m_model->index(i, column)), viewport(), 1);
        bar->hide();
        bar->SetBarColour(barColour);
        bar->SetBgColour(bgColour);
        bar->SetTextColour(textColour);
        // The 16-bit range message cannot carry ranges beyond 65535 (they would wrap into a
        // smaller range and the bar would overflow); those go through the 32-bit one.
        if (range >= 0 && range <= 0xFFFF)
            bar->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<unsigned>(range)));
        else
            bar->SendMessage(PBM_SETRANGE32, 0, range);
        bar->SendMessage(PBM_SETPOS, static_cast<WPARAM>(range / 2));
        bar->SendMessage(PBM_SETSTEP, 1);
        m_Bars.Add(bar);
    }
    m_nBarsFirst = 0;
    m_nBarsLast = -1;
    LayoutBars();
    return 0;
}

CPercentBarCtrl* CReportListCtrl::GetBar(int row) const
{
    if (row < 0 || row >= m_Bars.GetSize())
        return nullptr;
    return static_cast<CPercentBarCtrl*>(m_Bars.GetAt(row));
}

int CReportListCtrl::SetBar(int row, int position, const char* caption)
{
    if (row < 0 || row >= m_Bars.GetSize())
        return -1;
    CPercentBarCtrl* bar = GetBar(row);
    if (bar == nullptr)
        return -2;
    bar->SendMessage(PBM_SETPOS, static_cast<WPARAM>(position));
    if (caption == nullptr)
        return 0;
    if (*caption) {
        bar->SetShowText(1);
        bar->SetWindowText(caption);
    } else {
        bar->SetShowText(0);
    }
    return 0;
}

void CReportListCtrl::DeleteBar(int row)
{
    CPercentBarCtrl* bar = GetBar(row);
    if (bar == nullptr)
        return;
    m_Bars.SetAt(row, nullptr);
    delete bar;
}

void CReportListCtrl::DeleteBars()
{
    // Front to back: each bar leaves its parent's child list from the front, which is cheap.
    for (int i = 0; i < m_Bars.GetSize(); ++i)
        delete static_cast<CPercentBarCtrl*>(m_Bars.GetAt(i));
    m_Bars.RemoveAll();
    m_nBarColumn = -1;
    m_nBarsFirst = 0;
    m_nBarsLast = -1;
}

void CReportListCtrl::HideAllBars()
{
    for (int i = std::max(m_nBarsFirst, 0); i <= m_nBarsLast && i < m_Bars.GetSize(); ++i)
        if (CPercentBarCtrl* bar = GetBar(i))
            bar->hide();
    m_nBarsFirst = 0;
    m_nBarsLast = -1;
}

void CReportListCtrl::LayoutBars()
{
    if (m_Bars.GetSize() == 0)
        return;
    const int rows = std::min(GetItemCount(), m_Bars.GetSize());
    if (rows == 0 || m_nBarColumn < 0 || m_nBarColumn >= GetColumnCount() || isColumnHidden(m_nBarColumn)) {
        HideAllBars();
        return;
    }
    // Only the rows in view get a placed, visible bar; the others stay hidden, so that a list of
    // thousands of rows scrolls as fast as a short one.
    const int height = viewport()->height();
    const int first = rowAt(0);
    if (height <= 0 || first < 0 || first >= rows) {
        HideAllBars();
        return;
    }
    int last = rowAt(height - 1);
    if (last < 0 || last >= rows)
        last = rows - 1;  // the rows end above the bottom edge
    for (int i = std::max(m_nBarsFirst, 0); i <= m_nBarsLast && i < m_Bars.GetSize(); ++i)
        if (i < first || i > last)
            if (CPercentBarCtrl* bar = GetBar(i))
                bar->hide();
    for (int i = first; i <= last; ++i) {
        if (CPercentBarCtrl* bar = GetBar(i)) {
            const QRect cell = visualRect(m_model->index(i, m_nBarColumn));
            if (bar->geometry() != cell)
                bar->setGeometry(cell);
            if (bar->isHidden())
                bar->show();
        }
    }
    m_nBarsFirst = first;
    m_nBarsLast = last;
}

void CReportListCtrl::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    LayoutBars();
}

void CReportListCtrl::updateGeometries()
{
    QTableView::updateGeometries();
    LayoutBars();
}

void CReportListCtrl::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    LayoutBars();
}

void CReportListCtrl::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        FitRowHeight();
        LayoutBars();
    }
}

void CReportListCtrl::FitRowHeight()
{
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 4);
}

// --- columns, rows and texts -----------------------------------------------------------------

int CReportListCtrl::InsertColumn(int column, const char* heading, int format, int width)
{
    if (column < 0)
        return -1;
    column = m_model->InsertColumn(column, QString::fromUtf8(heading ? heading : ""), format);
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

int CReportListCtrl::GetItemCount() const { return m_model->rowCount(); }

void CReportListCtrl::DeleteAllItems()
{
    m_model->Clear();
    m_nCurRow = -1;
}

bool CReportListCtrl::SetItemText(int row, int column, const char* text)
{
    return m_model->SetCell(row, column, text);
}

std::string CReportListCtrl::GetItemText(int row, int column) const { return m_model->Cell(row, column); }

int CReportListCtrl::GetStringWidth(const char* text) const
{
    return QFontMetrics(font()).horizontalAdvance(QString::fromUtf8(text ? text : ""));
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

LRESULT CReportListCtrl::OnToolTipText(NMTTDISPINFOA* info) const
{
    int row;
    int column;
    CellOfTool(info->hdr.idFrom, row, column);
    const std::string text = GetItemText(row, column);
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
    const std::wstring text = QString::fromUtf8(GetItemText(row, column)).toStdWString();
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
            QToolTip::showText(help->globalPos(), QString::fromUtf8(info.szText), viewport(), visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
    return QTableView::viewportEvent(event);
}
