#include <qdx/Browser.h>

#include <qdx/Fields.h>
#include <qdx/Log.h>
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <spawn.h>
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

std::string HomeDir(const char* sub)
{
    return Env("HOME", "") + sub;
}

std::vector<std::string> SplitDirs(const std::string& list)
{
    std::vector<std::string> dirs;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            dirs.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return dirs;
}

// The value of `key` in group `group` of a freedesktop key file, or "" when absent.
std::string ReadKeyFile(const std::string& path, const char* group, const char* key)
{
    std::ifstream in(path);
    if (!in)
        return {};
    std::string line;
    bool inGroup = false;
    const size_t keyLength = std::strlen(key);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inGroup = line == std::string("[") + group + "]";
            continue;
        }
        if (!inGroup || line.compare(0, keyLength, key) != 0)
            continue;
        size_t at = keyLength;
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

std::vector<std::string> DataDirs()
{
    std::vector<std::string> dirs{Env("XDG_DATA_HOME", HomeDir("/.local/share").c_str())};
    for (const std::string& dir : SplitDirs(Env("XDG_DATA_DIRS", "/usr/local/share:/usr/share")))
        dirs.push_back(dir);
    return dirs;
}

// The Exec= line of the desktop entry that the freedesktop default for http addresses names.
std::string DesktopDefaultBrowser()
{
    std::vector<std::string> lists{Env("XDG_CONFIG_HOME", HomeDir("/.config").c_str()) + "/mimeapps.list"};
    for (const std::string& dir : SplitDirs(Env("XDG_CONFIG_DIRS", "/etc/xdg")))
        lists.push_back(dir + "/mimeapps.list");
    const std::vector<std::string> dataDirs = DataDirs();
    for (const std::string& dir : dataDirs)
        lists.push_back(dir + "/applications/mimeapps.list");
    for (const std::string& dir : dataDirs)
        lists.push_back(dir + "/applications/defaults.list");

    for (const std::string& list : lists) {
        std::string ids = ReadKeyFile(list, "Default Applications", "x-scheme-handler/http");
        size_t start = 0;
        while (start < ids.size()) {
            size_t end = ids.find(';', start);
            if (end == std::string::npos)
                end = ids.size();
            std::string id = ids.substr(start, end - start);
            start = end + 1;
            if (id.empty() || id.find('/') != std::string::npos)
                continue;
            for (const std::string& dir : dataDirs) {
                std::string exec = ReadKeyFile(dir + "/applications/" + id, "Desktop Entry", "Exec");
                if (!exec.empty())
                    return exec;
            }
        }
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
