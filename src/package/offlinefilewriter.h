#pragma once

#include "package/offlinefile.h"
#include "package/replacingfile.h"

#include <QFile>
#include <QString>

// Writes an offline update file record by record, as a ReplacingFile: a run that makes the
// same file again leaves the old one as it is. The record count is filled in when the file is
// finished; one that is not finished is removed.
class OfflineFileWriter
{
public:
    // Starts the file under a temporary name beside `path` with identifier and year. The file
    // takes its own name only in finish(); until then the previous one stays, and a writer
    // destroyed unfinished removes what it wrote.
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
    // Writes the record count and makes the file durable, without giving it its name yet; false
    // when a write failed at any point or the data did not reach the disk.
    bool prepare();
    // Prepares the file when that is not done yet and gives it its name.
    bool finish();

    bool isOpen() const { return file.isOpen(); }
    // Where everything was written; complete once the file is finished.
    const OfflineFileLayout &layout() const { return written; }
    // The system's reason for the first failure.
    QString errorString() const { return failure.isEmpty() ? file.errorString() : failure; }

private:
    bool appendFields(const QString &hashName, qint32 groupIndex, qint32 fileIndex,
                      qint64 payloadLength, quint32 statedSize);
    bool copy(QIODevice &source, qint64 length);

    ReplacingFile file;
    QString failure;
    qint32 count = 0;
    bool prepared = false;
    OfflineFileLayout written;
};
