// qdx-time: reads the time from a time page, shows how far the local clock is from it, and on
// request sets the clock from it.
//
//   qdx-time --page navy                       read the Navy-layout page (setting TimePageNavy)
//   qdx-time --page timegov --two-readings     the time-zone page, just after its second advanced
//   qdx-time --page url                        the date page (setting DatePageURL): a date only
//   qdx-time --page http-date --url http://example.org/ --set
//                                              the Date header of any web server; then set the
//                                              clock (needs root, or CAP_SYS_TIME; implies
//                                              --two-readings)
//
// The page addresses are settings of section [INTERNET] in qdx-time.ini beside the program.
// Exit codes: 0 done, 1 the reading failed, 2 bad arguments, 3 the clock could not be set.
#include <qdx/DateTime.h>
#include <qdx/Platform.h>
#include <qdx/String.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Usage(std::FILE* out)
{
    std::fputs("Usage: qdx-time --page navy|timegov|url|http-date [--url URL] [--two-readings] [--set]\n"
               "\n"
               "Reads the time from a time page and shows how far the local clock is from it.\n"
               "  --page navy       the Navy-layout page (setting TimePageNavy in [INTERNET])\n"
               "  --page timegov    the time-zone page (setting TimePageTimeGov)\n"
               "  --page url        the date page (setting DatePageURL); gives a date, no time of day\n"
               "  --page http-date  the Date header of the web server at --url\n"
               "  --url URL         the http:// address for --page http-date\n"
               "  --two-readings    read again until the page's second changes, for a sharper reading\n"
               "  --set             set the machine's clock from the reading (needs root); implies\n"
               "                    --two-readings, so the clock is set just after the page's second began\n"
               "  --help            this text\n",
               out);
}

// "2006-01-02 18:04:43".
std::string Show(const CQDXDateTime& value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", value.year + 1900, value.month, value.day,
                  value.hour, value.minute, value.second);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    StartProgram("qdx-time");
    std::string page;
    const char* url = nullptr;
    int twoReadings = 0;
    bool set = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            Usage(stdout);
            return 0;
        } else if (std::strcmp(arg, "--page") == 0 && i + 1 < argc) {
            page = argv[++i];
        } else if (std::strcmp(arg, "--url") == 0 && i + 1 < argc) {
            url = argv[++i];
        } else if (std::strcmp(arg, "--two-readings") == 0) {
            twoReadings = 1;
        } else if (std::strcmp(arg, "--set") == 0) {
            set = true;
        } else {
            std::fprintf(stderr, "qdx-time: unknown or incomplete argument '%s'\n", arg);
            Usage(stderr);
            return 2;
        }
    }
    if (page != "navy" && page != "timegov" && page != "url" && page != "http-date") {
        std::fputs(page.empty() ? "qdx-time: --page is required\n" : "qdx-time: unknown --page\n", stderr);
        Usage(stderr);
        return 2;
    }
    if ((page == "http-date") != (url != nullptr)) {
        std::fputs("qdx-time: --url goes with --page http-date, and only with it\n", stderr);
        return 2;
    }
    if (set && page == "url") {
        std::fputs("qdx-time: --set needs a page that gives the time of day; the date page gives a date only\n",
                   stderr);
        return 2;
    }

    if (set)
        twoReadings = 1;

    CQDXDateTime reading;
    CString msg;
    int result;
    if (page == "navy")
        result = reading.SetNowNavy(msg, twoReadings);
    else if (page == "timegov")
        result = reading.SetNowTimeGov(msg, twoReadings);
    else if (page == "http-date")
        result = reading.SetNowHttpDate(url, msg, twoReadings);
    else {
        result = reading.SetNowURL();
        msg = result == -1 ? "the date page could not be fetched" : "no date on the date page";
    }
    if (result != 0) {
        std::fprintf(stderr, "qdx-time: %s (%d)\n", msg.GetString(), result);
        return 1;
    }

    if (page == "url") {
        CQDXDateTime today;
        today.SetNow();
        today.SetTime(0, 0, 0);
        std::printf("date page: %s\n", Show(reading).substr(0, 10).c_str());
        const int days = reading.GetDiffSec(&today) / 86400;
        std::printf("local date: %s, %d day(s) %s\n", Show(today).substr(0, 10).c_str(), days < 0 ? -days : days,
                    days == 0 ? "(the same)" : days > 0 ? "after the page's" : "before the page's");
        return 0;
    }

    CQDXDateTime clock;
    clock.SetNowGMT();
    // In 64 bits: a server date a century off is still told right.
    const long long ahead = reading.GetDiffSecBig(&clock);
    std::printf("reading:     %s UTC\n", Show(reading).c_str());
    std::printf("local clock: %s UTC, %lld s %s\n", Show(clock).c_str(), ahead < 0 ? -ahead : ahead,
                ahead == 0 ? "(in step to the second)" : ahead > 0 ? "ahead" : "behind");
    if (!set)
        return 0;

    float adjusted = 0;
    CString setMsg;
    const int setResult = reading.SyncGMT(setMsg, &adjusted);
    std::printf("%s\n", setMsg.GetString());
    return setResult == 0 ? 0 : 3;
}
