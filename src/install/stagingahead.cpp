#include "install/stagingahead.h"

#include <QMutexLocker>
#include <QtConcurrent>

namespace {

constexpr int maxJobs = 128;
constexpr qint64 maxBytes = 32 << 20;

} // namespace

StagingAhead::StagingAhead(QFileDevice *store)
{
    pool.setMaxThreadCount(1);
    if (store)
        this->store.setFileName(store->fileName());
    if (!this->store.fileName().isEmpty())
        this->store.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

StagingAhead::~StagingAhead()
{
    discard();
}

bool StagingAhead::hasRoomFor(qint64 size) const
{
    return store.isOpen() && jobs.size() < maxJobs && (jobs.isEmpty() || bytes + size <= maxBytes);
}

void StagingAhead::start(int position, const Job &job)
{
    jobs.insert(position, QtConcurrent::run(&pool, [this, job] { return stage(job); }));
    targets.insert(position, job.target);
    sizes.insert(position, job.size);
    names.add(job.target.path());
    bytes += job.size;
}

StagedWrite::Result StagingAhead::stage(const Job &job)
{
    // A thread waiting for a job may run it itself while the pool's thread runs another.
    QMutexLocker locker(&storeInUse);
    if (discarding || !store.seek(job.offset))
        return StagedWrite::OpenFailed;
    QString error;
    QString hash;
    return StagedWrite::stage(job.target, store, job.size, job.sha256, &error, &hash, &job.times,
                              StagedWrite::Leftover::Refuse);
}

bool StagingAhead::claims(const QString &target) const
{
    return names.collides(target);
}

StagedWrite::Result StagingAhead::take(int position, FolderHandle::File *target)
{
    const StagedWrite::Result outcome = jobs.take(position).result();
    *target = targets.take(position);
    names.remove(target->path());
    bytes -= sizes.take(position);
    return outcome;
}

void StagingAhead::discard()
{
    discarding = true;
    for (auto it = jobs.begin(); it != jobs.end(); ++it) {
        if (it->result() == StagedWrite::Written)
            StagedWrite::removeStaging(targets.value(it.key()));
    }
    discarding = false;
    jobs.clear();
    targets.clear();
    sizes.clear();
    names.clear();
    bytes = 0;
}
