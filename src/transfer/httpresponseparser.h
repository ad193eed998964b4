#pragma once

#include <QByteArray>
#include <QString>

// Reads one HTTP/1.x response to a GET from the bytes of its connection as they arrive: the
// status line and header, then the body by its length, in chunks, or up to the connection's
// end. Strict and bounded, since the server may be anyone's: a header of at most 64 KiB, lengths
// in plain digits of sane size, no folded lines, no transfer coding but chunked and no length
// beside it. Anything else is an error, and the connection is not used again.
class HttpResponseParser
{
public:
    enum class Step { More, Header, Data, Done, Error };

    struct Header
    {
        int status = 0;
        QByteArray reason;
        qint64 length = -1; // Content-Length; -1 when not sent
        QByteArray encoding; // Content-Encoding in lower case; empty when none
        bool keepAlive = false; // the connection may carry another request after this one
    };

    void feed(const QByteArray &bytes);
    // The connection has ended: a body that runs to its end is complete, anything else cut short.
    void endOfInput();
    // The next step: Header once, Data as often as the body arrives (data() holds the piece),
    // then Done; More when the bytes so far finish no step; Error, for good, with errorText().
    Step next();

    const Header &header() const { return parsed; }
    const QByteArray &data() const { return piece; }
    QString errorText() const { return error; }
    // Whether any byte of the response has arrived. A request whose kept-alive connection the
    // server closed before answering may be sent again on a new one.
    bool started() const { return received; }
    // Bytes beyond the end of the response: their sender is not asked again on this connection.
    bool hasExcess() const { return state == State::Done && buffer.size() > taken; }

    static constexpr int maxHeaderBytes = 64 * 1024;

private:
    enum class State {
        Status,
        Fields,
        Body,
        ChunkSize,
        ChunkData,
        ChunkEnd,
        Trailer,
        Done,
        Failed
    };
    enum class Framing { None, Length, Chunked, UntilClose };

    bool takeLine(QByteArray *line);
    Step parseStatus(const QByteArray &line);
    Step parseField(const QByteArray &line);
    Step endOfHeader();
    Step parseChunkSize(const QByteArray &line);
    Step takeBody(qint64 most);
    Step fail(const QString &text);
    static QString corrupted();

    QByteArray buffer;
    int taken = 0; // bytes at the buffer's start already handed on
    QByteArray piece;
    Header parsed;
    State state = State::Status;
    Framing framing = Framing::None;
    qint64 left = 0; // of the body or the chunk
    int headerBytes = 0;
    bool chunked = false;
    bool closeAfter = false;
    bool http10 = false;
    bool ended = false;
    bool received = false;
    QString error;
};
