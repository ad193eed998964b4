#include "check/localfile.h"

#include "package/hashname.h"
#include "package/targetpath.h"

#include <QThread>
#include <QtConcurrent>

LocalFile compareLocalFile(const QString &fullPath, const QString &sha256, QString *error)
{
    switch (localEntryAt(fullPath)) {
    case LocalEntry::Missing:
        return LocalFile::Missing;
    case LocalEntry::Folder:
        return LocalFile::Folder;
    case LocalEntry::Other:
        return LocalFile::Differs;
    case LocalEntry::File:
        break;
    }
    // A file that cannot be read to its end counts as unreadable, not as different.
    QString hash;
    if (!hashNameOfFile(fullPath, &hash, error))
        return LocalFile::Unreadable;
    return hash == sha256 ? LocalFile::Current : LocalFile::Differs;
}

namespace {

LocalComparisons::Result compare(const QPair<QString, QString> &file)
{
    LocalComparisons::Result result;
    result.state = compareLocalFile(file.first, file.second, &result.error);
    return result;
}

} // namespace

LocalComparisons::LocalComparisons(QVector<QPair<QString, QString>> files)
    : files(std::move(files))
    , results(this->files.size())
{
    pool.setMaxThreadCount(QThread::idealThreadCount());
}

// A check that stops early leaves comparisons queued: they are dropped, the running ones waited
// for, since they read the paths held here.
LocalComparisons::~LocalComparisons()
{
    pool.clear();
    pool.waitForDone();
}

void LocalComparisons::submitUpTo(int index)
{
    // A few files per thread ahead keeps every core busy without reading far past a failure.
    const int limit = qMin(files.size(), index + 1 + 4 * pool.maxThreadCount());
    for (; submitted < limit; ++submitted) {
        if (!files.at(submitted).first.isEmpty())
            results[submitted] = QtConcurrent::run(&pool, compare, files.at(submitted));
    }
}

LocalComparisons::Result LocalComparisons::take(int index)
{
    submitUpTo(index);
    if (files.at(index).first.isEmpty())
        return Result();
    return results[index].result();
}
