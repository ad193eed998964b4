#include "package/pathcontainment.h"

#include <QFileInfo>
#include <QStringList>

bool liesIn(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(joinedPath(folder, QString()));
}

QString joinedPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString resolvedPath(const QString &path)
{
    QString existing = QFileInfo(path).absoluteFilePath();
    QStringList missing;
    while (!QFileInfo::exists(existing)) {
        const QFileInfo info(existing);
        // A root that does not exist, such as a drive letter without a drive: nothing to resolve.
        if (info.path() == existing)
            return QFileInfo(path).absoluteFilePath();
        missing.prepend(info.fileName());
        existing = info.path();
    }
    QString resolved = QFileInfo(existing).canonicalFilePath();
    for (const QString &name : qAsConst(missing))
        resolved = joinedPath(resolved, name);
    return resolved;
}
