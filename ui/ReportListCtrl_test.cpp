#include <qdxui/ReportListCtrl.h>
#include <qdxtest/TestApp.h>

#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr COLORREF kGreen = RGB(0x00, 0xB2, 0x00);
constexpr COLORREF kRed = RGB(0xFF, 0x00, 0x00);
constexpr COLORREF kYellow = RGB(0xFF, 0xFF, 0x00);

QRgb Rgb(COLORREF c) { return ColorFromRef(c).rgb(); }

// What the owner received: every notification with the parts the tests look at.
struct Received {
    unsigned code = 0;
    void* from = nullptr;
    std::uintptr_t id = 0;
    int row = -1;
    int column = -1;
    std::string text;
};

class ReportListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TestApp(); }

    // A list like the main window's: five right-aligned columns, `rows` rows of texts "r<i>c<j>",
    // bars over column 4. Shown, 420 x 240.
    void Build(int rows = 8)
    {
        list.SetDlgCtrlID(1000);
        list.SetupReport(0);
        const char* headings[] = {"Value", "Count", "Less", "More", ""};
        const char* samples[] = {"Value", "999999999999", "999.99", "999.99", "XXXXXXXXXXXXXXXXXXXXX"};
        for (int c = 0; c < 5; ++c)
            list.InsertColumn(c, headings[c], LVCFMT_RIGHT, list.GetStringWidth(samples[c]) + 12);
        for (int r = 0; r < rows; ++r) {
            list.InsertItem(r, "");
            for (int c = 0; c < 5; ++c)
                list.SetItemText(r, c, ("r" + std::to_string(r) + "c" + std::to_string(c)).c_str());
        }
        list.CreateBars(4, 1000, kGreen, kRed, kYellow);
        list.resize(420, 240);
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        QObject::connect(&list, &CReportListCtrl::notification, [this](const NMHDR* h) {
            Received r;
            r.code = h->code;
            r.from = h->hwndFrom;
            r.id = h->idFrom;
            if (h->code == LVN_BEGINLABELEDIT) {
                const auto* info = reinterpret_cast<const NMLVDISPINFO*>(h);
                r.row = info->item.iItem;
                r.column = info->item.iSubItem;
                r.text.assign(info->item.pszText, static_cast<std::size_t>(info->item.cchTextMax));
                EXPECT_EQ(info->item.mask, LVIF_TEXT);
            }
            received.push_back(r);
        });
    }

    int Count(unsigned code) const
    {
        int n = 0;
        for (const Received& r : received)
            n += r.code == code;
        return n;
    }

    QPoint CellCentre(int row, int column) const
    {
        return list.visualRect(list.model()->index(row, column)).center();
    }
    // Whether the horizontal scroll bar is, or soon becomes, hidden (it hides in a queued step).
    bool ScrollBarHides()
    {
        for (int i = 0; i < 100 && list.horizontalScrollBar()->isVisible(); ++i)
            QTest::qWait(10);
        return !list.horizontalScrollBar()->isVisible();
    }
    void Click(int row, int column) { QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, CellCentre(row, column)); }
    void Key(Qt::Key key) { QTest::keyClick(&list, key); }

    CReportListCtrl list;
    std::vector<Received> received;
};

TEST_F(ReportListTest, CreateBarsGivesEveryRowABarAtHalfRangeOnce)
{
    Build();
    ASSERT_EQ(list.GetBarCount(), 8);
    std::vector<const CPercentBar*> bars;
    for (int r = 0; r < 8; ++r) {
        const CPercentBar* bar = list.GetBar(r);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->GetPos(), 500);
        EXPECT_EQ(bar->GetRangeMin(), 0);
        EXPECT_EQ(bar->GetRangeMax(), 1000);
        EXPECT_EQ(bar->GetStep(), 1);
        EXPECT_EQ(bar->GetBarColour(), kGreen);
        EXPECT_EQ(bar->GetBgColour(), kRed);
        EXPECT_EQ(bar->GetTextColour(), kYellow);
        EXPECT_EQ(bar->DisplayText(), "50%");
        bars.push_back(bar);
    }

    // Same row count: nothing changes, not even the colours.
    EXPECT_EQ(list.CreateBars(2, 10, kRed, kGreen, kGreen), 0);
    for (int r = 0; r < 8; ++r)
        EXPECT_EQ(list.GetBar(r), bars[static_cast<std::size_t>(r)]);
    EXPECT_EQ(list.GetBar(0)->GetBarColour(), kGreen);

    // Another row count: the bars are made anew.
    list.InsertItem(8, "r8");
    EXPECT_EQ(list.CreateBars(4, 10, kRed, kGreen, kGreen), 0);
    EXPECT_EQ(list.GetBarCount(), 9);
    EXPECT_EQ(list.GetBar(8)->GetPos(), 5);
    EXPECT_EQ(list.GetBar(0)->GetBarColour(), kRed);

    // A range beyond 16 bits is kept whole: the bar is half filled, not past its end.
    list.InsertItem(9, "r9");
    list.CreateBars(4, 100000, kRed, kGreen, kGreen);
    EXPECT_EQ(list.GetBar(0)->GetRangeMax(), 100000);
    EXPECT_EQ(list.GetBar(0)->DisplayText(), "50%");

    list.DeleteAllItems();
    EXPECT_EQ(list.CreateBars(4, 10, kRed, kGreen, kGreen), 0);
    EXPECT_EQ(list.GetBarCount(), 0);
}

