// Drives the updater for scripts/demo where nobody sits at the screen: builds the demo release
// in mode 1, then opens the window on the demo installation, presses "Nach Updates suchen" and
// "Update starten", answers Yes, and saves a screenshot before and after.
//   demo_driver build CONFIGURATION
//   demo_driver run UPDATER_DIR SCREENSHOT_DIR [lg_updater options...]
#include "app/mainwindow.h"
#include "app/releasekeys.h"
#include "check/releasetrust.h"
#include "yesdialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTextStream>

namespace {

void settle(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool press(MainWindow &window, const QString &text)
{
    for (QPushButton *button : window.findChildren<QPushButton *>()) {
        if (button->text() == text && button->isEnabled()) {
            button->click();
            return true;
        }
    }
    return false;
}

bool screenshot(MainWindow &window, const QString &path)
{
    settle(300);
    const bool saved = window.grab().save(path);
    QTextStream(stdout) << (saved ? "Bildschirmfoto: " : "Bildschirmfoto fehlgeschlagen: ") << path
                        << '\n';
    return saved;
}

int build(const QString &config)
{
    YesDialogs dialogs;
    MainWindowContext context;
    context.arguments = QStringList {QStringLiteral("lg_updater"), QStringLiteral("--mode"),
                                     QStringLiteral("1"), QStringLiteral("--conf"), config};
    context.dialogs = &dialogs;
    MainWindow window(context);
    return window.startupAborted() ? 1 : 0;
}

int run(const QString &updaterDir, const QString &shots, const QStringList &options)
{
    YesDialogs dialogs;
    MainWindowContext context;
    context.arguments = QStringList {QStringLiteral("lg_updater")} + options;
    context.executableDir = updaterDir;
    context.dialogs = &dialogs;
    // The client of the demo checks the release against the demo's key, as lg_updater_demo does.
    const auto keys = releaseKeysFromText(QStringLiteral(LEDGORA_RELEASE_KEYS));
    if (!keys)
        return 1;
    context.releaseKeys = *keys;
    MainWindow window(context);
    window.resize(720, 760);
    window.show();
    QDir().mkpath(shots);
    bool ok = screenshot(window, shots + QLatin1String("/1-geladen.png"));
    ok = press(window, QStringLiteral("Nach Updates suchen")) && ok;
    ok = screenshot(window, shots + QLatin1String("/2-gesucht.png")) && ok;
    ok = press(window, QStringLiteral("Update starten")) && ok;
    ok = screenshot(window, shots + QLatin1String("/3-aktualisiert.png")) && ok;
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() >= 3 && arguments.at(1) == QLatin1String("build"))
        return build(arguments.at(2));
    if (arguments.size() >= 4 && arguments.at(1) == QLatin1String("run"))
        return run(arguments.at(2), arguments.at(3), arguments.mid(4));
    QTextStream(stderr) << "usage: demo_driver build CONFIG | run UPDATER_DIR SHOTS [options]\n";
    return 2;
}
