#include "install/stagedbatch.h"

#include "install/stagedwrite.h"
#include "platform/platformservices.h"

StagedBatch::StagedBatch(PlatformServices &platform)
    : platform(platform)
{
}

StagedBatch::~StagedBatch()
{
    discard();
}

void StagedBatch::discard()
{
    for (const FolderHandle::File &target : qAsConst(targets))
        StagedWrite::removeStaging(target);
    targets.clear();
    names.clear();
    bytes = 0;
}

void StagedBatch::add(const FolderHandle::File &target, qint64 size)
{
    targets.append(target);
    names.add(target.path());
    bytes += size;
}

bool StagedBatch::isFull() const
{
    return targets.size() >= maxFiles || bytes >= maxBytes;
}

bool StagedBatch::collides(const QString &target) const
{
    return names.collides(target);
}

bool StagedBatch::mayHoldStagingFileOf(const FolderHandle::File &target) const
{
    return !targets.isEmpty()
        && target.folder->entryAt(StagedWrite::stagingName(target.name))
        != FolderHandle::Entry::Missing;
}

StagedBatch::Outcome StagedBatch::commit()
{
    Outcome outcome;
    if (targets.isEmpty())
        return outcome;
    QVector<FolderHandle::File> staged;
    for (const FolderHandle::File &target : qAsConst(targets))
        staged.append({target.folder, StagedWrite::stagingName(target.name)});
    int failed = -1;
    // A second sync would not report the failure again though the data never reached the
    // disk: after a failed one, no file of the batch synced after it may take its name.
    if (!platform.syncFilesToDisk(staged, &failed, &outcome.error)) {
        const QString error = outcome.error;
        move(&outcome, qMax(0, failed));
        if (outcome.failedTarget.isEmpty()) {
            outcome.failedTarget = targets.value(0).path();
            outcome.error = error;
        }
        discard();
        return outcome;
    }
    move(&outcome, targets.size());
    discard();
    return outcome;
}

// Moves the first `count` staged files over their targets, stopping at the first that fails.
void StagedBatch::move(Outcome *outcome, int count)
{
    for (int i = 0; i < count; ++i) {
        const FolderHandle::File target = targets.takeFirst();
        // Made writable only now: a run that stops before this file leaves its target untouched.
        if (target.folder->entryAt(target.name) != FolderHandle::Entry::Missing)
            platform.makeFileWritable(*target.folder, target.name);
        if (!platform.replace(*target.folder, StagedWrite::stagingName(target.name), target.name,
                              &outcome->error)) {
            StagedWrite::removeStaging(target);
            outcome->failedTarget = target.path();
            return;
        }
        // The rename went into the held folder wherever it is now. Moved away since the file
        // was staged, the folder took the file with it: that is no file written at its path,
        // and nothing more is moved.
        if (!target.folder->isAtItsPath()) {
            outcome->folderChanged = true;
            outcome->failedTarget = target.path();
            return;
        }
        outcome->moved.append(target.path());
    }
}