TEST_F(ReportListTest, SetBarAndDeleteBarReportMissingBars)
{
    Build();
    EXPECT_EQ(list.SetBar(-1, 100, "x"), -1);
    EXPECT_EQ(list.SetBar(8, 100, "x"), -1);

    list.DeleteBar(6);
    EXPECT_EQ(list.GetBar(6), nullptr);
    EXPECT_EQ(list.GetBarCount(), 8);
    EXPECT_EQ(list.SetBar(6, 100, "x"), -2);
    list.DeleteBar(6);    // an empty slot: nothing happens
    list.DeleteBar(-3);   // outside: nothing happens
    list.DeleteBar(99);

    // A caption replaces the percentage; null keeps it; empty hides the text.
    const CPercentBar* bar = list.GetBar(0);
    EXPECT_EQ(list.SetBar(0, 750, "12.34"), 0);
    EXPECT_EQ(bar->GetPos(), 750);
    EXPECT_EQ(bar->DisplayText(), "12.34");
    EXPECT_EQ(bar->GetShowText(), 1);
    EXPECT_EQ(list.SetBar(0, 600, nullptr), 0);
    EXPECT_EQ(bar->GetPos(), 600);
    EXPECT_EQ(bar->DisplayText(), "12.34");
    EXPECT_EQ(list.SetBar(7, 500, ""), 0);
    EXPECT_EQ(list.GetBar(7)->GetShowText(), 0);
    EXPECT_EQ(list.SetBar(0, 400, "-3.00"), 0);
    EXPECT_EQ(bar->GetShowText(), 1);
    EXPECT_EQ(bar->DisplayText(), "-3.00");

    list.DeleteBars();
    EXPECT_EQ(list.GetBarCount(), 0);
    EXPECT_EQ(list.SetBar(0, 1, "x"), -1);
}

TEST_F(ReportListTest, ArrowsAndTabMoveTheCellCursorWithinTheList)
{
    Build();
    EXPECT_EQ(list.GetCurCol(), -1);
    EXPECT_EQ(list.GetCurRow(), -1);
    list.setFocus();

    const int expected[] = {0, 1, 2, 3, 4, 4, 4};
    for (int want : expected) {
        Key(Qt::Key_Right);
        EXPECT_EQ(list.GetCurCol(), want);
    }
    Key(Qt::Key_Left);
    EXPECT_EQ(list.GetCurCol(), 3);
    Key(Qt::Key_Tab);
    EXPECT_EQ(list.GetCurCol(), 4);
    Key(Qt::Key_Tab);
    EXPECT_EQ(list.GetCurCol(), 4);
    EXPECT_TRUE(list.hasFocus());  // Tab stays in the list

    for (int i = 0; i < 4; ++i)
        Key(Qt::Key_Left);
    EXPECT_EQ(list.GetCurCol(), 0);
    Key(Qt::Key_Left);
    EXPECT_EQ(list.GetCurCol(), -1);
    Key(Qt::Key_Left);
    EXPECT_EQ(list.GetCurCol(), -1);

    // Down stops at the last row, Up at the first; the list moves its focus along.
    for (int i = 0; i < 12; ++i)
        Key(Qt::Key_Down);
    EXPECT_EQ(list.GetCurRow(), 7);
    EXPECT_EQ(list.GetFocusedRow(), 7);
    Key(Qt::Key_Up);
    EXPECT_EQ(list.GetCurRow(), 6);
    for (int i = 0; i < 12; ++i)
        Key(Qt::Key_Up);
    EXPECT_EQ(list.GetCurRow(), 0);
    EXPECT_EQ(list.GetFocusedRow(), 0);

    EXPECT_TRUE(received.empty());  // keys alone notify nobody

    // Scrolling with the scroll bar brings the keyboard focus back to the list.
    QLineEdit other(&list);
    other.show();
    other.setFocus();
    ASSERT_EQ(QApplication::focusWidget(), &other);
    list.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(QApplication::focusWidget(), &list);
}

