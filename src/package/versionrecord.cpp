#include "package/versionrecord.h"

#include "platform/platform.h"

#include <QFile>
#include <QStringList>

bool readVersionRecord(const QString &path, VersionRecord *record)
{
    QFile file;
    QString ignored;
    // Whoever can write the installation could leave a pipe there, which would hold the start.
    if (openRegularFile(&file, path, true, &ignored) != RegularFileOpen::Opened)
        return false;
    bool valid = false;
    const VersionRecord read = parseVersionRecord(file.readAll(), &valid);
    if (valid)
        *record = read;
    return valid;
}

VersionRecord parseVersionRecord(const QByteArray &content, bool *valid)
{
    QString text = QString::fromUtf8(content);
    text.remove(QLatin1Char('\r'));
    const QStringList lines = text.split(QLatin1Char('\n'));
    VersionRecord record;
    *valid = lines.size() >= 4;
    if (*valid) {
        record.releaseYear = lines.at(0).toInt();
        record.productType = lines.at(1).toInt();
        record.certificateFlag = lines.at(2).toInt();
        record.betaFlag = lines.at(3).toInt();
    }
    return record;
}

QByteArray versionRecordText(const VersionRecord &record)
{
    return QStringLiteral("%1\r\n%2\r\n%3\r\n%4")
        .arg(record.releaseYear)
        .arg(record.productType)
        .arg(record.certificateFlag)
        .arg(record.betaFlag)
        .toUtf8();
}
