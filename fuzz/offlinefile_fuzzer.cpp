#include "package/offlinefilereader.h"
#include "package/payload.h"
#include "package/updatedocument.h"

#include <QBuffer>

// An offline update file read as the start-up reads one: header, records, document.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    OfflineFileReader reader(&buffer);
    if (!reader.readHeader())
        return 0;
    OfflineRecord record;
    for (qint32 i = 0; i < reader.recordCount() && reader.readRecord(&record); ++i)
        expandPayload(record.payload);
    documentFromBinary(expandPayload(reader.readDocumentPayload()));
    return 0;
}
