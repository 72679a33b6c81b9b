// The log writer. One process-wide state: whether the first-message decision has been made, the
// open log file, the flush counters and the settings that shape a line. A recursive lock guards
// it (a settings reader that reports a failure may come back in through LogTrace); the
// last-message sink and the message box are called outside the lock.
//
// A line waits for its write() only. The commits due every 21 lines or 10 seconds are carried out
// by the committer, a thread of its own that waits for fdatasync() while the caller goes on; it
// is started at the first such commit, so a program that never logs (or commits on each line)
// never has it. Commits that must be complete when the call returns (LogFileFlushOnEach YES and
// the commands) are done by the caller itself.

#include <qdx/Fields.h>
#include <qdx/Log.h>
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include "log/LogInternal.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include <fcntl.h>
#include <linux/magic.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

constexpr int kCategoryWidth = 16;
constexpr int kLineBufferSize = 20000;  // longest line kept, CR LF included
constexpr int kFlushEveryLines = 20;    // commit when more lines than this are waiting
constexpr long kFlushEverySeconds = 10; // ... or when the last commit is older than this

struct LogState {
    bool decided = false;         // the first-message decision has been made
    int fd = -1;                  // the open log file, -1 when none
    std::string path;             // path of the log file most recently opened
    int linesSinceFlush = 0;
    long lastFlush = 0;           // seconds since 1970 of the last commit, 0 = none yet
    bool flushEach = false;       // LogFileFlushOnEach, read at the first line after an open
    int showDate = -1;            // LogShowDate: -1 unread, else 0/1
    int showTime = -1;            // LogShowTime: -1 unread, else 0/1
    long commits = 0;
    time_t cachedSecond = -1;     // the second g_log.cachedTm shows in local time
    std::tm cachedTm{};
    bool hasDirOverride = false;
    std::string dirOverride;
    bool syncIsFree = false;      // the open file lies in memory (tmpfs): fdatasync does nothing
    std::function<void(int)> syncHook;  // a test's stand-in for fdatasync
    bool exiting = false;         // the process is ending: commits no longer go to the committer
    char line[kLineBufferSize];
};

std::recursive_mutex g_lock;
LogState g_log;

// The committer's side. Starting and ending it happen under g_lock; `lock` guards the rest and is
// never held while a commit runs, so ordering a commit costs a lock and a wake-up at most.
struct Committer {
    std::mutex lock;
    std::condition_variable wake;  // the thread waits here for work or its end
    std::condition_variable idle;  // WaitForCommits waits here
    pthread_t thread{};
    bool running = false;          // written under g_lock and `lock`
    bool stop = false;             // the thread ends once every ordered commit is done
    int fd = -1;                   // the file it commits; closed only after the thread has ended
    unsigned long ordered = 0;     // commits ordered so far
    unsigned long done = 0;        // every commit up to this one has been carried out
    std::function<void(int)> sync; // g_log.syncHook when the thread started
};

// Never destroyed: destructors of other static objects may still log while the process ends.
Committer& TheCommitter()
{
    static Committer& committer = *new Committer;
    return committer;
}

// Commits `fd` to disk, through the test's stand-in when there is one.
void SyncFile(int fd, const std::function<void(int)>& sync)
{
    if (sync)
        sync(fd);
    else
        ::fdatasync(fd);  // lines go out with write() and no buffer of our own
}

// One fdatasync covers every line written before it starts, so commits ordered while one runs
// are carried out together by the next.
void* CommitterMain(void*)
{
    Committer& c = TheCommitter();
    std::unique_lock<std::mutex> hold(c.lock);
    for (;;) {
        if (c.done != c.ordered) {
            const unsigned long target = c.ordered;
            const int fd = c.fd;
            const std::function<void(int)> sync = c.sync;
            hold.unlock();
            SyncFile(fd, sync);
            hold.lock();
            c.done = target;
            c.idle.notify_all();
        } else if (c.stop) {
            return nullptr;
        } else {
            c.wake.wait(hold);
        }
    }
}

