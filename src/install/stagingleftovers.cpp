#include "install/stagingleftovers.h"

#include "common/logcategories.h"
#include "install/installationfolders.h"
#include "install/stagedwrite.h"
#include "package/targetpath.h"
#include "package/updatedocument.h"

int removeStagingLeftovers(const QString &baseDir, const UpdateDocument &document)
{
    int removed = 0;
    CheckedFolders checked;
    InstallationFolders folders(baseDir);
    for (const UpdateGroup &group : document.groups) {
        for (const FileEntry &entry : group.files) {
            if (entry.isDir)
                continue;
            const std::optional<QString> target =
                resolveTargetPath(baseDir, entry.targetPath, QString(), &checked);
            InstallationFolders::Refusal refusal;
            QString error;
            const std::optional<FolderHandle::File> place =
                target ? folders.fileAt(*target, false, &refusal, &error) : std::nullopt;
            if (!place)
                continue;
            const QString staging = StagedWrite::stagingName(place->name);
            const FolderHandle::Entry found = place->folder->entryAt(staging);
            if (found == FolderHandle::Entry::Missing || found == FolderHandle::Entry::Folder)
                continue;
            if (place->folder->removeFile(staging, &error)) {
                ++removed;
                qCDebug(lcCheck).noquote()
                    << "staging leftover removed:" << place->folder->pathOf(staging);
            } else {
                qCWarning(lcCheck).noquote()
                    << "staging leftover stays:" << place->folder->pathOf(staging) << error;
            }
        }
    }
    return removed;
}
