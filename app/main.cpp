// Rolvek: the dialog application.
//
//   rolvek [--input FILE|-] [QT-OPTION]...  the window
//   rolvek --help | --version                print and exit, without a display
#include "CheckApp.h"
#include "RollStream.h"

#include <qdx/Platform.h>

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage =
    "Usage: rolvek [--input FILE|- [--input-format F] [--bits K]] [QT-OPTION]...\n"
    "Opens a window that rolls a die of RollValues faces run after run on a worker thread and\n"
    "shows how evenly the generator spreads its rolls: per face the count, the deviation from\n"
    "the mean in hundredths of a percent, and a bar.\n"
    "\n"
    "  -h, --help              print this help and exit\n"
    "      --version           print the version and exit\n"
    "      --input FILE|-      roll the values of FILE (- for standard input) instead of the\n"
    "                          generator's; the check stops when the input ends\n"
    "      --input-format F    u16le (the default), u32le, u64le or text\n"
    "      --bits K            bits a value holds, 15 .. the word's width (default 15 for text,\n"
    "                          the word's width for binary); the die takes the top 15\n"
    "\n"
    "Any other argument goes to Qt (for example -platform offscreen, -display :1, -style Fusion).\n"
    "Settings are read from rolvek.ini; see rolvek(1). Without a display, rolvek-check runs the\n"
    "same check in a terminal.\n"
    "\n"
    "Exit status: 0 when the window was closed, 1 when there is no display to open it on or the\n"
    "input cannot be opened, 2 for a bad option.\n";

bool Is(const char* arg, const char* option) { return std::strcmp(arg, option) == 0; }

// Whether Qt has somewhere to show the window: a display, or a platform chosen by hand.
bool HasDisplay(int argc, char* argv[])
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    for (int i = 1; i < argc; ++i)
        if (Is(argv[i], "-platform") || Is(argv[i], "--platform"))
            return true;
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    StartProgram("rolvek");
    // Our options are read before Qt sees the command line, so they work without a display.
    for (int i = 1; i < argc && !Is(argv[i], "--"); ++i) {
        if (Is(argv[i], "--help") || Is(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (Is(argv[i], "--version")) {
            std::printf("rolvek %s\n", ROLVEK_VERSION);
            return 0;
        }
    }
    // --input FILE|- with --input-format and --bits: the runs roll the stream's values.
    InputOptions inputOptions;
    RollStream input;
    std::string error;
    if (!TakeInputOptions(argc, argv, inputOptions, error)) {
        std::fprintf(stderr, "rolvek: %s\nTry 'rolvek --help' for more information.\n", error.c_str());
        return 2;
    }
    if (!inputOptions.input.empty() && !input.Open(inputOptions.input, inputOptions.format, inputOptions.bits, error)) {
        std::fprintf(stderr, "rolvek: %s\n", error.c_str());
        return 1;
    }
    if (!HasDisplay(argc, argv)) {
        std::fputs("rolvek: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are unset);\n"
                   "rolvek-check runs the same check in a terminal\n",
                   stderr);
        return 1;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("Rolvek");
    QApplication::setApplicationVersion(ROLVEK_VERSION);
    // Lets the desktop match the window to its entry (rolvek.desktop) and its icon.
    QGuiApplication::setDesktopFileName("rolvek");
    QApplication::setWindowIcon(QIcon(":/rolvek/rolvek.png"));
    CCheckApp theApp;
    if (!inputOptions.input.empty())
        theApp.m_pInput = &input;
    theApp.InitInstance();
    return 0;
}
