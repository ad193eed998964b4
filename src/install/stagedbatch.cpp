#include "install/stagedbatch.h"

#include "install/stagedwrite.h"
#include "platform/platformservices.h"

#include <QFileInfo>

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
    for (const QString &target : qAsConst(targets))
        QFile::remove(StagedWrite::stagingPath(target));
    targets.clear();
    names.clear();
    bytes = 0;
}

void StagedBatch::add(const QString &target, qint64 size)
{
    targets.append(target);
    names.add(target);
    bytes += size;
}

bool StagedBatch::isFull() const
{
    return targets.size() >= maxFiles || bytes >= maxBytes;
}

bool StagedBatch::collides(const QString &target) const
{
    if (targets.isEmpty())
        return false;
    // The file system may know other names for the same file (short names, its own case
    // folding): a staging file already there may be one of the batch's.
    return names.collides(target) || QFileInfo::exists(StagedWrite::stagingPath(target));
}

StagedBatch::Outcome StagedBatch::commit()
{
    Outcome outcome;
    if (targets.isEmpty())
        return outcome;
    QStringList staged;
    for (const QString &target : qAsConst(targets))
        staged.append(StagedWrite::stagingPath(target));
    QString failedPath;
    // A second sync would not report the failure again though the data never reached the
    // disk: after a failed one, no file of the batch synced after it may take its name.
    if (!platform.syncFilesToDisk(staged, &failedPath, &outcome.error)) {
        const int failed = qMax(0, staged.indexOf(failedPath));
        const QString error = outcome.error;
        move(&outcome, failed);
        if (outcome.failedTarget.isEmpty()) {
            outcome.failedTarget = targets.value(0);
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
        const QString target = targets.takeFirst();
        // Made writable only now: a run that stops before this file leaves its target untouched.
        if (QFileInfo::exists(target))
            platform.makeFileWritable(target);
        if (!platform.replace(StagedWrite::stagingPath(target), target, &outcome->error)) {
            QFile::remove(StagedWrite::stagingPath(target));
            outcome->failedTarget = target;
            return;
        }
        outcome->moved.append(target);
    }
}
