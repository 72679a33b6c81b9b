// The http-date measurement: HEAD requests over http or https through curl, on a path of its own
// (HttpGet takes http:// only), timed so the server's second changes between two of them.
#include <qdx/HttpClock.h>

#include <qdx/DateTime.h>
#include <qdx/Platform.h>

#include "datetime/InternetTime.h"
#include "net/HttpError.h"
#include "net/HttpUrl.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
constexpr double kSendMargin = 0.002;   // a request is never planned closer to now than this (s)
constexpr double kNarrowEnough = 0.004;  // below this width (s) another request brings little

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// This machine's wall clock in seconds, read once through the clock seam and carried on by the
// steady clock, so a clock step during the measurement cannot bend it.
class Timeline {
public:
    // The wall clock is read between two readings of the steady clock and paired with their
    // middle; of a few tries the tightest pair counts, so a thread preempted between the two
    // clocks does not shift every time measured on the timeline.
    Timeline()
    {
        Clock::duration tightest = Clock::duration::max();
        for (int attempt = 0; attempt < 5; ++attempt) {
            const Clock::time_point before = Clock::now();
            const timespec wall = ClockNow();
            const Clock::time_point after = Clock::now();
            if (after - before >= tightest)
                continue;
            tightest = after - before;
            m_steady0 = before + (after - before) / 2;
            m_wall0 = static_cast<double>(wall.tv_sec) + wall.tv_nsec * 1e-9;
        }
    }
    double Wall(Clock::time_point t) const { return m_wall0 + std::chrono::duration<double>(t - m_steady0).count(); }
    Clock::time_point Steady(double wall) const
    {
        return m_steady0 + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(wall - m_wall0));
    }

private:
    Clock::time_point m_steady0;
    double m_wall0 = 0;
};

// One answer: the server's Date (seconds since 1970) and when the request went out and the
// answer began, on the timeline.
struct Answer {
    long long date = 0;
    double sent = 0;
    double answered = 0;
    double setUp = 0;  // from the start of the call to the request leaving: a new connection, TLS
};

// The requests to one address, on one curl handle so the connection is kept between them.
class DateAsker {
public:
    DateAsker(const std::string& url, const std::string* caBlob, Clock::time_point deadline, const Timeline& timeline)
        : m_url(url), m_deadline(deadline), m_timeline(timeline)
    {
        InitCurl();
        m_curl = curl_easy_init();
        if (!m_curl)
            return;
        CURL* c = m_curl;
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_USERAGENT, "qdx-HttpMeasureClock");
        curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);  // any answer carries a Date
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
        if (caBlob) {
            curl_blob blob{const_cast<char*>(caBlob->data()), caBlob->size(), CURL_BLOB_COPY};
            curl_easy_setopt(c, CURLOPT_CAINFO_BLOB, &blob);
        }
        m_noCache = curl_slist_append(nullptr, "Cache-Control: no-cache");
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, m_noCache);
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, m_errorText);
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &DateAsker::OnHeader);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &DateAsker::OnBody);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, this);
    }
    ~DateAsker()
    {
        if (m_curl)
            curl_easy_cleanup(m_curl);
        curl_slist_free_all(m_noCache);
    }
    DateAsker(const DateAsker&) = delete;
    DateAsker& operator=(const DateAsker&) = delete;

    // Asks once. On failure `error` says why.
    bool Ask(Answer& answer, HttpFetchError& error)
    {
        if (!m_curl) {
            error = HttpFetchError{HttpFailure::Other, CURLE_FAILED_INIT, m_url, curl_easy_strerror(CURLE_FAILED_INIT)};
            return false;
        }
        for (int attempt = 0; attempt < 2; ++attempt) {
            const long long left =
                std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now()).count();
            if (left <= 0) {
                error = DescribeCurlError(CURLE_OPERATION_TIMEDOUT, m_curl, m_url, "the time for this server ran out");
                return false;
            }
            curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, static_cast<long>(left));
            m_headers.clear();
            m_errorText[0] = '\0';
            const Clock::time_point start = Clock::now();
            CURLcode code = curl_easy_perform(m_curl);
            if (code == CURLE_WRITE_ERROR && m_headersDone)
                code = CURLE_OK;  // a GET ends at its first body byte: the headers are all we need
            if (code != CURLE_OK) {
                error = DescribeCurlError(code, m_curl, m_url, m_errorText);
                return false;
            }
            long status = 0;
            curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
            if ((status == 405 || status == 501) && !m_get) {
                // A server that does not answer HEAD gets a GET whose body is not read.
                m_get = true;
                curl_easy_setopt(m_curl, CURLOPT_NOBODY, 0L);
                curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L);
                continue;
            }
            const Clock::time_point stop = Clock::now();
            curl_off_t before = 0;
            curl_off_t first = 0;
            curl_off_t total = 0;
            curl_easy_getinfo(m_curl, CURLINFO_PRETRANSFER_TIME_T, &before);
            curl_easy_getinfo(m_curl, CURLINFO_STARTTRANSFER_TIME_T, &first);
            curl_easy_getinfo(m_curl, CURLINFO_TOTAL_TIME_T, &total);
            // curl counts its times from its own start, a moment after `start` (later still when
            // this thread was preempted in between). The interval must hold the server's moment
            // whatever that delay: the request left no earlier than start + before, and the
            // answer began no later than stop - total + first.
            const double delay = std::max(0.0, std::chrono::duration<double>(stop - start).count() - total * 1e-6);
            const double base = m_timeline.Wall(start);
            answer.sent = base + before * 1e-6;
            answer.setUp = before * 1e-6;
            answer.answered = base + delay + std::max(first, before) * 1e-6;
            uint32_t date = 0;
            uint32_t time = 0;
            const std::optional<std::string> header = qdx::inet_internal::FindDateHeader(m_headers);
            CQDXDateTime when;
            if (!header || !qdx::inet_internal::ParseHttpDate(*header, date, time) || when.SetDT(date, time) != 0) {
                error = HttpFetchError{HttpFailure::NoDate, status, m_url,
                                       header ? "the Date header \"" + header->substr(0, 100) + "\" cannot be read"
                                              : "no Date header in the answer (status " + std::to_string(status) + ")"};
                return false;
            }
            answer.date = (static_cast<long long>(when.GetJulian()) - 2440588) * 86400 + when.GetTimeSec();
            return true;
        }
        error = HttpFetchError{HttpFailure::Broken, 0, m_url, "the server refuses both HEAD and GET"};
        return false;
    }

