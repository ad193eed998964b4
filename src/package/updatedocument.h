#pragma once

#include <QByteArray>
#include <QJsonDocument>

// The update document travels as Qt 5 binary JSON; published packages and offline files in
// the field carry that form, so it stays even though the toolkit marks it as legacy.
QByteArray documentToBinary(const QJsonDocument &document);
// Restores what the toolkit's validating reader would, with a reader of our own that also
// withstands hostile bytes (see binaryjsonreader.h); damaged or foreign bytes give a null
// document.
QJsonDocument documentFromBinary(const QByteArray &data);

// Nothing near this size is an update document (a release's is a few hundred kilobytes):
// larger ones, compressed or expanded, are refused before memory is taken for them.
constexpr qint64 documentSizeLimit = 64 * 1024 * 1024;

// The document from its compressed payload; null when damaged or beyond documentSizeLimit.
QJsonDocument documentFromPayload(const QByteArray &payload);
