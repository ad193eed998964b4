#include "app/mainwindow.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    MainWindow window;
    if (window.startupAborted()) {
        if (window.startupError().isEmpty())
            return 0;
        std::fprintf(stderr, "%s\n", window.startupError().toLocal8Bit().constData());
        return 1;
    }
    window.show();
    return application.exec();
}
