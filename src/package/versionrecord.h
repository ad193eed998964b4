#pragma once

#include <QByteArray>
#include <QString>

// "versioninfo.dat": four decimal numbers, UTF-8, CR LF between them and none after the last.
struct VersionRecord
{
    int releaseYear = 0;
    int productType = 0;
    // A flag of a missing record. The installer writes 0 or 1; any other number is kept as read,
    // and the window's rules decide (certificate: not 1; beta: set, but not locked).
    static constexpr int flagAbsent = -1;

    int certificateFlag = flagAbsent;
    int betaFlag = flagAbsent;
};

// False when the file is missing, unreadable or has fewer than four lines (LF or CR LF);
// the record is then to be ignored as a whole. Text that is not a number reads as 0.
bool readVersionRecord(const QString &path, VersionRecord *record);
VersionRecord parseVersionRecord(const QByteArray &content, bool *valid);

QByteArray versionRecordText(const VersionRecord &record);
