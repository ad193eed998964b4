#include "package/filework.h"

#include "package/datafileclaims.h"
#include "package/deflateblocks.h"
#include "package/durablefile.h"
#include "package/hashname.h"
#include "package/packagelog.h"
#include "package/payload.h"
#include "package/payloadcompressor.h"
#include "package/payloadstream.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString tooLarge()
{
    return QStringLiteral("Datei zu groß für ein Update-Paket");
}

QString dataPathOf(const FileJob &job, const QString &hashName)
{
    return job.targetDir + hashName + QLatin1String(".bin");
}

FileWork failedWork(const char *step, const QString &path, const QString &reason)
{
    FileWork work;
    work.error = reportFailure(step, path, reason);
    return work;
}

bool fail(FileWork *work, const char *step, const QString &path, const QString &reason)
{
    work->error = reportFailure(step, path, reason);
    return false;
}

// The payload of an existing data file that holds exactly this content, taken when it is found.
// One cut short by a full disk or a killed run, or holding anything else, is written again, not
// published. Only a regular file counts: a device or a pipe under that name would be read
// without end. False when the file exists but cannot be read.
bool takeSmallDataFile(const QString &dataPath, const QByteArray &content, FileWork *work)
{
    const QFileInfo info(dataPath);
    if (!info.isFile())
        return true;
    // Clients refuse a data file larger than this; it is not read either.
    if (info.size() <= payloadSizeLimit(content.size())) {
        QFile file(dataPath);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return fail(work, FailedStep::open, dataPath, file.errorString());
        const QByteArray payload = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return fail(work, FailedStep::open, dataPath, file.errorString());
        if (payloadExpandsTo(payload, content)) {
            work->payload = payload;
            work->payloadPath = dataPath;
            return true;
        }
    }
    qCDebug(lcPackage) << "Beschädigte Datendatei wird neu geschrieben:" << dataPath;
    return true;
}

// The payload of a large data file up to the whole-expansion limit, read and expanded whole and
// then held for the offline update file; beyond it, expanded block by block. Either way it must
// hold the content of this hash name.
bool largePayloadHolds(QFile &file, qint64 length, FileWork *work)
{
    if (length <= wholeExpansionLimit && work->size <= wholeExpansionLimit) {
        QByteArray payload = file.read(length);
        if (payload.size() != length || !payloadHolds(payload, work->size, work->hashName))
            return false;
        work->payload = std::move(payload);
        return true;
    }
    const ExpandedPayload found = inspectPayload(file, length);
    return found.status == ExpandedPayload::Expanded && found.unread == 0
        && found.size == work->size && found.hashName == work->hashName;
}

// As takeSmallDataFile, the content known by its hash name.
bool takeLargeDataFile(const QString &dataPath, FileWork *work)
{
    const QFileInfo info(dataPath);
    if (!info.isFile())
        return true;
    QFile file(dataPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(work, FailedStep::open, dataPath, file.errorString());
    // Clients refuse a data file larger than this; bytes after the stream are not what this
    // builder writes: either way the data file is written again.
    if (info.size() <= payloadSizeLimit(work->size) && largePayloadHolds(file, info.size(), work)) {
        work->payloadPath = dataPath;
        return true;
    }
    if (file.error() != QFileDevice::NoError)
        return fail(work, FailedStep::open, dataPath, file.errorString());
    qCDebug(lcPackage) << "Beschädigte Datendatei wird neu geschrieben:" << dataPath;
    return true;
}

bool writePart(const QString &dataPath, const QByteArray &payload, FileWork *work)
{
    if (!writeUnsyncedPart(dataPath, payload, &work->error))
        return false;
    work->payloadPath = partPathOf(dataPath);
    work->writtenDataFile = dataPath;
    return true;
}

// Reads the content a second time, compresses it block by block on the pool and writes the
// payload as the data file's part. The file must still hold what was hashed.
bool compressLargeFile(const FileJob &job, QFile &source, const QString &dataPath, FileWork *work)
{
    PartFile part;
    QString reason;
    if (!part.open(dataPath, &reason))
        return fail(work, FailedStep::open, dataPath, reason);
    if (!source.seek(0))
        return fail(work, FailedStep::open, job.path, source.errorString());
    PayloadCompressor compressor(part.file(), work->size);
    HashNameStream hash;
    for (qint64 left = work->size; left > 0;) {
        const QByteArray block = source.read(qMin(payloadBlockSize, left));
        if (source.error() != QFileDevice::NoError)
            return fail(work, FailedStep::open, job.path, source.errorString());
        if (block.isEmpty())
            break;
        hash.add(block.constData(), block.size());
        left -= block.size();
        if (!compressor.add(block))
            return fail(work, FailedStep::write, dataPath, compressor.errorString());
    }
    // Cut short or changed since it was hashed: its data file would not hold what its name says.
    if (hash.finish() != work->hashName)
        return fail(work, FailedStep::open, job.path,
                    QStringLiteral("Datei wurde während des Lesens geändert"));
    if (!compressor.finish())
        return fail(work, FailedStep::write, dataPath, compressor.errorString());
    part.close();
    work->payloadPath = partPathOf(dataPath);
    work->writtenDataFile = dataPath;
    return true;
}

bool readPayload(const QString &path, FileWork *work)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(work, FailedStep::open, path, file.errorString());
    work->payload = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(work, FailedStep::open, path, file.errorString());
    return true;
}

