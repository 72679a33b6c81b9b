#include "AboutDlg.h"
#include "DialogUnits.h"

#include <qdxui/QtText.h>

#include <qdx/Browser.h>

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <sys/wait.h>

namespace {

constexpr int kPollMs = 100;

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("About Rolvek");
    setFixedSize(DialogRect(this, 0, 0, 235, 75).size());
    QFont dialogFont = font();
    dialogFont.setPointSize(8);
    setFont(dialogFont);

    auto* icon = new QLabel(this);
    icon->setGeometry(DialogRect(this, 207, 7, 21, 20));
    icon->setPixmap(QIcon(":/rolvek/rolvek.png").pixmap(32, 32));

    m_stVersion = new QLabel("Rolvek Version 1.2a", this);
    m_stVersion->setGeometry(DialogRect(this, 7, 7, 159, 29));
    m_stVersion->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_stVersion->setTextFormat(Qt::PlainText);

    m_btnClose = new QPushButton("Close", this);
    m_btnClose->setGeometry(DialogRect(this, 178, 54, 50, 14));
    m_btnClose->setDefault(true);
    connect(m_btnClose, &QPushButton::clicked, this, &QDialog::accept);

    m_btnHomePage = new QPushButton(this);
    m_btnHomePage->setGeometry(DialogRect(this, 7, 41, 158, 27));
    m_btnHomePage->setText(QString("Rolvek is made by the Rolvek developers.\n"
                                   "Its home page, with news and updates:\n%1")
                               .arg(kHomePage));
    m_btnHomePage->setAutoDefault(false);
    connect(m_btnHomePage, &QPushButton::clicked, this, &CAboutDlg::OnHomePage);

    m_poll = new QTimer(this);
    m_poll->setInterval(kPollMs);
    connect(m_poll, &QTimer::timeout, this, &CAboutDlg::PollBrowser);

    OnInitDialog();
}

CAboutDlg::~CAboutDlg()
{
    // A browser still running when the box closes is collected in the background.
    if (m_browser > 0)
        ReleaseBrowser(m_browser);
}

bool CAboutDlg::OnInitDialog()
{
    char text[200];
    std::snprintf(text, sizeof text, "Rolvek Version 1.2b\r\n(%s %s)", __DATE__, __TIME__);
    m_version = QStringFromTxt(text);
    // A QLabel breaks lines at LF; the CR of the text stays in VersionText(). The package's
    // version, as `rolvek --version` prints it, follows on a line of its own.
    QString shown = m_version;
    shown.remove('\r');
    shown += QStringLiteral("\nPackage %1").arg(QStringLiteral(ROLVEK_VERSION));
    m_stVersion->setText(shown);
    return true;
}

void CAboutDlg::OnHomePage()
{
    m_btnHomePage->setEnabled(false);
    char address[1000];
    std::snprintf(address, sizeof address, "%s", kHomePage);
    pid_t pid = 0;
    if (StartBrowser(address, &pid) != 0) {
        BrowserEnded();
        return;
    }
    m_browser = pid;
    m_poll->start();
}

void CAboutDlg::PollBrowser()
{
    int status = 0;
    pid_t done = waitpid(m_browser, &status, WNOHANG);
    if (done == m_browser || (done < 0 && errno != EINTR)) {
        m_browser = 0;
        m_poll->stop();
        BrowserEnded();
    }
}

void CAboutDlg::BrowserEnded()
{
    m_btnClose->setFocus();
    m_btnHomePage->setEnabled(true);
}
