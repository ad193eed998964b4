#include "package/sourcewalk.h"
#include "package/packagelog.h"
#include "package/pathcontainment.h"

#include "platform/platform.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

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

class SourceWalk
{
public:
    SourceWalk(const QString &sourceDir, const QString &root, QVector<SourceEntry> *entries)
        : sourceDir(sourceDir)
        , root(root)
        , entries(entries)
    {
    }
    bool walkFolder(const QString &path, const QString &canonicalPath);
    QString error;

private:
    bool takeEntry(const QString &path, const QFileInfo &info, const QString &canonicalFolder);
    bool followLink(const QString &link, const QFileInfo &info, QString *canonicalPath);
    bool fail(const QString &reason, const QString &link, const QString &target);

    const QString sourceDir;
    const QString root; // canonical source folder
    QVector<SourceEntry> *entries;
    // Canonical paths of the folders being walked, outermost first: a link to one of them
    // would lead into itself.
    QStringList openFolders;
};

bool SourceWalk::walkFolder(const QString &path, const QString &canonicalPath)
{
    // The iterator lists a folder it may not read as empty: the group would be published
    // without its files, as if that were the release.
    const QFileInfo folder(path);
    if (!folder.isReadable() || !folder.isExecutable()) {
        error = reportFailure(FailedStep::open, path,
                              QStringLiteral("Ordner kann nicht gelesen werden"));
        return false;
    }
    openFolders.append(canonicalPath);
    QDirIterator it(path,
                    QDir::Dirs | QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString entryPath = it.next();
        if (!takeEntry(entryPath, it.fileInfo(), canonicalPath))
            return false;
    }
    openFolders.removeLast();
    return true;
}

bool SourceWalk::takeEntry(const QString &path, const QFileInfo &info,
                           const QString &canonicalFolder)
{
    QString canonicalPath = joinedPath(canonicalFolder, info.fileName());
    if (isLink(path) && !followLink(path, info, &canonicalPath))
        return false;
    // A pipe or a device would be read without end or publish what the machine holds.
    if (!info.isDir() && !info.isFile()) {
        error = reportFailure(FailedStep::open, path, QStringLiteral("weder Datei noch Ordner"));
        return false;
    }
    // One status read for size and times: the file information's own conversions of times
    // cost more than the read.
    FileStatus status;
    QString reason;
    if (!readFileStatus(path, &status, &reason)) {
        error = reportFailure(FailedStep::open, path, reason);
        return false;
    }
    entries->append(sourceEntry(path, path.mid(sourceDir.size()), info.isDir(), status));
    return !info.isDir() || walkFolder(path, canonicalPath);
}

bool SourceWalk::followLink(const QString &link, const QFileInfo &info, QString *canonicalPath)
{
    *canonicalPath = info.canonicalFilePath();
    if (canonicalPath->isEmpty()) {
        error = reportFailure(FailedStep::open, link, unreachableReason(link));
        return false;
    }
    if (!liesIn(*canonicalPath, root))
        return fail(QStringLiteral("Verknüpfung führt aus dem Quellordner: "), link,
                    *canonicalPath);
    if (openFolders.contains(*canonicalPath))
        return fail(QStringLiteral("Verknüpfung führt im Kreis: "), link, *canonicalPath);
    return true;
}

bool SourceWalk::fail(const QString &reason, const QString &link, const QString &target)
{
    error = reportFailure(FailedStep::readSource, sourceDir,
                          reason + link + QLatin1String(" -> ") + target);
    return false;
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

bool walkSourceTree(const QString &sourceDir, QVector<SourceEntry> *entries, QString *error)
{
    const std::optional<QString> root = canonicalSourceFolder(sourceDir, error);
    if (!root)
        return false;
    SourceWalk walk(sourceDir, *root, entries);
    if (walk.walkFolder(sourceDir, *root))
        return true;
    *error = walk.error;
    return false;
}
