#include <qdx/Log.h>
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include "log/LogInternal.h"

#include <qdxtest/TempDir.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
namespace li = qdx::log_internal;
using qdx::test::Exists;
using qdx::test::ReadFile;
using qdx::test::WriteFile;

// The lines of a log file, without their CR LF; a last piece without CR LF is kept as it is.
std::vector<std::string> Lines(const std::string& path)
{
    const std::string all = ReadFile(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < all.size()) {
        const size_t end = all.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(all.substr(start));
            break;
        }
        lines.push_back(all.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// 2006-12-06 14:03:27.015 in the test's time zone (UTC).
timespec FixedInstant(int extraSeconds = 0)
{
    std::tm tm{};
    tm.tm_year = 2006 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 6;
    tm.tm_hour = 14;
    tm.tm_min = 3;
    tm.tm_sec = 27;
    return timespec{timegm(&tm) + extraSeconds, 15 * 1000000};
}

// Every test starts as a fresh process would: nothing decided, a settings file and a program
// directory of its own in a temporary directory, a fixed clock, and recording hooks.
class LogTest : public qdx::test::TempDirTest {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        ::mkdir(dir.File("prog").c_str(), 0777);
        li::SetProgramDir(dir.File("prog/").c_str());
        SetIniPath(m_ini.c_str());
        li::ResetState();
        SetClockAt(0);
        SetLastMessageSink([this](const char* text) { m_sunk.push_back(text); });
        SetMessageBoxHook([this](const char* text, const char* caption, unsigned type) {
            m_boxes.push_back({text, caption, type});
            return IDOK;
        });
    }

    void TearDown() override
    {
        li::SetSyncHook(nullptr);
        li::ResetState();
        li::SetProgramDir(nullptr);
        SetIniPath(nullptr);
        SetClockNowSource(nullptr);
        SetLastMessageSink(nullptr);
        SetMessageBoxHook(nullptr);
    }

    void SetClockAt(int secondsLater)
    {
        SetClockNowSource([secondsLater] { return FixedInstant(secondsLater); });
    }

    void Settings(const std::string& sys, const std::string& release = "")
    {
        WriteFile(m_ini, "[SYS]\r\n" + sys + "[RELEASE]\r\n" + release);
    }

    // Commits from here on are counted instead of going to the disk: those done by this thread
    // and those done by the committer. While held, a commit waits (for a minute at most: a
    // writer that waited for it would otherwise hang the test).
    void CountSyncs()
    {
        li::SetSyncHook([this, caller = std::this_thread::get_id()](int) {
            std::unique_lock<std::mutex> hold(m_syncLock);
            m_syncWaiting = true;
            m_syncChanged.notify_all();
            if (!m_syncChanged.wait_for(hold, std::chrono::minutes(1), [this] { return !m_syncHeld; }))
                m_syncTimedOut = true;
            m_syncWaiting = false;
            ++(std::this_thread::get_id() == caller ? m_synced.caller : m_synced.background);
        });
    }

    void HoldSyncs(bool held)
    {
        std::lock_guard<std::mutex> hold(m_syncLock);
        m_syncHeld = held;
        m_syncChanged.notify_all();
    }

    bool SyncIsWaiting()
    {
        std::unique_lock<std::mutex> hold(m_syncLock);
        return m_syncChanged.wait_for(hold, std::chrono::minutes(1), [this] { return m_syncWaiting; });
    }

    struct Synced {
        int caller = 0, background = 0;
    };
    Synced Syncs()
    {
        std::lock_guard<std::mutex> hold(m_syncLock);
        EXPECT_FALSE(m_syncTimedOut);
        return m_synced;
    }

    struct Box {
        std::string text, caption;
        unsigned type;
    };
    std::mutex m_syncLock;
    std::condition_variable m_syncChanged;
    bool m_syncHeld = false, m_syncWaiting = false, m_syncTimedOut = false;
    Synced m_synced;
    const std::string m_ini = dir.File("settings.ini");
    const std::string m_logPath = dir.File("prog/logs/20061206/qdx_log_test.log");
    std::vector<std::string> m_sunk;
    std::vector<Box> m_boxes;
};

TEST_F(LogTest, DayFileLiesInTheProgramDirectoryUnderTheDateAndProgramName)
{
    LogTrace("HTTP", 0, "Accessing %s...", "Internet");
    ASSERT_TRUE(Exists(m_logPath)) << m_logPath;
    EXPECT_EQ(li::CurrentPath(), m_logPath);
    EXPECT_THAT(Lines(m_logPath),
                ElementsAre("ACTION-INIT     |061206|14:03:27.015 |====== Opening " + m_logPath + " ======",
                            "HTTP            |061206|14:03:27.015 |Accessing Internet..."));
    // The settings the writer read are now listed in the settings file with their defaults.
    const std::string ini = ReadFile(m_ini);
    for (const char* key : {"WriteLog=YES", "LogFileAppend=YES", "LogShowDate=YES", "LogShowTime=YES",
                            "LogFileFlushOnEach=NO"})
        EXPECT_THAT(ini, HasSubstr(key));

    EXPECT_EQ(li::ProgramName("/opt/Rolvek/Rolvek-Check.bin"), "rolvek-check");
    EXPECT_EQ(li::ProgramName("qdx_log_test"), "qdx_log_test");
    EXPECT_EQ(li::ProgramName("C:\\Tools\\TOOL.EXE"), "tool");
    EXPECT_EQ(li::LogFilePath("/a", "tool", 2026, 1, 2), "/a/logs/20260102/tool.log");
}

TEST_F(LogTest, TheFileStaysTheOneChosenAtTheFirstMessage)
{
    LogTrace("A", 0, "before midnight");
    SetClockAt(24 * 3600);  // the next day
    LogTrace("A", 0, "after midnight");
    EXPECT_FALSE(Exists(dir.File("prog/logs/20061207")));
    EXPECT_THAT(Lines(m_logPath), ElementsAre(StartsWith("ACTION-INIT"), HasSubstr("|before midnight"),
                                              "A               |061207|14:03:27.015 |after midnight"));
}

TEST_F(LogTest, LineLayoutFollowsTheDateAndTimeSettingsAndTheLevel)
{
    struct Case {
        const char* showDate;
        const char* showTime;
        const char* level0;
        const char* level1;
    } cases[] = {
        {"YES", "YES", "HTTP            |061206|14:03:27.015 |Accessing Internet...",
         "HTTP            |061206|14:03:27.015a|Accessing Internet..."},
        {"NO", "YES", "HTTP            |14:03:27.015 |Accessing Internet...",
         "HTTP            |14:03:27.015a|Accessing Internet..."},
        {"YES", "NO", "HTTP            |061206| |Accessing Internet...",
         "HTTP            |061206|a|Accessing Internet..."},
        {"NO", "NO", "HTTP            | |Accessing Internet...", "HTTP            |a|Accessing Internet..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.showDate) + "/" + c.showTime);
        li::ResetState();
        Settings(std::string("LogFileAppend=NO\r\nLogShowDate=") + c.showDate + "\r\nLogShowTime=" + c.showTime +
                 "\r\n");
        LogTrace("HTTP", 0, "Accessing Internet...");
        LogTrace("HTTP", 1, "Accessing Internet...");
        LogTrace("HTTP", 2, "b");
        LogTrace("HTTP", -3, "blank");
        LogWrite(nullptr, "no category", 1);
        LogTrace("HTTP", 40, "far");
        const std::vector<std::string> lines = Lines(m_logPath);
        ASSERT_EQ(lines.size(), 7u);
        EXPECT_EQ(lines[1], c.level0);
        EXPECT_EQ(lines[2], c.level1);
        const std::string time = std::strcmp(c.showTime, "YES") == 0 ? "14:03:27.015" : "";
        EXPECT_THAT(lines[3], HasSubstr("|" + time + "b|b"));
        EXPECT_THAT(lines[4], HasSubstr("|" + time + " |blank"));
        // Without a category there is neither a category column nor a date.
        EXPECT_EQ(lines[5], time + "a|no category");
        // Levels past 26 stay a letter.
        EXPECT_THAT(lines[6], HasSubstr("|" + time + "z|far"));
    }
}

TEST_F(LogTest, CategoryIsCutOrPaddedToSixteenAndLineBreaksBecomePlus)
{
    LogTrace("TwentyCharCategory!!", 0, "x");
    LogTrace("Abc", 0, "a\r\nb");
    LogTrace("", 0, "\n");
    LogTrace("Two\r\nLines", 0, "x");
    const std::vector<std::string> lines = Lines(m_logPath);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "TwentyCharCatego|061206|14:03:27.015 |x");
    EXPECT_EQ(lines[2], "Abc             |061206|14:03:27.015 |a++b");
    EXPECT_EQ(lines[3], "                |061206|14:03:27.015 |+");
    // Line breaks in a category would split the line as well.
    EXPECT_EQ(lines[4], "Two++Lines      |061206|14:03:27.015 |x");
    // The sink gets the text as it was given, line breaks and all.
    EXPECT_THAT(m_sunk, ElementsAre("x", "a\r\nb", "\n", "x"));
}

TEST_F(LogTest, EmptyMessageIsNeitherLoggedNorHandedOn)
{
    LogTrace("A", 0, "%s", "");
    EXPECT_TRUE(m_sunk.empty());
    EXPECT_FALSE(Exists(dir.File("prog/logs")));  // not even the first-message decision was taken
    LogTrace("A", 0, "one");
    LogTrace("A", 0, "%s", "");
    EXPECT_THAT(m_sunk, ElementsAre("one"));
    EXPECT_EQ(Lines(m_logPath).size(), 2u);
}

TEST_F(LogTest, OverlongMessageIsCutAndReportedInAMessageBox)
{
    const std::string longText(12000, 'x');
    LogTrace("Big", 1, "%s!", longText.c_str());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, "LOGTRACE Buffer overrun!");
    EXPECT_EQ(m_boxes[0].text, std::string(kLogMaxMessage, 'x'));
    EXPECT_TRUE(m_boxes[0].type & MB_ICONERROR);
    const std::vector<std::string> lines = Lines(m_logPath);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Big             |061206|14:03:27.015a|" + std::string(kLogMaxMessage, 'x'));
    ASSERT_EQ(m_sunk.size(), 1u);
    EXPECT_EQ(m_sunk[0].size(), static_cast<size_t>(kLogMaxMessage));

    // Exactly the longest text passes without a box.
    LogTrace("Big", 1, "%s", std::string(kLogMaxMessage, 'y').c_str());
    EXPECT_EQ(m_boxes.size(), 1u);
}