// Carries out what was ordered, then ends the thread. Called under g_lock.
void EndCommitter()
{
    Committer& c = TheCommitter();
    {
        std::lock_guard<std::mutex> hold(c.lock);
        if (!c.running)
            return;
        c.stop = true;
    }
    c.wake.notify_one();
    ::pthread_join(c.thread, nullptr);
    std::lock_guard<std::mutex> hold(c.lock);
    c.running = false;
    c.stop = false;
    c.fd = -1;
}

void EndCommitterAtExit()
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_log.exiting = true;
    EndCommitter();
}

// A fork copies neither the committer nor any other thread. The locks are taken around it, so
// the child gets them unheld and its state whole; the parent's committer carries out the commits
// ordered before the fork (the file is the same), and the child starts its own when it needs one.
void BeforeFork()
{
    g_lock.lock();
    TheCommitter().lock.lock();
}

void AfterForkInParent()
{
    TheCommitter().lock.unlock();
    g_lock.unlock();
}

void AfterForkInChild()
{
    Committer& c = TheCommitter();
    c.running = false;
    c.stop = false;
    c.fd = -1;
    c.done = c.ordered;
    // The wake-ups may still count the parent's committer as a waiter, which would make the
    // child's first notify wait for it forever: the child starts them anew.
    new (&c.wake) std::condition_variable;
    new (&c.idle) std::condition_variable;
    c.lock.unlock();
    // The child's thread has a new id, so it no longer owns the recursive lock it took before the
    // fork and cannot unlock it: it gets a fresh one. (The unlock still tells a thread checker.)
    g_lock.unlock();
    new (&g_lock) std::recursive_mutex;
}

// Orders a commit of `fd` from the committer, starting it if needed. False when there is no
// committer to be had (the process is ending, or no thread could be created): the caller commits
// itself. Called under g_lock.
bool OrderCommit(int fd)
{
    if (g_log.exiting)
        return false;
    Committer& c = TheCommitter();
    std::unique_lock<std::mutex> hold(c.lock);
    if (!c.running) {
        c.sync = g_log.syncHook;
        static bool handlersInstalled = false;
        if (!handlersInstalled) {
            handlersInstalled = true;
            std::atexit(EndCommitterAtExit);
            ::pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild);
        }
        // The thread takes no signals: they stay with the program's own threads.
        sigset_t all, previous;
        sigfillset(&all);
        ::pthread_sigmask(SIG_SETMASK, &all, &previous);
        const int failed = ::pthread_create(&c.thread, nullptr, CommitterMain, nullptr);
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        if (failed)
            return false;
        c.running = true;
        c.fd = fd;
        c.done = c.ordered;
    }
    ++c.ordered;
    hold.unlock();
    c.wake.notify_one();
    return true;
}

struct LocalNow {
    std::tm tm{};
    int millis = 0;
    long seconds = 0;  // since 1970
};

// The local time now. The broken-down time is kept for the second it belongs to, so that lines
// written within one second convert the clock once.
LocalNow TakeLocalNow()
{
    const timespec now = ClockNow();
    if (now.tv_sec != g_log.cachedSecond) {
        const time_t t = now.tv_sec;
        localtime_r(&t, &g_log.cachedTm);
        g_log.cachedSecond = now.tv_sec;
    }
    LocalNow result;
    result.tm = g_log.cachedTm;
    result.millis = static_cast<int>(now.tv_nsec / 1000000);
    result.seconds = static_cast<long>(now.tv_sec);
    return result;
}

enum class Wait { No, Yes };

// Commits the open file's data to disk and starts the flush counters again. Without waiting the
// committer does it, and the call returns at once; except for a file in memory, where handing the
// commit over would cost more than the commit.
void Commit(long nowSeconds, Wait wait)
{
    if (g_log.fd < 0)
        return;
    ++g_log.commits;
    g_log.lastFlush = nowSeconds;
    g_log.linesSinceFlush = 0;
    const bool handOver = wait == Wait::No && (!g_log.syncIsFree || g_log.syncHook);
    if (!handOver || !OrderCommit(g_log.fd))
        SyncFile(g_log.fd, g_log.syncHook);
}

bool LiesInMemory(int fd)
{
    struct statfs fs;
    return ::fstatfs(fd, &fs) == 0 && (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC);
}

