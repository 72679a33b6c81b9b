// qdx-time: reads the time from a time page or from web servers' Date headers, shows how far the
// local clock is from it, and on request sets the clock from it.
//
//   qdx-time --page http-date --url example.org --url example.net --url example.com
//                                              several servers' clocks, to the millisecond
//   qdx-time --page navy                       the Navy-layout page (setting TimePageNavy)
//   qdx-time --page timegov --two-readings     the time-zone page, just after its second advanced
//   qdx-time --page url                        the date page (setting DatePageURL): a date only
//   qdx-time --page http-date --set            set the clock by the median offset (needs root,
//                                              or CAP_SYS_TIME)
//
// The settings are in section [INTERNET] of qdx-time.ini (see --help). Exit codes are listed in
// Usage() and the manual page.
#include <qdx/DateTime.h>
#include <qdx/HttpClock.h>
#include <qdx/HttpGet.h>
#include <qdx/Platform.h>
#include <qdx/Settings.h>
#include <qdx/String.h>

#include <getopt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

enum Exit {
    kDone = 0,
    kFailed = 1,         // the reading failed for another reason (a broken or too large answer, ...)
    kUsage = 2,          // bad arguments
    kClockNotSet = 3,    // the clock could not be set
    kNotConfigured = 4,  // no address to ask: a setting to fill in
    kCannotResolve = 5,  // the host name cannot be resolved
    kCannotConnect = 6,  // no connection (refused, unreachable)
    kTlsFailed = 7,      // no TLS connection, or the certificate does not pass its check
    kTimedOut = 8,       // no answer in time
    kNoTime = 9,         // an answer without a usable time: no Date header, no time on the page
};

constexpr const char* kSection = "INTERNET";
constexpr int kMostServers = 16;

void Usage(std::FILE* out)
{
    std::fputs(
        "Usage: qdx-time --page http-date [--url ADDRESS]... [--set]\n"
        "       qdx-time --page navy|timegov|url [--two-readings] [--set]\n"
        "\n"
        "Reads the time from web servers or a time page and shows how far the local clock is from it.\n"
        "  --page http-date  the Date headers of web servers, timed to a fraction of a second; each\n"
        "                    server's offset, then the median of those that agree\n"
        "  --url ADDRESS     a server for http-date: https://..., http://... or a bare host name\n"
        "                    (https first, http when no TLS connection can be made); up to 16, each\n"
        "                    with its own --url; without any, the list in HttpDateServers\n"
        "  --page navy       the Navy-layout time page (setting TimePageNavy)\n"
        "  --page timegov    the time-zone time page (setting TimePageTimeGov)\n"
        "  --page url        the date page (setting DatePageURL); gives a date, no time of day\n"
        "  --two-readings    navy, timegov: read again until the page's second changes\n"
        "  --set             set the machine's clock from the reading (needs root or CAP_SYS_TIME):\n"
        "                    http-date by the median offset to the millisecond, navy and timegov\n"
        "                    by the reading (implies --two-readings)\n"
        "  --config FILE     the settings file to use instead of qdx-time.ini\n"
        "  --help            this text\n"
        "  --version         the version\n"
        "\n"
        "Settings, section [INTERNET] of qdx-time.ini (written with their defaults at first use):\n"
        "  HttpDateServers          servers for http-date, separated by blanks or commas (none)\n"
        "  CAFile                   a PEM file of certificates trusted besides the system's (none)\n"
        "  HttpDateRequests         requests per server for http-date, 1 to 20 (6)\n"
        "  HttpDateTimeoutSeconds   time for one server's measurement (10)\n"
        "  TimePageNavy, TimePageTimeGov, DatePageURL   the time pages' http:// addresses (none)\n"
        "  FetchTimeoutSeconds      longest fetch of a time page (120)\n"
        "  FetchMaxKB               largest date page taken in, in KiB (65536)\n"
        "\n"
        "Exit codes: 0 done; 1 the reading failed otherwise; 2 bad arguments; 3 the clock could\n"
        "not be set; 4 no address configured; 5 cannot resolve a host; 6 cannot connect; 7 TLS or\n"
        "certificate failure; 8 no answer in time; 9 an answer without a usable time. With several\n"
        "servers, failures are reported and the others used; the code is that of the failure when\n"
        "none answered.\n",
        out);
}

int ExitFor(HttpFailure cause)
{
    switch (cause) {
    case HttpFailure::Resolve:
        return kCannotResolve;
    case HttpFailure::Connect:
        return kCannotConnect;
    case HttpFailure::Certificate:
    case HttpFailure::Tls:
        return kTlsFailed;
    case HttpFailure::Timeout:
        return kTimedOut;
    case HttpFailure::NoDate:
        return kNoTime;
    case HttpFailure::BadAddress:
        return kUsage;
    default:
        return kFailed;
    }
}

int Fail(const HttpFetchError& error)
{
    std::fprintf(stderr, "qdx-time: %s: %s\n", error.url.c_str(), error.message.c_str());
    return ExitFor(error.cause);
}

