// CAboutDlg: the about box. It shows the version with the build date and time, and offers a
// button that opens the product's home page in the user's browser.
//
// While the browser started from that button runs, the button stays disabled; the about box,
// the main dialog and its timer keep running meanwhile (the browser's end is polled, never
// waited for on the user-interface thread).
#pragma once

#include <QDialog>

#include <sys/types.h>

class QLabel;
class QPushButton;
class QTimer;

enum : int {
    IDC_HOMEPAGE = 1003,
    IDC_VERSION = 1005,
};

// The product's home page.
inline constexpr const char* kHomePage = "http://www.example.org/rolvek/";

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    // Sets the version text "Rolvek Version 1.2b\r\n(<build date> <build time>)"; the label
    // shows the package's version ("Package 1.2.0") on a third line.
    bool OnInitDialog();
    // Opens the home page in the browser; the button is enabled again when the browser ends.
    void OnHomePage();

    // The version text as set, with its CR LF line break.
    QString VersionText() const { return m_version; }
    QPushButton* HomePageButton() const { return m_btnHomePage; }
    QPushButton* CloseButton() const { return m_btnClose; }
    // Whether a browser started from the button is still running.
    bool BrowserRunning() const { return m_browser > 0; }

private:
    void PollBrowser();
    void BrowserEnded();

    QLabel* m_stVersion = nullptr;
    QPushButton* m_btnHomePage = nullptr;
    QPushButton* m_btnClose = nullptr;
    QTimer* m_poll = nullptr;
    QString m_version;
    pid_t m_browser = 0;
};
