#include "updatecheck.h"

#include "logline.h"
#include "package/hashname.h"
#include "package/payload.h"
#include "package/payloadstore.h"
#include "package/payloadstream.h"
#include "package/targetpath.h"
#include "platform/platform.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
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

UpdateCheck::UpdateCheck(const QJsonArray &groups, const QString &baseDir,
                         const QString &runningExecutable, bool offlineLoaded, DataFileFetch fetch,
                         CheckProgress progress)
    : groups(groups)
    , baseDir(baseDir)
    , runningExecutable(runningExecutable)
    , offlineLoaded(offlineLoaded)
    , fetch(std::move(fetch))
    , progress(std::move(progress))
{
}

CheckResult UpdateCheck::run(const CheckSelection &selection, CheckState &state)
{
    result = CheckResult();
    // What is pending comes from the installation as it is now: lists of an earlier check
    // would hide a folder that was created and removed since.
    entriesByIndex.clear();
    entriesByKey.clear();
    for (auto it = state.offlineIndex.begin(); it != state.offlineIndex.end(); ++it) {
        it.value().pending = false;
        entriesByIndex.insert(entryId(it.value().groupIndex, it.value().fileIndex), it);
        if (!it.key().isEmpty() && !entriesByKey.contains(it.key()))
            entriesByKey.insert(it.key(), it);
    }
    state.searchedGroups.clear();
    state.directoriesToCreate.clear();
    foldersListed.clear();
    state.pluginFileNames.clear();
    state.plugin2FileNames.clear();

    QSet<QString> typesSeen;
    for (int groupIndex : selection.checkedGroups) {
        if (execPreferenceSkips(groupIndex, selection.execGroupSingleOs)) {
            state.searchedGroups.insert(groupIndex);
            continue;
        }
        state.searchedGroups.insert(groupIndex);
        const QJsonObject group = groups.at(groupIndex).toObject();
        const QString type = group.value(QStringLiteral("type")).toString().toLower();
        if (type == QLatin1String("exec")
            && group.value(QStringLiteral("subtype")).toInt() != selection.productType)
            continue;
        if (group.value(QStringLiteral("beta")).toBool() && selection.hasBetaBox
            && !selection.betaChecked)
            continue;
        if (!type.isEmpty() && typesSeen.contains(type)) {
            result.outcome = CheckResult::DuplicateType;
            result.duplicateType = type;
            return result;
        }
        typesSeen.insert(type);
        if (!checkGroup(groupIndex, type, state)) {
            result.outcome = CheckResult::Failed;
            break;
        }
    }
    for (const OfflineEntry &entry : qAsConst(state.offlineIndex)) {
        if (entry.pending)
            ++result.pendingCount;
    }
    return result;
}

bool UpdateCheck::checkGroup(int groupIndex, const QString &type, CheckState &state)
{
    const QJsonArray files =
        groups.at(groupIndex).toObject().value(QStringLiteral("data")).toArray();
    const bool elster = type == QLatin1String("elster");
    for (int i = 0; i < files.size(); ++i) {
        progress(i + 1, files.size());
        if (!checkFile(groupIndex, i, files.at(i).toObject(), elster, state))
            return false;
    }
    return true;
}

