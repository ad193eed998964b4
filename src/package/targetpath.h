#pragma once

#include <QSet>
#include <QString>

#include <optional>

// Folders that a series of look-ups found to be no link, so that each is looked at once: for
// look-ups that write nothing between them (a check, the verification before an installation).
using CheckedFolders = QSet<QString>;

// The full path of an entry's "targetpath" below the application base directory, or nothing
// when the entry may not be written there, whatever the update document says:
// - paths that leave the base directory: absolute paths, drive letters, network prefixes,
//   ".." components, and paths whose existing folders below the base include a link;
// - names Windows takes for something else: device names (NUL, CON, COM1, aux.txt, ...), names
//   ending in a dot or a blank, control characters and the characters <>"|?*;
// - the version record, the updater's record of signed releases and its lock (by name, in any
//   folder), and runningExecutable (the updater's own file) when given.
std::optional<QString> resolveTargetPath(const QString &baseDir, const QString &targetPath,
                                         const QString &runningExecutable = QString(),
                                         CheckedFolders *checked = nullptr);

// True when both paths name one file, compared as Windows compares names.
bool isSameFile(const QString &a, const QString &b);

// What stands at a path of the installation, seen without following a link.
enum class LocalEntry { Missing, File, Folder, Other };
LocalEntry localEntryAt(const QString &path);
