#include "package/packagebuilder.h"

#include "package/builderconfig.h"
#include "package/builderlog.h"
#include "package/durablefile.h"
#include "package/hashname.h"
#include "package/offlinefilewriter.h"
#include "package/packagelog.h"
#include "package/pathcontainment.h"
#include "package/payload.h"
#include "package/sourcewalk.h"
#include "package/updatedocument.h"

#include "platform/platform.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent>

#include <deque>

namespace {

// What a worker thread makes of one source file: its hash name and the payload of its data
// file, read from an existing data file that holds this content or else newly compressed.
struct FileWork
{
    bool ok = false;
    QString error;
    QString hashName;
    qint64 size = 0;
    QByteArray payload;
    bool reused = false;
};

QString timeText(const QDateTime &time)
{
    return time.toLocalTime().toString(Qt::ISODate);
}

// expandPayload gives the empty array for a damaged payload too, so the empty content is
// compared with its one valid payload instead.
bool payloadHolds(const QByteArray &payload, const QByteArray &content)
{
    if (content.isEmpty())
        return payload == compressPayload(content);
    return expandPayload(payload) == content;
}

// Takes the payload of an existing data file when it holds exactly this content. One cut short
// by a full disk or a killed run, or holding anything else, is written again, not published.
// False when the file exists but cannot be read.
bool reuseDataFile(const QString &dataPath, const QByteArray &content, FileWork *work)
{
    // Only a regular file: a device or a pipe under that name would be read without end.
    if (!QFileInfo(dataPath).isFile())
        return true;
    QFile file(dataPath);
    if (!file.open(QIODevice::ReadOnly)) {
        work->error = reportFailure(FailedStep::open, dataPath, file.errorString());
        return false;
    }
    const QByteArray payload = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        work->error = reportFailure(FailedStep::open, dataPath, file.errorString());
        return false;
    }
    if (payloadHolds(payload, content)) {
        work->payload = payload;
        work->reused = true;
    } else {
        qCDebug(lcPackage) << "Beschädigte Datendatei wird neu geschrieben:" << dataPath;
    }
    return true;
}

FileWork hashAndCompress(const QString &path, const QString &targetDir)
{
    FileWork work;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        work.error = reportFailure(FailedStep::open, path, file.errorString());
        return work;
    }
    if (!fitsInPayload(file.size())) {
        work.error = reportFailure(FailedStep::open, path,
                                   QStringLiteral("Datei zu groß für ein Update-Paket"));
        return work;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        work.error = reportFailure(FailedStep::open, path, file.errorString());
        return work;
    }
    work.size = content.size();
    work.hashName = hashName(content);
    if (!reuseDataFile(targetDir + work.hashName + QLatin1String(".bin"), content, &work))
        return work;
    if (!work.reused)
        work.payload = compressPayload(content);
    work.ok = true;
    return work;
}

class PackageBuilder
{
public:
    bool run(const QString &configPath, QString &offlinePath);
    QString errorText() const { return error; }

private:
    bool checkSources();
    bool outputOutside(const char *output, const QString &path, const QString &sourceDir,
                       const QString &canonicalSource);
    QString logFolder() const;
    bool openOutputs(QString &offlinePath);
    bool buildGroup(const GroupConfig &group);
    bool storeFile(const SourceEntry &entry, const FileWork &work, int fileIndex,
                   FileEntry *fileEntry);
    bool writeDocument();
    bool finishOutputs();
    bool makeFolder(const QString &path);

    QString configFile;
    QString error;
    BuilderConfig config;
    OfflineFileWriter offline;
    PartFile log;
    UpdateDocument document;
    QSet<QString> writtenDataFiles; // hash names
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
    if (!checkSources() || !makeFolder(config.targetDir) || !openOutputs(offlinePath))
        return false;