bool UpdateCheck::checkFile(int groupIndex, int fileIndex, const QJsonObject &entry, bool elster,
                            CheckState &state)
{
    const QString targetPath = entry.value(QStringLiteral("targetpath")).toString();
    const QString sha256 = entry.value(QStringLiteral("sha256")).toString();
    // A path that may not be written is neither read nor listed for the installation: a
    // hostile document could otherwise make the check hash a device that never ends.
    const QString fullPath = resolveTargetPath(baseDir, targetPath);
    if (fullPath.isEmpty()) {
        appendLogLine(result.log, tr("Ungültiger Zielpfad:"), true, targetPath);
        return false;
    }

    if (entry.value(QStringLiteral("isdir")).toBool()) {
        // A link where a folder goes is replaced by a real folder.
        if (localEntryAt(fullPath) != LocalEntry::Folder
            && !foldersListed.contains(fullPath.toLower())) {
            foldersListed.insert(fullPath.toLower());
            state.directoriesToCreate.append(fullPath);
            markFolderPending(groupIndex, fileIndex, sha256, state);
        }
        return true;
    }

    auto stored = storedEntry(state.offlineIndex, sha256, groupIndex, fileIndex);
    if (stored != state.offlineIndex.end() && stored.value().pending) {
        result.pendingBytes += stored.value().size;
        return true;
    }
    qDebug() << fullPath;
    if (elster)
        notePlugin(groupIndex, fullPath, state);

    bool current = false;
    if (!localFileCurrent(fullPath, sha256, &current, state))
        return false;
    if (current)
        return true;
    // The running updater cannot replace itself; a current copy of it is no obstacle.
    if (isSameFile(fullPath, runningExecutable)) {
        appendLogLine(result.log, tr("Ungültiger Zielpfad:"), true, targetPath);
        return false;
    }
    const qint64 size = qint64(entry.value(QStringLiteral("size")).toDouble());
    if (stored != state.offlineIndex.end())
        return markStoredPending(stored, size, entry, state);
    // Content that another entry names is fetched and stored once.
    const auto shared = entriesByKey.constFind(sha256);
    if (shared != entriesByKey.constEnd())
        return addSharedEntry(shared.value(), groupIndex, fileIndex, size, entry, state);
    return fetchPayload(groupIndex, fileIndex, entry, fullPath, state);
}

bool UpdateCheck::markStoredPending(OfflineIndex::iterator stored, qint64 size,
                                    const QJsonObject &entry, CheckState &state)
{
    if (!expandFromOfflineFile(stored, size, entry, state))
        return false;
    stored.value().pending = true;
    result.pendingBytes += stored.value().size;
    return true;
}

bool UpdateCheck::addSharedEntry(OfflineIndex::iterator shared, int groupIndex, int fileIndex,
                                 qint64 size, const QJsonObject &entry, CheckState &state)
{
    if (!expandFromOfflineFile(shared, size, entry, state))
        return false;
    OfflineEntry added;
    added.offset = shared.value().offset;
    added.size = shared.value().size;
    added.groupIndex = groupIndex;
    added.fileIndex = fileIndex;
    added.pending = true;
    addEntry(shared.key(), added, state);
    result.pendingBytes += added.size;
    return true;
}

// Payloads of an offline update file are expanded when a check first needs them, and checked
// against their names like those from the server.
bool UpdateCheck::expandFromOfflineFile(OfflineIndex::iterator stored, qint64 size,
                                        const QJsonObject &fileEntry, CheckState &state)
{
    OfflineEntry &entry = stored.value();
    if (entry.sourceOffset < 0)
        return true;
    const QString targetPath = fileEntry.value(QStringLiteral("targetpath")).toString();
    const QString fullPath = baseDir + targetPath;
    // As for the server's data: a payload that claims more than the document is not expanded.
    if (entry.size > qMax<qint64>(0, size)) {
        appendLogLine(result.log, tr("Fehler beim Laden der Datei:"), true, targetPath,
                      tr("Die Daten der Offline-Update-Datei sind größer als angegeben."));
        return false;
    }
    QFile source(state.offlineFile);
    if (!source.open(QIODevice::ReadOnly) || !source.seek(entry.sourceOffset)) {
        appendLogLine(result.log, tr("Fehler beim Lesen der Datei:"), true, state.offlineFile,
                      source.errorString());
        return false;
    }
    if (!storePayload(source, entry.sourceLength, stored.key(),
                      tr("Falscher Hash-Wert in der Offline-Update-Datei:"), fullPath, state,
                      &entry.offset, &entry.size))
        return false;
    entry.sourceOffset = -1;
    return true;
}

