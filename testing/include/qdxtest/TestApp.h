// The one QApplication the widget and dialog tests (and the window's benchmarks) share, made on
// first use. Without a display they draw through Qt's off-screen platform.
#pragma once

#include <QApplication>

inline QApplication& TestApp()
{
    static int argc = 1;
    static char name[] = "qdx-test";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}
