#pragma once

#include <QByteArray>
#include <QString>

// "versioninfo.dat": four decimal numbers, UTF-8, CR LF between them and none after the last.
struct VersionRecord
{
    int releaseYear = 0;
    int productType = 0;
    int certificateFlag = -1;
    int betaFlag = -1;
};

// False when the file is missing, unreadable or has fewer than four lines (LF or CR LF);
// the record is then to be ignored as a whole. Text that is not a number reads as 0.
bool readVersionRecord(const QString &path, VersionRecord *record);
VersionRecord parseVersionRecord(const QByteArray &content, bool *valid);

QByteArray versionRecordText(const VersionRecord &record);
