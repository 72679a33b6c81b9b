#include <qdx/Log.h>
#include <qdx/Settings.h>

#include "log/LogInternal.h"
#include "settings/IniText.h"
#include "settings/SettingsInternal.h"

#include <qdxtest/TempDir.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using qdx::test::ReadFile;
using qdx::test::WriteFile;

// The value as a lookup in the text finds it; the parsed index must agree.
std::string Find(std::string_view text, const char* section, const char* key)
{
    std::string value, indexed;
    const bool found = qdx::ini_internal::Lookup(text, section, key, &value);
    EXPECT_EQ(qdx::ini_internal::IniIndex(text).Find(section, key, &indexed), found) << section << "/" << key;
    EXPECT_EQ(indexed, found ? value : std::string()) << section << "/" << key;
    return found ? value : std::string("<missing>");
}

// --- the file layout ----------------------------------------------------------------------------

TEST(IniLayout, LookupIgnoresCaseBlanksAndLineEnds)
{
    const std::string text =
        "\xEF\xBB\xBF; settings\r\n"
        "orphan=before any section\r\n"
        "[Sys]\r\n"
        "  RollValues =  6  \r\n"
        "TimeFont=\"DejaVu Sans\"\r\n"
        "Quote='x\r\n"
        "# RollsPerRun=5\r\n"
        "Empty=\r\n"
        "NoEquals\r\n"
        "[ Release ] trailing words\n"
        "WriteLog=NO\n"
        "[SYS]\n"
        "RollValues=99\n"
        "Late=1";
    EXPECT_EQ(Find(text, "SYS", "rollvalues"), "6");
    EXPECT_EQ(Find(text, " sys ", " ROLLVALUES "), "6");  // the first section of a name wins
    EXPECT_EQ(Find(text, "SYS", "TimeFont"), "DejaVu Sans");
    EXPECT_EQ(Find(text, "SYS", "Quote"), "'x");
    EXPECT_EQ(Find(text, "SYS", "RollsPerRun"), "<missing>");  // commented out
    EXPECT_EQ(Find(text, "SYS", "Empty"), "");
    EXPECT_EQ(Find(text, "SYS", "NoEquals"), "<missing>");
    EXPECT_EQ(Find(text, "SYS", "orphan"), "<missing>");
    EXPECT_EQ(Find(text, "SYS", "Late"), "<missing>");
    EXPECT_EQ(Find(text, "release", "writelog"), "NO");
    EXPECT_EQ(Find(text, "INTERNET", "Browser"), "<missing>");
    EXPECT_EQ(Find("", "SYS", "A"), "<missing>");
}

TEST(IniLayout, WriteChangesOnlyItsOwnLine)
{
    const std::string text =
        "; keep me\n"
        "\n"
        "[SYS]\n"
        "Unknown = 1\n"
        "  rollvalues = 6   \n"
        "\n"
        "; about RELEASE\n"
        "[RELEASE]\n"
        "WriteLog=YES\n";
    std::string out = qdx::ini_internal::Apply(text, "sys", "RollValues", "8");
    EXPECT_EQ(out, "; keep me\n\n[SYS]\nUnknown = 1\n  rollvalues = 8\n\n; about RELEASE\n"
                   "[RELEASE]\nWriteLog=YES\n");

    out = qdx::ini_internal::Apply(text, "SYS", "TimeFont", "Arial");  // after the section's last key
    EXPECT_EQ(out, "; keep me\n\n[SYS]\nUnknown = 1\n  rollvalues = 6   \nTimeFont=Arial\n\n"
                   "; about RELEASE\n[RELEASE]\nWriteLog=YES\n");

    out = qdx::ini_internal::Apply(text, "INTERNET", "Browser", "");  // a new section goes last
    EXPECT_EQ(out, text + "[INTERNET]\nBrowser=\n");

    out = qdx::ini_internal::Apply(text, "SYS", "Unknown", nullptr);
    EXPECT_EQ(out, "; keep me\n\n[SYS]\n  rollvalues = 6   \n\n; about RELEASE\n[RELEASE]\nWriteLog=YES\n");
    EXPECT_EQ(qdx::ini_internal::Apply(text, "SYS", "Nothing", nullptr), text);

    out = qdx::ini_internal::Apply(text, "SYS", nullptr, nullptr);
    EXPECT_EQ(out, "; keep me\n\n[RELEASE]\nWriteLog=YES\n");
}

