#include <qdx/Browser.h>

#include <qdx/Fields.h>
#include <qdx/Log.h>
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <spawn.h>
#include <sys/stat.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr int kCommandSize = 1001;  // the stored browser command: up to 1000 characters

std::string Env(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : std::string(fallback);
}

std::vector<std::string> SplitList(const std::string& list, char separator)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(separator, start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            items.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

// The folders of one XDG kind, most important first: the user's ($homeVar, else ~/homeDefault),
// then the system's ($dirsVar, else dirsDefault). Relative paths are ignored, as the XDG rules say.
std::vector<std::string> XdgDirs(const char* homeVar, const char* homeDefault, const char* dirsVar,
                                 const char* dirsDefault)
{
    std::vector<std::string> dirs;
    std::string home = Env(homeVar, "");
    if (home[0] != '/') {
        const std::string user = Env("HOME", "");
        home = user[0] == '/' ? user + "/" + homeDefault : std::string();
    }
    if (!home.empty())
        dirs.push_back(home);
    for (const std::string& dir : SplitList(Env(dirsVar, dirsDefault), ':'))
        if (dir[0] == '/')
            dirs.push_back(dir);
    return dirs;
}

// The value of `key` in group `group` of a freedesktop key file, or "" when absent. Only a
// regular file is read: a FIFO in its place must not hold the caller.
std::string ReadKeyFile(const std::string& path, const char* group, const char* key)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    std::ifstream in(path);
    if (!in)
        return {};
    std::string line;
    bool inGroup = false;
    const std::size_t keyLength = std::strlen(key);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inGroup = line == std::string("[") + group + "]";
            continue;
        }
        if (!inGroup || line.compare(0, keyLength, key) != 0)
            continue;
        std::size_t at = keyLength;
        while (at < line.size() && line[at] == ' ')
            ++at;
        if (at < line.size() && line[at] == '=') {
            ++at;
            while (at < line.size() && line[at] == ' ')
                ++at;
            return line.substr(at);
        }
    }
    return {};
}

constexpr char kHttpType[] = "x-scheme-handler/http";

// The desktop file ids a list gives for http addresses in `group`: "a.desktop;b.desktop;".
std::vector<std::string> ListedIds(const std::string& path, const char* group)
{
    std::vector<std::string> ids;
    for (const std::string& id : SplitList(ReadKeyFile(path, group, kHttpType), ';'))
        if (id.find('/') == std::string::npos)
            ids.push_back(id);
    return ids;
}

// The file of desktop file id `id` under an applications folder: "vendor-web.desktop" may be
// "vendor-web.desktop" or "vendor/web.desktop" (the id joins sub-folders with '-').
std::string FindEntry(const std::string& folder, const std::string& id, int depth = 0)
{
    struct stat st;
    std::string path = folder + "/" + id;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return path;
    for (std::size_t dash = id.find('-'); dash != std::string::npos && depth < 4; dash = id.find('-', dash + 1)) {
        path = FindEntry(folder + "/" + id.substr(0, dash), id.substr(dash + 1), depth + 1);
        if (!path.empty())
            return path;
    }
    return {};
}

// The Exec= line of the installed desktop entry `id`, "" when it is not installed: the entry in
// the most important data folder counts, and one marked Hidden hides the others.
std::string InstalledExec(const std::string& id, const std::vector<std::string>& dataDirs)
{
    for (const std::string& dir : dataDirs) {
        const std::string entry = FindEntry(dir + "/applications", id);
        if (entry.empty())
            continue;
        if (ReadKeyFile(entry, "Desktop Entry", "Hidden") == "true")
            return {};
        return ReadKeyFile(entry, "Desktop Entry", "Exec");
    }
    return {};
}

// The Exec= line of the desktop's default application for http addresses, found as the
// freedesktop rules for default applications say:
//  1. the lists in order: in each config folder, then in each data folder's applications
//     folder, "<desktop>-mimeapps.list" for each name in $XDG_CURRENT_DESKTOP (lower case),
//     then "mimeapps.list" (and the older "defaults.list" of the data folders);
//  2. the first installed entry of a list's [Default Applications];
//  3. failing that, the first installed one among the [Added Associations] of the lists and
//     then the mimeinfo.cache of each data folder, leaving out what a more important or the
//     same list puts under [Removed Associations].
std::string DesktopDefaultBrowser()
{
    const std::vector<std::string> configDirs = XdgDirs("XDG_CONFIG_HOME", ".config", "XDG_CONFIG_DIRS", "/etc/xdg");
    const std::vector<std::string> dataDirs =
        XdgDirs("XDG_DATA_HOME", ".local/share", "XDG_DATA_DIRS", "/usr/local/share:/usr/share");
    std::vector<std::string> desktops = SplitList(Env("XDG_CURRENT_DESKTOP", ""), ':');
    for (std::string& name : desktops)
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    std::vector<std::string> lists;
    auto addLists = [&](const std::string& dir) {
        for (const std::string& name : desktops)
            lists.push_back(dir + "/" + name + "-mimeapps.list");
        lists.push_back(dir + "/mimeapps.list");
    };
    for (const std::string& dir : configDirs)
        addLists(dir);
    for (const std::string& dir : dataDirs) {
        addLists(dir + "/applications");
        lists.push_back(dir + "/applications/defaults.list");
    }

    std::vector<std::string> removed, associated;
    auto isRemoved = [&](const std::string& id) {
        return std::find(removed.begin(), removed.end(), id) != removed.end();
    };
    for (const std::string& list : lists) {
        for (const std::string& id : ListedIds(list, "Removed Associations"))
            removed.push_back(id);
        for (const std::string& id : ListedIds(list, "Default Applications")) {
            std::string exec = InstalledExec(id, dataDirs);
            if (!exec.empty())
                return exec;
        }
        for (const std::string& id : ListedIds(list, "Added Associations"))
            if (!isRemoved(id))
                associated.push_back(id);
    }
    for (const std::string& dir : dataDirs)
        for (const std::string& id : ListedIds(dir + "/applications/mimeinfo.cache", "MIME Cache"))
            if (!isRemoved(id))
                associated.push_back(id);
    for (const std::string& id : associated) {
        std::string exec = InstalledExec(id, dataDirs);
        if (!exec.empty())
            return exec;
    }
    return {};
}

