#include "durablefile.h"
#include "packagelog.h"

#include "platform/platform.h"

#include <QFile>
#include <QRandomGenerator>

namespace {

// Random, so that a file left behind by a killed run never stands in the way of the next one.
QString temporaryNameBeside(const QString &path)
{
    return path + QLatin1Char('.') + QString::number(QRandomGenerator::global()->generate64(), 36)
        + QLatin1String(".tmp");
}

} // namespace

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

bool syncToDisk(QFile &file, QString *reason)
{
    if (syncFile(&file))
        return true;
    *reason = windowsErrorText();
    return false;
}

bool writeFileDurably(const QString &path, const QByteArray &data, QString *error)
{
    QFile file(temporaryNameBeside(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        *error = reportFailure(FailedStep::open, path, file.errorString());
        return false;
    }
    QString reason;
    const bool written = writeAll(file, data, &reason) && syncToDisk(file, &reason);
    file.close();
    if (written && replaceFile(file.fileName(), path))
        return true;
    if (written)
        reason = windowsErrorText();
    file.remove();
    *error = reportFailure(FailedStep::write, path, reason);
    return false;
}

PartFile::PartFile(const QString &path)
    : part(std::make_unique<QFile>())
    , target(path)
{
}

PartFile::~PartFile()
{
    if (part->isOpen()) {
        part->close();
        part->remove();
    }
}

bool PartFile::open(const QString &path, QString *reason)
{
    target = path;
    part->setFileName(path + QLatin1String(".part"));
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
    if (!syncToDisk(*part, reason))
        return false;
    part->close();
    if (replaceFile(part->fileName(), target))
        return true;
    *reason = windowsErrorText();
    part->remove();
    return false;
}
