#include "targetpath.h"

#include "platform/platform.h"

#include <QDir>
#include <QStringList>

QString resolveTargetPath(const QString &baseDir, const QString &targetPath)
{
    QString relative = targetPath;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (relative.isEmpty() || relative.startsWith(QLatin1Char('/'))
        || relative.contains(QLatin1Char(':')))
        return QString();
    const QStringList parts = relative.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part == QLatin1String(".."))
            return QString();
    }
    const QString full = baseDir + targetPath;
    // The cleaned path must still lie below the base directory.
    const QString cleanBase = QDir::cleanPath(baseDir) + QLatin1Char('/');
    if (baseDir.isEmpty() || !QDir::cleanPath(baseDir + relative).startsWith(cleanBase))
        return QString();
    return full;
}
