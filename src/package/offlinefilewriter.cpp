#include "offlinefilewriter.h"
#include "offlinefile.h"

bool OfflineFileWriter::open(const QString &path, qint32 releaseYear)
{
    file.setFileName(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return false;
    stream.setDevice(&file);
    stream.setVersion(OfflineFile::streamVersion);
    stream << OfflineFile::identifier() << releaseYear;
    countPosition = file.pos();
    count = 0;
    stream << count;
    return !hasStreamError();
}

bool OfflineFileWriter::appendRecord(const QString &hashName, qint32 groupIndex, qint32 fileIndex,
                                     const QByteArray &payload)
{
    stream << hashName << groupIndex << fileIndex << payload;
    if (hasStreamError())
        return false;
    ++count;
    const qint64 end = file.pos();
    if (!file.seek(countPosition))
        return false;
    stream << count;
    return file.seek(end) && !hasStreamError();
}

bool OfflineFileWriter::appendDocument(const QByteArray &payload)
{
    stream << payload;
    return !hasStreamError();
}

bool OfflineFileWriter::finish()
{
    const bool ok = !hasStreamError() && file.flush();
    file.close();
    return ok;
}
