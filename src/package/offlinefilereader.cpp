#include "offlinefilereader.h"
#include "offlinefile.h"

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

QByteArray OfflineFileReader::readDocumentPayload()
{
    // A stream error before this point is reported by the caller; the document is still tried.
    stream.resetStatus();
    QByteArray payload;
    stream >> payload;
    return hasStreamError() ? QByteArray() : payload;
}
