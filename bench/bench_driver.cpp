// The updater as a user runs it, without the user: the real window on an installation, with the
// program's command line, its message boxes answered with Yes or OK and printed as
// "title|text". The benchmark scripts time this whole process from the shell.
//   bench_driver open UPDATER_DIR [lg_updater options...]    start, show the window, quit
//   bench_driver search UPDATER_DIR [options...]             ... press "Nach Updates suchen"
//   bench_driver update UPDATER_DIR [options...]             ... then press "Update starten"
// "open" with --mode 1 --conf X is a package build: the window builds, answers the result box
// and goes on as the window, as lg_updater does.
#include "app/mainwindow.h"
#include "yesdialogs.h"

#include "platform/platform.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

const QStringList actions = {QStringLiteral("open"), QStringLiteral("search"),
                             QStringLiteral("update")};

bool press(MainWindow &window, const QString &text)
{
    for (QPushButton *button : window.findChildren<QPushButton *>()) {
        if (button->text() == text && button->isVisible() && button->isEnabled()) {
            button->click();
            return true;
        }
    }
    std::fprintf(stderr, "bench_driver: no button \"%s\" to press\n", qPrintable(text));
    return false;
}

// Presses what the action asks for, then "Beenden", which closes the last window and with it
// the event loop.
void work(MainWindow &window, int steps, int &exitCode)
{
    const QStringList buttons = {QStringLiteral("Nach Updates suchen"),
                                 QStringLiteral("Update starten")};
    for (int i = 0; i < steps; ++i) {
        if (!press(window, buttons.at(i))) {
            exitCode = 3;
            break;
        }
    }
    if (!press(window, QStringLiteral("Beenden")))
        exitCode = 3;
}

} // namespace

int main(int argc, char *argv[])
{
    // As lg_updater's main does.
    prepareForBulkWork();
    QApplication application(argc, argv);
    QStringList arguments = application.arguments();
    if (arguments.size() < 3 || !actions.contains(arguments.at(1))) {
        std::fprintf(stderr, "usage: bench_driver open|search|update UPDATER_DIR [options]\n");
        return 2;
    }
    const int steps = actions.indexOf(arguments.takeAt(1));
    YesDialogs dialogs;
    MainWindowContext context;
    context.executableDir = arguments.takeAt(1);
    context.arguments = arguments;
    context.dialogs = &dialogs;
    MainWindow window(context);
    if (window.startupAborted()) {
        std::fprintf(stderr, "%s\n", qPrintable(window.startupError()));
        return window.startupError().isEmpty() ? 0 : 1;
    }
    window.show();
    int exitCode = 0;
    QTimer::singleShot(0, &window, [&] { work(window, steps, exitCode); });
    const int loopCode = application.exec();
    return exitCode != 0 ? exitCode : loopCode;
}
