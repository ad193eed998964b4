#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Ed25519 signatures (OpenSSL's libcrypto) over a release's statement.

constexpr int releaseKeySize = 32; // a raw public key
constexpr int releaseSignatureSize = 64;
// A key file is a few hundred bytes; a larger one is not a key.
constexpr qint64 releaseKeyFileLimit = 64 * 1024;

// Signs with the private key of a PEM file; nothing, with the reason in *error, when the file
// cannot be read or holds no Ed25519 private key.
std::optional<QByteArray> signWithKeyFile(const QString &pemPath, const QByteArray &message,
                                          QString *error);

// The raw public key of a PEM private key file, for tests and the publisher's tools.
std::optional<QByteArray> publicKeyOfKeyFile(const QString &pemPath, QString *error);

// True when `signature` is the signature of `message` by the raw public key.
bool verifyReleaseSignature(const QByteArray &publicKey, const QByteArray &message,
                            const QByteArray &signature);

// A public key as the build takes it: the base64 of its 32 raw bytes.
std::optional<QByteArray> releaseKeyFromBase64(const QString &text);
