#include "install/stagingleftovers.h"

#include "common/installationlayout.h"
#include "common/logcategories.h"

#include <QDirIterator>
#include <QFile>

int removeStagingLeftovers(const QString &baseDir)
{
    if (baseDir.isEmpty())
        return 0;
    int removed = 0;
    QDirIterator it(baseDir, {QLatin1Char('*') + InstallationLayout::stagingSuffix},
                    QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (QFile::remove(path)) {
            ++removed;
            qCDebug(lcCheck).noquote() << "staging leftover removed:" << path;
        } else {
            qCWarning(lcCheck).noquote() << "staging leftover stays:" << path;
        }
    }
    return removed;
}
