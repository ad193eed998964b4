#pragma once

#include "platform/folderhandle.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

class PlatformServices;
class QIODevice;

// Writes a file under the name "<target>.lgtmp" beside its target, in the target's held folder,
// and moves it over the target only when every byte has been written and synced to disk; the
// new file keeps the mode of the one it replaces. A run that stops midway leaves the old target
// intact; the next write of the same target removes the leftover. A link at the target is
// replaced, not written through.
class StagedWrite
{
public:
    enum Result { Written, OpenFailed, WriteFailed, HashMismatch };
    // What becomes of a file already under the staging name: a leftover of a killed run, or a
    // link planted there, is replaced (the staging file is always made new, never opened
    // through a link); refused, it makes the staging fail to open.
    enum class Leftover { Replace, Refuse };

    // The times the new file carries from the moment it takes the target's name.
    struct Times
    {
        QDateTime created;
        QDateTime written;
        QDateTime accessed;
    };

    static Result write(const FolderHandle::File &target, const QByteArray &data,
                        PlatformServices &platform, QString *error);
    // The staging file is written, checked and closed, but neither synced nor moved. Many
    // staged files are then synced together (StagedBatch), which costs the disk one flush
    // instead of one per file. Copies `length` bytes from the source's position in blocks; with
    // `sha256` given, only bytes of that hash name count as written, and *hash receives theirs.
    // A failure leaves no staging file.
    static Result stage(const FolderHandle::File &target, QIODevice &source, qint64 length,
                        const QString &sha256, QString *error, QString *hash,
                        const Times *times = nullptr, Leftover leftover = Leftover::Replace);
    // The staging file's name beside a target's name, or its path beside a target's path.
    static QString stagingName(const QString &target);
    // Removes the target's staging file where there is one, through the target's folder; one
    // that cannot be removed is left to the next start's clean-up.
    static void removeStaging(const FolderHandle::File &target);

private:
    // Writes the staging file; with `platform` it is synced before it is closed.
    static Result writeStaging(const FolderHandle::File &target, QIODevice &source, qint64 length,
                               const QString &sha256, PlatformServices *platform, QString *error,
                               QString *hash, const Times *times, Leftover leftover);
};
