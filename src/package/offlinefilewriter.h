#pragma once

#include "package/durablefile.h"

#include <QFile>
#include <QString>

// Writes an offline update file record by record. The record count in the file is brought up
// to date after every record, so a run that stops midway leaves a file that states exactly the
// complete records it holds.
class OfflineFileWriter
{
public:
    // Starts the file under a temporary name beside `path` and writes identifier, year and a
    // record count of 0. The file takes its own name only in finish(); until then the previous
    // one stays, and a writer destroyed unfinished removes what it wrote.
    bool open(const QString &path, qint32 releaseYear);
    bool appendRecord(const QString &hashName, qint32 groupIndex, qint32 fileIndex,
                      const QByteArray &payload);
    // The same record with a payload of `length` bytes read from `payload`'s position, copied
    // in blocks: a large file's payload is never held whole.
    bool appendRecord(const QString &hashName, qint32 groupIndex, qint32 fileIndex,
                      QIODevice &payload, qint64 length);
    bool appendDocument(const QByteArray &payload);
    // The release's signed statement, after the document.
    bool appendStatement(const QByteArray &statement);
    // Syncs to the disk, closes and gives the file its name; false when a write failed at any
    // point or the data did not reach the disk.
    bool finish();

    bool isOpen() const { return part.isOpen(); }
    // The system's reason for the first failure.
    QString errorString() const { return failure; }

private:
    bool countRecord();
    bool copy(QIODevice &source, qint64 length);
    bool write(const QByteArray &bytes);
    bool seek(qint64 position);

    PartFile part;
    QString failure;
    qint64 countPosition = 0;
    qint32 count = 0;
};
