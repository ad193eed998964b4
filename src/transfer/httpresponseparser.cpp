#include "transfer/httpresponseparser.h"

#include <QCoreApplication>

namespace {

// A chunk's size line: a few hexadecimal digits and perhaps an extension nobody needs.
constexpr int maxChunkLine = 1024;
constexpr int maxLengthDigits = 18; // below qint64's limit
constexpr int maxChunkSizeDigits = 15;

bool allOf(const QByteArray &text, bool (*accepts)(char))
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (!accepts(c))
            return false;
    }
    return true;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The characters of a header field's name (a token).
bool isTokenChar(char c)
{
    static const QByteArray separators = "()<>@,;:\\\"/[]?={} \t";
    return c > 32 && c < 127 && !separators.contains(c);
}

} // namespace

void HttpResponseParser::feed(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    received = true;
    // What was taken goes once per arrival, not once per line or chunk: a body of many tiny
    // chunks would otherwise move the rest of the buffer for every one of them. A buffer taken
    // whole is dropped, not cut: a body piece may still share its bytes, and cutting would
    // copy them.
    if (taken == buffer.size())
        buffer.clear();
    else
        buffer.remove(0, taken);
    taken = 0;
    buffer += bytes;
}

void HttpResponseParser::endOfInput()
{
    ended = true;
}

QString HttpResponseParser::corrupted()
{
    // The toolkit's own words for a reply it cannot read, as the other downloads report them.
    return QCoreApplication::translate("QHttp", "Data corrupted");
}

HttpResponseParser::Step HttpResponseParser::fail(const QString &text)
{
    state = State::Failed;
    error = text;
    buffer.clear();
    taken = 0;
    return Step::Error;
}

// A whole line without its line end; false when none has arrived yet. A line beyond what its
// place allows fails the response.
bool HttpResponseParser::takeLine(QByteArray *line)
{
    const bool inHeader =
        state == State::Status || state == State::Fields || state == State::Trailer;
    const int limit = inHeader ? maxHeaderBytes - headerBytes : maxChunkLine;
    const int newline = buffer.indexOf('\n', taken);
    const int end = newline < 0 ? -1 : newline - taken;
    if (end < 0 || end >= limit) {
        if (end >= limit || buffer.size() - taken >= limit)
            fail(corrupted());
        return false;
    }
    *line = buffer.mid(taken, end);
    taken += end + 1;
    if (line->endsWith('\r'))
        line->chop(1);
    if (inHeader)
        headerBytes += end + 1;
    return true;
}

HttpResponseParser::Step HttpResponseParser::next()
{
    for (;;) {
        QByteArray line;
        switch (state) {
        case State::Failed:
            return Step::Error;
        case State::Done:
            return Step::Done;
        case State::Body:
        case State::ChunkData:
            return takeBody(left);
        case State::Status:
        case State::Fields:
        case State::ChunkSize:
        case State::ChunkEnd:
        case State::Trailer:
            if (!takeLine(&line)) {
                if (state == State::Failed)
                    return Step::Error;
                if (ended)
                    return fail(QCoreApplication::translate("QHttp", "Connection closed"));
                return Step::More;
            }
            break;
        }
        Step step = Step::More;
        switch (state) {
        case State::Status:
            step = parseStatus(line);
            break;
        case State::Fields:
            step = parseField(line);
            break;
        case State::ChunkSize:
            step = parseChunkSize(line);
            break;
        case State::ChunkEnd:
            if (!line.isEmpty())
                return fail(corrupted());
            state = State::ChunkSize;
            break;
        case State::Trailer:
            // Trailer fields are read and left: nothing here needs them.
            if (line.isEmpty()) {
                state = State::Done;
                return Step::Done;
            }
            break;
        default:
            break;
        }
        if (step != Step::More)
            return step;
    }
}

HttpResponseParser::Step HttpResponseParser::parseStatus(const QByteArray &line)
{
    // An empty line before the status line is a leftover some servers send; it is skipped.
    if (line.isEmpty())
        return Step::More;
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || (line.at(7) != '0' && line.at(7) != '1')
        || line.at(8) != ' ' || !allOf(line.mid(9, 3), isDigit)
        || (line.size() > 12 && line.at(12) != ' '))
        return fail(corrupted());
    http10 = line.at(7) == '0';
    parsed = Header();
    parsed.status = line.mid(9, 3).toInt();
    parsed.reason = line.mid(13);
    chunked = false;
    closeAfter = false;
    state = State::Fields;
    return Step::More;
}