TEST_F(ReportListTest, F2AsksToEditTheCurrentCellOnly)
{
    Build();
    list.setFocus();
    Key(Qt::Key_F2);  // no current column
    EXPECT_EQ(Count(LVN_BEGINLABELEDIT), 0);

    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    ASSERT_EQ(list.GetFocusedRow(), 1);
    ASSERT_EQ(list.GetCurCol(), 1);
    Key(Qt::Key_F2);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].code, LVN_BEGINLABELEDIT);
    EXPECT_EQ(received[0].row, 1);
    EXPECT_EQ(received[0].column, 1);
    EXPECT_EQ(received[0].text, "r1c1");
    EXPECT_EQ(received[0].from, &list);
    EXPECT_EQ(received[0].id, 1000u);
}

TEST_F(ReportListTest, SecondClickInTheSameColumnAsksToEdit)
{
    Build();
    Click(2, 1);
    EXPECT_EQ(list.GetCurRow(), 2);
    EXPECT_EQ(list.GetCurCol(), 1);
    EXPECT_EQ(list.GetFocusedRow(), 2);
    Click(5, 1);
    EXPECT_EQ(Count(NM_CLICK), 2);
    ASSERT_EQ(Count(LVN_BEGINLABELEDIT), 1);
    const Received& edit = received.back();
    EXPECT_EQ(edit.row, 5);
    EXPECT_EQ(edit.column, 1);
    EXPECT_EQ(edit.text, "r5c1");
    EXPECT_EQ(received.front().from, &list);
    EXPECT_EQ(received.front().id, 1000u);

    // Another column: a click only; the same one again: an edit request.
    Click(5, 2);
    EXPECT_EQ(Count(NM_CLICK), 3);
    EXPECT_EQ(Count(LVN_BEGINLABELEDIT), 1);
    Click(5, 2);
    EXPECT_EQ(Count(LVN_BEGINLABELEDIT), 2);

    // Column 0 is all label, so it edits too.
    Click(0, 0);
    Click(3, 0);
    EXPECT_EQ(Count(LVN_BEGINLABELEDIT), 3);
    EXPECT_EQ(received.back().row, 3);
    EXPECT_EQ(received.back().column, 0);

    // Below the last row: no cell, no current column, no edit request.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(5, list.viewport()->height() - 2));
    EXPECT_EQ(list.GetCurCol(), -1);
    EXPECT_EQ(list.GetCurRow(), -1);
    EXPECT_EQ(Count(NM_CLICK), 7);
    EXPECT_EQ(Count(LVN_BEGINLABELEDIT), 3);
}

TEST_F(ReportListTest, CurrentColumnIsADisplayPositionWhenColumnsAreMoved)
{
    Build();
    list.horizontalHeader()->moveSection(3, 0);  // order now 3 0 1 2 4
    EXPECT_EQ(list.ColumnToPosition(3), 0);
    EXPECT_EQ(list.ColumnToPosition(0), 1);
    EXPECT_EQ(list.ColumnToPosition(5), -1);
    EXPECT_EQ(list.ColumnToPosition(-1), -1);

    Click(4, 3);
    EXPECT_EQ(list.GetCurCol(), 0);
    Click(1, 3);
    ASSERT_EQ(Count(LVN_BEGINLABELEDIT), 1);
    EXPECT_EQ(received.back().column, 3);
    EXPECT_EQ(received.back().text, "r1c3");

    // The right arrow walks the display order: position 1 is column 0.
    list.setFocus();
    Key(Qt::Key_Right);
    EXPECT_EQ(list.GetCurCol(), 1);
    Key(Qt::Key_F2);
    EXPECT_EQ(received.back().column, 0);
    EXPECT_EQ(received.back().text, "r1c0");
}

