// The main dialog driven tick by tick: the timer handler is called directly. A run's worker
// waits at a gate until the test lets it roll (AwaitRun), so a tick never finds a run finished
// before the test expects it to; a run of 6000 rolls then takes well under a millisecond.
#include "AboutDlg.h"
#include "CheckDlg.h"
#include "Resource.h"
#include "RollTallyInternal.h"
#include "check/CheckRun.h"

#include <qdxui/PercentBarCtrl.h>
#include <qdxui/ReportListCtrl.h>
#include <qdxtest/QuietLog.h>
#include <qdxtest/TestApp.h>

#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<bool> g_gateOpen{false};

// A worker that rolls once the gate is open (or after two seconds, so that nothing can hang).
std::thread GatedWorker(CRollTally* tally)
{
    return std::thread([tally] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!g_gateOpen && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        CRollTally::RollThread(tally);
    });
}

// Every test starts from a settings file of its own (tests may run in parallel).
class CheckDlgTest : public qdx::test::TempDirTest {
protected:
    void SetUp() override
    {
        TestApp();
        RegisterRolvekStrings();
        WriteSettings("6");
        g_gateOpen = false;
        previousFactory = g_rollWorkerFactory;
        g_rollWorkerFactory = &GatedWorker;
    }

    void TearDown() override
    {
        g_gateOpen = true;
        g_rollWorkerFactory = previousFactory;
        settings.reset();
    }

    // A fresh settings file: a die of `rollValues` faces, runs of 1000 rolls per face.
    void WriteSettings(const std::string& rollValues)
    {
        settings.reset();
        settings.emplace(dir, "[SYS]\nRollValues=" + rollValues + "\nRollsPerRun=1000\nTimeFont=DejaVu Sans\n");
    }

    static std::unique_ptr<CCheckDlg> OpenDialog()
    {
        auto dialog = std::make_unique<CCheckDlg>();
        dialog->AttachAsMainWindow();
        dialog->OnInitDialog();
        return dialog;
    }