TEST_F(LogTest, WriteLogNoWritesNothingButStillReachesTheSink)
{
    Settings("", "WriteLog=no\r\n");
    LogTrace("RunTally", 1, "Completed Runs: %d - Running ...", 1);
    LogTrace("RunTally", 1, "Completed Runs: %d - Stopped", 2);
    EXPECT_FALSE(Exists(dir.File("prog/logs")));
    EXPECT_THAT(m_sunk, ElementsAre("Completed Runs: 1 - Running ...", "Completed Runs: 2 - Stopped"));
    EXPECT_EQ(li::CurrentPath(), "");
}

TEST_F(LogTest, AppendSettingDecidesWhetherASecondProcessKeepsTheDaysFile)
{
    LogTrace("A", 0, "first process");
    li::ResetState();  // a second process on the same day
    LogTrace("A", 0, "second process");
    EXPECT_THAT(Lines(m_logPath), ElementsAre(StartsWith("ACTION-INIT"), HasSubstr("|first process"),
                                              StartsWith("ACTION-INIT"), HasSubstr("|second process")));

    // A process killed in the middle of a line left it cut off: the next one starts a new line.
    std::ofstream(m_logPath, std::ios::binary | std::ios::app) << "A               |0612";
    li::ResetState();
    LogTrace("A", 0, "after a cut line");
    EXPECT_THAT(Lines(m_logPath), ElementsAre(_, _, _, _, "A               |0612", StartsWith("ACTION-INIT"),
                                              HasSubstr("|after a cut line")));

    li::ResetState();
    Settings("LogFileAppend=NO\r\n");
    LogTrace("A", 0, "third process");
    EXPECT_THAT(Lines(m_logPath), ElementsAre(StartsWith("ACTION-INIT"), HasSubstr("|third process")));
}

