// Reading the time from time web pages and setting the machine's clock from it.
//
// SetNowNavy and SetNowTimeGov read the first block of a time page (through HttpFetchPage, so
// tests can serve pages from memory) line by line with the buffered line reader; SetNowHttpDate
// reads the Date header of any web server; SetNowURL takes the first date of a date page
// fetched with HttpGet. SyncGMT sets the clock to a reading and SyncByOffset moves it by a measured
// offset, both through the ClockSet seam of qdx/Platform.h.
#include "datetime/InternetTime.h"

#include <qdx/BufferedReader.h>
#include <qdx/DateTime.h>
#include <qdx/Fields.h>
#include <qdx/HttpGet.h>
#include <qdx/Log.h>
#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace qdx::inet_internal {

namespace {

constexpr std::size_t kPageBlock = 10000;  // one read of a time page
constexpr int kLineSize = 1000;            // a page line keeps at most 999 characters
constexpr int kFieldSize = 100;            // a field of a line keeps at most 99

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

void UpperCase(char* text)
{
    for (; *text; ++text)
        *text = Upper(*text);
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && (IsBlankOrTab(text.front()) || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (IsBlankOrTab(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// Removes blanks and tabs from both ends of `text` in place.
void TrimInPlace(char* text)
{
    std::string_view trimmed = TrimBlanks(text);
    std::memmove(text, trimmed.data(), trimmed.size());
    text[trimmed.size()] = '\0';
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

} // namespace

std::string PageAddress(const char* key, const char* def)
{
    CString value;
    IniReadString(kSection, key, "", value);
    std::string address(TrimBlanks(value.str()));
    if (address.empty()) {
        IniWriteString(kSection, key, def);
        address = def;
    }
    return address;
}

int FindWordNoCase(const char* text, const char* word)
{
    if (!text || !word)
        return -1;
    const int last = static_cast<int>(std::strlen(text)) - static_cast<int>(std::strlen(word));
    for (int i = 0; i <= last; ++i)
        if (strcmpmode(word, text + i, 2) == 0)
            return i;
    return -1;
}

std::optional<std::string> FindDateHeader(std::string_view rawHeaders)
{
    static constexpr std::string_view kName = "date:";
    bool statusLine = true;
    while (!rawHeaders.empty()) {
        size_t end = rawHeaders.find('\n');
        std::string_view line = rawHeaders.substr(0, end);
        rawHeaders = end == std::string_view::npos ? std::string_view() : rawHeaders.substr(end + 1);
        if (statusLine) {
            statusLine = false;
            continue;
        }
        if (line.size() >= kName.size() && EqualsNoCase(line.substr(0, kName.size()), kName))
            return std::string(TrimBlanks(line.substr(kName.size())));
    }
    return std::nullopt;
}

namespace {

int MonthNumber(std::string_view word)
{
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        if (EqualsNoCase(word, kMonths[i]))
            return i + 1;
    return 0;
}

// A number of 1 to `maxDigits` digits; -1 for anything else.
int Number(std::string_view text, size_t maxDigits)
{
    if (text.empty() || text.size() > maxDigits)
        return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "hh:mm:ss" to a time number; -1 when malformed or out of range (a leap second reads as 59).
long ClockTime(std::string_view text)
{
    if (text.size() != 8 || text[2] != ':' || text[5] != ':')
        return -1;
    int hour = Number(text.substr(0, 2), 2);
    int minute = Number(text.substr(3, 2), 2);
    int second = Number(text.substr(6, 2), 2);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
        return -1;
    if (second == 60)
        second = 59;
    return hour * 10000L + minute * 100L + second;
}

bool IsUniversalZone(std::string_view zone)
{
    return EqualsNoCase(zone, "GMT") || EqualsNoCase(zone, "UTC") || EqualsNoCase(zone, "UT") ||
           zone == "+0000" || zone == "-0000" || zone == "Z";
}

} // namespace

bool ParseHttpDate(std::string_view text, uint32_t& date, uint32_t& time)
{
    // Words separated by blanks, commas and (in the old form) dashes.
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < text.size() && words.size() < 8) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',' || text[i] == '-'))
            ++i;
        size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != ',' && text[i] != '-')
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    // A leading day name is not needed: the date says which day it is.
    if (!words.empty() && MonthNumber(words[0]) == 0 && Number(words[0], 4) < 0)
        words.erase(words.begin());

    int year;
    int month;
    int day;
    long clock;
    if (words.size() >= 4 && MonthNumber(words[0]) != 0) {
        // asctime: month day time year, in Universal Time by definition.
        if (words.size() != 4)
            return false;
        month = MonthNumber(words[0]);
        day = Number(words[1], 2);
        clock = ClockTime(words[2]);
        year = Number(words[3], 4);
        if (words[3].size() != 4)
            return false;
    } else if (words.size() == 5) {
        day = Number(words[0], 2);
        month = MonthNumber(words[1]);
        year = Number(words[2], 4);
        clock = ClockTime(words[3]);
        if (!IsUniversalZone(words[4]) || (words[2].size() != 2 && words[2].size() != 4))
            return false;
        if (words[2].size() == 2)
            year = year < 70 ? year + 2000 : year + 1900;
    } else {
        return false;
    }
    if (month == 0 || day < 1 || year < 1900 || year > 2155 || clock < 0 ||
        day > CQDXDateTime::DayMonth(year, month))
        return false;
    date = static_cast<uint32_t>(year * 10000 + month * 100 + day);
    time = static_cast<uint32_t>(clock);
    return true;
}

namespace {

// What a page pass came to.
enum class Pass {
    Nothing,  // no line yielded a reading (or a reading failed and ends the call)
    Final,    // a reading that ends the call with 0
    Again,    // a reading, and the two-reading mode wants another pass
};

// One reading of a page: stores date and time, and decides whether the call is done.
// Returns -1 when SetDT refuses the numbers (the value holds what SetDT stored).
int TakeReading(CQDXDateTime& value, CQDXDateTime& first, uint32_t date, uint32_t time, int twoReadings,
                CString& msg, Pass& pass)
{
    if (value.SetDT(date, time) != 0)
        return -1;
    value.GetStr(msg, 0);
    if (first.IsEmpty() && twoReadings == 1) {
        first = value;
        pass = Pass::Again;
    } else if (value.Compare(&first, 6) != 0) {
        pass = Pass::Final;
    } else {
        pass = Pass::Again;  // the page still shows the first reading's second
    }
    return 0;
}

// The line reading of the Navy layout: the first line holding "UNIVERSAL" has the month in
// blank-separated field 2, the day in 3, the year in 4 and hh:mm:ss in 5.
Pass ReadNavyLines(CQDXDateTime& value, CQDXDateTime& first, int twoReadings, CString& msg, int& result)
{
    char line[kLineSize];
    while (bgetline(line, sizeof line) >= 0) {
        UpperCase(line);
        if (FindWordNoCase(line, "UNIVERSAL") == -1)
            continue;
        const uint32_t date = CQDXDateTime::GetDateAlpha(line, 4, 2, 3, ' ');
        char field[kFieldSize];
        strfld(line, ' ', 5, 0, field, sizeof field);
        TrimInPlace(field);
        const int time = CQDXDateTime::GetTimeAlpha(field);
        Pass pass = Pass::Nothing;
        if (TakeReading(value, first, date, static_cast<uint32_t>(time), twoReadings, msg, pass) != 0) {
            msg.Format("Invalid date/time in %s (%d, %d)", line, static_cast<int>(date), time);
            result = -6;
            return Pass::Nothing;
        }
        return pass;
    }
    return Pass::Nothing;
}

// The line reading of the time-zone layout: hh:mm:ss directly followed by '<', and the next
// line holding "weekday, month day, year".
Pass ReadTimeGovLines(CQDXDateTime& value, CQDXDateTime& first, int twoReadings, CString& msg)
{
    char line[kLineSize];
    char next[kLineSize];
    while (bgetline(line, sizeof line) >= 0) {
        UpperCase(line);
        int length = static_cast<int>(std::strlen(line));
        for (int i = 0; i + 8 < length; ++i) {
            if (line[i + 2] != ':' || line[i + 5] != ':' || line[i + 8] != '<')
                continue;
            char timeText[kFieldSize];
            strfld(line + i, '<', 1, 0, timeText, sizeof timeText);
            const int time = CQDXDateTime::GetTimeAlpha(timeText);
            if (bgetline(next, sizeof next) < 0)
                continue;  // no date line: the search goes on in this line
            // From here on the date line is the line searched.
            std::memcpy(line, next, sizeof line);
            length = static_cast<int>(std::strlen(line));
            char dateText[kFieldSize];
            strfld(line, ',', 2, 3, dateText, sizeof dateText);
            TrimInPlace(dateText);
            const uint32_t date = CQDXDateTime::GetDateAlpha(dateText, 3, 1, 2, ' ');
            Pass pass = Pass::Nothing;
            if (TakeReading(value, first, date, static_cast<uint32_t>(time), twoReadings, msg, pass) == 0)
                return pass;
            msg.Format("Invalid date/time in %s (%d, %d)", line, static_cast<int>(date), time);
        }
    }
    return Pass::Nothing;
}

enum class Layout { Navy, TimeGov };

// Keeps the two-reading mode from fetching forever from a page whose clock stands still. Asked
// after each pass that wants another; the time counts from the end of the first fetch, so a slow
// link does not use the budget up before the page had a chance to advance.
class PassBudget {
public:
    bool Spent()
    {
        const auto now = std::chrono::steady_clock::now();
        if (m_passes++ == 0)
            m_start = now;
        return m_passes >= kMaxPasses || now - m_start > std::chrono::milliseconds(kMaxPassMilliseconds);
    }

private:
    int m_passes = 0;
    std::chrono::steady_clock::time_point m_start;
};

constexpr const char* kStalledPage = "SyncTime: the page's time did not advance";

// The fetch loop shared by SetNowNavy and SetNowTimeGov.
int ReadTimePage(CQDXDateTime& value, Layout layout, CString& msg, int twoReadings)
{
    const char* agent = layout == Layout::Navy ? "SetNowNavy" : "SetNowTimeGov";
    const std::string address = layout == Layout::Navy ? PageAddress(kNavyKey, kNavyDefault)
                                                       : PageAddress(kTimeGovKey, kTimeGovDefault);
    CQDXDateTime first;
    PassBudget budget;
    for (;;) {
        HttpPage page;
        switch (HttpFetchPage(agent, address.c_str(), false, kPageBlock, page)) {
        case kHttpPageOk:
            break;
        case kHttpPageSessionError:
            msg = "SyncTime: Internet open error!";
            return -1;
        case kHttpPageOpenError:
            msg = "SyncTime: URL open error!";
            return -2;
        default:
            msg = "SyncTime: URL reading error!";
            return -3;
        }
        if (page.body.size() > kPageBlock)
            page.body.resize(kPageBlock);  // a page source may hand over more than one block

        int result = -5;
        msg = "SetGMT:  Clould not find Universal time";
        Pass pass = Pass::Nothing;
        std::vector<char> block(page.body.begin(), page.body.end());
        if (!block.empty() && bgetmem(block.data(), static_cast<int>(block.size())) == 0) {
            pass = layout == Layout::Navy ? ReadNavyLines(value, first, twoReadings, msg, result)
                                          : ReadTimeGovLines(value, first, twoReadings, msg);
        }
        bgetreset();

        if (pass == Pass::Final)
            return 0;
        if (pass == Pass::Nothing)
            return result;
        if (budget.Spent()) {
            msg = kStalledPage;
            return -4;
        }
    }
}

// The local clock with milliseconds, through the clock seam.
struct LocalReading {
    std::time_t seconds;
    std::tm fields;
    int milliseconds;
};

LocalReading ReadLocalClock()
{
    const timespec now = ClockNow();
    LocalReading reading{now.tv_sec, {}, static_cast<int>(now.tv_nsec / 1000000)};
    localtime_r(&reading.seconds, &reading.fields);
    return reading;
}

// Seconds since 1970 of the value read as Universal Time (2440588 is the Julian day of 1970-01-01).
std::time_t UtcSeconds(const CQDXDateTime& value)
{
    return (static_cast<std::time_t>(value.GetJulian()) - 2440588) * 86400 + value.GetTimeSec();
}

int SaturatedInt(long long value)
{
    return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
}

std::string ErrorText(int error)
{
    char buffer[256];
    // GNU strerror_r: returns the text, in `buffer` or a static string.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text ? std::string(text).substr(0, 1000) : std::string();
}

} // namespace

} // namespace qdx::inet_internal

using namespace qdx::inet_internal;

int CQDXDateTime::SetNowNavy(CString& msg, int twoReadings)
{
    return ReadTimePage(*this, Layout::Navy, msg, twoReadings);
}

int CQDXDateTime::SetNowTimeGov(CString& msg, int twoReadings)
{
    return ReadTimePage(*this, Layout::TimeGov, msg, twoReadings);
}

int CQDXDateTime::SetNowHttpDate(const char* url, CString& msg, int twoReadings)
{
    CQDXDateTime first;
    PassBudget budget;
    for (;;) {
        HttpPage page;
        int fetched = HttpFetchPage("SetNowHttpDate", url, true, 0, page);
        if (fetched == kHttpPageOk && (page.status == 405 || page.status == 501)) {
            // A server that does not answer HEAD gets a GET whose body is not read.
            page = HttpPage();
            fetched = HttpFetchPage("SetNowHttpDate", url, false, 0, page);
        }
        if (fetched == kHttpPageSessionError) {
            msg = "SyncTime: Internet open error!";
            return -1;
        }
        if (fetched != kHttpPageOk) {
            msg = "SyncTime: URL open error!";
            return -2;
        }
        uint32_t date = 0;
        uint32_t time = 0;
        std::optional<std::string> header = FindDateHeader(page.headers);
        if (!header || !ParseHttpDate(*header, date, time)) {
            msg = "SyncTime: no readable Date: header";
            return -3;
        }
        Pass pass = Pass::Nothing;
        if (TakeReading(*this, first, date, time, twoReadings, msg, pass) != 0) {
            msg = "SyncTime: no readable Date: header";
            return -3;
        }
        if (pass == Pass::Final)
            return 0;
        if (budget.Spent()) {
            msg = kStalledPage;
            return -4;
        }
    }
}

int CQDXDateTime::SetNowURL()
{
    CString page;
    if (HttpGet(PageAddress(kDatePageKey, kDatePageDefault).c_str(), page, 0) != 0) {
        SetNow();
        return -1;
    }
    // The page's lines, each cut to 99 characters; a final line end opens no further line.
    std::string_view rest = page.str();
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string line(rest.substr(0, std::min<size_t>(end, kFieldSize - 1)));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const uint32_t date = GetDateAlpha(line.c_str(), 1, 2, 3, '/');
        if (SetDT(date, 0) == 0 && IsValid())
            return 0;
    }
    return -2;
}

