// Plain HTTP fetches.
//
// - HttpGet(url, result, progress): one GET of an "http://" document; the body is appended to
//   `result`, a failure comes back as a result code and, for network errors and a failed
//   redirect, as a line "*ERR:..." in `result`. At most one redirect is followed.
// - SetHttpCredentialsHook: how an application answers a server's demand for a password (401).
// - SetHttpTimeouts: how long a fetch waits for a connection and for the next byte, and how
//   long a whole call may last.
// - SetHttpMaxBody: the largest answer HttpGet keeps.
// - HttpLastError: why this thread's last fetch failed, in words for the user.
// - HttpFetchPage / SetHttpPageSource: the first block of a page (or its headers only), as the
//   clock readers of the date-time library take it; tests serve such pages from memory.
//
//   CString page;
//   if (HttpGet("http://example.org/index.html", page, 0) == 0)
//       use(page);                   // the body (also for a 404 or 500 answer)
//   else
//       report(page);                // e.g. "*ERR:6:Could not resolve host: example.org\r\n"
//
// Progress and errors are logged under the category "HTTP", level 0. Every call opens and closes
// its own connections; nothing outlives it. A call blocks its thread until the fetch ends: at most
// the connect time-out to connect, the stall time-out for each pause of the server, and never
// longer than the call's deadline (HttpTimeouts::totalMs, two minutes unless set otherwise).
#pragma once

#include <qdx/Object.h>
#include <qdx/String.h>
#include <qdx/qdx_export.h>

#include <cstddef>
#include <functional>
#include <string>

// Fetches the "http://" document `url` with a GET request.
//   progress: 1 adds the progress notes ("Accessing Internet...", "Status Code is %d") to the log.
// Returns
//   0  a response was read: its body is appended to `result`, whatever its status (404 and 500
//      included); each read chunk of up to 20000 bytes is cut at its first NUL byte;
//   1  `url` is not an http:// URL, or the server refused access (401) and no new credentials
//      came from the credentials hook: `result` unchanged;
//   2  a redirect failed: without "Location:" header or to a target that is not http:// (`result`
//      unchanged), or the redirected request did not answer 200 (`result` is
//      "*ERR:HTTPSTATUS:<status>\r\n");
//   2  the transfer failed (name resolution, connection, time-out, send or read): `result` is
//      "*ERR:<curl error number>:<message>\r\n", replacing anything it held; among them
//      "*ERR:28:Operation timed out: the fetch took longer than its limit of <n> milliseconds"
//      when the call's deadline passed, and "*ERR:63:Maximum file size exceeded: the answer is
//      larger than <n> bytes" for a body beyond SetHttpMaxBody.
// A redirect (301, 302, 303) is followed once; relative targets are resolved against `url`.
QDX_EXPORT int HttpGet(const char* url, CString& result, int progress);

// The exception HttpGet throws and catches inside itself; creatable by name
// (CRuntimeClass::CreateObject("CHttpGetException") gives one with code 0).
//   code 1: not an http:// URL, or access denied;  code 2: a failed redirect.
class QDX_EXPORT CHttpGetException : public CException {
public:
    explicit CHttpGetException(int code = 0) : code(code) {}
    const CRuntimeClass* GetRuntimeClass() const override;

    int code;

    static const CRuntimeClass classCHttpGetException;
};

// Throws a new CHttpGetException with `code` (as a pointer; the catcher calls Delete()).
[[noreturn]] QDX_EXPORT void ThrowHttpGetException(int code);

// Asked once when a server answers 401. Fill in `user` and `password` and return true to send the
// request again with them; return false to give up (HttpGet then logs "Access denied: Invalid
// password" and returns 1). Runs on the thread that called HttpGet.
using HttpCredentialsHook = std::function<bool(const char* url, CString& user, CString& password)>;

// Installs the hook (an empty function removes it); returns the previous one. Without a hook a
// 401 ends the fetch as if the user had cancelled.
QDX_EXPORT HttpCredentialsHook SetHttpCredentialsHook(HttpCredentialsHook hook);

