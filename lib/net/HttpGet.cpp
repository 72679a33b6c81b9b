#include <qdx/HttpGet.h>
#include <qdx/Log.h>

#include "net/HttpError.h"
#include "net/HttpUrl.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr const char* kLog = "HTTP";
constexpr std::size_t kChunkSize = 20000;      // bytes per body read
constexpr std::size_t kMaxErrorText = 1023;    // longest error message kept in an "*ERR:" line
constexpr std::size_t kMaxHeaderBytes = 1 << 20;  // the header lines of one answer
constexpr std::size_t kMaxBodyCeiling = 1u << 30;  // what SetHttpMaxBody accepts at most
constexpr unsigned long kStatusConnectedToServer = 21;

// Request flags of the session: reuse an existing connection; no automatic redirect.
constexpr unsigned kFlagExistingConnect = 0x20000000;
constexpr unsigned kFlagNoAutoRedirect = 0x00200000;

std::mutex g_lock;
HttpCredentialsHook g_credentials;
HttpTimeouts g_timeouts;
std::size_t g_maxBody = kHttpMaxBodyDefault;
HttpPageSource g_pageSource;

template <typename T>
T Current(const T& slot)
{
    std::lock_guard<std::mutex> guard(g_lock);
    return slot;
}

// An error of the transfer layer: curl's error number and its message.
struct CInternetError {
    long number;
    std::string message;
};

using Clock = std::chrono::steady_clock;

// One curl transfer with the waits of HttpTimeouts: connecting is bounded by the connect
// time-out, once connected the transfer is aborted when no byte arrives for the stall time-out,
// and nothing goes on past the deadline of the call it belongs to. Collects the header lines and
// the body of the last response it receives.
class Transfer {
public:
    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer()
    {
        if (m_curl)
            curl_easy_cleanup(m_curl);
        curl_slist_free_all(m_headerList);
    }