// Splits a command line into words as a shell would: blanks separate words, single quotes keep
// everything literally, double quotes keep blanks (a backslash there escapes ", \, $ and `),
// and a backslash outside quotes escapes the next character. Nothing else is interpreted.
std::vector<std::string> SplitWords(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char ch = line[i];
        if (ch == ' ' || ch == '\t' || ch == '\n') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else if (ch == '\'') {
            inWord = true;
            size_t end = line.find('\'', i + 1);
            if (end == std::string::npos)
                end = line.size();
            word.append(line, i + 1, end - i - 1);
            i = end;
        } else if (ch == '"') {
            inWord = true;
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size() && std::strchr("\"\\$`", line[i + 1]))
                    ++i;
                word += line[i];
            }
        } else if (ch == '\\' && i + 1 < line.size()) {
            inWord = true;
            word += line[++i];
        } else {
            inWord = true;
            word += ch;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

void ToForwardSlashes(std::string& text)
{
    for (char& ch : text)
        if (ch == '\\')
            ch = '/';
}

} // namespace

void ReleaseBrowser(pid_t pid)
{
    if (pid <= 0)
        return;
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

int GetRegisteredBrowser(char* out, int outSize)
{
    if (!out || outSize <= 0)
        return 0;
    std::string command = Env("BROWSER", "");
    if (!command.empty()) {
        // $BROWSER may list several commands separated by ":"; the first is the one to use.
        command = command.substr(0, command.find(':'));
    } else {
        command = DesktopDefaultBrowser();
    }
    std::snprintf(out, static_cast<size_t>(outSize), "%s", command.c_str());
    return static_cast<int>(std::strlen(out));
}

int RebuildBrowserCommand(const char* registered, char* out, int outSize)
{
    if (!out || outSize <= 0)
        return 0;
    std::string rebuilt;
    char field[kCommandSize];
    for (int n = 1; registered && strfld(registered, ' ', n, 0, field, sizeof field) > 0; ++n) {
        if ((field[0] == '"' && field[1] == '%') || field[0] == '%' || strcmpmode(field, "http:", 0) == 0)
            continue;
        std::string kept(field);
        ToForwardSlashes(kept);
        rebuilt += kept;
        rebuilt += ' ';
    }
    std::snprintf(out, static_cast<size_t>(outSize), "%s", rebuilt.c_str());
    return static_cast<int>(std::strlen(out));
}

int StartBrowser(const char* document, pid_t* pid)
{
    if (!document)
        document = "";
    char registered[kCommandSize];
    if (GetRegisteredBrowser(registered, sizeof registered) > 0) {
        char rebuilt[kCommandSize];
        RebuildBrowserCommand(registered, rebuilt, sizeof rebuilt);
        IniWriteString("INTERNET", "Browser", rebuilt);
    }

    char browser[kCommandSize];
    IniReadBuf("INTERNET", "Browser", "", browser, sizeof browser);

    std::string target(document);
    ToForwardSlashes(target);
    std::string commandLine = std::string(browser) + " \"" + target + "\"";
    ToForwardSlashes(commandLine);
    LogFileWrite("Test", ("HELP: Cmd=" + commandLine + "<").c_str(), 0);

    // The browser command is split into words; the document is one argument of its own, so
    // quotes or shell characters in it can neither split it nor start anything else.
    std::vector<std::string> words = SplitWords(browser);
    int error = ENOENT;
    if (!words.empty()) {
        words.push_back(target);
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_t child = 0;
        error = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
        if (error == 0) {
            *pid = child;
            return 0;
        }
    }

    char message[kCommandSize + 64];
    std::snprintf(message, sizeof message, "Cannot start '%s' (%d)\r\n", browser, error);
    ShowMessageBox(message, "View Error", MB_OK);
    return -1;
}

int LaunchBrowser(const char* document, int wait)
{
    pid_t pid = 0;
    if (StartBrowser(document, &pid) != 0)
        return -1;
    if (wait == 1) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    } else {
        ReleaseBrowser(pid);
    }
    return 0;
}