TEST(IniLayout, LfCrLfAndLoneCrReadAlike)
{
    for (const char* nl : {"\n", "\r\n", "\r"}) {
        const std::string text = std::string("; c") + nl + "[A]" + nl + "x=1" + nl + nl + "[B]" + nl + "y = 2" + nl;
        EXPECT_EQ(Find(text, "A", "x"), "1") << text;
        EXPECT_EQ(Find(text, "B", "y"), "2") << text;
        EXPECT_EQ(Find(text, "A", "y"), "<missing>") << text;
    }
    const std::string mixed = "[A]\rx=1\r\ny=2\nz=3\r\r[B]\r\nw=4";
    for (const char* key : {"x", "y", "z"})
        EXPECT_NE(Find(mixed, "A", key), "<missing>") << key;
    EXPECT_EQ(Find(mixed, "B", "w"), "4");
}

TEST(IniLayout, WriteFollowsTheFileLineEnds)
{
    struct Case {
        const char* text;
        const char* section;
        const char* key;
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        {"[A]\r\nx=1\r\n", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n"},
        {"[A]\r\nx=1\r\n", "A", "X", "3", "[A]\r\nx=3\r\n"},
        {"[A]\r\nx=1", "B", "y", "2", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n"},
        {"[A]\nx=1", "A", "y", "2", "[A]\nx=1\ny=2\n"},
        {"[A]", "A", "y", "2", "[A]\ny=2\n"},
        {"", "A", "y", "2", "[A]\ny=2\n"},
        // Lone CR: the file's own line end, for new lines too.
        {"[A]\rx=1\r[B]\rz=0\r", "A", "y", "2", "[A]\rx=1\ry=2\r[B]\rz=0\r"},
        {"[A]\rx=1\r", "A", "x", "5", "[A]\rx=5\r"},
        {"[A]\rx=1", "C", "y", "2", "[A]\rx=1\r[C]\ry=2\r"},
        {"[A]\r", "A", "y", "2", "[A]\ry=2\r"},
        {"[A]\rx=1\r[B]\rz=0\r", "A", nullptr, nullptr, "[B]\rz=0\r"},
        // Mixed: the first line's end is the file's; a last line ending in a lone CR is complete.
        {"[A]\r\nx=1\ry=1\n", "A", "z", "2", "[A]\r\nx=1\ry=1\nz=2\r\n"},
        {"x=1\n[A]\r\nk=1\r", "A", "y", "2", "x=1\n[A]\r\nk=1\ry=2\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qdx::ini_internal::Apply(c.text, c.section, c.key, c.value), c.expected) << c.text;
}

TEST(IniLayout, EveryValueReadsBackAsWritten)
{
    // Blanks at either end and quotes around the whole value would be taken off by the reader;
    // such values are stored in one more pair of quotes.
    for (const char* value : {"plain", "", "ends in a blank ", " starts with one", "'quoted'",
                              "\"browser\" -new ", "\"", "'", "a \"b\" c", "\t"}) {
        std::string out = qdx::ini_internal::Apply("[A]\n", "A", "k", value);
        EXPECT_EQ(Find(out, "A", "k"), value) << out;
    }
    EXPECT_EQ(qdx::ini_internal::Apply("", "A", "k", "cmd "), "[A]\nk=\"cmd \"\n");
    EXPECT_EQ(qdx::ini_internal::Apply("", "A", "k", "plain text"), "[A]\nk=plain text\n");
}

TEST(IniLayout, RefusesWhatTheLayoutCannotHold)
{
    EXPECT_TRUE(qdx::ini_internal::CanWrite("SYS", "Key", "any text = with ; and [x]"));
    EXPECT_TRUE(qdx::ini_internal::CanWrite("SYS", nullptr, nullptr));
    EXPECT_FALSE(qdx::ini_internal::CanWrite(nullptr, "Key", "v"));
    EXPECT_FALSE(qdx::ini_internal::CanWrite("  ", "Key", "v"));
    EXPECT_FALSE(qdx::ini_internal::CanWrite("S]YS", "Key", "v"));
    EXPECT_FALSE(qdx::ini_internal::CanWrite("SYS", "", "v"));
    EXPECT_FALSE(qdx::ini_internal::CanWrite("SYS", "a=b", "v"));
    EXPECT_FALSE(qdx::ini_internal::CanWrite("SYS", "[Key", "v"));
    EXPECT_FALSE(qdx::ini_internal::CanWrite("SYS", ";Key", "v"));
    EXPECT_FALSE(qdx::ini_internal::CanWrite("SYS", "Key", "two\nlines"));
    EXPECT_FALSE(qdx::ini_internal::CanWrite("SYS", "Key", "cr\r"));
    EXPECT_FALSE(qdx::ini_internal::CanWrite("SY\nS", "Key", "v"));
}

// --- paths --------------------------------------------------------------------------------------

TEST(SettingsPaths, BuildDirectoriesAndSuffixesAreDropped)
{
    using qdx::ini_internal::ExeDirFromPath;
    using qdx::ini_internal::IniPathFromPath;
    EXPECT_EQ(ExeDirFromPath("/opt/tool/Release/tool"), "/opt/tool");
    EXPECT_EQ(ExeDirFromPath("/opt/tool/debug/tool"), "/opt/tool");
    EXPECT_EQ(ExeDirFromPath("/opt/tool/tool"), "/opt/tool");
    EXPECT_EQ(ExeDirFromPath("/opt/MyRelease/tool"), "/opt/MyRelease");
    EXPECT_EQ(ExeDirFromPath("/tool"), "");

    EXPECT_EQ(IniPathFromPath("/opt/tool/Release/TOOLRELEASE.EXE"), "/opt/tool/TOOL.ini");
    EXPECT_EQ(IniPathFromPath("/opt/tool/Debug/toolDebug"), "/opt/tool/tool.ini");
    EXPECT_EQ(IniPathFromPath("/opt/tool/rolvek"), "/opt/tool/rolvek.ini");
    EXPECT_EQ(IniPathFromPath("/opt/tool/Release"), "/opt/tool/Release.ini");  // nothing left to cut to
    EXPECT_EQ(IniPathFromPath("/tool"), "/tool.ini");
}

TEST(SettingsPaths, TheRunningProgramsPaths)
{
    char exe[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    std::string expectedDir = qdx::ini_internal::ExeDirFromPath(exe);

    char dir[PATH_MAX];
    EXPECT_EQ(GetExeDir(dir), static_cast<int>(expectedDir.size()));
    EXPECT_EQ(std::string(dir), expectedDir);
    CString path;
    EXPECT_GT(GetIniPath(path), 0);
    EXPECT_EQ(std::string(path), expectedDir + "/qdx_settings_test.ini");

    char tiny[4] = "xyz";
    EXPECT_EQ(GetIniPath(tiny, sizeof tiny), -1);
    EXPECT_STREQ(tiny, "");

    SetIniPath("/elsewhere/x.ini");
    EXPECT_EQ(std::string(path.GetString()), expectedDir + "/qdx_settings_test.ini");
    GetIniPath(path);
    EXPECT_STREQ(path, "/elsewhere/x.ini");
    SetIniPath(nullptr);
    GetIniPath(path);
    EXPECT_EQ(std::string(path), expectedDir + "/qdx_settings_test.ini");
}

// --- readers and writer on real files ----------------------------------------------------------

// A scratch folder, and `ini`, a settings file in it that does not exist yet.
class SettingsFileTest : public qdx::test::TempDirTest {
protected:
    const std::string ini = dir.File("t.ini");
};
class SettingsReaders : public SettingsFileTest {};
class SettingsWriter : public SettingsFileTest {};

TEST_F(SettingsReaders, IntegersAreReadAndNormalised)
{
    WriteFile(ini, "[SYS]\nA=+7\nB=seven\nC=  12abc\nD=\nE=-42\nF=99999999999\n");
    EXPECT_EQ(IniReadInt("SYS", "A", 1, ini.c_str()), 7);
    EXPECT_EQ(IniReadInt("SYS", "B", 1, ini.c_str()), 0);
    EXPECT_EQ(IniReadInt("SYS", "C", 1, ini.c_str()), 12);
    EXPECT_EQ(IniReadInt("SYS", "D", 1, ini.c_str()), 0);  // empty but present: not the default
    EXPECT_EQ(IniReadInt("SYS", "E", 1, ini.c_str()), -42);
    EXPECT_EQ(IniReadInt("SYS", "F", 1, ini.c_str()), INT_MAX);
    EXPECT_EQ(IniReadInt("SYS", "G", 100000, ini.c_str()), 100000);
    EXPECT_EQ(ReadFile(ini), "[SYS]\nA=7\nB=0\nC=12\nD=0\nE=-42\nF=2147483647\nG=100000\n");
}

TEST_F(SettingsReaders, FlagsKeepTheirText)
{
    const std::string longText(150, 'y');
    WriteFile(ini, "[SYS]\nA=true\nB=1\nC=yes\nD=No\nE=" + longText + "\n");
    EXPECT_EQ(IniReadBool("SYS", "A", 0, ini.c_str()), 1);
    EXPECT_EQ(IniReadBool("SYS", "B", 1, ini.c_str()), 0);
    EXPECT_EQ(IniReadBool("SYS", "C", 0, ini.c_str()), 1);
    EXPECT_EQ(IniReadBool("SYS", "D", 1, ini.c_str()), 0);
    EXPECT_EQ(IniReadBool("SYS", "E", 1, ini.c_str()), 0);
    EXPECT_EQ(IniReadBool("RELEASE", "WriteLog", 1, ini.c_str()), 1);
    EXPECT_EQ(IniReadBool("SYS", "LogFileFlushOnEach", 0, ini.c_str()), 0);
    EXPECT_EQ(ReadFile(ini), "[SYS]\nA=true\nB=1\nC=yes\nD=No\nE=" + longText +
                                 "\nLogFileFlushOnEach=NO\n[RELEASE]\nWriteLog=YES\n");
}

TEST_F(SettingsReaders, TextsAreCutToTheCallersRoom)
{
    std::string longValue(5000, 'v');
    WriteFile(ini, "[SYS]\r\nTimeFont=Arial\r\nLong=" + longValue + "\r\n");

    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(IniReadBuf("SYS", "TimeFont", "x", buffer, 4, ini.c_str()), 3);
    EXPECT_STREQ(buffer, "Ari");
    EXPECT_EQ(buffer[4], '#');  // nothing written past the size given
    EXPECT_EQ(IniReadBuf("SYS", "TimeFont", "x", buffer, 0, ini.c_str()), 0);
    EXPECT_EQ(IniReadBuf("SYS", "Missing", "Courier", buffer, sizeof buffer, ini.c_str()), 7);
    EXPECT_STREQ(buffer, "Courier");

    CString text;
    EXPECT_EQ(IniReadString("SYS", "TimeFont", "x", text, ini.c_str()), 5);
    EXPECT_STREQ(text, "Arial");
    EXPECT_EQ(IniReadString("SYS", "Long", "", text, ini.c_str()), kIniMaxValue);
    EXPECT_EQ(IniReadString("SYS", "Missing", nullptr, text, ini.c_str()), 0);
    EXPECT_STREQ(text, "");
    CTxt txt;
    EXPECT_EQ(IniReadString("SYS", "Long", "", txt, ini.c_str()), kIniMaxValue);
    EXPECT_EQ(IniReadString("sys", "timefont", "", txt, ini.c_str()), 5);
    EXPECT_STREQ(txt, "Arial");
    // Reading never writes.
    EXPECT_EQ(ReadFile(ini), "[SYS]\r\nTimeFont=Arial\r\nLong=" + longValue + "\r\n");
}

TEST_F(SettingsReaders, MissingOrUnreadableFilesGiveDefaults)
{
    EXPECT_EQ(IniReadInt("SYS", "RollValues", 6, ini.c_str()), 6);  // creates the file
    EXPECT_EQ(ReadFile(ini), "[SYS]\nRollValues=6\n");

    const std::string folder = dir.File("dir.ini");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    EXPECT_EQ(IniReadInt("SYS", "RollValues", 6, folder.c_str()), 6);
    CString text;
    EXPECT_EQ(IniReadString("SYS", "TimeFont", "Arial", text, folder.c_str()), 5);
    EXPECT_EQ(IniWriteString("SYS", "TimeFont", "Arial", folder.c_str()), -1);

    EXPECT_EQ(IniWriteString("SYS", "Key", "v", dir.File("no/such/dir.ini").c_str()), -1);
}

// Paths that are no plain file, or too large a one: defaults, no hang, no write, one logged note.
TEST_F(SettingsReaders, OnlyPlainFilesOfAtMostTheLimitAreUsed)
{
    SetIniPath(dir.File("own.ini").c_str());  // the log writer's own settings
    qdx::log_internal::SetProgramDir(dir.Path().c_str());
    qdx::log_internal::ResetState();

    const std::string fifo = dir.File("fifo.ini"), zero = dir.File("zero.ini"), folder = dir.File("dir.ini"),
                      dangling = dir.File("dangling.ini"), large = dir.File("large.ini"), fits = dir.File("fits.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(symlink(dir.File("nothing").c_str(), dangling.c_str()), 0);
    const std::string head = "[SYS]\nRollValues=9\n;";
    WriteFile(large, head + std::string(kIniMaxFileSize + 1 - head.size(), 'x'));
    WriteFile(fits, head + std::string(kIniMaxFileSize - head.size(), 'x'));

    EXPECT_EQ(IniReadInt("SYS", "RollValues", 6, fits.c_str()), 9);
    for (const std::string& path : {fifo, zero, folder, dangling, large}) {
        struct stat before, after;
        ASSERT_EQ(lstat(path.c_str(), &before), 0);
        EXPECT_EQ(IniReadInt("SYS", "RollValues", 6, path.c_str()), 6) << path;
        EXPECT_EQ(IniReadInt("SYS", "RollValues", 6, path.c_str()), 6) << path;
        CString text;
        EXPECT_EQ(IniReadString("SYS", "TimeFont", "Arial", text, path.c_str()), 5) << path;
        EXPECT_EQ(IniWriteString("SYS", "TimeFont", "Arial", path.c_str()), -1) << path;
        ASSERT_EQ(lstat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << path;  // never replaced
        EXPECT_EQ(after.st_size, before.st_size) << path;
    }
    const std::string log = ReadFile(qdx::log_internal::CurrentPath());
    qdx::log_internal::ResetState();
    for (const std::string& path : {fifo, zero, folder, dangling, large}) {
        const std::string note = "Settings file " + path + " ";
        const std::size_t at = log.find(note);
        EXPECT_NE(at, std::string::npos) << path << "\n" << log;
        EXPECT_EQ(log.find(note, at + 1), std::string::npos) << "noted once: " << path;
    }
    EXPECT_NE(log.find(large + " is larger than 1048576 bytes"), std::string::npos);
    EXPECT_NE(log.find(fifo + " is not a plain file"), std::string::npos);
    qdx::log_internal::SetProgramDir(nullptr);
    SetIniPath(nullptr);
}

TEST_F(SettingsReaders, ManyKeysCostOneParseUntilTheFileChanges)
{
    std::string text = "[SYS]\n";
    for (int i = 0; i < 50; ++i)
        text += "K" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    WriteFile(ini, text);

    const long before = qdx::ini_internal::ParseCount();
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(IniReadInt("SYS", ("K" + std::to_string(i)).c_str(), -1, ini.c_str()), i);
    EXPECT_EQ(qdx::ini_internal::ParseCount() - before, 1);

    // Another writer, in place: same inode and size, another modification time.
    std::string changed = text;
    changed.replace(changed.find("K7=7"), 4, "K7=8");
    WriteFile(ini, changed);
    timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, ini.c_str(), times, 0), 0);
    EXPECT_EQ(IniReadInt("SYS", "K7", -1, ini.c_str()), 8);
    EXPECT_EQ(IniReadInt("SYS", "K8", -1, ini.c_str()), 8);
    EXPECT_EQ(qdx::ini_internal::ParseCount() - before, 2);

    // A write of what the file holds already changes nothing; a real one is read back.
    EXPECT_EQ(IniWriteString("SYS", "K1", "1", ini.c_str()), 0);
    EXPECT_EQ(IniWriteString("SYS", "K1", "one", ini.c_str()), 0);
    CString value;
    IniReadString("SYS", "K1", "", value, ini.c_str());
    EXPECT_STREQ(value, "one");
    EXPECT_EQ(qdx::ini_internal::ParseCount() - before, 3);
}

TEST_F(SettingsWriter, KeepsEverythingElseAndReplacesAtomically)
{
    const std::string original = "; Rolvek settings\r\n\r\n[SYS]\r\nRollValues=6\r\nMine=keep\r\n";
    WriteFile(ini, original);
    ASSERT_EQ(chmod(ini.c_str(), 0640), 0);
    struct stat before;
    ASSERT_EQ(stat(ini.c_str(), &before), 0);

    EXPECT_EQ(IniWriteString("sys", "rollvalues", "8", ini.c_str()), 0);
    struct stat after;
    ASSERT_EQ(stat(ini.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);  // a new file took the old one's place
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(IniWriteString("INTERNET", "Browser", "firefox %s", ini.c_str()), 0);
    EXPECT_EQ(ReadFile(ini), "; Rolvek settings\r\n\r\n[SYS]\r\nRollValues=8\r\nMine=keep\r\n"
                             "[INTERNET]\r\nBrowser=firefox %s\r\n");

    ASSERT_EQ(stat(ini.c_str(), &after), 0);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"t.ini", "t.ini.lock"}));  // no temporary file left

    // A write that changes nothing leaves the file alone.
    EXPECT_EQ(IniWriteString("SYS", "Mine", "keep", ini.c_str()), 0);
    struct stat same;
    ASSERT_EQ(stat(ini.c_str(), &same), 0);
    EXPECT_EQ(same.st_ino, after.st_ino);

    // Values the layout cannot hold are refused, and the file stays as it was.
    std::string now = ReadFile(ini);
    EXPECT_EQ(IniWriteString("SYS", "Mine", "two\nlines", ini.c_str()), -2);
    EXPECT_EQ(IniWriteString("SYS", "A=B", "v", ini.c_str()), -2);
    EXPECT_EQ(IniWriteString(nullptr, "A", "v", ini.c_str()), -2);
    EXPECT_EQ(ReadFile(ini), now);

    EXPECT_EQ(IniWriteString("SYS", "Mine", nullptr, ini.c_str()), 0);
    EXPECT_EQ(IniWriteString("INTERNET", nullptr, nullptr, ini.c_str()), 0);
    EXPECT_EQ(ReadFile(ini), "; Rolvek settings\r\n\r\n[SYS]\r\nRollValues=8\r\n");
}

TEST_F(SettingsWriter, WritesThroughASymbolicLink)
{
    std::string real = dir.File("real.ini");
    std::string link = dir.File("link.ini");
    WriteFile(real, "[SYS]\nA=1\n");
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    EXPECT_EQ(IniWriteString("SYS", "A", "2", link.c_str()), 0);
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(real), "[SYS]\nA=2\n");
}

TEST_F(SettingsWriter, ThreadsDoNotLoseEachOthersWrites)
{
    auto writer = [this](const char* section) {
        for (int i = 0; i < 20; ++i) {
            std::string key = "K" + std::to_string(i);
            IniWriteString(section, key.c_str(), "v", ini.c_str());
        }
    };
    // Readers beside them see each key either missing or written, never anything else.
    auto reader = [this] {
        for (int i = 0; i < 200; ++i) {
            CString value;
            IniReadString("A", ("K" + std::to_string(i % 20)).c_str(), "", value, ini.c_str());
            EXPECT_TRUE(value.IsEmpty() || std::string(value) == "v") << value;
        }
    };
    std::thread a(writer, "A"), b(writer, "B"), c(reader), d(reader);
    a.join();
    b.join();
    c.join();
    d.join();
    for (const char* section : {"A", "B"})
        for (int i = 0; i < 20; ++i) {
            std::string key = "K" + std::to_string(i);
            CString value;
            IniReadString(section, key.c_str(), "<missing>", value, ini.c_str());
            EXPECT_STREQ(value, "v") << section << " " << key;
        }
}

TEST_F(SettingsWriter, ProcessesDoNotLoseEachOthersKeys)
{
    const int kKeys = 100;
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        children[p] = fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            int failed = 0;
            for (int i = 0; i < kKeys; ++i) {
                std::string key = "P" + std::to_string(p) + "K" + std::to_string(i);
                failed += IniWriteString("SYS", key.c_str(), "v", ini.c_str()) != 0;
            }
            _exit(failed);
        }
    }
    for (pid_t child : children) {
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string text = ReadFile(ini);
    int lost = 0;
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < kKeys; ++i)
            lost += Find(text, "SYS", ("P" + std::to_string(p) + "K" + std::to_string(i)).c_str()) != "v";
    EXPECT_EQ(lost, 0);
}

