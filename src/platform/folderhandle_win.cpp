#include "platform/folderhandle.h"
#include "platform/platform.h"
#include "platform/win32/heldfolder.h"

#include <QDateTime>
#include <QFile>

namespace {

// The last error, taken right after the call that failed.
bool failed(QString *error)
{
    *error = windowsErrorText(0);
    return false;
}

void *handleOf(qintptr native)
{
    return reinterpret_cast<void *>(native);
}

FolderHandle::Entry entryOf(win32::EntryKind kind)
{
    switch (kind) {
    case win32::EntryKind::Missing:
        return FolderHandle::Entry::Missing;
    case win32::EntryKind::File:
        return FolderHandle::Entry::File;
    case win32::EntryKind::Folder:
        return FolderHandle::Entry::Folder;
    case win32::EntryKind::Other:
        break;
    }
    return FolderHandle::Entry::Other;
}

} // namespace

// The held folders cannot move: where they are is never looked at, nor what they are.
void FolderHandle::readIdentity() { }

FolderHandle::~FolderHandle()
{
    win32::closeHeld(handleOf(native));
}

std::shared_ptr<const FolderHandle> FolderHandle::openRoot(const QString &path, QString *error)
{
    void *folder = win32::openHeldRoot(path.toStdWString());
    if (!folder) {
        failed(error);
        return nullptr;
    }
    QString folderPath = path;
    normalizeDirPath(folderPath);
    return std::shared_ptr<const FolderHandle>(
        new FolderHandle(reinterpret_cast<qintptr>(folder), folderPath, QString(), nullptr));
}

std::shared_ptr<const FolderHandle> FolderHandle::openFolder(const QString &name, bool create,
                                                             bool *isLink, QString *error) const
{
    void *folder = win32::openHeldFolderIn(handleOf(native), name.toStdWString(), create, isLink);
    if (!folder) {
        failed(error);
        return nullptr;
    }
    return std::shared_ptr<const FolderHandle>(new FolderHandle(reinterpret_cast<qintptr>(folder),
                                                                pathOf(name) + QLatin1Char('/'),
                                                                name, shared_from_this()));
}

// Held from the root down, the folders can be neither renamed nor removed: the path leads to
// them while they are held.
bool FolderHandle::isAtItsPath() const
{
    return true;
}

FolderHandle::Entry FolderHandle::entryAt(const QString &name) const
{
    return entryOf(win32::entryKindIn(handleOf(native), name.toStdWString()));
}

QVector<QPair<QString, FolderHandle::Entry>> FolderHandle::entries() const
{
    std::vector<std::pair<std::wstring, win32::EntryKind>> listed;
    win32::listFolder(handleOf(native), &listed);
    QVector<QPair<QString, Entry>> found;
    for (const auto &entry : listed)
        found.append({QString::fromStdWString(entry.first), entryOf(entry.second)});
    return found;
}

bool FolderHandle::createFile(const QString &name, QFile *file, QString *error) const
{
    const int descriptor = win32::createFileIn(handleOf(native), name.toStdWString());
    if (descriptor < 0)
        return failed(error);
    if (file->open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle))
        return true;
    *error = file->errorString();
    return false;
}

bool FolderHandle::removeFile(const QString &name, QString *error) const
{
    return win32::removeIn(handleOf(native), name.toStdWString()) || failed(error);
}

bool FolderHandle::replace(const QString &source, const QString &target, QString *error) const
{
    return win32::replaceIn(handleOf(native), source.toStdWString(), target.toStdWString())
        || failed(error);
}

bool FolderHandle::makeWritable(const QString &name) const
{
    return win32::makeWritableIn(handleOf(native), name.toStdWString());
}

bool FolderHandle::keepFileMode(QFile *staged, const QString &target, QString *error) const
{
    Q_UNUSED(staged)
    Q_UNUSED(target)
    Q_UNUSED(error)
    return true;
}

bool FolderHandle::setTimes(const QString &name, const QDateTime &created, const QDateTime &written,
                            const QDateTime &accessed, QString *error) const
{
    return win32::setTimesIn(handleOf(native), name.toStdWString(), toFileTime(created),
                             toFileTime(written), toFileTime(accessed))
        || failed(error);
}

FolderHandle::Lock FolderHandle::lockFile(const QString &name, qintptr *lock, QString *error) const
{
    bool heldByAnother = false;
    void *file = win32::lockFileIn(handleOf(native), name.toStdWString(), &heldByAnother);
    if (!file) {
        failed(error);
        return heldByAnother ? Lock::HeldByAnother : Lock::Failed;
    }
    *lock = reinterpret_cast<qintptr>(file);
    return Lock::Held;
}

void FolderHandle::unlockFile(qintptr lock)
{
    win32::closeHeld(handleOf(lock));
}

bool FolderHandle::syncFiles(const QVector<File> &files, int *failedIndex, QString *error)
{
    for (int i = 0; i < files.size(); ++i) {
        const File &file = files.at(i);
        if (!win32::flushIn(handleOf(file.folder->native), file.name.toStdWString())) {
            *failedIndex = i;
            return failed(error);
        }
    }
    *failedIndex = -1;
    return true;
}
