// The one QApplication the widget tests share, made on first use. Without a display the tests
// draw through Qt's off-screen platform.
#pragma once

#include <QApplication>

inline QApplication& TestApp()
{
    static int argc = 1;
    static char name[] = "qdxui_test";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}
