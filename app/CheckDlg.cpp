#include "CheckDlg.h"

#include "AboutDlg.h"
#include "CheckSteps.h"
#include "DialogUnits.h"
#include "Resource.h"
#include "RollStream.h"
#include "Statistics.h"

#include <qdxui/QtText.h>

#include <qdxui/ReportListCtrl.h>

#include <qdx/Fields.h>
#include <qdx/Log.h>
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <QAccessible>
#include <QBoxLayout>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTimerEvent>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Bar colours of the result list: the filled part green, the rest red, the caption yellow.
constexpr COLORREF kBarColour = 0x00B200;
constexpr COLORREF kBarBackground = 0x0000FF;
constexpr COLORREF kBarCaption = 0x00FFFF;
constexpr int kBarRange = 1000;
constexpr int kBarColumn = 4;

struct ColumnSpec {
    const char* heading;
    const char* sample;  // the column is as wide as this text in the list's font, plus 12 px
};
constexpr ColumnSpec kColumns[] = {
    {"Value", "Value"},
    {"Count", "999999999999"},
    {"Less", "-999.99"},  // a Less text always has its minus sign
    {"More", "999.99"},
    {"", "XXXXXXXXXXXXXXXXXXXXX"},
};
enum { kCountColumn = 1, kLessColumn = 2, kMoreColumn = 3 };

// The settings a tally was made with, so another can be made alike without reading them again.
RunSettings SettingsOf(const CRollTally& tally)
{
    RunSettings settings;
    settings.values = tally.m_nValues;
    settings.rollsPerValue = tally.m_nRolls / tally.m_nValues;
    settings.generator = tally.m_nGenerator;
    return settings;
}

// Lays a widget out at least as large as `size`, larger where its text needs it.
void AtLeast(QWidget* widget, const QSize& size)
{
    widget->setMinimumSize(size.expandedTo(widget->sizeHint()));
}

} // namespace

CCheckDlg::CCheckDlg(QWidget* parent) : QDialog(parent), m_BarTotals(SettingsOf(m_Totals))
{
    m_hIcon = QIcon(":/rolvek/rolvek.png");
    BuildControls();
}

CCheckDlg::~CCheckDlg()
{
    if (m_nTimer)
        killTimer(m_nTimer);
    if (m_attached)
        SetLastMessageSink(nullptr);
    // A run still rolling stops within a few thousand rolls, one waiting for its input stream
    // within the stream's poll time; the engine objects then join it.
    m_Run.Cancel();
}

void CCheckDlg::BuildControls()
{
    setWindowTitle("Rolvek");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    // The dialog's own text is small (8 points), as its layout was made for.
    QFont dialogFont = font();
    dialogFont.setPointSize(8);
    setFont(dialogFont);

    m_btnReset = new QPushButton("&Reset", this);
    m_btnReset->setDefault(true);
    m_btnReset->setAutoDefault(true);
    connect(m_btnReset, &QPushButton::clicked, this, &CCheckDlg::OnOK);

    m_btnExit = new QPushButton("E&xit", this);
    m_btnExit->setAutoDefault(false);
    connect(m_btnExit, &QPushButton::clicked, this, &CCheckDlg::OnCancel);

    m_btnStop = new QPushButton("S&top", this);
    m_btnStop->setAutoDefault(false);
    connect(m_btnStop, &QPushButton::clicked, this, &CCheckDlg::OnStopContinue);

    m_List = new CReportListCtrl(this);
    m_List->setObjectName("List1");
    m_List->SetDlgCtrlID(IDC_RESULTS);
    m_List->setMinimumSize(DialogRect(this, 0, 0, 294, 126).size() / 2);

    m_stStatus = new QLabel(this);
    m_stStatus->installEventFilter(this);  // its tooltip is filled in when it is asked for
    auto* version = new QLabel("Version 1.2b", this);

    // The template's places, as a layout: the list takes the room the window gives it; the
    // status line and the buttons stay along the bottom edge. A button is never smaller than
    // the template made it, nor than its text needs ("Continue" in a large font).
    for (QPushButton* button : {m_btnReset, m_btnStop, m_btnExit})
        AtLeast(button, DialogRect(this, 0, 0, 50, 14).size());
    AtLeast(version, DialogRect(this, 0, 0, 43, 11).size());
    m_stStatus->setMinimumHeight(DialogY(this, 8));
    // Stop's widest text is "Continue": the button does not jump when it changes.
    {
        QPushButton probe("&Continue", this);
        m_btnStop->setMinimumWidth(std::max(m_btnStop->minimumWidth(), probe.sizeHint().width()));
    }

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(0);
    buttons->addWidget(m_btnReset);
    buttons->addSpacing(DialogX(this, 10));
    buttons->addWidget(m_btnStop);
    buttons->addStretch(1);
    buttons->addWidget(version);
    buttons->addSpacing(DialogX(this, 10));
    buttons->addWidget(m_btnExit);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(DialogX(this, 7), DialogY(this, 10), DialogX(this, 7), DialogY(this, 7));
    layout->setSpacing(DialogY(this, 1));
    layout->addWidget(m_List, 1);
    layout->addWidget(m_stStatus);
    layout->addSpacing(DialogY(this, 2));
    layout->addLayout(buttons);
    resize(DialogRect(this, 0, 0, 308, 169).size().expandedTo(minimumSizeHint()));

    // Alt+Space opens the window menu whatever has the focus; no button ever takes it.
    auto* menuKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    menuKey->setContext(Qt::WindowShortcut);
    connect(menuKey, &QShortcut::activated, this, [this] { OpenSystemMenu(mapToGlobal(QPoint(0, 0))); });

    setWindowIcon(m_hIcon);
}

