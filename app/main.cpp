// Rolvek: the dialog application.
#include "CheckApp.h"

#include <qdx/Platform.h>

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    StartProgram("rolvek");
    QApplication application(argc, argv);
    QApplication::setApplicationName("Rolvek");
    // Lets the desktop match the window to its entry (rolvek.desktop) and its icon.
    QGuiApplication::setDesktopFileName("rolvek");
    QApplication::setWindowIcon(QIcon(":/rolvek/rolvek.png"));
    CCheckApp theApp;
    theApp.InitInstance();
    return 0;
}
