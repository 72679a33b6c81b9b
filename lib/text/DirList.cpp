// CTxtArray's directory listings: opendir/readdir with fnmatch for the name pattern, stat for the
// kind of each name, and statx for a file's creation time.
#include <qdx/TxtArray.h>

#include <qdx/Fields.h>
#include <qdx/Log.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

namespace {

constexpr const char* kCategory = "LoadFromDir";

// The names of `dir` that match `pattern` (every name when it is null), in the order the
// directory delivers them, "." and ".." included. The directory is read whole and closed before
// anything is done with the names, so a deep descent holds no directory handles open. Returns
// the handle's value for the trace (0 when the directory could not be opened).
std::uintptr_t ReadNames(const char* dir, const char* pattern, std::vector<std::string>& names)
{
    DIR* handle = opendir(dir);
    if (handle == nullptr)
        return 0;
    const auto shown = reinterpret_cast<std::uintptr_t>(handle);
    while (const dirent* entry = readdir(handle)) {
        if (pattern == nullptr || fnmatch(pattern, entry->d_name, 0) == 0)
            names.emplace_back(entry->d_name);
    }
    closedir(handle);
    return shown;
}

// The file's creation time (its modification time where the file system keeps none), in UTC.
bool CreationTime(const char* path, std::tm& when, int& milliseconds)
{
    struct statx info {};
    if (statx(AT_FDCWD, path, 0, STATX_BTIME | STATX_MTIME, &info) != 0)
        return false;
    const statx_timestamp& stamp = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
    const std::time_t seconds = static_cast<std::time_t>(stamp.tv_sec);
    if (gmtime_r(&seconds, &when) == nullptr)
        return false;
    milliseconds = static_cast<int>(stamp.tv_nsec / 1000000);
    return true;
}

}  // namespace

int CTxtArray::LoadFromDirNoSort(const char* dir, int desc, int file, const char* path, int nLev, int logLevel)
{
    if (dir == nullptr)
        dir = "";
    const char* shownPath = path ? path : "(null)";
    if (logLevel > 0)
        LogTrace(kCategory, 1, "Dir=%s, Desc=%d, File=%d, Path=%s, nLev=%d", dir, desc, file, shownPath, nLev);

    // What to look for: every name, every name with an extension filter for files ("!log"), or
    // the names matching a pattern.
    const char* namePattern = nullptr;
    const char* extension = nullptr;
    std::string pattern = std::string(dir) + "/";
    if (path == nullptr || path[0] == '\0') {
        pattern += "*";
    } else if (path[0] == '!') {
        pattern += "*";
        extension = path + 1;
    } else {
        pattern += path;
        namePattern = path;
    }

    // An empty `dir` names the root, as its entries ("/name") say.
    std::vector<std::string> names;
    const std::uintptr_t handle = ReadNames(dir[0] != '\0' ? dir : "/", namePattern, names);
    if (logLevel > 0)
        LogTrace(kCategory, 1, "Dir=%s, Desc=%d, File=%d, Path=%s, nLev=%d, hFindFn=%p, File=%s", dir, desc, file,
                 pattern.c_str(), nLev, reinterpret_cast<void*>(handle), names.empty() ? "" : names.front().c_str());

    CTxt entry;
    CTxt extensionOfName;
    for (const std::string& name : names) {
        if (name == "." || name == "..")
            continue;
        const std::string full = std::string(dir) + "/" + name;
        if (logLevel > 1)
            LogTrace(kCategory, 1, "Dir=%s, nLev=%d, File=%s", dir, nLev, full.c_str());
        struct stat info {};
        if (::stat(full.c_str(), &info) != 0)
            continue;

        if (S_ISDIR(info.st_mode)) {
            if (file == 1)
                continue;
            // A linked directory is listed but never entered: a link back up the tree would
            // otherwise send the walk round in circles.
            struct stat link {};
            const bool isLink = ::lstat(full.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
            if (desc == 1 && !isLink)
                LoadFromDirNoSort(full.c_str(), 1, file, path, nLev + 1, logLevel);
            if (extension == nullptr)
                Add(full.c_str());
            continue;
        }

        if (extension != nullptr) {
            strfldtxt(name.c_str(), '.', 2, 2, extensionOfName);
            if (strcmpmode(extensionOfName, extension, 1) != 0)
                continue;
        }
        entry = full.c_str();
        entry.MakeFn();
        if (sortByTime == 1) {
            std::tm when {};
            int milliseconds = 0;
            if (!CreationTime(full.c_str(), when, milliseconds))
                continue;
            CTxt keyed;
            keyed.Format("%04d%02d%02d|%02d%02d%02d.%03d|%s", when.tm_year + 1900, when.tm_mon + 1, when.tm_mday,
                         when.tm_hour, when.tm_min, when.tm_sec, milliseconds, static_cast<const char*>(entry));
            if (logLevel > 0)
                LogTrace(kCategory, 1, "Dir=%s, nLev=%d, Found File=%s", dir, nLev, static_cast<const char*>(entry));
            Add(keyed);
        } else {
            if (logLevel > 0)
                LogTrace(kCategory, 1, "Dir=%s, nLev=%d, Found File=%s", dir, nLev, static_cast<const char*>(entry));
            Add(entry);
        }
    }
    return GetSize();
}

// Sorts a finished listing, with its two trace lines when logLevel asks for them.
static void SortListing(CTxtArray& list, const char* dir, int desc, int file, const char* path, int logLevel)
{
    const char* shownDir = dir ? dir : "";
    const char* shownPath = path ? path : "(null)";
    if (logLevel > 0)
        LogTrace(kCategory, 1, "Dir=%s, Desc=%d, File=%d, Path=%s, nLev=%d, Sort %d Files", shownDir, desc, file,
                 shownPath, 0, list.GetSize());
    list.Sort();
    if (logLevel > 0)
        LogTrace(kCategory, 1, "Dir=%s, Desc=%d, File=%d, Path=%s, nLev=%d, Sort %d Files - Completed", shownDir,
                 desc, file, shownPath, 0, list.GetSize());
}

int CTxtArray::LoadFromDir(const char* dir, int desc, int file, const char* path, int nLev, int logLevel)
{
    LoadFromDirNoSort(dir, desc, file, path, nLev, logLevel);
    if (nLev == 0)
        SortListing(*this, dir, desc, file, path, logLevel);
    return GetSize();
}

int CTxtArray::LoadFromDirSortTime(const char* dir, int desc, int file, const char* path, int nLev, int logLevel)
{
    sortByTime = 1;
    LoadFromDir(dir, desc, file, path, nLev, 0);  // the walk itself is not traced here
    if (nLev == 0)
        SortListing(*this, dir, desc, file, path, logLevel);
    return GetSize();
}
