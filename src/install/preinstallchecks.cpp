#include "install/preinstallchecks.h"

#include "common/producttypes.h"
#include "common/serverurls.h"
#include "common/userdialogs.h"
#include "platform/platformservices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

// The installed (not portable) editions: only they keep a data folder in the documents.
bool isStavin(int type)
{
    return type == static_cast<int>(ProductType::Stavin);
}

bool isOrvelOrLusk(int type)
{
    return type == static_cast<int>(ProductType::Orvel)
        || type == static_cast<int>(ProductType::Lusk);
}

} // namespace

PreInstallChecks::PreInstallChecks(UserDialogs &dialogs, PlatformServices &platform,
                                   QWidget *parent)
    : dialogs(dialogs)
    , platform(platform)
    , parent(parent)
{
}

bool PreInstallChecks::confirmBeta(bool checked, bool enabled)
{
    if (!checked || !enabled)
        return true;
    return dialogs.question(
        parent, tr("Bestätigung:"),
        tr("Wenn Sie die Beta-Version aktivieren, sollten Sie Buchhaltungsdokumente bis zum "
           "Ende des Beta-Tests nur in dieser Installation nutzen.\r\nDie Daten dürfen "
           "sicherheitshalber nicht mit Nicht-Beta-Versionen genutzt werden.\r\n\r\nWollen "
           "Sie den Vorgang wirklich fortsetzen?"));
}

bool PreInstallChecks::waitForMainApplication(quint32 processId)
{
    if (!platform.hasTopLevelWindow(processId))
        return true;
    dialogs.information(
        parent, tr("Konflikt:"),
        tr("Vor dem Start des Updates muss Ledgora beendet werden.\r\nBitte beenden "
           "Sie Ledgora und drücken Sie dann OK"));
    platform.sleep(5000);
    if (!platform.hasTopLevelWindow(processId))
        return true;
    return dialogs.question(parent, tr("Konflikt:"),
                            tr("Vor dem Start des Updates muss Ledgora beendet werden.\r\nWollen "
                               "Sie den Vorgang wirklich fortsetzen?"));
}

bool PreInstallChecks::confirmStart(int productType, int releaseYear)
{
    // Stavin and Orvel, installed or portable, are licensed per year.
    const QString text = productType >= static_cast<int>(ProductType::Stavin)
            && productType <= static_cast<int>(ProductType::OrvelPortable)
        ? tr("Das Update installiert die Daten des Jahres '%1'.\r\n\r\nSofern Sie bisher mit "
             "einer älteren Jahresversion gearbeitet haben, ist evtl. ein kostenpflichtiges "
             "Update notwendig.\r\nSie finden in diesem Dialog unter 'Info' einen Link, unter "
             "dem Sie vorab abfragen können, ob Lizenzdaten für diese Version vorliegen.\r\n\r\n"
             "Wollen Sie den Vorgang fortsetzen?")
              .arg(releaseYear)
        : tr("Wollen Sie das Update starten?");
    return dialogs.question(parent, tr("Bestätigung:"), text);
}

QString PreInstallChecks::dataSourceGroup(const QString &updaterDir)
{
    QString name = updaterDir;
    normalizeDirPath(name);
    name = name.toLower();
    name.replace(QLatin1Char('\\'), QLatin1Char('|'));
    name.replace(QLatin1Char('/'), QLatin1Char('|'));
    return QLatin1String("DATASOURCE_") + name;
}

bool PreInstallChecks::migrationNeeded(bool useNewLocation, int installedType, int selectedType)
{
    if (useNewLocation || installedType == -1 || installedType == selectedType)
        return false;
    return (isOrvelOrLusk(installedType) && isStavin(selectedType))
        || (isOrvelOrLusk(selectedType) && isStavin(installedType));
}

PreInstallChecks::Migration PreInstallChecks::openPageAnd(Migration next, int selectedType)
{
    dialogs.openUrl(QUrl(isStavin(selectedType) ? migrateToStavinUrl() : migrateFromStavinUrl()));
    return next;
}

PreInstallChecks::Migration
PreInstallChecks::migrateDataFolder(const QString &updaterDir, int installedType, int selectedType,
                                    const QString &documentsDir,
                                    const std::function<bool()> &offerElevatedRestart)
{
    if (!migrationNeeded(platform.useNewLocation(dataSourceGroup(updaterDir)), installedType,
                         selectedType))
        return Migration::Continue;
    if (!dialogs.question(parent, tr("Bestätigung:"),
                          tr("Die Luskversion und die Orvel-Version benutzen voreingestellt einen "
                             "anderen Datenordner als die Stavinversion.\r\nWollen Sie den "
                             "Datenordner umbenennen?")))
        return openPageAnd(Migration::Continue, selectedType);
    if (documentsDir.isEmpty())
        return openPageAnd(Migration::Continue, selectedType);

    QString documents = documentsDir;
    normalizeDirPath(documents);
    const QString orvel = documents + QLatin1String("Ledgora");
    const QString stavin = documents + QLatin1String("Ledgora Stavin");
    if (QFileInfo::exists(orvel) && QFileInfo::exists(stavin)) {
        const bool goOn = dialogs.question(
            parent, tr("Info:"),
            tr("Es wurden sowohl ein Datenordner für die Stavinversion als auch für die "
               "Orvel-Version gefunden,\r\nbenennen Sie den Ordner bitte manuell um.\r\n\r\n"
               "Wollen Sie fortfahren?"));
        return openPageAnd(goOn ? Migration::Continue : Migration::EndRun, selectedType);
    }
    QString reason;
    const bool renamed = isStavin(selectedType) ? platform.rename(orvel, stavin, &reason)
                                                : platform.rename(stavin, orvel, &reason);
    if (renamed)
        return openPageAnd(Migration::Continue, selectedType);
    if (!platform.elevated() && offerElevatedRestart())
        return Migration::EndRun;
    const bool goOn =
        dialogs.question(parent, tr("Info:"),
                         tr("Fehler beim Umbenennen:\r\n%1\r\nBenennen Sie den Ordner "
                            "bitte manuell um.\r\n\r\nWollen Sie fortfahren?")
                             .arg(reason));
    return openPageAnd(goOn ? Migration::Continue : Migration::EndRun, selectedType);
}
