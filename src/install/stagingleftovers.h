#pragma once

#include <QString>

// Removes the staging files ("<target>.lgtmp") that a killed installation left anywhere below
// the application base directory; the caller holds the InstallationLock, so no running updater
// owns them. Links are not followed: a leftover that is a link is removed itself. Returns how
// many were removed; each is named in the debug output.
int removeStagingLeftovers(const QString &baseDir);
