#include "package/replacingfile.h"

#include "platform/platform.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstring>

#include <libdeflate.h>

namespace {

constexpr int bufferSize = 1 << 20;

} // namespace

bool ReplacingFile::open(const QString &path)
{
    target = path;
    // The part is made at once, though it may stay empty: a folder that cannot take it fails
    // the run before its work, not after.
    if (!part.open(path, &failure))
        return false;
    opened = true;
    pending.reserve(bufferSize);
    // A link is replaced by a file, as it always was; it is not compared.
    const QFileInfo info(path);
    if (info.isFile() && !info.isSymLink()) {
        old.setFileName(path);
        if (!old.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            old.setFileName(QString());
    }
    return true;
}

bool ReplacingFile::write(const QByteArray &bytes)
{
    if (!failure.isEmpty())
        return false;
    // A large piece goes on as it is, not through the buffer, which would grow to hold it.
    if (bytes.size() >= bufferSize)
        return flush() && put(bytes);
    pending += bytes;
    return pending.size() < bufferSize || flush();
}

bool ReplacingFile::reserve(int size)
{
    Q_ASSERT(reserved < 0);
    reserved = pos();
    reservedBytes = QByteArray(size, '\0');
    return write(reservedBytes);
}

bool ReplacingFile::fill(const QByteArray &bytes)
{
    Q_ASSERT(reserved >= 0 && bytes.size() == reservedBytes.size());
    if (!flush())
        return false;
    const qint64 position = reserved;
    reserved = -1;
    if (old.isOpen()) {
        if (readOld(position, bytes.size(), &found) && found == bytes)
            return true;
        if (!diverge())
            return false;
    }
    QFile &file = part.file();
    return (file.seek(position) || fail(file.errorString())) && writePart(bytes)
        && (file.seek(done) || fail(file.errorString()));
}

bool ReplacingFile::prepare()
{
    if (!flush())
        return false;
    if (old.isOpen() && old.size() == done && keepOld()) {
        old.close();
        part.discard();
    } else {
        QString reason;
        if ((old.isOpen() && !diverge()) || !part.sync(&reason))
            return fail(reason);
    }
    prepared = true;
    return true;
}

bool ReplacingFile::commit()
{
    if (!prepared && !prepare())
        return false;
    QString reason;
    if (part.isOpen() && !part.rename(&reason))
        return fail(reason);
    opened = false;
    return true;
}

bool ReplacingFile::flush()
{
    if (!failure.isEmpty())
        return false;
    if (pending.isEmpty())
        return true;
    if (!put(pending))
        return false;
    pending.resize(0); // keeps the reserved buffer
    return true;
}

// Compares bytes that follow `done` with the old file, or writes them to the part once they
// differ.
bool ReplacingFile::put(const QByteArray &bytes)
{
    if (old.isOpen() && !compare(bytes) && !diverge())
        return false;
    if (!old.isOpen() && !writePart(bytes))
        return false;
    done += bytes.size();
    return true;
}

// Whether the old file holds these bytes at `done`, read a buffer at a time; the reserved range
// counts as matching.
bool ReplacingFile::compare(const QByteArray &bytes)
{
    quint32 crc = matchedCrc;
    for (qint64 at = 0; at < bytes.size(); at += bufferSize) {
        const qint64 position = done + at;
        const qint64 size = qMin<qint64>(bufferSize, bytes.size() - at);
        if (!readOld(position, size, &found))
            return false;
        crc = libdeflate_crc32(crc, found.constData(), size_t(size));
        const qint64 from = qMax(reserved, position);
        const qint64 to = qMin(reserved + reservedBytes.size(), position + size);
        if (reserved >= 0 && from < to)
            std::memcpy(found.data() + (from - position), bytes.constData() + (from - done),
                        size_t(to - from));
        if (std::memcmp(found.constData(), bytes.constData() + at, size_t(size)) != 0)
            return false;
    }
    matchedCrc = crc;
    return true;
}

// False when the old file is shorter or cannot be read there; a read failure is not kept as
// the run's failure, since the old file is only being compared.
bool ReplacingFile::readOld(qint64 position, qint64 size, QByteArray *bytes)
{
    bytes->resize(int(size));
    return old.seek(position) && old.read(bytes->data(), size) == size;
}

// Makes the part hold the bytes compared so far, copied from the old file, and writes there from
// now on. The copy must be what was compared: an old file changed in place since would put
// bytes into the part that were never written.
bool ReplacingFile::diverge()
{
    quint32 crc = 0;
    for (qint64 position = 0; position < done;) {
        if (!readOld(position, qMin<qint64>(bufferSize, done - position), &found)) {
            // Bytes that matched can no longer be read: the run fails with the old file's
            // reason rather than publish a file with a hole.
            const QString reason = old.error() != QFileDevice::NoError
                ? old.errorString()
                : QCoreApplication::translate("MainWindow", "Die Datei endet vorzeitig.");
            old.close();
            return fail(reason);
        }
        crc = libdeflate_crc32(crc, found.constData(), size_t(found.size()));
        if (!writePart(found))
            return false;
        position += found.size();
    }
    old.close();
    return crc == matchedCrc || fail(QStringLiteral("Datei wurde während des Lesens geändert"));
}

bool ReplacingFile::writePart(const QByteArray &bytes)
{
    QString reason;
    return writeAll(part.file(), bytes, &reason) || fail(reason);
}

// The old file counts as written only once it is on the disk, and only while its name is still
// its own: a file renamed over it during the run is replaced with what was written. One that
// cannot be opened for the sync (read-only, say) is replaced as any other. Not noticed: an old
// file rewritten in place, at its size, after it was compared (it would have to be read again).
bool ReplacingFile::keepOld()
{
    if (!namesOpenFile(target, &old))
        return false;
    QFile file(target);
    QString reason;
    return file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly) && syncFile(&file, &reason);
}

bool ReplacingFile::fail(const QString &reason)
{
    if (failure.isEmpty())
        failure = reason;
    return false;
}