private:
    static size_t OnHeader(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<DateAsker*>(user);
        const size_t bytes = size * count;
        if (bytes >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
            self->m_headers.clear();
            self->m_headersDone = false;
        }
        if (bytes <= 2 && (data[0] == '\r' || data[0] == '\n'))
            self->m_headersDone = true;
        if (self->m_headers.size() + bytes > kMaxHeaderBytes)
            return 0;
        self->m_headers.append(data, bytes);
        return bytes;
    }

    static size_t OnBody(char*, size_t, size_t, void*) { return 0; }

    CURL* m_curl = nullptr;
    curl_slist* m_noCache = nullptr;
    std::string m_url;
    Clock::time_point m_deadline;
    const Timeline& m_timeline;
    std::string m_headers;
    bool m_headersDone = false;
    bool m_get = false;
    char m_errorText[CURL_ERROR_SIZE] = {};
};

// The offset interval [low, high] (seconds) an answer allows.
struct Interval {
    double low;
    double high;
    double Width() const { return high - low; }
    double Middle() const { return (low + high) / 2; }
};

Interval Allows(const Answer& answer)
{
    return {static_cast<double>(answer.date) - answer.answered, static_cast<double>(answer.date) + 1 - answer.sent};
}

// Measures at one address: the first answer, then requests timed at the expected change of the
// server's second, each intersecting what is known.
bool MeasureAt(const std::string& url, const std::string* caBlob, const HttpClockOptions& options,
               Clock::time_point deadline, HttpClockReading& reading)
{
    const Timeline timeline;
    DateAsker asker(url, caBlob, deadline, timeline);
    Answer answer;
    if (!asker.Ask(answer, reading.error))
        return false;
    Interval known = Allows(answer);
    double roundTrip = answer.answered - answer.sent;
    int answered = 1;
    const int most = std::clamp(options.requests, 1, 20);
    while (answered < most && known.Width() > std::max(2 * roundTrip, kNarrowEnough)) {
        // The server's second k begins at k - offset on this clock; the request should arrive
        // then, half a round trip after it leaves, and it leaves once the connection is set up
        // (taken to last as long as the last time).
        const double now = timeline.Wall(Clock::now());
        const double lead = answer.setUp + roundTrip / 2;
        const double k = std::ceil(now + kSendMargin + known.Middle() + lead);
        const double sendAt = k - known.Middle() - lead;
        const Clock::time_point wake = timeline.Steady(sendAt);
        if (wake >= deadline)
            break;
        std::this_thread::sleep_until(wake);
        HttpFetchError ignored;
        if (!asker.Ask(answer, ignored))
            break;  // what is known so far stands
        ++answered;
        roundTrip = std::min(roundTrip, answer.answered - answer.sent);
        const Interval allowed = Allows(answer);
        const Interval both{std::max(known.low, allowed.low), std::min(known.high, allowed.high)};
        // Answers that contradict each other (a clock that jumped): the latest one counts.
        known = both.low <= both.high ? both : allowed;
    }
    reading.ok = true;
    reading.error = HttpFetchError();
    reading.offsetMs = known.Middle() * 1000;
    reading.uncertaintyMs = known.Width() / 2 * 1000;
    reading.roundTripMs = roundTrip * 1000;
    reading.requests = answered;
    return true;
}