    // Prepares a GET (or HEAD) of `url` that must end by `deadline`. False when curl cannot
    // give a handle.
    bool Init(const std::string& url, const char* agent, const std::vector<const char*>& headers, bool head,
              bool followRedirects, Clock::time_point deadline)
    {
        InitCurl();
        m_curl = curl_easy_init();
        if (!m_curl)
            return false;
        const HttpTimeouts timeouts = Current(g_timeouts);
        m_stall = std::chrono::milliseconds(timeouts.stallMs);
        m_totalMs = timeouts.totalMs;
        m_connectMs = timeouts.connectMs;
        m_deadline = deadline;
        for (const char* header : headers) {
            curl_slist* grown = curl_slist_append(m_headerList, header);
            if (!grown)
                return false;
            m_headerList = grown;
        }
        m_errorText[0] = '\0';
        CURL* c = m_curl;
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
        curl_easy_setopt(c, CURLOPT_USERAGENT, agent);
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, m_headerList);
        curl_easy_setopt(c, CURLOPT_NOBODY, head ? 1L : 0L);
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L);
        if (followRedirects) {
            curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
            curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http");
        }
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connectMs));
        curl_easy_setopt(c, CURLOPT_BUFFERSIZE, static_cast<long>(kChunkSize));
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, m_errorText);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, &Transfer::OnConnected);
        curl_easy_setopt(c, CURLOPT_PREREQDATA, this);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        return true;
    }

    // Sends credentials with the next Perform (empty user: none).
    void SetCredentials(const CString& user, const CString& password)
    {
        m_userPassword = user.str() + ":" + password.str();
        curl_easy_setopt(m_curl, CURLOPT_USERPWD, m_userPassword.c_str());
        curl_easy_setopt(m_curl, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
    }

    // Keeps the first `limit` body bytes; a transfer that brings more ends there, successfully.
    void KeepFirst(std::size_t limit) { m_bodyLimit = limit; }

    // Refuses a body of more than `limit` bytes: the transfer fails with CURLE_FILESIZE_EXCEEDED.
    // What is kept is cut as HttpGet reads it: each 20000-byte read ends at its first NUL byte.
    void RefuseBeyond(std::size_t limit)
    {
        m_bodyLimit = limit;
        m_refuseBeyond = true;
        m_cutAtNul = true;
        curl_easy_setopt(m_curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limit));
    }

    // Called once the connection is established (or reused), before the request goes out.
    void OnConnect(std::function<void()> callback) { m_onConnect = std::move(callback); }

    // Runs the transfer. Returns curl's result, with an abort for a full body turned into success.
    CURLcode Perform()
    {
        m_headers.clear();
        ClearBody();
        m_errorText[0] = '\0';
        m_sawResponse = m_connected = m_stalled = m_bodyFull = m_outOfMemory = false;
        m_tooLarge = m_pastDeadline = false;
        m_lastActivity = Clock::now();
        const long long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - m_lastActivity).count();
        if (left <= 0) {
            m_pastDeadline = true;
            return CURLE_OPERATION_TIMEDOUT;
        }
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, static_cast<long>(left));
        CURLcode code = curl_easy_perform(m_curl);
        if (code == CURLE_WRITE_ERROR && m_bodyFull)
            code = CURLE_OK;
        // Once connected curl's only time-out is the deadline; before, it is the deadline when
        // that comes first.
        if (code == CURLE_OPERATION_TIMEDOUT && !m_stalled && (m_connected || left < m_connectMs))
            m_pastDeadline = true;
        return code;
    }

    // The error of a failed Perform as number and message (at most 1023 characters).
    CInternetError Error(CURLcode code) const
    {
        CInternetError error{static_cast<long>(code), std::string()};
        if (m_pastDeadline) {
            error.number = CURLE_OPERATION_TIMEDOUT;
            error.message = "Operation timed out: the fetch took longer than its limit of " +
                            std::to_string(m_totalMs) + " milliseconds";
        } else if (m_stalled) {
            error.number = CURLE_OPERATION_TIMEDOUT;
            error.message = "Operation timed out after " + std::to_string(m_stall.count()) +
                            " milliseconds with no data received";
        } else if (m_tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
            error.number = CURLE_FILESIZE_EXCEEDED;
            error.message = "Maximum file size exceeded: the answer is larger than " + std::to_string(m_bodyLimit) +
                            " bytes";
        } else if (m_headersTooLarge) {
            error.number = CURLE_RECV_ERROR;
            error.message = "The answer's header lines are larger than " + std::to_string(kMaxHeaderBytes) + " bytes";
        } else if (m_outOfMemory) {
            error.number = CURLE_OUT_OF_MEMORY;
            error.message = curl_easy_strerror(CURLE_OUT_OF_MEMORY);
        } else {
            error.message = m_errorText[0] ? m_errorText : curl_easy_strerror(code);
        }
        if (error.message.size() > kMaxErrorText)
            error.message.resize(kMaxErrorText);
        return error;
    }

    long Status() const
    {
        long status = 0;
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
        return status;
    }

    // The failure of a Perform that returned `code`, for HttpLastError.
    HttpFetchError Describe(CURLcode code, const std::string& url) const
    {
        const CInternetError error = Error(code);
        return DescribeCurlError(static_cast<CURLcode>(error.number), m_curl, url, error.message.c_str());
    }

    bool SawResponse() const { return m_sawResponse; }
    const std::string& Headers() const { return m_headers; }
    std::string& Body() { return m_body; }

