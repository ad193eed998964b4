#include "payload.h"

#include <QtEndian>

#include <zlib.h>

namespace {

// zlib's deflate never expands more than about 1032 times: larger claims are damage (or an
// attempt to make the reader allocate gigabytes for a few bytes).
constexpr quint64 maxDeflateRatio = 1032;
constexpr quint64 slack = 1024;

} // namespace

QByteArray compressPayload(const QByteArray &data)
{
    return qCompress(data, 9);
}

quint32 statedPayloadSize(const QByteArray &payload)
{
    if (payload.size() < 4)
        return 0;
    return qFromBigEndian<quint32>(payload.constData());
}

QByteArray expandPayload(const QByteArray &payload)
{
    if (payload.size() < 4)
        return QByteArray();
    const quint64 stated = statedPayloadSize(payload);
    if (stated == 0)
        return QByteArray();
    const quint64 streamLength = quint64(payload.size()) - 4;
    if (stated > streamLength * maxDeflateRatio + slack || stated > quint64(INT_MAX - 64))
        return QByteArray();

    QByteArray expanded(int(stated), Qt::Uninitialized);
    uLongf length = uLongf(stated);
    const int result =
        uncompress(reinterpret_cast<Bytef *>(expanded.data()), &length,
                   reinterpret_cast<const Bytef *>(payload.constData() + 4), uLong(streamLength));
    if (result != Z_OK || length != stated)
        return QByteArray();
    return expanded;
}

qint64 payloadSizeLimit(qint64 contentSize)
{
    const qint64 size = qMax<qint64>(0, contentSize);
    // zlib's compressBound, in 64 bits.
    return 4 + size + (size >> 12) + (size >> 14) + (size >> 25) + 13;
}
