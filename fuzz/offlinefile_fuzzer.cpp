#include "package/offlinefilereader.h"
#include "package/payload.h"
#include "package/payloadstream.h"
#include "package/updatedocument.h"

#include <QBuffer>

namespace {

// Takes whatever is written and keeps none of it: a payload may state gigabytes.
class Discard : public QIODevice
{
public:
    Discard() { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 length) override { return length; }
};

} // namespace

// An offline update file read as the start-up and the update check read one: header, record
// places, document, then each payload expanded from its place.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    OfflineFileReader reader(&buffer);
    if (!reader.readHeader())
        return 0;
    QList<OfflineRecordPlace> places;
    OfflineRecordPlace place;
    for (qint32 i = 0; i < reader.recordCount() && reader.skipRecord(&place); ++i)
        places.append(place);
    QString error;
    documentFromPayload(reader.readDocumentPayload(), &error);
    for (const OfflineRecordPlace &record : qAsConst(places)) {
        Discard out;
        if (buffer.seek(record.payloadOffset))
            expandPayloadInto(buffer, record.payloadLength, out);
    }
    return 0;
}
