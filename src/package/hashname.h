#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// SHA-256 (OpenSSL's libcrypto) as 64 lower-case hexadecimal digits: the name under which a
// content is published and by which readers verify it.
QString hashName(const QByteArray &data);

// The hash name of everything a device yields from its current position, read in blocks so
// that a large file is never held whole. Empty when the device reports a read error.
QString hashNameOfDevice(QIODevice *device);
