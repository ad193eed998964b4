#pragma once

#include "package/filework.h"

#include <QFuture>
#include <QVector>

#include <deque>

// Source files handed to the thread pool well ahead of the one the builder stores next, so that
// every core stays busy while it writes; their work comes back in the order they were added.
// How far ahead is bounded by a number of files and by the bytes their work may hold.
class FileWorkQueue
{
public:
    FileWorkQueue() = default;
    ~FileWorkQueue();
    FileWorkQueue(const FileWorkQueue &) = delete;
    FileWorkQueue &operator=(const FileWorkQueue &) = delete;

    // Whether another file may be added now; always when none is in flight.
    bool hasRoom() const;
    void add(const FileJob &job);
    // The work of the oldest file in flight, once done; this thread does it itself when no
    // worker has started it yet.
    FileWork takeOldest();
    // Waits for every file still in flight and gives their work.
    QVector<FileWork> drain();

private:
    struct InFlight
    {
        QFuture<FileWork> work;
        qint64 weight;
    };
    std::deque<InFlight> inFlight;
    qint64 weight = 0;
};