private:
    void ClearBody()
    {
        m_body.clear();
        m_received = 0;
        m_readOffset = 0;
        m_readCut = false;
    }

    // Keeps `bytes` more of the body, each 20000-byte read cut at its first NUL when asked.
    void Keep(const char* data, size_t bytes)
    {
        if (!m_cutAtNul) {
            m_body.append(data, bytes);
            return;
        }
        while (bytes > 0) {
            const size_t length = std::min(bytes, kChunkSize - m_readOffset);
            if (!m_readCut) {
                const void* nul = std::memchr(data, '\0', length);
                m_body.append(data, nul ? static_cast<size_t>(static_cast<const char*>(nul) - data) : length);
                m_readCut = nul != nullptr;
            }
            data += length;
            bytes -= length;
            m_readOffset += length;
            if (m_readOffset == kChunkSize) {
                m_readOffset = 0;
                m_readCut = false;
            }
        }
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        self->m_lastActivity = Clock::now();
        const size_t room = self->m_bodyLimit - std::min(self->m_bodyLimit, self->m_received);
        if (self->m_refuseBeyond && bytes > room) {
            self->m_tooLarge = true;
            return 0;
        }
        try {
            if (self->m_received == 0) {
                // Room for the announced length at once, so the body is not moved as it grows.
                curl_off_t announced = -1;
                curl_easy_getinfo(self->m_curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
                if (announced > 0)
                    self->m_body.reserve(std::min(static_cast<size_t>(announced), self->m_bodyLimit));
            }
            self->Keep(data, std::min(bytes, room));
        } catch (const std::bad_alloc&) {
            self->m_outOfMemory = true;
            return 0;
        }
        self->m_received += std::min(bytes, room);
        if (!self->m_refuseBeyond && (bytes > room || self->m_received >= self->m_bodyLimit)) {
            self->m_bodyFull = true;
            return 0;  // enough: ends the transfer
        }
        return bytes;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        self->m_lastActivity = Clock::now();
        try {
            // A new status line starts the headers of another answer (after a redirect or an
            // interim 100 Continue): only the last answer's headers and body are kept.
            if (bytes >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
                self->m_headers.clear();
                self->ClearBody();
                self->m_sawResponse = true;
            }
            if (self->m_headers.size() + bytes > kMaxHeaderBytes) {
                self->m_headersTooLarge = true;
                return 0;
            }
            self->m_headers.append(data, bytes);
        } catch (const std::bad_alloc&) {
            self->m_outOfMemory = true;
            return 0;
        }
        return bytes;
    }

    static int OnConnected(void* user, char*, char*, int, int)
    {
        auto* self = static_cast<Transfer*>(user);
        self->m_connected = true;
        self->m_lastActivity = Clock::now();
        if (self->m_onConnect)
            self->m_onConnect();
        return CURL_PREREQFUNC_OK;
    }

    static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        auto* self = static_cast<Transfer*>(user);
        const Clock::time_point now = Clock::now();
        if (now >= self->m_deadline) {
            self->m_pastDeadline = true;
            return 1;  // abort
        }
        if (self->m_connected && now - self->m_lastActivity > self->m_stall) {
            self->m_stalled = true;
            return 1;
        }
        return 0;
    }

    CURL* m_curl = nullptr;
    curl_slist* m_headerList = nullptr;
    std::string m_userPassword;
    std::string m_headers;
    std::string m_body;
    std::size_t m_bodyLimit = static_cast<std::size_t>(-1);
    std::size_t m_received = 0;    // body bytes taken in (before any NUL cut)
    std::size_t m_readOffset = 0;  // where in the current 20000-byte read the body stands
    bool m_readCut = false;        // the current read has met its NUL
    bool m_refuseBeyond = false;
    bool m_cutAtNul = false;
    std::function<void()> m_onConnect;
    std::chrono::milliseconds m_stall{30000};
    int m_totalMs = 0;
    int m_connectMs = 0;
    Clock::time_point m_deadline = Clock::time_point::max();
    Clock::time_point m_lastActivity;
    bool m_sawResponse = false;
    bool m_connected = false;
    bool m_stalled = false;
    bool m_bodyFull = false;
    bool m_outOfMemory = false;
    bool m_tooLarge = false;
    bool m_headersTooLarge = false;
    bool m_pastDeadline = false;
    char m_errorText[CURL_ERROR_SIZE] = {};
};

