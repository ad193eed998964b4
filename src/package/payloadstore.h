#pragma once

#include <QSharedPointer>
#include <QTemporaryFile>

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
