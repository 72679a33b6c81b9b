#include <qdxtest/TestApp.h>

// LeakSanitizer reads these suppressions when the tests run under AddressSanitizer. Fontconfig,
// which Qt loads to draw text, keeps its configuration cache for the life of the process; that
// is not a leak of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
