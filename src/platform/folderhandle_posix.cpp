#include "platform/folderhandle.h"
#include "platform/posixcalls.h"

#include <QDateTime>
#include <QFile>
#include <QSet>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using posix::failed;

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

QByteArray encoded(const QString &name)
{
    return QFile::encodeName(name);
}

FolderHandle::Entry entryOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FolderHandle::Entry::File;
    return S_ISDIR(mode) ? FolderHandle::Entry::Folder : FolderHandle::Entry::Other;
}

// Opens a regular file of this name without following a link or waiting for a pipe's writer,
// and only when it has no other name (a hard link) that may lie outside; -1 otherwise, with
// errno set.
int openOwnFile(int folder, const QByteArray &name, int flags)
{
    const int descriptor =
        openat(folder, name.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (descriptor < 0)
        return -1;
    struct stat info;
    if (fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1)
        return descriptor;
    close(descriptor);
    errno = EPERM;
    return -1;
}

} // namespace

void FolderHandle::readIdentity()
{
    struct stat held;
    if (fstat(int(native), &held) == 0) {
        device = held.st_dev;
        inode = held.st_ino;
    }
}

FolderHandle::~FolderHandle()
{
    close(int(native));
}

std::shared_ptr<const FolderHandle> FolderHandle::openRoot(const QString &path, QString *error)
{
    const int descriptor = open(encoded(path).constData(), folderFlags);
    if (descriptor < 0) {
        failed(errno, error);
        return nullptr;
    }
    QString folder = path;
    normalizeDirPath(folder);
    return std::shared_ptr<const FolderHandle>(
        new FolderHandle(descriptor, folder, QString(), nullptr));
}