// Writes all of `data`, continuing after interruptions. Failures are ignored by the caller.
void WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (n == 0)
            return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// Writes 0..99 as two digits.
void PutTwoDigits(char* out, int value)
{
    out[0] = static_cast<char>('0' + value / 10 % 10);
    out[1] = static_cast<char>('0' + value % 10);
}

char LevelChar(int level)
{
    if (level <= 0)
        return ' ';
    // 'a' for 1, 'b' for 2, ...; levels past 26 all show as 'z', so the column stays a letter.
    return level >= 26 ? 'z' : static_cast<char>(96 + level);
}

int WriteLine(const char* category, const char* text, int level)
{
    if (g_log.fd < 0)
        return 0;
    if (!text)
        text = "";

    const LocalNow now = TakeLocalNow();
    if (g_log.showDate < 0)
        g_log.showDate = IniReadBool("SYS", "LogShowDate", 1) ? 1 : 0;
    if (g_log.showTime < 0)
        g_log.showTime = IniReadBool("SYS", "LogShowTime", 1) ? 1 : 0;

    // The fields are put together by hand: this runs for every line, and printf would cost more
    // than the write itself.
    char* const line = g_log.line;
    int used = 0;
    if (category) {
        // A line break in the category would split the line just as one in the text would.
        int i = 0;
        for (; i < kCategoryWidth && category[i]; ++i)
            line[used++] = (category[i] == '\r' || category[i] == '\n') ? '+' : category[i];
        for (; i < kCategoryWidth; ++i)
            line[used++] = ' ';
        line[used++] = '|';
        if (g_log.showDate) {
            PutTwoDigits(line + used, (now.tm.tm_year + 1900) % 100);
            PutTwoDigits(line + used + 2, now.tm.tm_mon + 1);
            PutTwoDigits(line + used + 4, now.tm.tm_mday);
            line[used + 6] = '|';
            used += 7;
        }
    }
    if (g_log.showTime) {
        PutTwoDigits(line + used, now.tm.tm_hour);
        line[used + 2] = ':';
        PutTwoDigits(line + used + 3, now.tm.tm_min);
        line[used + 5] = ':';
        PutTwoDigits(line + used + 6, now.tm.tm_sec);
        line[used + 8] = '.';
        line[used + 9] = static_cast<char>('0' + now.millis / 100);
        PutTwoDigits(line + used + 10, now.millis % 100);
        used += 12;
    }
    line[used++] = LevelChar(level);
    line[used++] = '|';

    // The text, with line breaks turned into '+' so that one message stays one line; a text that
    // does not fit the line buffer is cut (LogTrace never passes one that long).
    const int room = kLineBufferSize - 2 - used;
    for (int i = 0; i < room && text[i]; ++i) {
        const char c = text[i];
        line[used++] = (c == '\r' || c == '\n') ? '+' : c;
    }
    line[used++] = '\r';
    line[used++] = '\n';
    WriteAll(g_log.fd, line, static_cast<size_t>(used));

    ++g_log.linesSinceFlush;
    if (g_log.lastFlush == 0) {
        g_log.flushEach = IniReadBool("SYS", "LogFileFlushOnEach", 0) != 0;
        g_log.lastFlush = now.seconds;
    }
    if (g_log.flushEach || g_log.linesSinceFlush > kFlushEveryLines ||
        now.seconds - g_log.lastFlush > kFlushEverySeconds)
        Commit(now.seconds, g_log.flushEach ? Wait::Yes : Wait::No);
    return 0;
}

// A writer killed in the middle of a line may leave it cut off (the kernel can stop a write() at a
// page boundary when its process is killed): a file that does not end in a line break gets one, so
// that the lines appended now stay whole instead of continuing the piece.
void EndCutLine(const char* path, int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
        return;
    const int in = ::open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return;
    char last = '\n';
    const bool read = ::pread(in, &last, 1, st.st_size - 1) == 1;
    ::close(in);
    if (read && last != '\n')
        WriteAll(fd, "\r\n", 2);
}

