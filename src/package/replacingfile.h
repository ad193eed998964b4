#pragma once

#include "package/durablefile.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// Writes a file that takes the place of `path` only once it is complete, as a PartFile does,
// through a buffer of its own. While what is written matches the regular file already at
// `path`, nothing is written at all: a rebuild that makes the same file again keeps the old one,
// its bytes and its time, and saves writing and syncing what may be many megabytes. At the
// first difference the matched part is copied from the old file into "<path>.part" and writing
// goes on there.
class ReplacingFile
{
public:
    ReplacingFile() = default;
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    bool open(const QString &path);
    bool isOpen() const { return opened; }
    QString path() const { return target; }
    // The system's reason for the first failure; every call after it fails too.
    QString errorString() const { return failure; }

    bool write(const QByteArray &bytes);
    // Bytes written so far: the position of the next byte in the finished file.
    qint64 pos() const { return done + pending.size(); }
    // Writes `size` bytes of zeros that fill() replaces before commit(): they are not compared
    // with the old file until then. One such range at a time.
    bool reserve(int size);
    bool fill(const QByteArray &bytes);
    // Makes what was written durable: the old file, synced, when it holds exactly that, else
    // the part, synced. Nothing takes the name yet, so that several files can all be prepared
    // before any of them replaces its old one.
    bool prepare();
    // Prepares when that is not done yet, then renames the part over the old file.
    bool commit();

private:
    bool flush();
    bool put(const QByteArray &bytes);
    bool compare(const QByteArray &bytes);
    bool readOld(qint64 position, qint64 size, QByteArray *bytes);
    bool diverge();
    bool writePart(const QByteArray &bytes);
    bool keepOld();
    bool fail(const QString &reason);

    QString target;
    QFile old; // open while every byte so far matched it
    PartFile part;
    QByteArray pending;
    QByteArray found; // bytes read back from the old file
    qint64 done = 0; // bytes compared with the old file or written to the part
    quint32 matchedCrc = 0; // CRC-32 of the old file's first `done` bytes, while comparing
    qint64 reserved = -1; // position of the reserved range, -1 when none
    QByteArray reservedBytes;
    QString failure;
    bool opened = false;
    bool prepared = false;
};
