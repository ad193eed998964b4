#include "package/offlinefilereader.h"

#include "package/offlinefile.h"
#include "package/releasestatement.h"
#include "package/updatedocument.h"

#include <QIODevice>
#include <QtEndian>

OfflineFileReader::OfflineFileReader(QIODevice *device)
    : stream(device)
{
    stream.setVersion(OfflineFile::streamVersion);
}

bool OfflineFileReader::readHeader()
{
    QString identifier;
    stream >> identifier;
    if (identifier != OfflineFile::identifier())
        return false;
    // A header cut short here shows as a stream error after the (then zero) records.
    stream >> year >> count;
    return true;
}

bool OfflineFileReader::readRecord(OfflineRecord *record)
{
    if (hasStreamError())
        return false;
    stream >> record->hashName >> record->groupIndex >> record->fileIndex >> record->payload;
    return !hasStreamError();
}

bool OfflineFileReader::skipRecord(OfflineRecordPlace *record)
{
    if (hasStreamError())
        return false;
    quint32 length = 0;
    stream >> record->hashName >> record->groupIndex >> record->fileIndex >> length;
    if (hasStreamError())
        return false;
    // The stream's mark of a null array: no payload at all.
    if (length == 0xFFFFFFFFu)
        length = 0;
    QIODevice *device = stream.device();
    record->payloadOffset = device->pos();
    record->payloadLength = length;
    char prefix[4] = {};
    if (device->size() - record->payloadOffset < qint64(length)
        || (length >= 4 && device->peek(prefix, 4) != 4)
        || !device->seek(record->payloadOffset + length)) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return false;
    }
    record->statedSize = length >= 4 ? qFromBigEndian<quint32>(prefix) : 0;
    return true;
}

QByteArray OfflineFileReader::readDocumentPayload()
{
    // A stream error before this point is reported by the caller; the document is still tried.
    stream.resetStatus();
    quint32 length = 0;
    stream >> length;
    QIODevice *device = stream.device();
    // A length beyond what a document can be, or beyond the file, is damage: nothing is taken
    // for it.
    if (hasStreamError() || length == 0xFFFFFFFFu || qint64(length) > documentSizeLimit
        || device->size() - device->pos() < qint64(length))
        return QByteArray();
    QByteArray payload(int(length), Qt::Uninitialized);
    if (stream.readRawData(payload.data(), int(length)) != int(length))
        return QByteArray();
    return payload;
}

std::optional<QByteArray> OfflineFileReader::readStatement()
{
    QIODevice *device = stream.device();
    if (hasStreamError() || device->atEnd())
        return std::nullopt;
    const QByteArray tag = OfflineFile::statementTag();
    quint32 length = 0;
    stream >> length;
    if (length != quint32(tag.size()) || device->read(tag.size()) != tag)
        return QByteArray();
    stream >> length;
    if (hasStreamError() || qint64(length) > releaseStatementLimit)
        return QByteArray();
    const QByteArray statement = device->read(length);
    return statement.size() == int(length) ? statement : QByteArray();
}
