#include "settings/UserDirs.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace qdx::ini_internal {

namespace {

// True when `path` is `folder` itself or lies inside it.
bool IsWithin(const std::string& path, std::string_view folder)
{
    if (path.compare(0, folder.size(), folder) != 0)
        return false;
    return path.size() == folder.size() || path[folder.size()] == '/';
}

} // namespace

bool KeepBesideExecutable(const std::string& exeDir)
{
    const std::string dir = exeDir.empty() ? std::string("/") : exeDir;
    // The system's program folders are never a portable copy's home, even for root, who may
    // write to them: an installed program must not leave its files among the system's.
    static constexpr std::string_view kSystemFolders[] = {"/usr", "/bin", "/sbin", "/lib", "/snap", "/nix/store"};
    for (std::string_view folder : kSystemFolders)
        if (IsWithin(dir, folder))
            return false;
    if (dir == "/")
        return false;
    // Writing the settings file means creating a temporary file beside it, so the folder itself
    // must be writable, not just the file.
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

std::string UserFolder(const char* xdgValue, const char* home, std::string_view homeRelative, std::string_view name)
{
    std::string folder;
    if (xdgValue && xdgValue[0] == '/') {
        folder = xdgValue;
    } else if (home && home[0] == '/') {
        folder = home;
        if (folder.back() != '/')
            folder.push_back('/');
        folder.append(homeRelative);
    } else {
        return std::string();
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder != "/")
        folder.push_back('/');
    folder.append(name);
    return folder;
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry;
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return std::string();
}

} // namespace qdx::ini_internal