void CCheckDlg::BuildSystemMenu()
{
    m_sysMenu = new QMenu(this);
    struct Entry {
        const char* text;
        unsigned id;
    };
    const Entry entries[] = {{"&Restore", SC_RESTORE}, {"&Move", SC_MOVE},        {"&Size", SC_SIZE},
                             {"Mi&nimize", SC_MINIMIZE}, {"Ma&ximize", SC_MAXIMIZE}, {"&Close", SC_CLOSE}};
    for (const Entry& entry : entries) {
        QAction* action = m_sysMenu->addAction(entry.text);
        const unsigned id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { OnSysCommand(id); });
    }
    // The about entry: a separator and the text of string 101, when there is one.
    CString about;
    if (about.LoadString(IDS_ABOUTBOX) && !about.IsEmpty()) {
        m_sysMenu->addSeparator();
        QAction* action = m_sysMenu->addAction(QStringFromTxt(about.GetString()));
        action->setData(IDM_ABOUTBOX);
        connect(action, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    }
}

bool CCheckDlg::OnInitDialog()
{
    BuildSystemMenu();
    setWindowIcon(m_hIcon);

    // The list font: the face of TimeFont (kept in the settings file), 12 px, bold.
    CTxt face;
    IniReadString("SYS", "TimeFont", "Arial", face);
    IniWriteString("SYS", "TimeFont", face);
    QString family = QStringFromTxt(face).left(31);
    m_Font = QFont(family);
    // 12 pixels at 96 dpi, in proportion on a denser screen.
    m_Font.setPixelSize(std::max(1, static_cast<int>(std::lround(12.0 * logicalDpiY() / 96.0))));
    m_Font.setWeight(QFont::Bold);

    m_List->SetupReport(0);
    m_List->setFont(m_Font);

    for (int column = 0; column < 5; ++column) {
        const ColumnSpec& spec = kColumns[column];
        m_List->InsertColumn(column, spec.heading, LVCFMT_RIGHT, m_List->GetStringWidth(spec.sample) + 12);
        if (column != kBarColumn)
            m_List->FitColumnToText(column, spec.sample);
    }

    // The engine takes a RollValues outside 1 .. 32767 as the nearest workable value; the list
    // shows the faces the engine really rolls.
    m_nValues = IniReadInt("SYS", "RollValues", 6);
    if (m_nValues != m_Totals.m_nValues)
        m_nValues = m_Totals.m_nValues;
    // The rows' texts and bars come from the totals when the list draws them.
    m_List->SetRowSource(this);
    m_List->SetItemCount(m_nValues + 2);

    m_List->CreateBars(kBarColumn, kBarRange, kBarColour, kBarBackground, kBarCaption);
    m_List->DeleteBar(m_nValues);              // the spacer row
    m_List->SetBar(m_nValues + 1, 500, "");   // the reference mark for zero deviation
    FitFirstSize();

    m_nTimer = startTimer(1000);
    return true;
}

