#include "package/binaryjsonwriter.h"

#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cstring>

namespace BinaryJson {

namespace {

constexpr int baseSize = 12; // size, length with the object bit, table offset
constexpr quint32 stringType = 3;
constexpr quint32 arrayType = 4;
constexpr quint32 objectType = 5;

void append32(QByteArray &bytes, quint32 value)
{
    char le[4];
    qToLittleEndian(value, le);
    bytes.append(le, 4);
}

void padToFour(QByteArray &bytes)
{
    while (bytes.size() % 4 != 0)
        bytes.append('\0');
}

// Strings of Latin-1 shorter than 32768 characters are kept as one byte per character.
bool isLatin(const QString &text)
{
    return text.size() < 0x8000
        && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xff; });
}

// A string as the format keeps it, padded to four bytes: a 16-bit length and Latin-1 bytes, or
// a 32-bit length and UTF-16 code units, little-endian.
QByteArray stored(const QString &text, bool latin)
{
    QByteArray bytes;
    if (latin) {
        char length[2];
        qToLittleEndian(quint16(text.size()), length);
        bytes.append(length, 2);
        bytes.append(text.toLatin1());
    } else {
        append32(bytes, quint32(text.size()));
        for (QChar c : text) {
            char unit[2];
            qToLittleEndian(c.unicode(), unit);
            bytes.append(unit, 2);
        }
    }
    padToFour(bytes);
    return bytes;
}

// The toolkit keeps a number inline when it is a whole number of at most 26 bits besides its
// sign; zero is not one of them. INT_MAX for any other number.
int inlineNumber(double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int exponent = int((bits >> 52) & 0x7ff) - 1023;
    constexpr quint64 fraction = 0x000fffffffffffffull;
    if (exponent < 0 || exponent > 25 || (bits & (fraction >> exponent)) != 0)
        return INT_MAX;
    const int magnitude = int(((bits & fraction) | (quint64(1) << 52)) >> (52 - exponent));
    return bits >> 63 ? -magnitude : magnitude;
}

// The 32-bit word of a value: type, inline flag, key flag and the value or its data's offset.
quint32 valueWord(const Value &value, bool latinKey, quint32 dataOffset)
{
    const quint32 field = value.data.isEmpty() ? value.inlineValue : dataOffset;
    return value.type | quint32(value.latinOrInt) << 3 | quint32(latinKey) << 4
        | (field & 0x7ffffff) << 5;
}

// A container: its header, the items as `body` holds them, then the table of `table`'s words.
Value container(quint32 type, int length, const QByteArray &body, const QVector<quint32> &table)
{
    Value result;
    result.type = type;
    QByteArray &bytes = result.data;
    const bool isObject = type == objectType;
    append32(bytes, quint32(baseSize + body.size() + 4 * table.size()));
    append32(bytes, quint32(isObject) | quint32(length) << 1);
    // An empty container is stored as the toolkit stores one it never filled.
    append32(bytes, length == 0 ? 0 : quint32(baseSize + body.size()));
    bytes.append(body);
    for (quint32 word : table)
        append32(bytes, word);
    return result;
}

} // namespace

Value boolean(bool value)
{
    Value result;
    result.type = 1;
    result.inlineValue = value;
    return result;
}

Value number(double value)
{
    Value result;
    result.type = 2;
    const int held = inlineNumber(value);
    if (held != INT_MAX) {
        result.latinOrInt = true;
        result.inlineValue = quint32(held);
        return result;
    }
    char le[8];
    qToLittleEndian(value, le);
    result.data = QByteArray(le, 8);
    return result;
}

Value string(const QString &value)
{
    Value result;
    result.type = stringType;
    result.latinOrInt = isLatin(value);
    result.data = stored(value, result.latinOrInt);
    return result;
}

Value object(QVector<Member> members)
{
    std::sort(members.begin(), members.end(),
              [](const Member &a, const Member &b) { return a.key < b.key; });
    QByteArray body;
    QVector<quint32> table;
    for (const Member &member : qAsConst(members)) {
        table.append(quint32(baseSize + body.size()));
        const bool latinKey = isLatin(member.key);
        const QByteArray key = stored(member.key, latinKey);
        const quint32 dataOffset = quint32(baseSize + body.size() + 4 + key.size());
        append32(body, valueWord(member.value, latinKey, dataOffset));
        body.append(key);
        body.append(member.value.data);
    }
    return container(objectType, members.size(), body, table);
}

Value array(const QVector<Value> &values)
{
    QByteArray body;
    QVector<quint32> table;
    for (const Value &value : values) {
        table.append(valueWord(value, false, quint32(baseSize + body.size())));
        body.append(value.data);
    }
    return container(arrayType, values.size(), body, table);
}

QByteArray document(const Value &root)
{
    QByteArray bytes("qbjs", 4);
    append32(bytes, 1);
    return bytes + root.data;
}

} // namespace BinaryJson
