#pragma once

#include <QSharedPointer>
#include <QString>
#include <QTemporaryFile>
#include <QVector>

// The temporary file that holds expanded payloads back to back until they are installed. It is
// written without a buffer, so a full disk shows in the write that hits it rather than in a
// later flush; it is removed when its last reference goes.
class PayloadStore : public QTemporaryFile
{
public:
    bool openStore() { return open(QIODevice::ReadWrite | QIODevice::Unbuffered); }

    // A new store in the system's temporary folder, named after this process.
    static QSharedPointer<QTemporaryFile> create();
    // Removes the stores that killed runs left behind: those whose process has ended.
    static void removeStale();
};

// A payload's place in a store.
struct StoredPayload
{
    qint64 offset = 0;
    qint64 size = 0;
};

// The hash name of each payload, in order; an empty name for one that could not be read. A
// store of some megabytes is hashed on two cores: the first payloads through a second handle
// of the store's file, the others through the store itself, whose position changes.
QVector<QString> hashStoredPayloads(QFileDevice *store, const QVector<StoredPayload> &payloads);
