#pragma once

#include "package/releasenumbers.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <optional>

// What a client built with the publisher's keys asks of a release before it loads its document.
struct ReleaseTrust
{
    QVector<QByteArray> keys; // raw Ed25519 public keys; none: releases are taken unsigned
    QDateTime now; // UTC; a statement that expired before is refused
    ReleaseNumbers installed; // the highest release numbers installed, per year
    bool allowOlder = false; // an offline file older than the installed release is taken

    bool required() const { return !keys.isEmpty(); }
};

// Why a statement was refused: the red line's title and its reason.
struct StatementRefusal
{
    QString title;
    QString reason;
};

// The release number of a statement that one of the keys signed for this year and this document
// (hash name), that has not expired and that is not older than the installed release: not of an
// earlier year than the newest installed, not with a lower number in its year (unless
// `allowOlder`). Otherwise nothing, and *refusal says why.
std::optional<quint64> acceptStatement(const QByteArray &text, int year,
                                       const QString &documentHash, const ReleaseTrust &trust,
                                       bool allowOlder, StatementRefusal *refusal);

// Keys as the build gives them, "key;key", each the base64 of a raw public key. Nothing when one
// of them is not a key.
std::optional<QVector<QByteArray>> releaseKeysFromText(const QString &text);

// The title of a refused or missing statement.
QString statementRefusedTitle();
