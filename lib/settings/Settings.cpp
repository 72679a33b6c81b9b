#include <qdx/Log.h>
#include <qdx/Settings.h>

#include "settings/IniText.h"
#include "settings/SettingsInternal.h"
#include "settings/UserDirs.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <signal.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace {

// Three locks, taken in this order when more than one is held: the writers' lock makes each
// read-modify-write of this process one step (the lock file does the same between processes);
// the cache lock guards the parsed files; the paths lock guards the cached paths.
std::mutex g_writeLock;
std::mutex g_cacheLock;

std::mutex& SettingsLock()
{
    static std::mutex lock;
    return lock;
}

struct CachedPaths {
    bool filled = false;
    std::string exeDir;
    std::string iniPath;
    std::string stateDir;
    std::string userConfigDir;  // made on the first write of iniPath; empty for a portable copy
    std::string folderName;     // SetProgramFolder; empty: the executable's name
    std::string iniOverride;  // SetIniPath; empty: none
    bool hasExeOverride = false;  // SetExecutablePathForTests
    std::string exeOverride;
};

CachedPaths& Paths()
{
    static CachedPaths paths;
    return paths;
}

std::string ExecutablePath()
{
    std::string path(256, '\0');
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0)
            return std::string();
        if (static_cast<std::size_t>(n) < path.size()) {
            path.resize(static_cast<std::size_t>(n));
            break;
        }
        path.resize(path.size() * 2);
    }
    // An executable replaced on disk while it runs reads as "path (deleted)".
    static const char kDeleted[] = " (deleted)";
    std::size_t len = sizeof kDeleted - 1;
    if (path.size() > len && path.compare(path.size() - len, len, kDeleted) == 0)
        path.resize(path.size() - len);
    return path;
}

// Creates `dir` and any missing folder above it, private to the user as the XDG rules ask.
void MakeFolders(const std::string& dir)
{
    for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        std::string part = dir.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return;
        if (slash == std::string::npos)
            return;
    }
}

// Fills the cache on first use. Called with the lock held.
const CachedPaths& FilledPaths()
{
    CachedPaths& paths = Paths();
    if (!paths.filled) {
        std::string exe = paths.hasExeOverride ? paths.exeOverride : ExecutablePath();
        if (exe.empty()) {
            // Without /proc the program's directory is unknown; the working directory stands in.
            paths.exeDir = std::string(".");
            paths.iniPath = std::string("./qdx.ini");
            paths.stateDir = paths.exeDir;
        } else {
            paths.exeDir = qdx::ini_internal::ExeDirFromPath(exe);
            paths.iniPath = qdx::ini_internal::IniPathFromPath(exe);
            paths.stateDir = paths.exeDir;
            paths.userConfigDir.clear();
            if (!qdx::ini_internal::KeepBesideExecutable(paths.exeDir)) {
                // An installed copy: the user's own folders, named by the program or after its
                // executable ("rolvek.ini" -> "rolvek"). Without a home folder there is no better
                // place than the executable's, where writes then fail quietly.
                const std::size_t slash = paths.iniPath.rfind('/');
                const std::string base = paths.iniPath.substr(slash + 1, paths.iniPath.size() - slash - 5);
                const std::string name = paths.folderName.empty() ? base : paths.folderName;
                const std::string home = qdx::ini_internal::HomeFolder();
                const std::string config =
                    qdx::ini_internal::UserFolder(std::getenv("XDG_CONFIG_HOME"), home.c_str(), ".config", name);
                const std::string state =
                    qdx::ini_internal::UserFolder(std::getenv("XDG_STATE_HOME"), home.c_str(), ".local/state", name);
                if (!config.empty()) {
                    paths.userConfigDir = config;
                    paths.iniPath = config + paths.iniPath.substr(slash);
                }
                if (!state.empty())
                    paths.stateDir = state;
            }
        }
        paths.filled = true;
    }
    return paths;
}

std::string IniFile(const char* file)
{
    if (file && *file)
        return file;
    std::lock_guard<std::mutex> guard(SettingsLock());
    const CachedPaths& paths = FilledPaths();
    return paths.iniOverride.empty() ? paths.iniPath : paths.iniOverride;
}

int CopyOut(const std::string& text, char* buffer, int size)
{
    if (!buffer || size < 1)
        return -1;
    if (text.size() >= static_cast<std::size_t>(size)) {
        buffer[0] = '\0';
        return -1;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
}

enum class ReadResult { Ok, Missing, Unusable };

// What stat says about a file's contents: a writer that replaces the file changes the inode,
// one that writes in place the size or the times.
struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime{};
    timespec ctime{};
};

