#include "packagelog.h"

Q_LOGGING_CATEGORY(lcPackage, "ledgora.package")

QString reportFailure(const char *step, const QString &path, const QString &reason)
{
    qCDebug(lcPackage) << step << path << reason;
    return QString::fromUtf8(step) + QLatin1Char(' ') + path + QLatin1String(": ") + reason;
}
