#include "install/relaunch.h"

#include "common/installationlayout.h"
#include "common/userdialogs.h"
#include "platform/platformservices.h"

#include <QCoreApplication>

namespace {

// The path is one argument of its own, whatever it holds: a name such as
// `Ledgora" --allowolder "2026.dat` stays a name.
QStringList offlineOption(const QString &offlinePath, bool allowOlder)
{
    if (offlinePath.isEmpty())
        return {};
    QStringList arguments {QStringLiteral("--offline"), offlinePath};
    if (allowOlder)
        arguments.append(QStringLiteral("--allowolder"));
    return arguments;
}

} // namespace

Relaunch::Relaunch(UserDialogs &dialogs, PlatformServices &platform, QWidget *parent,
                   const QString &updaterDir, int mode, std::function<void()> quit, bool allowOlder)
    : dialogs(dialogs)
    , platform(platform)
    , parent(parent)
    , updaterDir(updaterDir)
    , mode(mode)
    , quit(std::move(quit))
    , allowOlder(allowOlder)
{
}

QStringList Relaunch::restartParameters(int productType, const QString &offlinePath, int mode,
                                        bool allowOlder)
{
    // A copy in updater-temp/ that restarted in mode 2 would take the updater's own folder for
    // the installation and install the release there.
    if (mode == 3)
        return handOverParameters(productType, offlinePath, allowOlder);
    return QStringList {QStringLiteral("--product"), QString::number(productType)}
    + offlineOption(offlinePath, allowOlder);
}

QStringList Relaunch::handOverParameters(int productType, const QString &offlinePath,
                                         bool allowOlder)
{
    return QStringList {QStringLiteral("--product"), QString::number(productType),
                        QStringLiteral("--mode"), QStringLiteral("3")}
    + offlineOption(offlinePath, allowOlder);
}

bool Relaunch::offerElevatedRestart(int productType, const QString &offlinePath)
{
    const QString text = QStringLiteral(
        "Es sind Fehler aufgetreten.\r\nSofern diese auf fehlenden Benutzerrechten basieren, "
        "kann das Programm erneut mit höheren Benutzerrechten gestartet werden.\r\n\r\n"
        "Wollen Sie dies tun?");
    if (!dialogs.question(parent, tr("Bestätigung:"), text))
        return false;
    start(QStringLiteral("runas"), updaterDir + updaterExecutableName(),
          restartParameters(productType, offlinePath, mode, allowOlder));
    return true;
}

bool Relaunch::handOver(int productType, const QString &offlinePath, bool elevated)
{
    return start(elevated ? QStringLiteral("runas") : QString(),
                 updaterDir + InstallationLayout::updaterTemp + updaterExecutableName(),
                 handOverParameters(productType, offlinePath, allowOlder));
}

bool Relaunch::start(const QString &verb, const QString &executable, const QStringList &arguments)
{
    QString error;
    if (platform.start(verb, executable, arguments, &error)) {
        quit();
        return true;
    }
    dialogs.information(parent, tr("Fehler:"), error + QLatin1String("\r\n") + executable);
    return false;
}