// Another file of the run has the same content and makes its data file: its payload is taken
// once it is there. Content up to a block is held, as the file's own would be.
FileWork takeClaimedPayload(const FileJob &job, FileWork work)
{
    const DataFileClaims::Outcome first = job.claims->await(work.hashName);
    work.error = first.error;
    work.payloadPath = first.payloadPath;
    work.ok = first.ok && (work.size > payloadBlockSize || readPayload(first.payloadPath, &work));
    return work;
}

void settleClaim(const FileJob &job, const FileWork &work)
{
    job.claims->settle(work.hashName, {work.ok, work.payloadPath, work.error});
}

bool provideSmallPayload(const FileJob &job, const QByteArray &content, FileWork *work)
{
    const QString dataPath = dataPathOf(job, work->hashName);
    if (!takeSmallDataFile(dataPath, content, work))
        return false;
    if (!work->payloadPath.isEmpty())
        return true;
    work->payload = compressPayload(content);
    return writePart(dataPath, work->payload, work);
}

FileWork smallFile(const FileJob &job, const QByteArray &content)
{
    FileWork work;
    work.size = content.size();
    work.hashName = hashName(content);
    if (!job.claims->claim(work.hashName))
        return takeClaimedPayload(job, work);
    work.ok = provideSmallPayload(job, content, &work);
    settleClaim(job, work);
    return work;
}

FileWork largeFile(const FileJob &job, QFile &file)
{
    FileWork work;
    QString reason;
    if (!hashNameOfDevice(&file, -1, &work.hashName, &reason))
        return failedWork(FailedStep::open, job.path, reason);
    work.size = file.pos();
    // Grown past the format's limit since the walk measured it.
    if (!fitsInPayload(work.size))
        return failedWork(FailedStep::open, job.path, tooLarge());
    if (!job.claims->claim(work.hashName))
        return takeClaimedPayload(job, work);
    const QString dataPath = dataPathOf(job, work.hashName);
    work.ok = takeLargeDataFile(dataPath, &work)
        && (!work.payloadPath.isEmpty() || compressLargeFile(job, file, dataPath, &work));
    settleClaim(job, work);
    return work;
}

} // namespace

FileWork hashAndCompress(const FileJob &job)
{
    QFile file(job.path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return failedWork(FailedStep::open, job.path, file.errorString());
    if (!fitsInPayload(job.size))
        return failedWork(FailedStep::open, job.path, tooLarge());
    if (job.size <= payloadBlockSize) {
        // One byte more than the walk found shows a file that grew since: it is read in blocks.
        const QByteArray content = file.read(job.size + 1);
        if (file.error() != QFileDevice::NoError)
            return failedWork(FailedStep::open, job.path, file.errorString());
        if (content.size() <= job.size)
            return smallFile(job, content);
        if (!file.seek(0))
            return failedWork(FailedStep::open, job.path, file.errorString());
    }
    return largeFile(job, file);
}
