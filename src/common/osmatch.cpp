#include "common/osmatch.h"

#include "platform/platform.h"

#include <QStringList>

namespace {

QStringList osKeys(const QString &osText)
{
    return osText.split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

} // namespace

bool osTextMatches(const QString &osText, const QString &osOverride, int windowsVersion)
{
    const QStringList keys = osKeys(osText);
    if (keys.isEmpty())
        return true;
    for (const QString &key : keys) {
        if (!osOverride.isEmpty()) {
            if (osOverride.startsWith(key, Qt::CaseInsensitive))
                return true;
        } else if (osKeyMatches(key, nullptr, windowsVersion)) {
            return true;
        }
    }
    return false;
}

bool namesSingleSpecificOs(const QString &osText)
{
    const QStringList keys = osKeys(osText);
    bool generic = false;
    if (keys.size() != 1)
        return false;
    osKeyMatches(keys.first(), &generic, 0);
    return !generic;
}
