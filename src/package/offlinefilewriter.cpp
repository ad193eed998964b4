#include "package/offlinefilewriter.h"
#include "package/durablefile.h"
#include "package/offlinefile.h"
#include "package/payload.h"

#include <QCoreApplication>
#include <QDataStream>

namespace {

// The fields as the offline update file's data stream encodes them. They are encoded apart from
// the file and written with writeAll, which gives the system's reason when the disk runs full.
template<typename... Fields>
QByteArray encoded(const Fields &...fields)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(OfflineFile::streamVersion);
    (stream << ... << fields);
    return bytes;
}

} // namespace

bool OfflineFileWriter::open(const QString &path, qint32 releaseYear)
{
    count = 0;
    written = OfflineFileLayout();
    written.releaseYear = releaseYear;
    return file.open(path) && file.write(encoded(OfflineFile::identifier(), releaseYear))
        && file.reserve(sizeof(count));
}

bool OfflineFileWriter::appendRecord(const QString &hashName, qint32 groupIndex, qint32 fileIndex,
                                     const QByteArray &payload)
{
    // A payload is never null (it holds at least its length field), so the stream's form of it
    // is its size as quint32 followed by its bytes; written apart, a large payload is not copied.
    return appendFields(hashName, groupIndex, fileIndex, payload.size(), statedPayloadSize(payload))
        && file.write(payload);
}

bool OfflineFileWriter::appendRecord(const QString &hashName, qint32 groupIndex, qint32 fileIndex,
                                     QIODevice &payload, qint64 length)
{
    char prefix[4] = {};
    const quint32 stated = length >= 4 && payload.peek(prefix, 4) == 4
        ? statedPayloadSize(QByteArray::fromRawData(prefix, 4))
        : 0;
    return appendFields(hashName, groupIndex, fileIndex, length, stated) && copy(payload, length);
}

bool OfflineFileWriter::appendFields(const QString &hashName, qint32 groupIndex, qint32 fileIndex,
                                     qint64 payloadLength, quint32 statedSize)
{
    const QByteArray fields = encoded(hashName, groupIndex, fileIndex, quint32(payloadLength));
    OfflineEntry entry;
    entry.size = statedSize;
    entry.groupIndex = groupIndex;
    entry.fileIndex = fileIndex;
    entry.sourceOffset = file.pos() + fields.size();
    entry.sourceLength = payloadLength;
    written.records.insert(hashName, entry);
    ++count;
    return file.write(fields);
}

bool OfflineFileWriter::copy(QIODevice &source, qint64 length)
{
    QByteArray block(int(qMin<qint64>(length, 1 << 20)), Qt::Uninitialized);
    for (qint64 left = length; left > 0;) {
        const qint64 read = source.read(block.data(), qMin<qint64>(block.size(), left));
        if (read <= 0) {
            failure = read < 0
                ? source.errorString()
                : QCoreApplication::translate("MainWindow", "Die Datei endet vorzeitig.");
            return false;
        }
        if (!file.write(QByteArray::fromRawData(block.constData(), int(read))))
            return false;
        left -= read;
    }
    return true;
}

bool OfflineFileWriter::appendDocument(const QByteArray &payload)
{
    written.documentOffset = file.pos();
    return file.write(encoded(payload));
}

bool OfflineFileWriter::appendStatement(const QByteArray &statement)
{
    return file.write(encoded(OfflineFile::statementTag()) + encoded(statement));
}

bool OfflineFileWriter::prepare()
{
    prepared = failure.isEmpty() && file.fill(encoded(count)) && file.prepare();
    written.fileSize = file.pos();
    return prepared;
}

bool OfflineFileWriter::finish()
{
    return (prepared || prepare()) && file.commit();
}