TEST_F(ReportListTest, EnsureColumnVisibleScrollsOnlyWhenNeeded)
{
    Build();
    list.resize(200, 240);
    QApplication::processEvents();
    QScrollBar* bar = list.horizontalScrollBar();
    ASSERT_EQ(bar->value(), 0);

    list.EnsureColumnVisible(0);  // in view
    EXPECT_EQ(bar->value(), 0);
    list.EnsureColumnVisible(-1);
    list.EnsureColumnVisible(17);
    EXPECT_EQ(bar->value(), 0);

    list.EnsureColumnVisible(2);  // cut at the right edge: brought to the left edge
    EXPECT_EQ(bar->value(), list.horizontalHeader()->sectionPosition(2));
    list.EnsureColumnVisible(0);  // now left of the view
    EXPECT_EQ(bar->value(), 0);

    // Walking right with the keys keeps the current column in view.
    list.setFocus();
    for (int i = 0; i < 5; ++i)
        Key(Qt::Key_Right);
    EXPECT_EQ(list.GetCurCol(), 4);
    EXPECT_GT(bar->value(), 0);
    const QRect cell = list.visualRect(list.model()->index(0, 4));
    EXPECT_GE(cell.left(), 0);
    EXPECT_LT(cell.left(), list.viewport()->width());
}

TEST_F(ReportListTest, BarsAreDrawnOverTheirCellsWherever)
{
    Build(200);
    // A bar at 500 of 1000: green up to the middle of its cell, red after it.
    const auto expectBarAt = [&](int row) {
        const QImage image = list.viewport()->grab().toImage();
        const QRect cell = list.visualRect(list.model()->index(row, 4)).intersected(list.viewport()->rect());
        ASSERT_FALSE(cell.isEmpty()) << "row " << row;
        const QRect full = list.visualRect(list.model()->index(row, 4));
        const int middle = full.left() + full.width() / 2;
        if (middle - 2 >= cell.left()) {
            EXPECT_EQ(image.pixel(middle - 2, cell.top() + 1), Rgb(kGreen)) << "row " << row;
        }
        if (middle + 2 <= cell.right()) {
            EXPECT_EQ(image.pixel(middle + 2, cell.top() + 1), Rgb(kRed)) << "row " << row;
        }
    };
    expectBarAt(0);
    expectBarAt(3);

    list.setColumnWidth(0, list.columnWidth(0) + 37);  // resize a column left of the bars
    expectBarAt(0);
    list.horizontalHeader()->moveSection(4, 0);       // move the bar column to the front
    expectBarAt(0);
    list.horizontalHeader()->moveSection(0, 4);

    list.resize(150, 240);                            // scroll sideways
    QApplication::processEvents();
    list.horizontalScrollBar()->setValue(list.horizontalScrollBar()->maximum());
    expectBarAt(0);

    list.verticalScrollBar()->setValue(100);          // scroll down by 100 rows
    ASSERT_GE(list.rowAt(0), 50);
    expectBarAt(list.rowAt(0));
    expectBarAt(list.rowAt(list.viewport()->height() - 1));

    // A font change changes the row height; the bars follow that too.
    QFont bold = list.font();
    bold.setPixelSize(20);
    bold.setBold(true);
    list.setFont(bold);
    QApplication::processEvents();
    expectBarAt(list.rowAt(0));
}

TEST_F(ReportListTest, CurrentCellIsDrawnAsASunkenBox)
{
    Build();
    list.DeleteBars();
    Click(2, 1);
    QApplication::processEvents();
    const QImage image = list.viewport()->grab().toImage();
    const QRect cell = list.visualRect(list.model()->index(2, 1));
    const QPalette& pal = list.palette();

    EXPECT_EQ(image.pixel(cell.topLeft()), pal.color(QPalette::Dark).rgb());
    EXPECT_EQ(image.pixel(cell.bottomRight()), pal.color(QPalette::Button).rgb());
    EXPECT_EQ(image.pixel(cell.topLeft() + QPoint(1, 1)), pal.color(QPalette::Shadow).rgb());
    EXPECT_EQ(image.pixel(cell.bottomRight() - QPoint(1, 1)), pal.color(QPalette::Light).rgb());
    // Inside the box, right of the left-aligned text: the face colour.
    EXPECT_EQ(image.pixel(cell.right() - 4, cell.center().y()), pal.color(QPalette::Button).rgb());

    // Every other cell, the selected row's included, is black text on white.
    const QRect other = list.visualRect(list.model()->index(2, 2));
    EXPECT_EQ(image.pixel(other.left() + 2, other.center().y()), qRgb(255, 255, 255));
    const QRect plain = list.visualRect(list.model()->index(4, 1));
    int darkest = 255;
    for (int y = plain.top(); y <= plain.bottom(); ++y) {
        for (int x = plain.left(); x <= plain.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << "grey levels only";
            darkest = std::min(darkest, qRed(p));
        }
    }
    EXPECT_LT(darkest, 64);
}

