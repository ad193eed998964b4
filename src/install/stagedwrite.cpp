#include "stagedwrite.h"

#include "package/durablefile.h"
#include "platform/platform.h"
#include "platform/platformservices.h"

#include <QFile>

QString StagedWrite::stagingPath(const QString &target)
{
    return target + QLatin1String(".lgtmp");
}

StagedWrite::Result StagedWrite::write(const QString &target, const QByteArray &data,
                                       PlatformServices &platform, QString *error)
{
    // A leftover of a killed run, or a link planted under the staging name, goes first: the
    // staging file is always made new, never opened through a link.
    QFile::remove(stagingPath(target));
    QFile file(stagingPath(target));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return OpenFailed;
    }
    if (!writeAll(file, data, error)) {
        file.close();
        file.remove();
        return WriteFailed;
    }
    // The bytes reach the disk before the name does: after a power cut the target is the old
    // file or the new one, never an empty one.
    if (!keepFileMode(&file, target) || !platform.syncToDisk(&file)) {
        *error = platform.errorText(0);
        file.close();
        file.remove();
        return WriteFailed;
    }
    file.close();
    if (!platform.replace(file.fileName(), target)) {
        *error = platform.errorText(0);
        file.remove();
        return WriteFailed;
    }
    return Written;
}
