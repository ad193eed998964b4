#pragma once

#include <QString>

class QIODevice;

// The outcome of expanding a compressed payload into a file.
struct ExpandedPayload
{
    enum Status { Expanded, Damaged, WriteFailed };
    Status status = Damaged;
    qint64 size = 0; // bytes written
    QString hashName; // of the expanded content; of the empty content when damaged
    QString error; // the file's reason for WriteFailed
    qint64 unread = 0; // bytes of the payload after the end of its stream, when expanded
};

// Expands the compressed payload that `in` yields from its position (`length` bytes) and
// appends the content to `out` in blocks, hashing it on the way: memory stays bounded by a
// block, whatever size the payload states. The same payloads count as damaged as for
// expandPayload; what was written of a damaged one is the caller's to remove.
ExpandedPayload expandPayloadInto(QIODevice &in, qint64 length, QIODevice &out);

// The size and hash name of what the payload expands to, the content itself dropped block by
// block: whether a data file holds a given content, in bounded memory.
ExpandedPayload inspectPayload(QIODevice &in, qint64 length);
