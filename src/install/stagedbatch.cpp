#include "install/stagedbatch.h"

#include "install/stagedwrite.h"
#include "platform/platformservices.h"

#include <QFile>

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
    folded.clear();
    bytes = 0;
}

void StagedBatch::add(const QString &target, qint64 size)
{
    targets.append(target);
    folded.insert(target.toLower());
    bytes += size;
}

bool StagedBatch::holds(const QString &target) const
{
    return folded.contains(target.toLower());
}

bool StagedBatch::isFull() const
{
    return targets.size() >= maxFiles || bytes >= maxBytes;
}

StagedBatch::Outcome StagedBatch::commit()
{
    Outcome outcome;
    QStringList staged;
    for (const QString &target : qAsConst(targets))
        staged.append(StagedWrite::stagingPath(target));
    QString failedPath;
    // A second sync would not report the failure again though the data never reached the
    // disk: after a failed one, no file of the batch may take its name.
    if (!staged.isEmpty() && !platform.syncFilesToDisk(staged, &failedPath, &outcome.error)) {
        outcome.failedTarget = targets.first();
        discard();
        return outcome;
    }
    while (!targets.isEmpty()) {
        const QString target = targets.takeFirst();
        if (!platform.replace(StagedWrite::stagingPath(target), target, &outcome.error)) {
            QFile::remove(StagedWrite::stagingPath(target));
            outcome.failedTarget = target;
            break;
        }
        outcome.moved.append(target);
    }
    discard();
    return outcome;
}
