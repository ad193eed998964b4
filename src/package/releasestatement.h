#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLatin1String>
#include <QString>

#include <optional>

// The publisher's signed statement about one release: which document (by its hash name) is the
// release of which year, its release number, and until when the statement holds. Published as
// "info.sig" beside "info.bin", and carried after the document in an offline update file.
//
// UTF-8 text, one "Name: value" line each, in this order, every line ending in LF:
//   Ledgora-Release-Statement: 1
//   Year: 2031
//   Document: <64 lower-case hexadecimal digits>
//   Release: <decimal, no leading zeros>
//   Expires: 2032-03-31T00:00:00Z        (only when the statement expires)
//   Signature: <base64 of the 64-byte Ed25519 signature>
// The signature covers every byte before "Signature: ". Readers take exactly this and nothing
// else: no blanks, no other order, no second spelling of a value.
struct ReleaseStatement
{
    int year = 0;
    QString documentHash;
    quint64 releaseNumber = 0;
    std::optional<QDateTime> expires; // UTC, whole seconds

    friend bool operator==(const ReleaseStatement &a, const ReleaseStatement &b)
    {
        return a.year == b.year && a.documentHash == b.documentHash
            && a.releaseNumber == b.releaseNumber && a.expires == b.expires;
    }
};

inline const QLatin1String releaseStatementFileName("info.sig");
// Readers take a release number of up to 19 digits.
constexpr quint64 releaseNumberLimit = 9999999999999999999ULL;
// A statement is about 300 bytes; anything far larger is not one.
constexpr qint64 releaseStatementLimit = 1024;

// The bytes that the signature covers.
QByteArray statementSignedPart(const ReleaseStatement &statement);
QByteArray statementText(const ReleaseStatement &statement, const QByteArray &signature);

struct SignedStatement
{
    ReleaseStatement statement;
    QByteArray signedPart;
    QByteArray signature;
};

// Reads a statement exactly as laid out above; false with a reason fit for the user otherwise.
std::optional<SignedStatement> parseStatement(const QByteArray &text, QString *error);

// An expiry as the builder's configuration and the statement write it, "2032-03-31T00:00:00Z".
std::optional<QDateTime> expiryFromText(const QString &text);