std::string Setting(const char* key)
{
    CString value;
    IniReadString(kSection, key, "", value);
    std::string text = value.str();
    text.erase(0, text.find_first_not_of(" \t"));
    text.erase(text.find_last_not_of(" \t") + 1);
    return text;
}

std::string SettingsFile()
{
    CString path;
    GetIniPath(path);
    return path.str();
}

// The address of a time page, or a message naming the setting to fill in. The library writes a
// placeholder on a ".invalid" host (a name that never resolves) when the key is missing.
bool PageAddress(const char* key, const char* what, std::string& address)
{
    address = Setting(key);
    std::string host = address.substr(address.find("://") == std::string::npos ? 0 : address.find("://") + 3);
    host = host.substr(0, host.find_first_of(":/"));
    const bool placeholder = host.size() >= 8 && host.compare(host.size() - 8, 8, ".invalid") == 0;
    if (!address.empty() && !placeholder)
        return true;
    if (address.empty())
        IniWriteString(kSection, key, "");  // so the file shows the key to fill in
    std::fprintf(stderr, "qdx-time: no address for the %s: set %s in section [%s] of %s%s%s\n", what, key, kSection,
                 SettingsFile().c_str(), placeholder ? " (now the placeholder " : "",
                 placeholder ? (address + ")").c_str() : "");
    return false;
}