std::shared_ptr<const FolderHandle> FolderHandle::openFolder(const QString &name, bool create,
                                                             bool *isLink, QString *error) const
{
    *isLink = false;
    const QByteArray child = encoded(name);
    // O_NOFOLLOW refuses a link as the last step, and the name is the only step.
    int descriptor = openat(int(native), child.constData(), folderFlags | O_NOFOLLOW);
    if (descriptor < 0 && errno == ENOENT && create) {
        if (mkdirat(int(native), child.constData(), 0777) != 0 && errno != EEXIST) {
            failed(errno, error);
            return nullptr;
        }
        descriptor = openat(int(native), child.constData(), folderFlags | O_NOFOLLOW);
    }
    if (descriptor < 0) {
        const int reason = errno;
        // With O_DIRECTORY a link is refused as no folder (ENOTDIR), as a file is. Only a
        // file still there now is taken for one: a link may have been swapped away meanwhile.
        struct stat info;
        *isLink = reason == ELOOP
            || (reason == ENOTDIR
                && !(fstatat(int(native), child.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0
                     && S_ISREG(info.st_mode)));
        failed(reason, error);
        return nullptr;
    }
    return std::shared_ptr<const FolderHandle>(
        new FolderHandle(descriptor, pathOf(name) + QLatin1Char('/'), name, shared_from_this()));
}

// A folder moved out and a link to it left in its place would pass a look that follows links.
bool FolderHandle::isAtItsPath() const
{
    for (const FolderHandle *folder = this; folder; folder = folder->parent.get()) {
        struct stat named;
        const bool found = folder->parent
            ? fstatat(int(folder->parent->native), encoded(folder->name).constData(), &named,
                      AT_SYMLINK_NOFOLLOW)
                == 0
            : stat(encoded(folder->folderPath).constData(), &named) == 0;
        if (!found || named.st_dev != folder->device || named.st_ino != folder->inode)
            return false;
    }
    return true;
}

FolderHandle::Entry FolderHandle::entryAt(const QString &name) const
{
    struct stat info;
    if (fstatat(int(native), encoded(name).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0)
        return entryOf(info.st_mode);
    return errno == ENOENT ? Entry::Missing : Entry::Other;
}

QVector<QPair<QString, FolderHandle::Entry>> FolderHandle::entries() const
{
    QVector<QPair<QString, Entry>> found;
    // The listing reads through a descriptor of its own, which closedir closes.
    DIR *listing = fdopendir(openat(int(native), ".", folderFlags));
    if (!listing)
        return found;
    while (const dirent *entry = readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QString decoded = QFile::decodeName(name);
        found.append({decoded, entryAt(decoded)});
    }
    closedir(listing);
    return found;
}

bool FolderHandle::createFile(const QString &name, QFile *file, QString *error) const
{
    const int descriptor = openat(int(native), encoded(name).constData(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return failed(errno, error);
    if (file->open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle))
        return true;
    *error = file->errorString();
    close(descriptor);
    return false;
}

bool FolderHandle::removeFile(const QString &name, QString *error) const
{
    return unlinkat(int(native), encoded(name).constData(), 0) == 0 || failed(errno, error);
}

bool FolderHandle::replace(const QString &source, const QString &target, QString *error) const
{
    return renameat(int(native), encoded(source).constData(), int(native),
                    encoded(target).constData())
        == 0
        || failed(errno, error);
}

bool FolderHandle::makeWritable(const QString &name) const
{
    const int descriptor = openOwnFile(int(native), encoded(name), O_RDONLY);
    if (descriptor < 0)
        return errno == ELOOP;
    struct stat info;
    const bool changed = fstat(descriptor, &info) == 0
        && fchmod(descriptor, (info.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0;
    close(descriptor);
    return changed;
}

bool FolderHandle::keepFileMode(QFile *staged, const QString &target, QString *error) const
{
    mode_t mode = target == updaterExecutableName() ? 0755 : 0644;
    struct stat info;
    // Without the set-id bits: a run with raised rights must not hand them to a new file.
    if (fstatat(int(native), encoded(target).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(info.st_mode))
        mode = info.st_mode & 0777;
    return fchmod(staged->handle(), mode) == 0 || failed(errno, error);
}

bool FolderHandle::setTimes(const QString &name, const QDateTime &created, const QDateTime &written,
                            const QDateTime &accessed, QString *error) const
{
    Q_UNUSED(created)
    const timespec times[2] = {posix::toTimespec(accessed), posix::toTimespec(written)};
    if (name.isEmpty())
        return futimens(int(native), times) == 0 || failed(errno, error);
    const int descriptor = openOwnFile(int(native), encoded(name), O_RDONLY);
    if (descriptor < 0)
        return failed(errno, error);
    const bool set = futimens(descriptor, times) == 0;
    const int reason = errno;
    close(descriptor);
    return set || failed(reason, error);
}

FolderHandle::Lock FolderHandle::lockFile(const QString &name, qintptr *lock, QString *error) const
{
    const int descriptor = openOwnFile(int(native), encoded(name), O_RDWR | O_CREAT);
    if (descriptor < 0) {
        failed(errno, error);
        return Lock::Failed;
    }
    // flock, as the toolkit's QLockFile also takes it: an older updater's lock is seen, and
    // the system drops the lock when its process ends, however it ends.
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        close(descriptor);
        failed(reason, error);
        return reason == EWOULDBLOCK ? Lock::HeldByAnother : Lock::Failed;
    }
    // The holder's process id, for whoever looks at the file; the lock holds without it.
    const QByteArray owner = QByteArray::number(qint64(getpid())) + '\n';
    [[maybe_unused]] const bool noted = ftruncate(descriptor, 0) == 0
        && write(descriptor, owner.constData(), size_t(owner.size())) == owner.size();
    *lock = descriptor;
    return Lock::Held;
}

void FolderHandle::unlockFile(qintptr lock)
{
    close(int(lock));
}

bool FolderHandle::syncFiles(const QVector<File> &files, int *failedIndex, QString *error)
{
    *failedIndex = -1;
    QSet<const FolderHandle *> folders;
    QSet<dev_t> synced;
    for (const File &file : files) {
        const FolderHandle *folder = file.folder.get();
        if (folders.contains(folder))
            continue;
        folders.insert(folder);
        struct stat info;
        if (fstat(int(folder->native), &info) != 0)
            return failed(errno, error);
        // Folders of one file system share one sync: syncfs waits for all of its files.
        if (synced.contains(info.st_dev))
            continue;
        if (syncfs(int(folder->native)) != 0)
            return failed(errno, error);
        synced.insert(info.st_dev);
    }
    return true;
}
