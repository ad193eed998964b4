#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// A compressed payload is the format qCompress writes and qUncompress reads: the expanded length
// as a 4-byte big-endian number, then a zlib stream. Readers accept any zlib stream; this one is
// made of the content's blocks (package/deflateblocks.h), the same bytes as the builder writes
// for a large file block by block. The empty input is the four bytes 00 00 00 00.
// The data must pass fitsInPayload.
QByteArray compressPayload(const QByteArray &data);

// Whether content of this many bytes can be published as one payload, whatever its bytes: the
// content and its compressed form must both fit in an array that every reader can hold.
bool fitsInPayload(qint64 size);

// Whether the payload expands to exactly this content, its stream ending where the payload
// ends and starting with the header zlib writes. Expanded whole with libdeflate (content and
// payload are held in memory), which takes a few streams zlib refuses: code lengths declared
// for symbols beyond the alphabet and some incomplete codes. Only a stream made for that has
// them, and clients that read with zlib refuse it as damaged data.
bool payloadExpandsTo(const QByteArray &payload, const QByteArray &content);

// As payloadExpandsTo, for a content known by its size (at least one byte) and hash name.
bool payloadHolds(const QByteArray &payload, qint64 size, const QString &hashName);

// Up to this size a payload and its content may be held whole and expanded with libdeflate,
// three times as fast as zlib's stream; beyond it, they are expanded block by block.
constexpr qint64 wholeExpansionLimit = 16 << 20;

// Takes expanded content while it lies in a buffer lent for the call; false to refuse it.
using ExpandedUse = std::function<bool(const char *data, qint64 size)>;

// Expands a payload that states a content of at least one byte whole, with libdeflate (three
// times as fast as zlib), as expandPayloadInto would block by block, and hands the content to
// `use`: bytes after the stream's end are left unread. False for a damaged payload or when
// `use` refuses. The caller bounds the stated size, which is held in memory, and checks the
// content's hash: libdeflate takes a few malformed streams that zlib refuses.
bool expandWholePayload(const QByteArray &payload, const ExpandedUse &use);

// The expanded content, or an empty array for a damaged payload: one shorter than its length
// field, whose stream is corrupt, whose stream yields another length than stated, or whose
// stated length is more than zlib could ever produce from the bytes present.
QByteArray expandPayload(const QByteArray &payload);

// The length a payload states for its expanded content (0 when it is too short to state one).
quint32 statedPayloadSize(const QByteArray &payload);

// The most bytes a payload of `contentSize` expanded bytes can take: the length field and
// zlib's bound for its stream (stored blocks for content that does not compress).
qint64 payloadSizeLimit(qint64 contentSize);

// Whether a stream of streamLength compressed bytes can expand to `stated` bytes at all: zlib
// never expands more than about 1032 times, so a larger claim is damage (or an attempt to make
// the reader take gigabytes for a few bytes).
bool isPlausibleExpansion(quint64 stated, quint64 streamLength);
