#pragma once

#include <QByteArray>
#include <QString>

// A fresh Ed25519 key pair made by OpenSSL for one test: the private key written as a PEM file
// (as `openssl genpkey -algorithm ed25519` writes it), the public key raw.
struct TestReleaseKey
{
    QString pemPath;
    QByteArray publicKey;
};

// False when OpenSSL cannot make the key or the file cannot be written. With a pass phrase, the
// file holds the key encrypted (AES-256).
bool makeTestReleaseKey(const QString &pemPath, TestReleaseKey *key,
                        const QByteArray &passPhrase = QByteArray());
