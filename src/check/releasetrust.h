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
    ReleaseNumbers installed; // the newest releases installed, per year
    // The record of installed releases, and why it could not be read: then no signed release
    // is taken, since none can be told apart from an older one.
    QString recordPath;
    QString recordError;
    bool allowOlder = false; // an offline file older than the installed release is taken

    bool required() const { return !keys.isEmpty(); }
};

// A release whose statement was accepted: kept in the record once it is installed.
struct AcceptedRelease
{
    quint64 number = 0;
    QString documentHash;
};

// Why a statement was refused: the red line's title and its reason.
struct StatementRefusal
{
    QString title;
    QString reason;
};

// The release of a statement that one of the keys signed for this year (and for this document,
// given its hash name; empty: the statement names it), that has not expired and that is not
// older than the installed release: not of an earlier year than the newest installed, not with
// a lower number in its year (unless `allowOlder`), and not the installed number for another
// document. Otherwise nothing, and *refusal says why.
std::optional<AcceptedRelease> acceptStatement(const QByteArray &text, int year,
                                               const QString &documentHash,
                                               const ReleaseTrust &trust, bool allowOlder,
                                               StatementRefusal *refusal);

// Why the record of installed releases refuses a release of `year`: older than the installed
// ones (unless `allowOlder`), or another document under the installed number. Nothing when it
// may be installed.
std::optional<StatementRefusal> refusalByRecord(const ReleaseNumbers &installed, int year,
                                                const InstalledRelease &release, bool allowOlder);

// A refusal of every signed release while the record of installed releases cannot be read.
std::optional<StatementRefusal> recordRefusal(const ReleaseTrust &trust);

// Keys as the build gives them, "key;key", each the base64 of a raw public key. Nothing when one
// of them is not a key.
std::optional<QVector<QByteArray>> releaseKeysFromText(const QString &text);

// The title of a refused or missing statement.
QString statementRefusedTitle();