void CCheckDlg::FitFirstSize()
{
    // The bar column keeps the template's width at first and gives way to the other columns
    // down to half of it when they widen later.
    const int barWidth = m_List->GetColumnWidth(kBarColumn);
    m_List->SetFillColumn(kBarColumn, barWidth / 2);
    const QSize wanted = DialogRect(this, 0, 0, 308, 169).size().expandedTo(minimumSizeHint());
    const QMargins margins = layout()->contentsMargins();
    const int listHeight = wanted.height() - (minimumSizeHint().height() - m_List->minimumHeight());
    const int width = m_List->WidthForColumns(barWidth, listHeight) + margins.left() + margins.right();
    resize(std::max(wanted.width(), width), wanted.height());
}

void CCheckDlg::AttachAsMainWindow()
{
    SetLastMessageSink([this](const char* text) { m_strLastMsg = text; });
    m_attached = true;
}

void CCheckDlg::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_nTimer)
        OnTimer(kCheckTimerId);
    else
        QDialog::timerEvent(event);
}

void CCheckDlg::OnTimer(unsigned id)
{
    if (id != kCheckTimerId)
        return;

    if (m_Run.m_nState == 0 && m_pInput && (m_pInput->Ended() || !m_pInput->Error().empty()))
        StopAtInputEnd();
    else if (m_Run.m_nState == 0)
        m_Run.Start();

    CTxt status;
    if (CollectRun(m_Run, m_Totals, m_bResetRequest, m_bStopped != 0, status)) {
        LogTrace("RunTally", 1, "%s", static_cast<const char*>(status));
        // The status line's tooltip gives the statistics of these totals; they go over every
        // face, so they are worked out when the tooltip is asked for, not on every tick. A
        // screen reader reads the tooltip without hovering: while one is active it stays current.
        m_bTipStale = true;
        if (QAccessible::isActive())
            UpdateStatusTip();
    }

    RefreshList();
    ShowStatus();
}

void CCheckDlg::SetInput(RollStream* input)
{
    m_pInput = input;
    m_Run.m_pInput = input;
}

void CCheckDlg::StopAtInputEnd()
{
    // The run that the input could not fill was dropped by its worker: nothing of it is counted.
    if (m_bStopped)
        return;
    m_bStopped = 1;
    m_btnStop->setText("&Continue");
    if (!m_pInput->Error().empty())
        LogTrace("RunTally", 1, "Completed Runs: %d - Stopped: %s", m_Totals.m_nRuns, m_pInput->Error().c_str());
    else
        LogTrace("RunTally", 1, "Completed Runs: %d - Stopped: the input has ended (%llu values at the end do not fill a run)",
                 m_Totals.m_nRuns, static_cast<unsigned long long>(m_pInput->LeftOver()));
}

bool CCheckDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_stStatus && event->type() == QEvent::ToolTip)
        UpdateStatusTip();
    return QDialog::eventFilter(watched, event);
}

void CCheckDlg::UpdateStatusTip()
{
    if (!m_bTipStale)
        return;
    // The statistics of the totals, for the eye that wants more than the bars show. Cleared
    // totals have no counts: they are a die of m_nValues faces with nothing rolled yet.
    std::vector<std::int64_t> counts(static_cast<std::size_t>(std::max(m_nValues, 0)), 0);
    const int known = std::min(m_Totals.m_Counts.GetSize(), m_nValues);
    for (int i = 0; i < known; ++i)
        counts[static_cast<std::size_t>(i)] = m_Totals.GetCount(i);
    m_stStatus->setToolTip(QString::fromStdString(StatisticsTip(counts)));
    m_bTipStale = false;
}

void CCheckDlg::ShowStatus()
{
    // Rewritten only when the text really changes, so a steady message does not flicker.
    const QByteArray shown = TxtFromQString(m_stStatus->text());
    const char* last = m_strLastMsg;
    if (strcmpmode(shown.constData(), last, 1) != 0)
        m_stStatus->setText(QStringFromTxt(last));
}

