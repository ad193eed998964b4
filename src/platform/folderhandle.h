#pragma once

#include <QString>
#include <QVector>

#include <memory>

class QDateTime;
class QFile;

// A folder of the installation held open while files are written into it, so that whoever may
// write the installation cannot steer those writes elsewhere by swapping a folder on the way
// for a link while the updater runs (perhaps with raised rights). Folders below the root are
// opened one name at a time from their parent's handle and never through a link.
// - POSIX: every call below works relative to the folder's descriptor (openat, renameat, …);
//   a folder moved away meanwhile takes the writes with it, and they stay its own files.
// - Windows: every call below opens the name from the folder's handle (win32/heldfolder.h),
//   and the handles, from the root down, are shared for reading and writing but not for
//   deletion, so that the system refuses to rename or remove any of those folders while they
//   are held.
// A folder whose path no longer leads to it (isAtItsPath) is one the caller stops writing to.
class FolderHandle : public std::enable_shared_from_this<FolderHandle>
{
public:
    enum class Entry { Missing, File, Folder, Other }; // Other: a link, a pipe, a device, …

    ~FolderHandle();
    FolderHandle(const FolderHandle &) = delete;
    FolderHandle &operator=(const FolderHandle &) = delete;

    // The installation's root by its path; links on the way are followed, the root being
    // where the user installed.
    static std::shared_ptr<const FolderHandle> openRoot(const QString &path, QString *error);
    // The folder of that name in this one, created first when missing and `create`. Nothing
    // when it cannot be opened; *isLink then tells whether a link (a junction) stands there.
    std::shared_ptr<const FolderHandle> openFolder(const QString &name, bool create, bool *isLink,
                                                   QString *error) const;

    // The folder's path as it was opened, ending in "/".
    const QString &path() const { return folderPath; }
    QString pathOf(const QString &name) const { return folderPath + name; }
    // Whether the path still leads to this folder: each folder from the root down is still
    // under its name in the folder above, with no link put in its place.
    bool isAtItsPath() const;

    Entry entryAt(const QString &name) const;
    // The names of the files and folders in it (links, pipes and the like as Other).
    QVector<QPair<QString, Entry>> entries() const;

    // A new file for writing, unbuffered; fails when anything, a link included, has the name.
    bool createFile(const QString &name, QFile *file, QString *error) const;
    // Removes a file, a link itself, or another entry that is no folder.
    bool removeFile(const QString &name, QString *error) const;
    // Moves source over target in one step; the target is the old file or the new one.
    bool replace(const QString &source, const QString &target, QString *error) const;
    // Clears the read-only state of a regular file; a link, and a file with other names (hard
    // links) that may lie outside, are left as they are.
    bool makeWritable(const QString &name) const;
    // Gives a new file the mode of the regular file `target`, or the mode its name implies
    // (the updater's own executable is executable). Windows keeps no modes.
    bool keepFileMode(QFile *staged, const QString &target, QString *error) const;
    // Sets the three times of the named entry, not through a link nor on a file with other
    // names (hard links), or of this folder itself when the name is empty.
    bool setTimes(const QString &name, const QDateTime &created, const QDateTime &written,
                  const QDateTime &accessed, QString *error) const;

    // Takes the named lock file in this folder, made when missing, never through a link and
    // without waiting. It is held until unlockFile(*lock), or until the process ends, however
    // it ends; the file stays. Failed: no regular file of its own (a link, a pipe, a folder, a
    // file with other names) or no rights, *error says why.
    enum class Lock { Held, HeldByAnother, Failed };
    Lock lockFile(const QString &name, qintptr *lock, QString *error) const;
    static void unlockFile(qintptr lock);

    // A file in a held folder.
    struct File
    {
        std::shared_ptr<const FolderHandle> folder;
        QString name;
        QString path() const { return folder->pathOf(name); }
    };
    // Waits until the files, written and closed without a sync, are on the disk. Linux syncs
    // each file system that holds one of their folders once (syncfs) and cannot tell which
    // file failed (*failedIndex -1); other systems sync file by file and name it.
    static bool syncFiles(const QVector<File> &files, int *failedIndex, QString *error);

private:
    FolderHandle(qintptr native, const QString &path, const QString &name,
                 std::shared_ptr<const FolderHandle> parent)
        : native(native)
        , folderPath(path)
        , name(name)
        , parent(std::move(parent))
    {
        readIdentity();
    }
    void readIdentity();

    qintptr native; // a descriptor, or a Windows handle
    QString folderPath;
    QString name; // in the parent
    // What the system calls the folder (device and inode on POSIX), read once when it is opened.
    quint64 device = 0;
    quint64 inode = 0;
    // Held while this one is: on Windows the parents' handles keep the way to it fixed.
    std::shared_ptr<const FolderHandle> parent;
};
