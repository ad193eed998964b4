#include "package/payload.h"
#include "package/deflateblocks.h"
#include "package/deflatepool.h"
#include "package/hashname.h"

#include <QtEndian>

#include <libdeflate.h>
#include <zlib.h>

namespace {

// The largest array the format uses, content or payload: below QByteArray's limit of a little
// less than 2 GiB, with room for its header.
constexpr quint64 maxArraySize = INT_MAX - 64;

DeflatePool<libdeflate_decompressor> &decompressors()
{
    static DeflatePool<libdeflate_decompressor> pool(libdeflate_alloc_decompressor,
                                                     libdeflate_free_decompressor);
    return pool;
}

} // namespace

bool fitsInPayload(qint64 size)
{
    return size >= 0 && quint64(size) <= maxArraySize
        && compressBound(uLong(size)) + 4 <= maxArraySize;
}

QByteArray compressPayload(const QByteArray &data)
{
    if (data.isEmpty())
        return QByteArray(4, '\0');
    QByteArray payload = PayloadJoiner::head(data.size());
    PayloadJoiner joiner;
    for (qint64 offset = 0; offset < data.size(); offset += payloadBlockSize) {
        const qint64 size = qMin(payloadBlockSize, data.size() - offset);
        const DeflatedBlock block =
            deflateBlock(data.constData() + offset, size, offset + size == data.size());
        joiner.add(block);
        payload += block.deflate;
    }
    return payload + joiner.tail();
}

namespace {

// Expands with libdeflate into a content of the stated size; *streamRead tells where the stream
// ended.
bool expandWhole(const QByteArray &payload, QByteArray *content, size_t *streamRead)
{
    const quint64 stated = statedPayloadSize(payload);
    if (stated == 0 || stated > maxArraySize
        || !isPlausibleExpansion(stated, quint64(payload.size()) - 4))
        return false;
    content->resize(int(stated));
    // Without a place for the expanded length, libdeflate requires exactly `stated` bytes.
    const DeflatePool<libdeflate_decompressor>::Lease decompressor(&decompressors());
    return libdeflate_zlib_decompress_ex(decompressor.get(), payload.constData() + 4,
                                         size_t(payload.size() - 4), content->data(),
                                         size_t(stated), streamRead, nullptr)
        == LIBDEFLATE_SUCCESS;
}

// Expands a payload that must end with its stream and start it with the header zlib writes for
// its full window: libdeflate accepts a smaller window's stream reaching back further, which
// zlib refuses.
bool expandExactly(const QByteArray &payload, QByteArray *content)
{
    constexpr char deflateFullWindow = 0x78;
    size_t streamRead = 0;
    return payload.size() > 4 && payload.at(4) == deflateFullWindow
        && expandWhole(payload, content, &streamRead) && streamRead == size_t(payload.size() - 4);
}

} // namespace

bool payloadExpandsTo(const QByteArray &payload, const QByteArray &content)
{
    // The empty content has one payload: a stated size of 0 says nothing about what follows.
    if (content.isEmpty())
        return payload == compressPayload(content);
    QByteArray expanded;
    return statedPayloadSize(payload) == quint32(content.size())
        && expandExactly(payload, &expanded) && expanded == content;
}

bool payloadHolds(const QByteArray &payload, qint64 size, const QString &hashName)
{
    QByteArray expanded;
    return size > 0 && statedPayloadSize(payload) == quint64(size)
        && expandExactly(payload, &expanded) && ::hashName(expanded) == hashName;
}

bool expandWholePayload(const QByteArray &payload, QByteArray *content)
{
    // Bytes after the stream's end are left unread, as zlib's stream leaves them.
    size_t streamRead = 0;
    return expandWhole(payload, content, &streamRead);
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
    if (!isPlausibleExpansion(stated, streamLength) || stated > maxArraySize)
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
    // Sizes beyond the format's come from a hostile document; they get the format's bound.
    const qint64 size = qBound<qint64>(0, contentSize, qint64(maxArraySize));
    // zlib's compressBound, in 64 bits.
    return 4 + size + (size >> 12) + (size >> 14) + (size >> 25) + 13;
}

bool isPlausibleExpansion(quint64 stated, quint64 streamLength)
{
    constexpr quint64 maxDeflateRatio = 1032;
    constexpr quint64 slack = 1024;
    return stated <= streamLength * maxDeflateRatio + slack;
}