int CQDXDateTime::AdjToLocal()
{
    // The zone's offset in force now (daylight saving included), not the one at the value's date.
    // Without a readable zone the value stays as it is.
    const std::time_t now = ClockNow().tv_sec;
    std::tm local{};
    const long offset = localtime_r(&now, &local) ? local.tm_gmtoff : 0;
    ShiftTime(static_cast<int>(offset));
    return 0;
}

int CQDXDateTime::SyncGMT(CString& msg, float* adjusted)
{
    if (adjusted)
        *adjusted = 0;
    // The value is Universal Time and the clock counts Universal Time: the instant is found without
    // any zone rule, so a daylight-saving change near the reading or the clock cannot shift it.
    // Local time appears only in the message.
    const bool valid = IsValid();
    const std::time_t target = valid ? UtcSeconds(*this) : 0;
    const long long diffNow = static_cast<long long>(target) - ClockNow().tv_sec;

    // Set the clock close to the start of a second.
    LocalReading before = ReadLocalClock();
    if (before.milliseconds > 100) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 - before.milliseconds));
        before = ReadLocalClock();
    }

    // A value that is no date and time is never put on the clock.
    const int error = valid ? ClockSet(timespec{target, 0}) : EINVAL;
    int result = 0;
    if (error != 0) {
        msg.Format("SetLocalTime failed (Error %d=%s)", error, ErrorText(error).c_str());
        result = -1;
    }

    const LocalReading after = ReadLocalClock();
    const long long movedMs = static_cast<long long>(after.seconds - before.seconds) * 1000 -
                              before.milliseconds + after.milliseconds;
    const float moved = static_cast<float>(movedMs) * 0.001f;
    if (adjusted)
        *adjusted = moved;
    if (result == 0) {
        std::tm to{};
        localtime_r(&target, &to);
        const std::tm& from = before.fields;
        msg.Format("Adjusted %6.3f Sec to %d/%d/%d %02d:%02d:%02d.%03d (From %d/%d/%d %02d:%02d:%02d.%03d) DiffNow=%d",
                   moved, to.tm_mon + 1, to.tm_mday, to.tm_year + 1900, to.tm_hour, to.tm_min, to.tm_sec, 0,
                   from.tm_mon + 1, from.tm_mday, from.tm_year + 1900, from.tm_hour, from.tm_min, from.tm_sec,
                   before.milliseconds, SaturatedInt(diffNow));
    }
    return result;
}

