#include "package/datafilebatch.h"

#include "package/durablefile.h"
#include "package/packagelog.h"

#include "platform/platform.h"

#include <QFile>

DataFileBatch::~DataFileBatch()
{
    discard();
}

void DataFileBatch::discard()
{
    for (const QString &path : qAsConst(paths))
        QFile::remove(partPathOf(path));
    paths.clear();
}

void DataFileBatch::add(const QString &path)
{
    paths.append(path);
}

bool DataFileBatch::commit(QString *error)
{
    QStringList parts;
    for (const QString &path : qAsConst(paths))
        parts.append(partPathOf(path));
    QString failedPath;
    QString reason;
    if (!syncFiles(parts, &failedPath, &reason)) {
        *error = reportFailure(FailedStep::write, failedPath, reason);
        // A second sync would not report the failure again, though the data never reached
        // the disk: no part of this batch may take its name.
        discard();
        return false;
    }
    while (!paths.isEmpty()) {
        if (!replaceFile(partPathOf(paths.first()), paths.first(), &reason)) {
            *error = reportFailure(FailedStep::write, paths.first(), reason);
            return false;
        }
        paths.removeFirst();
    }
    return true;
}
