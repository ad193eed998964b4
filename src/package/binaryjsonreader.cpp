#include "package/binaryjsonreader.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QtEndian>

#include <cstring>

// The layout, every number little-endian: an 8-byte header (tag "qbjs", version 1), then the
// root container. A container is its byte size, a word with the object flag (bit 0) and the
// entry count (bits 1-31), and the offset of its table; offsets count from the container's first
// byte. An array's table holds one value word per element, an object's table the offsets of its
// entries, each a value word followed by the key. A value word holds the type (bits 0-2), the
// compact-or-Latin-1 flag (bit 3), the Latin-1 key flag (bit 4), and in bits 5-31 the bool, a
// compact integer or the offset of the value's data in its container.
namespace {

constexpr quint32 formatTag = 'q' | 'b' << 8 | 'j' << 16 | 's' << 24;
constexpr quint64 headerSize = 8;
constexpr quint64 containerHeaderSize = 12;
constexpr quint64 wordSize = 4;

enum ValueType : quint32 { Null, Bool, Double, String, Array, Object };

struct Container
{
    quint64 position = 0; // of its first byte in the data
    quint32 size = 0;
    quint32 length = 0;
    quint32 tableOffset = 0;
    bool isObject = false;
};

class ValueWord
{
public:
    explicit ValueWord(quint32 word)
        : word(word)
    {
    }
    quint32 type() const { return word & 7; }
    bool compactOrLatin1() const { return word & 8; }
    bool latin1Key() const { return word & 16; }
    quint32 payload() const { return word >> 5; }
    qint32 compactInteger() const
    {
        const qint32 value = qint32(payload());
        return value >= (1 << 26) ? value - (1 << 27) : value;
    }

private:
    quint32 word;
};

class BinaryJsonReader
{
public:
    explicit BinaryJsonReader(const QByteArray &data)
        : data(data)
        , budget(quint64(data.size()) * sharingAllowance)
    {
    }
    QJsonDocument read();

private:
    const uchar *bytes(quint64 position, quint64 count) const;
    bool readWord(quint64 position, quint32 *word) const;
    bool spend(quint64 units);
    bool readContainer(quint64 position, quint64 room, int depth, Container *container) const;
    bool readContents(const Container &container, bool asObject, int depth, QJsonValue *result);
    bool readArray(const Container &array, int depth, QJsonArray *result);
    bool readObject(const Container &object, int depth, QJsonObject *result);
    bool readValue(const Container &parent, ValueWord word, int depth, QJsonValue *result);
    bool readNested(const Container &parent, quint32 offset, bool asObject, int depth,
                    QJsonValue *result);
    bool readString(quint64 position, quint64 room, bool latin1, QString *result);
    bool readDouble(quint64 position, QJsonValue *result);

