#include "package/binaryjsonreader.h"
#include "package/updatedocument.h"

#include <cstdlib>

// Our reader on any bytes; where it accepts a document, the toolkit's validating reader must
// give the same one. The other way round cannot be asked: the toolkit would overflow its stack
// or run without end on what ours refuses for depth or shared entries.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Not copied: a read past the end is then one that AddressSanitizer sees.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    // The typed model over whatever the reader accepts: missing keys and wrong types are refused.
    QString error;
    documentFromBinary(bytes, &error);
    const QJsonDocument ours = readBinaryJson(bytes);
    if (ours.isNull())
        return 0;
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    const QJsonDocument toolkit = QJsonDocument::fromBinaryData(bytes, QJsonDocument::Validate);
    // The bits of every double count (== does not hold for NaN).
    if (toolkit.isNull() || ours.toBinaryData() != toolkit.toBinaryData())
        std::abort();
    QT_WARNING_POP
    return 0;
}