TEST_F(LogTest, OpenLogCommandOpensOnceAndRestartsTheFlushCounters)
{
    const std::string path = dir.File("direct.log");
    EXPECT_EQ(LogFileWrite("*openlog", path.c_str(), 1), 1);  // any case is the command
    EXPECT_THAT(Lines(path), ElementsAre("ACTION-INIT     |061206|14:03:27.015 |====== Opening " + path + " ======"));
    EXPECT_EQ(LogFileWrite("*OPENLOG", dir.File("other.log").c_str(), 0), -1);
    EXPECT_FALSE(Exists(dir.File("other.log")));

    // Fifteen lines, then a refused open: the counters start again, so twenty more lines do not
    // commit and the twenty-first does.
    for (int i = 0; i < 15; ++i)
        LogFileWrite("Line", "text", 0);
    const long before = li::CommitCount();
    EXPECT_EQ(LogFileWrite("*OPENLOG", path.c_str(), 0), -1);
    for (int i = 0; i < 20; ++i)
        LogFileWrite("Line", "text", 0);
    EXPECT_EQ(li::CommitCount(), before);
    LogFileWrite("Line", "text", 0);
    EXPECT_EQ(li::CommitCount(), before + 1);

    // A category that only starts like a command is an ordinary one.
    EXPECT_EQ(LogFileWrite("*OPENLOGX", "plain line", 0), 0);
    EXPECT_EQ(Lines(path).back(), "*OPENLOGX       |061206|14:03:27.015 |plain line");

    EXPECT_EQ(LogFileWrite("*CLOSE", "", 0), 0);
    EXPECT_EQ(LogFileWrite("*OPENLOG", dir.File("missing/dir.log").c_str(), 0), -2);
    EXPECT_EQ(LogFileWrite("*OPENLOG", nullptr, 0), -2);
}