HttpResponseParser::Step HttpResponseParser::parseField(const QByteArray &line)
{
    if (line.isEmpty())
        return endOfHeader();
    const int colon = line.indexOf(':');
    // Folded lines (starting with a blank) are obsolete and read differently by different
    // readers: refused, like a name that is no token.
    if (colon <= 0 || !allOf(line.left(colon), isTokenChar))
        return fail(corrupted());
    const QByteArray name = line.left(colon).toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "content-length") {
        if (value.size() > maxLengthDigits || !allOf(value, isDigit))
            return fail(corrupted());
        const qint64 length = value.toLongLong();
        // Two different lengths: two readers could see two different responses.
        if (parsed.length >= 0 && parsed.length != length)
            return fail(corrupted());
        parsed.length = length;
    } else if (name == "transfer-encoding") {
        if (chunked || value.toLower() != "chunked")
            return fail(corrupted());
        chunked = true;
    } else if (name == "content-encoding") {
        parsed.encoding +=
            (parsed.encoding.isEmpty() ? QByteArray() : QByteArray(", ")) + value.toLower();
    } else if (name == "connection") {
        for (const QByteArray &option : value.toLower().split(',')) {
            if (option.trimmed() == "close")
                closeAfter = true;
            else if (option.trimmed() == "keep-alive")
                parsed.keepAlive = true;
        }
    }
    return Step::More;
}

HttpResponseParser::Step HttpResponseParser::endOfHeader()
{
    if (parsed.status < 200) {
        // An interim answer is followed by the real one; a switch of protocols was not asked for.
        if (parsed.status == 101 || parsed.status < 100)
            return fail(corrupted());
        state = State::Status;
        return Step::More;
    }
    // A length beside chunks is how one response is smuggled inside another.
    if (chunked && parsed.length >= 0)
        return fail(corrupted());
    if (parsed.status == 204 || parsed.status == 304)
        framing = Framing::None;
    else if (chunked)
        framing = Framing::Chunked;
    else if (parsed.length >= 0)
        framing = Framing::Length;
    else
        framing = Framing::UntilClose;
    parsed.keepAlive =
        !closeAfter && (!http10 || parsed.keepAlive) && framing != Framing::UntilClose;
    switch (framing) {
    case Framing::None:
        left = 0;
        state = State::Body;
        break;
    case Framing::Length:
        left = parsed.length;
        state = State::Body;
        break;
    case Framing::Chunked:
        state = State::ChunkSize;
        break;
    case Framing::UntilClose:
        left = -1;
        state = State::Body;
        break;
    }
    return Step::Header;
}

HttpResponseParser::Step HttpResponseParser::parseChunkSize(const QByteArray &line)
{
    const int extension = line.indexOf(';');
    const QByteArray digits = (extension < 0 ? line : line.left(extension)).trimmed();
    if (digits.size() > maxChunkSizeDigits || !allOf(digits, isHexDigit))
        return fail(corrupted());
    left = digits.toLongLong(nullptr, 16);
    state = left == 0 ? State::Trailer : State::ChunkData;
    return Step::More;
}

// Up to `most` bytes of the body or chunk (all of them for -1, a body that runs to the end).
HttpResponseParser::Step HttpResponseParser::takeBody(qint64 most)
{
    if (most == 0) {
        if (state == State::ChunkData) {
            state = State::ChunkEnd;
            return next();
        }
        state = State::Done;
        return Step::Done;
    }
    const int available = buffer.size() - taken;
    if (available == 0) {
        if (!ended)
            return Step::More;
        if (most < 0) {
            state = State::Done;
            return Step::Done;
        }
        return fail(QCoreApplication::translate("QHttp", "Connection closed"));
    }
    const int size = most < 0 || most >= available ? available : int(most);
    piece = taken == 0 && size == buffer.size() ? buffer : buffer.mid(taken, size);
    taken += size;
    if (most > 0)
        left -= piece.size();
    return Step::Data;
}