    document.version = config.version;
    document.mainInfos = config.mainInfos;
    for (const GroupConfig &group : qAsConst(config.groups)) {
        if (group.hasSourceDir && !buildGroup(group))
            return false;
    }
    return writeDocument();
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
            || !outputOutside("Builder-Protokoll", logPath, group.sourceDir, *source))
            return false;
    }
    return true;
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
    QString reason;
    if (!log.open(logFolder() + QLatin1String("log.txt"), &reason)) {
        error = reportFailure(FailedStep::open, log.path(), reason);
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
    QVector<SourceEntry> entries;
    if (!walkSourceTree(group.sourceDir, &entries, &error))
        return false;

    // Reading, hashing and compressing run on the pool, a few files ahead; the results are
    // taken in walk order, so data files, records and log lines keep that order.
    const int window = qMax(2, QThreadPool::globalInstance()->maxThreadCount() * 2);
    std::deque<QFuture<FileWork>> inFlight;
    int next = 0;
    auto submitUpTo = [&](int limit) {
        while (next < entries.size() && next < limit) {
            const SourceEntry &entry = entries.at(next++);
            if (!entry.isDir)
                inFlight.push_back(
                    QtConcurrent::run(hashAndCompress, entry.path, config.targetDir));
        }
    };

    UpdateGroup built = group.values;
    bool ok = true;
    for (int i = 0; i < entries.size() && ok; ++i) {
        submitUpTo(i + window);
        const SourceEntry &entry = entries.at(i);
        qCDebug(lcPackage) << entry.targetPath;
        FileEntry fileEntry;
        fileEntry.targetPath = entry.targetPath;
        fileEntry.isDir = entry.isDir;
        if (!entry.isDir) {
            const FileWork work = inFlight.front().result();
            inFlight.pop_front();
            ok = storeFile(entry, work, built.files.size(), &fileEntry);
            built.size += work.size;
        }
        fileEntry.created = timeText(entry.created);
        fileEntry.modified = timeText(entry.modified);
        fileEntry.accessed = timeText(entry.read);
        built.files.append(fileEntry);
    }
    for (QFuture<FileWork> &future : inFlight)
        future.waitForFinished();
    if (!ok)
        return false;
    document.groups.append(built);
    return true;
}

bool PackageBuilder::storeFile(const SourceEntry &entry, const FileWork &work, int fileIndex,
                               FileEntry *fileEntry)
{
    if (!work.ok) {
        error = work.error;
        return false;
    }
    qCDebug(lcPackage) << work.hashName;
    const int groupIndex = document.groups.size();
    const QString dataPath = config.targetDir + work.hashName + QLatin1String(".bin");
    // The same content twice in one run is written once.
    if (!work.reused && !writtenDataFiles.contains(work.hashName)) {
        qCDebug(lcPackage) << dataPath;
        if (!writeFileDurably(dataPath, work.payload, &error))
            return false;
        writtenDataFiles.insert(work.hashName);
    }
    if (offline.isOpen()
        && !offline.appendRecord(work.hashName, groupIndex, fileIndex, work.payload)) {
        error = reportFailure(FailedStep::write, config.targetFile, offline.errorString());
        return false;
    }
    QString reason;
    if (!writeAll(log.file(),
                  builderLogLine(entry.targetPath, work.hashName, groupIndex, fileIndex),
                  &reason)) {
        error = reportFailure(FailedStep::write, log.path(), reason);
        return false;
    }
    fileEntry->sha256 = work.hashName;
    fileEntry->size = work.size;
    return true;
}

bool PackageBuilder::writeDocument()
{
    qCDebug(lcPackage).noquote()
        << QJsonDocument(documentToJson(document)).toJson(QJsonDocument::Compact);
    const QByteArray binary = documentToBinary(document);
    const QString name = hashName(binary) + QLatin1String(".bin");
    const QByteArray payload = compressPayload(binary);
    if (!writeFileDurably(config.targetDir + name, payload, &error))
        return false;
    if (offline.isOpen() && !offline.appendDocument(payload)) {
        error = reportFailure(FailedStep::write, config.targetFile, offline.errorString());
        return false;
    }
    // "info.bin" last: a new "info.bin" means that every other output is on the disk.
    return finishOutputs()
        && writeFileDurably(config.targetDir + QLatin1String("info.bin"), name.toUtf8(), &error);
}

bool PackageBuilder::finishOutputs()
{
    if (offline.isOpen() && !offline.finish()) {
        error = reportFailure(FailedStep::write, config.targetFile, offline.errorString());
        return false;
    }
    QString reason;
    if (!log.commit(&reason)) {
        error = reportFailure(FailedStep::write, log.path(), reason);
        return false;
    }
    return true;
}

} // namespace

bool buildPackage(const QString &configPath, QString &offlinePath, QString *error)
{
    PackageBuilder builder;
    if (builder.run(configPath, offlinePath))
        return true;
    if (error)
        *error = builder.errorText();
    return false;
}
