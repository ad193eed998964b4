#pragma once

#include "install/stagednames.h"
#include "platform/folderhandle.h"

#include <QString>
#include <QStringList>
#include <QVector>

class PlatformServices;

// Staged files (StagedWrite::stage) waiting to take their targets' names together: one sync of
// them all, then one move each. A sync per file made the disk wait thousands of times in an
// installation. The batch is bounded in files and bytes, so that the extra room the staged
// copies take beside the old files stays small. What is not committed is removed with the batch.
class StagedBatch
{
public:
    static constexpr int maxFiles = 256;
    static constexpr qint64 maxBytes = 32 << 20;

    explicit StagedBatch(PlatformServices &platform);
    ~StagedBatch();
    StagedBatch(const StagedBatch &) = delete;
    StagedBatch &operator=(const StagedBatch &) = delete;

    // A target whose staging file is complete.
    void add(const FolderHandle::File &target, qint64 bytes);
    bool isFull() const;
    bool isEmpty() const { return targets.isEmpty(); }
    // Whether staging this target now could change what the batch holds: the same file under
    // another spelling (case, "./", separators), a target named like a staging file of the batch or
    // the other way round, or a target inside a staged target. Such a target waits for the batch to
    // be committed.
    bool collides(const QString &target) const;
    // Whether a file stands under the target's staging name while the batch holds files: it
    // may be one of the batch's under a name only the file system knows as the same (short
    // names, its own case folding). Such a target waits as well.
    bool mayHoldStagingFileOf(const FolderHandle::File &target) const;

    struct Outcome
    {
        QStringList moved; // the targets that now hold their new content, in the order added
        QString failedTarget; // empty when every target was moved
        QString error;
        // The failed target's folder is no longer where its path leads: nothing was moved
        // into it any more.
        bool folderChanged = false;
    };
    // Syncs every staged file, then moves each over its target in the order added, stopping at
    // the first move that fails. After a failed sync only the files synced before the one that
    // failed are moved (where the system syncs file by file); the failure names that file, or
    // the first of the batch when the system cannot tell. The batch is empty afterwards.
    Outcome commit();

private:
    void discard();
    void move(Outcome *outcome, int count);

    PlatformServices &platform;
    QVector<FolderHandle::File> targets;
    StagedNames names;
    qint64 bytes = 0;
};
