#include "platform/folderhandle.h"
#include "platform/platform.h"
#include "platform/win32/win32services.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

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

} // namespace

FolderHandle::FolderHandle(qintptr native, const QString &path,
                           std::shared_ptr<const FolderHandle> parent)
    : native(native)
    , folderPath(path)
    , parent(std::move(parent))
{
}

FolderHandle::~FolderHandle()
{
    win32::closeHeldFolder(handleOf(native));
}

std::shared_ptr<const FolderHandle> FolderHandle::openRoot(const QString &path, QString *error)
{
    bool isReparsePoint = false;
    void *folder = win32::openHeldFolder(path.toStdWString(), false, &isReparsePoint);
    if (!folder) {
        failed(error);
        return nullptr;
    }
    QString folderPath = path;
    normalizeDirPath(folderPath);
    return std::shared_ptr<const FolderHandle>(
        new FolderHandle(reinterpret_cast<qintptr>(folder), folderPath, nullptr));
}

// This folder is held and cannot be replaced: the path of a name in it leads into it.
std::shared_ptr<const FolderHandle> FolderHandle::openFolder(const QString &name, bool create,
                                                             bool *isLink, QString *error) const
{
    *isLink = false;
    const std::wstring path = pathOf(name).toStdWString();
    if (create && entryAt(name) == Entry::Missing && !win32::createDirectories(path)) {
        failed(error);
        return nullptr;
    }
    void *folder = win32::openHeldFolder(path, true, isLink);
    if (!folder) {
        failed(error);
        return nullptr;
    }
    return std::shared_ptr<const FolderHandle>(new FolderHandle(
        reinterpret_cast<qintptr>(folder), pathOf(name) + QLatin1Char('/'), shared_from_this()));
}

// The held folders cannot be renamed or removed: the path leads to them while they are held.
bool FolderHandle::isAtItsPath() const
{
    return true;
}

FolderHandle::Entry FolderHandle::entryAt(const QString &name) const
{
    const QString path = pathOf(name);
    switch (win32::pathKind(path.toStdWString())) {
    case win32::PathKind::Missing:
        return Entry::Missing;
    case win32::PathKind::ReparsePoint:
        return Entry::Other;
    case win32::PathKind::Other:
        break;
    }
    const QFileInfo info(path);
    if (info.isDir())
        return Entry::Folder;
    return info.isFile() ? Entry::File : Entry::Other;
}

QVector<QPair<QString, FolderHandle::Entry>> FolderHandle::entries() const
{
    QVector<QPair<QString, Entry>> found;
    const QStringList names =
        QDir(folderPath)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names)
        found.append({name, entryAt(name)});
    return found;
}

bool FolderHandle::createFile(const QString &name, QFile *file, QString *error) const
{
    file->setFileName(pathOf(name));
    if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return true;
    *error = file->errorString();
    return false;
}

bool FolderHandle::removeFile(const QString &name, QString *error) const
{
    constexpr quint32 errorAccessDenied = 5; // ERROR_ACCESS_DENIED, as for a folder elsewhere
    if (entryAt(name) == Entry::Folder) {
        *error = windowsErrorText(errorAccessDenied);
        return false;
    }
    return win32::removeLink(pathOf(name).toStdWString()) || failed(error);
}

bool FolderHandle::replace(const QString &source, const QString &target, QString *error) const
{
    return win32::replaceFile(pathOf(source).toStdWString(), pathOf(target).toStdWString())
        || failed(error);
}

bool FolderHandle::makeWritable(const QString &name) const
{
    return win32::makeWritable(pathOf(name).toStdWString());
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
    if (name.isEmpty())
        return win32::setFileTimesOfHeldFolder(handleOf(native), toFileTime(created),
                                               toFileTime(written), toFileTime(accessed))
            || failed(error);
    return win32::setFileTimes(pathOf(name).toStdWString(), false, toFileTime(created),
                               toFileTime(written), toFileTime(accessed))
        || failed(error);
}

bool FolderHandle::syncFiles(const QVector<File> &files, int *failedIndex, QString *error)
{
    for (int i = 0; i < files.size(); ++i) {
        QFile file(files.at(i).path());
        // FlushFileBuffers needs a handle with write access.
        if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
            *failedIndex = i;
            *error = file.errorString();
            return false;
        }
        if (!syncFile(&file, error)) {
            *failedIndex = i;
            return false;
        }
    }
    *failedIndex = -1;
    return true;
}