TEST_F(ReportListTest, TooltipsNameCellsByToolId)
{
    Build();
    // The tip for a tool id, over a field that held another text.
    const auto tip = [this](std::uintptr_t id) {
        NMTTDISPINFOA a{};
        a.hdr.idFrom = id;
        std::strcpy(a.szText, "old");
        list.OnToolTipText(&a);
        return std::string(a.szText);
    };
    NMTTDISPINFOA a{};
    a.hdr.idFrom = 0;
    EXPECT_EQ(list.OnToolTipText(&a), 0);
    EXPECT_STREQ(a.szText, "r0c0");
    EXPECT_EQ(CReportListCtrl::ToolId(3, 2), 3u * 1024 + 3);
    EXPECT_EQ(tip(CReportListCtrl::ToolId(3, 2)), "r3c2");
    EXPECT_EQ(tip(CReportListCtrl::ToolId(3, 9)), "");  // no such column
    EXPECT_EQ(tip(~std::uintptr_t{0}), "");

    // Long texts are cut to the 80-character field, terminator included.
    const std::string longText(200, 'x');
    list.SetItemText(4, 3, longText.c_str());
    EXPECT_EQ(tip(CReportListCtrl::ToolId(4, 3)), longText.substr(0, 79));

    // Hovering a cell shows its text.
    QHelpEvent hover(QEvent::ToolTip, CellCentre(3, 2), list.viewport()->mapToGlobal(CellCentre(3, 2)));
    QApplication::sendEvent(list.viewport(), &hover);
    EXPECT_EQ(QToolTip::text(), "r3c2");

    NMTTDISPINFOW w{};
    w.hdr.idFrom = CReportListCtrl::ToolId(4, 3);
    list.OnToolTipText(&w);
    EXPECT_EQ(std::wstring(w.szText), std::wstring(79, L'x'));

    // Over a bar the tip is the bar's caption (its percentage until it has one), which is also
    // the cell's accessible text; a bar without text leaves the cell's own text.
    EXPECT_EQ(tip(CReportListCtrl::ToolId(2, 4)), "50%");
    list.SetBar(2, 900, "-12.50");
    EXPECT_EQ(tip(CReportListCtrl::ToolId(2, 4)), "-12.50");
    EXPECT_EQ(list.model()->index(2, 4).data(Qt::AccessibleTextRole).toString(), "-12.50");
    list.SetBar(2, 900, "");
    EXPECT_EQ(tip(CReportListCtrl::ToolId(2, 4)), "r2c4");
    w.hdr.idFrom = CReportListCtrl::ToolId(7, 3);
    list.OnToolTipText(&w);
    EXPECT_EQ(std::wstring(w.szText), L"r7c3");
}

TEST_F(ReportListTest, CellTextsAndColumnsStayWithinTheList)
{
    Build(3);
    EXPECT_FALSE(list.SetItemText(3, 0, "x"));
    EXPECT_FALSE(list.SetItemText(0, 5, "x"));
    EXPECT_FALSE(list.SetItemText(-1, 0, "x"));
    EXPECT_EQ(list.GetItemText(3, 0), "");
    EXPECT_EQ(list.GetItemText(0, -1), "");
    EXPECT_TRUE(list.SetItemText(0, 0, nullptr));
    EXPECT_EQ(list.GetItemText(0, 0), "");
    EXPECT_EQ(list.InsertItem(-1, "x"), -1);
    EXPECT_EQ(list.InsertItem(99, "last"), 3);  // appended
    EXPECT_EQ(list.GetItemText(3, 0), "last");
    EXPECT_EQ(list.InsertItem(0, "first"), 0);
    EXPECT_EQ(list.GetItemText(1, 1), "r0c1");
    EXPECT_EQ(list.InsertColumn(9, "Extra"), 5);
    EXPECT_EQ(list.GetColumnCount(), 6);
    EXPECT_EQ(list.GetItemText(1, 5), "");
    EXPECT_FALSE(list.SetColumnWidth(6, 10));
    EXPECT_TRUE(list.SetColumnWidth(5, 33));
    EXPECT_EQ(list.GetColumnWidth(5), 33);
    EXPECT_EQ(list.GetOptions(), 0);
    EXPECT_TRUE(list.horizontalHeader()->sectionsMovable());
}