    // Lets the run's worker roll and waits (bounded) until it has finished.
    static void AwaitRun(CCheckDlg& dialog)
    {
        g_gateOpen = true;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (dialog.m_Run.m_nState == 1 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        g_gateOpen = false;  // the next run waits again
        ASSERT_EQ(dialog.m_Run.m_nState, 2);
    }

    // One tick that starts a run, then the tick that collects it.
    static void RunOnce(CCheckDlg& dialog)
    {
        dialog.OnTimer(kCheckTimerId);
        AwaitRun(dialog);
        dialog.OnTimer(kCheckTimerId);
    }

    // The status line's tooltip as the mouse resting on it brings it up.
    static std::string StatusTip(CCheckDlg& dialog)
    {
        QHelpEvent hover(QEvent::ToolTip, QPoint(1, 1), dialog.m_stStatus->mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(dialog.m_stStatus, &hover);
        return dialog.m_stStatus->toolTip().toStdString();
    }

    // Totals of one run with these counts per face, shown in the list.
    static void SetTotals(CCheckDlg& dialog, const std::vector<std::int64_t>& counts)
    {
        dialog.m_Totals.Reset();
        for (std::int64_t count : counts)
            dialog.m_Totals.m_Counts.AddInt64(count);
        dialog.m_Totals.m_nRuns = 1;
        dialog.m_Totals.CalcDeviations();
        dialog.RefreshList();
    }

    // Shows the dialog and lets it lay itself out and paint.
    static void ShowAndSettle(CCheckDlg& dialog)
    {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QTest::qWait(20);  // scroll bars show or hide in a queued step
    }

    static std::string Status(const CCheckDlg& dialog) { return dialog.m_stStatus->text().toStdString(); }

    RollWorkerFactory previousFactory = nullptr;
    std::optional<qdx::test::ScopedSettings> settings;
};

TEST_F(CheckDlgTest, LaysOutSixValuesInEightRowsWithTheReferenceBar)
{
    auto dialog = OpenDialog();
    CReportListCtrl& list = *dialog->m_List;
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Rolvek");
    EXPECT_EQ(list.GetColumnCount(), 5);
    EXPECT_EQ(list.GetItemCount(), 8);
    EXPECT_EQ(dialog->m_btnStop->text().toStdString(), "S&top");

    // Value rows carry bars at the middle, showing their own percentage until a run is in.
    for (int row = 0; row < 6; ++row) {
        ASSERT_NE(list.GetBar(row), nullptr) << row;
        EXPECT_EQ(list.GetBar(row)->GetPos(), 500);
        EXPECT_EQ(list.GetBar(row)->DisplayText(), "50%");
        EXPECT_EQ(list.GetBar(row)->GetBarColour(), 0x00B200u);
        EXPECT_EQ(list.GetBar(row)->GetBgColour(), 0x0000FFu);
        EXPECT_EQ(list.GetBar(row)->GetTextColour(), 0x00FFFFu);
    }
    EXPECT_EQ(list.GetBar(6), nullptr);  // the spacer row has none
    ASSERT_NE(list.GetBar(7), nullptr);  // the reference mark: half filled, no caption
    EXPECT_EQ(list.GetBar(7)->GetPos(), 500);
    EXPECT_EQ(list.GetBar(7)->GetShowText(), 0);

    // The columns are at least as wide as their samples in the bold list font, plus 12 pixels.
    EXPECT_GE(list.GetColumnWidth(1), list.GetStringWidth("999999999999") + 12);
    EXPECT_TRUE(dialog->m_Font.bold());
    EXPECT_EQ(dialog->m_Font.pixelSize(), 12);

    // TimeFont is written back so that the key always exists.
    CString font;
    IniReadString("SYS", "TimeFont", "", font);
    EXPECT_STREQ(font, "DejaVu Sans");
}

TEST_F(CheckDlgTest, FirstTickStartsARunAndTheNextCollectsIt)
{
    auto dialog = OpenDialog();
    EXPECT_EQ(dialog->m_Run.m_nState, 0);  // nothing runs before the first tick
    dialog->OnTimer(kCheckTimerId);
    EXPECT_NE(dialog->m_Run.m_nState, 0);
    EXPECT_EQ(StatusTip(*dialog), "");  // nothing collected: no tooltip
    AwaitRun(*dialog);
    dialog->OnTimer(kCheckTimerId);

    EXPECT_EQ(dialog->m_Totals.m_nRuns, 1);
    EXPECT_EQ(dialog->m_Run.m_nState, 0);  // ready for the next run
    EXPECT_EQ(Status(*dialog), "Completed Runs: 1 - Running ...");
    EXPECT_EQ(StatusTip(*dialog).rfind("Chi-square p-value of the totals: ", 0), 0u);

    CReportListCtrl& list = *dialog->m_List;
    long long sum = 0;
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(list.GetItemText(row, 0), std::to_string(row + 1));
        sum += std::stoll(list.GetItemText(row, 1));
        // Exactly one of Less and More holds the deviation.
        EXPECT_NE(list.GetItemText(row, 2).empty(), list.GetItemText(row, 3).empty()) << row;
        EXPECT_EQ(list.GetShownBar(row)->DisplayText(), list.GetItemText(row, 2) + list.GetItemText(row, 3));
    }
    EXPECT_EQ(sum, 6000);
    EXPECT_EQ(list.GetItemText(6, 1), "");  // the spacer row stays empty

    // The face with the largest deviation fills its bar completely, or leaves it empty.
    bool atAnEnd = false;
    for (int row = 0; row < 6; ++row)
        atAnEnd = atAnEnd || list.GetShownBar(row)->GetPos() == 0 || list.GetShownBar(row)->GetPos() == 1000;
    EXPECT_TRUE(atAnEnd);
}

TEST_F(CheckDlgTest, StopLetsTheRunFinishAndStartsNoOther)
{
    auto dialog = OpenDialog();
    dialog->OnTimer(kCheckTimerId);
    dialog->m_btnStop->click();
    EXPECT_EQ(dialog->m_btnStop->text().toStdString(), "&Continue");
    AwaitRun(*dialog);
    dialog->OnTimer(kCheckTimerId);
    EXPECT_EQ(dialog->m_Totals.m_nRuns, 1);
    EXPECT_EQ(dialog->m_Run.m_nState, 3);
    EXPECT_EQ(Status(*dialog), "Completed Runs: 1 - Stopped");

    dialog->OnTimer(kCheckTimerId);  // stopped: nothing but the refresh
    EXPECT_EQ(dialog->m_Run.m_nState, 3);
    EXPECT_EQ(dialog->m_Totals.m_nRuns, 1);

    dialog->m_btnStop->click();  // Continue: the run object is readied, the next tick starts one
    EXPECT_EQ(dialog->m_btnStop->text().toStdString(), "S&top");
    EXPECT_EQ(dialog->m_Run.m_nState, 0);
    RunOnce(*dialog);
    EXPECT_EQ(dialog->m_Totals.m_nRuns, 2);
    EXPECT_EQ(Status(*dialog), "Completed Runs: 2 - Running ...");
}

TEST_F(CheckDlgTest, ContinueWhileTheRunStillRollsOnlyClearsTheFlag)
{
    auto dialog = OpenDialog();
    dialog->OnOK();
    dialog->OnStopContinue();
    // Pretend the worker is still rolling: Continue must not reset the run under it.
    dialog->m_Run.m_nState = 1;
    dialog->OnStopContinue();
    EXPECT_EQ(dialog->m_bStopped, 0);
    EXPECT_EQ(dialog->m_Run.m_nState, 1);
    dialog->m_Run.m_nState = 0;
}

TEST_F(CheckDlgTest, ResetClearsTheTotalsAndBarsWhenTheNextRunFinishes)
{
    auto dialog = OpenDialog();
    RunOnce(*dialog);
    RunOnce(*dialog);
    ASSERT_EQ(dialog->m_Totals.m_nRuns, 2);
    EXPECT_EQ(StatusTip(*dialog).rfind("Chi-square p-value of the totals: ", 0), 0u);
    ASSERT_NE(dialog->m_List->GetShownBar(0)->DisplayText(), "50%");

    dialog->OnTimer(kCheckTimerId);  // a run starts
    dialog->ResetButton()->click();
    EXPECT_EQ(dialog->m_bResetRequest, 1);
    EXPECT_EQ(dialog->m_Totals.m_nRuns, 2);  // the totals keep their values until the run ends
    AwaitRun(*dialog);
    dialog->OnTimer(kCheckTimerId);
    EXPECT_EQ(dialog->m_bResetRequest, 0);
    EXPECT_EQ(dialog->m_Totals.m_nRuns, 0);  // that run is not counted
    EXPECT_EQ(Status(*dialog), "Completed Runs: 0 - Running ...");
    EXPECT_EQ(StatusTip(*dialog), "Nothing rolled yet");  // the tooltip follows the totals
    EXPECT_EQ(dialog->m_List->GetItemText(0, 1), "");
    for (int row = 0; row < 6; ++row) {  // the bars are back in their start state
        const std::optional<CPercentBar> bar = dialog->m_List->GetShownBar(row);
        EXPECT_EQ(bar->GetPos(), 500) << row;
        EXPECT_EQ(bar->GetShowText(), 1) << row;
        EXPECT_EQ(bar->DisplayText(), "50%") << row;
    }
}

TEST_F(CheckDlgTest, EnterResetsAndEscapeExits)
{
    auto dialog = OpenDialog();
    dialog->show();
    QTest::keyClick(dialog.get(), Qt::Key_Return);
    EXPECT_EQ(dialog->m_bResetRequest, 1);
    EXPECT_TRUE(dialog->isVisible());

    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(CheckDlgTest, StatusLineShowsTheLastLoggedMessageOnlyWhenItChanges)
{
    auto dialog = OpenDialog();
    SendLastMessage("Start failed");
    dialog->OnTimer(kCheckTimerId);
    EXPECT_EQ(Status(*dialog), "Start failed");
    dialog->m_stStatus->setText("START FAILED");  // differs only in case: left as it is
    dialog->OnTimer(kCheckTimerId);
    EXPECT_EQ(Status(*dialog), "START FAILED");
    AwaitRun(*dialog);
}

// The window and rolvek-check draw the same bar for the same totals: position and caption.
TEST_F(CheckDlgTest, BarsMatchRolvekChecksForTheSameCounts)
{
    auto dialog = OpenDialog();
    CRollTally& totals = dialog->m_Totals;
    std::uint32_t x = 12345;  // a spread of totals, from nearly even to far apart
    for (int round = 0; round < 200; ++round) {
        totals.Reset();
        for (int face = 0; face < 6; ++face) {
            x = x * 1103515245u + 12345u;
            totals.m_Counts.AddInt64(1000000 + (x >> 8) % (1000 + 100000 * (round % 7)));
        }
        totals.CalcDeviations();
        dialog->RefreshList();
        const CheckReport report = MakeCheckReport(totals);
        for (int row = 0; row < 6; ++row) {
            const CPercentBar bar = *dialog->m_List->GetShownBar(row);
            ASSERT_EQ(bar.GetPos(), report.faces[static_cast<std::size_t>(row)].barPosition) << round << "/" << row;
            ASSERT_EQ(bar.DisplayText(), report.faces[static_cast<std::size_t>(row)].less +
                                             report.faces[static_cast<std::size_t>(row)].more);
        }
    }
}

TEST_F(CheckDlgTest, OneValueNeverMovesItsBar)
{
    WriteSettings("1");
    auto dialog = OpenDialog();
    EXPECT_EQ(dialog->m_List->GetItemCount(), 3);
    RunOnce(*dialog);
    EXPECT_EQ(dialog->m_List->GetItemText(0, 1), "1000");
    EXPECT_EQ(dialog->m_List->GetItemText(0, 3), "0.00");
    EXPECT_EQ(dialog->m_List->GetShownBar(0)->GetPos(), 500);
    EXPECT_EQ(dialog->m_List->GetShownBar(0)->DisplayText(), "50%");
}

TEST_F(CheckDlgTest, SystemMenuCarriesTheAboutEntry)
{
    auto dialog = OpenDialog();
    QAction* about = nullptr;
    for (QAction* action : dialog->SystemMenu()->actions())
        if (action->data().toInt() == IDM_ABOUTBOX)
            about = action;
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->text().toStdString(), "&About Rolvek...");

    // The command id is compared with its low four bits masked: 16 to 31 all open the box.
    int opened = 0;
    for (unsigned id : {16u, 0x1Fu}) {
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
                ++opened;
                box->reject();
            }
        });
        dialog->OnSysCommand(id);
    }
    EXPECT_EQ(opened, 2);

    dialog->show();
    dialog->OnSysCommand(SC_CLOSE);  // other commands do what the window does
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(CheckDlgTest, FirstPaintShowsEveryColumnAndTheWholeBar)
{
    // Also run with QT_FONT_DPI=144 (see app/CMakeLists.txt).
    for (const char* values : {"6", "32767"}) {
        WriteSettings(values);
        auto dialog = OpenDialog();
        ShowAndSettle(*dialog);
        const CReportListCtrl& list = *dialog->m_List;
        for (int i = 0; i < 100 && list.horizontalScrollBar()->isVisible(); ++i)
            QTest::qWait(10);  // the scroll bar hides in a queued step
        EXPECT_FALSE(list.horizontalScrollBar()->isVisible()) << values;
        const int barRight = list.columnViewportPosition(4) + list.columnWidth(4);
        EXPECT_LE(barRight, list.viewport()->width()) << values;
        EXPECT_GE(list.columnWidth(4), list.GetStringWidth("XXXXXXXXXXXXXXXXXXXXX") + 12) << values;
        // The buttons show their whole text.
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
    }
}

