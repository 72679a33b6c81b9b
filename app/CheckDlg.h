// CCheckDlg: the main window of Rolvek. A result list with one row per face, a status line and
// the buttons Reset, Stop/Continue and Exit, driven by a one-second timer.
//
// Every tick (OnTimer(1969)) starts a run when the run object is idle, adds a finished run to the
// totals (or clears the totals when Reset was pressed), readies the run object for the next run
// unless Stop was pressed, reports "Completed Runs: %d - Running ..." or "... - Stopped" through
// LogTrace, rewrites the list from the totals and shows the last logged message in the status
// line. The status line's tooltip gives the chi-square p-values and flagged faces of the totals,
// worked out when the tooltip is about to show (on the tick itself while a screen reader is
// active). The dialog receives every logged message through the library's last-message sink once
// it is the application's main window (AttachAsMainWindow).
//
// The list asks the dialog for the texts and bars of the rows it shows (CReportRowSource), so a
// tick costs as much with 32767 faces as with 6: only the rows in view are formatted and drawn.
// The list takes the room the window gives it; the bar column takes what the other columns
// leave, and a column widens when a text it shows would not fit.
#pragma once

#include "RollTally.h"

#include <qdx/Txt.h>
#include <qdxui/ReportRowSource.h>

#include <QDialog>
#include <QFont>
#include <QIcon>

class CReportListCtrl;
class QLabel;
class QPushButton;
class QMenu;

// Control ids of the dialog, and the id of its timer.
enum : int {
    IDC_RESULTS = 1000,
    IDC_STATUS = 1002,
    IDC_STOP = 1004,
    kCheckTimerId = 1969,
};

// System commands, as the window's system menu sends them to OnSysCommand.
enum : unsigned {
    SC_SIZE = 0xF000,
    SC_MOVE = 0xF010,
    SC_MINIMIZE = 0xF020,
    SC_MAXIMIZE = 0xF030,
    SC_CLOSE = 0xF060,
    SC_RESTORE = 0xF120,
};

class CCheckDlg : public QDialog, private CReportRowSource {
    Q_OBJECT

public:
    // Constructs both engine objects (each reads RollValues and RollsPerRun) and builds the
    // window; OnInitDialog fills it.
    explicit CCheckDlg(QWidget* parent = nullptr);
    // Stops the timer and detaches from the last-message sink; a worker still rolling is asked
    // to stop, and the engine objects wait for it (a few thousand rolls) before they go.
    ~CCheckDlg() override;

    // Reads TimeFont (and writes it back), builds the list with its columns, rows and bars,
    // adds the about entry to the system menu and starts the timer. No run starts here.
    bool OnInitDialog();

    // Makes this dialog the receiver of every logged message (m_strLastMsg).
    void AttachAsMainWindow();

    // Rolls the stream's values instead of the generator's (before OnInitDialog; not owned).
    // When the input ends (or fails) the check stops as if Stop had been pressed, and the
    // status line says so.
    void SetInput(RollStream* input);

    // One tick of the check; only kCheckTimerId is handled.
    void OnTimer(unsigned id);
    // Brings the list up to the totals: the rows in view are redrawn where they changed, the
    // bars show the totals' deviations (the middle with their percentage while the totals are
    // empty, as at the start), and the Count, Less and More columns widen to their texts.
    void RefreshList();
    // Stop / Continue.
    void OnStopContinue();
    // Reset (the Reset button and Enter): clears the totals when the current run finishes.
    void OnOK();
    // Exit (the Exit button, Escape and the close box): stops the timer, asks a rolling run to
    // stop (its partial counts are dropped) and ends the dialog.
    void OnCancel();
    // A command of the system menu: the about entry (IDM_ABOUTBOX, low four bits ignored) runs
    // the about box modally; every other command does what the window's system menu does.
    void OnSysCommand(unsigned id, long param = 0);

    QPushButton* ResetButton() const { return m_btnReset; }
    QPushButton* ExitButton() const { return m_btnExit; }
    // The system menu (Alt+Space, whatever has the focus, or a right click on the dialog).
    QMenu* SystemMenu() const { return m_sysMenu; }
    void OpenSystemMenu(const QPoint& at);

    CRollTally m_Totals;
    CRollTally m_Run;
    QFont m_Font;
    CTxt m_strLastMsg;
    int m_bResetRequest = 0;
    int m_bStopped = 0;
    int m_nValues = 0;
    int m_nTimer = 0;
    QPushButton* m_btnStop = nullptr;
    QLabel* m_stStatus = nullptr;
    CReportListCtrl* m_List = nullptr;
    QIcon m_hIcon;
    RollStream* m_pInput = nullptr;

protected:
    void timerEvent(QTimerEvent* event) override;
    // Fills in the status line's tooltip from the totals when it is about to show.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }

private:
    // CReportRowSource: the texts and bars of the value rows, from the totals.
    void GetCellText(int row, int column, CTxt& text) const override;
    bool GetBarCell(int row, int& position, CTxt& caption) const override;

    void BuildControls();
    void BuildSystemMenu();
    void ShowStatus();
    void StopAtInputEnd();
    // Writes the status line's tooltip from the totals, unless it is up to date.
    void UpdateStatusTip();
    // Widens Count, Less and More to the widest text they can show with the current totals.
    void FitResultColumns();
    // The window's first size: the template's, wider where the columns need it.
    void FitFirstSize();

    QPushButton* m_btnReset = nullptr;
    QPushButton* m_btnExit = nullptr;
    QMenu* m_sysMenu = nullptr;
    bool m_attached = false;
    bool m_bListFilled = false;  // RefreshList has run: the rows show their texts
    bool m_bTipStale = false;    // a run was collected since the status tooltip was written
    // The deviations the bars show (m_Devs, m_fMaxDev), while m_bBarsSet; otherwise the bars
    // show their start state.
    CRollTally m_BarTotals;
    bool m_bBarsSet = false;
};
