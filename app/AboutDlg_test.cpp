// The about box: its version text and the home-page button with a fake browser (a shell script
// that sleeps, then leaves a mark), while the main dialog's timer keeps running.
#include "AboutDlg.h"
#include "CheckDlg.h"
#include "Resource.h"

#include <qdxtest/QuietLog.h>
#include <qdxtest/TestApp.h>

#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A fake browser that sleeps, then writes the address it was given to "opened".
class AboutDlgTest : public qdx::test::TempDirTest {
protected:
    void SetUp() override
    {
        TestApp();
        RegisterRolvekStrings();
        const std::string script =
            dir.Write("browser.sh", "#!/bin/sh\nsleep 1.5\necho \"$1\" > \"" + dir.File("opened") + "\"\n");
        fs::permissions(script, fs::perms::owner_all);
        setenv("BROWSER", script.c_str(), 1);
    }

    void TearDown() override { unsetenv("BROWSER"); }

    qdx::test::ScopedSettings settings{dir, "[SYS]\nRollsPerRun=1000\n"};
};

TEST_F(AboutDlgTest, ShowsVersionAndBuildOnTwoLines)
{
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle().toStdString(), "About Rolvek");
    const std::string text = about.VersionText().toStdString();
    // "Rolvek Version 1.2b", CR LF, then "(Jan  3 2006 08:32:16)".
    EXPECT_TRUE(std::regex_match(text, std::regex("Rolvek Version 1\\.2b\r\n\\([A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} "
                                                  "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\)")))
        << text;
    EXPECT_TRUE(about.CloseButton()->isDefault());
    // The label adds the package's version, as `rolvek --version` prints it.
    bool package = false;
    for (QLabel* label : about.findChildren<QLabel*>())
        package = package || label->text().endsWith(QStringLiteral("\nPackage " ROLVEK_VERSION));
    EXPECT_TRUE(package);
}

TEST_F(AboutDlgTest, HomePageButtonWaitsForTheBrowserWithoutFreezingTheTool)
{
    CCheckDlg dialog;
    dialog.OnInitDialog();  // starts the one-second timer
    CAboutDlg about;
    about.show();

    about.HomePageButton()->click();
    EXPECT_FALSE(about.HomePageButton()->isEnabled());
    EXPECT_TRUE(about.BrowserRunning());

    // While the browser runs, events are handled: the main dialog's timer starts its first run.
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.m_Run.m_nState != 0; }, 5000));
    EXPECT_TRUE(about.BrowserRunning());
    EXPECT_FALSE(about.HomePageButton()->isEnabled());

    EXPECT_TRUE(QTest::qWaitFor([&] { return about.HomePageButton()->isEnabled(); }, 10000));
    EXPECT_FALSE(about.BrowserRunning());
    EXPECT_EQ(qdx::test::ReadFile(dir.File("opened")), std::string(kHomePage) + "\n");
}

TEST_F(AboutDlgTest, AFailedStartEnablesTheButtonAgainAtOnce)
{
    setenv("BROWSER", "/nonexistent/browser", 1);
    int boxes = 0;
    auto previous = SetMessageBoxHook([&](const char*, const char* caption, unsigned) {
        boxes += std::string(caption) == "View Error";
        return IDOK;
    });
    CAboutDlg about;
    about.HomePageButton()->click();
    EXPECT_TRUE(about.HomePageButton()->isEnabled());
    EXPECT_FALSE(about.BrowserRunning());
    EXPECT_EQ(boxes, 1);
    SetMessageBoxHook(previous);
}

} // namespace