// The internet session of one HttpGet call: its options, and the status notifications of the
// transfers made in it.
class CHttpGetSession : public CObject {
public:
    explicit CHttpGetSession(int progressFlag) : progress(progressFlag) {}
    ~CHttpGetSession() override { Close(); }

    void Close() { m_statusCallback = false; }
    void EnableStatusCallback() { m_statusCallback = true; }

    // Status notification of the transfer layer: notes the connection when asked for progress.
    virtual void OnStatusCallback(unsigned long context, unsigned long status, const void* info,
                                  unsigned long infoLength)
    {
        (void)context;
        (void)info;
        (void)infoLength;
        if (!m_statusCallback)
            return;
        if (verbose && status == kStatusConnectedToServer && progress)
            LogTrace(kLog, 0, "Internet connection sucessfull...");
    }

    const char* agent = "HTTP_GET";
    unsigned long context = 1;

    int stripTags = 0;  // markup is never removed from the body
    int verbose = 1;
    int progress;
    int reserved = 0;
    unsigned requestFlags = kFlagExistingConnect | kFlagNoAutoRedirect;
    const char* headers = "Accept: text/*\r\nUser-Agent: HTTP_GET\r\n";

private:
    bool m_statusCallback = false;
};

// The session's header block as single lines for curl.
std::vector<std::string> SplitHeaders(const char* block)
{
    std::vector<std::string> lines;
    std::string_view rest(block);
    while (!rest.empty()) {
        size_t end = rest.find("\r\n");
        std::string_view line = rest.substr(0, end);
        if (!line.empty())
            lines.emplace_back(line);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
    }
    return lines;
}

// Opens a GET request for `url` in `session` and sends it; returns the answer's status.
std::unique_ptr<Transfer> OpenRequest(CHttpGetSession& session, const HttpUrl& url,
                                      const std::vector<std::string>& headerLines, Clock::time_point deadline)
{
    auto request = std::make_unique<Transfer>();
    std::vector<const char*> headers;
    for (const std::string& line : headerLines)
        headers.push_back(line.c_str());
    const bool followRedirects = (session.requestFlags & kFlagNoAutoRedirect) == 0;
    if (!request->Init(url.ToString(), session.agent, headers, false, followRedirects, deadline))
        throw CInternetError{CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT)};
    request->RefuseBeyond(Current(g_maxBody));
    CHttpGetSession* owner = &session;
    std::string host = url.host;
    request->OnConnect([owner, host] {
        owner->OnStatusCallback(owner->context, kStatusConnectedToServer, host.c_str(),
                                static_cast<unsigned long>(host.size()));
    });
    return request;
}

long Send(Transfer& request, const std::string& url)
{
    CURLcode code = request.Perform();
    if (code != CURLE_OK) {
        SetLastHttpError(request.Describe(code, url));
        throw request.Error(code);
    }
    return request.Status();
}

void NoteFailure(HttpFailure cause, long number, const char* url, std::string message)
{
    SetLastHttpError(HttpFetchError{cause, number, url ? url : "", std::move(message)});
}

// Appends the body (already cut at the NUL bytes) to `result`: the one copy of it made after
// the transfer.
void AppendBody(CString& result, const std::string& body)
{
    const int had = result.GetLength();
    if (body.size() > static_cast<size_t>(std::numeric_limits<int>::max() - had))
        throw CInternetError{CURLE_FILESIZE_EXCEEDED, "Maximum file size exceeded: the text would pass 2 GiB"};
    char* text = result.GetBuffer(had + static_cast<int>(body.size()));
    std::memcpy(text + had, body.data(), body.size());
    result.ReleaseBuffer(had + static_cast<int>(body.size()));
}

