#pragma once

#include <QString>
#include <QVector>

#include <optional>
#include <vector>

class QFileInfo;
struct FileStatus;

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

// Walks the tree below a group's source folder an entry at a time, so that the builder can
// start on the first files while the rest is still listed: each folder's entries in the order
// the file system lists them, a folder's contents right after the folder. A link stands for
// what it points to, which must lie inside the source folder: nothing else is published.
class SourceWalk
{
public:
    enum Step { Entry, Done, Failed };

    SourceWalk();
    ~SourceWalk();
    SourceWalk(const SourceWalk &) = delete;
    SourceWalk &operator=(const SourceWalk &) = delete;

    // False, with the failure line in error(), for a missing source folder.
    bool start(const QString &sourceDir);
    // The next entry. Failed, with the failure line in error(), for a link that leads out of
    // the source folder, nowhere or back into a folder that holds it, anything that is neither
    // a file nor a folder, and a folder that cannot be read; nothing follows then.
    Step next(SourceEntry *entry);
    QString error() const { return failure; }

private:
    struct OpenFolder;
    bool openFolder(const QString &path, const QString &canonicalPath);
    Step take(SourceEntry *entry);
    bool readStatus(const QString &path, const QFileInfo &info, FileStatus *status,
                    QString *canonicalPath);
    bool followLink(const QString &link, const QFileInfo &info, QString *canonicalPath);
    void failLink(const QString &reason, const QString &link, const QString &target);

    QString sourceDir;
    QString root; // canonical source folder
    // The folders being listed, outermost first: a link to one of them would lead into itself.
    std::vector<OpenFolder> folders;
    QString failure;
};