FileId IdOf(const struct stat& st)
{
    return FileId{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

bool operator==(const FileId& a, const FileId& b)
{
    return a.dev == b.dev && a.ino == b.ino && a.size == b.size && a.mtime.tv_sec == b.mtime.tv_sec &&
           a.mtime.tv_nsec == b.mtime.tv_nsec && a.ctime.tv_sec == b.ctime.tv_sec && a.ctime.tv_nsec == b.ctime.tv_nsec;
}

// Whether a file of this status may be read as a settings file; if not, `why` says so.
bool Readable(const struct stat& st, std::string* why)
{
    if (!S_ISREG(st.st_mode)) {
        *why = "is not a plain file";
        return false;
    }
    if (st.st_size > kIniMaxFileSize) {
        *why = "is larger than " + std::to_string(kIniMaxFileSize) + " bytes";
        return false;
    }
    return true;
}

std::string CannotRead(int error)
{
    return std::string("cannot be read (") + std::strerror(error) + ")";
}

// Reads the settings file at `path`. Anything but a regular file (after following links) of at
// most kIniMaxFileSize bytes is Unusable, with the reason in `why`: it is never opened in a way
// that could wait (a FIFO) nor read without end (a link to /dev/zero).
ReadResult ReadSettingsFile(const std::string& path, std::string* text, FileId* id, std::string* why)
{
    text->clear();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            // A link that leads nowhere is not a missing file: writing would replace the link.
            struct stat link;
            if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
                *why = "is a symbolic link to nothing";
                return ReadResult::Unusable;
            }
            return ReadResult::Missing;
        }
        *why = CannotRead(errno);
        return ReadResult::Unusable;
    }
    if (!Readable(st, why))
        return ReadResult::Unusable;
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)  // removed just now
            return ReadResult::Missing;
        *why = CannotRead(errno);
        return ReadResult::Unusable;
    }
    // The file may have been swapped since the stat: what counts is what was opened.
    if (fstat(fd, &st) != 0 || !Readable(st, why)) {
        if (why->empty())
            *why = CannotRead(errno);
        close(fd);
        return ReadResult::Unusable;
    }
    *id = IdOf(st);
    const std::size_t limit = static_cast<std::size_t>(kIniMaxFileSize) + 1;  // one more tells a grown file
    text->resize(std::min(limit, static_cast<std::size_t>(st.st_size) + 1));
    std::size_t got = 0;
    while (got < limit) {
        if (got == text->size())
            text->resize(std::min(limit, text->size() * 2));
        ssize_t n = read(fd, text->data() + got, text->size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *why = CannotRead(errno);
            close(fd);
            return ReadResult::Unusable;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    text->resize(got);
    if (got > static_cast<std::size_t>(kIniMaxFileSize)) {
        *why = "is larger than " + std::to_string(kIniMaxFileSize) + " bytes";
        return ReadResult::Unusable;
    }
    return ReadResult::Ok;
}

// The parsed settings files, by the path their callers name. A file is parsed again only when
// stat shows it changed (another process may have written it), so reading N keys costs N stats
// and one parse.
struct Parsed {
    ReadResult result = ReadResult::Missing;
    FileId id;
    std::shared_ptr<const qdx::ini_internal::IniIndex> index;  // when Ok
    bool noted = false;  // Unusable: its note has been logged
};

std::unordered_map<std::string, Parsed> g_parsed;
long g_parses = 0;

struct View {
    ReadResult result;
    std::shared_ptr<const qdx::ini_internal::IniIndex> index;
    std::string note;  // to log (outside every lock): the file became unusable
};

View Load(const std::string& path)
{
    std::lock_guard<std::mutex> guard(g_cacheLock);
    if (g_parsed.size() >= 64 && g_parsed.find(path) == g_parsed.end())
        g_parsed.clear();
    Parsed& entry = g_parsed[path];
    struct stat st;
    if (entry.result == ReadResult::Ok && ::stat(path.c_str(), &st) == 0 && IdOf(st) == entry.id)
        return View{entry.result, entry.index, std::string()};

    std::string text, why;
    FileId id;
    View view{ReadSettingsFile(path, &text, &id, &why), nullptr, std::string()};
    if (view.result == ReadResult::Ok) {
        view.index = std::make_shared<const qdx::ini_internal::IniIndex>(text);
        ++g_parses;
    }
    if (view.result == ReadResult::Unusable && !entry.noted)
        view.note = "Settings file " + path + " " + why + ": not used, the defaults apply and nothing is written to it";
    entry.noted = view.result == ReadResult::Unusable;
    entry.result = view.result;
    entry.id = id;
    entry.index = view.index;
    return view;
}

// Logs a settings file's note. Never called with a lock of ours held: the log writer reads
// settings too.
void LogNote(const std::string& note)
{
    if (!note.empty())
        LogWrite("Settings", note.c_str(), 0);
}

bool WriteAll(int fd, const std::string& text)
{
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string DirOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

const char kTempMark[] = ".tmp.";

// Removes temporary files that writers killed part-way left beside `path`: those whose process
// no longer exists. Done once per process and file directory; cheap and never fatal.
void RemoveStaleTemps(const std::string& path)
{
    static std::string cleanedFor;
    if (cleanedFor == path)
        return;
    cleanedFor = path;
    std::string dir = DirOf(path);
    std::size_t slash = path.rfind('/');
    std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + kTempMark;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return;
    while (dirent* entry = readdir(d)) {
        const char* name = entry->d_name;
        if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0)
            continue;
        char* end = nullptr;
        long pid = std::strtol(name + prefix.size(), &end, 10);
        if (pid <= 0 || !end || *end != '.' || pid == getpid())
            continue;
        if (kill(static_cast<pid_t>(pid), 0) < 0 && errno == ESRCH)
            unlinkat(dirfd(d), name, 0);
    }
    closedir(d);
}

// Replaces the file at `path` by `text`: a temporary file beside it is written, flushed to disk
// and renamed over it, so the file is always either the old or the new text, never a mix.
bool ReplaceFile(const std::string& path, const std::string& text)
{
    RemoveStaleTemps(path);
    static unsigned serial = 0;
    std::string temp = path + kTempMark + std::to_string(getpid()) + "." + std::to_string(++serial);
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = WriteAll(fd, text);
    if (ok && stat(path.c_str(), &st) == 0)
        ok = fchmod(fd, st.st_mode & 07777) == 0 || errno == EPERM;
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok)
        ok = rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    int dirFd = open(DirOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

// Creates the user's settings folder of an installed copy once a file in it is written.
void MakeUserConfigFolder(const std::string& file)
{
    std::string dir;
    {
        std::lock_guard<std::mutex> guard(SettingsLock());
        dir = FilledPaths().userConfigDir;
    }
    if (!dir.empty() && DirOf(file) == dir)
        MakeFolders(dir);
}

// The key's value, or false when the key is missing or the file cannot be read.
bool ReadValue(const char* section, const char* key, const char* file, std::string* value)
{
    if (!section || !key)
        return false;
    View view = Load(IniFile(file));
    LogNote(view.note);
    return view.index && view.index->Find(section, key, value);
}

// The file a write goes to: `path` itself, or the file a symbolic link there leads to, so that
// the link stays a link.
bool WriteTarget(const std::string& path, std::string* target)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        *target = path;
        return true;
    }
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved))
        return false;
    *target = resolved;
    return true;
}

