// Common start-up of the date-time fuzz targets: a fixed clock (so a run can be replayed) and no
// log file (the readers log rejected numbers, which would fill the disk during a long run).
#pragma once

#include <qdx/Platform.h>
#include <qdx/Settings.h>

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
