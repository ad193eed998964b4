#include "package/builderlog.h"

QByteArray builderLogLine(const QString &targetPath, const QString &hashName, int groupIndex,
                          int fileIndex)
{
    // One multi-argument substitution: a "%3" inside a file name must stay text.
    return QStringLiteral("%1-->%2.bin (%3,%4)\r\n")
        .arg(targetPath, hashName, QString::number(groupIndex), QString::number(fileIndex))
        .toUtf8();
}