// "2006-01-02 18:04:43".
std::string Show(const CQDXDateTime& value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", value.year + 1900, value.month, value.day,
                  value.hour, value.minute, value.second);
    return text;
}

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> words;
    size_t at = 0;
    while ((at = text.find_first_not_of(" \t,", at)) != std::string::npos) {
        const size_t end = text.find_first_of(" \t,", at);
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

// "1.300 s behind": where the local clock stands, from the server's offset in milliseconds.
void PrintLocalClock(double offsetMs)
{
    const double seconds = std::fabs(offsetMs) / 1000;
    if (std::llround(offsetMs) == 0)
        std::printf("local clock in step to the millisecond\n");
    else
        std::printf("local clock %.3f s %s\n", seconds, offsetMs > 0 ? "behind" : "ahead");
}

int HttpDate(std::vector<std::string> servers, bool set)
{
    if (servers.empty())
        servers = SplitList(Setting("HttpDateServers"));
    if (servers.empty()) {
        IniWriteString(kSection, "HttpDateServers", Setting("HttpDateServers").c_str());
        std::fprintf(stderr,
                     "qdx-time: no server to ask: give --url ADDRESS, or list servers in HttpDateServers in "
                     "section [%s] of %s\n",
                     kSection, SettingsFile().c_str());
        return kNotConfigured;
    }
    if (servers.size() > kMostServers) {
        std::fprintf(stderr, "qdx-time: at most %d servers; %zu given\n", kMostServers, servers.size());
        return kUsage;
    }
    HttpClockOptions options;
    options.caFile = Setting("CAFile");
    options.requests = IniReadInt(kSection, "HttpDateRequests", 6);
    options.timeoutMs = IniReadInt(kSection, "HttpDateTimeoutSeconds", 10) * 1000;

    // Every server is measured at the same time, each on its own thread.
    std::vector<HttpClockReading> readings(servers.size());
    std::vector<std::thread> workers;
    for (size_t i = 0; i < servers.size(); ++i)
        workers.emplace_back([&readings, &servers, &options, i] { readings[i] = HttpMeasureClock(servers[i], options); });
    for (std::thread& worker : workers)
        worker.join();

    const HttpClockSummary summary = HttpCombineClocks(readings);
    int failure = kDone;
    for (size_t i = 0; i < readings.size(); ++i) {
        const HttpClockReading& r = readings[i];
        if (!r.ok) {
            const int code = Fail(r.error);
            failure = failure == kDone || failure == code ? code : kFailed;
            continue;
        }
        const bool out = std::find(summary.outliers.begin(), summary.outliers.end(), i) != summary.outliers.end();
        std::printf("%s %s offset %+.1f ms +/- %.1f ms, %d requests, round trip %.1f ms%s\n",
                    out ? "left out" : "server", r.url.c_str(), r.offsetMs, r.uncertaintyMs, r.requests,
                    r.roundTripMs, out ? ": disagrees with the others" : "");
    }
    if (summary.used == 0)
        return failure;
    if (!summary.majority)
        std::fprintf(stderr, "qdx-time: the servers disagree by more than their uncertainty, and no majority agrees\n");
    std::printf("median offset %+.1f ms +/- %.1f ms, spread %.1f ms, %d of %zu servers\n", summary.medianMs,
                summary.uncertaintyMs, summary.spreadMs, summary.used, readings.size());
    PrintLocalClock(summary.medianMs);
    if (!set)
        return kDone;
    float adjusted = 0;
    CString msg;
    const int result = CQDXDateTime::SyncByOffset(std::llround(summary.medianMs), msg, &adjusted);
    std::printf("%s\n", msg.GetString());
    return result == 0 ? kDone : kClockNotSet;
}

int Page(const std::string& page, int twoReadings, bool set)
{
    const char* key = page == "navy" ? "TimePageNavy" : page == "timegov" ? "TimePageTimeGov" : "DatePageURL";
    const char* what = page == "navy"      ? "Navy-layout time page"
                       : page == "timegov" ? "time-zone time page"
                                           : "date page";
    std::string address;
    if (!PageAddress(key, what, address))
        return kNotConfigured;
    SetHttpTimeouts({10000, 30000, IniReadInt(kSection, "FetchTimeoutSeconds", 120) * 1000});
    SetHttpMaxBody(static_cast<std::size_t>(std::max(IniReadInt(kSection, "FetchMaxKB", 65536), 1)) * 1024);

    CQDXDateTime reading;
    CString msg;
    int result;
    if (page == "navy")
        result = reading.SetNowNavy(msg, twoReadings);
    else if (page == "timegov")
        result = reading.SetNowTimeGov(msg, twoReadings);
    else
        result = reading.SetNowURL();
    if (result != 0) {
        const HttpFetchError error = HttpLastError();
        if (error.cause != HttpFailure::None)
            return Fail(error);
        if (page == "url")
            msg = "no date on the date page";
        std::fprintf(stderr, "qdx-time: %s: %s (%d)\n", address.c_str(), msg.GetString(), result);
        return result == -4 || result == -5 || result == -6 || page == "url" ? kNoTime : kFailed;
    }

    if (page == "url") {
        CQDXDateTime today;
        today.SetNow();
        today.SetTime(0, 0, 0);
        std::printf("date page: %s\n", Show(reading).substr(0, 10).c_str());
        const long long days = reading.GetDiffSecBig(&today) / 86400;
        std::printf("local date: %s, %lld day(s) %s\n", Show(today).substr(0, 10).c_str(), days < 0 ? -days : days,
                    days == 0 ? "(the same)" : days > 0 ? "after the page's" : "before the page's");
        return kDone;
    }

    CQDXDateTime clock;
    clock.SetNowGMT();
    // In 64 bits: a page date a century off is still told right.
    const long long ahead = reading.GetDiffSecBig(&clock);
    std::printf("reading:     %s UTC\n", Show(reading).c_str());
    std::printf("local clock: %s UTC, %lld s %s\n", Show(clock).c_str(), ahead < 0 ? -ahead : ahead,
                ahead == 0 ? "(in step to the second)" : ahead > 0 ? "ahead" : "behind");
    if (!set)
        return kDone;
    float adjusted = 0;
    CString setMsg;
    const int setResult = reading.SyncGMT(setMsg, &adjusted);
    std::printf("%s\n", setMsg.GetString());
    return setResult == 0 ? kDone : kClockNotSet;
}

// The program less its start and its last check of the output.
int Run(int argc, char** argv)
{
    static const option kOptions[] = {
        {"page", required_argument, nullptr, 'p'}, {"url", required_argument, nullptr, 'u'},
        {"two-readings", no_argument, nullptr, 't'}, {"set", no_argument, nullptr, 's'},
        {"config", required_argument, nullptr, 'c'}, {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},      {nullptr, 0, nullptr, 0},
    };
    std::string page;
    std::vector<std::string> urls;
    int twoReadings = 0;
    bool set = false;
    const char* config = nullptr;
    opterr = 0;
    int option;
    while ((option = getopt_long(argc, argv, "h", kOptions, nullptr)) != -1) {
        switch (option) {
        case 'p':
            page = optarg;
            break;
        case 'u':
            urls.emplace_back(optarg);
            break;
        case 't':
            twoReadings = 1;
            break;
        case 's':
            set = true;
            break;
        case 'c':
            config = optarg;
            break;
        case 'h':
            Usage(stdout);
            return kDone;
        case 'V':
            std::printf("qdx-time (rolvek) %s\n", QDX_TIME_VERSION);
            return kDone;
        default:
            std::fprintf(stderr, "qdx-time: unknown or incomplete argument '%s'\n", argv[optind - 1]);
            Usage(stderr);
            return kUsage;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "qdx-time: unexpected argument '%s'\n", argv[optind]);
        return kUsage;
    }
    if (page != "navy" && page != "timegov" && page != "url" && page != "http-date") {
        std::fputs(page.empty() ? "qdx-time: --page is required\n" : "qdx-time: unknown --page\n", stderr);
        Usage(stderr);
        return kUsage;
    }
    if (!urls.empty() && page != "http-date") {
        std::fputs("qdx-time: --url goes with --page http-date; the time pages' addresses are settings\n", stderr);
        return kUsage;
    }
    if (set && page == "url") {
        std::fputs("qdx-time: --set needs a page that gives the time of day; the date page gives a date only\n",
                   stderr);
        return kUsage;
    }
    if (config)
        SetIniPath(config);
    if (page == "http-date")
        return HttpDate(urls, set);
    return Page(page, set ? 1 : twoReadings, set);
}

} // namespace

int main(int argc, char** argv)
{
    StartProgram("qdx-time");
    const int result = Run(argc, argv);
    // What was printed must have reached standard output; a closed or full output is a failure.
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && result == kDone) {
        std::perror("qdx-time: writing to standard output");
        return kFailed;
    }
    return result;
}
