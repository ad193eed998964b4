#include "package/durablefile.h"
#include "package/packagelog.h"
#include "package/replacingfile.h"

#include "platform/platform.h"

#include <QFile>

bool writeAll(QIODevice &file, const QByteArray &data, QString *reason)
{
    for (qint64 done = 0; done < data.size();) {
        const qint64 written = file.write(data.constData() + done, data.size() - done);
        if (written <= 0) {
            *reason = file.errorString();
            return false;
        }
        done += written;
    }
    return true;
}

bool writeFileDurably(const QString &path, const QByteArray &data, QString *error)
{
    ReplacingFile file;
    if (!file.open(path)) {
        *error = reportFailure(FailedStep::open, path, file.errorString());
        return false;
    }
    if (file.write(data) && file.commit())
        return true;
    *error = reportFailure(FailedStep::write, path, file.errorString());
    return false;
}

QString partPathOf(const QString &path)
{
    return path + QLatin1String(".part");
}

bool writeUnsyncedPart(const QString &path, const QByteArray &data, QString *error)
{
    PartFile file;
    QString reason;
    if (!file.open(path, &reason)) {
        *error = reportFailure(FailedStep::open, path, reason);
        return false;
    }
    if (!writeAll(file.file(), data, &reason)) {
        *error = reportFailure(FailedStep::write, path, reason);
        return false;
    }
    file.close();
    return true;
}

PartFile::PartFile()
    : part(std::make_unique<QFile>())
{
}

PartFile::~PartFile()
{
    discard();
}

void PartFile::discard()
{
    if (part->isOpen()) {
        part->close();
        part->remove();
    }
}

bool PartFile::open(const QString &path, QString *reason)
{
    target = path;
    part->setFileName(partPathOf(path));
    if (part->open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered))
        return true;
    *reason = part->errorString();
    return false;
}

bool PartFile::isOpen() const
{
    return part->isOpen();
}

bool PartFile::commit(QString *reason)
{
    return sync(reason) && rename(reason);
}

bool PartFile::sync(QString *reason)
{
    return syncFile(part.get(), reason);
}

bool PartFile::rename(QString *reason)
{
    part->close();
    if (replaceFile(part->fileName(), target, reason))
        return true;
    part->remove();
    return false;
}

void PartFile::close()
{
    part->close();
}
