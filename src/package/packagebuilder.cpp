#include "package/packagebuilder.h"

#include "package/builderconfig.h"
#include "package/builderlog.h"
#include "package/datafilebatch.h"
#include "package/datafileclaims.h"
#include "package/durablefile.h"
#include "package/fileworkqueue.h"
#include "package/hashname.h"
#include "package/offlinefilewriter.h"
#include "package/packagelog.h"
#include "package/pathcontainment.h"
#include "package/payload.h"
#include "package/releasesignature.h"
#include "package/releasesigner.h"
#include "package/replacingfile.h"
#include "package/smallfile.h"
#include "package/sourcewalk.h"
#include "package/updatedocument.h"

#include "platform/platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent>

#include <deque>

namespace {

class PackageBuilder
{
public:
    bool run(const QString &configPath, QString &offlinePath);
    QString errorText() const { return error; }
    // After a successful run: where the offline update file's parts lie, when one was written.
    std::optional<OfflineFileLayout> offlineLayout() const
    {
        return config.targetFile.isEmpty() ? std::nullopt : std::optional(offline.layout());
    }

private:
    bool checkSources();
    bool outputOutside(const char *output, const QString &path, const QString &sourceDir,
                       const QString &canonicalSource);
    bool keyOutside(const char *place, const QString &folder, const QString &resolvedFolder);
    QString logFolder() const;
    bool openOutputs(QString &offlinePath);
    bool buildGroups();
    bool buildGroup(const GroupConfig &group);
    bool storeFiles(SourceWalk &walk, UpdateGroup *built);
    bool storeEntry(const SourceEntry &entry, FileWorkQueue &queue, UpdateGroup *built);
    bool storeFile(const SourceEntry &entry, const FileWork &work, int fileIndex,
                   FileEntry *fileEntry);
    bool refuseKeyCopy(const SourceEntry &entry, const FileWork &work);
    bool appendRecord(const FileWork &work, int groupIndex, int fileIndex);
    void keepWrittenDataFiles();
    bool writeDocument();
    bool publishRelease(const QString &documentName);
    bool finishOutputs();
    bool writeFailed(const QString &path, const QString &reason);
    bool makeFolder(const QString &path);