    const QByteArray &data;
    // Entries may share bytes, so that a few bytes describe an exponentially large document.
    // Every table slot, string and double spends the bytes it would occupy on its own: a document
    // without sharing spends at most its size, and the allowance leaves room for the overlaps
    // that the toolkit accepts (a damaged key length, say) while the work stays linear.
    static constexpr quint64 sharingAllowance = 8;
    quint64 budget;
};

QJsonDocument BinaryJsonReader::read()
{
    quint32 tag = 0;
    quint32 version = 0;
    quint32 rootSize = 0;
    if (!readWord(0, &tag) || !readWord(4, &version) || !readWord(headerSize, &rootSize))
        return QJsonDocument();
    // The toolkit adds the root size to the header size in 32 bits, so that a size near 4 GiB
    // passes its check: here it is what it is, too large.
    if (tag != formatTag || version != 1 || quint64(data.size()) < headerSize + containerHeaderSize
        || headerSize + rootSize > quint64(data.size()))
        return QJsonDocument();
    Container root;
    QJsonValue value;
    if (!readContainer(headerSize, rootSize, 1, &root)
        || !readContents(root, root.isObject, 1, &value))
        return QJsonDocument();
    return value.isObject() ? QJsonDocument(value.toObject()) : QJsonDocument(value.toArray());
}

const uchar *BinaryJsonReader::bytes(quint64 position, quint64 count) const
{
    if (position > quint64(data.size()) || count > quint64(data.size()) - position)
        return nullptr;
    return reinterpret_cast<const uchar *>(data.constData()) + position;
}

bool BinaryJsonReader::readWord(quint64 position, quint32 *word) const
{
    const uchar *at = bytes(position, wordSize);
    if (!at)
        return false;
    *word = qFromLittleEndian<quint32>(at);
    return true;
}

bool BinaryJsonReader::spend(quint64 units)
{
    if (units > budget)
        return false;
    budget -= units;
    return true;
}

// `room` is what the enclosing container leaves it; the root's is its own size.
bool BinaryJsonReader::readContainer(quint64 position, quint64 room, int depth,
                                     Container *container) const
{
    quint32 lengthWord = 0;
    if (depth > binaryJsonMaxDepth || !readWord(position, &container->size)
        || container->size > room || !readWord(position + 4, &lengthWord)
        || !readWord(position + 8, &container->tableOffset))
        return false;
    container->position = position;
    container->isObject = lengthWord & 1;
    container->length = lengthWord >> 1;
    return quint64(container->tableOffset) + container->length * wordSize <= container->size;
}

// A nested container is read as its value word's type says; its own object flag counts only
// for the root, as in the toolkit.
bool BinaryJsonReader::readContents(const Container &container, bool asObject, int depth,
                                    QJsonValue *result)
{
    if (asObject) {
        QJsonObject object;
        if (!readObject(container, depth, &object))
            return false;
        *result = object;
    } else {
        QJsonArray array;
        if (!readArray(container, depth, &array))
            return false;
        *result = array;
    }
    return true;
}

bool BinaryJsonReader::readArray(const Container &array, int depth, QJsonArray *result)
{
    for (quint32 i = 0; i < array.length; ++i) {
        quint32 word = 0;
        QJsonValue value;
        if (!spend(wordSize) || !readWord(array.position + array.tableOffset + i * wordSize, &word)
            || !readValue(array, ValueWord(word), depth, &value))
            return false;
        result->append(value);
    }
    return true;
}

bool BinaryJsonReader::readObject(const Container &object, int depth, QJsonObject *result)
{
    QString lastKey;
    for (quint32 i = 0; i < object.length; ++i) {
        quint32 offset = 0;
        quint32 word = 0;
        if (!spend(wordSize)
            || !readWord(object.position + object.tableOffset + i * wordSize, &offset))
            return false;
        // As in the toolkit, an entry only has to start before the table; it may overlap the
        // header or other entries. Equal keys in a row are allowed; the last one wins.
        if (quint64(offset) + wordSize >= object.tableOffset
            || !readWord(object.position + offset, &word))
            return false;
        const ValueWord valueWord(word);
        QString key;
        QJsonValue value;
        if (!readString(object.position + offset + wordSize, object.tableOffset - offset - wordSize,
                        valueWord.latin1Key(), &key)
            || key < lastKey || !readValue(object, valueWord, depth, &value))
            return false;
        result->insert(key, value);
        lastKey = key;
    }
    return true;
}

bool BinaryJsonReader::readValue(const Container &parent, ValueWord word, int depth,
                                 QJsonValue *result)
{
    const quint32 offset = word.payload();
    // Data lies between the container's header and its table.
    const bool inside =
        offset >= containerHeaderSize && quint64(offset) + wordSize <= parent.tableOffset;
    const quint64 position = parent.position + offset;
    switch (word.type()) {
    case Null:
        *result = QJsonValue(QJsonValue::Null);
        return true;
    case Bool:
        *result = QJsonValue(offset != 0);
        return true;
    case Double:
        if (word.compactOrLatin1()) {
            *result = QJsonValue(double(word.compactInteger()));
            return true;
        }
        return inside && readDouble(position, result);
    case String: {
        QString string;
        if (!inside
            || !readString(position, parent.tableOffset - offset, word.compactOrLatin1(), &string))
            return false;
        *result = QJsonValue(string);
        return true;
    }
    case Array:
    case Object:
        return inside && readNested(parent, offset, word.type() == Object, depth + 1, result);
    default:
        return false;
    }
}

bool BinaryJsonReader::readNested(const Container &parent, quint32 offset, bool asObject, int depth,
                                  QJsonValue *result)
{
    Container nested;
    return readContainer(parent.position + offset, parent.tableOffset - offset, depth, &nested)
        && readContents(nested, asObject, depth, result);
}

bool BinaryJsonReader::readString(quint64 position, quint64 room, bool latin1, QString *result)
{
    if (latin1) {
        const uchar *lengthBytes = bytes(position, 2);
        if (!lengthBytes)
            return false;
        const quint64 length = qFromLittleEndian<quint16>(lengthBytes);
        const uchar *chars = bytes(position + 2, length);
        if (2 + length > room || !chars || !spend(2 + length))
            return false;
        *result = QString::fromLatin1(reinterpret_cast<const char *>(chars), int(length));
        return true;
    }
    quint32 length = 0;
    if (room < wordSize || !readWord(position, &length) || length > (room - wordSize) / 2)
        return false;
    const uchar *units = bytes(position + wordSize, 2 * quint64(length));
    if (!units || !spend(wordSize + 2 * quint64(length)))
        return false;
    *result = QString(int(length), Qt::Uninitialized);
    qFromLittleEndian<quint16>(units, length, result->data());
    return true;
}

// The toolkit checks room for four bytes only, then reads eight: so does this reader, as long as
// the eight lie inside the data.
bool BinaryJsonReader::readDouble(quint64 position, QJsonValue *result)
{
    const uchar *at = bytes(position, sizeof(double));
    if (!at || !spend(sizeof(double)))
        return false;
    const quint64 bits = qFromLittleEndian<quint64>(at);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    *result = QJsonValue(value);
    return true;
}

} // namespace

QJsonDocument readBinaryJson(const QByteArray &data)
{
    return BinaryJsonReader(data).read();
}
