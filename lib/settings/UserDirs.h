// Where a program keeps its settings file and its logs.
//
// A copy of a program in a folder it may write to (unpacked into a home directory, on a USB
// stick) keeps both beside the executable. An installed copy (/usr/bin, /usr/local/bin, or any
// folder this process cannot write to) uses the user's folders of the XDG base directories, in a
// folder named by the program (SetProgramFolder) or after its executable:
//
//   settings  $XDG_CONFIG_HOME/<name>/<base>.ini   (default ~/.config/<name>/)
//   logs      $XDG_STATE_HOME/<name>/logs/...      (default ~/.local/state/<name>/)
//
// The folders are made when something is written there, never merely for asking the path.
//
// Not exported from libqdx; GetIniPath and GetStateDir of <qdx/Settings.h> give the results.
#pragma once

#include <string>
#include <string_view>

namespace qdx::ini_internal {

// Whether settings and logs may stay beside an executable in `exeDir`: the folder is not one of
// the system's program folders (/usr/..., /bin, /sbin, /snap, /nix/store) and this process may
// create files in it. "" stands for the root folder.
bool KeepBesideExecutable(const std::string& exeDir);

// The program's folder for one XDG kind: `xdgValue` when it is an absolute path (the XDG rules
// ignore relative ones), else `home` + "/" + `homeRelative`; then "/" + `name`. "" when neither
// gives an absolute path.
//   UserFolder("/x/cfg", "/home/a", ".config", "rolvek")  -> "/x/cfg/rolvek"
//   UserFolder(nullptr,  "/home/a", ".config", "rolvek")  -> "/home/a/.config/rolvek"
//   UserFolder("cfg",    "/home/a", ".config", "rolvek")  -> "/home/a/.config/rolvek"
std::string UserFolder(const char* xdgValue, const char* home, std::string_view homeRelative, std::string_view name);

// The user's home folder: $HOME when absolute, else the password database's entry; "" if none.
std::string HomeFolder();

// For tests: makes `exePath` the executable's path for every path rule (null: the running
// program's) and forgets the cached paths, so the next request decides again from the
// environment as it is then.
void SetExecutablePathForTests(const char* exePath);

} // namespace qdx::ini_internal
