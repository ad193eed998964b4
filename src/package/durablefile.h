#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QFile;
class QIODevice;

// What the builder writes counts as written only when all of it went to the file and the file
// was synced to the disk. The files are opened unbuffered, so that a full disk shows at the
// write that meets it.

// Writes all of data. A short write is no error to the toolkit and carries no reason, so the
// rest is written again until it is done or fails with the system's reason in *reason.
bool writeAll(QIODevice &file, const QByteArray &data, QString *reason);

// Writes data as a ReplacingFile: path holds its old content or all of the new one, and an
// identical file is kept as it is. On failure *error is the builder's failure line for path.
bool writeFileDurably(const QString &path, const QByteArray &data, QString *error);

// Where a file is written before it takes its own name: "<path>.part".
QString partPathOf(const QString &path);

// Writes data as the part of path and closes it without a sync, for a DataFileBatch to commit.
// On failure *error is the builder's failure line for path, and no part is left.
bool writeUnsyncedPart(const QString &path, const QByteArray &data, QString *error);

// A file that replaces another only once it is complete: written as "<path>.part" (a killed
// run's leftover of that name is overwritten), it takes its own name when committed, after a
// sync. One that is neither committed nor closed is removed with the object, so a failed run
// leaves the previous file as it was.
class PartFile
{
public:
    PartFile();
    ~PartFile();
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;

    // Opens the part for reading and writing, unbuffered, truncated.
    bool open(const QString &path, QString *reason);
    bool isOpen() const;
    QFile &file() { return *part; }
    // The path the file takes when committed.
    QString path() const { return target; }
    // Syncs, closes and renames the part to its own name.
    bool commit(QString *reason);
    // The two halves of commit(): one sync of the part, then its close and rename.
    bool sync(QString *reason);
    bool rename(QString *reason);
    // Closes the complete part without a sync: it stays "<path>.part" for a DataFileBatch,
    // which syncs many files at once.
    void close();
    // Closes and removes the part.
    void discard();

private:
    std::unique_ptr<QFile> part;
    QString target;
};
