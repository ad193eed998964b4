#include "app/programinformation.h"

#include "common/buildsettings.h"

#include <QCryptographicHash>
#include <QStringList>

#include <cstring>

QString releaseKeyFingerprint(const QByteArray &publicKey)
{
    const QByteArray digest = QCryptographicHash::hash(publicKey, QCryptographicHash::Sha256);
    return QLatin1String("SHA256:")
        + QString::fromLatin1(digest.toBase64(QByteArray::OmitTrailingEquals));
}

QString versionText(const QVector<QByteArray> &releaseKeys)
{
    QStringList lines {QStringLiteral("lg_updater " LEDGORA_VERSION)};
    for (const QByteArray &key : releaseKeys)
        lines.append(QStringLiteral("Release-Schlüssel: ") + releaseKeyFingerprint(key));
    if (releaseKeys.isEmpty())
        lines.append(QStringLiteral("Release-Schlüssel: unsigned"));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool asksForInformation(int argc, char *argv[], bool *help)
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        const bool asksHelp = std::strcmp(argument, "--help") == 0
            || std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "-?") == 0;
        if (asksHelp || std::strcmp(argument, "--version") == 0
            || std::strcmp(argument, "-v") == 0) {
            *help = asksHelp;
            return true;
        }
    }
    return false;
}
