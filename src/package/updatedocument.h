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