TEST_F(LogTest, FlushCloseAndCopyCommands)
{
    LogTrace("A", 0, "one");
    long commits = li::CommitCount();
    EXPECT_EQ(LogFileWrite("*Flush", "", 0), 0);
    EXPECT_EQ(li::CommitCount(), ++commits);

    // *COPY commits and copies the day's file into the current directory.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    LogTrace("*COPY", 0, "go");  // commands come through LogTrace too
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(li::CommitCount(), ++commits);
    EXPECT_EQ(ReadFile(dir.File("LogCpy.tmp")), ReadFile(m_logPath));

    EXPECT_EQ(LogWrite("*close", "x", 0), 0);
    EXPECT_EQ(li::CommitCount(), ++commits);
    const std::string closed = ReadFile(m_logPath);
    EXPECT_EQ(LogWrite("A", "after close", 0), 0);
    EXPECT_EQ(LogFileWrite("*FLUSH", "", 0), 0);
    EXPECT_EQ(ReadFile(m_logPath), closed);
    EXPECT_EQ(li::CommitCount(), commits);
    // Nothing reopens the file by itself; *OPENLOG does.
    EXPECT_EQ(LogFileWrite("*OPENLOG", m_logPath.c_str(), 0), 1);
    EXPECT_EQ(LogWrite("A", "reopened", 0), 0);
    EXPECT_THAT(Lines(m_logPath).back(), HasSubstr("|reopened"));
}