void CCheckDlg::RefreshList()
{
    m_bListFilled = true;
    int position = 0;
    CTxt caption;
    if (::GetBarCell(m_Totals, 0, position, caption)) {
        // The bars show these totals: their deviations are kept for the rows drawn later.
        m_BarTotals.m_Devs.Copy(m_Totals.m_Devs);
        m_BarTotals.m_fMaxDev = m_Totals.m_fMaxDev;
        m_bBarsSet = true;
    } else if (m_Totals.m_Counts.GetSize() == 0) {
        // Cleared totals: the bars go back to the middle with their percentage, as at the start.
        m_bBarsSet = false;
    }
    // Otherwise (no deviation yet, one face) the bars keep what they show.
    FitResultColumns();
    m_List->RedrawItems(0, m_nValues - 1);
}

void CCheckDlg::GetCellText(int row, int column, CTxt& text) const
{
    text.Empty();
    if (!m_bListFilled || row < 0 || row >= m_nValues)
        return;
    switch (column) {
    case 0:
        text.Format("%d", row + 1);
        break;
    case kCountColumn:
        m_Totals.GetCountText(row, text);
        break;
    case kLessColumn:
        m_Totals.GetDeviationText(row, -1, text);
        break;
    case kMoreColumn:
        m_Totals.GetDeviationText(row, 1, text);
        break;
    default:
        break;
    }
}

bool CCheckDlg::GetBarCell(int row, int& position, CTxt& caption) const
{
    // Without deviations set the bar shows what it was given: the start state, the reference.
    return m_bBarsSet && row >= 0 && row < m_nValues && ::GetBarCell(m_BarTotals, row, position, caption);
}

void CCheckDlg::FitResultColumns()
{
    if (m_Totals.m_Counts.GetSize() < m_nValues || m_nValues <= 0)
        return;
    // The widest count is the largest one (read straight from the slots: this runs every tick
    // over every face); the widest deviations are those of the largest size.
    void* const* counts = m_Totals.m_Counts.GetRawData();
    int widest = 0;
    std::intptr_t largest = reinterpret_cast<std::intptr_t>(counts[0]);
    for (int row = 1; row < m_nValues; ++row) {
        const std::intptr_t count = reinterpret_cast<std::intptr_t>(counts[row]);
        if (count > largest) {
            largest = count;
            widest = row;
        }
    }
    CTxt text;
    m_Totals.GetCountText(widest, text);
    m_List->FitColumnToText(kCountColumn, text);
    const float x = static_cast<float>(m_Totals.m_fMaxDev * 100.0f);
    text.Format("%.2f", -x);
    m_List->FitColumnToText(kLessColumn, text);
    text.Format("%.2f", x);
    m_List->FitColumnToText(kMoreColumn, text);
}

void CCheckDlg::OnStopContinue()
{
    m_bStopped = !m_bStopped;
    if (m_bStopped) {
        m_btnStop->setText("&Continue");
        return;
    }
    m_btnStop->setText("S&top");
    // A run whose worker still rolls is left to finish and is collected as usual; resetting it
    // would pull its arrays away from under the worker.
    if (m_Run.m_nState != 1)
        m_Run.Reset();
}

void CCheckDlg::OnOK()
{
    m_bResetRequest = 1;
}

void CCheckDlg::OnCancel()
{
    // The check ends with the window: no further tick, and a run still rolling stops early and
    // is dropped, so the process ends at once whatever the size of a run.
    if (m_nTimer) {
        killTimer(m_nTimer);
        m_nTimer = 0;
    }
    m_Run.Cancel();
    QDialog::reject();
}

void CCheckDlg::OnSysCommand(unsigned id, long)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.exec();
        return;
    }
    switch (id & 0xFFF0) {
    case SC_CLOSE:
        OnCancel();
        break;
    case SC_MINIMIZE:
        showMinimized();
        break;
    case SC_MAXIMIZE:
        showMaximized();
        break;
    case SC_RESTORE:
        showNormal();
        break;
    case SC_MOVE:
        if (QWindow* window = windowHandle())
            window->startSystemMove();
        break;
    case SC_SIZE:
        if (QWindow* window = windowHandle())
            window->startSystemResize(Qt::BottomEdge | Qt::RightEdge);
        break;
    default:
        break;
    }
}

void CCheckDlg::OpenSystemMenu(const QPoint& at)
{
    if (m_sysMenu)
        m_sysMenu->popup(at);
}

void CCheckDlg::contextMenuEvent(QContextMenuEvent* event)
{
    OpenSystemMenu(event->globalPos());
}
