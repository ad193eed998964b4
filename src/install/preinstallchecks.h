#pragma once

#include <QCoreApplication>
#include <QString>

#include <functional>

class PlatformServices;
class QWidget;
class UserDialogs;

// The questions and guards before an installation touches any file, and the renaming of the
// main application's data folder when the edition changes between Stavin and Orvel or Lusk.
class PreInstallChecks
{
    // The texts it shows are the window's and translate in the window's context.
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    PreInstallChecks(UserDialogs &dialogs, PlatformServices &platform, QWidget *parent);

    // An enabled, checked beta box asks first; false ends the run.
    bool confirmBeta(bool checked, bool enabled);
    // Waits for the main application (a window of the given process) to close; false when
    // it still runs and the user does not want to go on.
    bool waitForMainApplication(quint32 processId);
    // The year text for types 1 to 4, a plain question otherwise; false ends the run.
    bool confirmStart(int productType, int releaseYear);

    enum class Migration { Continue, EndRun };
    // Offers the rename when the edition family changes and the main application has not moved
    // its data yet. offerElevatedRestart: the restart offer of a failed rename, true when
    // the user took it.
    Migration migrateDataFolder(const QString &updaterDir, int installedType, int selectedType,
                                const QString &documentsDir,
                                const std::function<bool()> &offerElevatedRestart);

    // "DATASOURCE_" + the updater's folder in lower case, every "\" and "/" as "|".
    static QString dataSourceGroup(const QString &updaterDir);
    static bool migrationNeeded(bool useNewLocation, int installedType, int selectedType);

private:
    Migration openPageAnd(Migration next, int selectedType);

    UserDialogs &dialogs;
    PlatformServices &platform;
    QWidget *parent;
};