// The next write removes what killed writers left: temporary files of processes that no longer
// run. A running process's, this one's and names that only look alike stay. (The killing test
// below meets such files only when a kill lands mid-write.)
TEST_F(SettingsWriter, RemovesTheTemporaryFilesOfWritersThatAreGone)
{
    WriteFile(ini, "[SYS]\nA=1\n");
    const pid_t gone = fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        _exit(0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    const std::string stale = ini + ".tmp." + std::to_string(gone) + ".1";
    const std::string kept[] = {ini + ".tmp." + std::to_string(getppid()) + ".1",
                                ini + ".tmp." + std::to_string(getpid()) + ".7", ini + ".tmp.x.1",
                                dir.File("other.ini.tmp.") + std::to_string(gone) + ".1"};
    for (const std::string& path : kept)
        WriteFile(path, "x");
    WriteFile(stale, "x");
    EXPECT_EQ(IniWriteString("SYS", "A", "2", ini.c_str()), 0);
    EXPECT_FALSE(qdx::test::Exists(stale));
    for (const std::string& path : kept)
        EXPECT_TRUE(qdx::test::Exists(path)) << path;
}

// A writer killed at any moment leaves the old file or the new one, never a torn one.
TEST_F(SettingsWriter, SurvivesBeingKilledMidWrite)
{
    const int kKeys = 40;
    const std::string filler(200, 'x');
    {
        std::string text = "; must survive\n[SYS]\n";
        for (int k = 0; k < kKeys; ++k)
            text += "K" + std::to_string(k) + "=0-" + filler + "\n";
        WriteFile(ini, text);
    }
    unsigned seed = 7;
    for (int round = 0; round < 25; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (long n = 1;; ++n) {
                std::string key = "K" + std::to_string(n % kKeys);
                std::string value = std::to_string(n) + "-" + filler;
                IniWriteString("SYS", key.c_str(), value.c_str(), ini.c_str());
            }
        }
        seed = seed * 1103515245u + 12345u;
        usleep(2000 + (seed >> 16) % 20000);
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));

        std::string text = ReadFile(ini);
        ASSERT_EQ(text.rfind("; must survive\n[SYS]\n", 0), 0u) << "round " << round;
        for (int k = 0; k < kKeys; ++k) {
            std::string key = "K" + std::to_string(k);
            std::string value = Find(text, "SYS", key.c_str());
            ASSERT_GE(value.size(), filler.size() + 2) << "round " << round << " " << key;
            ASSERT_EQ(value.substr(value.size() - filler.size()), filler) << "round " << round;
        }
        ASSERT_EQ(text.back(), '\n');
    }
    // The temporary files of killed writers are cleaned up by the next writer.
    EXPECT_EQ(IniWriteString("SYS", "K0", "done", ini.c_str()), 0);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"t.ini", "t.ini.lock"}));
}

} // namespace
