#include "package/payload.h"
#include "package/deflateblocks.h"
#include "package/deflatepool.h"
#include "package/hashname.h"

#include <QtEndian>

#include <cstring>
#include <libdeflate.h>
#include <zlib.h>

namespace {

// The largest array the format uses, content or payload: below QByteArray's limit of a little
// less than 2 GiB, with room for its header.
constexpr quint64 maxArraySize = INT_MAX - 64;

// A decompressor with the buffer it expands into, kept for the next payload: a fresh buffer
// for every payload costs more in new pages, which the system must map and clear, than the
// expansion itself.
struct Expander
{
    libdeflate_decompressor *decompressor = nullptr;
    QByteArray buffer;
};

Expander *makeExpander()
{
    libdeflate_decompressor *decompressor = libdeflate_alloc_decompressor();
    return decompressor ? new Expander {decompressor, QByteArray()} : nullptr;
}

void freeExpander(Expander *expander)
{
    libdeflate_free_decompressor(expander->decompressor);
    delete expander;
}

DeflatePool<Expander> &expanders()
{
    static DeflatePool<Expander> pool(makeExpander, freeExpander);
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

// Expands with libdeflate and hands the content to `use` while it lies in the lent buffer;
// *streamRead tells where the stream ended.
bool expandWhole(const QByteArray &payload, size_t *streamRead, const ExpandedUse &use)
{
    const quint64 stated = statedPayloadSize(payload);
    if (stated == 0 || stated > maxArraySize
        || !isPlausibleExpansion(stated, quint64(payload.size()) - 4))
        return false;
    const DeflatePool<Expander>::Lease expander(&expanders());
    QByteArray &buffer = expander.get()->buffer;
    // Room for the largest payload expanded whole at once: growing a step at a time would move
    // the buffer to fresh pages at every step.
    if (quint64(buffer.capacity()) < stated)
        buffer.reserve(int(qMax<quint64>(stated, wholeExpansionLimit)));
    buffer.resize(int(stated));
    // Without a place for the expanded length, libdeflate requires exactly `stated` bytes.
    return libdeflate_zlib_decompress_ex(expander.get()->decompressor, payload.constData() + 4,
                                         size_t(payload.size() - 4), buffer.data(), size_t(stated),
                                         streamRead, nullptr)
        == LIBDEFLATE_SUCCESS
        && use(buffer.constData(), qint64(stated));
}

// Expands a payload that must end with its stream and start it with the header zlib writes for
// its full window: libdeflate accepts a smaller window's stream reaching back further, which
// zlib refuses.
bool expandExactly(const QByteArray &payload, const ExpandedUse &use)
{
    constexpr char deflateFullWindow = 0x78;
    size_t streamRead = 0;
    return payload.size() > 4 && payload.at(4) == deflateFullWindow
        && expandWhole(payload, &streamRead, use) && streamRead == size_t(payload.size() - 4);
}

} // namespace

bool payloadExpandsTo(const QByteArray &payload, const QByteArray &content)
{
    // The empty content has one payload: a stated size of 0 says nothing about what follows.
    if (content.isEmpty())
        return payload == compressPayload(content);
    return statedPayloadSize(payload) == quint32(content.size())
        && expandExactly(payload, [&content](const char *data, qint64 size) {
               return size == content.size() && std::memcmp(data, content.constData(), size) == 0;
           });
}

bool payloadHolds(const QByteArray &payload, qint64 size, const QString &hashName)
{
    return size > 0 && statedPayloadSize(payload) == quint64(size)
        && expandExactly(payload, [&hashName](const char *data, qint64 size) {
               return ::hashName(QByteArray::fromRawData(data, int(size))) == hashName;
           });
}

bool expandWholePayload(const QByteArray &payload, const ExpandedUse &use)
{
    // Bytes after the stream's end are left unread, as zlib's stream leaves them.
    size_t streamRead = 0;
    return expandWhole(payload, &streamRead, use);
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
