// Serves arbitrary bytes as a time page (from memory, through the page source of HttpFetchPage)
// to the Navy and time-zone readers, and as the Date header of an answer to SetNowHttpDate.
#include <qdx/DateTime.h>
#include <qdx/HttpGet.h>
#include <qdx/Settings.h>

#include "datetime/InternetTime.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string g_page;

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A settings file of our own, without a log file.
    static std::string path = "/tmp/qdx-timepage-fuzz-" + std::to_string(getpid()) + ".ini";
    if (std::FILE* file = std::fopen(path.c_str(), "w")) {
        std::fputs("[RELEASE]\nWriteLog=NO\n", file);
        std::fclose(file);
    }
    SetIniPath(path.c_str());
    std::atexit([] { std::remove(path.c_str()); });
    SetHttpPageSource([](const char*, const char*, bool, std::size_t, HttpPage& page) {
        page.status = 200;
        page.body = g_page;
        page.headers = "HTTP/1.1 200 OK\r\nDate: " + g_page + "\r\n\r\n";
        return kHttpPageOk;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    g_page.assign(reinterpret_cast<const char*>(data), size);
    CString msg;

    CQDXDateTime navy;
    const int navyResult = navy.SetNowNavy(msg, 0);
    Check(navyResult == 0 || navyResult == -5 || navyResult == -6, "SetNowNavy result");

    CQDXDateTime timeGov;
    const int timeGovResult = timeGov.SetNowTimeGov(msg, 0);
    Check(timeGovResult == 0 || timeGovResult == -5, "SetNowTimeGov result");
    if (timeGovResult == 0)
        Check(timeGov.hour <= 23 && timeGov.minute <= 59 && timeGov.second <= 59, "SetNowTimeGov time");

    uint32_t date = 0;
    uint32_t time = 0;
    if (qdx::inet_internal::ParseHttpDate(g_page, date, time)) {
        CQDXDateTime check;
        Check(check.SetDT(date, time) == 0 && check.IsValid(), "ParseHttpDate gives a valid date and time");
    }
    CQDXDateTime httpDate;
    const int httpResult = httpDate.SetNowHttpDate("http://fuzz.invalid/", msg, 0);
    Check(httpResult == 0 || httpResult == -3, "SetNowHttpDate result");
    if (httpResult == 0)
        Check(httpDate.IsValid(), "SetNowHttpDate value");
    return 0;
}
