#include "check/updatecheck.h"
#include "check/localfile.h"

#include "common/logcategories.h"
#include "package/hashname.h"
#include "package/payload.h"
#include "package/payloadstore.h"
#include "package/payloadstream.h"
#include "package/targetpath.h"
#include "platform/platform.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryFile>

namespace {

quint64 entryId(int groupIndex, int fileIndex)
{
    return (quint64(quint32(groupIndex)) << 32) | quint32(fileIndex);
}

bool isExecutableSuffix(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    return suffix.compare(QLatin1String("exe"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("dll"), Qt::CaseInsensitive) == 0;
}

bool execPreferenceSkips(int groupIndex, const QMap<int, bool> &execGroupSingleOs)
{
    if (execGroupSingleOs.size() <= 1 || !execGroupSingleOs.contains(groupIndex))
        return false;
    bool anySingle = false;
    for (bool single : execGroupSingleOs)
        anySingle = anySingle || single;
    return anySingle && !execGroupSingleOs.value(groupIndex);
}

} // namespace

UpdateCheck::UpdateCheck(const UpdateDocument &document, const QString &baseDir, bool offlineLoaded,
                         DataFileFetch fetch, CheckProgress progress)
    : document(document)
    , baseDir(baseDir)
    , offlineLoaded(offlineLoaded)
    , fetch(std::move(fetch))
    , progress(std::move(progress))
{
}

CheckResult UpdateCheck::run(const CheckSelection &selection, PendingUpdate &update)
{
    result = CheckResult();
    // What is pending comes from the installation as it is now: lists of an earlier check
    // would hide a folder that was created and removed since.
    entriesByIndex.clear();
    entriesByKey.clear();
    for (auto it = update.offlineIndex.begin(); it != update.offlineIndex.end(); ++it) {
        it.value().pending = false;
        entriesByIndex.insert(entryId(it.value().groupIndex, it.value().fileIndex), it);
        if (!it.key().isEmpty() && !entriesByKey.contains(it.key()))
            entriesByKey.insert(it.key(), it);
    }
    update.searched = selection;
    update.searchCompleted = false;
    update.directoriesToCreate.clear();
    foldersListed.clear();
    update.pluginFileNames.clear();
    update.plugin2FileNames.clear();

    QSet<QString> typesSeen;
    for (int groupIndex : selection.checkedGroups) {
        if (execPreferenceSkips(groupIndex, selection.execGroupSingleOs))
            continue;
        const UpdateGroup &group = document.groups.at(groupIndex);
        if (group.kind() == GroupKind::Exec && group.subtype != selection.productType)
            continue;
        if (group.beta && selection.hasBetaBox && !selection.betaChecked)
            continue;
        const QString type = group.type.toLower();
        if (!type.isEmpty() && typesSeen.contains(type)) {
            result.outcome = CheckResult::DuplicateType;
            result.duplicateType = type;
            return result;
        }
        typesSeen.insert(type);
        if (!checkGroup(groupIndex, update)) {
            result.outcome = CheckResult::Failed;
            break;
        }
    }
    update.searchCompleted = result.outcome == CheckResult::Completed;
    result.pendingCount = update.pendingCount();
    return result;
}

bool UpdateCheck::checkGroup(int groupIndex, PendingUpdate &update)
{
    const UpdateGroup &group = document.groups.at(groupIndex);
    // A path that may not be written is neither read nor listed for the installation: a
    // hostile document could otherwise make the check hash a device that never ends.
    QVector<std::optional<QString>> resolved;
    QVector<QPair<QString, QString>> toCompare;
    CheckedFolders checked;
    for (const FileEntry &entry : group.files) {
        resolved.append(resolveTargetPath(baseDir, entry.targetPath, QString(), &checked));
        const bool isFile = resolved.constLast() && !entry.isDir;
        toCompare.append({isFile ? *resolved.constLast() : QString(), entry.sha256});
    }
    LocalComparisons comparisons(toCompare);
    toFetch.clear();
    const int logBefore = result.log.size();
    bool comparedAll = true;
    for (int i = 0; i < group.files.size() && comparedAll; ++i) {
        progress(i + 1, group.files.size());
        comparedAll = checkFile(groupIndex, i, resolved.at(i), comparisons, update);
    }
    // A failure of the comparison lies after every file to fetch; a failed fetch comes first.
    const ActivityLog comparisonFailure = result.log.mid(logBefore);
    result.log.resize(logBefore);
    if (!fetchPending(groupIndex, toFetch, update))
        return false;
    result.log += comparisonFailure;
    return comparedAll;
}

bool UpdateCheck::checkFile(int groupIndex, int fileIndex, const std::optional<QString> &resolved,
                            LocalComparisons &comparisons, PendingUpdate &update)
{
    const FileEntry &entry = document.entry(groupIndex, fileIndex);
    const QString &targetPath = entry.targetPath;
    const QString &sha256 = entry.sha256;
    if (!resolved) {
        appendLogLine(result.log, tr("Ungültiger Zielpfad:"), true, targetPath);
        return false;
    }
    const QString &fullPath = *resolved;

    if (entry.isDir) {
        // A link where a folder goes is replaced by a real folder.
        if (localEntryAt(fullPath) != LocalEntry::Folder
            && !foldersListed.contains(fullPath.toLower())) {
            foldersListed.insert(fullPath.toLower());
            update.directoriesToCreate.append(fullPath);
            markFolderPending(groupIndex, fileIndex, sha256, update);
        }
        return true;
    }

    auto stored = storedEntry(update.offlineIndex, sha256, groupIndex, fileIndex);
    if (stored != update.offlineIndex.end() && stored.value().pending) {
        result.pendingBytes += stored.value().size;
        return true;
    }
    qCDebug(lcCheck) << fullPath;
    if (document.groups.at(groupIndex).kind() == GroupKind::Elster)
        notePlugin(groupIndex, fullPath, update);

    bool current = false;
    if (!localFileCurrent(fullPath, comparisons.take(fileIndex), &current, update))
        return false;
    // A differing copy of the running updater stays pending like any file: while the updater is
    // outdated only its own group is installed, and the new copy that takes over writes this
    // one. The installer refuses the write that would really replace the running program.
    if (current)
        return true;
    if (stored != update.offlineIndex.end())
        return markStoredPending(stored, entry, update);
    // Content that another entry names is fetched and stored once.
    const auto shared = entriesByKey.constFind(sha256);
    if (shared != entriesByKey.constEnd())
        return addSharedEntry(shared.value(), groupIndex, fileIndex, entry, update);
    toFetch.append({fileIndex, fullPath});
    return true;
}

bool UpdateCheck::markStoredPending(OfflineIndex::iterator stored, const FileEntry &entry,
                                    PendingUpdate &update)
{
    if (!expandFromOfflineFile(stored, entry, update))
        return false;
    stored.value().pending = true;
    result.pendingBytes += stored.value().size;
    return true;
}

bool UpdateCheck::addSharedEntry(OfflineIndex::iterator shared, int groupIndex, int fileIndex,
                                 const FileEntry &entry, PendingUpdate &update)
{
    if (!expandFromOfflineFile(shared, entry, update))
        return false;
    OfflineEntry added;
    added.offset = shared.value().offset;
    added.size = shared.value().size;
    added.groupIndex = groupIndex;
    added.fileIndex = fileIndex;
    added.pending = true;
    addEntry(shared.key(), added, update);
    result.pendingBytes += added.size;
    return true;
}

// Payloads of an offline update file are expanded when a check first needs them, and checked
// against their names like those from the server.
bool UpdateCheck::expandFromOfflineFile(OfflineIndex::iterator stored, const FileEntry &fileEntry,
                                        PendingUpdate &update)
{
    OfflineEntry &entry = stored.value();
    if (entry.sourceOffset < 0)
        return true;
    const QString fullPath = baseDir + fileEntry.targetPath;
    // As for the server's data: a payload that claims more than the document is not expanded.
    if (entry.size > qMax<qint64>(0, fileEntry.size)) {
        appendLogLine(result.log, tr("Fehler beim Laden der Datei:"), true, fileEntry.targetPath,
                      tr("Die Daten der Offline-Update-Datei sind größer als angegeben."));
        return false;
    }
    // The file may have been swapped since it was loaded: for a pipe, the search would wait.
    QFile source;
    QString error;
    if (openRegularFile(&source, update.offlineFile, true, &error) != RegularFileOpen::Opened
        || !source.seek(entry.sourceOffset)) {
        appendLogLine(result.log, tr("Fehler beim Lesen der Datei:"), true, update.offlineFile,
                      error.isEmpty() ? source.errorString() : error);
        return false;
    }
    if (!storePayload(source, entry.sourceLength, stored.key(),
                      tr("Falscher Hash-Wert in der Offline-Update-Datei:"), fullPath, update,
                      &entry.offset, &entry.size))
        return false;
    entry.sourceOffset = -1;
    return true;
}

bool UpdateCheck::storePayload(QIODevice &in, qint64 length, const QString &sha256,
                               const QString &mismatchTitle, const QString &fullPath,
                               PendingUpdate &update, qint64 *offset, qint64 *size)
{
    if (!update.offlineStore)
        update.offlineStore = PayloadStore::create();
    QTemporaryFile &store = *update.offlineStore;
    if (!store.isOpen()) {
        appendLogLine(result.log, tr("Fehler beim Schreiben der temporären Datei:"), true, fullPath,
                      store.errorString());
        // The next check tries again, perhaps with a temporary folder that works by then.
        update.offlineStore.reset();
        return false;
    }
    *offset = store.size();
    const ExpandedPayload expanded =
        store.seek(*offset) ? expandPayloadInto(in, length, store) : ExpandedPayload();
    if (expanded.status == ExpandedPayload::Expanded && expanded.hashName == sha256) {
        *size = expanded.size;
        return true;
    }
    // Nothing of a refused payload stays: the next payload is appended where this one began.
    store.resize(*offset);
    if (expanded.status == ExpandedPayload::WriteFailed)
        appendLogLine(result.log, tr("Fehler beim Schreiben der temporären Datei:"), true, fullPath,
                      expanded.error);
    else
        appendLogLine(result.log, mismatchTitle, true, expanded.hashName);
    return false;
}

void UpdateCheck::addEntry(const QString &key, const OfflineEntry &entry, PendingUpdate &update)
{
    const auto added = update.offlineIndex.insert(key, entry);
    entriesByIndex.insert(entryId(entry.groupIndex, entry.fileIndex), added);
    if (!key.isEmpty() && !entriesByKey.contains(key))
        entriesByKey.insert(key, added);
}

bool UpdateCheck::localFileCurrent(const QString &fullPath,
                                   const LocalComparisons::Result &comparison, bool *current,
                                   PendingUpdate &update)
{
    const LocalFile local = comparison.state;
    if (local != LocalFile::Missing && !update.executablePending)
        update.executablePending = isExecutableSuffix(fullPath);
    switch (local) {
    case LocalFile::Folder:
        appendLogLine(result.log, tr("Fehler beim Lesen der Datei:"), true, fullPath,
                      tr("Ein Ordner steht an ihrer Stelle."));
        return false;
    case LocalFile::Unreadable:
        appendLogLine(result.log, tr("Fehler beim Lesen der Datei:"), true, fullPath,
                      comparison.error);
        return false;
    case LocalFile::Missing:
    case LocalFile::Differs:
    case LocalFile::Current:
        break;
    }
    *current = local == LocalFile::Current;
    return true;
}

OfflineIndex::iterator UpdateCheck::storedEntry(OfflineIndex &index, const QString &key,
                                                int groupIndex, int fileIndex) const
{
    const auto found = entriesByIndex.constFind(entryId(groupIndex, fileIndex));
    if (found == entriesByIndex.constEnd() || found.value().key() != key)
        return index.end();
    return found.value();
}

// Every differing file of the group is fetched at once: the requests share kept-alive
// connections and several are in flight, where one after the other each waited for its own.
// The results are then taken in the entries' order, so the first failure is the one a check
// file by file would have met.
bool UpdateCheck::fetchPending(int groupIndex, const QVector<QPair<int, QString>> &toFetch,
                               PendingUpdate &update)
{
    QVector<FetchedDataFile> files;
    QHash<QString, int> fileOfKey;
    for (const auto &wanted : toFetch) {
        const FileEntry &entry = document.entry(groupIndex, wanted.first);
        if (fileOfKey.contains(entry.sha256))
            continue;
        fileOfKey.insert(entry.sha256, files.size());
        FetchedDataFile file;
        file.fileName = entry.sha256 + QLatin1String(".bin");
        file.maxBytes = payloadSizeLimit(entry.size);
        files.append(file);
    }
    // Each body goes once it is stored, and the rest with the group, whatever happens.
    const auto removeBodies = qScopeGuard([&files] {
        for (const FetchedDataFile &file : qAsConst(files)) {
            if (!file.bodyPath.isEmpty())
                QFile::remove(file.bodyPath);
        }
    });
    toFetchDone = 0;
    fetchFailed = false;
    if (!files.isEmpty()) {
        fetch(files, [&](int arrived) {
            return storeArrived(groupIndex, files, fileOfKey, arrived + 1, update);
        });
    }
    return storeArrived(groupIndex, files, fileOfKey, files.size(), update);
}

bool UpdateCheck::storeArrived(int groupIndex, QVector<FetchedDataFile> &files,
                               const QHash<QString, int> &fileOfKey, int arrived,
                               PendingUpdate &update)
{
    while (toFetchDone < toFetch.size() && !fetchFailed) {
        const auto &wanted = toFetch.at(toFetchDone);
        const FileEntry &entry = document.entry(groupIndex, wanted.first);
        const int file = fileOfKey.value(entry.sha256);
        if (file >= arrived)
            break;
        // A content named twice was stored for its first entry.
        const auto shared = entriesByKey.constFind(entry.sha256);
        const bool stored = shared != entriesByKey.constEnd()
            ? addSharedEntry(shared.value(), groupIndex, wanted.first, entry, update)
            : storeFetched(groupIndex, wanted.first, files.at(file), wanted.second, update);
        // Stored once, the body is no longer needed: memory holds the files in flight only.
        files[file].data.clear();
        fetchFailed = !stored;
        ++toFetchDone;
    }
    return !fetchFailed;
}

bool UpdateCheck::storeFetched(int groupIndex, int fileIndex, const FetchedDataFile &file,
                               const QString &fullPath, PendingUpdate &update)
{
    const FileEntry &entry = document.entry(groupIndex, fileIndex);
    const QString &targetPath = entry.targetPath;
    if (file.stagingFailed) {
        appendLogLine(result.log, tr("Fehler beim Schreiben der temporären Datei:"), true, fullPath,
                      file.error);
        return false;
    }
    QFile bodyFile(file.bodyPath);
    QBuffer bodyBuffer;
    bodyBuffer.setData(file.data);
    QIODevice &body = file.bodyPath.isEmpty() ? static_cast<QIODevice &>(bodyBuffer) : bodyFile;
    if (!file.ok || !body.open(QIODevice::ReadOnly)) {
        appendLogLine(result.log, tr("Fehler beim Laden der Datei:"), true, targetPath,
                      file.ok ? body.errorString() : file.error);
        if (offlineLoaded) {
            appendLogLine(
                result.log,
                tr("Die Datei '%1' (%2,%3) befindet sich nicht im Offline-Update.")
                    .arg(targetPath, QString::number(groupIndex), QString::number(fileIndex)),
                true);
        }
        return false;
    }
    // The document states the size: a payload that claims more is refused unexpanded.
    if (statedPayloadSize(body.peek(4)) > quint64(qMax<qint64>(0, entry.size))
        || !fitsInPayload(entry.size)) {
        appendLogLine(result.log, tr("Fehler beim Laden der Datei:"), true, targetPath,
                      tr("Die Serverdaten sind größer als angegeben."));
        return false;
    }
    OfflineEntry added;
    const bool stored =
        storePayload(body, body.size(), entry.sha256, tr("Falscher Hash-Wert der Serverdaten:"),
                     fullPath, update, &added.offset, &added.size);
    body.close();
    if (!file.bodyPath.isEmpty())
        QFile::remove(file.bodyPath);
    if (!stored)
        return false;
    added.groupIndex = groupIndex;
    added.fileIndex = fileIndex;
    added.pending = true;
    addEntry(entry.sha256, added, update);
    result.pendingBytes += added.size;
    return true;
}

// An earlier check may have listed the folder already; it is marked again, not added twice.
void UpdateCheck::markFolderPending(int groupIndex, int fileIndex, const QString &key,
                                    PendingUpdate &update)
{
    auto stored = storedEntry(update.offlineIndex, key, groupIndex, fileIndex);
    if (stored != update.offlineIndex.end()) {
        stored.value().pending = true;
        return;
    }
    OfflineEntry folder;
    folder.groupIndex = groupIndex;
    folder.fileIndex = fileIndex;
    folder.pending = true;
    addEntry(key, folder, update);
}

void UpdateCheck::notePlugin(int groupIndex, const QString &fullPath, PendingUpdate &update) const
{
    QString path = QFileInfo(fullPath).absoluteFilePath().toLower();
    normalizeSeparators(path);
    const QString name = QFileInfo(fullPath).fileName();
    if (path.contains(QLatin1String("/plugins/")))
        update.pluginFileNames[groupIndex].append(name);
    else if (path.contains(QLatin1String("/plugins2/")))
        update.plugin2FileNames[groupIndex].append(name);
}
