// Common start-up of the date-time fuzz targets: a fixed clock (so a run can be replayed) and no
// log file (the readers log rejected numbers, which would fill the disk during a long run).
#pragma once

#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

// The temporary settings file and its directory, removed when the fuzzer exits.
inline std::string g_fuzzDir;

inline void DateTimeFuzzSetup()
{
    SetClockNowSource([] { return timespec{1784036730, 0}; });  // 2026-07-14 13:45:30 UTC
    setenv("TZ", "America/New_York", 1);
    char dir[] = "/tmp/qdx_dt_fuzzXXXXXX";
    if (mkdtemp(dir)) {
        g_fuzzDir = dir;
        SetIniPath((g_fuzzDir + "/fuzz.ini").c_str());
        IniWriteString("RELEASE", "WriteLog", "NO");
        std::atexit([] {
            unlink((g_fuzzDir + "/fuzz.ini").c_str());
            rmdir(g_fuzzDir.c_str());
        });
    }
    SetLastMessageSink([](const char*) {});
}

// libFuzzer calls this once before the first input; every date-time target includes this header.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DateTimeFuzzSetup();
    return 0;
}

// The fuzzer's bytes as a NUL-terminated text (a NUL inside ends it early, as in any C caller).
inline std::string AsText(const uint8_t* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Calls `check(variant)` once for every number of 2^32 or more in `text` (leading zeros aside),
// with that number written as 4294967295 (2^32 - 1) instead, padded with zeros to the same
// length so that no field moves. 2^32 - 1 is out of range for every field of a date or a time,
// so a reader that treats the two texts alike never takes a valid value from a field whose
// number is 2^32 or more. Skipped, because they are not a field's whole number: digits after a
// point or a letter (fractions, hexadecimal) and digits that an exponent scales ("5e9"). Texts
// over 99 characters are skipped too: a field is cut there, possibly inside the number.
template <typename Check>
void ForEachLargeNumber(const std::string& text, Check check)
{
    if (text.size() > 99)
        return;
    auto digit = [&](size_t i) { return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); };
    for (size_t begin = 0; begin < text.size();) {
        if (!digit(begin)) {
            ++begin;
            continue;
        }
        size_t end = begin;
        while (digit(end))
            ++end;
        size_t after = end;  // past a fraction, where an exponent would stand
        if (after < text.size() && text[after] == '.')
            for (++after; digit(after); ++after) {
            }
        const bool counted = !(begin > 0 && (text[begin - 1] == '.' || std::isalpha(static_cast<unsigned char>(text[begin - 1])))) &&
                             !(after < text.size() && (text[after] == 'e' || text[after] == 'E'));
        size_t first = begin;  // the first significant digit
        while (first + 1 < end && text[first] == '0')
            ++first;
        const std::string number = text.substr(first, end - first);
        if (counted && (number.size() > 10 || (number.size() == 10 && number >= "4294967296"))) {
            std::string variant = text;
            variant.replace(begin, end - begin, std::string(end - begin - 10, '0') + "4294967295");
            check(variant);
        }
        begin = end;
    }
}
