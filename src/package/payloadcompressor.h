#pragma once

#include "package/deflateblocks.h"

#include <QFuture>
#include <QString>

#include <deque>

class QIODevice;

// Writes the payload of a content that arrives block by block: each block is compressed on the
// thread pool while the next ones are read, and written in order once done. Only a few blocks
// are in flight, so memory stays bounded whatever the content's size. The bytes are those of
// compressPayload for the same content.
class PayloadCompressor
{
public:
    PayloadCompressor(QIODevice &out, qint64 contentSize);
    ~PayloadCompressor();
    PayloadCompressor(const PayloadCompressor &) = delete;
    PayloadCompressor &operator=(const PayloadCompressor &) = delete;

    // The content's next block: payloadBlockSize bytes, fewer only for the last one. False when
    // the device failed to take a finished block.
    bool add(const QByteArray &block);
    // Writes the blocks still in flight and the checksum; false when the device failed at any
    // point, with its reason in errorString().
    bool finish();
    QString errorString() const { return failure; }

private:
    bool writeOldest();
    bool write(const QByteArray &bytes);

    QIODevice &out;
    const qint64 contentSize;
    qint64 added = 0;
    int window;
    std::deque<QFuture<DeflatedBlock>> inFlight;
    PayloadJoiner joiner;
    QString failure;
};