int FetchPageFromNetwork(const char* agent, const char* url, bool head, std::size_t maxBody, HttpPage& page)
{
    HttpUrl target;
    if (!url || !ParseUrl(url, target) || target.service != UrlService::Http) {
        NoteFailure(HttpFailure::BadAddress, 0, url, "not an http:// address");
        return kHttpPageOpenError;
    }
    Transfer transfer;
    // Always from the server, never from a cache on the way.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(Current(g_timeouts).totalMs);
    if (!transfer.Init(target.ToString(), agent ? agent : "", {"Cache-Control: no-cache", "Pragma: no-cache"},
                       head, true, deadline)) {
        NoteFailure(HttpFailure::Other, CURLE_FAILED_INIT, url, curl_easy_strerror(CURLE_FAILED_INIT));
        return kHttpPageSessionError;
    }
    transfer.KeepFirst(maxBody);
    CURLcode code = transfer.Perform();
    if (code != CURLE_OK) {
        SetLastHttpError(transfer.Describe(code, url));
        return transfer.SawResponse() ? kHttpPageReadError : kHttpPageOpenError;
    }
    page.status = transfer.Status();
    page.headers = transfer.Headers();
    page.body = std::move(transfer.Body());
    return kHttpPageOk;
}

struct RegisterHttpGetException {
    RegisterHttpGetException() { CRuntimeClass::Register(&CHttpGetException::classCHttpGetException); }
} g_registerHttpGetException;

CObject* CreateHttpGetException() { return new CHttpGetException(0); }

} // namespace

const CRuntimeClass CHttpGetException::classCHttpGetException = {
    "CHttpGetException", sizeof(CHttpGetException), 0xFFFF, &CreateHttpGetException, &CException::classCException};

const CRuntimeClass* CHttpGetException::GetRuntimeClass() const { return &classCHttpGetException; }

void ThrowHttpGetException(int code)
{
    throw new CHttpGetException(code);
}

HttpCredentialsHook SetHttpCredentialsHook(HttpCredentialsHook hook)
{
    std::lock_guard<std::mutex> guard(g_lock);
    return std::exchange(g_credentials, std::move(hook));
}

HttpTimeouts SetHttpTimeouts(HttpTimeouts timeouts)
{
    timeouts.connectMs = std::max(timeouts.connectMs, 1);
    timeouts.stallMs = std::max(timeouts.stallMs, 1);
    timeouts.totalMs = std::max(timeouts.totalMs, 1);
    std::lock_guard<std::mutex> guard(g_lock);
    return std::exchange(g_timeouts, timeouts);
}

std::size_t SetHttpMaxBody(std::size_t bytes)
{
    bytes = std::clamp<std::size_t>(bytes, 1, kMaxBodyCeiling);
    std::lock_guard<std::mutex> guard(g_lock);
    return std::exchange(g_maxBody, bytes);
}

