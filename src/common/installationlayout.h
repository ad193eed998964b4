#pragma once

#include <QLatin1String>

// Names inside an installation that the updater, the main application and published releases
// share. Not constexpr: clang (the fuzzing build) cannot run QLatin1String's strlen at compile
// time.
namespace InstallationLayout {
// The version record, in the application base directory.
inline const QLatin1String versionRecord("versioninfo.dat");
// Where a new updater goes, below the updater's folder, to finish the update in mode 3.
inline const QLatin1String updaterTemp("updater-temp/");
// The highest signed release numbers installed, in the updater's own folder (not in updater-temp).
inline const QLatin1String releaseNumbers("releasenumbers.dat");
// Held by the updater that writes into the installation, in the updater's own folder.
inline const QLatin1String installationLock("lg_updater.lock");
// The plug-in folders that elster groups fill, below the application base directory.
inline const QLatin1String plugins("plugins/");
inline const QLatin1String plugins2("plugins2/");
// Appended to a target's name for the file that is written before it takes the target's place;
// no target of a release may end in it.
inline const QLatin1String stagingSuffix(".lgtmp");
} // namespace InstallationLayout
