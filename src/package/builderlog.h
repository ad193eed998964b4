#pragma once

#include <QByteArray>
#include <QString>

// One line of "log.txt" for a file record: "<targetpath>--><hash>.bin (<group>,<file>)" + CR LF.
QByteArray builderLogLine(const QString &targetPath, const QString &hashName, int groupIndex,
                          int fileIndex);
