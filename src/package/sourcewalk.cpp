#include "package/sourcewalk.h"
#include "package/packagelog.h"
#include "package/pathcontainment.h"

#include "platform/platform.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <memory>

namespace {

// The system's reason why a link leads nowhere: a missing target, a circle of links, a folder
// on the way that may not be searched.
QString unreachableReason(const QString &link)
{
    QFile file(link);
    if (file.open(QIODevice::ReadOnly))
        return QStringLiteral("Ziel der Verknüpfung nicht auffindbar");
    return file.errorString();
}

SourceEntry sourceEntry(const QString &path, const QString &targetPath, bool isDir,
                        const FileStatus &status)
{
    SourceEntry entry;
    entry.path = path;
    entry.targetPath = targetPath;
    entry.isDir = isDir;
    entry.size = isDir ? 0 : status.size;
    entry.modified = status.modified;
    // Some file systems keep no birth time; an empty "time_c" would give the installed file no
    // creation time at all, the modification time is the nearest one known.
    entry.created = status.created.value_or(status.modified);
    entry.read = status.accessed;
    return entry;
}

} // namespace

std::optional<QString> canonicalSourceFolder(const QString &sourceDir, QString *error)
{
    const QFileInfo info(sourceDir);
    if (info.isDir())
        return info.canonicalFilePath();
    const bool exists = QFileInfo::exists(QDir::cleanPath(sourceDir));
    *error =
        reportFailure(FailedStep::readSource, sourceDir,
                      exists ? QStringLiteral("kein Ordner") : QStringLiteral("Quellordner fehlt"));
    return std::nullopt;
}

struct SourceWalk::OpenFolder
{
    std::unique_ptr<QDirIterator> entries;
    QString canonicalPath;
};

SourceWalk::SourceWalk() = default;
SourceWalk::~SourceWalk() = default;

bool SourceWalk::start(const QString &folder)
{
    sourceDir = folder;
    const std::optional<QString> canonical = canonicalSourceFolder(folder, &failure);
    if (!canonical)
        return false;
    root = *canonical;
    return openFolder(folder, root);
}

SourceWalk::Step SourceWalk::next(SourceEntry *entry)
{
    const Step step = take(entry);
    // The walk ends at its first failure.
    if (step == Failed)
        folders.clear();
    return step;
}

SourceWalk::Step SourceWalk::take(SourceEntry *entry)
{
    while (!folders.empty() && !folders.back().entries->hasNext())
        folders.pop_back();
    if (folders.empty())
        return Done;
    OpenFolder &folder = folders.back();
    const QString path = folder.entries->next();
    const QFileInfo info = folder.entries->fileInfo();
    QString canonicalPath = joinedPath(folder.canonicalPath, info.fileName());
    FileStatus status;
    if (!readStatus(path, info, &status, &canonicalPath))
        return Failed;
    // A pipe or a device would be read without end or publish what the machine holds.
    if (!info.isDir() && !info.isFile()) {
        failure = reportFailure(FailedStep::open, path, QStringLiteral("weder Datei noch Ordner"));
        return Failed;
    }
    *entry = sourceEntry(path, path.mid(sourceDir.size()), info.isDir(), status);
    return !info.isDir() || openFolder(path, canonicalPath) ? Entry : Failed;
}

// One status read for size, times and whether it is a link: the file information's own
// conversions of times cost more than the read. A link is followed and read where it leads.
bool SourceWalk::readStatus(const QString &path, const QFileInfo &info, FileStatus *status,
                            QString *canonicalPath)
{
    QString reason;
    bool link = false;
    bool read = readEntryStatus(path, status, &link, &reason);
    if (read && link) {
        if (!followLink(path, info, canonicalPath))
            return false;
        read = readFileStatus(path, status, &reason);
    }
    if (!read)
        failure = reportFailure(FailedStep::open, path, reason);
    return read;
}

bool SourceWalk::openFolder(const QString &path, const QString &canonicalPath)
{
    // The iterator lists a folder it may not read as empty: the group would be published
    // without its files, as if that were the release.
    const QFileInfo folder(path);
    if (!folder.isReadable() || !folder.isExecutable()) {
        failure = reportFailure(FailedStep::open, path,
                                QStringLiteral("Ordner kann nicht gelesen werden"));
        return false;
    }
    folders.push_back(
        {std::make_unique<QDirIterator>(
             path, QDir::Dirs | QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
         canonicalPath});
    return true;
}

bool SourceWalk::followLink(const QString &link, const QFileInfo &info, QString *canonicalPath)
{
    *canonicalPath = info.canonicalFilePath();
    if (canonicalPath->isEmpty()) {
        failure = reportFailure(FailedStep::open, link, unreachableReason(link));
        return false;
    }
    if (!liesIn(*canonicalPath, root)) {
        failLink(QStringLiteral("Verknüpfung führt aus dem Quellordner: "), link, *canonicalPath);
        return false;
    }
    const bool intoItself =
        std::any_of(folders.cbegin(), folders.cend(),
                    [&](const OpenFolder &open) { return open.canonicalPath == *canonicalPath; });
    if (intoItself) {
        failLink(QStringLiteral("Verknüpfung führt im Kreis: "), link, *canonicalPath);
        return false;
    }
    return true;
}

void SourceWalk::failLink(const QString &reason, const QString &link, const QString &target)
{
    failure = reportFailure(FailedStep::readSource, sourceDir,
                            reason + link + QLatin1String(" -> ") + target);
}
