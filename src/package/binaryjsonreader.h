#pragma once

#include <QByteArray>
#include <QJsonDocument>

// Containers nested deeper than this (the root counts as the first level) are refused: the
// update document needs five, and the toolkit's own validation recurses until the stack runs out.
constexpr int binaryJsonMaxDepth = 64;

// Decodes Qt 5 binary JSON ("qbjs", version 1) to the document that
// QJsonDocument::fromBinaryData gives with validation, and to a null document where that
// validation refuses. No count, size or offset is trusted: every read stays inside the data.
// Beyond the toolkit's rules it refuses documents nested deeper than binaryJsonMaxDepth, and
// documents whose entries share bytes so often that decoding them would take more work than
// the data's size allows (a document the toolkit writes never shares).
QJsonDocument readBinaryJson(const QByteArray &data);