TEST_F(CheckDlgTest, ColumnsWidenToTheWidestDeviationAndCount)
{
    WriteSettings("32767");
    auto dialog = OpenDialog();
    ShowAndSettle(*dialog);
    // The widest texts there can be: one face with every roll (+3276600 %), the rest with none
    // (-100 %), and counts past a million.
    std::vector<std::int64_t> counts(32767, 0);
    counts[0] = 32767LL * 1000000;
    SetTotals(*dialog, counts);
    CReportListCtrl& list = *dialog->m_List;
    ASSERT_EQ(list.GetItemText(1, 2), "-10000.00");
    ASSERT_EQ(list.GetItemText(0, 3), "327660000.00");
    for (const auto& [row, column] : {std::pair{1, 2}, {0, 3}, {0, 1}}) {
        const std::string text = list.GetItemText(row, column);
        EXPECT_GE(list.GetColumnWidth(column), list.GetStringWidth(text.c_str()) + 12) << text;
    }
    // The bar column gave way, down to half its first width.
    EXPECT_GE(list.GetColumnWidth(4), (list.GetStringWidth("XXXXXXXXXXXXXXXXXXXXX") + 12) / 2);
}

TEST_F(CheckDlgTest, ALargerWindowGivesTheListTheRoom)
{
    auto dialog = OpenDialog();
    ShowAndSettle(*dialog);
    const int listHeight = dialog->m_List->height();
    const int barWidth = dialog->m_List->columnWidth(4);
    dialog->resize(dialog->width() + 100, dialog->height() + 120);
    QTest::qWait(20);
    EXPECT_EQ(dialog->m_List->height(), listHeight + 120);
    EXPECT_EQ(dialog->m_List->columnWidth(4), barWidth + 100);
    // The buttons stay along the bottom edge, Exit at the right.
    const QRect exit = dialog->ExitButton()->geometry();
    EXPECT_LT(dialog->height() - exit.bottom(), 20);
    EXPECT_LT(dialog->width() - exit.right(), 20);
    EXPECT_LT(dialog->height() - dialog->ResetButton()->geometry().bottom(), 20);
}

