// Rolvek: the dialog application.
#include "CheckApp.h"
#include "RollStream.h"

#include <qdx/Platform.h>

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <string>

int main(int argc, char* argv[])
{
    StartProgram("rolvek");

    // --input FILE|- with --input-format and --bits: the runs roll the stream's values.
    InputOptions inputOptions;
    RollStream input;
    std::string error;
    if (!TakeInputOptions(argc, argv, inputOptions, error) ||
        (!inputOptions.input.empty() && !input.Open(inputOptions.input, inputOptions.format, inputOptions.bits, error))) {
        std::fprintf(stderr, "rolvek: %s\n", error.c_str());
        return 1;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("Rolvek");
    // Lets the desktop match the window to its entry (rolvek.desktop) and its icon.
    QGuiApplication::setDesktopFileName("rolvek");
    QApplication::setWindowIcon(QIcon(":/rolvek/rolvek.png"));
    CCheckApp theApp;
    if (!inputOptions.input.empty())
        theApp.m_pInput = &input;
    theApp.InitInstance();
    return 0;
}