// The waits of every fetch, in milliseconds. A fetch that cannot connect within `connectMs`, that
// receives no byte for `stallMs` once connected, or that is still going `totalMs` after the call
// began (a server sending a byte now and then, redirects and a second request with credentials
// included), fails with curl's time-out error (28). HttpGet and HttpFetchPage each get `totalMs`
// per call.
struct HttpTimeouts {
    int connectMs = 10000;
    int stallMs = 30000;
    int totalMs = 120000;
};

// Sets the waits for all later fetches (values below 1 ms count as 1 ms); returns the previous ones.
QDX_EXPORT HttpTimeouts SetHttpTimeouts(HttpTimeouts timeouts);

// The largest body HttpGet takes in by default: 64 MiB, far beyond any real page.
inline constexpr std::size_t kHttpMaxBodyDefault = std::size_t{64} << 20;

// Sets the largest body HttpGet takes in, in bytes (1 byte to 1 GiB; other values are brought
// into that range) for all later calls; returns the previous limit. An answer announcing or
// bringing more ends the call with 2 and "*ERR:63:...". The body is held once while it arrives
// and copied once into `result`.
QDX_EXPORT std::size_t SetHttpMaxBody(std::size_t bytes);

// --- why the last fetch failed ----------------------------------------------------------------

// The kind of a fetch's failure.
enum class HttpFailure {
    None,         // the fetch succeeded (or none was made on this thread yet)
    BadAddress,   // not an address the call can use
    Resolve,      // the host name cannot be resolved
    Connect,      // no connection: refused, unreachable, ...
    Timeout,      // no answer in time: connect, stall or the call's deadline
    Certificate,  // the server's certificate does not pass its check
    Tls,          // no TLS connection could be made
    TooLarge,     // the answer is larger than the limit
    Broken,       // the answer broke off or is no HTTP
    NoDate,       // the answer has no readable Date header (HttpMeasureClock)
    Redirect,     // a redirect HttpGet does not follow, or that did not end in 200
    Denied,       // the server refused access (401) and no new credentials came
    Other,
};

// The failure of a fetch, for a message that names the address and the cause.
struct HttpFetchError {
    HttpFailure cause = HttpFailure::None;
    long number = 0;      // curl's error number, or the HTTP status for Redirect; 0 when none
    std::string url;      // the address that failed
    std::string message;  // the cause in words: "cannot resolve host x.invalid",
                          // "cannot connect to 127.0.0.1 port 1: connection refused", ...
};

// How this thread's last fetch (HttpGet, HttpFetchPage, HttpMeasureClock) ended: cause None after
// a success. Lets a caller of a function that keeps its own result codes (the time-page readers
// of DateTime.h) tell the user why a page could not be fetched.
QDX_EXPORT HttpFetchError HttpLastError();

// --- first block of a page -------------------------------------------------------------------

// What HttpFetchPage delivers.
struct HttpPage {
    long status = 0;      // status code of the final answer
    std::string headers;  // its raw header lines (status line first), each ending CR LF
    std::string body;     // the first `maxBody` bytes of its body (empty for a HEAD request)
};

enum : int {
    kHttpPageOk = 0,
    kHttpPageSessionError = -1,  // no transfer could be set up
    kHttpPageOpenError = -2,     // no answer: bad address, no connection, no response, time-out
    kHttpPageReadError = -3,     // the answer broke off before its headers or its first block ended
};

// Fetches `url` (http:// only) bypassing every cache: a GET (`head` false) keeping the first
// `maxBody` bytes of the body, or a HEAD (`head` true). Redirects to http:// addresses are
// followed. `agent` is the User-Agent. Returns one of the kHttpPage codes; `page` is filled on 0.
// Goes through the installed page source when there is one.
QDX_EXPORT int HttpFetchPage(const char* agent, const char* url, bool head, std::size_t maxBody, HttpPage& page);

using HttpPageSource =
    std::function<int(const char* agent, const char* url, bool head, std::size_t maxBody, HttpPage& page)>;

// Replaces the network behind HttpFetchPage (an empty function restores it); returns the previous
// source. Tests and fuzzers serve pages from memory this way.
QDX_EXPORT HttpPageSource SetHttpPageSource(HttpPageSource source);