TEST_F(LogTest, CommitsComeEveryTwentyOneLinesOrAfterTenSeconds)
{
    CountSyncs();
    LogTrace("A", 0, "opens the file");  // the open commits, and the line is the first of 21
    long commits = li::CommitCount();
    for (int i = 2; i <= 20; ++i)
        LogTrace("A", 0, "line %d", i);
    EXPECT_EQ(li::CommitCount(), commits);
    LogTrace("A", 0, "line 21");
    EXPECT_EQ(li::CommitCount(), ++commits);
    li::WaitForCommits();
    EXPECT_EQ(Syncs().background, 1);  // carried out by the committer

    // Ten seconds after the last commit nothing happens yet; a line eleven seconds after does.
    SetClockAt(10);
    LogTrace("A", 0, "ten seconds on");
    EXPECT_EQ(li::CommitCount(), commits);
    SetClockAt(11);
    LogTrace("A", 0, "eleven seconds on");
    EXPECT_EQ(li::CommitCount(), ++commits);
    // Nothing commits on a timer: without lines, time alone does nothing.
    SetClockAt(100);
    EXPECT_EQ(li::CommitCount(), commits);

    li::WaitForCommits();
    EXPECT_EQ(Syncs().background, 2);
    EXPECT_EQ(Syncs().caller, 1);  // the open's
}

TEST_F(LogTest, LinesGoOnWhileTheCommitterWaitsForTheDisk)
{
    CountSyncs();
    LogTrace("A", 0, "line 1");
    HoldSyncs(true);
    for (int i = 2; i <= 21; ++i)
        LogTrace("A", 0, "line %d", i);
    ASSERT_TRUE(SyncIsWaiting());
    const long commits = li::CommitCount();
    for (int i = 22; i <= 63; ++i)  // two more commits due
        LogTrace("A", 0, "line %d", i);
    EXPECT_EQ(li::CommitCount(), commits + 2);
    EXPECT_EQ(Lines(m_logPath).size(), 64u);
    EXPECT_EQ(Syncs().background, 0);

    // One commit covers everything written before it: the two ordered meanwhile become one.
    HoldSyncs(false);
    li::WaitForCommits();
    EXPECT_EQ(Syncs().background, 2);

    // Closing ends the committer; the close's own commit is done by the caller.
    EXPECT_TRUE(li::CommitterRunning());
    LogFileWrite("*CLOSE", "", 0);
    EXPECT_FALSE(li::CommitterRunning());
    EXPECT_EQ(Syncs().caller, 2);
}

TEST_F(LogTest, FlushOnEachCommitsEveryLineBeforeReturning)
{
    Settings("LogFileFlushOnEach=true\r\n");
    CountSyncs();
    LogTrace("A", 0, "opens");
    const long commits = li::CommitCount();
    const int synced = Syncs().caller;
    for (int i = 0; i < 5; ++i)
        LogTrace("A", 0, "line");
    EXPECT_EQ(li::CommitCount(), commits + 5);
    EXPECT_EQ(Syncs().caller, synced + 5);
    EXPECT_FALSE(li::CommitterRunning());
}

// SIGKILL in the middle of logging, commits running: every line whose LogTrace returned is in
// the file, whole and in order. Only the line being written may be cut off (the kernel can stop a
// write at a page boundary for a killed process); the next process starts on a line of its own.
TEST_F(LogTest, KilledWhileLoggingLeavesEveryReturnedLineWhole)
{
    void* shared = mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* returned = new (shared) std::atomic<int>(0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        li::SetSyncHook([](int fd) { ::fdatasync(fd); });  // the committer, also where /tmp is tmpfs
        for (int i = 0;; ++i) {
            LogTrace("Killed", 0, "line %07d of a log that ends abruptly", i);
            returned->store(i + 1);
        }
    }
    for (int waited = 0; returned->load() < 5000 && waited < 60000; ++waited)
        usleep(1000);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const int count = returned->load();
    munmap(shared, sizeof(std::atomic<int>));
    ASSERT_GE(count, 5000);

    li::ResetState();
    LogTrace("Next", 0, "process");
    std::vector<std::string> lines = Lines(m_logPath);
    ASSERT_GE(lines.size(), 3u + count);
    EXPECT_EQ(lines.back(), "Next            |061206|14:03:27.015 |process");
    EXPECT_THAT(lines[lines.size() - 2], StartsWith("ACTION-INIT"));
    lines.resize(lines.size() - 2);
    ASSERT_LE(lines.size(), 2u + count);  // the line being written when the child was killed
    EXPECT_THAT(lines[0], StartsWith("ACTION-INIT"));
    char expected[128];
    for (size_t i = 1; i < lines.size(); ++i) {
        std::snprintf(expected, sizeof expected, "Killed          |061206|14:03:27.015 |line %07zu of a log that ends abruptly", i - 1);
        if (i <= static_cast<size_t>(count))
            ASSERT_EQ(lines[i], expected);
        else
            ASSERT_THAT(expected, StartsWith(lines[i]));
    }
}

