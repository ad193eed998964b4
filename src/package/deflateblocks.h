#pragma once

#include <QByteArray>

// Content is compressed in blocks of this many bytes, each without reference to the others: the
// blocks of one large file compress on every core at once, and joined in order they still form
// one zlib stream that a reader inflates in one go.
constexpr qint64 payloadBlockSize = 1 << 20;

// One block of content, compressed on its own as raw deflate data.
struct DeflatedBlock
{
    QByteArray deflate;
    quint32 adler = 1; // Adler-32 of the block's content
    qint64 size = 0; // of the block's content
};

// Compresses one block (at most payloadBlockSize bytes). Only the last block of a stream ends
// the deflate stream; any other ends on a byte boundary, so that the next one can follow it.
DeflatedBlock deflateBlock(const char *data, qint64 size, bool last);

// Joins deflated blocks, in the content's order, into a payload: the content's length and the
// zlib header before them, the checksum of the whole content after them.
class PayloadJoiner
{
public:
    // The payload's first bytes, for content of this many bytes (more than none).
    static QByteArray head(qint64 contentSize);
    void add(const DeflatedBlock &block);
    // The payload's last bytes, once every block was added.
    QByteArray tail() const;

private:
    quint32 adler = 1;
};
