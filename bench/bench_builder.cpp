// Runs the package builder on a configuration twice and prints both wall-clock times:
// the first run writes every data file, the second finds them all and only copies them
// into the offline update file.
#include "package/packagebuilder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("ledgora.package.debug=false"));
    const QStringList arguments = application.arguments();
    if (arguments.size() != 2) {
        QTextStream(stderr) << "usage: bench_builder CONFIGURATION\n";
        return 2;
    }
    QTextStream out(stdout);
    for (const char *run : {"first", "second"}) {
        QString offlinePath;
        QElapsedTimer timer;
        timer.start();
        if (!buildPackage(arguments.at(1), offlinePath)) {
            QTextStream(stderr) << "build failed\n";
            return 1;
        }
        out << run << "_run_seconds " << QString::number(timer.elapsed() / 1000.0, 'f', 3) << '\n';
        out.flush();
    }
    return 0;
}
