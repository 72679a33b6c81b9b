#include "CheckDlg.h"

#include "AboutDlg.h"
#include "CheckSteps.h"
#include "DialogUnits.h"
#include "Resource.h"

#include <qdxui/QtText.h>

#include <qdxui/ReportListCtrl.h>

#include <qdx/Fields.h>
#include <qdx/Log.h>
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimerEvent>
#include <QWindow>

#include <cmath>

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
    {"Less", "999.99"},
    {"More", "999.99"},
    {"", "XXXXXXXXXXXXXXXXXXXXX"},
};

} // namespace

CCheckDlg::CCheckDlg(QWidget* parent) : QDialog(parent)
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
}

void CCheckDlg::BuildControls()
{
    setWindowTitle("Rolvek");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    // The dialog's own text is small (8 points), as its fixed layout was made for.
    QFont dialogFont = font();
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    QRect client = DialogRect(0, 0, 308, 169);
    resize(client.size());

    // The controls keep their places and sizes when the dialog is resized.
    m_btnReset = new QPushButton("&Reset", this);
    m_btnReset->setGeometry(DialogRect(7, 148, 50, 14));
    m_btnReset->setDefault(true);
    m_btnReset->setAutoDefault(true);
    connect(m_btnReset, &QPushButton::clicked, this, &CCheckDlg::OnOK);

    m_btnExit = new QPushButton("E&xit", this);
    m_btnExit->setGeometry(DialogRect(251, 148, 50, 14));
    m_btnExit->setAutoDefault(false);
    connect(m_btnExit, &QPushButton::clicked, this, &CCheckDlg::OnCancel);

    m_btnStop = new QPushButton("S&top", this);
    m_btnStop->setGeometry(DialogRect(67, 148, 50, 14));
    m_btnStop->setAutoDefault(false);
    connect(m_btnStop, &QPushButton::clicked, this, &CCheckDlg::OnStopContinue);

    m_List = new CReportListCtrl(this);
    m_List->setObjectName("List1");
    m_List->SetDlgCtrlID(IDC_RESULTS);
    m_List->setGeometry(DialogRect(7, 10, 294, 126));

    m_stStatus = new QLabel(this);
    m_stStatus->setGeometry(DialogRect(7, 137, 294, 8));

    auto* version = new QLabel("Version 1.2b", this);
    version->setGeometry(DialogRect(198, 151, 43, 11));
    // The label keeps its place; where this machine's font is wider than the one the layout
    // was drawn for, it grows to the right (there is room up to the Exit button).
    if (version->sizeHint().width() > version->width())
        version->resize(version->sizeHint().width(), version->height());

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
    m_Font.setPixelSize(12);
    m_Font.setWeight(QFont::Bold);

    m_List->SetupReport(0);
    m_List->setFont(m_Font);

    for (int column = 0; column < 5; ++column) {
        const ColumnSpec& spec = kColumns[column];
        m_List->InsertColumn(column, spec.heading, LVCFMT_RIGHT, m_List->GetStringWidth(spec.sample) + 12);
    }

    // The engine takes a RollValues outside 1 .. 32767 as the nearest workable value; the list
    // shows the faces the engine really rolls.
    m_nValues = IniReadInt("SYS", "RollValues", 6);
    if (m_nValues != m_Totals.m_nValues)
        m_nValues = m_Totals.m_nValues;
    for (int row = 0; row < m_nValues + 2; ++row) {
        m_List->InsertItem(row, "");
        for (int column = 1; column < 5; ++column)
            m_List->SetItemText(row, column, "");
    }

    m_List->CreateBars(kBarColumn, kBarRange, kBarColour, kBarBackground, kBarCaption);
    m_List->DeleteBar(m_nValues);              // the spacer row
    m_List->SetBar(m_nValues + 1, 500, "");   // the reference mark for zero deviation

    m_nTimer = startTimer(1000);
    return true;
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

    if (m_Run.m_nState == 0)
        m_Run.Start();

    CTxt status;
    if (CollectRun(m_Run, m_Totals, m_bResetRequest, m_bStopped != 0, status))
        LogTrace("RunTally", 1, "%s", static_cast<const char*>(status));

    RefreshList();
    ShowStatus();
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
    CTxt text;
    int position = 0;
    for (int row = 0; row < m_nValues; ++row) {
        text.Format("%d", row + 1);
        m_List->SetItemText(row, 0, text);
        m_Totals.GetCountText(row, text);
        m_List->SetItemText(row, 1, text);
        m_Totals.GetDeviationText(row, -1, text);
        m_List->SetItemText(row, 2, text);
        m_Totals.GetDeviationText(row, 1, text);
        m_List->SetItemText(row, 3, text);

        if (GetBarCell(m_Totals, row, position, text))
            m_List->SetBar(row, position, text);
    }
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

void CCheckDlg::keyPressEvent(QKeyEvent* event)
{
    // Alt+Space opens the system menu, as on the desktop the dialog was made for.
    if (event->key() == Qt::Key_Space && (event->modifiers() & Qt::AltModifier)) {
        if (m_sysMenu)
            m_sysMenu->popup(mapToGlobal(QPoint(0, 0)));
        return;
    }
    QDialog::keyPressEvent(event);
}

void CCheckDlg::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_sysMenu)
        m_sysMenu->popup(event->globalPos());
}