// The child of a fork gets the locks unheld and a committer of its own.
TEST_F(LogTest, ForkedChildCommitsOnItsOwn)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer stops a child that starts threads after a fork of a process with threads";
#endif
    for (int i = 1; i <= 21; ++i)
        LogTrace("Parent", 0, "line %d", i);
    ASSERT_TRUE(li::CommitterRunning());
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer's allocator does not guard fork: a committer still starting (its thread
    // allocates as it begins) could leave its lock held in the child, which would then hang on
    // its first allocation. Without the sanitizer the fork also meets a commit still in flight.
    li::WaitForCommits();
#endif
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const long commits = li::CommitCount();
        for (int i = 1; i <= 21; ++i)
            LogTrace("Child", 0, "line %d", i);
        li::WaitForCommits();
        _exit(li::CommitCount() == commits + 1 && li::CommitterRunning() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Lines(m_logPath).size(), 43u);
}

TEST_F(LogTest, TwoProcessesAppendingToOneFileLeaveWholeLines)
{
    const std::string path = dir.File("shared.log");
    constexpr int kLines = 10000;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            li::ResetState();
            if (LogFileWrite("*OPENLOG", path.c_str(), 0) != 1)
                _exit(1);
            char text[64];
            for (int i = 0; i < kLines; ++i) {
                std::snprintf(text, sizeof text, "process %c line %05d of a mixed log", 'A' + c, i);
                LogFileWrite("Writer", text, 0);
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 2u + 2 * kLines);
    const std::regex whole("Writer          \\|061206\\|14:03:27\\.015 \\|process ([AB]) line (\\d{5}) of a mixed log");
    int next[2] = {0, 0};
    int opening = 0;
    for (const std::string& line : lines) {
        std::smatch m;
        if (line.rfind("ACTION-INIT", 0) == 0) {
            ++opening;
            continue;
        }
        ASSERT_TRUE(std::regex_match(line, m, whole)) << line;
        const int who = m[1].str()[0] - 'A';
        EXPECT_EQ(std::stoi(m[2].str()), next[who]++);  // each process's lines in its own order
    }
    EXPECT_EQ(opening, 2);
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
}

TEST_F(LogTest, ThreadsLoggingAtOnceLeaveWholeLines)
{
    std::atomic<int> sunk{0};
    SetLastMessageSink([&sunk](const char*) { ++sunk; });
    LogTrace("Main", 0, "start");
    auto writer = [](char who) {
        for (int i = 0; i < 500; ++i)
            LogTrace("Thread", 0, "%c %04d", who, i);
    };
    std::thread a(writer, 'A'), b(writer, 'B');
    a.join();
    b.join();
    EXPECT_EQ(sunk.load(), 1001);
    const std::vector<std::string> lines = Lines(m_logPath);
    ASSERT_EQ(lines.size(), 1002u);
    const std::regex whole("Thread          \\|061206\\|14:03:27\\.015 \\|[AB] \\d{4}");
    for (size_t i = 2; i < lines.size(); ++i)
        ASSERT_TRUE(std::regex_match(lines[i], whole)) << lines[i];
}

