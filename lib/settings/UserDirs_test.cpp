// Where settings and logs go: beside a portable copy, in the user's XDG folders for an installed one.
#include <qdx/Log.h>
#include <qdx/Settings.h>

#include "log/LogInternal.h"
#include "settings/UserDirs.h"

#include <qdxtest/ScopedEnv.h>
#include <qdxtest/TempDir.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsDir(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

using qdx::test::ReadFile;

// Each test gets a scratch folder, and the environment and path cache it changes are put back.
class UserDirsTest : public qdx::test::TempDirTest {
protected:
    void TearDown() override
    {
        qdx::ini_internal::SetExecutablePathForTests(nullptr);
        SetProgramFolder(nullptr);
        qdx::log_internal::ResetState();
    }

    // Points the path rules at an executable and decides again with the given environment.
    void UseExecutable(const std::string& exe, const char* configHome, const char* stateHome, const char* home)
    {
        env.Set("XDG_CONFIG_HOME", configHome);
        env.Set("XDG_STATE_HOME", stateHome);
        env.Set("HOME", home);
        qdx::ini_internal::SetExecutablePathForTests(exe.c_str());
    }

    static std::string IniPath()
    {
        CString path;
        GetIniPath(path);
        return path.str();
    }
    static std::string StateDir()
    {
        CString dir;
        GetStateDir(dir);
        return dir.str();
    }

    qdx::test::ScopedEnv env;
};

TEST(UserFolderRules, FollowTheXdgBaseDirectoryRules)
{
    using qdx::ini_internal::UserFolder;
    EXPECT_EQ(UserFolder("/x/cfg", "/home/a", ".config", "rolvek"), "/x/cfg/rolvek");
    EXPECT_EQ(UserFolder("/x/cfg//", "/home/a", ".config", "qdx-time"), "/x/cfg/qdx-time");
    EXPECT_EQ(UserFolder(nullptr, "/home/a", ".config", "rolvek"), "/home/a/.config/rolvek");
    EXPECT_EQ(UserFolder("", "/home/a/", ".local/state", "rolvek"), "/home/a/.local/state/rolvek");
    // Relative values are ignored, as the XDG rules say.
    EXPECT_EQ(UserFolder("cfg", "/home/a", ".config", "rolvek"), "/home/a/.config/rolvek");
    EXPECT_EQ(UserFolder("/", "/home/a", ".config", "rolvek"), "/rolvek");
    EXPECT_EQ(UserFolder(nullptr, nullptr, ".config", "rolvek"), "");
    EXPECT_EQ(UserFolder(nullptr, "relative/home", ".config", "rolvek"), "");
}

TEST(UserFolderRules, SystemProgramFoldersAreNeverPortable)
{
    // Even root, who may write to them, keeps its files out of these.
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/usr/games", "/bin", "/sbin", "/snap/rolvek/1", "/usr"})
        EXPECT_FALSE(qdx::ini_internal::KeepBesideExecutable(dir)) << dir;
    EXPECT_FALSE(qdx::ini_internal::KeepBesideExecutable("/does/not/exist"));
    EXPECT_TRUE(qdx::ini_internal::KeepBesideExecutable("/tmp"));
    EXPECT_TRUE(qdx::ini_internal::KeepBesideExecutable("/tmp/"));
    // "/usrlocal" is not inside /usr.
    EXPECT_FALSE(qdx::ini_internal::KeepBesideExecutable("/usrlocal"));  // absent, so not writable either
}

TEST_F(UserDirsTest, APortableCopyKeepsEverythingBesideItself)
{
    const std::string portable = dir.File("portable");
    ASSERT_EQ(mkdir(portable.c_str(), 0755), 0);
    UseExecutable(portable + "/Release/rolvek", dir.File("cfg").c_str(), dir.File("state").c_str(), dir.Path().c_str());

    EXPECT_EQ(IniPath(), portable + "/rolvek.ini");
    EXPECT_EQ(StateDir(), portable);
    EXPECT_EQ(IniReadInt("SYS", "RollValues", 6), 6);
    EXPECT_NE(ReadFile(portable + "/rolvek.ini").find("RollValues=6"), std::string::npos);
    EXPECT_FALSE(IsDir(dir.File("cfg")));  // the user's folders stay untouched
}

