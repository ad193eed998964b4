#include "fileinstaller.h"
#include "stagedwrite.h"

#include "logline.h"
#include "package/hashname.h"
#include "package/targetpath.h"
#include "platform/platform.h"
#include "platform/platformservices.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonObject>

namespace {

QDateTime timeOf(const QJsonObject &entry, const char *key)
{
    return entry.value(QLatin1String(key)).toVariant().toDateTime();
}

QString indexed(const char *title, const OfflineEntry &entry)
{
    return FileInstaller::tr(title).arg(QString::number(entry.groupIndex),
                                        QString::number(entry.fileIndex));
}

} // namespace

FileInstaller::FileInstaller(const InstallRequest &request, PlatformServices &platform,
                             std::function<void(int, int)> progress)
    : request(request)
    , platform(platform)
    , progress(std::move(progress))
{
}

bool FileInstaller::fail(const QString &title, const QString &detail1, const QString &detail2)
{
    appendLogLine(result.log, title, true, detail1, detail2);
    result.error = true;
    return false;
}

InstallResult FileInstaller::run(OfflineIndex &index, QFileDevice *store)
{
    // One damaged payload or refused path found halfway would leave a release half installed:
    // everything is verified before the first file, folder, plug-in or record is touched.
    if (verifyPending(index, store))
        installPending(index, store);
    // The record names the installed release and the user's choices: written only once every
    // pending file is in place, so a failed run never claims a release it did not install.
    if (!result.error)
        writeVersionRecord();
    markInstalled(index);
    result.installed = installed.size();
    appendLogLine(result.log, tr("%1 Datei(en) wurden aktualisiert.").arg(result.installed), false);
    return result;
}

QString FileInstaller::targetOf(const QString &targetPath) const
{
    return resolveTargetPath(request.baseDir, targetPath, request.runningExecutable);
}

bool FileInstaller::installsEntry(const OfflineEntry &entry) const
{
    return entry.pending && (!request.updaterOutdated || entry.groupIndex == 0);
}

QJsonObject FileInstaller::fileEntryOf(const OfflineEntry &entry) const
{
    return request.groups.at(entry.groupIndex)
        .toObject()
        .value(QStringLiteral("data"))
        .toArray()
        .at(entry.fileIndex)
        .toObject();
}

bool FileInstaller::verifyPending(const OfflineIndex &index, QFileDevice *store)
{
    for (const OfflineEntry &entry : index) {
        if (!installsEntry(entry))
            continue;
        const QJsonObject fileEntry = fileEntryOf(entry);
        const QString targetPath = fileEntry.value(QStringLiteral("targetpath")).toString();
        if (targetOf(targetPath).isEmpty())
            return fail(tr("Ungültiger Zielpfad:"), targetPath);
        if (fileEntry.value(QStringLiteral("isdir")).toBool())
            continue;
        const qint64 size = qint64(fileEntry.value(QStringLiteral("size")).toDouble());
        const QString hash =
            store && store->seek(entry.offset) ? hashNameOfDevice(store, entry.size) : QString();
        if (entry.size != size || hash != fileEntry.value(QStringLiteral("sha256")).toString())
            return fail(tr("Falscher Hash-Wert in der temporären Datei:"), hash);
    }
    return true;
}

void FileInstaller::installPending(const OfflineIndex &index, QFileDevice *store)
{
    int counter = 1;
    for (auto it = index.constBegin(); it != index.constEnd(); ++it) {
        const OfflineEntry &entry = it.value();
        if (!installsEntry(entry))
            continue;
        const QJsonObject group = request.groups.at(entry.groupIndex).toObject();
        if (group.value(QStringLiteral("type")).toString().toLower() == QLatin1String("elster")
            && !elsterCleaned.contains(entry.groupIndex)) {
            elsterCleaned.insert(entry.groupIndex);
            cleanPlugins(entry.groupIndex);
        }
        progress(counter++, index.size());
        if (!installEntry(entry, fileEntryOf(entry), store))
            break;
        if (!result.error)
            installed.append({it.key(), entry});
    }
}

bool FileInstaller::installEntry(const OfflineEntry &entry, const QJsonObject &fileEntry,
                                 QFileDevice *store)
{
    // Checked before anything was written, and again here: a link may have appeared since.
    const QString targetPath = fileEntry.value(QStringLiteral("targetpath")).toString();
    const QString target = targetOf(targetPath);
    if (target.isEmpty())
        return fail(tr("Ungültiger Zielpfad:"), targetPath);
    if (fileEntry.value(QStringLiteral("isdir")).toBool())
        return installFolder(fileEntry, target);
    return installFile(entry, fileEntry, target, store);
}

// One pass over the index: looking each entry up under its key would take time growing with
// the square of the folders, which all share the empty key.
void FileInstaller::markInstalled(OfflineIndex &index) const
{
    QSet<QPair<QString, QPair<int, int>>> done;
    for (const auto &entry : installed)
        done.insert({entry.first, {entry.second.groupIndex, entry.second.fileIndex}});
    for (auto it = index.begin(); it != index.end(); ++it) {
        if (done.contains({it.key(), {it.value().groupIndex, it.value().fileIndex}}))
            it.value().pending = false;
    }
}

