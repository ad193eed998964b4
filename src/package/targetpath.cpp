#include "targetpath.h"

#include <QStringList>

QString resolveTargetPath(const QString &baseDir, const QString &targetPath)
{
    QString relative = targetPath;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // Absolute paths, network prefixes ("//srv"), drive letters ("C:") and parent folders lead
    // out of the installation.
    if (baseDir.isEmpty() || relative.isEmpty() || relative.startsWith(QLatin1Char('/'))
        || relative.contains(QLatin1Char(':'))
        || relative.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return QString();
    return baseDir + targetPath;
}
