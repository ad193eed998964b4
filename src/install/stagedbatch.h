#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

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
    void add(const QString &target, qint64 bytes);
    bool isFull() const;
    // Whether the target may already be staged: a second staging file for it would replace the
    // first before either was moved. Case is ignored, as Windows ignores it.
    bool holds(const QString &target) const;

    struct Outcome
    {
        QStringList moved; // the targets that now hold their new content, in the order added
        QString failedTarget; // empty when every target was moved
        QString error;
    };
    // Syncs every staged file, then moves each over its target in the order added, stopping at
    // the first move that fails. After a failed sync none is moved: the failure names the first
    // target. The batch is empty afterwards.
    Outcome commit();

private:
    void discard();

    PlatformServices &platform;
    QStringList targets;
    QSet<QString> folded; // the targets in lower case
    qint64 bytes = 0;
};