int OpenLog(const char* path, int mode)
{
    int result;
    if (g_log.fd >= 0) {
        result = -1;
    } else {
        // Always O_APPEND, also for a file started empty: every write then lands at the end, even
        // when another process appends to the same file.
        const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (mode == 1 ? O_TRUNC : 0);
        const int fd = path && *path ? ::open(path, flags, 0644) : -1;
        if (fd < 0) {
            result = -2;
        } else {
            g_log.fd = fd;
            g_log.syncIsFree = LiesInMemory(fd);
            g_log.path = path;
            EndCutLine(path, fd);
            const std::string opening = "====== Opening " + g_log.path + " ======";
            WriteLine("ACTION-INIT", opening.c_str(), 0);
            Commit(TakeLocalNow().seconds, Wait::Yes);
            result = 1;
        }
    }
    g_log.linesSinceFlush = 0;
    g_log.lastFlush = 0;
    return result;
}

std::string ProgramDir()
{
    std::string dir;
    if (g_log.hasDirOverride) {
        dir = g_log.dirOverride;
    } else {
        // The executable's folder for a portable copy, the user's state folder for an installed
        // one (see GetStateDir).
        char buffer[PATH_MAX + 1] = {};
        GetStateDir(buffer);
        dir = buffer;
    }
    NormalizePath(dir.data());
    dir.resize(std::strlen(dir.c_str()));
    return dir;
}

std::string ExePath()
{
    char buffer[PATH_MAX + 1] = {};
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// The first message of the process: open the day's file unless logging is switched off.
void Decide()
{
    if (!IniReadBool("RELEASE", "WriteLog", 1))
        return;
    const LocalNow now = TakeLocalNow();
    const int year = now.tm.tm_year + 1900, month = now.tm.tm_mon + 1, day = now.tm.tm_mday;
    const std::string dir = ProgramDir();
    char day_dir[64];
    std::snprintf(day_dir, sizeof day_dir, "/logs/%04d%02d%02d", year, month, day);
    MakeDirPath((dir + "/logs").c_str(), 0);
    MakeDirPath((dir + day_dir).c_str(), 0);
    const std::string path =
        qdx::log_internal::LogFilePath(dir, qdx::log_internal::ProgramName(ExePath().c_str()), year, month, day);
    const bool append = IniReadBool("SYS", "LogFileAppend", 1) != 0;
    OpenLog(path.c_str(), append ? 0 : 1);
}

bool IsCommand(const char* category, const char* command)
{
    return strcmpmode(category, command, 1) == 0;
}

// Creates one directory; one that is there already counts as created.
int MakeOneDir(const std::string& dir)
{
    if (::mkdir(dir.c_str(), 0777) == 0)
        return 0;
    struct stat st;
    if (errno == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return 0;
    return -1;
}

} // namespace

void LogTrace(const char* category, int level, const char* format, ...)
{
    if (!format)
        return;
    char text[kLogMaxMessage + 1];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length <= 0)
        return;
    if (length > kLogMaxMessage)  // vsnprintf has cut it to kLogMaxMessage characters already
        ShowMessageBox(text, "LOGTRACE Buffer overrun!", MB_OK | MB_ICONERROR);
    LogWrite(category, text, level);
}

int LogWrite(const char* category, const char* text, int level)
{
    if (!text)
        text = "";
    {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        if (!g_log.decided) {
            g_log.decided = true;
            Decide();
        }
    }
    SendLastMessage(text);
    return LogFileWrite(category, text, level);
}

int LogFileWrite(const char* category, const char* text, int level)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (category && category[0] == '*') {
        if (IsCommand(category, "*OPENLOG"))
            return OpenLog(text, level);
        if (IsCommand(category, "*FLUSH")) {
            Commit(TakeLocalNow().seconds, Wait::Yes);
            return 0;
        }
        if (IsCommand(category, "*CLOSE")) {
            if (g_log.fd >= 0) {
                EndCommitter();  // it commits this file: it ends with it
                Commit(TakeLocalNow().seconds, Wait::Yes);
                ::close(g_log.fd);
                g_log.fd = -1;
            }
            return 0;
        }
        if (IsCommand(category, "*COPY")) {
            Commit(TakeLocalNow().seconds, Wait::Yes);
            CopyFileData(g_log.path.c_str(), "LogCpy.tmp");
            return 0;
        }
    }
    return WriteLine(category, text, level);
}