TEST_F(CheckDlgTest, AltSpaceOpensTheWindowMenuWhateverHasTheFocus)
{
    auto dialog = OpenDialog();
    ShowAndSettle(*dialog);
    RunOnce(*dialog);
    ASSERT_EQ(dialog->m_Totals.m_nRuns, 1);
    for (QWidget* focus : {static_cast<QWidget*>(dialog->ResetButton()), static_cast<QWidget*>(dialog->m_btnStop),
                           static_cast<QWidget*>(dialog->ExitButton()), static_cast<QWidget*>(dialog->m_List)}) {
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Space, Qt::AltModifier);
        EXPECT_TRUE(dialog->SystemMenu()->isVisible()) << focus->metaObject()->className();
        dialog->SystemMenu()->hide();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->m_bResetRequest, 0);
        EXPECT_EQ(dialog->m_bStopped, 0);
    }
    RunOnce(*dialog);
    EXPECT_EQ(dialog->m_Totals.m_nRuns, 2);  // the totals went on, untouched
}

TEST_F(CheckDlgTest, BarsFillTowardsTheFacesAboveTheMean)
{
    auto dialog = OpenDialog();
    ShowAndSettle(*dialog);
    SetTotals(*dialog, {1200, 800, 1000, 1000, 1000, 1000});  // +20 %, -20 %, then the mean
    QApplication::processEvents();
    CReportListCtrl& list = *dialog->m_List;
    const QImage image = list.viewport()->grab().toImage();
    const QRgb green = qRgb(0x00, 0xB2, 0x00);
    const QRgb red = qRgb(0xFF, 0x00, 0x00);
    // The colours at the left end, a quarter in, three quarters in and the right end of a bar.
    const auto colours = [&](int row) {
        const QRect cell = list.visualRect(list.model()->index(row, 4));
        std::vector<QRgb> seen;
        for (int x : {cell.left() + 1, cell.left() + cell.width() / 4, cell.left() + 3 * cell.width() / 4, cell.right() - 1})
            seen.push_back(image.pixel(QPointF(QPointF(x, cell.top() + 1) * image.devicePixelRatio()).toPoint()));
        return seen;
    };
    EXPECT_EQ(colours(0), (std::vector<QRgb>{green, green, green, green}));  // furthest above: full
    EXPECT_EQ(colours(1), (std::vector<QRgb>{red, red, red, red}));          // furthest below: empty
    for (int row = 2; row < 6; ++row)
        EXPECT_EQ(colours(row), (std::vector<QRgb>{green, green, red, red})) << row;  // at the mean: half
    EXPECT_EQ(list.GetShownBar(0)->DisplayText(), "2000.00");
    EXPECT_EQ(list.model()->index(1, 4).data(Qt::AccessibleTextRole).toString(), "-2000.00");
}

// Exit ends the check at once, whatever the size of a run: the worker stops early and its
// partial counts are dropped.
TEST_F(CheckDlgTest, ExitStopsARunOfTwoBillionRollsAtOnce)
{
    WriteSettings("1");
    IniWriteString("SYS", "RollsPerRun", "2147483647");  // a run of 2^31 - 1 rolls
    g_rollWorkerFactory = previousFactory;                 // the real worker, no gate
    auto dialog = OpenDialog();
    ASSERT_EQ(dialog->m_Run.m_nRolls, 2147483647);
    dialog->show();
    dialog->OnTimer(kCheckTimerId);
    ASSERT_EQ(dialog->m_Run.m_nState, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // well into the run

    dialog->ExitButton()->click();
    EXPECT_FALSE(dialog->isVisible());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (dialog->m_Run.m_nState == 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(dialog->m_Run.m_nState, 0);  // stopped and dropped, long before its end
    EXPECT_EQ(dialog->m_Totals.m_nRuns, 0);
    dialog.reset();                        // joins the worker, which has ended
}

} // namespace