bool UpdateCheck::storePayload(QIODevice &in, qint64 length, const QString &sha256,
                               const QString &mismatchTitle, const QString &fullPath,
                               CheckState &state, qint64 *offset, qint64 *size)
{
    if (!state.offlineStore)
        state.offlineStore = PayloadStore::create();
    QTemporaryFile &store = *state.offlineStore;
    if (!store.isOpen()) {
        appendLogLine(result.log, tr("Fehler beim Schreiben der temporären Datei:"), true, fullPath,
                      store.errorString());
        // The next check tries again, perhaps with a temporary folder that works by then.
        state.offlineStore.reset();
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

void UpdateCheck::addEntry(const QString &key, const OfflineEntry &entry, CheckState &state)
{
    const auto added = state.offlineIndex.insert(key, entry);
    entriesByIndex.insert(entryId(entry.groupIndex, entry.fileIndex), added);
    if (!key.isEmpty() && !entriesByKey.contains(key))
        entriesByKey.insert(key, added);
}

// Only a regular file is read: a link, a pipe or a device at a file's place is not what the
// release put there (and may never end), so it counts as differing and is replaced.
bool UpdateCheck::localFileCurrent(const QString &fullPath, const QString &sha256, bool *current,
                                   CheckState &state)
{
    const LocalEntry local = localEntryAt(fullPath);
    if (local == LocalEntry::Missing)
        return true;
    if (!state.executablePending)
        state.executablePending = isExecutableSuffix(fullPath);
    if (local == LocalEntry::Other)
        return true;
    QFile file(fullPath);
    // A file that cannot be read to its end counts as unreadable, not as different.
    const QString localHash = local == LocalEntry::File && file.open(QIODevice::ReadOnly)
        ? hashNameOfDevice(&file)
        : QString();
    if (localHash.isEmpty()) {
        appendLogLine(result.log, tr("Fehler beim Lesen der Datei:"), true, fullPath,
                      local == LocalEntry::Folder ? tr("Ein Ordner steht an ihrer Stelle.")
                                                  : file.errorString());
        return false;
    }
    *current = localHash == sha256;
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

bool UpdateCheck::fetchPayload(int groupIndex, int fileIndex, const QJsonObject &entry,
                               const QString &fullPath, CheckState &state)
{
    const QString targetPath = entry.value(QStringLiteral("targetpath")).toString();
    const QString sha256 = entry.value(QStringLiteral("sha256")).toString();
    const qint64 size = qint64(entry.value(QStringLiteral("size")).toDouble());
    QByteArray body;
    QString error;
    if (!fetch(sha256 + QLatin1String(".bin"), payloadSizeLimit(size), &body, &error)) {
        appendLogLine(result.log, tr("Fehler beim Laden der Datei:"), true, targetPath, error);
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
    if (statedPayloadSize(body) > quint64(qMax<qint64>(0, size)) || !fitsInPayload(size)) {
        appendLogLine(result.log, tr("Fehler beim Laden der Datei:"), true, targetPath,
                      tr("Die Serverdaten sind größer als angegeben."));
        return false;
    }
    QBuffer compressed(&body);
    compressed.open(QIODevice::ReadOnly);
    OfflineEntry added;
    if (!storePayload(compressed, body.size(), sha256, tr("Falscher Hash-Wert der Serverdaten:"),
                      fullPath, state, &added.offset, &added.size))
        return false;
    added.groupIndex = groupIndex;
    added.fileIndex = fileIndex;
    added.pending = true;
    addEntry(sha256, added, state);
    result.pendingBytes += added.size;
    return true;
}

// An earlier check may have listed the folder already; it is marked again, not added twice.
void UpdateCheck::markFolderPending(int groupIndex, int fileIndex, const QString &key,
                                    CheckState &state)
{
    auto stored = storedEntry(state.offlineIndex, key, groupIndex, fileIndex);
    if (stored != state.offlineIndex.end()) {
        stored.value().pending = true;
        return;
    }
    OfflineEntry folder;
    folder.groupIndex = groupIndex;
    folder.fileIndex = fileIndex;
    folder.pending = true;
    addEntry(key, folder, state);
}

void UpdateCheck::notePlugin(int groupIndex, const QString &fullPath, CheckState &state) const
{
    QString path = QFileInfo(fullPath).absoluteFilePath().toLower();
    normalizeSeparators(path);
    const QString name = QFileInfo(fullPath).fileName();
    if (path.contains(QLatin1String("/plugins/")))
        state.pluginFileNames[groupIndex].append(name);
    else if (path.contains(QLatin1String("/plugins2/")))
        state.plugin2FileNames[groupIndex].append(name);
}