// A row source over a table of numbers, counting what the list asks of it.
class NumberSource : public CReportRowSource {
public:
    explicit NumberSource(int rows) : values(static_cast<std::size_t>(rows), 0) {}
    void GetCellText(int row, int column, CTxt& text) const override
    {
        ++asked;
        maxRow = std::max(maxRow, row);
        if (column == 4)
            text.Empty();
        else
            text.Format("%d:%d", row, values[static_cast<std::size_t>(row)] + column);
    }
    bool GetBarCell(int row, int& position, CTxt& caption) const override
    {
        ++asked;
        maxRow = std::max(maxRow, row);
        position = 500 + values[static_cast<std::size_t>(row)];
        caption.Format("%d", values[static_cast<std::size_t>(row)]);
        return true;
    }
    std::vector<int> values;
    mutable int asked = 0;
    mutable int maxRow = -1;
};

TEST_F(ReportListTest, RowSourceIsAskedOnlyForTheRowsInViewAndOnlyChangesRepaint)
{
    Build(0);
    NumberSource source(20000);
    list.SetRowSource(&source);
    list.SetItemCount(20000);
    list.CreateBars(4, 1000, kGreen, kRed, kYellow);
    QApplication::processEvents();
    const int lastInView = list.rowAt(list.viewport()->height() - 1);
    ASSERT_GT(lastInView, 3);
    EXPECT_LE(source.maxRow, lastInView + 1);
    EXPECT_EQ(list.GetItemText(19999, 1), "19999:1");
    EXPECT_EQ(list.GetShownBar(7)->DisplayText(), "0");

    // Which cells the list marks for repainting.
    std::vector<std::pair<int, int>> changed;
    QObject::connect(list.model(), &QAbstractItemModel::dataChanged, [&](const QModelIndex& a, const QModelIndex& b) {
        for (int r = a.row(); r <= b.row(); ++r)
            for (int c = a.column(); c <= b.column(); ++c)
                changed.emplace_back(r, c);
    });
    source.asked = 0;
    list.RedrawItems(0, 19999);
    EXPECT_TRUE(changed.empty()) << "nothing changed, nothing is repainted";
    EXPECT_LE(source.asked, (lastInView + 2) * 5);

    source.values[2] = 1;      // row 2's texts and its bar's edge and caption
    source.values[15000] = 7;  // out of view
    list.RedrawItems(0, 19999);
    const std::vector<std::pair<int, int>> row2 = {{2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4}};
    EXPECT_EQ(changed, row2);
    QApplication::processEvents();
    changed.clear();
    list.RedrawItems(0, 19999);
    EXPECT_TRUE(changed.empty());

    list.SetRowSource(nullptr);  // the stored texts again
    EXPECT_EQ(list.GetItemText(2, 1), "");
}

TEST_F(ReportListTest, FillColumnTakesTheRestAndColumnsGrowToTheirTexts)
{
    Build();
    list.SetFillColumn(4, 60);
    QTest::qWait(1);  // scroll bars show or hide in a queued step
    const auto rightEdge = [&] { return list.columnViewportPosition(4) + list.columnWidth(4); };
    EXPECT_EQ(rightEdge(), list.viewport()->width());
    EXPECT_TRUE(ScrollBarHides());

    // A wider text widens its column, never narrows it; the fill column gives way.
    const int before = list.GetColumnWidth(2);
    EXPECT_FALSE(list.FitColumnToText(2, "1"));
    EXPECT_TRUE(list.FitColumnToText(2, "-12345678.90"));
    EXPECT_GT(list.GetColumnWidth(2), before);
    EXPECT_GE(list.GetColumnWidth(2), list.GetStringWidth("-12345678.90") + 12);
    EXPECT_EQ(rightEdge(), list.viewport()->width());

    // Not below its minimum: the list then scrolls sideways.
    list.resize(200, 240);
    QTest::qWait(1);  // scroll bars show or hide in a queued step
    EXPECT_EQ(list.GetColumnWidth(4), 60);
    const int wanted = list.WidthForColumns(60, 240);
    list.resize(wanted, 240);
    QTest::qWait(1);  // scroll bars show or hide in a queued step
    EXPECT_EQ(list.GetColumnWidth(4), 60);
    EXPECT_TRUE(ScrollBarHides());
}

}  // namespace
