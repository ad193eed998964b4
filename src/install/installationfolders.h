#pragma once

#include "platform/folderhandle.h"

#include <QHash>
#include <QString>

#include <memory>
#include <optional>

// The installation's folders that one run writes into, each opened once and held for the run
// (FolderHandle): from the base directory down, one name at a time, never through a link. What
// a run writes goes into these handles, so that a folder swapped for a link meanwhile cannot
// steer a write outside the installation. For the installer's thread only.
class InstallationFolders
{
public:
    explicit InstallationFolders(const QString &baseDir);

    // Why a folder could not be had: a link, or a held folder whose path leads elsewhere now,
    // stands where it goes (Changed: the target path is no longer valid), or the system refused.
    enum class Refusal { Changed, Failed };

    // The folder at a path below the base directory (the base directory itself for the empty
    // relative path), created with the folders above it when missing and `create`.
    std::shared_ptr<const FolderHandle> folder(const QString &path, bool create, Refusal *refusal,
                                               QString *error);
    // The folder a target (a full path below the base directory) goes into, and its name there.
    std::optional<FolderHandle::File> fileAt(const QString &target, bool create, Refusal *refusal,
                                             QString *error);

    // The same for work that is looked at again before it counts (files staged ahead): a folder
    // held already is taken without a look at whether it is still at its path; none is made.
    std::optional<FolderHandle::File> heldFileAt(const QString &target);
    // A file of the updater's own folder: through the held folders when that lies in the
    // installation, as it does in every mode, else in its folder opened by its path.
    std::optional<FolderHandle::File> updaterFile(const QString &path, Refusal *refusal,
                                                  QString *error);

    const QString &baseDir() const { return base; }

private:
    std::shared_ptr<const FolderHandle> open(const QString &relative, bool create, Refusal *refusal,
                                             QString *error);

    QString base;
    QHash<QString, std::shared_ptr<const FolderHandle>> held; // by path relative to the base
    // The same by the paths asked for, which spell a folder the same way file after file.
    QHash<QString, std::shared_ptr<const FolderHandle>> byPath;
};
