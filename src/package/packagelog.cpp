#include "package/packagelog.h"

QString reportFailure(const char *step, const QString &path, const QString &reason)
{
    qCDebug(lcPackage) << step << path << reason;
    return QString::fromUtf8(step) + QLatin1Char(' ') + path + QLatin1String(": ") + reason;
}
