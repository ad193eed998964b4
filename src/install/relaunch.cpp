#include "install/relaunch.h"

#include "common/installationlayout.h"
#include "common/userdialogs.h"
#include "platform/platformservices.h"

#include <QCoreApplication>

namespace {

QString offlineOption(const QString &offlinePath)
{
    return offlinePath.isEmpty() ? QString() : QStringLiteral("--offline \"%1\"").arg(offlinePath);
}

} // namespace

Relaunch::Relaunch(UserDialogs &dialogs, PlatformServices &platform, QWidget *parent,
                   const QString &updaterDir, int mode, std::function<void()> quit)
    : dialogs(dialogs)
    , platform(platform)
    , parent(parent)
    , updaterDir(updaterDir)
    , mode(mode)
    , quit(std::move(quit))
{
}

QString Relaunch::restartParameters(int productType, const QString &offlinePath, int mode)
{
    // A copy in updater-temp/ that restarted in mode 2 would take the updater's own folder for
    // the installation and install the release there.
    if (mode == 3)
        return handOverParameters(productType, offlinePath);
    return QStringLiteral("--product %1 %2")
        .arg(QString::number(productType), offlineOption(offlinePath));
}

QString Relaunch::handOverParameters(int productType, const QString &offlinePath)
{
    return QStringLiteral("--product %1 --mode 3 %2")
        .arg(QString::number(productType), offlineOption(offlinePath));
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
          restartParameters(productType, offlinePath, mode));
    return true;
}

bool Relaunch::handOver(int productType, const QString &offlinePath, bool elevated)
{
    return start(elevated ? QStringLiteral("runas") : QString(),
                 updaterDir + InstallationLayout::updaterTemp + updaterExecutableName(),
                 handOverParameters(productType, offlinePath));
}

bool Relaunch::start(const QString &verb, const QString &executable, const QString &parameters)
{
    QString error;
    if (platform.start(verb, executable, parameters, &error)) {
        quit();
        return true;
    }
    dialogs.information(parent, tr("Fehler:"), error + QLatin1String("\r\n") + executable);
    return false;
}
