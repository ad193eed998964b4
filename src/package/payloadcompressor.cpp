#include "package/payloadcompressor.h"

#include "package/durablefile.h"

#include <QIODevice>
#include <QThreadPool>
#include <QtConcurrent>

namespace {

// The blocks compress on a pool of their own. On the pool of whole files, the thread that reads
// the blocks would wait for each oldest block while another thread compresses it, and a single
// large file would keep one core busy, not all.
QThreadPool &blockPool()
{
    static QThreadPool pool;
    return pool;
}

} // namespace

PayloadCompressor::PayloadCompressor(QIODevice &out, qint64 contentSize)
    : out(out)
    , contentSize(contentSize)
    // Two blocks per core: one being compressed, one waiting for it to be taken.
    , window(2 * qMax(1, blockPool().maxThreadCount()))
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
    inFlight.push_back(QtConcurrent::run(&blockPool(), [block, last] {
        return deflateBlock(block.constData(), block.size(), last);
    }));
    // Waiting here for a block that no thread has started yet runs it on this thread (QFuture
    // takes it back from the pool).
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
