// Internals of the log writer that tests and benchmarks reach: the process-wide state can be
// forgotten, the program directory can be pointed elsewhere, and commits to disk are counted.
// (SetIniPath of <qdx/Settings.h> points the settings elsewhere.) Not exported from libqdx.
#pragma once

#include <functional>
#include <string>

namespace qdx::log_internal {

// Ends the committer (after the commits it was given), closes the log file (without a further
// commit) and forgets everything the writer has decided or read:
// the next message decides again, as at the start of a process. Keeps the overrides below.
void ResetState();

// Makes the writer use `dir` in place of the program directory (nullptr: the program directory).
void SetProgramDir(const char* dir);

// Number of commits to disk (fdatasync of the log file) ordered since the process started. A
// commit due after a line is ordered before LogTrace returns; unless it must be complete by then
// (LogFileFlushOnEach YES, the commands), the background committer carries it out.
long CommitCount();

// Makes commits call `sync` with the file descriptor in place of fdatasync (nullptr: fdatasync).
// With a hook, commits that need not wait go to the committer even for a file in memory (tmpfs),
// which the writer otherwise commits itself.
void SetSyncHook(std::function<void(int fd)> sync);

// Returns once every ordered commit has been carried out.
void WaitForCommits();

// Whether the background committer's thread exists.
bool CommitterRunning();

// Path of the log file most recently opened ("" before the first).
std::string CurrentPath();

// The log file's name for an executable path: base name without extension, in lower case.
//   "/opt/Rolvek/Rolvek-Check.bin" -> "rolvek-check"
std::string ProgramName(const char* exePath);

// The log file path for a program directory (already normalized), a program name and a local
// date: "<dir>/logs/<YYYYMMDD>/<name>.log".
std::string LogFilePath(const std::string& dir, const std::string& name, int year, int month, int day);

} // namespace qdx::log_internal