int CQDXDateTime::SyncByOffset(int64_t offsetMs, CString& msg, float* adjusted)
{
    if (adjusted)
        *adjusted = 0;
    const timespec before = ClockNow();
    // In milliseconds since 1970, the clock's reading cut to the millisecond.
    const long long from = static_cast<long long>(before.tv_sec) * 1000 + before.tv_nsec / 1000000;
    const long long to = from + offsetMs;
    timespec target{static_cast<std::time_t>(to / 1000), static_cast<long>(to % 1000) * 1000000};
    if (target.tv_nsec < 0) {
        target.tv_sec -= 1;
        target.tv_nsec += 1000000000;
    }
    const int error = to < 0 ? EINVAL : ClockSet(target);
    if (error != 0) {
        msg.Format("SetLocalTime failed (Error %d=%s)", error, ErrorText(error).c_str());
        return -1;
    }
    const timespec after = ClockNow();
    const long long moved = (static_cast<long long>(after.tv_sec) * 1000 + after.tv_nsec / 1000000) - from;
    if (adjusted)
        *adjusted = static_cast<float>(moved) * 0.001f;
    auto local = [](long long ms) {
        const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
        std::tm fields{};
        localtime_r(&seconds, &fields);
        char text[48];
        std::snprintf(text, sizeof text, "%d/%d/%d %02d:%02d:%02d.%03d", fields.tm_mon + 1, fields.tm_mday,
                      fields.tm_year + 1900, fields.tm_hour, fields.tm_min, fields.tm_sec, static_cast<int>(ms % 1000));
        return std::string(text);
    };
    msg.Format("Adjusted %+.3f Sec to %s (From %s)", static_cast<double>(offsetMs) * 0.001, local(to).c_str(),
               local(from).c_str());
    return 0;
}
