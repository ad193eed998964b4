#include "nestedbinaryjson.h"

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
QByteArray binaryJson(const QJsonDocument &document)
{
    return document.toBinaryData();
}
QT_WARNING_POP

#include <QtEndian>

QByteArray nestedBinaryJsonArrays(int levels, int width)
{
    const quint32 header = 12;
    const quint32 arrayAtOffset12 = 4 | header << 5; // value word: type array, data at offset 12
    const quint32 step = header + 4 * quint32(width); // what each outer array adds
    QByteArray data(int(8 + header + quint32(levels - 1) * step), '\0');
    uchar *bytes = reinterpret_cast<uchar *>(data.data());
    qToLittleEndian<quint32>('q' | 'b' << 8 | 'j' << 16 | 's' << 24, bytes);
    qToLittleEndian<quint32>(1, bytes + 4);
    // Array k starts at 8 + 12 k, array k + 1 right after its header; its table follows the
    // end of array k + 1.
    for (int level = 0; level < levels; ++level) {
        uchar *array = bytes + 8 + header * quint32(level);
        const bool innermost = level == levels - 1;
        const quint32 size = header + quint32(levels - 1 - level) * step;
        const quint32 tableOffset = innermost ? header : size - 4 * quint32(width);
        qToLittleEndian<quint32>(size, array);
        qToLittleEndian<quint32>(innermost ? 0 : quint32(width) << 1, array + 4);
        qToLittleEndian<quint32>(tableOffset, array + 8);
        for (int element = 0; !innermost && element < width; ++element)
            qToLittleEndian<quint32>(arrayAtOffset12, array + tableOffset + 4 * element);
    }
    return data;
}
