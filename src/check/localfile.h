#pragma once

#include <QString>

// How an installed file compares with a file entry's content. Only a regular file is read: a
// link, a pipe or a device at a file's place is not what the release put there (and may never
// end), so it counts as differing and is replaced.
enum class LocalFile { Missing, Current, Differs, Folder, Unreadable };

// *error holds the system's reason for Unreadable.
LocalFile compareLocalFile(const QString &fullPath, const QString &sha256, QString *error);
