// Rolvek: the dialog application.
#include "CheckApp.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName("Rolvek");
    QApplication::setWindowIcon(QIcon(":/rolvek/rolvek.png"));
    CCheckApp theApp;
    theApp.InitInstance();
    return 0;
}