    QString configFile;
    QString error;
    BuilderConfig config;
    OfflineFileWriter offline;
    ReplacingFile log;
    UpdateDocument document;
    DataFileClaims claims;
    DataFileBatch dataFiles;
    ReleaseSigner signer;
    QString keyHash; // of the signing key's file: no source file may have this content
};

bool PackageBuilder::run(const QString &configPath, QString &offlinePath)
{
    configFile = configPath;
    if (!readBuilderConfig(configPath, &config, &error))
        return false;
    if (config.targetDir.isEmpty()) {
        error = reportFailure(FailedStep::loadXml, configPath,
                              QStringLiteral("Kein Zielordner (trgdir) angegeben"));
        return false;
    }
    // A key that cannot sign, or a number below the published one, would fail the run at its
    // end, after all the work.
    if (!signer.prepare(config, configPath, &error) || !checkSources()
        || !makeFolder(config.targetDir) || !openOutputs(offlinePath))
        return false;

    document.version = config.version;
    document.mainInfos = config.mainInfos;
    if (buildGroups() && writeDocument())
        return true;
    keepWrittenDataFiles();
    return false;
}

bool PackageBuilder::buildGroups()
{
    for (const GroupConfig &group : qAsConst(config.groups)) {
        if (group.hasSourceDir && !buildGroup(group))
            return false;
    }
    return true;
}

// The data files written before a failure hold their content all the same: they take their
// names, and the next run finds them instead of compressing again.
void PackageBuilder::keepWrittenDataFiles()
{
    QString ignored;
    dataFiles.commit(&ignored);
}

// Every source folder must exist before anything is written, and no output may lie in one: the
// next run would publish the release inside itself.
bool PackageBuilder::checkSources()
{
    const QString logPath = QFileInfo(logFolder() + QLatin1String("log.txt")).absoluteFilePath();
    for (const GroupConfig &group : qAsConst(config.groups)) {
        if (!group.hasSourceDir)
            continue;
        // An empty srcdir would walk the working directory and publish whatever lies there.
        if (group.sourceDir.isEmpty()) {
            error = reportFailure(FailedStep::loadXml, configFile,
                                  QLatin1String("Gruppe ohne Quellordner: ") + group.values.name);
            return false;
        }
        const std::optional<QString> source = canonicalSourceFolder(group.sourceDir, &error);
        if (!source || !outputOutside("Paketordner", config.targetDir, group.sourceDir, *source)
            || !outputOutside("Offline-Updatedatei", config.targetFile, group.sourceDir, *source)
            || !outputOutside("Builder-Protokoll", logPath, group.sourceDir, *source)
            || !keyOutside("im Quellordner", group.sourceDir, *source))
            return false;
    }
    // The package folder goes on the server as the folder of its year: the folder above it is
    // served too.
    const QString servedFolder = QFileInfo(QDir::cleanPath(config.targetDir)).absolutePath();
    if (!keyOutside("im Paketordner", config.targetDir, resolvedPath(config.targetDir))
        || !keyOutside("im Ordner über dem Paketordner", servedFolder, resolvedPath(servedFolder))
        || (!config.targetFile.isEmpty()
            && !keyOutside("im Ordner der Offline-Updatedatei", logFolder(),
                           resolvedPath(logFolder()))))
        return false;
    // A copy or a hard link of the key has another path: it is known by its content. Read as
    // the signer read it, so that a pipe put in its place since cannot hold the run.
    if (config.signKeyPath.isEmpty())
        return true;
    std::optional<QByteArray> key;
    QString reason;
    if (!readSmallFile(config.signKeyPath, releaseKeyFileLimit, true, &key, &reason) || !key) {
        error = reportFailure(FailedStep::open, config.signKeyPath, reason);
        return false;
    }
    keyHash = hashName(*key);
    return true;
}

// The private key signs what every installation takes: a key in a folder that the release is
// made of, or that goes to the server, would be published with it.
bool PackageBuilder::keyOutside(const char *place, const QString &folder,
                                const QString &resolvedFolder)
{
    if (config.signKeyPath.isEmpty() || !liesIn(resolvedPath(config.signKeyPath), resolvedFolder))
        return true;
    error = reportFailure(FailedStep::loadXml, configFile,
                          QStringLiteral("Signaturschlüssel liegt ") + QString::fromUtf8(place)
                              + QLatin1String(": ") + config.signKeyPath + QLatin1String(" in ")
                              + folder);
    return false;
}

bool PackageBuilder::outputOutside(const char *output, const QString &path,
                                   const QString &sourceDir, const QString &canonicalSource)
{
    if (path.isEmpty() || !liesIn(resolvedPath(path), canonicalSource))
        return true;
    error = reportFailure(FailedStep::loadXml, configFile,
                          QString::fromUtf8(output) + QLatin1String(" liegt im Quellordner: ")
                              + path + QLatin1String(" in ") + sourceDir);
    return false;
}

// The builder log lies beside the offline update file, or in the working directory without one.
QString PackageBuilder::logFolder() const
{
    if (config.targetFile.isEmpty())
        return QString();
    QString folder = QFileInfo(config.targetFile).absolutePath();
    normalizeDirPath(folder);
    return folder;
}

bool PackageBuilder::openOutputs(QString &offlinePath)
{
    if (!config.targetFile.isEmpty()) {
        offlinePath = config.targetFile;
        if (!makeFolder(logFolder()))
            return false;
        if (!offline.open(config.targetFile, config.year)) {
            error = reportFailure(FailedStep::open, config.targetFile, offline.errorString());
            return false;
        }
    }
    if (!log.open(logFolder() + QLatin1String("log.txt"))) {
        error = reportFailure(FailedStep::open, log.path(), log.errorString());
        return false;
    }
    return true;
}

bool PackageBuilder::makeFolder(const QString &path)
{
    QString reason;
    if (makePath(path, &reason))
        return true;
    error = reportFailure(FailedStep::open, path, reason);
    return false;
}

bool PackageBuilder::buildGroup(const GroupConfig &group)
{
    SourceWalk walk;
    if (!walk.start(group.sourceDir)) {
        error = walk.error();
        return false;
    }
    UpdateGroup built = group.values;
    if (!storeFiles(walk, &built))
        return false;
    document.groups.append(built);
    return true;
}

// The walk, and reading, hashing and compressing on the pool, run far ahead of storing; the
// results are taken in walk order, so data files, records and log lines keep that order.
bool PackageBuilder::storeFiles(SourceWalk &walk, UpdateGroup *built)
{
    FileWorkQueue queue;
    std::deque<SourceEntry> walked; // handed to the pool or folders, not stored yet
    SourceWalk::Step step = SourceWalk::Entry;
    bool ok = true;
    while (ok) {
        while (step == SourceWalk::Entry && queue.hasRoom()) {
            SourceEntry entry;
            step = walk.next(&entry);
            if (step != SourceWalk::Entry)
                break;
            if (!entry.isDir)
                queue.add({entry.path, entry.size, config.targetDir, &claims});
            walked.push_back(std::move(entry));
        }
        if (step == SourceWalk::Failed) {
            error = walk.error();
            ok = false;
        } else if (walked.empty()) {
            break;
        } else {
            ok = storeEntry(walked.front(), queue, built);
            walked.pop_front();
        }
    }
    // Files done after a failure may have written their parts too: they go with the others.
    for (const FileWork &work : queue.drain()) {
        if (work.ok && !work.writtenDataFile.isEmpty())
            dataFiles.add(work.writtenDataFile);
    }
    return ok;
}

bool PackageBuilder::storeEntry(const SourceEntry &entry, FileWorkQueue &queue, UpdateGroup *built)
{
    qCDebug(lcPackageFiles) << entry.targetPath;
    FileEntry fileEntry;
    fileEntry.targetPath = entry.targetPath;
    fileEntry.isDir = entry.isDir;
    bool ok = true;
    if (!entry.isDir) {
        const FileWork work = queue.takeOldest();
        ok = storeFile(entry, work, built->files.size(), &fileEntry);
        built->size += work.size;
    }
    fileEntry.created = localTimeText(entry.created);
    fileEntry.modified = localTimeText(entry.modified);
    fileEntry.accessed = localTimeText(entry.read);
    built->files.append(fileEntry);
    return ok;
}

bool PackageBuilder::storeFile(const SourceEntry &entry, const FileWork &work, int fileIndex,
                               FileEntry *fileEntry)
{
    if (!work.ok) {
        error = work.error;
        return false;
    }
    if (!keyHash.isEmpty() && work.hashName == keyHash)
        return refuseKeyCopy(entry, work);
    qCDebug(lcPackageFiles) << work.hashName << work.payloadPath;
    if (!work.writtenDataFile.isEmpty())
        dataFiles.add(work.writtenDataFile);
    const int groupIndex = document.groups.size();
    if (offline.isOpen() && !appendRecord(work, groupIndex, fileIndex))
        return false;
    if (!log.write(builderLogLine(entry.targetPath, work.hashName, groupIndex, fileIndex))) {
        error = reportFailure(FailedStep::write, log.path(), log.errorString());
        return false;
    }
    fileEntry->sha256 = work.hashName;
    fileEntry->size = work.size;
    return true;
}

// The key's content is never published: the part just written goes, and so does a data file of
// it that an earlier run left in the package folder.
bool PackageBuilder::refuseKeyCopy(const SourceEntry &entry, const FileWork &work)
{
    if (!work.writtenDataFile.isEmpty())
        QFile::remove(work.payloadPath);
    QFile::remove(config.targetDir + keyHash + QLatin1String(".bin"));
    error = reportFailure(FailedStep::loadXml, configFile,
                          QStringLiteral("Eine Kopie des Signaturschlüssels liegt im Quellordner: ")
                              + entry.path);
    return false;
}

// A payload held in memory is written as it is; a large one is copied from its data file.
bool PackageBuilder::appendRecord(const FileWork &work, int groupIndex, int fileIndex)
{
    bool appended = false;
    if (!work.payload.isEmpty()) {
        appended = offline.appendRecord(work.hashName, groupIndex, fileIndex, work.payload);
    } else {
        QFile payload(work.payloadPath);
        if (!payload.open(QIODevice::ReadOnly)) {
            error = reportFailure(FailedStep::open, work.payloadPath, payload.errorString());
            return false;
        }
        appended =
            offline.appendRecord(work.hashName, groupIndex, fileIndex, payload, payload.size());
    }
    if (!appended)
        error = reportFailure(FailedStep::write, config.targetFile, offline.errorString());
    return appended;
}

bool PackageBuilder::writeDocument()
{
    // One sync for every data file, before anything names them. For thousands of files it
    // takes as long as making the document, so both run at once.
    QString syncError;
    QFuture<bool> synced =
        QtConcurrent::run([this, &syncError] { return dataFiles.commit(&syncError); });
    qCDebug(lcPackageFiles).noquote()
        << QJsonDocument(documentToJson(document)).toJson(QJsonDocument::Compact);
    const QByteArray binary = documentToBinary(document);
    const QString documentHash = hashName(binary);
    const QString name = documentHash + QLatin1String(".bin");
    const QByteArray payload = compressPayload(binary);
    const bool written = writeFileDurably(config.targetDir + name, payload, &error);
    if (!synced.result()) {
        error = syncError;
        return false;
    }
    if (!written)
        return false;
    if (!signer.sign(documentHash, &error))
        return false;
    if (offline.isOpen()
        && (!offline.appendDocument(payload)
            || (!signer.statement().isEmpty() && !offline.appendStatement(signer.statement())))) {
        error = reportFailure(FailedStep::write, config.targetFile, offline.errorString());
        return false;
    }
    return finishOutputs() && publishRelease(name);
}

// "info.bin" last: a new "info.bin" means that every other output is on the disk. Its statement
// changes right before it, with nothing in between, and goes back when "info.bin" cannot follow:
// clients with keys refuse a statement that names another document than "info.bin".
bool PackageBuilder::publishRelease(const QString &documentName)
{
    if (!signer.publish(&error))
        return false;
    if (writeFileDurably(config.targetDir + QLatin1String("info.bin"), documentName.toUtf8(),
                         &error))
        return true;
    signer.restore();
    return false;
}

// Both files are made durable before either replaces its old one: a run that cannot write or
// sync either leaves both as they were. Only a failed rename, rarer still, can leave one new.
bool PackageBuilder::finishOutputs()
{
    if (offline.isOpen() && !offline.prepare())
        return writeFailed(config.targetFile, offline.errorString());
    if (!log.prepare())
        return writeFailed(log.path(), log.errorString());
    if (offline.isOpen() && !offline.finish())
        return writeFailed(config.targetFile, offline.errorString());
    if (!log.commit())
        return writeFailed(log.path(), log.errorString());
    return true;
}

bool PackageBuilder::writeFailed(const QString &path, const QString &reason)
{
    error = reportFailure(FailedStep::write, path, reason);
    return false;
}

} // namespace

bool buildPackage(const QString &configPath, QString &offlinePath, QString *error,
                  std::optional<OfflineFileLayout> *offlineLayout)
{
    PackageBuilder builder;
    if (builder.run(configPath, offlinePath)) {
        if (offlineLayout)
            *offlineLayout = builder.offlineLayout();
        return true;
    }
    if (error)
        *error = builder.errorText();
    return false;
}
