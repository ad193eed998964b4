#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/programinformation.h"
#include "app/releasekeys.h"
#include "check/releasetrust.h"
#include "platform/platform.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    prepareForBulkWork();
    const std::optional<QVector<QByteArray>> keys =
        releaseKeysFromText(QStringLiteral(LEDGORA_RELEASE_KEYS));
    // The build checks the keys; a program that would check against none of them must not run.
    if (!keys) {
        std::fprintf(stderr, "invalid release key built in: %s\n", LEDGORA_RELEASE_KEYS);
        return 1;
    }
    bool help = false;
    if (asksForInformation(argc, argv, &help)) {
        const QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("lg_updater"));
        const QString text =
            (help ? CommandLine::helpText() + QLatin1Char('\n') : QString()) + versionText(*keys);
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    QApplication application(argc, argv);
    MainWindowContext context;
    context.releaseKeys = *keys;
    MainWindow window(context);
    if (window.startupAborted()) {
        if (window.startupError().isEmpty())
            return 0;
        std::fprintf(stderr, "%s\n", window.startupError().toLocal8Bit().constData());
        return 1;
    }
    window.show();
    return application.exec();
}
