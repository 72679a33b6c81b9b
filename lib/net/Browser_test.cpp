// The browser launcher with fake browsers: small shell scripts that write the arguments they
// were given, one per line, into a file.
#include <qdx/Browser.h>
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <qdxtest/ScopedEnv.h>
#include <qdxtest/TempDir.h>

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
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

using qdx::test::ReadFile;
using qdx::test::WriteFile;

class BrowserTest : public qdx::test::TempDirTest {
protected:
    void SetUp() override
    {
        fs::create_directories(dir.File("config"));
        fs::create_directories(dir.File("data/applications"));
        // Only the test's own directories count: no user or system browser is ever found.
        env.Set("XDG_CONFIG_HOME", dir.File("config").c_str());
        env.Set("XDG_CONFIG_DIRS", dir.File("none").c_str());
        env.Set("XDG_DATA_HOME", dir.File("data").c_str());
        env.Set("XDG_DATA_DIRS", dir.File("none").c_str());
        env.Set("BROWSER", nullptr);
        env.Set("XDG_CURRENT_DESKTOP", nullptr);
        // A settings file of the test's own: tests may run in parallel.
        SetIniPath(dir.File("test.ini").c_str());
        previousHook = SetMessageBoxHook([this](const char* text, const char* caption, unsigned) {
            boxes += std::string(caption) + "|" + text;
            return IDOK;
        });
    }

    void TearDown() override
    {
        SetMessageBoxHook(previousHook);
        SetIniPath(nullptr);
    }

    // A fake browser that sleeps `seconds`, then writes each argument on its own line to args.txt.
    fs::path FakeBrowser(const char* seconds = "0")
    {
        fs::path script = dir.File("fake browser.sh");
        WriteFile(script, std::string("#!/bin/sh\nsleep ") + seconds + "\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                              dir.File("args.txt") + ".part\"\nmv \"" + dir.File("args.txt") + ".part\" \"" +
                              dir.File("args.txt") + "\"\n");
        fs::permissions(script, fs::perms::owner_all);
        return script;
    }

    std::string StoredBrowser()
    {
        char browser[1001];
        IniReadBuf("INTERNET", "Browser", "", browser, sizeof browser);
        return browser;
    }

    std::string boxes;
    MessageBoxHook previousHook;
    qdx::test::ScopedEnv env;
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
    env.Set("BROWSER", ("'" + script.string() + "'").c_str());
    ASSERT_EQ(LaunchBrowser("http://www.example.org/a\\b", 1), 0);
    EXPECT_TRUE(fs::exists(dir.File("args.txt")));  // wait 1 returned only after the end
    EXPECT_EQ(ReadFile(dir.File("args.txt")), "http://www.example.org/a/b\n");
    EXPECT_EQ(StoredBrowser(), "'" + script.string() + "' ");
    EXPECT_EQ(boxes, "");
}