TEST_F(LogTest, MakeDirPathCreatesEveryLevel)
{
    const std::string deep = dir.File("a/b/c");
    EXPECT_EQ(MakeDirPath(deep.c_str(), 0), 0);
    EXPECT_TRUE(Exists(deep));
    EXPECT_EQ(MakeDirPath(deep.c_str(), 0), 0);  // there already
    EXPECT_EQ(MakeDirPath((dir.Path() + "\\x\\y/").c_str(), 0), 0);  // single backslashes separate
    EXPECT_TRUE(Exists(dir.File("x/y")));

    // A nonzero flag stops before the last part: a file path's directories.
    EXPECT_EQ(MakeDirPath(dir.File("d/e/file.txt").c_str(), 1), 0);
    EXPECT_TRUE(Exists(dir.File("d/e")));
    EXPECT_FALSE(Exists(dir.File("d/e/file.txt")));

    // A doubled backslash is part of a name, not a separator.
    EXPECT_EQ(MakeDirPath(dir.File("f\\\\g").c_str(), 0), 0);
    EXPECT_TRUE(Exists(dir.File("f\\\\g")));

    WriteFile(dir.File("plain"), "not a directory");
    EXPECT_EQ(MakeDirPath(dir.File("plain").c_str(), 0), -1);
    EXPECT_EQ(MakeDirPath(dir.File("plain/sub").c_str(), 0), -1);
    EXPECT_EQ(MakeDirPath((dir.File("") + std::string(1001, 'n')).c_str(), 0), -1);
    EXPECT_EQ(MakeDirPath(nullptr, 0), -1);
}

TEST(NormalizePath, TurnsSingleBackslashesAndDropsTrailingSlashes)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"C:\\Tools\\", "C:/Tools"},
        {"C:\\Tools\\Release", "C:/Tools/Release"},
        {"\\\\server\\share", "\\\\server/share"},
        {"/usr/lib///", "/usr/lib"},
        {"/", ""},
        {"", ""},
        {"a\\\\\\b", "a\\\\/b"},
    };
    for (const auto& c : cases) {
        std::string path = c.in;
        NormalizePath(path.data());
        EXPECT_STREQ(path.c_str(), c.out) << c.in;
    }
    NormalizePath(nullptr);
}

TEST_F(LogTest, CopyFileDataCopiesAndReportsEachFailure)
{
    const std::string source = dir.File("source.bin");
    std::string data;
    for (int i = 0; i < 150000; ++i)  // larger than one transfer buffer
        data += static_cast<char>(i * 7 % 256);
    WriteFile(source, data);

    const std::string copy = dir.File("copy.bin");
    WriteFile(copy, "old contents that are longer than nothing");
    EXPECT_EQ(CopyFileData(source.c_str(), copy.c_str()), 0);
    EXPECT_EQ(ReadFile(copy), data);

    EXPECT_EQ(CopyFileData(source.c_str(), source.c_str()), 0);
    // Another name of the same file is left alone rather than emptied.
    EXPECT_EQ(CopyFileData(source.c_str(), dir.File("./source.bin").c_str()), 0);
    EXPECT_EQ(ReadFile(source), data);

    EXPECT_EQ(CopyFileData(dir.File("none").c_str(), copy.c_str()), -1);
    ::mkdir(dir.File("busy").c_str(), 0777);
    WriteFile(dir.File("busy/inside"), "x");
    EXPECT_EQ(CopyFileData(source.c_str(), dir.File("busy").c_str()), -2);
    EXPECT_EQ(CopyFileData(source.c_str(), dir.File("no/such/dir").c_str()), -5);
    // A directory as the source cannot be read: the copy must not claim success.
    EXPECT_EQ(CopyFileData(dir.File("busy").c_str(), dir.File("dircopy").c_str()), -6);
    EXPECT_EQ(CopyFileData(nullptr, copy.c_str()), -1);
}

} // namespace
