// The seams that stand in for the desktop platform the library was first written for.
//
// - TaskMemAlloc / TaskMemFree: the one allocator pair for every CTxt buffer.
// - SYSTEMTIME: the broken-down time record of the date-time library.
// - ShowMessageBox: message boxes go through a hook; an application installs one that shows a
//   real dialog, the default writes the caption and text to standard error.
// - SendLastMessage: the main window's last-message text; the log writer hands every message to
//   the sink an application registers.
// - ClockNow / ClockSet: the wall clock and setting it. Tests install a fixed instant and a fake
//   setter, so no test depends on the time of day or ever sets the machine's clock.
// - StartProgram / OpenStandardDescriptors: what a program does first in main().
#pragma once

#include <qdx/qdx_export.h>

#include <cstddef>
#include <ctime>
#include <functional>

// --- task allocator --------------------------------------------------------------------------

// Like malloc/free; TaskMemAlloc(0) still returns a unique pointer. TaskMemFree(nullptr) is a no-op.
QDX_EXPORT void* TaskMemAlloc(std::size_t size);
QDX_EXPORT void TaskMemFree(void* block);

// --- system time record ----------------------------------------------------------------------

typedef unsigned short WORD;

struct SYSTEMTIME {
    WORD wYear;          // 1601 ..
    WORD wMonth;         // 1 .. 12
    WORD wDayOfWeek;     // 0 (Sunday) .. 6
    WORD wDay;           // 1 .. 31
    WORD wHour;          // 0 .. 23
    WORD wMinute;        // 0 .. 59
    WORD wSecond;        // 0 .. 59
    WORD wMilliseconds;  // 0 .. 999
};

// --- message boxes ---------------------------------------------------------------------------

enum : unsigned {
    MB_OK = 0x0000,
    MB_OKCANCEL = 0x0001,
    MB_YESNO = 0x0004,
    MB_ICONERROR = 0x0010,
    MB_ICONQUESTION = 0x0020,
    MB_ICONWARNING = 0x0030,
    MB_ICONINFORMATION = 0x0040,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Shows `text` under `caption`; returns the button pressed (IDOK, IDCANCEL, ...).
using MessageBoxHook = std::function<int(const char* text, const char* caption, unsigned type)>;

// Installs the hook (an empty function restores the default); returns the previous one.
QDX_EXPORT MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
// Shows a message box through the installed hook. Default: "caption: text" on standard error, IDOK.
QDX_EXPORT int ShowMessageBox(const char* text, const char* caption, unsigned type = MB_OK);

// --- the main window's last-message text -----------------------------------------------------

using LastMessageSink = std::function<void(const char* text)>;

// Registers the sink (an empty function removes it); returns the previous one.
QDX_EXPORT LastMessageSink SetLastMessageSink(LastMessageSink sink);
// Hands `text` to the registered sink; does nothing without one.
QDX_EXPORT void SendLastMessage(const char* text);

// --- the clock -------------------------------------------------------------------------------

// The current wall-clock time (CLOCK_REALTIME), unless a test has installed a fixed source.
QDX_EXPORT timespec ClockNow();
using ClockNowSource = std::function<timespec()>;
// Installs a source for ClockNow (an empty function restores the real clock); returns the previous one.
QDX_EXPORT ClockNowSource SetClockNowSource(ClockNowSource source);

// Sets the machine's clock (CLOCK_REALTIME). Returns 0, or the errno value of the failure
// (EPERM without the right to set the clock).
QDX_EXPORT int ClockSet(const timespec& when);
using ClockSetter = std::function<int(const timespec& when)>;
// Installs a replacement for ClockSet (an empty function restores the real one); returns the previous one.
QDX_EXPORT ClockSetter SetClockSetter(ClockSetter setter);

// --- the start of a program ------------------------------------------------------------------

// Makes sure descriptors 0, 1 and 2 are open, so that no file opened later (a log, a settings
// file) takes the place of standard output and receives what was meant for it. A closed one is
// opened on /dev/null the wrong way round (standard input for writing, output and error for
// reading), so that using it fails loudly instead of quietly doing nothing: a report written to
// a closed standard output ends with EBADF. Returns 0, or -1 when /dev/null cannot be opened.
QDX_EXPORT int OpenStandardDescriptors();

// The first call of a program's main(), before anything opens a file:
//   int main(int argc, char** argv) { StartProgram("rolvek"); ... }
// OpenStandardDescriptors, then SetProgramFolder(folder) of <qdx/Settings.h> (null: the
// executable's name). A program whose standard descriptors cannot be made safe ends here with
// exit status 1.
QDX_EXPORT void StartProgram(const char* folder);
