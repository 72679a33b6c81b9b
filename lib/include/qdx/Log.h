// The log writer: the one reporting entry of the library, and a text log file per day beside the
// program.
//
// - LogTrace(category, level, format, ...): formats a message printf-style and hands it on.
// - LogWrite(category, text, level): at the first message of the process decides whether a log
//   file is written (setting WriteLog) and opens it; hands every message to the main window's
//   last-message sink (SetLastMessageSink in <qdx/Platform.h>); then calls LogFileWrite.
// - LogFileWrite(category, text, level): writes one line, or performs one of four commands given
//   in place of the category: "*OPENLOG", "*FLUSH", "*CLOSE", "*COPY".
// - MakeDirPath, NormalizePath, CopyFileData: the path and file helpers the writer uses.
//
// The day's file is <program directory>/logs/<YYYYMMDD>/<program name>.log, chosen at the first
// message of the process and kept until the process ends. A line looks like
//
//   HTTP            |061206|14:03:27.015 |Accessing Internet...
//
// the category cut or padded to 16 characters, the date (setting LogShowDate), the time with
// milliseconds and the level character (setting LogShowTime; blank for level 0, 'a' for 1,
// 'b' for 2, ...), then the text with every CR and LF turned into '+', and CR LF.
//
// Settings (read through IniReadBool, created with their defaults when missing):
//   [RELEASE] WriteLog=YES            NO: no log file in this process; messages still reach the sink
//   [SYS]     LogFileAppend=YES       NO: the day's file is started empty by each process
//   [SYS]     LogShowDate=YES         date field in every line
//   [SYS]     LogShowTime=YES         time field in every line
//   [SYS]     LogFileFlushOnEach=NO   YES: commit every line to disk; NO: every 21 lines, or at
//                                     the first line more than 10 seconds after the last commit
//
// Each line reaches the file in one write() on a file opened with O_APPEND, so several processes
// may append to the same day's file without mixing their lines. A commit is an fdatasync(): the
// ones due every 21 lines or 10 seconds are carried out by a thread of the library's own, started
// at the first of them and ended when the file is closed and at exit, so a line waits for its
// write() only; with LogFileFlushOnEach YES, and for the commands, the calling thread commits
// before it returns.
// The calls are serialized by a lock, so threads may log too, although the program logs from its
// user-interface thread only.
#pragma once

#include <qdx/qdx_export.h>

// Longest message text LogTrace keeps; a longer one is cut to this length and reported in a
// message box titled "LOGTRACE Buffer overrun!".
inline constexpr int kLogMaxMessage = 9999;

// Formats the message and hands it to LogWrite. An empty message (or a format error) is dropped
// without touching the log or the last-message sink.
//   LogTrace("RunTally", 1, "Completed Runs: %d - Running ...", 3);
QDX_EXPORT void LogTrace(const char* category, int level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Opens the day's log at the first call of the process (unless WriteLog is NO), hands `text` to
// the last-message sink, and returns LogFileWrite(category, text, level).
QDX_EXPORT int LogWrite(const char* category, const char* text, int level);

// Writes `text` as one line under `category` (null: a line without category and date columns)
// when a log file is open; returns 0 (also when none is open). `text` is not changed.
// When `category` is one of the commands (compared ignoring case; "*OPENLOGX" is an ordinary
// category):
//   "*OPENLOG"  text = path, level 1: start the file empty, other: append.
//               Returns 1 opened, -1 a file is open already (nothing opened), -2 cannot open.
//               Either way the flush counters start again from zero.
//   "*FLUSH"    commits the open file to disk. Returns 0.
//   "*CLOSE"    commits and closes the open file. Returns 0.
//   "*COPY"     commits, then copies the most recently opened log file to "LogCpy.tmp" in the
//               current directory (the copy's outcome is not reported). Returns 0.
QDX_EXPORT int LogFileWrite(const char* category, const char* text, int level);

// Creates every directory along `path` (up to 1000 characters; '/' and single '\' separate,
// a doubled '\' is kept as part of a name). With flag 0 the whole path is created as well and its
// outcome returned; otherwise the outcome of the last directory before a separator.
// Returns 0 (created, or there already) or -1 (also for a path longer than 1000 characters).
//   MakeDirPath("/tmp/a/b/c", 0) creates /tmp/a, /tmp/a/b and /tmp/a/b/c.
QDX_EXPORT int MakeDirPath(const char* path, int flag);

// Rewrites `path` in place: each single '\' becomes '/', a doubled '\' stays, trailing '/' go.
//   "C:\\Tools\\" -> "C:/Tools";  "\\\\server\\share" -> "\\\\server/share"
QDX_EXPORT void NormalizePath(char* path);

// Copies the file `source` to `destination`, replacing it. Returns
//    0 copied, or nothing to do (both name the same file),
//   -1 the source does not exist,
//   -2 the destination exists and cannot be deleted,
//   -3 no transfer buffer could be had,
//   -4 the source cannot be opened,
//   -5 the destination cannot be created,
//   -6 reading or writing failed part-way (the destination is incomplete),
//   -7 the destination does not exist after the copy.
QDX_EXPORT int CopyFileData(const char* source, const char* destination);
