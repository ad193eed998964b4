#include "package/fileworkqueue.h"

#include "package/deflateblocks.h"
#include "package/payload.h"

#include <QtConcurrent>

namespace {

// Deep enough that thousands of small files keep both cores busy between two writes of the
// builder, shallow enough that the work held stays far below the size of a large release.
constexpr int maxFiles = 256;
constexpr qint64 maxWeight = 64 << 20;
// A large file holds no more than its payload read whole or its blocks in flight, whatever its
// size.
constexpr qint64 largeFileWeight = qMax(wholeExpansionLimit, 8 * payloadBlockSize);

} // namespace

FileWorkQueue::~FileWorkQueue()
{
    drain();
}

bool FileWorkQueue::hasRoom() const
{
    return inFlight.empty() || (int(inFlight.size()) < maxFiles && weight < maxWeight);
}

void FileWorkQueue::add(const FileJob &job)
{
    const qint64 jobWeight = qMin(job.size, largeFileWeight);
    inFlight.push_back({QtConcurrent::run(hashAndCompress, job), jobWeight});
    weight += jobWeight;
}

FileWork FileWorkQueue::takeOldest()
{
    const InFlight oldest = inFlight.front();
    inFlight.pop_front();
    weight -= oldest.weight;
    return oldest.work.result();
}

QVector<FileWork> FileWorkQueue::drain()
{
    QVector<FileWork> works;
    while (!inFlight.empty())
        works.append(takeOldest());
    return works;
}
