#include "package/offlinefilewriter.h"
#include "package/durablefile.h"
#include "package/offlinefile.h"

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
    if (!part.open(path, &failure))
        return false;
    count = 0;
    if (!write(encoded(OfflineFile::identifier(), releaseYear)))
        return false;
    countPosition = part.file().pos();
    return write(encoded(count));
}

bool OfflineFileWriter::appendRecord(const QString &hashName, qint32 groupIndex, qint32 fileIndex,
                                     const QByteArray &payload)
{
    // A payload is never null (it holds at least its length field), so the stream's form of it
    // is its size as quint32 followed by its bytes; written apart, a large payload is not copied.
    return write(encoded(hashName, groupIndex, fileIndex, quint32(payload.size())))
        && write(payload) && countRecord();
}

bool OfflineFileWriter::appendRecord(const QString &hashName, qint32 groupIndex, qint32 fileIndex,
                                     QIODevice &payload, qint64 length)
{
    return write(encoded(hashName, groupIndex, fileIndex, quint32(length))) && copy(payload, length)
        && countRecord();
}

bool OfflineFileWriter::countRecord()
{
    ++count;
    const qint64 end = part.file().pos();
    return seek(countPosition) && write(encoded(count)) && seek(end);
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
        if (!write(QByteArray::fromRawData(block.constData(), int(read))))
            return false;
        left -= read;
    }
    return true;
}

bool OfflineFileWriter::appendDocument(const QByteArray &payload)
{
    return write(encoded(payload));
}

bool OfflineFileWriter::appendStatement(const QByteArray &statement)
{
    return write(encoded(OfflineFile::statementTag()) + encoded(statement));
}

bool OfflineFileWriter::finish()
{
    return failure.isEmpty() && part.commit(&failure);
}

bool OfflineFileWriter::write(const QByteArray &bytes)
{
    return failure.isEmpty() && writeAll(part.file(), bytes, &failure);
}

bool OfflineFileWriter::seek(qint64 position)
{
    if (part.file().seek(position))
        return true;
    failure = part.file().errorString();
    return false;
}