int MakeDirPath(const char* path, int flag)
{
    if (!path)
        return -1;
    const size_t length = std::strlen(path);
    if (length > 1000)
        return -1;
    std::string built;
    built.reserve(length);
    int outcome = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = path[i];
        if (c == '\\' && path[i + 1] == '\\') {  // a doubled backslash is part of a name
            built += "\\\\";
            ++i;
        } else if (c == '\\' || c == '/') {
            // The root before a leading separator is always there.
            if (!built.empty())
                outcome = MakeOneDir(built);
            built += '/';
        } else {
            built += c;
        }
    }
    if (flag == 0)
        return built.empty() ? -1 : MakeOneDir(built);
    return outcome;
}

void NormalizePath(char* path)
{
    if (!path)
        return;
    size_t i = 0;
    for (; path[i]; ++i) {
        if (path[i] != '\\')
            continue;
        if (path[i + 1] == '\\')
            ++i;  // keep a doubled backslash, such as the leading pair of a network path
        else
            path[i] = '/';
    }
    while (i > 0 && path[i - 1] == '/')
        path[--i] = '\0';
}

int CopyFileData(const char* source, const char* destination)
{
    if (!source || !destination)
        return -1;
    if (std::strcmp(source, destination) == 0)
        return 0;
    struct stat from;
    if (::stat(source, &from) != 0)
        return -1;
    struct stat to;
    if (::lstat(destination, &to) == 0) {
        // Another name of the source (a link, "./x" for "x"): copying onto it would destroy it.
        struct stat target;
        if (::stat(destination, &target) == 0 && target.st_dev == from.st_dev && target.st_ino == from.st_ino)
            return 0;
        if (::unlink(destination) != 0)
            return -2;
    }

    size_t size = 60010;
    std::unique_ptr<char[]> buffer;
    for (;;) {
        buffer.reset(new (std::nothrow) char[size]);
        if (buffer)
            break;
        if (size < 1000 + 1000)
            return -3;
        size -= 1000;
    }

    const int in = ::open(source, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return -4;
    const int out = ::open(destination, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        return -5;
    }
    int result = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer.get(), size);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result = -6;  // a read error must not pass for the end of the file
            break;
        }
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put = ::write(out, buffer.get() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                break;
            done += put;
        }
        if (done < got) {
            result = -6;
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0 && result == 0)
        result = -6;
    if (result == 0 && ::access(destination, F_OK) != 0)
        result = -7;
    return result;
}

namespace qdx::log_internal {

void ResetState()
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    EndCommitter();
    if (g_log.fd >= 0)
        ::close(g_log.fd);
    g_log.fd = -1;
    g_log.decided = false;
    g_log.path.clear();
    g_log.linesSinceFlush = 0;
    g_log.lastFlush = 0;
    g_log.flushEach = false;
    g_log.showDate = -1;
    g_log.showTime = -1;
    g_log.cachedSecond = -1;
}

void SetProgramDir(const char* dir)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_log.hasDirOverride = dir != nullptr;
    g_log.dirOverride = dir ? dir : "";
}

long CommitCount()
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return g_log.commits;
}

void SetSyncHook(std::function<void(int fd)> sync)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    EndCommitter();  // the next one takes the new hook
    g_log.syncHook = std::move(sync);
}

void WaitForCommits()
{
    Committer& c = TheCommitter();
    std::unique_lock<std::mutex> hold(c.lock);
    c.idle.wait(hold, [&c] { return !c.running || c.done == c.ordered; });
}

bool CommitterRunning()
{
    Committer& c = TheCommitter();
    std::lock_guard<std::mutex> hold(c.lock);
    return c.running;
}

std::string CurrentPath()
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return g_log.path;
}

std::string ProgramName(const char* exePath)
{
    std::string name = exePath ? exePath : "";
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}

std::string LogFilePath(const std::string& dir, const std::string& name, int year, int month, int day)
{
    char date[32];
    std::snprintf(date, sizeof date, "%04d%02d%02d", year, month, day);
    return dir + "/logs/" + date + "/" + name + ".log";
}

} // namespace qdx::log_internal