// An advisory lock on "<file>.lock", held while it lives: writers in every process that use
// this library take it around their read-modify-write, so none loses another's keys. Where no
// lock file can be had the write goes ahead unlocked, as before there was one.
class FileLock {
public:
    explicit FileLock(const std::string& file)
    {
        const std::string path = file + ".lock";
        const int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
        m_fd = open(path.c_str(), O_RDWR | O_CREAT | flags, 0666);
        if (m_fd < 0)
            m_fd = open(path.c_str(), O_RDONLY | flags);
        if (m_fd >= 0)
            while (flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            close(m_fd);  // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd = -1;
};

std::string ReadOrDefault(const char* section, const char* key, const char* def, const char* file)
{
    std::string value;
    if (!ReadValue(section, key, file, &value))
        value = def ? def : "";
    return value;
}

bool EqualNoCase(const std::string& a, const char* b)
{
    return CString(a).CompareNoCase(b) == 0;
}

// The reading step the YES/NO and integer readers share: the text as a 100-byte buffer would
// hold it (the default for a missing key, "" for an empty one), and whether the key held any
// text at all.
std::string ReadSmall(const char* section, const char* key, const char* def, const char* file, bool* found)
{
    std::string value;
    if (!ReadValue(section, key, file, &value))
        value = def;
    else
        *found = !value.empty();
    if (value.size() > 99)
        value.resize(99);
    return value;
}

} // namespace

int GetExeDir(char* buffer, int size)
{
    std::string dir;
    {
        std::lock_guard<std::mutex> guard(SettingsLock());
        dir = FilledPaths().exeDir;
    }
    return CopyOut(dir, buffer, size);
}

int GetExeDir(CString& dir)
{
    std::lock_guard<std::mutex> guard(SettingsLock());
    dir = FilledPaths().exeDir.c_str();
    return dir.GetLength();
}

int GetStateDir(char* buffer, int size)
{
    std::string dir;
    {
        std::lock_guard<std::mutex> guard(SettingsLock());
        dir = FilledPaths().stateDir;
    }
    return CopyOut(dir, buffer, size);
}

int GetStateDir(CString& dir)
{
    std::lock_guard<std::mutex> guard(SettingsLock());
    dir = FilledPaths().stateDir.c_str();
    return dir.GetLength();
}

int GetIniPath(char* buffer, int size)
{
    return CopyOut(IniFile(nullptr), buffer, size);
}

int GetIniPath(CString& path)
{
    path = IniFile(nullptr).c_str();
    return path.GetLength();
}

void SetIniPath(const char* path)
{
    std::lock_guard<std::mutex> guard(SettingsLock());
    Paths().iniOverride = path ? path : "";
}

int SetProgramFolder(const char* name)
{
    const std::string folder = name ? name : "";
    if (name && (folder.empty() || folder == "." || folder == ".." || folder.find('/') != std::string::npos))
        return -2;
    std::lock_guard<std::mutex> guard(SettingsLock());
    CachedPaths& paths = Paths();
    if (paths.filled && paths.folderName != folder)
        return -1;
    paths.folderName = folder;
    return 0;
}

namespace qdx::ini_internal {

long ParseCount()
{
    std::lock_guard<std::mutex> guard(g_cacheLock);
    return g_parses;
}

void SetExecutablePathForTests(const char* exePath)
{
    std::lock_guard<std::mutex> guard(SettingsLock());
    CachedPaths& paths = Paths();
    paths.hasExeOverride = exePath != nullptr;
    paths.exeOverride = exePath ? exePath : "";
    paths.filled = false;
}

} // namespace qdx::ini_internal

int IniWriteString(const char* section, const char* key, const char* value, const char* file)
{
    if (!qdx::ini_internal::CanWrite(section, key, value))
        return -2;
    const std::string path = IniFile(file);
    // A file that reads so already is left alone: no lock, no rewrite (the readers write back
    // keys at every start).
    View view = Load(path);
    LogNote(view.note);
    if (view.result == ReadResult::Unusable)
        return -1;
    if (key) {
        std::string now;
        const bool has = view.index && view.index->Find(section, key, &now);
        if (value ? has && now == value : !has)
            return 0;
    }

    std::lock_guard<std::mutex> guard(g_writeLock);
    std::string target;
    if (!WriteTarget(path, &target))
        return -1;
    MakeUserConfigFolder(target);
    FileLock lock(target);
    std::string text, why;
    FileId id;
    // A file that cannot be read is never overwritten: its settings would be lost.
    if (ReadSettingsFile(target, &text, &id, &why) == ReadResult::Unusable)
        return -1;
    std::string updated = qdx::ini_internal::Apply(text, section, key, value);
    if (updated == text)
        return 0;
    return ReplaceFile(target, updated) ? 0 : -1;
}

int IniReadString(const char* section, const char* key, const char* def, CString& out, const char* file)
{
    std::string value = ReadOrDefault(section, key, def, file);
    if (value.size() > static_cast<std::size_t>(kIniMaxValue))
        value.resize(kIniMaxValue);
    out = value.c_str();
    return out.GetLength();
}

int IniReadString(const char* section, const char* key, const char* def, CTxt& out, const char* file)
{
    std::string value = ReadOrDefault(section, key, def, file);
    if (value.size() > static_cast<std::size_t>(kIniMaxValue))
        value.resize(kIniMaxValue);
    out.SetTxt(value.c_str());
    return out.GetLength();
}

int IniReadBuf(const char* section, const char* key, const char* def, char* buffer, int size, const char* file)
{
    if (!buffer || size < 1)
        return 0;
    std::string value = ReadOrDefault(section, key, def, file);
    std::size_t n = value.size();
    if (n > static_cast<std::size_t>(size - 1))
        n = static_cast<std::size_t>(size - 1);
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

int IniReadBool(const char* section, const char* key, int def, const char* file)
{
    bool found = false;
    std::string text = ReadSmall(section, key, def ? "YES" : "NO", file, &found);
    int result = (EqualNoCase(text, "YES") || EqualNoCase(text, "TRUE")) ? 1 : 0;
    // Only a missing key is written: an existing text stays exactly as it is, even one longer
    // than the 99 characters looked at here.
    if (!found)
        IniWriteString(section, key, text.c_str(), file);
    return result;
}

int IniReadInt(const char* section, const char* key, int def, const char* file)
{
    bool found = false;
    std::string text = ReadSmall(section, key, std::to_string(def).c_str(), file, &found);
    long long number = std::strtoll(text.c_str(), nullptr, 10);
    int value = number > INT_MAX ? INT_MAX : number < INT_MIN ? INT_MIN : static_cast<int>(number);
    std::string canonical = std::to_string(value);
    if (!found || !EqualNoCase(text, canonical.c_str()))
        IniWriteString(section, key, canonical.c_str(), file);
    return value;
}
