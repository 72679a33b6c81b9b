// The settings file: where the program lives, where its settings are, and the readers and the
// writer of that file.
//
// - GetExeDir / GetIniPath: the executable's directory and the settings file (beside the
//   executable for a copy in a writable folder, in the user's configuration folder otherwise).
// - GetStateDir: the folder that holds the log folder, chosen the same way.
// - IniReadString / IniReadBuf: read a text setting (a default for a missing key).
// - IniReadInt / IniReadBool: read a number or a YES/NO flag, creating a missing key with its
//   default, so that after one start the file lists every setting the program uses.
// - IniWriteString: write (or remove) one key.
// - SetProgramFolder: the name of an installed program's folder under the user's XDG folders.
//
//   int values = IniReadInt("SYS", "RollValues", 6);        // creates RollValues=6 when missing
//   IniWriteString("SYS", "TimeFont", "DejaVu Sans");
//
// The file layout is the classic initialisation file:
//
//   ; comment                    lines starting with ';' or '#' are comments
//   [SYS]                        a section
//   RollValues=6                 key=value; blanks around names and values are ignored, and a
//   TimeFont="DejaVu Sans"       value in matching quotes loses them
//
// Section and key names are compared ignoring ASCII case. LF, CR LF and lone CR line ends read
// alike. A write changes only the one line it is about: comments, blank lines, the order and keys
// this program does not know stay exactly as they were; a missing key is added at the end of its
// section, a missing section at the end of the file, with the line end of the file's first line.
// The file is replaced atomically (a temporary file beside it is written, flushed to disk and
// renamed over it), so a crash or a full disk never leaves it half written or empty. Each write
// holds an advisory lock (flock) on "<file>.lock" beside the file, so programs writing the same
// file at once never lose each other's keys. A symbolic link to a file is written through.
//
// Only a regular file (after following links) of at most kIniMaxFileSize bytes is read. Any other
// settings path (a FIFO, a device, a folder, a link to nothing, a file too large or unreadable)
// reads as missing, so the defaults apply; it is never replaced by a write (-1), and the first
// read that meets it logs a note naming the file and the reason.
//
// A file is parsed once and kept; it is read again only when stat shows another inode, size or
// modification or change time, so reading many keys costs one parse.
//
// Every function takes an optional settings file; null means the file of GetIniPath. All
// functions may be called from any thread; writes within one process are serialized.
#pragma once

#include <qdx/String.h>
#include <qdx/Txt.h>
#include <qdx/qdx_export.h>

// Longest value IniReadString keeps (the rest of a longer value is cut off).
inline constexpr int kIniMaxValue = 999;

// Largest settings file read, in bytes (1 MiB): a larger one is not used.
inline constexpr long kIniMaxFileSize = 1L << 20;

// The executable's directory, without a trailing slash. A final "/Debug" or "/Release"
// directory (any case) is dropped, so debug and release builds placed in those subdirectories
// share one directory: /opt/tool/Release/tool gives /opt/tool.
// Copies it into `buffer` (room for `size` bytes) and returns its length, or -1 (and an empty
// text when size > 0) when it does not fit.
QDX_EXPORT int GetExeDir(char* buffer, int size);
QDX_EXPORT int GetExeDir(CString& dir);
template <int N>
int GetExeDir(char (&buffer)[N])
{
    return GetExeDir(buffer, N);
}

// The settings file: "<GetExeDir>/<base>.ini", where base is the executable's name without its
// extension and without a final "Debug" or "Release" (any case): TOOLRELEASE gives TOOL.ini.
// That holds whenever this process may create files in GetExeDir and it is not a system program
// folder (/usr/..., /bin, /sbin): a portable copy keeps its settings beside it. An installed copy
// uses "$XDG_CONFIG_HOME/<folder>/<base>.ini" instead (~/.config/<folder>/ when the variable is
// unset or relative), where <folder> is the name given to SetProgramFolder, else <base>. That
// folder is made (private to the user) by the first write, not by asking for the path.
// Decided at the first request, then fixed for the process. Copies and returns like GetExeDir.
QDX_EXPORT int GetIniPath(char* buffer, int size);
QDX_EXPORT int GetIniPath(CString& path);
template <int N>
int GetIniPath(char (&buffer)[N])
{
    return GetIniPath(buffer, N);
}

// The folder under which the log writer keeps its "logs" folder: GetExeDir for a portable copy
// (as for GetIniPath), else "$XDG_STATE_HOME/<folder>" (~/.local/state/<folder> by default).
// Copies and returns like GetExeDir.
QDX_EXPORT int GetStateDir(char* buffer, int size);
QDX_EXPORT int GetStateDir(CString& dir);
template <int N>
int GetStateDir(char (&buffer)[N])
{
    return GetStateDir(buffer, N);
}

// Names the folder an installed program keeps its settings and logs in, under the user's XDG
// folders; call it at the start of main(), before anything asks for a path. Programs that share
// a settings file name the same folder: rolvek and rolvek-check both use "rolvek". Null goes back
// to the default, the executable's name without extension ("qdx-time" for /usr/bin/qdx-time).
// Returns 0, -1 when the paths were already decided with another name (nothing changes),
// -2 for a name that is empty, "." or ".." or holds a '/'.
QDX_EXPORT int SetProgramFolder(const char* name);

// Makes `path` the settings file of this process in place of the one beside the executable
// (null restores that one). For tests and for programs that keep their settings elsewhere.
QDX_EXPORT void SetIniPath(const char* path);

// Writes key=value into the section, creating the file, the section and the key as needed.
// A null value removes the key; a null key removes the whole section.
// Returns  0 written (or nothing to change),
//         -1 the file could not be read or replaced, or is not one to use (see above); it is
//            left as it was,
//         -2 a name or value that the layout cannot hold: an empty section or key, a section
//            with ']', a key with '=' or starting with '[', ';' or '#', or a line break
//            anywhere. Nothing is written.
QDX_EXPORT int IniWriteString(const char* section, const char* key, const char* value,
                              const char* file = nullptr);

// Reads the key's value (the default, null meaning "", when the key is missing or the file
// cannot be read) into `out`, cut to kIniMaxValue characters. Returns the length of `out`.
QDX_EXPORT int IniReadString(const char* section, const char* key, const char* def, CString& out,
                             const char* file = nullptr);

QDX_EXPORT int IniReadString(const char* section, const char* key, const char* def, CTxt& out,
                             const char* file = nullptr);

// Reads like IniReadString into `buffer` of `size` bytes, cutting the text to size - 1
// characters; never writes past the buffer. Returns the number of characters copied
// (0 and nothing written when size < 1).
QDX_EXPORT int IniReadBuf(const char* section, const char* key, const char* def, char* buffer,
                          int size, const char* file = nullptr);

// A YES/NO flag: 1 when the text is "YES" or "TRUE" (any case), else 0. A missing key is
// written with the default as "YES" or "NO"; an existing text is never changed.
//   "true" -> 1 and stays "true";  "1" -> 0 and stays "1".
QDX_EXPORT int IniReadBool(const char* section, const char* key, int def, const char* file = nullptr);

// An integer: the text converted like strtol in base 10 (leading blanks and a sign allowed, the
// number ends at the first other character, no digits give 0, saturated to the int range).
// A missing key is written with the default; a text that does not read back the same as the
// number (ignoring case) is rewritten as the number.
//   "+7" -> 7, rewritten "7";  "  12abc" -> 12, rewritten "12";  "seven" -> 0, rewritten "0".
QDX_EXPORT int IniReadInt(const char* section, const char* key, int def, const char* file = nullptr);
