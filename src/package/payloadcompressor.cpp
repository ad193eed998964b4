#include "package/payloadcompressor.h"

#include "package/durablefile.h"

#include <QIODevice>
#include <QThreadPool>
#include <QtConcurrent>

PayloadCompressor::PayloadCompressor(QIODevice &out, qint64 contentSize)
    : out(out)
    , contentSize(contentSize)
    // Two blocks per core: one being compressed, one waiting for it to be taken.
    , window(2 * qMax(1, QThreadPool::globalInstance()->maxThreadCount()))
{
}

PayloadCompressor::~PayloadCompressor()
{
    for (QFuture<DeflatedBlock> &block : inFlight)
        block.waitForFinished();
}

bool PayloadCompressor::add(const QByteArray &block)
{
    if (added == 0 && !write(PayloadJoiner::head(contentSize)))
        return false;
    added += block.size();
    const bool last = added >= contentSize;
    inFlight.push_back(QtConcurrent::run(
        [block, last] { return deflateBlock(block.constData(), block.size(), last); }));
    // A thread of the pool that waits here runs a block that has not started yet itself
    // (QFuture steals it), so a pool busy with whole files cannot leave this file waiting.
    while (int(inFlight.size()) > window) {
        if (!writeOldest())
            return false;
    }
    return true;
}

bool PayloadCompressor::finish()
{
    if (contentSize == 0)
        return write(QByteArray(4, '\0'));
    while (!inFlight.empty()) {
        if (!writeOldest())
            return false;
    }
    return write(joiner.tail());
}

bool PayloadCompressor::writeOldest()
{
    const DeflatedBlock block = inFlight.front().result();
    inFlight.pop_front();
    joiner.add(block);
    return write(block.deflate);
}

bool PayloadCompressor::write(const QByteArray &bytes)
{
    return failure.isEmpty() && writeAll(out, bytes, &failure);
}