TEST_F(BrowserTest, WithoutWaitingReturnsAtOnce)
{
    fs::path script = FakeBrowser("1");
    env.Set("BROWSER", ("'" + script.string() + "'").c_str());
    ASSERT_EQ(LaunchBrowser("page.htm", 0), 0);
    EXPECT_FALSE(fs::exists(dir.File("args.txt")));
    for (int i = 0; i < 100 && !fs::exists(dir.File("args.txt")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ReadFile(dir.File("args.txt")), "page.htm\n");
}

TEST_F(BrowserTest, FindsTheDesktopDefaultForHttp)
{
    fs::path script = FakeBrowser();
    WriteFile(dir.File("data/applications/mimeapps.list"),
              "[Added Associations]\nx-scheme-handler/http=other.desktop;\n"
              "[Default Applications]\nx-scheme-handler/http=missing.desktop;fake.desktop;\n");
    WriteFile(dir.File("data/applications/fake.desktop"),
              "[Desktop Entry]\nType=Application\nName=Fake\nExec=\"" + script.string() + "\" --new-window %u\n"
              "[Desktop Action private]\nExec=wrong\n");
    ASSERT_EQ(LaunchBrowser("http://www.example.org/", 1), 0);
    EXPECT_EQ(StoredBrowser(), "\"" + script.string() + "\" --new-window ");
    EXPECT_EQ(ReadFile(dir.File("args.txt")), "--new-window\nhttp://www.example.org/\n");
}

// The freedesktop lookup of the default application, list by list. Each case writes its files
// (paths under the test's folder) and names the Exec= line it must find ("" for none).
TEST_F(BrowserTest, FollowsTheFreedesktopLookupOrder)
{
    struct Case {
        const char* what;
        const char* desktops;  // $XDG_CURRENT_DESKTOP
        std::vector<std::pair<std::string, std::string>> files;
        const char* exec;
    };
    auto entry = [](const char* exec) { return std::string("[Desktop Entry]\nType=Application\nExec=") + exec + "\n"; };
    auto defaults = [](const char* ids) { return std::string("[Default Applications]\nx-scheme-handler/http=") + ids + "\n"; };
    const std::string installed = "data/applications/";
    const Case cases[] = {
        {"desktop-specific lists first, in the order of the desktops", "X-Test:GNOME",
         {{"config/mimeapps.list", defaults("plain.desktop")}, {"config/gnome-mimeapps.list", defaults("gnome.desktop")},
          {"config/x-test-mimeapps.list", defaults("xtest.desktop")}, {installed + "plain.desktop", entry("plain %u")},
          {installed + "gnome.desktop", entry("gnome %u")}, {installed + "xtest.desktop", entry("xtest %u")}},
         "xtest %u"},
        {"a desktop's list in the system config folders beats the plain one there", "GNOME",
         {{"sysconfig/mimeapps.list", defaults("plain.desktop")}, {"sysconfig/gnome-mimeapps.list", defaults("gnome.desktop")},
          {installed + "plain.desktop", entry("plain")}, {installed + "gnome.desktop", entry("gnome")}},
         "gnome"},
        {"a default not installed gives way to the next list's", "",
         {{"config/mimeapps.list", defaults("gone.desktop")}, {"sysdata/applications/mimeapps.list", defaults("b.desktop")},
          {"sysdata/applications/b.desktop", entry("b")}},
         "b"},
        {"only mimeinfo.cache lists it", "",
         {{"sysdata/applications/mimeinfo.cache", "[MIME Cache]\nx-scheme-handler/http=cache.desktop;\n"},
          {"sysdata/applications/cache.desktop", entry("cache %U")}},
         "cache %U"},
        {"added associations before the cache, removed ones left out", "",
         {{"config/mimeapps.list", "[Removed Associations]\nx-scheme-handler/http=one.desktop;\n"},
          {"sysconfig/mimeapps.list", "[Added Associations]\nx-scheme-handler/http=one.desktop;\n"},
          {"sysdata/applications/mimeinfo.cache", "[MIME Cache]\nx-scheme-handler/http=one.desktop;two.desktop;\n"},
          {installed + "one.desktop", entry("one")}, {installed + "two.desktop", entry("two")}},
         "two"},
        {"an id with a dash may name a sub-folder", "",
         {{"config/mimeapps.list", defaults("vendor-web.desktop")}, {installed + "vendor/web.desktop", entry("web")}},
         "web"},
        {"a hidden entry in the user's folder hides the system's", "",
         {{"config/mimeapps.list", defaults("b.desktop")}, {installed + "b.desktop", "[Desktop Entry]\nHidden=true\n"},
          {"sysdata/applications/b.desktop", entry("b")}},
         ""},
    };
    for (const Case& c : cases) {
        for (const char* sub : {"config", "sysconfig", "data", "sysdata"})
            fs::remove_all(dir.File(sub));
        env.Set("XDG_CONFIG_DIRS", dir.File("sysconfig").c_str());
        env.Set("XDG_DATA_DIRS", dir.File("sysdata").c_str());
        env.Set("XDG_CURRENT_DESKTOP", c.desktops);
        for (const auto& [path, text] : c.files) {
            fs::create_directories(fs::path(dir.File(path)).parent_path());
            WriteFile(dir.File(path), text);
        }
        char found[1001];
        GetRegisteredBrowser(found, sizeof found);
        EXPECT_STREQ(found, c.exec) << c.what;
    }
}

TEST_F(BrowserTest, ShellCharactersReachTheBrowserAsOneArgument)
{
    fs::path script = FakeBrowser();
    env.Set("BROWSER", ("'" + script.string() + "'").c_str());
    const std::string trap = dir.File("trap");
    const std::string document = "x\"; touch " + trap + "1; echo \" | touch " + trap + "2 & $(touch " + trap +
                                 "3) `touch " + trap + "4` > " + trap + "5 < /dev/null '";
    ASSERT_EQ(LaunchBrowser(document.c_str(), 1), 0);
    EXPECT_EQ(ReadFile(dir.File("args.txt")), document + "\n");
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
    EXPECT_EQ(ReadFile(dir.File("args.txt")), "-k\ndoc\n");
}

TEST_F(BrowserTest, AProgramThatCannotStartIsReported)
{
    IniWriteString("INTERNET", "Browser", "/nonexistent/browser ");
    EXPECT_EQ(LaunchBrowser("doc", 0), -1);
    EXPECT_EQ(boxes, "View Error|Cannot start '/nonexistent/browser ' (2)\r\n");
}

} // namespace