bool FileInstaller::writeVersionRecord()
{
    const QString path = request.baseDir + QLatin1String("versioninfo.dat");
    if (QFileInfo::exists(path))
        platform.makeFileWritable(path);
    // Written whole or not at all: a torn record would make the next start guess the edition.
    QString error;
    if (StagedWrite::write(path, versionRecordText(request.record), platform, &error)
        != StagedWrite::Written)
        return fail(tr("Fehler beim Schreiben der Datei:"), path, error);
    return true;
}

void FileInstaller::cleanPlugins(int groupIndex)
{
    cleanPluginFolder(request.baseDir + QLatin1String("plugins/"),
                      request.pluginFileNames.value(groupIndex));
    cleanPluginFolder(request.baseDir + QLatin1String("plugins2/"),
                      request.plugin2FileNames.value(groupIndex));
}

void FileInstaller::cleanPluginFolder(const QString &folder, const QStringList &keep)
{
    // Linked folders are not entered (the iterator follows no links below): what lies behind
    // them is not the installation's to delete.
    if (isLink(QDir::cleanPath(folder)))
        return;
    QDirIterator it(folder, {QStringLiteral("*.*")}, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (keep.contains(it.fileName(), Qt::CaseInsensitive))
            continue;
        // Windows refuses to delete a read-only file. A stale plug-in that stays would be
        // loaded by the new release, so failing to remove it fails the run.
        platform.makeFileWritable(path);
        QString error;
        if (platform.removeFile(path, &error))
            appendLogLine(result.log, tr("Datei wurde entfernt:"), false, path);
        else
            fail(tr("Datei konnte nicht entfernt werden:"), path, error);
    }
}

bool FileInstaller::installFolder(const QJsonObject &fileEntry, const QString &target)
{
    // A link where the folder goes is replaced: the folder's times, and everything installed
    // below it, would otherwise land wherever it points.
    if (localEntryAt(target) == LocalEntry::Other && !removeLink(target))
        return fail(tr("Fehler beim Erstellen des Ordners:"), target, platform.errorText(0));
    if (localEntryAt(target) == LocalEntry::File)
        return fail(tr("Fehler beim Erstellen des Ordners:"), target,
                    tr("Eine Datei steht an seiner Stelle."));
    if (localEntryAt(target) == LocalEntry::Missing && !QDir().mkpath(target))
        return fail(tr("Fehler beim Erstellen des Ordners:"), target, platform.errorText(0));
    if (!platform.setTimes(target, true, timeOf(fileEntry, "time_c"), timeOf(fileEntry, "time_m"),
                           timeOf(fileEntry, "time_r"))) {
        fail(tr("Fehler beim Setzen des Datums, evtl. blockiert ein Virenscanner die Datei:"),
             target, platform.errorText(0));
    }
    appendLogLine(result.log, tr("Ordner:"), false, target, tr("wurde erstellt."));
    return true;
}

bool FileInstaller::installFile(const OfflineEntry &entry, const QJsonObject &fileEntry,
                                const QString &target, QFileDevice *store)
{
    QString folder = QFileInfo(target).absolutePath();
    normalizeDirPath(folder);
    if (!QFileInfo::exists(folder) && !QDir().mkpath(folder))
        return fail(tr("Fehler beim Erstellen des Ordners:"), folder, platform.errorText(0));
    if (QFileInfo::exists(target))
        platform.makeFileWritable(target);

    // Copied from the store in blocks and checked once more on the way: memory stays bounded
    // by a block, and the store cannot change between the check and the copy unnoticed.
    QString error;
    QString hash;
    if (!store || !store->seek(entry.offset))
        return fail(tr("Falscher Hash-Wert in der temporären Datei:"), hashName(QByteArray()));
    const StagedWrite::Times times {timeOf(fileEntry, "time_c"), timeOf(fileEntry, "time_m"),
                                    timeOf(fileEntry, "time_r")};
    switch (StagedWrite::copy(target, *store, entry.size,
                              fileEntry.value(QStringLiteral("sha256")).toString(), platform,
                              &error, &hash, &times)) {
    case StagedWrite::HashMismatch:
        return fail(tr("Falscher Hash-Wert in der temporären Datei:"), hash);
    case StagedWrite::OpenFailed:
        return fail(indexed("Fehler beim Öffnen der Datei (%1, %2):", entry), target, error);
    case StagedWrite::WriteFailed:
        return fail(indexed("Fehler beim Schreiben der Datei (%1, %2):", entry), target, error);
    case StagedWrite::Written:
        break;
    }
    // Again after the rename: Windows may carry the replaced file's creation time over.
    if (!platform.setTimes(target, false, times.created, times.written, times.accessed))
        fail(tr("Fehler beim Setzen des Datums:"), target, platform.errorText(0));
    appendLogLine(result.log, tr("Datei:"), false, target, tr("wurde geschrieben."));
    return true;
}