// The system's certificate store followed by the extra CA file, for CURLOPT_CAINFO_BLOB.
std::optional<std::string> CertificateBlob(const std::string& caFile, HttpFetchError& error)
{
    InitCurl();
    std::string blob;
    if (CURL* probe = curl_easy_init()) {
        char* systemFile = nullptr;
        curl_easy_getinfo(probe, CURLINFO_CAINFO, &systemFile);
        if (systemFile)
            blob = ReadWholeFile(systemFile).value_or(std::string());
        curl_easy_cleanup(probe);
    }
    const std::optional<std::string> extra = ReadWholeFile(caFile);
    if (!extra) {
        error = HttpFetchError{HttpFailure::Certificate, CURLE_SSL_CACERT_BADFILE, caFile,
                               "cannot read the CA file " + caFile + ": " + std::strerror(errno)};
        return std::nullopt;
    }
    blob += "\n";
    blob += *extra;
    return blob;
}

bool NoTlsThere(const HttpFetchError& error)
{
    return error.cause == HttpFailure::Connect || error.cause == HttpFailure::Tls;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

HttpClockReading HttpMeasureClock(const std::string& server, const HttpClockOptions& options)
{
    HttpClockReading reading;
    reading.server = server;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(options.timeoutMs, 1));
    try {
        std::string text = server;
        text.erase(0, text.find_first_not_of(" \t"));
        text.erase(text.find_last_not_of(" \t") + 1);
        std::vector<std::string> candidates;
        if (text.find("://") == std::string::npos && !text.empty()) {
            const std::string rest = text.find('/') == std::string::npos ? text + "/" : text;
            candidates = {"https://" + rest, "http://" + rest};
        } else {
            candidates = {text};
        }
        HttpUrl parsed;
        if (!ParseUrl(candidates.front(), parsed) ||
            (parsed.service != UrlService::Http && parsed.service != UrlService::Https)) {
            reading.url = text;
            reading.error = HttpFetchError{HttpFailure::BadAddress, 0, text,
                                           "not an http:// or https:// address, nor a host name"};
        } else {
            std::optional<std::string> blob;
            if (!options.caFile.empty())
                blob = CertificateBlob(options.caFile, reading.error);
            if (options.caFile.empty() || blob) {
                for (const std::string& url : candidates) {
                    reading.url = url;
                    if (MeasureAt(url, blob ? &*blob : nullptr, options, deadline, reading) ||
                        !NoTlsThere(reading.error))
                        break;
                }
            }
        }
    } catch (const std::bad_alloc&) {
        reading.ok = false;
        reading.error = HttpFetchError{HttpFailure::Other, CURLE_OUT_OF_MEMORY, server, "out of memory"};
    }
    if (reading.ok)
        ClearLastHttpError();
    else
        SetLastHttpError(reading.error);
    return reading;
}

HttpClockSummary HttpCombineClocks(const std::vector<HttpClockReading>& readings)
{
    HttpClockSummary summary;
    std::vector<size_t> answered;
    std::vector<double> offsets;
    std::vector<double> uncertainties;
    for (size_t i = 0; i < readings.size(); ++i) {
        if (!readings[i].ok)
            continue;
        answered.push_back(i);
        offsets.push_back(readings[i].offsetMs);
        uncertainties.push_back(readings[i].uncertaintyMs);
    }
    if (answered.empty())
        return summary;
    const double middle = Median(offsets);
    const double typical = Median(uncertainties);
    std::vector<size_t> kept;
    for (size_t i : answered) {
        if (std::fabs(readings[i].offsetMs - middle) > readings[i].uncertaintyMs + typical)
            summary.outliers.push_back(i);
        else
            kept.push_back(i);
    }
    if (kept.size() * 2 <= answered.size()) {
        summary.majority = false;
        summary.outliers.clear();
        kept = answered;
    }
    offsets.clear();
    uncertainties.clear();
    for (size_t i : kept) {
        offsets.push_back(readings[i].offsetMs);
        uncertainties.push_back(readings[i].uncertaintyMs);
    }
    summary.used = static_cast<int>(kept.size());
    summary.medianMs = Median(offsets);
    summary.uncertaintyMs = Median(uncertainties);
    summary.spreadMs = *std::max_element(offsets.begin(), offsets.end()) - *std::min_element(offsets.begin(), offsets.end());
    return summary;
}
