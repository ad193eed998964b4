#include "serverurls.h"
#include "buildsettings.h"

QString updateBaseUrl()
{
    const QString fromEnvironment = qEnvironmentVariable("LEDGORA_UPDATE_URL");
    return fromEnvironment.isEmpty() ? QStringLiteral(LEDGORA_UPDATE_URL) : fromEnvironment;
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
