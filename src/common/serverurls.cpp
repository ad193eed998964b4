#include "common/serverurls.h"
#include "common/buildsettings.h"

QString updateBaseUrl()
{
    QString url = qEnvironmentVariable("LEDGORA_UPDATE_URL");
    if (url.isEmpty())
        return QStringLiteral(LEDGORA_UPDATE_URL);
    // The year folder is appended directly: a staging address given without its final "/"
    // would otherwise name ".../ldg_update2026/".
    if (!url.endsWith(QLatin1Char('/')))
        url += QLatin1Char('/');
    return url;
}

QString helpPageUrl()
{
    return QStringLiteral(LEDGORA_HELP_URL);
}

QString migrateToStavinUrl()
{
    return QStringLiteral(LEDGORA_MIGRATE_TO_STAVIN_URL);
}

QString migrateFromStavinUrl()
{
    return QStringLiteral(LEDGORA_MIGRATE_FROM_STAVIN_URL);
}
