#include "updatedocument.h"
#include "binaryjsonreader.h"
#include "payload.h"

// The binary form is deprecated in Qt 5.15 but is the published format.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

QByteArray documentToBinary(const QJsonDocument &document)
{
    return document.toBinaryData();
}

QT_WARNING_POP

QJsonDocument documentFromBinary(const QByteArray &data)
{
    return readBinaryJson(data);
}

QJsonDocument documentFromPayload(const QByteArray &payload)
{
    if (payload.size() > documentSizeLimit || statedPayloadSize(payload) > documentSizeLimit)
        return QJsonDocument();
    return documentFromBinary(expandPayload(payload));
}
