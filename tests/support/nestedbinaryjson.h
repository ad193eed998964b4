#pragma once

#include <QByteArray>
#include <QJsonDocument>

// The toolkit's own binary JSON of a document, for documents no builder would write.
QByteArray binaryJson(const QJsonDocument &document);

// Binary JSON written by hand: `levels` arrays, each inside the one before. Every array but the
// innermost holds `width` elements, all pointing at the next array, so with one element this is
// [[[…]]], and with more the elements share their bytes and the document they describe has
// width to the power of levels values.
QByteArray nestedBinaryJsonArrays(int levels, int width = 1);
