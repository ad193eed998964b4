#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QIODevice;

// SHA-256 (OpenSSL's libcrypto) as 64 lower-case hexadecimal digits: the name under which a
// content is published and by which readers verify it.
QString hashName(const QByteArray &data);
// True for text that could be a hash name: exactly 64 lower-case hexadecimal digits.
bool isHashName(const QString &text);

// The hash name of everything a device yields from its current position, or of exactly
// `length` bytes from there when length is 0 or more, read in blocks so that a large file is
// never held whole. False, with the reason in *error, when the device reports a read error or
// ends before `length`.
bool hashNameOfDevice(QIODevice *device, qint64 length, QString *hash, QString *error);
// Copies exactly `length` bytes from the source's position to the target in blocks, with the
// hash name of what was copied; false with the reason when the source fails or ends early or
// the target cannot take the bytes.
bool copyHashed(QIODevice &source, qint64 length, QIODevice &target, QString *hash, QString *error);
// The hash name of a regular file's content, opened without following a link at the path and
// without waiting for a pipe's writer; false with the reason in *error.
bool hashNameOfFile(const QString &path, QString *hash, QString *error);

// The hash name of data that arrives in pieces.
class HashNameStream
{
public:
    HashNameStream();
    ~HashNameStream();
    HashNameStream(const HashNameStream &) = delete;
    HashNameStream &operator=(const HashNameStream &) = delete;

    void add(const char *data, qint64 size);
    QString finish();

private:
    struct Context;
    std::unique_ptr<Context> context;
};
