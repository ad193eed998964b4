#include "common/serverurls.h"
#include "common/buildsettings.h"

#include <QUrl>

bool updateBaseUrl(QString *url, QString *error)
{
    *url = qEnvironmentVariable("LEDGORA_UPDATE_URL");
    if (url->isEmpty()) {
        *url = QStringLiteral(LEDGORA_UPDATE_URL);
        return true;
    }
    const QUrl parsed(*url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || parsed.host().isEmpty() || parsed.hasQuery() || parsed.hasFragment())
        *error = QStringLiteral("LEDGORA_UPDATE_URL ist keine absolute http- oder https-Adresse.");
    else if (!url->endsWith(QLatin1Char('/')))
        *error = QStringLiteral("LEDGORA_UPDATE_URL endet nicht mit \"/\".");
    else
        return true;
    return false;
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

QString shownUrl(const QString &url)
{
    return withoutPassword(url, url);
}

QString withoutPassword(const QString &text, const QString &url)
{
    const QUrl parsed(url, QUrl::TolerantMode);
    if (parsed.password().isEmpty())
        return text;
    QString shown = text;
    // The URL as given, and as the toolkit's texts quote it (decoded where that is safe).
    for (const QUrl::ComponentFormattingOptions form :
         {QUrl::PrettyDecoded, QUrl::FullyEncoded, QUrl::FullyDecoded}) {
        shown.replace(parsed.toString(form), parsed.toString(form | QUrl::RemovePassword));
    }
    shown.replace(url, parsed.toString(QUrl::FullyEncoded | QUrl::RemovePassword));
    return shown;
}