int HttpGet(const char* url, CString& result, int progress)
{
    CHttpGetSession session(progress);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(Current(g_timeouts).totalMs);
    std::unique_ptr<Transfer> request;
    int code = 0;
    ClearLastHttpError();
    try {
        HttpUrl target;
        if (!url || !ParseUrl(url, target) || target.service != UrlService::Http) {
            NoteFailure(HttpFailure::BadAddress, 0, url, "not an http:// address");
            LogTrace(kLog, 0, "Error: can only use URLs beginning with http://");
            ThrowHttpGetException(1);
        }
        if (session.progress == 1)
            LogTrace(kLog, 0, "Accessing Internet...");
        session.EnableStatusCallback();

        const std::vector<std::string> headers = SplitHeaders(session.headers);
        request = OpenRequest(session, target, headers, deadline);
        long status = Send(*request, url);

        if (status == 401) {
            CString user;
            CString password;
            HttpCredentialsHook hook = Current(g_credentials);
            if (!hook || !hook(url, user, password)) {
                NoteFailure(HttpFailure::Denied, 401, url, "access denied: the server asks for a password");
                LogTrace(kLog, 0, "Access denied: Invalid password");
                ThrowHttpGetException(1);
            }
            request->SetCredentials(user, password);
            status = Send(*request, url);
        }

        if (status == 301 || status == 302 || status == 303) {
            std::optional<std::string> location = FindLocationHeader(request->Headers());
            if (!location) {
                NoteFailure(HttpFailure::Redirect, status, url, "a redirect without a new location");
                LogTrace(kLog, 0, "Error: Site redirects with no new location");
                ThrowHttpGetException(2);
            }
            request.reset();
            LogTrace(kLog, 0, "Caution: redirected to ");
            LogTrace(kLog, 0, "%s", location->c_str());
            HttpUrl next;
            if (!ResolveLocation(target, *location, next)) {
                NoteFailure(HttpFailure::Redirect, status, url, "a redirect to an unreadable address: " + *location);
                LogTrace(kLog, 0, "Error: the redirected URL could not be parsed.");
                ThrowHttpGetException(2);
            }
            if (next.service != UrlService::Http) {
                NoteFailure(HttpFailure::Redirect, status, url, "a redirect to an address that is not http://: " +
                                                                    *location);
                LogTrace(kLog, 0, "Error: the redirected URL does not reference a HTTP resource.");
                ThrowHttpGetException(2);
            }
            // The new server gets no credentials meant for the first one.
            request = OpenRequest(session, next, headers, deadline);
            status = Send(*request, next.ToString());
            if (status != 200) {
                NoteFailure(HttpFailure::Redirect, status, next.ToString().c_str(),
                            "the redirected request answered " + std::to_string(status));
                result.Format("*ERR:HTTPSTATUS:%ld\r\n", status);
                LogTrace(kLog, 0, "Error: Got status code %d", static_cast<int>(status));
                ThrowHttpGetException(2);
            }
        }

        if (session.progress == 1)
            LogTrace(kLog, 0, "Status Code is %d", static_cast<int>(status));
        AppendBody(result, request->Body());
    } catch (const CInternetError& error) {
        if (HttpLastError().cause == HttpFailure::None)
            NoteFailure(error.number == CURLE_FILESIZE_EXCEEDED ? HttpFailure::TooLarge : HttpFailure::Other,
                        error.number, url, error.message);
        result.Format("*ERR:%ld:%s\r\n", error.number, error.message.c_str());
        LogTrace(kLog, 0, "Error: (%d) %s", static_cast<int>(error.number), error.message.c_str());
        code = 2;
    } catch (CHttpGetException* exception) {
        code = exception->code;
        LogTrace(kLog, 0, "Error: Exiting with CHttpGetException(%d)", code);
        exception->Delete();
    } catch (const std::bad_alloc&) {
        const char* message = curl_easy_strerror(CURLE_OUT_OF_MEMORY);
        NoteFailure(HttpFailure::Other, CURLE_OUT_OF_MEMORY, url, message);
        result.Format("*ERR:%d:%s\r\n", static_cast<int>(CURLE_OUT_OF_MEMORY), message);
        LogTrace(kLog, 0, "Error: (%d) %s", static_cast<int>(CURLE_OUT_OF_MEMORY), message);
        code = 2;
    }
    request.reset();
    session.Close();
    return code;
}

int HttpFetchPage(const char* agent, const char* url, bool head, std::size_t maxBody, HttpPage& page)
{
    if (!url)
        return kHttpPageOpenError;
    if (!agent)
        agent = "";
    ClearLastHttpError();
    if (HttpPageSource source = Current(g_pageSource)) {
        const int result = source(agent, url, head, maxBody, page);
        if (result != kHttpPageOk && HttpLastError().cause == HttpFailure::None)
            NoteFailure(HttpFailure::Other, 0, url, "the page could not be fetched");
        return result;
    }
    try {
        return FetchPageFromNetwork(agent, url, head, maxBody, page);
    } catch (const std::bad_alloc&) {
        NoteFailure(HttpFailure::Other, CURLE_OUT_OF_MEMORY, url, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
        return kHttpPageSessionError;
    }
}

HttpPageSource SetHttpPageSource(HttpPageSource source)
{
    std::lock_guard<std::mutex> guard(g_lock);
    return std::exchange(g_pageSource, std::move(source));
}
