#pragma once

#include <QDataStream>
#include <QString>

#include <optional>

class QIODevice;

struct OfflineRecord
{
    QString hashName;
    qint32 groupIndex = 0;
    qint32 fileIndex = 0;
    QByteArray payload; // compressed
};

// Where a record's payload lies in the file, for reading it when it is needed.
struct OfflineRecordPlace
{
    QString hashName;
    qint32 groupIndex = 0;
    qint32 fileIndex = 0;
    qint64 payloadOffset = 0; // of the compressed payload, after its length field
    qint64 payloadLength = 0;
    quint32 statedSize = 0; // the expanded length the payload states
};

// Reads an offline update file from an open device, record by record.
class OfflineFileReader
{
public:
    explicit OfflineFileReader(QIODevice *device);

    // Reads identifier, release year and record count; false when the identifier differs
    // (letter case included).
    bool readHeader();
    qint32 releaseYear() const { return year; }
    qint32 recordCount() const { return count; }

    // False once the stream fails (premature end, damaged lengths): a damaged record count
    // then cannot make the caller read on or allocate without bound.
    bool readRecord(OfflineRecord *record);
    // Reads a record but leaves its payload in the file, noting where it lies: a release of
    // gigabytes is not copied before anything is asked of it. False like readRecord, and when
    // the payload would reach past the end of the file.
    bool skipRecord(OfflineRecordPlace *record);
    bool hasStreamError() const { return stream.status() != QDataStream::Ok; }
    // The document's compressed payload; empty when absent, cut short or larger than a
    // document can be.
    QByteArray readDocumentPayload();
    // After the document: the release's statement. Nothing when the file ends there; empty when
    // something else follows, or a statement cut short or too large to be one.
    std::optional<QByteArray> readStatement();

private:
    QDataStream stream;
    qint32 year = 0;
    qint32 count = 0;
};
