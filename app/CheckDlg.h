// CCheckDlg: the main window of Rolvek. A result list with one row per face, a status line and
// the buttons Reset, Stop/Continue and Exit, driven by a one-second timer.
//
// Every tick (OnTimer(1969)) starts a run when the run object is idle, adds a finished run to the
// totals (or clears the totals when Reset was pressed), readies the run object for the next run
// unless Stop was pressed, reports "Completed Runs: %d - Running ..." or "... - Stopped" through
// LogTrace, rewrites the list from the totals and shows the last logged message in the status
// line. The dialog receives every logged message through the library's last-message sink once
// it is the application's main window (AttachAsMainWindow).
#pragma once

#include "RollTally.h"

#include <qdx/Txt.h>

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

class CCheckDlg : public QDialog {
    Q_OBJECT

public:
    // Constructs both engine objects (each reads RollValues and RollsPerRun) and builds the
    // window; OnInitDialog fills it.
    explicit CCheckDlg(QWidget* parent = nullptr);
    // Stops the timer and detaches from the last-message sink; the engine objects wait for a
    // worker that is still rolling before they go.
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
    // Rewrites every value row of the list from the totals.
    void RefreshList();
    // Stop / Continue.
    void OnStopContinue();
    // Reset (the Reset button and Enter): clears the totals when the current run finishes.
    void OnOK();
    // Exit (the Exit button, Escape and the close box): ends the dialog.
    void OnCancel();
    // A command of the system menu: the about entry (IDM_ABOUTBOX, low four bits ignored) runs
    // the about box modally; every other command does what the window's system menu does.
    void OnSysCommand(unsigned id, long param = 0);

    QPushButton* ResetButton() const { return m_btnReset; }
    QPushButton* ExitButton() const { return m_btnExit; }
    // The system menu (Alt+Space or a right click on the dialog opens it).
    QMenu* SystemMenu() const { return m_sysMenu; }

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
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }

private:
    void BuildControls();
    void BuildSystemMenu();
    void ShowStatus();
    void StopAtInputEnd();

    QPushButton* m_btnReset = nullptr;
    QPushButton* m_btnExit = nullptr;
    QMenu* m_sysMenu = nullptr;
    bool m_attached = false;
};
