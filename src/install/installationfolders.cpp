#include "install/installationfolders.h"

#include <QFileInfo>
#include <QStringList>

namespace {

// The document's paths are Windows paths: both separators divide them.
QStringList componentsOf(QString relative)
{
    QStringList components;
    for (const QString &component :
         relative.replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'))) {
        if (!component.isEmpty() && component != QLatin1String("."))
            components.append(component);
    }
    return components;
}

// Where the last name of a path begins.
int nameStart(const QString &path)
{
    return qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1;
}

} // namespace

InstallationFolders::InstallationFolders(const QString &baseDir)
    : base(baseDir)
{
}

std::shared_ptr<const FolderHandle> InstallationFolders::folder(const QString &path, bool create,
                                                                Refusal *refusal, QString *error)
{
    std::shared_ptr<const FolderHandle> found = byPath.value(path);
    if (!found) {
        if (!path.startsWith(base)) {
            *refusal = Refusal::Changed;
            return nullptr;
        }
        const QStringList components = componentsOf(path.mid(base.size()));
        // The target paths' rules keep ".." out; a folder is never looked for above the base.
        if (components.contains(QLatin1String(".."))) {
            *refusal = Refusal::Changed;
            return nullptr;
        }
        found = open(components.join(QLatin1Char('/')), create, refusal, error);
        if (found)
            byPath.insert(path, found);
    }
    // One look at the whole path shows whether any folder on the way has been replaced since
    // it was opened.
    if (found && !found->isAtItsPath()) {
        *refusal = Refusal::Changed;
        return nullptr;
    }
    return found;
}

std::optional<FolderHandle::File> InstallationFolders::fileAt(const QString &target, bool create,
                                                              Refusal *refusal, QString *error)
{
    const int cut = nameStart(target);
    std::shared_ptr<const FolderHandle> parent = folder(target.left(cut), create, refusal, error);
    if (!parent)
        return std::nullopt;
    return FolderHandle::File {parent, target.mid(cut)};
}

std::optional<FolderHandle::File> InstallationFolders::heldFileAt(const QString &target)
{
    const int cut = nameStart(target);
    if (const std::shared_ptr<const FolderHandle> parent = byPath.value(target.left(cut)))
        return FolderHandle::File {parent, target.mid(cut)};
    Refusal refusal;
    QString error;
    return fileAt(target, false, &refusal, &error);
}

std::optional<FolderHandle::File> InstallationFolders::updaterFile(const QString &path,
                                                                   Refusal *refusal, QString *error)
{
    if (path.startsWith(base))
        return fileAt(path, false, refusal, error);
    *refusal = Refusal::Failed;
    const QFileInfo file(path);
    const std::shared_ptr<const FolderHandle> folder =
        FolderHandle::openRoot(file.absolutePath(), error);
    if (!folder)
        return std::nullopt;
    return FolderHandle::File {folder, file.fileName()};
}

std::shared_ptr<const FolderHandle> InstallationFolders::open(const QString &relative, bool create,
                                                              Refusal *refusal, QString *error)
{
    if (const auto it = held.constFind(relative); it != held.constEnd())
        return *it;
    std::shared_ptr<const FolderHandle> opened;
    *refusal = Refusal::Failed;
    if (relative.isEmpty()) {
        opened = FolderHandle::openRoot(base, error);
    } else {
        const int cut = relative.lastIndexOf(QLatin1Char('/'));
        const std::shared_ptr<const FolderHandle> parent =
            open(cut < 0 ? QString() : relative.left(cut), create, refusal, error);
        if (!parent)
            return nullptr;
        bool isLink = false;
        opened = parent->openFolder(relative.mid(cut + 1), create, &isLink, error);
        if (isLink)
            *refusal = Refusal::Changed;
    }
    if (opened)
        held.insert(relative, opened);
    return opened;
}
