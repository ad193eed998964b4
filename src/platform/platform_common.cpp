#include "platform/platform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

namespace {

struct OsKey
{
    int windowsVersion;
    const char *key;
};

// QSysInfo::WinVersion values; spelled out so that the table exists on every system.
constexpr OsKey osKeys[] = {
    {0x30, "windows_xp"}, {0x40, "windows_2003"}, {0x80, "windows_vista"}, {0x90, "windows_7"},
    {0xA0, "windows_8"},  {0xB0, "windows_8_1"},  {0xC0, "windows_10"},
};

// Stands in for a backslash pair while single backslashes are turned; the characters below
// U+0020 cannot appear in a Windows path, so the marker never collides with one.
const QString &backslashPairMarker()
{
    static const QString marker = QStringLiteral("\x01\x02pair-of-backslash\x02\x01");
    return marker;
}

} // namespace

bool osKeyMatches(const QString &key, bool *isGeneric, int windowsVersion)
{
    if (isGeneric)
        *isGeneric = false;
    const QString trimmed = key.trimmed();
    if (trimmed.compare(QLatin1String("windows"), Qt::CaseInsensitive) == 0) {
        if (isGeneric)
            *isGeneric = true;
        return true;
    }
    for (const OsKey &entry : osKeys) {
        if (entry.windowsVersion == windowsVersion)
            return trimmed.compare(QLatin1String(entry.key), Qt::CaseInsensitive) == 0;
    }
    return false;
}

void normalizeSeparators(QString &path)
{
    const QString pair = QStringLiteral("\\\\");
    path.replace(pair, backslashPairMarker());
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    path.replace(backslashPairMarker(), pair);
}

void normalizeDirPath(QString &path)
{
    normalizeSeparators(path);
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
}

QString applicationBaseDir(const QString &executableDir, int mode)
{
    QString path = executableDir;
    normalizeDirPath(path);
    path += QLatin1String("../");
    if (mode == 3)
        path += QLatin1String("../");
    path = QFileInfo(path).canonicalFilePath();
    normalizeDirPath(path);
    return path;
}

qint64 toFileTime(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return 0;
    static const QDateTime epoch(QDate(1601, 1, 1), QTime(0, 0), Qt::UTC);
    return epoch.msecsTo(dateTime) * 10000;
}

QString notRegularFileText(bool link)
{
    return link ? QStringLiteral("Die Datei ist eine Verknüpfung.")
                : QStringLiteral("Das ist keine gewöhnliche Datei.");
}

bool isLink(const QString &path)
{
    return checkForLink(path) == LinkCheck::Link;
}
