#include "install/stagedwrite.h"

#include "common/installationlayout.h"

#include "package/hashname.h"
#include "platform/platform.h"
#include "platform/platformservices.h"

#include <QBuffer>
#include <QFile>

QString StagedWrite::stagingPath(const QString &target)
{
    return target + InstallationLayout::stagingSuffix;
}

StagedWrite::Result StagedWrite::write(const QString &target, const QByteArray &data,
                                       PlatformServices &platform, QString *error)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QString hash;
    return copy(target, buffer, data.size(), QString(), platform, error, &hash);
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

StagedWrite::Result StagedWrite::copy(const QString &target, QIODevice &source, qint64 length,
                                      const QString &sha256, PlatformServices &platform,
                                      QString *error, QString *hash, const Times *times)
{
    const Result result = writeStaging(target, source, length, sha256, &platform, error, hash,
                                       times, Leftover::Replace);
    if (result != Written)
        return result;
    if (platform.replace(stagingPath(target), target, error))
        return Written;
    QFile::remove(stagingPath(target));
    return WriteFailed;
}

StagedWrite::Result StagedWrite::stage(const QString &target, QIODevice &source, qint64 length,
                                       const QString &sha256, QString *error, QString *hash,
                                       const Times *times, Leftover leftover)
{
    return writeStaging(target, source, length, sha256, nullptr, error, hash, times, leftover);
}

StagedWrite::Result StagedWrite::writeStaging(const QString &target, QIODevice &source,
                                              qint64 length, const QString &sha256,
                                              PlatformServices *platform, QString *error,
                                              QString *hash, const Times *times, Leftover leftover)
{
    if (leftover == Leftover::Replace)
        QFile::remove(stagingPath(target));
    QFile file(stagingPath(target));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return OpenFailed;
    }
    Result result = Written;
    if (!copyHashed(source, length, file, hash, error))
        result = WriteFailed;
    else if (!sha256.isEmpty() && *hash != sha256)
        result = HashMismatch;
    // The bytes reach the disk before the name does: after a power cut the target is the old
    // file or the new one, never an empty one.
    else if (!keepFileMode(&file, target, error) || !setTimes(&file, times, error)
             || (platform && !platform->syncToDisk(&file, error)))
        result = WriteFailed;
    file.close();
    if (result != Written)
        file.remove();
    return result;
}
