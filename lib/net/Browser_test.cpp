// The browser launcher with fake browsers: small shell scripts that write the arguments they
// were given, one per line, into a file.
#include <qdx/Browser.h>
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path) << text;
}

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("qdx-browser-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "config");
        fs::create_directories(dir / "data" / "applications");
        // Only the test's own directories count: no user or system browser is ever found.
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (dir / "none").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        setenv("XDG_DATA_DIRS", (dir / "none").c_str(), 1);
        unsetenv("BROWSER");
        // A settings file of the test's own: tests may run in parallel.
        SetIniPath((dir / "test.ini").c_str());
        previousHook = SetMessageBoxHook([this](const char* text, const char* caption, unsigned) {
            boxes += std::string(caption) + "|" + text;
            return IDOK;
        });
    }

    void TearDown() override
    {
        SetMessageBoxHook(previousHook);
        SetIniPath(nullptr);
        unsetenv("BROWSER");
        fs::remove_all(dir);
    }

    // A fake browser that sleeps `seconds`, then writes each argument on its own line to args.txt.
    fs::path FakeBrowser(const char* seconds = "0")
    {
        fs::path script = dir / "fake browser.sh";
        WriteFile(script, std::string("#!/bin/sh\nsleep ") + seconds + "\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                              (dir / "args.txt").string() + ".part\"\nmv \"" + (dir / "args.txt").string() + ".part\" \"" +
                              (dir / "args.txt").string() + "\"\n");
        fs::permissions(script, fs::perms::owner_all);
        return script;
    }

    std::string StoredBrowser()
    {
        char browser[1001];
        IniReadBuf("INTERNET", "Browser", "", browser, sizeof browser);
        return browser;
    }

    fs::path dir;
    std::string boxes;
    MessageBoxHook previousHook;
};

TEST(BrowserCommand, DropsPlaceholdersAndAddressesAndTurnsBackslashes)
{
    char out[1001];
    RebuildBrowserCommand("\"C:\\Apps\\Web\\browser.exe\" -new \"%1\"", out, sizeof out);
    EXPECT_STREQ(out, "\"C:/Apps/Web/browser.exe\" -new ");
    RebuildBrowserCommand("browser %1 -x", out, sizeof out);
    EXPECT_STREQ(out, "browser -x ");
    RebuildBrowserCommand("firefox %u", out, sizeof out);
    EXPECT_STREQ(out, "firefox ");
    // A field that is an http address, or only a beginning of "http:", goes too.
    RebuildBrowserCommand("web HTTP://home h -k", out, sizeof out);
    EXPECT_STREQ(out, "web -k ");
    EXPECT_EQ(RebuildBrowserCommand("", out, sizeof out), 0);
    EXPECT_STREQ(out, "");
}

TEST_F(BrowserTest, UsesTheCommandInBrowserAndWaitsForItsEnd)
{
    fs::path script = FakeBrowser("0.3");
    // $BROWSER names a path with a blank; quoted, it stays one word.
    setenv("BROWSER", ("'" + script.string() + "'").c_str(), 1);
    ASSERT_EQ(LaunchBrowser("http://www.example.org/a\\b", 1), 0);
    EXPECT_TRUE(fs::exists(dir / "args.txt"));  // wait 1 returned only after the end
    EXPECT_EQ(ReadFile(dir / "args.txt"), "http://www.example.org/a/b\n");
    EXPECT_EQ(StoredBrowser(), "'" + script.string() + "' ");
    EXPECT_EQ(boxes, "");
}

TEST_F(BrowserTest, WithoutWaitingReturnsAtOnce)
{
    fs::path script = FakeBrowser("1");
    setenv("BROWSER", ("'" + script.string() + "'").c_str(), 1);
    ASSERT_EQ(LaunchBrowser("page.htm", 0), 0);
    EXPECT_FALSE(fs::exists(dir / "args.txt"));
    for (int i = 0; i < 100 && !fs::exists(dir / "args.txt"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ReadFile(dir / "args.txt"), "page.htm\n");
}

TEST_F(BrowserTest, FindsTheDesktopDefaultForHttp)
{
    fs::path script = FakeBrowser();
    WriteFile(dir / "data" / "applications" / "mimeapps.list",
              "[Added Associations]\nx-scheme-handler/http=other.desktop;\n"
              "[Default Applications]\nx-scheme-handler/http=missing.desktop;fake.desktop;\n");
    WriteFile(dir / "data" / "applications" / "fake.desktop",
              "[Desktop Entry]\nType=Application\nName=Fake\nExec=\"" + script.string() + "\" --new-window %u\n"
              "[Desktop Action private]\nExec=wrong\n");
    ASSERT_EQ(LaunchBrowser("http://www.example.org/", 1), 0);
    EXPECT_EQ(StoredBrowser(), "\"" + script.string() + "\" --new-window ");
    EXPECT_EQ(ReadFile(dir / "args.txt"), "--new-window\nhttp://www.example.org/\n");
}

TEST_F(BrowserTest, ShellCharactersReachTheBrowserAsOneArgument)
{
    fs::path script = FakeBrowser();
    setenv("BROWSER", ("'" + script.string() + "'").c_str(), 1);
    const std::string trap = (dir / "trap").string();
    const std::string document = "x\"; touch " + trap + "1; echo \" | touch " + trap + "2 & $(touch " + trap +
                                 "3) `touch " + trap + "4` > " + trap + "5 < /dev/null '";
    ASSERT_EQ(LaunchBrowser(document.c_str(), 1), 0);
    EXPECT_EQ(ReadFile(dir / "args.txt"), document + "\n");
    for (int i = 1; i <= 5; ++i)
        EXPECT_FALSE(fs::exists(trap + std::to_string(i))) << i;
}

TEST_F(BrowserTest, NoHandlerAndNoStoredCommandFailsWithAMessage)
{
    EXPECT_EQ(LaunchBrowser("http://www.example.org/", 1), -1);
    EXPECT_EQ(boxes, "View Error|Cannot start '' (2)\r\n");
}

TEST_F(BrowserTest, StoredCommandIsUsedWhenNoHandlerIsRegistered)
{
    fs::path script = FakeBrowser();
    IniWriteString("INTERNET", "Browser", ("'" + script.string() + "' -k ").c_str());
    ASSERT_EQ(LaunchBrowser("doc", 1), 0);
    EXPECT_EQ(ReadFile(dir / "args.txt"), "-k\ndoc\n");
}

TEST_F(BrowserTest, AProgramThatCannotStartIsReported)
{
    IniWriteString("INTERNET", "Browser", "/nonexistent/browser ");
    EXPECT_EQ(LaunchBrowser("doc", 0), -1);
    EXPECT_EQ(boxes, "View Error|Cannot start '/nonexistent/browser ' (2)\r\n");
}

} // namespace
