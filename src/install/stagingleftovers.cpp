#include "install/stagingleftovers.h"

#include "common/installationlayout.h"
#include "common/logcategories.h"
#include "package/targetpath.h"
#include "package/updatedocument.h"
#include "platform/platform.h"

#include <QFile>

int removeStagingLeftovers(const QString &baseDir, const UpdateDocument &document)
{
    int removed = 0;
    CheckedFolders checked;
    for (const UpdateGroup &group : document.groups) {
        for (const FileEntry &entry : group.files) {
            if (entry.isDir)
                continue;
            const std::optional<QString> target =
                resolveTargetPath(baseDir, entry.targetPath, QString(), &checked);
            if (!target)
                continue;
            const QString staging = *target + InstallationLayout::stagingSuffix;
            if (checkForLink(staging) == LinkCheck::Missing)
                continue;
            if (QFile::remove(staging)) {
                ++removed;
                qCDebug(lcCheck).noquote() << "staging leftover removed:" << staging;
            } else {
                qCWarning(lcCheck).noquote() << "staging leftover stays:" << staging;
            }
        }
    }
    return removed;
}
