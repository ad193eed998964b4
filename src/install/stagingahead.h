#pragma once

#include "install/stagednames.h"
#include "install/stagedwrite.h"

#include <QFile>
#include <QFuture>
#include <QHash>
#include <QMutex>
#include <QThreadPool>

#include <atomic>

class QFileDevice;

// Files staged ahead on a second core while the installation takes its entries in order: the
// copy from the store, its hash and the staging file's mode and times are most of an
// installation's work, and the next files' copies need nothing of the current one. The store
// is read through a handle of its own; when none can be opened, nothing is staged ahead.
// A job stages into its target's held folder; should that folder have been moved meanwhile,
// the installation finds it so before it takes the job, and discards it. A file already under
// the staging name (a leftover, a link, or another target's
// under a name only the file system knows as the same) makes it fail, so that the installation
// stages that file in order. Staging files that are not taken are removed with the jobs
// (discard, or the destructor).
class StagingAhead
{
public:
    struct Job
    {
        FolderHandle::File target;
        qint64 offset = 0;
        qint64 size = 0;
        QString sha256;
        StagedWrite::Times times;
    };

    explicit StagingAhead(QFileDevice *store);
    ~StagingAhead();
    StagingAhead(const StagingAhead &) = delete;
    StagingAhead &operator=(const StagingAhead &) = delete;

    // Whether one more job of this size fits: the files staged ahead take room beside their
    // targets, as the batch's do, and are bounded like them (in files and megabytes).
    bool hasRoomFor(qint64 size) const;
    // Starts staging the job for the entry at this position of the installation's order.
    void start(int position, const Job &job);
    bool has(int position) const { return jobs.contains(position); }
    QString target(int position) const { return targets.value(position).path(); }
    // Whether a job under way writes this target or its staging file, or a file inside it,
    // compared as StagedBatch does.
    bool claims(const QString &target) const;
    // Waits for the job at this position and hands its outcome over; its staging file (when
    // written) is then the caller's. A job that failed left no staging file.
    // *target receives the job's target.
    StagedWrite::Result take(int position, FolderHandle::File *target);
    // Ends every job (those not begun do nothing) and removes the staging files they wrote.
    void discard();

private:
    StagedWrite::Result stage(const Job &job);

    QFile store;
    QMutex storeInUse; // the second handle is read by one job at a time
    std::atomic<bool> discarding {false};
    QThreadPool pool;
    QHash<int, QFuture<StagedWrite::Result>> jobs;
    QHash<int, FolderHandle::File> targets;
    QHash<int, qint64> sizes;
    StagedNames names; // of the targets under way
    qint64 bytes = 0;
};
