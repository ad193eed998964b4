#include "package/payloadstream.h"

#include "package/durablefile.h"
#include "package/hashname.h"
#include "package/payload.h"

#include <QIODevice>

#include <zlib.h>

namespace {

constexpr int blockSize = 1 << 20;

struct Inflater
{
    z_stream stream = {};
    bool ready = inflateInit(&stream) == Z_OK;
    ~Inflater() { inflateEnd(&stream); }
};

ExpandedPayload damaged()
{
    ExpandedPayload result;
    result.hashName = hashName(QByteArray());
    return result;
}

// Expands the payload in blocks, hashing the content and handing each block to `take`, which
// may refuse it with result->error set (a write that failed).
template<typename Take>
ExpandedPayload expandBlocks(QIODevice &in, qint64 length, Take take)
{
    char prefix[4];
    if (length < 4 || in.read(prefix, 4) != 4)
        return damaged();
    const quint64 stated = statedPayloadSize(QByteArray::fromRawData(prefix, 4));
    quint64 streamLeft = quint64(length) - 4;
    if (stated == 0 || !isPlausibleExpansion(stated, streamLeft)) {
        // A stated size of 0 is the empty content, whatever follows.
        ExpandedPayload result = damaged();
        result.status = stated == 0 ? ExpandedPayload::Expanded : ExpandedPayload::Damaged;
        return result;
    }
    Inflater inflater;
    // Most payloads are small: buffers of their own size spare the allocator a fresh mapping
    // of two blocks for each of thousands of files.
    QByteArray input(int(qMin<quint64>(blockSize, qMax<quint64>(1, streamLeft))),
                     Qt::Uninitialized);
    QByteArray output(int(qMin<quint64>(blockSize, stated)), Qt::Uninitialized);
    HashNameStream hash;
    ExpandedPayload result;
    int status = Z_OK;
    while (inflater.ready && status != Z_STREAM_END) {
        if (inflater.stream.avail_in == 0) {
            const qint64 read =
                in.read(input.data(), qint64(qMin<quint64>(input.size(), streamLeft)));
            if (read <= 0)
                return damaged();
            streamLeft -= quint64(read);
            inflater.stream.next_in = reinterpret_cast<Bytef *>(input.data());
            inflater.stream.avail_in = uInt(read);
        }
        inflater.stream.next_out = reinterpret_cast<Bytef *>(output.data());
        inflater.stream.avail_out = uInt(output.size());
        status = inflate(&inflater.stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END)
            return damaged();
        const qint64 produced = output.size() - qint64(inflater.stream.avail_out);
        // More than stated is damage: stop before writing it rather than after.
        if (quint64(result.size + produced) > stated)
            return damaged();
        hash.add(output.constData(), produced);
        if (!take(QByteArray::fromRawData(output.constData(), int(produced)), &result.error)) {
            result.status = ExpandedPayload::WriteFailed;
            return result;
        }
        result.size += produced;
    }
    if (!inflater.ready || quint64(result.size) != stated)
        return damaged();
    result.status = ExpandedPayload::Expanded;
    result.unread = qint64(streamLeft) + inflater.stream.avail_in;
    result.hashName = hash.finish();
    return result;
}

ExpandedPayload expandWholeInto(QIODevice &in, qint64 length, QIODevice &out)
{
    const QByteArray payload = in.read(length);
    ExpandedPayload result;
    bool written = true;
    const bool expanded =
        payload.size() == length && expandWholePayload(payload, [&](const char *data, qint64 size) {
            written = writeAll(out, QByteArray::fromRawData(data, int(size)), &result.error);
            if (!written)
                return false;
            result.hashName = hashName(QByteArray::fromRawData(data, int(size)));
            result.size = size;
            return true;
        });
    if (!written) {
        result.status = ExpandedPayload::WriteFailed;
        return result;
    }
    if (!expanded)
        return damaged();
    result.status = ExpandedPayload::Expanded;
    return result;
}

} // namespace

ExpandedPayload expandPayloadInto(QIODevice &in, qint64 length, QIODevice &out)
{
    char prefix[4];
    if (length > 4 && length <= wholeExpansionLimit && in.peek(prefix, 4) == 4) {
        const quint32 stated = statedPayloadSize(QByteArray::fromRawData(prefix, 4));
        if (stated > 0 && stated <= wholeExpansionLimit)
            return expandWholeInto(in, length, out);
    }
    return expandBlocks(in, length, [&out](const QByteArray &block, QString *error) {
        return writeAll(out, block, error);
    });
}

ExpandedPayload inspectPayload(QIODevice &in, qint64 length)
{
    return expandBlocks(in, length, [](const QByteArray &, QString *) { return true; });
}
