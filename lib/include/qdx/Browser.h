// Opening a web page (or any document a browser takes) in the user's browser.
//
//   LaunchBrowser("http://example.org/rolvek/", 0);   // start the browser and go on
//   LaunchBrowser("/tmp/report.htm", 1);              // return once the browser has ended
//
// The browser command comes from the registered handler for http addresses: the command in
// $BROWSER when it is set, otherwise the Exec= line of the desktop's default application for
// x-scheme-handler/http, looked up as the freedesktop rules say (desktop-specific and plain
// mimeapps.list files of the config and data folders, then mimeinfo.cache). At every launch it is
// rebuilt (placeholders such as %u, "%1" and a leading http: field dropped, backslashes turned
// into "/") and stored as `Browser` in section "INTERNET" of the settings file, replacing what
// was there; the stored command is used as it stands only when no handler is registered.
// The browser is started directly, never through a shell: the document always reaches it as
// one argument, whatever characters it holds.
#pragma once

#include <qdx/qdx_export.h>

#include <sys/types.h>

// Starts the browser on `document`; with wait 1 returns only after the browser has ended.
// Returns 0 when the browser was started, -1 when it could not be (after a "View Error"
// message box saying "Cannot start '<command>' (<error>)").
QDX_EXPORT int LaunchBrowser(const char* document, int wait);

// As LaunchBrowser without waiting, but hands the started process to the caller: *pid receives
// its id, and the caller must collect it (waitpid) once it has ended. Lets a user interface wait
// for the browser without blocking its event loop. Returns 0 or -1 as LaunchBrowser does.
QDX_EXPORT int StartBrowser(const char* document, pid_t* pid);

// Leaves a browser started by StartBrowser to end on its own: it is collected in the background
// when it ends, so it leaves no zombie process behind.
QDX_EXPORT void ReleaseBrowser(pid_t pid);

// The registered http handler's command line as it stands (before rebuilding), or "" when none
// is registered. Exposed for diagnostics and tests.
QDX_EXPORT int GetRegisteredBrowser(char* out, int outSize);

// Rebuilds a registered handler's command line into the stored browser command: fields that
// begin with "%" or "\"%" or are a beginning of "http:" are dropped, backslashes become "/",
// and each kept field is followed by one blank. Returns the length of `out`.
//   "\"C:\\Apps\\browser.exe\" -new \"%1\""  ->  "\"C:/Apps/browser.exe\" -new "
QDX_EXPORT int RebuildBrowserCommand(const char* registered, char* out, int outSize);
