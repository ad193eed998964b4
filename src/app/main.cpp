#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    MainWindow window;
    if (window.startupAborted())
        return 0;
    window.show();
    return application.exec();
}
