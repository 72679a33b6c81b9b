// Helpers for the date-time tests: building values field by field, a fixed clock, and a
// temporary time zone.
#pragma once

#include <qdx/DateTime.h>
#include <qdx/Platform.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <initializer_list>
#include <ctime>
#include <string>
#include <vector>

namespace qdx::test {

inline CQDXDateTime Make(int y, int m, int d, int h = 0, int mi = 0, int s = 0)
{
    CQDXDateTime v;
    v.year = static_cast<unsigned char>(y - 1900);
    v.month = static_cast<unsigned char>(m);
    v.day = static_cast<unsigned char>(d);
    v.hour = static_cast<unsigned char>(h);
    v.minute = static_cast<unsigned char>(mi);
    v.second = static_cast<unsigned char>(s);
    return v;
}

// "yyyy-mm-dd hh:mm:ss" of the six fields as they are, for readable failures.
inline std::string Show(const CQDXDateTime& v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", v.year + 1900, v.month, v.day,
                  v.hour, v.minute, v.second);
    return text;
}

// One case of a setter that reads text: the text, the result, the fields the value then has
// (nullptr: not looked at).
struct TextSet {
    const char* text;
    int result;
    const char* shown;
};

// Runs each case on a copy of `start`, naming the text in a failure.
inline void ExpectTextSets(int (CQDXDateTime::*set)(const char*), const CQDXDateTime& start,
                           std::initializer_list<TextSet> cases)
{
    for (const TextSet& c : cases) {
        CQDXDateTime v = start;
        EXPECT_EQ((v.*set)(c.text), c.result) << '"' << (c.text ? c.text : "(null)") << '"';
        if (c.shown) {
            EXPECT_EQ(Show(v), c.shown) << '"' << (c.text ? c.text : "(null)") << '"';
        }
    }
}

// Seconds since 1970 of a Universal Time.
inline std::time_t Utc(int y, int m, int d, int h = 0, int mi = 0, int s = 0)
{
    using namespace std::chrono;
    const sys_days day{year{y} / month{static_cast<unsigned>(m)} / static_cast<unsigned>(d)};
    return static_cast<std::time_t>(day.time_since_epoch().count()) * 86400 + h * 3600 + mi * 60 + s;
}

// Makes ClockNow() return a fixed instant while it lives.
class FixedClock {
public:
    explicit FixedClock(std::time_t when)
    {
        m_previous = SetClockNowSource([when] { return timespec{when, 0}; });
    }
    ~FixedClock() { SetClockNowSource(m_previous); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

private:
    ClockNowSource m_previous;
};

// Sets TZ (and tzset) while it lives; the runner's own TZ comes back afterwards.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone)
    {
        if (const char* old = std::getenv("TZ")) {
            m_had = true;
            m_old = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope()
    {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    bool m_had = false;
    std::string m_old;
};

// Collects the texts the log writer hands to the last-message sink while it lives.
class LogCapture {
public:
    LogCapture()
    {
        m_previous = SetLastMessageSink([this](const char* text) { lines.emplace_back(text); });
    }
    ~LogCapture() { SetLastMessageSink(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines;

private:
    LastMessageSink m_previous;
};

} // namespace qdx::test
