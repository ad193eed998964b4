#include "install/fileinstaller.h"
#include "check/releasetrust.h"
#include "install/installationfolders.h"
#include "install/installationlock.h"
#include "install/stagedwrite.h"
#include "install/stagingahead.h"

#include "common/installationlayout.h"
#include "common/logcategories.h"
#include "package/hashname.h"
#include "package/payloadstore.h"
#include "package/releasenumbers.h"
#include "package/targetpath.h"
#include "platform/platform.h"
#include "platform/platformservices.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryFile>

namespace {

StagedWrite::Times timesOf(const FileEntry &entry)
{
    return {FileEntry::timeOf(entry.created), FileEntry::timeOf(entry.modified),
            FileEntry::timeOf(entry.accessed)};
}

// The folder a file goes into, as a path that names a folder only.
QString folderOf(const QString &target)
{
    QString folder = QFileInfo(target).absolutePath();
    normalizeDirPath(folder);
    return folder;
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
    , folders(request.baseDir)
    , batch(platform)
{
}

bool FileInstaller::fail(const QString &title, const QString &detail1, const QString &detail2)
{
    appendLogLine(result.log, title, true, detail1, detail2);
    result.error = true;
    return false;
}

InstallResult FileInstaller::run(PendingUpdate &update)
{
    // One damaged payload or refused path found halfway would leave a release half installed:
    // everything is verified before the first file, folder, plug-in or record is touched, the
    // record of signed releases included, which is written last.
    InstallationLock lock(request.baseDir, request.lockPath);
    ReleaseNumbers numbers;
    if (takeLock(lock) && readReleaseRecord(&numbers) && releaseStillNewest(numbers)
        && verifyPending(update.offlineIndex, update.offlineStore.data()))
        installPending(update);
    // The record names the installed release and the user's choices: written only once every
    // pending file is in place, so a failed run never claims a release it did not install.
    if (!result.error && writeVersionRecord())
        writeReleaseNumber(numbers);
    markInstalled(update.offlineIndex);
    result.installed = installed.size();
    appendLogLine(result.log, tr("%1 Datei(en) wurden aktualisiert.").arg(result.installed), false);
    return result;
}

std::optional<QString> FileInstaller::targetOf(const QString &targetPath,
                                               CheckedFolders *checked) const
{
    return resolveTargetPath(request.baseDir, targetPath, request.runningExecutable, checked);
}

bool FileInstaller::installsEntry(const OfflineEntry &entry) const
{
    return entry.pending && (!request.updaterOutdated || entry.groupIndex == 0);
}

const FileEntry &FileInstaller::fileEntryOf(const OfflineEntry &entry) const
{
    return request.document.entry(entry.groupIndex, entry.fileIndex);
}

bool FileInstaller::verifyPending(const OfflineIndex &index, QFileDevice *store)
{
    // Paths in the index's order up to the first refused one; the payloads before it are then
    // hashed together, so that the failure reported is still the first in that order.
    QVector<const OfflineEntry *> files;
    QVector<StoredPayload> payloads;
    const FileEntry *refused = nullptr;
    CheckedFolders checked;
    for (const OfflineEntry &entry : index) {
        if (!installsEntry(entry))
            continue;
        const FileEntry &fileEntry = fileEntryOf(entry);
        if (!targetOf(fileEntry.targetPath, &checked)) {
            refused = &fileEntry;
            break;
        }
        if (!fileEntry.isDir) {
            files.append(&entry);
            payloads.append({entry.offset, entry.size});
        }
    }
    // The line names the hash found, empty when the store could not be read.
    const QVector<QString> hashes = hashStoredPayloads(store, payloads);
    for (int i = 0; i < files.size(); ++i) {
        const FileEntry &fileEntry = fileEntryOf(*files.at(i));
        if (files.at(i)->size != fileEntry.size || hashes.at(i) != fileEntry.sha256)
            return fail(tr("Falscher Hash-Wert in der temporären Datei:"), hashes.at(i));
    }
    if (refused)
        return fail(tr("Ungültiger Zielpfad:"), refused->targetPath);
    return true;
}

void FileInstaller::installPending(const PendingUpdate &update)
{
    const OfflineIndex &index = update.offlineIndex;
    StagingAhead staging(update.offlineStore.data());
    ahead = &staging;
    const auto forgetAhead = qScopeGuard([this] { ahead = nullptr; });
    order.clear();
    for (auto it = index.constBegin(); it != index.constEnd(); ++it)
        order.append(it);
    aheadFrom = 0;
    int counter = 1;
    for (position = 0; position < order.size(); ++position) {
        const auto it = order.at(position);
        const OfflineEntry &entry = it.value();
        if (!installsEntry(entry))
            continue;
        const FileEntry &fileEntry = fileEntryOf(entry);
        // What is staged takes its place before anything else changes: the log and the
        // installation then show the steps in the index's order.
        if (request.document.groups.at(entry.groupIndex).kind() == GroupKind::Elster
            && !elsterCleaned.contains(entry.groupIndex)) {
            if (!commitStaged())
                return;
            elsterCleaned.insert(entry.groupIndex);
            cleanPlugins(entry.groupIndex, update);
        }
        if (fileEntry.isDir && !commitStaged())
            return;
        progress(counter++, index.size());
        if (!installEntry(it.key(), entry, fileEntry, update.offlineStore.data()))
            return;
        if (fileEntry.isDir && !result.error)
            installed.append({it.key(), entry});
        if (batch.isFull() && !commitStaged())
            return;
    }
    commitStaged();
}

bool FileInstaller::installEntry(const QString &key, const OfflineEntry &entry,
                                 const FileEntry &fileEntry, QFileDevice *store)
{
    // Checked before anything was written, and again right before the entry is written (here,
    // or when it was staged ahead) and once more now: a link may have appeared since. A file
    // staged ahead to a path that no longer resolves the same is staged in order, or refused.
    const std::optional<QString> target = targetOf(fileEntry.targetPath);
    if (ahead->has(position) && target != ahead->target(position)) {
        ahead->discard();
        aheadFrom = position + 1;
    }
    if (!target)
        return failStaging(tr("Ungültiger Zielpfad:"), fileEntry.targetPath);
    if (fileEntry.isDir)
        return installFolder(fileEntry, *target);
    return installFile(key, entry, fileEntry, *target, store);
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
    const QString path = request.baseDir + InstallationLayout::versionRecord;
    InstallationFolders::Refusal refusal;
    QString error;
    const std::optional<FolderHandle::File> record = folders.fileAt(path, false, &refusal, &error);
    if (!record)
        return fail(tr("Fehler beim Schreiben der Datei:"), path, error);
    if (record->folder->entryAt(record->name) != FolderHandle::Entry::Missing)
        platform.makeFileWritable(*record->folder, record->name);
    // Written whole or not at all: a torn record would make the next start guess the edition.
    if (StagedWrite::write(*record, versionRecordText(request.record), platform, &error)
        != StagedWrite::Written)
        return fail(tr("Fehler beim Schreiben der Datei:"), path, error);
    return true;
}

// Two updaters writing one installation would replace each other's files and take each other's
// staging files for leftovers. A lock that cannot be made at all (a folder without rights)
// does not stop the run: the files below it will say whether the rights suffice.
bool FileInstaller::takeLock(InstallationLock &lock)
{
    if (request.lockPath.isEmpty())
        return true;
    switch (lock.acquire()) {
    case InstallationLock::State::Held:
        return true;
    case InstallationLock::State::HeldByAnother:
        result.otherUpdaterWriting = true;
        return fail(tr("Ein anderer Updater schreibt gerade in diese Installation:"),
                    request.lockPath);
    case InstallationLock::State::Unavailable:
        return true;
    }
    return true;
}

bool FileInstaller::readReleaseRecord(ReleaseNumbers *numbers)
{
    const QString &path = request.releaseNumbersPath;
    QString error;
    if (path.isEmpty() || readReleaseNumbers(path, numbers, &error))
        return true;
    return fail(tr("Fehler beim Lesen der Release-Nummern:"), path, error);
}

// Another updater may have installed a newer release since this one was loaded: the record,
// read again under the lock, decides as it did at loading.
bool FileInstaller::releaseStillNewest(const ReleaseNumbers &numbers)
{
    if (request.releaseNumbersPath.isEmpty())
        return true;
    const std::optional<StatementRefusal> refusal =
        refusalByRecord(numbers, request.record.releaseYear, request.release, request.allowOlder);
    return !refusal || fail(refusal->title, refusal->reason);
}

// `numbers` was read under the lock at the start: no other updater has written it since.
bool FileInstaller::writeReleaseNumber(const ReleaseNumbers &numbers)
{
    const QString &path = request.releaseNumbersPath;
    if (path.isEmpty())
        return true;
    const ReleaseNumbers updated =
        withInstalledRelease(numbers, request.record.releaseYear, request.release);
    if (updated == numbers)
        return true;
    InstallationFolders::Refusal refusal;
    QString error;
    const std::optional<FolderHandle::File> record = folders.updaterFile(path, &refusal, &error);
    if (!record
        || StagedWrite::write(*record, releaseNumbersText(updated), platform, &error)
            != StagedWrite::Written)
        return fail(tr("Fehler beim Schreiben der Datei:"), path, error);
    return true;
}

void FileInstaller::cleanPlugins(int groupIndex, const PendingUpdate &update)
{
    cleanPluginFolder(request.baseDir + InstallationLayout::plugins,
                      update.pluginFileNames.value(groupIndex));
    cleanPluginFolder(request.baseDir + InstallationLayout::plugins2,
                      update.plugin2FileNames.value(groupIndex));
}

void FileInstaller::cleanPluginFolder(const QString &path, const QStringList &keep)
{
    // A linked folder is not entered, here or below: what lies behind it is not the
    // installation's to delete.
    InstallationFolders::Refusal refusal;
    QString error;
    if (const std::shared_ptr<const FolderHandle> folder =
            folders.folder(path, false, &refusal, &error))
        cleanPlugins(*folder, keep);
}

void FileInstaller::cleanPlugins(const FolderHandle &folder, const QStringList &keep)
{
    for (const auto &entry : folder.entries()) {
        const QString &name = entry.first;
        if (entry.second == FolderHandle::Entry::Folder) {
            bool isLink = false;
            QString error;
            if (const std::shared_ptr<const FolderHandle> below =
                    folder.openFolder(name, false, &isLink, &error))
                cleanPlugins(*below, keep);
            continue;
        }
        if (!name.contains(QLatin1Char('.')) || keep.contains(name, Qt::CaseInsensitive))
            continue;
        // Windows refuses to delete a read-only file. A stale plug-in that stays would be
        // loaded by the new release, so failing to remove it fails the run.
        platform.makeFileWritable(folder, name);
        QString error;
        if (platform.removeFile(folder, name, &error))
            appendLogLine(result.log, tr("Datei wurde entfernt:"), false, folder.pathOf(name));
        else
            fail(tr("Datei konnte nicht entfernt werden:"), folder.pathOf(name), error);
    }
}

bool FileInstaller::installFolder(const FileEntry &fileEntry, const QString &target)
{
    InstallationFolders::Refusal refusal;
    QString error;
    const std::optional<FolderHandle::File> place = folders.fileAt(target, true, &refusal, &error);
    if (!place)
        return failPlace(refusal, fileEntry, folderOf(target), error);
    // A link where the folder goes is replaced: the folder's times, and everything installed
    // below it, would otherwise land wherever it points.
    const FolderHandle::Entry found = place->folder->entryAt(place->name);
    if (found == FolderHandle::Entry::Other && !place->folder->removeFile(place->name, &error))
        return fail(tr("Fehler beim Erstellen des Ordners:"), target, error);
    if (found == FolderHandle::Entry::File)
        return fail(tr("Fehler beim Erstellen des Ordners:"), target,
                    tr("Eine Datei steht an seiner Stelle."));
    const std::shared_ptr<const FolderHandle> folder =
        folders.folder(target, true, &refusal, &error);
    if (!folder)
        return failPlace(refusal, fileEntry, target, error);
    const StagedWrite::Times times = timesOf(fileEntry);
    if (!platform.setTimes(*folder, QString(), times.created, times.written, times.accessed,
                           &error)) {
        fail(tr("Fehler beim Setzen des Datums, evtl. blockiert ein Virenscanner die Datei:"),
             target, error);
    }
    appendLogLine(result.log, tr("Ordner:"), false, target, tr("wurde erstellt."));
    return true;
}

// A folder on the way that is a link now, or has been replaced since it was opened, makes the
// target path invalid; any other failure to open or create it is one to create the folder.
bool FileInstaller::failPlace(InstallationFolders::Refusal refusal, const FileEntry &fileEntry,
                              const QString &folder, const QString &error)
{
    if (refusal == InstallationFolders::Refusal::Changed)
        return failStaging(tr("Ungültiger Zielpfad:"), fileEntry.targetPath);
    return failStaging(tr("Fehler beim Erstellen des Ordners:"), folder, error);
}

bool FileInstaller::installFile(const QString &key, const OfflineEntry &entry,
                                const FileEntry &fileEntry, const QString &target,
                                QFileDevice *store)
{
    const StagedWrite::Times times = timesOf(fileEntry);
    QString hash;
    QString error;
    StagedWrite::Result written = StagedWrite::OpenFailed;
    FolderHandle::File stagedAhead;
    if (ahead->has(position))
        written = ahead->take(position, &stagedAhead);
    if (written != StagedWrite::Written) {
        // From here on the files go one at a time again, as they went before staging ahead. A
        // file whose staging ahead failed is staged once more, so that what is reported is
        // what staging it in order meets.
        ahead->discard();
        aheadFrom = position + 1;
        // Before its folder is made: that may be the name of a file the batch holds.
        if (batch.collides(target) && !commitStaged())
            return false;
    }
    InstallationFolders::Refusal refusal;
    const std::optional<FolderHandle::File> place = folders.fileAt(target, true, &refusal, &error);
    if (!place) {
        if (written == StagedWrite::Written)
            StagedWrite::removeStaging(stagedAhead);
        return failPlace(refusal, fileEntry, folderOf(target), error);
    }
    if (written != StagedWrite::Written) {
        if (batch.mayHoldStagingFileOf(*place) && !commitStaged())
            return false;
        // Copied from the store in blocks and checked once more on the way: memory stays
        // bounded by a block, and the store cannot change between the check and the copy
        // unnoticed.
        written = stageFrom(store, entry, fileEntry, *place, times, &hash, &error);
    }
    // The staged files of the batch take room beside the old ones: once they have taken their
    // places, a disk that was full may hold this one too, as it would have file by file.
    if ((written == StagedWrite::OpenFailed || written == StagedWrite::WriteFailed)
        && !batch.isEmpty()) {
        if (!commitStaged())
            return false;
        written = stageFrom(store, entry, fileEntry, *place, times, &hash, &error);
    }
    switch (written) {
    case StagedWrite::HashMismatch:
        return failStaging(tr("Falscher Hash-Wert in der temporären Datei:"), hash);
    case StagedWrite::OpenFailed:
        return failStaging(indexed("Fehler beim Öffnen der Datei (%1, %2):", entry), target, error);
    case StagedWrite::WriteFailed:
        return failStaging(indexed("Fehler beim Schreiben der Datei (%1, %2):", entry), target,
                           error);
    case StagedWrite::Written:
        break;
    }
    batch.add(*place, entry.size);
    staged.append({key, entry, target, *place, times});
    stageAhead();
    return true;
}

// Starts staging the next files on the second core, up to the first that must wait for what
// comes before it: a folder to create, an elster group's plug-ins to clean, a name that the
// batch or the files under way might share, a refused path (reported in order), or no room.
void FileInstaller::stageAhead()
{
    for (aheadFrom = qMax(aheadFrom, position + 1); aheadFrom < order.size(); ++aheadFrom) {
        const OfflineEntry &entry = order.at(aheadFrom).value();
        if (!installsEntry(entry))
            continue;
        const FileEntry &fileEntry = fileEntryOf(entry);
        if (fileEntry.isDir || !ahead->hasRoomFor(entry.size)
            || (request.document.groups.at(entry.groupIndex).kind() == GroupKind::Elster
                && !elsterCleaned.contains(entry.groupIndex)))
            return;
        const std::optional<QString> target = targetOf(fileEntry.targetPath);
        if (!target)
            return;
        const std::optional<FolderHandle::File> place = folders.heldFileAt(*target);
        if (!place || batch.collides(*target) || batch.mayHoldStagingFileOf(*place)
            || ahead->claims(*target))
            return;
        ahead->start(aheadFrom,
                     {*place, entry.offset, entry.size, fileEntry.sha256, timesOf(fileEntry)});
    }
}

StagedWrite::Result FileInstaller::stageFrom(QFileDevice *store, const OfflineEntry &entry,
                                             const FileEntry &fileEntry,
                                             const FolderHandle::File &target,
                                             const StagedWrite::Times &times, QString *hash,
                                             QString *error)
{
    if (!store || !store->seek(entry.offset)) {
        *hash = hashName(QByteArray());
        return StagedWrite::HashMismatch;
    }
    return StagedWrite::stage(target, *store, entry.size, fileEntry.sha256, error, hash, &times);
}

bool FileInstaller::commitStaged()
{
    const StagedBatch::Outcome outcome = batch.commit();
    for (int i = 0; i < outcome.moved.size(); ++i) {
        const Staged &file = staged.at(i);
        QString error;
        // Again after the rename: Windows may carry the replaced file's creation time over.
        if (!platform.setTimes(*file.place.folder, file.place.name, file.times.created,
                               file.times.written, file.times.accessed, &error))
            fail(tr("Fehler beim Setzen des Datums:"), file.target, error);
        appendLogLine(result.log, tr("Datei:"), false, file.target, tr("wurde geschrieben."));
        if (!result.error)
            installed.append({file.key, file.entry});
    }
    const bool committed = outcome.failedTarget.isEmpty();
    if (!committed) {
        const Staged &file = staged.at(outcome.moved.size());
        if (outcome.folderChanged)
            fail(tr("Ungültiger Zielpfad:"), fileEntryOf(file.entry).targetPath);
        else
            fail(indexed("Fehler beim Schreiben der Datei (%1, %2):", file.entry), file.target,
                 outcome.error);
    }
    staged.clear();
    return committed;
}

bool FileInstaller::failStaging(const QString &title, const QString &detail1,
                                const QString &detail2)
{
    if (commitStaged())
        fail(title, detail1, detail2);
    return false;
}
