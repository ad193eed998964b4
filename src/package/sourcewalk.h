#pragma once

#include <QString>
#include <QVector>

#include <optional>

// One folder or regular file of a group's source tree.
struct SourceEntry
{
    QString path; // read from here
    QString targetPath; // published under this path, relative to the source folder
    bool isDir = false;
    qint64 size = 0; // of a file, when the walk found it
    // Seconds since 1970-01-01 00:00 UTC.
    qint64 created = 0;
    qint64 modified = 0;
    qint64 read = 0;
};

// The canonical path of a group's source folder (normalised, trailing "/"). Empty, with the
// failure line in *error, when it is missing or not a folder.
std::optional<QString> canonicalSourceFolder(const QString &sourceDir, QString *error);

// The tree below sourceDir: each folder's entries in the order the file system lists them, a
// folder's contents right after the folder. A link stands for what it points to, which must lie
// inside the source folder: nothing else is published. False, with the failure line in *error,
// for a missing source folder, a link that leads out of it, nowhere or back into a folder that
// holds it, and anything that is neither a file nor a folder.
bool walkSourceTree(const QString &sourceDir, QVector<SourceEntry> *entries, QString *error);
