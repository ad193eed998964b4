#pragma once

#include <QString>

struct UpdateDocument;

// Removes the staging files ("<target>.lgtmp") that a killed installation left beside the files
// of the document's targets; the caller holds the InstallationLock, so no running updater owns
// them. Only the targets' own staging names are looked at, never a whole folder tree: files of
// the same name elsewhere are not the updater's. They are removed through the held folders
// (InstallationFolders), as the installation writes them. A target whose path may not be
// written (a link on the way, a name outside the installation) is passed over; a leftover that
// is a link is removed itself. Returns how many were removed; each is named in the debug output.
int removeStagingLeftovers(const QString &baseDir, const UpdateDocument &document);
