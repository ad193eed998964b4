#include "install/stagedwrite.h"

#include "common/installationlayout.h"

#include "package/hashname.h"
#include "platform/platform.h"
#include "platform/platformservices.h"

#include <QBuffer>
#include <QFile>

QString StagedWrite::stagingName(const QString &target)
{
    return target + InstallationLayout::stagingSuffix;
}

void StagedWrite::removeStaging(const FolderHandle::File &target)
{
    QString ignored;
    target.folder->removeFile(stagingName(target.name), &ignored);
}

StagedWrite::Result StagedWrite::write(const FolderHandle::File &target, const QByteArray &data,
                                       PlatformServices &platform, QString *error)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QString hash;
    const Result result = writeStaging(target, buffer, data.size(), QString(), &platform, error,
                                       &hash, nullptr, Leftover::Replace);
    if (result != Written)
        return result;
    if (platform.replace(*target.folder, stagingName(target.name), target.name, error))
        return Written;
    removeStaging(target);
    return WriteFailed;
}

StagedWrite::Result StagedWrite::stage(const FolderHandle::File &target, QIODevice &source,
                                       qint64 length, const QString &sha256, QString *error,
                                       QString *hash, const Times *times, Leftover leftover)
{
    return writeStaging(target, source, length, sha256, nullptr, error, hash, times, leftover);
}

namespace {

// A run killed right after the rename must not leave a whole file with the time of the
// installation: the next check would find it current and never set its times.
bool setTimes(QFile *file, const StagedWrite::Times *times, QString *error)
{
    return !times
        || setFileTimes(file->fileName(), false, times->created, times->written, times->accessed,
                        file, error);
}

} // namespace

StagedWrite::Result StagedWrite::writeStaging(const FolderHandle::File &target, QIODevice &source,
                                              qint64 length, const QString &sha256,
                                              PlatformServices *platform, QString *error,
                                              QString *hash, const Times *times, Leftover leftover)
{
    const FolderHandle &folder = *target.folder;
    if (leftover == Leftover::Replace)
        removeStaging(target);
    QFile file;
    if (!folder.createFile(stagingName(target.name), &file, error))
        return OpenFailed;
    Result result = Written;
    if (!copyHashed(source, length, file, hash, error))
        result = WriteFailed;
    else if (!sha256.isEmpty() && *hash != sha256)
        result = HashMismatch;
    // The bytes reach the disk before the name does: after a power cut the target is the old
    // file or the new one, never an empty one.
    else if (!folder.keepFileMode(&file, target.name, error) || !setTimes(&file, times, error)
             || (platform && !platform->syncToDisk(&file, error)))
        result = WriteFailed;
    file.close();
    if (result != Written)
        removeStaging(target);
    return result;
}
