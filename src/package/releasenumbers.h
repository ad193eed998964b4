#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// The newest signed release installed from each year, kept by the updater in its own folder, so
// that an older release, however well signed, is not installed over a newer one, and no second
// document signed with an installed number is taken for it. One "<year> <number> <document
// hash>" line per year, years ascending; records written before the hash was kept have lines
// "<year> <number>", which bind no document.
struct InstalledRelease
{
    quint64 number = 0;
    QString documentHash; // empty: recorded without one

    friend bool operator==(const InstalledRelease &a, const InstalledRelease &b)
    {
        return a.number == b.number && a.documentHash == b.documentHash;
    }
};
using ReleaseNumbers = QMap<int, InstalledRelease>;

// Reads the record. A file that does not exist is no record yet (the first signed update). One
// that exists but is not a regular file (a folder, a link, a pipe), cannot be read, or holds
// anything but the lines above is refused with the reason in *error: the record only ever
// refuses releases, so one that cannot be read must not let every release through.
bool readReleaseNumbers(const QString &path, ReleaseNumbers *numbers, QString *error);
QByteArray releaseNumbersText(const ReleaseNumbers &numbers);
// The record's text, read whole or refused: *numbers then holds what was read up to the line
// that *error names.
bool parseReleaseNumbers(const QByteArray &text, ReleaseNumbers *numbers, QString *error);

// The record after a release of `year` was installed: a higher number (or the first of its
// year) takes the year's line; the same number keeps its line and gains the hash it lacked; a
// lower one, installed on purpose, leaves the mark where it was.
ReleaseNumbers withInstalledRelease(ReleaseNumbers numbers, int year,
                                    const InstalledRelease &release);