TEST_F(UserDirsTest, AnInstalledCopyUsesTheUsersFolders)
{
    UseExecutable("/usr/bin/rolvek", dir.File("cfg").c_str(), dir.File("state").c_str(), "/nonexistent");

    char exeDir[64];
    GetExeDir(exeDir);
    EXPECT_STREQ(exeDir, "/usr/bin");  // the executable's folder itself is still reported
    EXPECT_EQ(IniPath(), dir.File("cfg/rolvek/rolvek.ini"));
    EXPECT_EQ(StateDir(), dir.File("state/rolvek"));
    CString text;
    IniReadString("SYS", "TimeFont", "Arial", text);
    EXPECT_FALSE(IsDir(dir.File("cfg/rolvek")));  // asking and reading make no folder
    EXPECT_FALSE(IsDir(dir.File("state/rolvek")));

    // The readers create their keys there (and the folder, private to the user), and nothing
    // is written beside the executable.
    EXPECT_EQ(IniReadInt("SYS", "RollsPerRun", 100000), 100000);
    EXPECT_NE(ReadFile(dir.File("cfg/rolvek/rolvek.ini")).find("RollsPerRun=100000"), std::string::npos);
    struct stat st;
    ASSERT_EQ(stat((dir.File("cfg/rolvek")).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_NE(access("/usr/bin/rolvek.ini", F_OK), 0);

    // The choice is made once: a later change of the environment does not move the files.
    env.Set("XDG_CONFIG_HOME", dir.File("other").c_str());
    EXPECT_EQ(IniPath(), dir.File("cfg/rolvek/rolvek.ini"));
}

TEST_F(UserDirsTest, WithoutXdgVariablesTheHomeFolderDefaultsApply)
{
    const std::string home = dir.File("home");
    ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
    UseExecutable("/usr/local/bin/Rolvek-Check", nullptr, "relative/ignored", home.c_str());

    ASSERT_EQ(SetProgramFolder("rolvek"), 0);
    EXPECT_EQ(IniPath(), home + "/.config/rolvek/Rolvek-Check.ini");
    EXPECT_EQ(StateDir(), home + "/.local/state/rolvek");
}

TEST_F(UserDirsTest, EachProgramNamesItsFolderOrGetsItsExecutablesName)
{
    struct Case {
        const char* exe;
        const char* folder;  // given to SetProgramFolder; null: none
        const char* ini;     // under the config folder
        const char* state;
    };
    const Case cases[] = {
        {"/usr/bin/rolvek", "rolvek", "rolvek/rolvek.ini", "rolvek"},
        {"/usr/bin/rolvek-check", "rolvek", "rolvek/rolvek-check.ini", "rolvek"},
        {"/usr/bin/qdx-time", "qdx-time", "qdx-time/qdx-time.ini", "qdx-time"},
        {"/usr/bin/other-tool", nullptr, "other-tool/other-tool.ini", "other-tool"},
        {"/usr/local/bin/ToolRelease.bin", nullptr, "Tool/Tool.ini", "Tool"},
    };
    for (const Case& c : cases) {
        UseExecutable(c.exe, (dir.File("cfg")).c_str(), (dir.File("state")).c_str(), "/nonexistent");
        ASSERT_EQ(SetProgramFolder(c.folder), 0) << c.exe;
        EXPECT_EQ(IniPath(), dir.File("cfg/") + c.ini) << c.exe;
        EXPECT_EQ(StateDir(), dir.File("state/") + c.state) << c.exe;
    }
    // Named once: once the paths are decided another name is refused, the same one is fine.
    EXPECT_EQ(SetProgramFolder("elsewhere"), -1);
    EXPECT_EQ(SetProgramFolder("Tool"), -1);  // it came from the executable, not from a call
    UseExecutable("/usr/bin/x", (dir.File("cfg")).c_str(), nullptr, "/nonexistent");
    for (const char* bad : {"", ".", "..", "a/b"})
        EXPECT_EQ(SetProgramFolder(bad), -2) << bad;
    EXPECT_EQ(SetProgramFolder("x-name"), 0);
    EXPECT_EQ(IniPath(), dir.File("cfg/x-name/x.ini"));
    EXPECT_EQ(SetProgramFolder("x-name"), 0);
}

TEST_F(UserDirsTest, AFolderThisProcessCannotWriteCountsAsInstalled)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write to any folder";
    const std::string locked = dir.File("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
    UseExecutable(locked + "/rolvek", dir.File("cfg").c_str(), dir.File("state").c_str(), dir.Path().c_str());
    EXPECT_EQ(IniPath(), dir.File("cfg/rolvek/rolvek.ini"));
    EXPECT_EQ(StateDir(), dir.File("state/rolvek"));
    chmod(locked.c_str(), 0755);
}

TEST_F(UserDirsTest, TheLogOfAnInstalledCopyGoesToTheStateFolder)
{
    UseExecutable("/usr/bin/rolvek", dir.File("cfg").c_str(), dir.File("state").c_str(), "/nonexistent");
    SetIniPath(nullptr);
    qdx::log_internal::SetProgramDir(nullptr);
    qdx::log_internal::ResetState();

    LogWrite("Test", "installed copy", 0);
    const std::string path = qdx::log_internal::CurrentPath();
    qdx::log_internal::ResetState();

    const std::string logs = dir.File("state/rolvek/logs/");
    ASSERT_EQ(path.compare(0, logs.size(), logs), 0) << path;
    EXPECT_NE(ReadFile(path).find("installed copy"), std::string::npos);
    // The log writer's own settings went to the user's settings file.
    EXPECT_NE(ReadFile(dir.File("cfg/rolvek/rolvek.ini")).find("WriteLog=YES"), std::string::npos);
}

} // namespace
