#include "app/mainwindow.h"
#include "mountedfilesystem.h"
#include "overcommitteddisk.h"
#include "programprocess.h"
#include "scripteddialogs.h"

#include "check/documentloader.h"
#include "check/releasetrust.h"
#include "package/binaryjsonreader.h"
#include "package/deflateblocks.h"
#include "package/hashname.h"
#include "package/offlinefile.h"
#include "package/offlinefilereader.h"
#include "package/packagebuilder.h"
#include "package/payload.h"
#include "package/updatedocument.h"

#include "platform/platform.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

// The package builder on small trees made by each test, and the real program in mode 1.
class tst_Builder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void identicalContentInTwoGroups();
    void emptyFolderTakesAFileIndex();
    void groupWithoutSourceDirTakesNoIndex();
    void groupValues_data();
    void groupValues();
    void mainInfoAnywhere();
    void offlineLayoutIsWhatAReaderFinds();
    void secondRunReusesDataFiles_data();
    void secondRunReusesDataFiles();
    void contentAroundTheBlockSize_data();
    void contentAroundTheBlockSize();
    void timesAreLocalTimeText();
    void withoutOfflineFileLogGoesToWorkingDirectory();
    void targetDirWithBackslashesAndBlanks();
    void walkOrderIsTheFileSystemsOrder();
    void linksInsideArePublished_data();
    void linksInsideArePublished();
    void outputsBesideSourcesAreAccepted_data();
    void outputsBesideSourcesAreAccepted();
    void refusedSources_data();
    void refusedSources();
    void failures_data();
    void failures();
    void unreadableSourceFileStopsTheRun();
    void unreadableSourceFolderStopsTheRun();
    void failedWriteKeepsThePackage_data();
    void failedWriteKeepsThePackage();
    void failedSyncKeepsThePackage();
    void damagedDataFileIsRewritten_data();
    void damagedDataFileIsRewritten();
    void fileTooLargeForAPayload_data();
    void fileTooLargeForAPayload();
    void groupLargerThan2GB();
    void largeFileInBoundedMemory_data();
    void largeFileInBoundedMemory();
    void withoutBirthTimeCreationIsModification();
    void independentReaderAcceptsPackage();
    void modeOneShowsSuccessBoxAndGoesOn();
    void realProgramBuildsPackage();
    void lineForEveryFileOnlyWhenAskedFor_data();
    void lineForEveryFileOnlyWhenAskedFor();
    void realProgramExitsOnFailure_data();
    void realProgramExitsOnFailure();
    void examplesReleaseReadsBack();

private:
    void write(const QString &relativePath, const QByteArray &content);
    void makeTree(const QStringList &tree);
    QJsonArray firstGroupEntries() const;
    QStringList publishedEntries() const;
    QStringList filesNamed(const QString &name) const;
    QString writeConfig(const QString &body, const QString &rootAttributes = QString());
    QJsonObject readDocument() const;
    QList<OfflineRecord> readRecords(int *count = nullptr) const;
    QStringList logLines() const;
    QByteArray contentOf(const QString &relative) const;
    std::unique_ptr<MountedFileSystem> smallDisk();
    QString path(const QString &relative) const { return dir->filePath(relative); }

    std::unique_ptr<QTemporaryDir> dir;
    QString workingDir;
};

void tst_Builder::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(dir->isValid(), qPrintable(dir->errorString()));
    if (workingDir.isEmpty())
        workingDir = QDir::currentPath();
    QDir::setCurrent(workingDir);
}

void tst_Builder::write(const QString &relativePath, const QByteArray &content)
{
    const QString full = path(relativePath);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
}

// One line per entry: "a/x.txt" a file holding "Inhalt a/x.txt", "a/leer/" a folder,
// "a/l -> b" a link to the absolute path of b, "a/l => ../b" a link to the relative path
// ../b, "a/rohr |" a named pipe.
void tst_Builder::makeTree(const QStringList &tree)
{
    for (const QString &line : tree) {
        const QStringList absolute = line.split(QStringLiteral(" -> "));
        const QStringList relative = line.split(QStringLiteral(" => "));
        const QString name = line.section(QLatin1Char(' '), 0, 0);
        QVERIFY(QDir().mkpath(QFileInfo(path(name)).absolutePath()));
        if (absolute.size() == 2)
            QVERIFY(QFile::link(path(absolute.at(1)), path(name)));
        else if (relative.size() == 2)
            QVERIFY(QFile::link(relative.at(1), path(name)));
        else if (line.endsWith(QLatin1String(" |")))
            QCOMPARE(mkfifo(QFile::encodeName(path(name)).constData(), 0600), 0);
        else if (line.endsWith(QLatin1Char('/')))
            QVERIFY(QDir().mkpath(path(line)));
        else
            write(line, QByteArray("Inhalt ") + line.toUtf8());
    }
}

QJsonArray tst_Builder::firstGroupEntries() const
{
    return readDocument()
        .value(QStringLiteral("data"))
        .toArray()
        .at(0)
        .toObject()
        .value(QStringLiteral("data"))
        .toArray();
}

// The first group's entries as "targetpath=content" for files and "targetpath/" for folders,
// sorted, the content read back from the data files.
QStringList tst_Builder::publishedEntries() const
{
    QStringList published;
    for (const QJsonValue &value : firstGroupEntries()) {
        const QJsonObject entry = value.toObject();
        const QString target = entry.value(QStringLiteral("targetpath")).toString();
        if (entry.value(QStringLiteral("isdir")).toBool()) {
            published.append(target + QLatin1Char('/'));
            continue;
        }
        const QString dataFile = QStringLiteral("pkg/")
            + entry.value(QStringLiteral("sha256")).toString() + QLatin1String(".bin");
        published.append(target + QLatin1Char('=')
                         + QString::fromUtf8(expandPayload(contentOf(dataFile))));
    }
    published.sort();
    return published;
}

// Every file of that name anywhere in the test's folder.
QStringList tst_Builder::filesNamed(const QString &name) const
{
    QStringList found;
    QDirIterator it(dir->path(), {name}, QDir::Files | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    return found;
}

QString tst_Builder::writeConfig(const QString &body, const QString &rootAttributes)
{
    const QString attributes = rootAttributes.isNull()
        ? QStringLiteral("trgdir=\"%1\" year=\"2017\" trgfile=\"%2\" version=\"17.1\"")
              .arg(path(QStringLiteral("pkg")), path(QStringLiteral("out/update.dat")))
        : rootAttributes;
    const QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                       "<updater_document %1>\n%2\n</updater_document>\n")
                            .arg(attributes, body);
    write(QStringLiteral("conf.xml"), xml.toUtf8());
    return path(QStringLiteral("conf.xml"));
}

QJsonObject tst_Builder::readDocument() const
{
    QFile info(path(QStringLiteral("pkg/info.bin")));
    if (!info.open(QIODevice::ReadOnly))
        return QJsonObject();
    QFile data(path(QStringLiteral("pkg/")) + QString::fromUtf8(info.readAll()));
    if (!data.open(QIODevice::ReadOnly))
        return QJsonObject();
    return readBinaryJson(expandPayload(data.readAll())).object();
}

QList<OfflineRecord> tst_Builder::readRecords(int *count) const
{
    QFile file(path(QStringLiteral("out/update.dat")));
    QList<OfflineRecord> records;
    if (!file.open(QIODevice::ReadOnly))
        return records;
    OfflineFileReader reader(&file);
    if (!reader.readHeader())
        return records;
    if (count)
        *count = reader.recordCount();
    OfflineRecord record;
    for (qint32 i = 0; i < reader.recordCount() && reader.readRecord(&record); ++i)
        records.append(record);
    return records;
}

QStringList tst_Builder::logLines() const
{
    QFile file(path(QStringLiteral("out/log.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
}

QByteArray tst_Builder::contentOf(const QString &relative) const
{
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A tmpfs of 64 KiB on the folder "voll": a disk that is soon full.
std::unique_ptr<MountedFileSystem> tst_Builder::smallDisk()
{
    QDir().mkpath(path(QStringLiteral("voll")));
    return std::make_unique<MountedFileSystem>(path(QStringLiteral("voll")), "tmpfs", "size=64k");
}

namespace {

// Content that does not compress, so that its data file takes as many blocks as it has bytes.
QByteArray incompressible(int size)
{
    QRandomGenerator generator(2017);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

QString noSpaceText()
{
    return QString::fromLocal8Bit(strerror(ENOSPC));
}

} // namespace

void tst_Builder::identicalContentInTwoGroups()
{
    write(QStringLiteral("a/x.txt"), "gleicher Inhalt");
    write(QStringLiteral("b/y.txt"), "gleicher Inhalt");
    const QString conf =
        writeConfig(QStringLiteral("<group name=\"A\" srcdir=\"%1\"/>"
                                   "<group name=\"B\" srcdir=\"%2\"/>")
                        .arg(path(QStringLiteral("a")), path(QStringLiteral("b"))));
    QString offlinePath = QStringLiteral("before.dat");
    QVERIFY(buildPackage(conf, offlinePath));
    QCOMPARE(offlinePath, path(QStringLiteral("out/update.dat")));

    const QString hash = hashName("gleicher Inhalt");
    const QStringList dataFiles =
        QDir(path(QStringLiteral("pkg"))).entryList({QStringLiteral("*.bin")}, QDir::Files);
    QCOMPARE(dataFiles.size(), 3); // the content, the document, info.bin
    QVERIFY(dataFiles.contains(hash + QLatin1String(".bin")));

    const QList<OfflineRecord> records = readRecords();
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.at(0).groupIndex, 0);
    QCOMPARE(records.at(1).groupIndex, 1);
    QCOMPARE(records.at(1).hashName, hash);
    QCOMPARE(logLines(),
             QStringList({QStringLiteral("x.txt-->%1.bin (0,0)").arg(hash),
                          QStringLiteral("y.txt-->%1.bin (1,0)").arg(hash), QString()}));

    QFile info(path(QStringLiteral("pkg/info.bin")));
    QVERIFY(info.open(QIODevice::ReadOnly));
    const QByteArray infoText = info.readAll();
    QCOMPARE(infoText.size(), 68);
    QVERIFY(!infoText.contains('\n'));
    const QJsonObject root = readDocument();
    QCOMPARE(root.value(QStringLiteral("version")).toString(), QStringLiteral("17.1"));
    const QJsonArray groups = root.value(QStringLiteral("data")).toArray();
    QCOMPARE(groups.size(), 2);
    const QJsonObject entry =
        groups.at(1).toObject().value(QStringLiteral("data")).toArray().at(0).toObject();
    QCOMPARE(entry.value(QStringLiteral("sha256")).toString(), hash);
    QCOMPARE(entry.value(QStringLiteral("size")).toInt(), 15);
    QCOMPARE(
        QDateTime::fromString(entry.value(QStringLiteral("time_m")).toString(), Qt::ISODate),
        QFileInfo(path(QStringLiteral("b/y.txt")))
            .lastModified()
            .addMSecs(-QFileInfo(path(QStringLiteral("b/y.txt"))).lastModified().time().msec()));
}

void tst_Builder::emptyFolderTakesAFileIndex()
{
    write(QStringLiteral("a/z.txt"), "z");
    QVERIFY(QDir().mkpath(path(QStringLiteral("a/leer"))));
    QVERIFY(buildPackage(
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a")))),
        *std::make_unique<QString>()));
    const QJsonObject group =
        readDocument().value(QStringLiteral("data")).toArray().at(0).toObject();
    QCOMPARE(group.value(QStringLiteral("count")).toInt(), 2);
    QCOMPARE(group.value(QStringLiteral("size")).toInt(), 1);
    const QJsonArray entries = group.value(QStringLiteral("data")).toArray();
    int fileIndex = -1;
    for (int i = 0; i < entries.size(); ++i) {
        const QJsonObject entry = entries.at(i).toObject();
        if (entry.value(QStringLiteral("targetpath")).toString() == QLatin1String("leer")) {
            QCOMPARE(entry.value(QStringLiteral("isdir")).toBool(), true);
            QCOMPARE(entry.value(QStringLiteral("sha256")).toString(), QString());
            QCOMPARE(entry.value(QStringLiteral("size")).toInt(), 0);
        } else {
            fileIndex = i;
        }
    }
    const QList<OfflineRecord> records = readRecords();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.at(0).fileIndex, fileIndex);
    QCOMPARE(logLines().size(), 2);
}

void tst_Builder::groupWithoutSourceDirTakesNoIndex()
{
    write(QStringLiteral("a/1.txt"), "1");
    write(QStringLiteral("c/3.txt"), "3");
    QString offlinePath;
    QVERIFY(
        buildPackage(writeConfig(QStringLiteral("<group name=\"eins\" srcdir=\"%1\"/>"
                                                "<group name=\"ohne\"/>"
                                                "<group name=\"drei\" srcdir=\"%2\"/>")
                                     .arg(path(QStringLiteral("a")), path(QStringLiteral("c")))),
                     offlinePath));
    const QJsonArray groups = readDocument().value(QStringLiteral("data")).toArray();
    QCOMPARE(groups.size(), 2);
    QCOMPARE(groups.at(1).toObject().value(QStringLiteral("name")).toString(),
             QStringLiteral("drei"));
    QCOMPARE(readRecords().at(1).groupIndex, 1);
    QVERIFY(logLines().at(1).endsWith(QLatin1String("(1,0)")));
}

void tst_Builder::groupValues_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("value");
    QTest::newRow("exec with subtype") << QStringLiteral("type=\"exec\" subtype=\"3\"")
                                       << QStringLiteral("subtype") << QJsonValue(3);
    QTest::newRow("exec with text subtype") << QStringLiteral("type=\"exec\" subtype=\"drei\"")
                                            << QStringLiteral("subtype") << QJsonValue(0);
    QTest::newRow("EXEC in capitals") << QStringLiteral("type=\"EXEC\" subtype=\"3\"")
                                      << QStringLiteral("subtype") << QJsonValue(-1);
    QTest::newRow("type copied as written")
        << QStringLiteral("type=\"EXEC\"") << QStringLiteral("type")
        << QJsonValue(QStringLiteral("EXEC"));
    QTest::newRow("beta 1") << QStringLiteral("beta=\"1\"") << QStringLiteral("beta")
                            << QJsonValue(true);
    QTest::newRow("beta true") << QStringLiteral("beta=\"true\"") << QStringLiteral("beta")
                               << QJsonValue(false);
    QTest::newRow("beta missing") << QString() << QStringLiteral("beta") << QJsonValue(false);
    QTest::newRow("cert false") << QStringLiteral("cert=\"false\"") << QStringLiteral("cert")
                                << QJsonValue(true);
    QTest::newRow("cert 0") << QStringLiteral("cert=\"0\"") << QStringLiteral("cert")
                            << QJsonValue(false);
    QTest::newRow("cert missing") << QString() << QStringLiteral("cert") << QJsonValue(true);
    QTest::newRow("active missing")
        << QString() << QStringLiteral("active") << QJsonValue(QString());
    QTest::newRow("disable verbatim")
        << QStringLiteral("disable=\" 1\"") << QStringLiteral("disable")
        << QJsonValue(QStringLiteral(" 1"));
    QTest::newRow("os verbatim") << QStringLiteral("os=\"windows_7;windows_10\"")
                                 << QStringLiteral("os")
                                 << QJsonValue(QStringLiteral("windows_7;windows_10"));
    QTest::newRow("info absent") << QString() << QStringLiteral("info")
                                 << QJsonValue(QJsonValue::Undefined);
}

void tst_Builder::groupValues()
{
    QFETCH(QString, attributes);
    QFETCH(QString, key);
    QVERIFY(QDir().mkpath(path(QStringLiteral("a"))));
    QString offlinePath;
    QVERIFY(buildPackage(
        writeConfig(
            QStringLiteral("<group %1 srcdir=\"%2\"/>").arg(attributes, path(QStringLiteral("a")))),
        offlinePath));
    const QJsonObject group =
        readDocument().value(QStringLiteral("data")).toArray().at(0).toObject();
    QTEST(group.value(key), "value");
    QCOMPARE(group.value(QStringLiteral("count")).toInt(), 0);
}

void tst_Builder::mainInfoAnywhere()
{
    QVERIFY(QDir().mkpath(path(QStringLiteral("a"))));
    QString offlinePath;
    QVERIFY(buildPackage(
        writeConfig(QStringLiteral("<main_info os=\"windows_7\">Erste <b>Info</b></main_info>"
                                   "<group srcdir=\"%1\"><info>Gruppeninfo</info>"
                                   "<main_info>Zweite</main_info></group>")
                        .arg(path(QStringLiteral("a")))),
        offlinePath));
    const QJsonObject root = readDocument();
    const QJsonArray mainInfo = root.value(QStringLiteral("main_info")).toArray();
    QCOMPARE(mainInfo.size(), 2);
    QCOMPARE(mainInfo.at(0).toObject().value(QStringLiteral("info")).toString(),
             QStringLiteral("Erste Info"));
    QCOMPARE(mainInfo.at(1).toObject().value(QStringLiteral("os")).toString(), QString());
    QCOMPARE(root.value(QStringLiteral("data"))
                 .toArray()
                 .at(0)
                 .toObject()
                 .value(QStringLiteral("info"))
                 .toString(),
             QStringLiteral("Gruppeninfo"));
}

// After a build the window takes the records' places from the builder instead of reading the
// file: they must be exactly what reading finds, for a new file and for one kept as it was. A
// layout the file does not match is not taken.
void tst_Builder::offlineLayoutIsWhatAReaderFinds()
{
    write(QStringLiteral("a/x.txt"), "gleicher Inhalt");
    write(QStringLiteral("a/leer.txt"), QByteArray());
    write(QStringLiteral("a/ordner/gross.bin"), incompressible(2 * int(payloadBlockSize) + 3));
    write(QStringLiteral("b/y.txt"), "gleicher Inhalt");
    const QString conf =
        writeConfig(QStringLiteral("<group name=\"A\" srcdir=\"%1\"/>"
                                   "<group name=\"B\" srcdir=\"%2\"/>")
                        .arg(path(QStringLiteral("a")), path(QStringLiteral("b"))));
    auto sameAsRead = [](const QString &offlinePath, const OfflineFileLayout &layout) {
        const OfflineLoad read = loadOfflineFile(offlinePath, ReleaseTrust());
        const OfflineLoad known = loadOfflineFile(offlinePath, ReleaseTrust(), &layout);
        auto places = [](const OfflineIndex &index) {
            QStringList lines;
            for (auto it = index.cbegin(); it != index.cend(); ++it)
                lines.append(QStringLiteral("%1 %2 %3 %4 %5 %6")
                                 .arg(it.key())
                                 .arg(it->size)
                                 .arg(it->groupIndex)
                                 .arg(it->fileIndex)
                                 .arg(it->sourceOffset)
                                 .arg(it->sourceLength));
            return lines;
        };
        return read.outcome == OfflineLoad::Loaded && known.outcome == read.outcome
            && places(known.index) == places(read.index) && read.index.size() == 4
            && documentToBinary(known.document) == documentToBinary(read.document);
    };
    for (int run = 0; run < 2; ++run) {
        QString offlinePath;
        std::optional<OfflineFileLayout> layout;
        QVERIFY(buildPackage(conf, offlinePath, nullptr, &layout));
        QVERIFY(layout);
        QVERIFY2(sameAsRead(offlinePath, *layout), run == 0 ? "new file" : "file kept");
        OfflineFileLayout stale = *layout;
        stale.records.remove(hashName("gleicher Inhalt"));
        QVERIFY(sameAsRead(offlinePath, stale));
    }
}

void tst_Builder::secondRunReusesDataFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("held whole") << QByteArray("Inhalt x");
    QTest::newRow("read in blocks") << QByteArray("Inhalt x ").repeated(300000);
    // Its data file is checked block by block rather than expanded whole.
    QTest::newRow("read in blocks, over 16 MiB") << QByteArray("Inhalt x ").repeated(2000000);
}

void tst_Builder::secondRunReusesDataFiles()
{
    QFETCH(QByteArray, content);
    write(QStringLiteral("a/x.txt"), content);
    const QString conf =
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a"))));
    QString offlinePath;
    QVERIFY(buildPackage(conf, offlinePath));
    // Compressed at another level, a payload is valid but has other bytes: they show whether
    // the second run rewrites the data file or copies it into the offline update file.
    const QByteArray otherPayload = qCompress(content, 1);
    QVERIFY(otherPayload != compressPayload(content));
    const QString dataPath =
        path(QStringLiteral("pkg/")) + hashName(content) + QLatin1String(".bin");
    QFile data(dataPath);
    QVERIFY(data.open(QIODevice::WriteOnly | QIODevice::Truncate));
    data.write(otherPayload);
    data.close();
    QFile::remove(path(QStringLiteral("pkg/info.bin")));

    QVERIFY(buildPackage(conf, offlinePath));
    QVERIFY(data.open(QIODevice::ReadOnly));
    QCOMPARE(data.readAll(), otherPayload);
    QCOMPARE(readRecords().value(0).payload, otherPayload);
    QVERIFY(QFile::exists(path(QStringLiteral("pkg/info.bin"))));
    QCOMPARE(logLines().size(), 2);
    QVERIFY(!readDocument().isEmpty());
}

void tst_Builder::contentAroundTheBlockSize_data()
{
    QTest::addColumn<QByteArray>("content");
    const int block = int(payloadBlockSize);
    const QByteArray text = QByteArray("Buchung 4711 Konto Soll Haben\n").repeated(200000);
    QTest::newRow("a block less one byte") << text.left(block - 1);
    QTest::newRow("a block") << text.left(block);
    QTest::newRow("a block and one byte") << text.left(block + 1);
    QTest::newRow("five blocks and a half") << text.left(5 * block + block / 2);
    QTest::newRow("incompressible, two blocks and one byte") << incompressible(2 * block + 1);
}

// The same content in two folders and in a second group: one data file, made once, that zlib
// expands to the content, and an offline record of its bytes for each file.
void tst_Builder::contentAroundTheBlockSize()
{
    QFETCH(QByteArray, content);
    for (const QString &name : {QStringLiteral("a/eins/daten.bin"),
                                QStringLiteral("a/zwei/kopie.bin"), QStringLiteral("b/daten.bin")})
        write(name, content);
    QString offlinePath;
    QString error;
    QVERIFY2(
        buildPackage(writeConfig(QStringLiteral("<group srcdir=\"%1\"/><group srcdir=\"%2\"/>")
                                     .arg(path(QStringLiteral("a")), path(QStringLiteral("b")))),
                     offlinePath, &error),
        qPrintable(error));
    const QString hash = hashName(content);
    const QByteArray dataFile = contentOf(QStringLiteral("pkg/") + hash + QLatin1String(".bin"));
    QVERIFY(expandPayload(dataFile) == content);
    QVERIFY(dataFile.size() <= payloadSizeLimit(content.size()));
    QCOMPARE(QDir(path(QStringLiteral("pkg"))).entryList(QDir::Files).size(), 3);
    const QList<OfflineRecord> records = readRecords();
    QCOMPARE(records.size(), 3);
    for (const OfflineRecord &record : records) {
        QCOMPARE(record.hashName, hash);
        QVERIFY(record.payload == dataFile);
    }
    QCOMPARE(logLines().size(), 4);
}

// The three times of every entry are the local time's ISO text, as the toolkit writes it.
void tst_Builder::timesAreLocalTimeText()
{
    write(QStringLiteral("a/x.txt"), "x");
    QVERIFY(QDir().mkpath(path(QStringLiteral("a/leer"))));
    const QDateTime winter(QDate(2017, 1, 2), QTime(3, 4, 5));
    const QDateTime summer(QDate(2018, 7, 8), QTime(9, 10, 11));
    for (const QString &name : {QStringLiteral("a/x.txt"), QStringLiteral("a/leer")}) {
        QString error;
        QVERIFY2(setFileTimes(path(name), name.endsWith(QLatin1String("leer")), winter, winter,
                              summer, nullptr, &error),
                 qPrintable(error));
    }
    QString offlinePath;
    QVERIFY(buildPackage(
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a")))),
        offlinePath));
    const QJsonArray entries = firstGroupEntries();
    QCOMPARE(entries.size(), 2);
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        const QFileInfo info(path(QStringLiteral("a/"))
                             + entry.value(QStringLiteral("targetpath")).toString());
        const QDateTime created = info.birthTime().isValid() ? info.birthTime() : winter;
        QCOMPARE(entry.value(QStringLiteral("time_c")).toString(), created.toString(Qt::ISODate));
        QCOMPARE(entry.value(QStringLiteral("time_m")).toString(), winter.toString(Qt::ISODate));
        QCOMPARE(entry.value(QStringLiteral("time_r")).toString(), summer.toString(Qt::ISODate));
    }
}

void tst_Builder::withoutOfflineFileLogGoesToWorkingDirectory()
{
    write(QStringLiteral("a/x.txt"), "x");
    QVERIFY(QDir().mkpath(path(QStringLiteral("cwd"))));
    QDir::setCurrent(path(QStringLiteral("cwd")));
    QString offlinePath = QStringLiteral("previous.dat");
    QVERIFY(buildPackage(
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a"))),
                    QStringLiteral("trgdir=\"%1\"").arg(path(QStringLiteral("pkg")))),
        offlinePath));
    QCOMPARE(offlinePath, QStringLiteral("previous.dat"));
    QVERIFY(QFile::exists(path(QStringLiteral("cwd/log.txt"))));
    QVERIFY(!QFile::exists(path(QStringLiteral("out/update.dat"))));
}

void tst_Builder::targetDirWithBackslashesAndBlanks()
{
    QVERIFY(QDir().mkpath(path(QStringLiteral("a"))));
    const QString target =
        QLatin1String("  ") + path(QStringLiteral("pkg\\2017")) + QLatin1String("  ");
    QString offlinePath;
    QVERIFY(buildPackage(
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a"))),
                    QStringLiteral("trgdir=\"%1\" trgfile=\"%2\" year=\"2017\"")
                        .arg(target, path(QStringLiteral("out/u.dat")))),
        offlinePath));
    QVERIFY(QFile::exists(path(QStringLiteral("pkg/2017/info.bin"))));
}

// Without links the walk keeps the order in which the file system lists each folder, a
// folder's contents right after the folder, as the recursive directory iterator gives it.
void tst_Builder::walkOrderIsTheFileSystemsOrder()
{
    makeTree({QStringLiteral("a/z.txt"), QStringLiteral("a/b/y.txt"), QStringLiteral("a/b/c/x.txt"),
              QStringLiteral("a/b/leer/"), QStringLiteral("a/.versteckt"),
              QStringLiteral("a/d/w.txt"), QStringLiteral("a/m.txt")});
    if (QTest::currentTestFailed())
        return;
    QStringList expected;
    const QString source = path(QStringLiteral("a/"));
    QDirIterator it(source,
                    QDir::Dirs | QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext())
        expected.append(it.next().mid(source.size()));
    QString offlinePath;
    QVERIFY(buildPackage(writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(source)),
                         offlinePath));
    QStringList walked;
    for (const QJsonValue &entry : firstGroupEntries())
        walked.append(entry.toObject().value(QStringLiteral("targetpath")).toString());
    QCOMPARE(walked, expected);
}

void tst_Builder::linksInsideArePublished_data()
{
    QTest::addColumn<QStringList>("tree"); // as makeTree reads it
    QTest::addColumn<QString>("source"); // srcdir below the test's folder
    QTest::addColumn<QStringList>("published"); // as publishedEntries gives it
    QTest::newRow("link to a file")
        << QStringList {QStringLiteral("a/echt.txt"), QStringLiteral("a/verweis.txt -> a/echt.txt")}
        << QStringLiteral("a")
        << QStringList {QStringLiteral("echt.txt=Inhalt a/echt.txt"),
                        QStringLiteral("verweis.txt=Inhalt a/echt.txt")};
    QTest::newRow("relative link to a file in a folder above")
        << QStringList {QStringLiteral("a/echt.txt"),
                        QStringLiteral("a/sub/verweis => ../echt.txt")}
        << QStringLiteral("a")
        << QStringList {QStringLiteral("echt.txt=Inhalt a/echt.txt"), QStringLiteral("sub/"),
                        QStringLiteral("sub/verweis=Inhalt a/echt.txt")};
    QTest::newRow("link to a folder beside it")
        << QStringList {QStringLiteral("a/sub/x.txt"), QStringLiteral("a/verweis -> a/sub")}
        << QStringLiteral("a")
        << QStringList {QStringLiteral("sub/"), QStringLiteral("sub/x.txt=Inhalt a/sub/x.txt"),
                        QStringLiteral("verweis/"),
                        QStringLiteral("verweis/x.txt=Inhalt a/sub/x.txt")};
    QTest::newRow("link that leaves and comes back")
        << QStringList {QStringLiteral("a/echt.txt"), QStringLiteral("a/umweg => ../a/echt.txt")}
        << QStringLiteral("a")
        << QStringList {QStringLiteral("echt.txt=Inhalt a/echt.txt"),
                        QStringLiteral("umweg=Inhalt a/echt.txt")};
    QTest::newRow("source folder given through a link")
        << QStringList {QStringLiteral("a/echt.txt"), QStringLiteral("zugang -> a"),
                        QStringLiteral("a/verweis -> zugang/echt.txt")}
        << QStringLiteral("zugang")
        << QStringList {QStringLiteral("echt.txt=Inhalt a/echt.txt"),
                        QStringLiteral("verweis=Inhalt a/echt.txt")};
}

void tst_Builder::linksInsideArePublished()
{
    QFETCH(QStringList, tree);
    QFETCH(QString, source);
    makeTree(tree);
    if (QTest::currentTestFailed())
        return;
    QString offlinePath;
    QString error;
    QVERIFY2(buildPackage(writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(source))),
                          offlinePath, &error),
             qPrintable(error));
    QTEST(publishedEntries(), "published");
}

void tst_Builder::outputsBesideSourcesAreAccepted_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("targetDir");
    QTest::addColumn<QString>("targetFile");
    QTest::newRow("package directory in a sibling whose name starts the same")
        << QStringLiteral("a") << QStringLiteral("ab") << QStringLiteral("out/update.dat");
    QTest::newRow("offline file named like the source folder")
        << QStringLiteral("a") << QStringLiteral("pkg") << QStringLiteral("a.dat");
    QTest::newRow("source folder inside the package directory")
        << QStringLiteral("pkg/quelle") << QStringLiteral("pkg") << QStringLiteral("out/u.dat");
}

void tst_Builder::outputsBesideSourcesAreAccepted()
{
    QFETCH(QString, source);
    QFETCH(QString, targetDir);
    QFETCH(QString, targetFile);
    write(source + QLatin1String("/x.txt"), "x");
    QString offlinePath;
    QString error;
    QVERIFY2(buildPackage(writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(source)),
                                      QStringLiteral("trgdir=\"%1\" trgfile=\"%2\" year=\"2017\"")
                                          .arg(path(targetDir), path(targetFile))),
                          offlinePath, &error),
             qPrintable(error));
    QVERIFY(QFile::exists(path(targetDir + QLatin1String("/info.bin"))));
}

void tst_Builder::refusedSources_data()
{
    QTest::addColumn<QStringList>("tree"); // besides a/gut.txt and the secret files
    QTest::addColumn<QStringList>("sources"); // one group each
    QTest::addColumn<QString>("rootAttributes"); // @DIR@: the test's folder; null: the usual
    QTest::addColumn<QString>("workingDir"); // empty: unchanged
    QTest::addColumn<QString>("message"); // @DIR@, @CONF@; the report starts with it
    QTest::addColumn<bool>("beforeWriting"); // refused before any output is opened

    const QString source = QStringLiteral("Fehler beim Lesen des Quellordners: @DIR@/a/: ");
    const QString outside = source + QStringLiteral("Verknüpfung führt aus dem Quellordner: ");
    const QString loop = source + QStringLiteral("Verknüpfung führt im Kreis: ");
    const QString open = QStringLiteral("Fehler beim Öffnen der Datei: @DIR@/a/");
    const QString xml = QStringLiteral("Fehler beim Laden der XML-Datei: @CONF@: ");
    const QString targets =
        QStringLiteral("trgdir=\"@DIR@/%1\" trgfile=\"@DIR@/%2\" year=\"2017\"");
    const QStringList a {QStringLiteral("a")};
    const QStringList none;

    QTest::newRow("link to a file outside")
        << QStringList {QStringLiteral("a/schluessel -> geheim/key.pem")} << a << QString()
        << QString() << outside + QLatin1String("@DIR@/a/schluessel -> @DIR@/geheim/key.pem")
        << false;
    QTest::newRow("link to a folder outside")
        << QStringList {QStringLiteral("a/sub/verweis -> geheim")} << a << QString() << QString()
        << outside + QLatin1String("@DIR@/a/sub/verweis -> @DIR@/geheim") << false;
    QTest::newRow("relative link outside")
        << QStringList {QStringLiteral("a/sub/verweis => ../../geheim/key.pem")} << a << QString()
        << QString() << outside + QLatin1String("@DIR@/a/sub/verweis -> @DIR@/geheim/key.pem")
        << false;
    QTest::newRow("link into a sibling whose name starts the same")
        << QStringList {QStringLiteral("a/verweis -> ab/key.pem")} << a << QString() << QString()
        << outside + QLatin1String("@DIR@/a/verweis -> @DIR@/ab/key.pem") << false;
    QTest::newRow("link to the source folder's parent")
        << QStringList {QStringLiteral("a/hoch -> .")} << a << QString() << QString()
        << outside + QLatin1String("@DIR@/a/hoch -> @DIR@") << false;
    QTest::newRow("link to a parent folder")
        << QStringList {QStringLiteral("a/sub/tief/hoch -> a/sub")} << a << QString() << QString()
        << loop + QLatin1String("@DIR@/a/sub/tief/hoch -> @DIR@/a/sub") << false;
    QTest::newRow("link to the source folder")
        << QStringList {QStringLiteral("a/sub/wurzel => ..")} << a << QString() << QString()
        << loop + QLatin1String("@DIR@/a/sub/wurzel -> @DIR@/a") << false;
    QTest::newRow("two folders linked to each other")
        << QStringList {QStringLiteral("a/x/zu-y -> a/y"), QStringLiteral("a/y/zu-x -> a/x")} << a
        << QString() << QString() << loop << false;
    QTest::newRow("dangling link")
        << QStringList {QStringLiteral("a/kaputt -> nirgends")} << a << QString() << QString()
        << open + QLatin1String("kaputt: ") + QString::fromLocal8Bit(strerror(ENOENT)) << false;
    QTest::newRow("two links to each other")
        << QStringList {QStringLiteral("a/eins => zwei"), QStringLiteral("a/zwei => eins")} << a
        << QString() << QString() << open << false;
    QTest::newRow("named pipe") << QStringList {QStringLiteral("a/rohr |")} << a << QString()
                                << QString()
                                << open + QLatin1String("rohr: weder Datei noch Ordner") << false;
    QTest::newRow("link to a named pipe inside")
        << QStringList {QStringLiteral("a/rohr/p |"), QStringLiteral("a/verweis -> a/rohr/p")} << a
        << QString() << QString() << open << false;
    QTest::newRow("missing source folder")
        << none << QStringList {QStringLiteral("a"), QStringLiteral("fehlt")} << QString()
        << QString()
        << QStringLiteral("Fehler beim Lesen des Quellordners: @DIR@/fehlt/: Quellordner fehlt")
        << true;
    QTest::newRow("source folder is a file")
        << none << QStringList {QStringLiteral("a/gut.txt")} << QString() << QString()
        << QStringLiteral("Fehler beim Lesen des Quellordners: @DIR@/a/gut.txt/: kein Ordner")
        << true;
    QTest::newRow("year abc") << none << a << QStringLiteral("trgdir=\"@DIR@/pkg\" year=\"abc\"")
                              << QString() << xml + QStringLiteral("Ungültiges Jahr: abc") << true;
    QTest::newRow("year 12") << none << a << QStringLiteral("trgdir=\"@DIR@/pkg\" year=\"12\"")
                             << QString() << xml + QStringLiteral("Ungültiges Jahr: 12") << true;
    QTest::newRow("year 10000") << none << a
                                << QStringLiteral("trgdir=\"@DIR@/pkg\" year=\"10000\"")
                                << QString() << xml + QStringLiteral("Ungültiges Jahr: 10000")
                                << true;
    QTest::newRow("empty year") << none << a << QStringLiteral("trgdir=\"@DIR@/pkg\" year=\"\"")
                                << QString() << xml + QStringLiteral("Ungültiges Jahr: ") << true;
    QTest::newRow("offline file without year")
        << none << a << QStringLiteral("trgdir=\"@DIR@/pkg\" trgfile=\"@DIR@/out/update.dat\"")
        << QString()
        << xml + QStringLiteral("Kein Jahr (year) für die Offline-Updatedatei angegeben") << true;
    QTest::newRow("package directory inside a source folder")
        << none << a << targets.arg(QLatin1String("a/pkg"), QLatin1String("out/update.dat"))
        << QString()
        << xml + QLatin1String("Paketordner liegt im Quellordner: @DIR@/a/pkg/ in @DIR@/a/")
        << true;
    QTest::newRow("package directory is a source folder")
        << none << a << targets.arg(QLatin1String("a"), QLatin1String("out/update.dat"))
        << QString()
        << xml + QLatin1String("Paketordner liegt im Quellordner: @DIR@/a/ in @DIR@/a/") << true;
    QTest::newRow("package directory through a link into a source folder")
        << QStringList {QStringLiteral("zugang -> a/sub")} << a
        << targets.arg(QLatin1String("zugang/neu/pkg"), QLatin1String("out/update.dat"))
        << QString()
        << xml
            + QLatin1String("Paketordner liegt im Quellordner: @DIR@/zugang/neu/pkg/ in @DIR@/a/")
        << true;
    QTest::newRow("offline file inside a source folder")
        << none << a << targets.arg(QLatin1String("pkg"), QLatin1String("a/update.dat"))
        << QString()
        << xml
            + QLatin1String(
                "Offline-Updatedatei liegt im Quellordner: @DIR@/a/update.dat in @DIR@/a/")
        << true;
    QTest::newRow("offline file in a new folder of the second source folder")
        << QStringList {QStringLiteral("b/")}
        << QStringList {QStringLiteral("a"), QStringLiteral("b")}
        << targets.arg(QLatin1String("pkg"), QLatin1String("b/neu/update.dat")) << QString()
        << xml
            + QLatin1String(
                "Offline-Updatedatei liegt im Quellordner: @DIR@/b/neu/update.dat in @DIR@/b/")
        << true;
    QTest::newRow("builder log in a source folder")
        << none << a << QStringLiteral("trgdir=\"@DIR@/pkg\"") << QStringLiteral("a/sub")
        << xml
            + QLatin1String(
                "Builder-Protokoll liegt im Quellordner: @DIR@/a/sub/log.txt in @DIR@/a/")
        << true;
}

void tst_Builder::refusedSources()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, sources);
    QFETCH(QString, rootAttributes);
    QFETCH(QString, workingDir);
    QFETCH(QString, message);
    QFETCH(bool, beforeWriting);
    const QByteArray secret = "GEHEIMER SCHLÜSSEL";
    write(QStringLiteral("geheim/key.pem"), secret);
    write(QStringLiteral("ab/key.pem"), secret);
    makeTree(QStringList {QStringLiteral("a/gut.txt"), QStringLiteral("a/sub/tief/")} + tree);
    if (QTest::currentTestFailed())
        return;
    auto placed = [this](QString text) {
        return text.replace(QLatin1String("@DIR@"), dir->path())
            .replace(QLatin1String("@CONF@"), path(QStringLiteral("conf.xml")));
    };
    QString groups;
    for (const QString &source : sources)
        groups += QStringLiteral("<group srcdir=\"%1\"/>").arg(path(source));
    const QString conf =
        writeConfig(groups, rootAttributes.isNull() ? QString() : placed(rootAttributes));
    if (!workingDir.isEmpty())
        QDir::setCurrent(path(workingDir));

    QString offlinePath;
    QString error;
    QVERIFY(!buildPackage(conf, offlinePath, &error));
    QVERIFY2(error.startsWith(placed(message)), qPrintable(error));
    QVERIFY2(!error.contains(QLatin1Char('\n')), qPrintable(error));
    QCOMPARE(filesNamed(QStringLiteral("info.bin")), QStringList());
    QCOMPARE(filesNamed(hashName(secret) + QLatin1String(".bin")), QStringList());
    for (const OfflineRecord &record : readRecords())
        QVERIFY(record.hashName != hashName(secret));
    if (beforeWriting) {
        QCOMPARE(filesNamed(QStringLiteral("*.dat")), QStringList());
        QCOMPARE(filesNamed(QStringLiteral("log.txt")), QStringList());
        QCOMPARE(filesNamed(QStringLiteral("*.bin")), QStringList());
    }
}

void tst_Builder::failures_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("writeFile");
    QTest::addColumn<QString>("messageStart");
    const QString open = QStringLiteral("Fehler beim Öffnen der Datei: ");
    const QString xml = QStringLiteral("Fehler beim Laden der XML-Datei: @CONF@: ");
    QTest::newRow("missing configuration")
        << QString() << false << open + QLatin1String("@CONF@: ");
    QTest::newRow("malformed XML")
        << QStringLiteral("<updater_document trgdir=\"x\"><group></updater_document>") << true
        << xml;
    QTest::newRow("no trgdir") << QStringLiteral("<updater_document year=\"2017\"/>") << true
                               << xml;
    QTest::newRow("blank trgdir") << QStringLiteral("<updater_document trgdir=\"  \"/>") << true
                                  << xml;
    QTest::newRow("no root element") << QStringLiteral("<other trgdir=\"/tmp/x\"/>") << true << xml;
    QTest::newRow("empty srcdir") << QStringLiteral(
        "<updater_document trgdir=\"@PKG@\"><group srcdir=\"\"/></updater_document>")
                                  << true << xml + QLatin1String("Gruppe ohne Quellordner");
    QTest::newRow("nested 100,000 levels deep")
        << QStringLiteral("<updater_document trgdir=\"x\">")
            + QStringLiteral("<a>").repeated(100000)
        << true << xml + QLatin1String("mehr als 64 Ebenen verschachtelt");
    QTest::newRow("trgdir below a file")
        << QStringLiteral("<updater_document trgdir=\"@FILE@/sub\"/>") << true
        << open + QLatin1String("@FILE@/sub/: ");
}

void tst_Builder::failures()
{
    QFETCH(QString, content);
    QFETCH(bool, writeFile);
    QFETCH(QString, messageStart);
    write(QStringLiteral("plain-file"), "x");
    const QString conf = path(QStringLiteral("conf.xml"));
    auto placed = [&](QString text) {
        return text.replace(QLatin1String("@PKG@"), path(QStringLiteral("pkg")))
            .replace(QLatin1String("@FILE@"), path(QStringLiteral("plain-file")))
            .replace(QLatin1String("@CONF@"), conf);
    };
    if (writeFile)
        write(QStringLiteral("conf.xml"), placed(content).toUtf8());
    QString offlinePath = QStringLiteral("unchanged");
    QString error;
    QVERIFY(!buildPackage(conf, offlinePath, &error));
    QVERIFY2(error.startsWith(placed(messageStart)), qPrintable(error));
    QVERIFY2(!error.contains(QLatin1Char('\n')), qPrintable(error));
    QCOMPARE(offlinePath, QStringLiteral("unchanged"));
    QVERIFY(!QFile::exists(path(QStringLiteral("pkg/info.bin"))));
}

void tst_Builder::unreadableSourceFileStopsTheRun()
{
    write(QStringLiteral("a/gut.txt"), "gut");
    QVERIFY(QDir().mkpath(path(QStringLiteral("b"))));
    // A dangling link is yielded by the walk and cannot be opened, not even by root.
    QVERIFY(QFile::link(path(QStringLiteral("nirgends")), path(QStringLiteral("b/kaputt.txt"))));
    QString offlinePath;
    QVERIFY(
        !buildPackage(writeConfig(QStringLiteral("<group srcdir=\"%1\"/><group srcdir=\"%2\"/>")
                                      .arg(path(QStringLiteral("a")), path(QStringLiteral("b")))),
                      offlinePath));
    QVERIFY(QFile::exists(path(QStringLiteral("pkg/")) + hashName("gut") + QLatin1String(".bin")));
    QVERIFY(!QFile::exists(path(QStringLiteral("pkg/info.bin"))));
    // The offline file and the log take their names only when complete: none is left.
    QVERIFY(QDir(path(QStringLiteral("out"))).entryList(QDir::Files).isEmpty());
}

// A folder the builder may not list would be published empty. Root may list every folder, so
// the case exists only for other users.
void tst_Builder::unreadableSourceFolderStopsTheRun()
{
    if (geteuid() == 0)
        QSKIP("root reads every folder: the case does not arise");
    write(QStringLiteral("a/verschlossen/x.txt"), "x");
    const QString locked = path(QStringLiteral("a/verschlossen"));
    QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    QString offlinePath;
    QString error;
    const bool built = buildPackage(
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a")))),
        offlinePath, &error);
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(!built);
    QCOMPARE(error,
             QStringLiteral("Fehler beim Öffnen der Datei: ") + locked
                 + QLatin1String(": Ordner kann nicht gelesen werden"));
    QVERIFY(!QFile::exists(path(QStringLiteral("pkg/info.bin"))));
}

void tst_Builder::failedWriteKeepsThePackage_data()
{
    QTest::addColumn<QString>("targetDir");
    QTest::addColumn<QString>("offlineFile");
    QTest::addColumn<bool>("fullFileSystem"); // a tmpfs on "voll", full before the second run
    QTest::addColumn<QString>("fullDeviceLink"); // linked to /dev/full before the second run
    QTest::addColumn<QString>("failingPath"); // @NEW@: hash name of the new content
    QTest::addColumn<QString>("step"); // the message's start
    const QString writing = QStringLiteral("Fehler beim Schreiben der Datei: ");
    QTest::newRow("package directory on a full disk")
        << QStringLiteral("voll/pkg") << QStringLiteral("out/update.dat") << true << QString()
        << QStringLiteral("voll/pkg/@NEW@.bin") << writing;
    // The old offline file stays until the new one is complete: no room for its first byte
    // that differs from the old one.
    QTest::newRow("offline update file on a full disk")
        << QStringLiteral("pkg") << QStringLiteral("voll/update.dat") << true << QString()
        << QStringLiteral("voll/update.dat") << writing;
    QTest::newRow("builder log on a full device")
        << QStringLiteral("pkg") << QStringLiteral("out/update.dat") << false
        << QStringLiteral("out/log.txt.part") << QStringLiteral("out/log.txt") << writing;
}

void tst_Builder::failedWriteKeepsThePackage()
{
    QFETCH(QString, targetDir);
    QFETCH(QString, offlineFile);
    QFETCH(bool, fullFileSystem);
    QFETCH(QString, fullDeviceLink);
    QFETCH(QString, failingPath);
    QFETCH(QString, step);
    std::unique_ptr<MountedFileSystem> disk;
    if (fullFileSystem) {
        disk = smallDisk();
        if (!disk->isMounted())
            QSKIP(qPrintable(QLatin1String("no tmpfs to fill: ") + disk->errorString()));
    }
    if (!fullDeviceLink.isEmpty() && !QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full on this system");
    write(QStringLiteral("a/x.txt"), "alter Inhalt");
    const QString conf =
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a"))),
                    QStringLiteral("trgdir=\"%1\" trgfile=\"%2\" year=\"2017\"")
                        .arg(path(targetDir), path(offlineFile)));
    QString offlinePath;
    QVERIFY(buildPackage(conf, offlinePath));
    const QString infoPath = targetDir + QLatin1String("/info.bin");
    const QByteArray oldInfo = contentOf(infoPath);
    QCOMPARE(oldInfo.size(), 68);
    const QByteArray oldOffline = contentOf(offlineFile);
    const QByteArray oldLog = contentOf(QFileInfo(offlineFile).path() + QLatin1String("/log.txt"));

    const QByteArray newContent = incompressible(12000);
    write(QStringLiteral("a/x.txt"), newContent);
    if (disk)
        QVERIFY(disk->fill());
    if (!fullDeviceLink.isEmpty())
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), path(fullDeviceLink)));
    QString error;
    QVERIFY(!buildPackage(conf, offlinePath, &error));
    const QString newData = targetDir + QLatin1Char('/') + hashName(newContent);
    QCOMPARE(error,
             QString(step + path(failingPath.replace(QLatin1String("@NEW@"), hashName(newContent)))
                     + QLatin1String(": ") + noSpaceText()));
    QCOMPARE(contentOf(infoPath), oldInfo);
    QCOMPARE(contentOf(offlineFile), oldOffline);
    QCOMPARE(contentOf(QFileInfo(offlineFile).path() + QLatin1String("/log.txt")), oldLog);
    const QByteArray dataFile = contentOf(newData + QLatin1String(".bin"));
    QVERIFY2(dataFile.isEmpty() || expandPayload(dataFile) == newContent,
             "a data file holds its content or is not there");
    QCOMPARE(QDir(path(targetDir)).entryList({QStringLiteral("*.part")}, QDir::Files),
             QStringList());
}

// A disk that takes the data files but cannot keep them: the one sync before "info.bin" fails,
// the run reports it, and the previous release stays as it was.
void tst_Builder::failedSyncKeepsThePackage()
{
    QVERIFY(QDir().mkpath(path(QStringLiteral("knapp"))));
    const OvercommittedDisk disk(path(QStringLiteral("knapp")), 512);
    if (!disk.isMounted())
        QSKIP(qPrintable(QLatin1String("no overcommitted disk: ") + disk.errorString()));
    write(QStringLiteral("a/x.txt"), "alter Inhalt");
    const QString conf = writeConfig(
        QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a"))),
        QStringLiteral("trgdir=\"%1\" trgfile=\"%2\" year=\"2017\"")
            .arg(path(QStringLiteral("knapp/pkg")), path(QStringLiteral("out/update.dat"))));
    QString offlinePath;
    QString error;
    QVERIFY2(buildPackage(conf, offlinePath, &error), qPrintable(error));
    const QString infoPath = QStringLiteral("knapp/pkg/info.bin");
    const QByteArray oldInfo = contentOf(infoPath);
    QCOMPARE(oldInfo.size(), 68);
    const QByteArray oldOffline = contentOf(QStringLiteral("out/update.dat"));
    const QByteArray oldLog = contentOf(QStringLiteral("out/log.txt"));

    const QByteArray newContent = incompressible(4 << 20);
    write(QStringLiteral("a/x.txt"), newContent);
    QVERIFY(!buildPackage(conf, offlinePath, &error));
    QVERIFY2(error.startsWith(QStringLiteral("Fehler beim Schreiben der Datei: ")
                              + path(QStringLiteral("knapp/pkg"))),
             qPrintable(error));
    QCOMPARE(contentOf(infoPath), oldInfo);
    QCOMPARE(contentOf(QStringLiteral("out/update.dat")), oldOffline);
    QCOMPARE(contentOf(QStringLiteral("out/log.txt")), oldLog);
    QVERIFY(!QFile::exists(path(QStringLiteral("knapp/pkg/")) + hashName(newContent)
                           + QLatin1String(".bin")));
    QCOMPARE(
        QDir(path(QStringLiteral("knapp/pkg"))).entryList({QStringLiteral("*.part")}, QDir::Files),
        QStringList());
}

void tst_Builder::damagedDataFileIsRewritten_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("dataFile"); // found under the content's hash name
    const QByteArray content = QByteArray("Buchung ").repeated(1000);
    const QByteArray payload = compressPayload(content);
    QTest::newRow("cut short") << content << payload.left(payload.size() / 2);
    QTest::newRow("nothing written") << content << QByteArray();
    QTest::newRow("payload of another content") << content << compressPayload("anderer Inhalt");
    QTest::newRow("no payload at all") << content << QByteArray("kein Payload");
    QTest::newRow("empty content, damaged payload") << QByteArray() << QByteArray("\0\0\0\5", 4);
    // Beyond a block the content is read in blocks; its data file is expanded whole up to
    // 16 MiB, and block by block beyond.
    for (const int repeats : {300000, 2200000}) {
        const QByteArray large = QByteArray("Buchung ").repeated(repeats);
        const QByteArray largePayload = compressPayload(large);
        const QByteArray size = QByteArray::number(large.size() / 1000000) + " MB, ";
        const auto row = [&size](const char *name) -> QTestData & {
            return QTest::newRow(QByteArray(size + name).constData());
        };
        row("cut short") << large << largePayload.left(largePayload.size() / 2);
        row("payload of another content")
            << large << compressPayload(QByteArray("Haben ").repeated(repeats + 1));
        QByteArray flipped = largePayload;
        flipped[flipped.size() / 2] = char(flipped.at(flipped.size() / 2) ^ 0x55);
        row("one byte changed") << large << flipped;
        // A valid stream of the same length: only the content's hash tells it apart.
        row("same size, other content")
            << large << compressPayload(QByteArray(large).replace('B', 'b'));
        row("a byte after the stream") << large << largePayload + 'x';
        row("larger than any client takes")
            << large << largePayload + QByteArray(int(payloadSizeLimit(large.size())), '\0');
    }
    const QByteArray other = QByteArray(content).replace('B', 'b');
    QTest::newRow("same size, other content") << content << compressPayload(other);
    QTest::newRow("a byte after the stream") << content << payload + 'x';
}

void tst_Builder::damagedDataFileIsRewritten()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, dataFile);
    write(QStringLiteral("a/x.txt"), content);
    const QString dataPath = QStringLiteral("pkg/") + hashName(content) + QLatin1String(".bin");
    write(dataPath, dataFile);
    QString offlinePath;
    QVERIFY(buildPackage(
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a")))),
        offlinePath));
    QCOMPARE(contentOf(dataPath), compressPayload(content));
    QCOMPARE(readRecords().value(0).payload, compressPayload(content));
}

void tst_Builder::fileTooLargeForAPayload_data()
{
    QTest::addColumn<qint64>("size");
    // Below INT_MAX, but its compressed form might not fit in an array (qCompress crashed here).
    QTest::newRow("2 GiB less 100 bytes") << (qint64(1) << 31) - 100;
    QTest::newRow("2 GiB") << (qint64(1) << 31);
}

void tst_Builder::fileTooLargeForAPayload()
{
    QFETCH(qint64, size);
    write(QStringLiteral("a/gross.bin"), QByteArray());
    QFile big(path(QStringLiteral("a/gross.bin")));
    QVERIFY(big.resize(size)); // sparse: takes no disk space
    QString offlinePath;
    QString error;
    QVERIFY(!buildPackage(
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a")))),
        offlinePath, &error));
    QCOMPARE(error,
             QString(QStringLiteral("Fehler beim Öffnen der Datei: ") + big.fileName()
                     + QStringLiteral(": Datei zu groß für ein Update-Paket")));
    QVERIFY(!QFile::exists(path(QStringLiteral("pkg/info.bin"))));
}

// Each file fits in a payload, together they exceed a 32-bit size. Sparse files of zeros hash
// and compress quickly.
void tst_Builder::groupLargerThan2GB()
{
    const qint64 size = 1100 * 1000 * 1000;
    for (const QString &name : {QStringLiteral("a/eins.bin"), QStringLiteral("a/zwei.bin")}) {
        write(name, QByteArray());
        QVERIFY(QFile(path(name)).resize(size));
    }
    QString offlinePath;
    QString error;
    QVERIFY2(
        buildPackage(
            writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a")))),
            offlinePath, &error),
        qPrintable(error));
    const QJsonObject group =
        readDocument().value(QStringLiteral("data")).toArray().at(0).toObject();
    QCOMPARE(qint64(group.value(QStringLiteral("size")).toDouble()), 2 * size);
    const QJsonArray entries = group.value(QStringLiteral("data")).toArray();
    QCOMPARE(entries.size(), 2);
    for (const QJsonValue &entry : entries)
        QCOMPARE(qint64(entry.toObject().value(QStringLiteral("size")).toDouble()), size);
}

void tst_Builder::largeFileInBoundedMemory_data()
{
    QTest::addColumn<bool>("rebuild"); // the data file exists and is checked instead
    QTest::newRow("first build") << false;
    QTest::newRow("rebuild") << true;
}

// The real program builds a release of one file of 512 MiB without holding it: its peak memory
// stays far below the file's size, whether it compresses the file or checks an existing data
// file. Sparse zeros read and compress quickly.
void tst_Builder::largeFileInBoundedMemory()
{
    QFETCH(bool, rebuild);
    if (!QFile::exists(QStringLiteral("/proc/self/status")))
        QSKIP("no /proc to read the peak memory from");
    write(QStringLiteral("a/gross.bin"), QByteArray());
    QVERIFY(QFile(path(QStringLiteral("a/gross.bin"))).resize(qint64(512) << 20));
    const QString conf =
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a"))));
    QString offlinePath;
    if (rebuild)
        QVERIFY(buildPackage(conf, offlinePath));
    QFile::remove(path(QStringLiteral("pkg/info.bin")));
    QProcess process;
    startUpdaterProcess(
        process, {QStringLiteral("--mode"), QStringLiteral("1"), QStringLiteral("--conf"), conf});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path(QStringLiteral("pkg/info.bin"))), 120000);
    QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
    QVERIFY(status.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(status.readAll());
    process.kill();
    process.waitForFinished();
    // "VmHWM:   123456 kB": the highest resident set of the process so far.
    const QRegularExpressionMatch peak =
        QRegularExpression(QStringLiteral("VmHWM:\\s+(\\d+) kB")).match(text);
    QVERIFY2(peak.hasMatch(), qPrintable(text));
    QVERIFY2(peak.captured(1).toLongLong() < 256 * 1024, qPrintable(peak.captured(0)));
}

void tst_Builder::withoutBirthTimeCreationIsModification()
{
    QVERIFY(QDir().mkpath(path(QStringLiteral("a"))));
    const MountedFileSystem ramfs(path(QStringLiteral("a")), "ramfs", "");
    if (!ramfs.isMounted())
        QSKIP(qPrintable(QLatin1String("no ramfs: ") + ramfs.errorString()));
    write(QStringLiteral("a/x.txt"), "x");
    QVERIFY(QDir().mkpath(path(QStringLiteral("a/leer"))));
    if (QFileInfo(path(QStringLiteral("a/x.txt"))).birthTime().isValid())
        QSKIP("this ramfs keeps birth times");
    QString offlinePath;
    QVERIFY(buildPackage(
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a")))),
        offlinePath));
    const QJsonArray entries = readDocument()
                                   .value(QStringLiteral("data"))
                                   .toArray()
                                   .at(0)
                                   .toObject()
                                   .value(QStringLiteral("data"))
                                   .toArray();
    QCOMPARE(entries.size(), 2);
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        QVERIFY(!entry.value(QStringLiteral("time_m")).toString().isEmpty());
        QCOMPARE(entry.value(QStringLiteral("time_c")), entry.value(QStringLiteral("time_m")));
    }
}

void tst_Builder::independentReaderAcceptsPackage()
{
    write(QStringLiteral("a/x.txt"), QByteArray("Buchung ").repeated(1000));
    write(QStringLiteral("a/leer.txt"), QByteArray());
    write(QStringLiteral("a/plugins/p.dll"), "dll");
    write(QStringLiteral("b/x.txt"), QByteArray("Buchung ").repeated(1000));
    QString offlinePath;
    QVERIFY(
        buildPackage(writeConfig(QStringLiteral("<group srcdir=\"%1\"/><group srcdir=\"%2\"/>")
                                     .arg(path(QStringLiteral("a")), path(QStringLiteral("b")))),
                     offlinePath));
    QProcess reader;
    reader.start(QStringLiteral("python3"),
                 {QStringLiteral(LEDGORA_SOURCE_DIR "/tests/package/read_package.py"),
                  path(QStringLiteral("pkg")), offlinePath, path(QStringLiteral("out/log.txt"))});
    QVERIFY(reader.waitForFinished(30000));
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardOutput().constData());
}

void tst_Builder::modeOneShowsSuccessBoxAndGoesOn()
{
    write(QStringLiteral("a/x.txt"), "x");
    const QString conf =
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a"))));
    ScriptedDialogs dialogs;
    MainWindowContext context;
    context.arguments = QStringList {QStringLiteral("lg_updater"), QStringLiteral("--mode"),
                                     QStringLiteral("1"), QStringLiteral("--conf"), conf};
    context.dialogs = &dialogs;
    MainWindow window(context);
    QVERIFY(!window.startupAborted());
    QVERIFY(!dialogs.shown.isEmpty());
    const ScriptedDialogs::Shown box = dialogs.shown.first();
    QCOMPARE(box.kind, QStringLiteral("information"));
    QCOMPARE(box.title, QStringLiteral("Ergebnis:"));
    QCOMPARE(box.text, QStringLiteral("Die Updatedateien wurden erfolgreich erstellt."));
    QVERIFY2(!box.hasParent, "the success box comes before the window exists");
}

void tst_Builder::realProgramBuildsPackage()
{
    write(QStringLiteral("a/x.txt"), "x");
    const QString conf =
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a"))));
    QProcess process;
    startUpdaterProcess(
        process, {QStringLiteral("--mode"), QStringLiteral("1"), QStringLiteral("--conf"), conf});
    // The success box then waits for the user; the package is complete before it appears.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path(QStringLiteral("pkg/info.bin"))), 20000);
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    process.waitForFinished();
    QVERIFY(!readDocument().isEmpty());
    QCOMPARE(readRecords().size(), 1);
}

void tst_Builder::lineForEveryFileOnlyWhenAskedFor_data()
{
    QTest::addColumn<QString>("rules"); // QT_LOGGING_RULES; empty: none
    QTest::addColumn<bool>("lines");
    QTest::newRow("by default") << QString() << false;
    QTest::newRow("asked for") << QStringLiteral("ledgora.package.files.debug=true") << true;
}

// Thousands of files would write thousands of debug lines, which cost more than the work.
void tst_Builder::lineForEveryFileOnlyWhenAskedFor()
{
    QFETCH(QString, rules);
    QFETCH(bool, lines);
    write(QStringLiteral("a/datei-mit-eigenem-namen.txt"), "x");
    const QString conf =
        writeConfig(QStringLiteral("<group srcdir=\"%1\"/>").arg(path(QStringLiteral("a"))));
    QProcessEnvironment env;
    env.insert(QStringLiteral("QT_LOGGING_RULES"), rules);
    QProcess process;
    startUpdaterProcess(
        process, {QStringLiteral("--mode"), QStringLiteral("1"), QStringLiteral("--conf"), conf},
        env);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path(QStringLiteral("pkg/info.bin"))), 20000);
    process.kill();
    process.waitForFinished();
    const QString output = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(output.contains(QLatin1String("datei-mit-eigenem-namen.txt")), lines);
}

void tst_Builder::realProgramExitsOnFailure_data()
{
    QTest::addColumn<QString>("content"); // of the configuration; null: there is none
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reportStart"); // of standard error; empty: nothing at all
    QTest::addColumn<bool>("fullDisk"); // a full tmpfs on "voll"
    const QString targets =
        QStringLiteral("<updater_document trgdir=\"@DIR@/%1\" year=\"2017\" "
                       "trgfile=\"@DIR@/out/update.dat\"><group srcdir=\"@DIR@/%2\"/>"
                       "</updater_document>");
    QTest::newRow("missing configuration")
        << QString() << 1
        << QStringLiteral("Fehler beim Öffnen der Datei: @DIR@/conf.xml: ")
            + QString::fromLocal8Bit(strerror(ENOENT))
        << false;
    QTest::newRow("configuration that is a pipe, which no one writes")
        << QStringLiteral("@FIFO@") << 1
        << QStringLiteral("Fehler beim Öffnen der Datei: @DIR@/conf.xml: Das ist keine "
                          "gewöhnliche Datei.")
        << false;
    QTest::newRow("signing key that is a pipe, which no one writes")
        << QStringLiteral("<updater_document trgdir=\"@DIR@/pkg\" year=\"2017\" "
                          "signkey=\"rohr.pem\"><group srcdir=\"@DIR@/a\"/></updater_document>")
        << 1
        << QStringLiteral("Fehler beim Öffnen der Datei: @DIR@/rohr.pem: Das ist keine "
                          "gewöhnliche Datei.")
        << false;
    QTest::newRow("malformed XML")
        << QStringLiteral("<updater_document trgdir=") << 1
        << QStringLiteral("Fehler beim Laden der XML-Datei: @DIR@/conf.xml: ") << false;
    QTest::newRow("unreadable source file")
        << targets.arg(QLatin1String("pkg"), QLatin1String("b")) << 1
        << QStringLiteral("Fehler beim Öffnen der Datei: @DIR@/b/kaputt.txt: ")
            + QString::fromLocal8Bit(strerror(ENOENT))
        << false;
    QTest::newRow("package directory on a full disk")
        << targets.arg(QLatin1String("voll/pkg"), QLatin1String("a")) << 1
        << QStringLiteral("Fehler beim Schreiben der Datei: @DIR@/voll/pkg/") + hashName("x")
            + QLatin1String(".bin: ") + noSpaceText()
        << true;
    QTest::newRow("link out of the source folder")
        << targets.arg(QLatin1String("pkg"), QLatin1String("c")) << 1
        << QStringLiteral("Fehler beim Lesen des Quellordners: @DIR@/c/: Verknüpfung führt aus "
                          "dem Quellordner: @DIR@/c/schluessel -> @DIR@/a/x.txt")
        << false;
    QTest::newRow("named pipe in the source folder")
        << targets.arg(QLatin1String("pkg"), QLatin1String("d")) << 1
        << QStringLiteral("Fehler beim Öffnen der Datei: @DIR@/d/rohr: weder Datei noch Ordner")
        << false;
    QTest::newRow("missing source folder")
        << targets.arg(QLatin1String("pkg"), QLatin1String("fehlt")) << 1
        << QStringLiteral("Fehler beim Lesen des Quellordners: @DIR@/fehlt/: Quellordner fehlt")
        << false;
    QTest::newRow("year that is no number")
        << QStringLiteral("<updater_document trgdir=\"@DIR@/pkg\" year=\"abc\"/>") << 1
        << QStringLiteral("Fehler beim Laden der XML-Datei: @DIR@/conf.xml: Ungültiges Jahr: abc")
        << false;
    // Counted from the configuration's folder; refused before anything is written.
    QTest::newRow("signing key that is not there")
        << QStringLiteral("<updater_document trgdir=\"@DIR@/pkg\" year=\"2017\" "
                          "signkey=\"keys/fehlt.pem\"><group srcdir=\"@DIR@/a\"/>"
                          "</updater_document>")
        << 1
        << QStringLiteral("Fehler beim Öffnen der Datei: @DIR@/keys/fehlt.pem: ")
            + QString::fromLocal8Bit(strerror(ENOENT))
        << false;
}

void tst_Builder::realProgramExitsOnFailure()
{
    QFETCH(QString, content);
    QFETCH(int, exitCode);
    QFETCH(QString, reportStart);
    QFETCH(bool, fullDisk);
    std::unique_ptr<MountedFileSystem> disk;
    if (fullDisk) {
        disk = smallDisk();
        if (!disk->isMounted())
            QSKIP(qPrintable(QLatin1String("no tmpfs to fill: ") + disk->errorString()));
        QVERIFY(disk->fill());
    }
    write(QStringLiteral("a/x.txt"), "x");
    const QString conf = path(QStringLiteral("conf.xml"));
    QCOMPARE(mkfifo(QFile::encodeName(path(QStringLiteral("rohr.pem"))).constData(), 0600), 0);
    if (content == QLatin1String("@FIFO@"))
        QCOMPARE(mkfifo(QFile::encodeName(conf).constData(), 0600), 0);
    else if (!content.isNull())
        write(QStringLiteral("conf.xml"),
              QString(content).replace(QLatin1String("@DIR@"), dir->path()).toUtf8());
    QVERIFY(QDir().mkpath(path(QStringLiteral("b"))));
    QVERIFY(QFile::link(path(QStringLiteral("nirgends")), path(QStringLiteral("b/kaputt.txt"))));
    makeTree({QStringLiteral("c/schluessel -> a/x.txt"), QStringLiteral("d/rohr |")});
    if (QTest::currentTestFailed())
        return;

    QProcess process;
    // Without the debug output, standard error holds only what the program reports.
    QProcessEnvironment quiet;
    quiet.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("ledgora.package.debug=false"));
    startUpdaterProcess(
        process, {QStringLiteral("--mode"), QStringLiteral("1"), QStringLiteral("--conf"), conf},
        quiet);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    // The program's own lines, not the toolkit's warnings about the machine ("QStandardPaths:
    // XDG_RUNTIME_DIR not set").
    static const QRegularExpression toolkitWarning(QStringLiteral("^Q[A-Za-z]+: [^\n]*\n"),
                                                   QRegularExpression::MultilineOption);
    const QString report =
        QString::fromLocal8Bit(process.readAllStandardError()).remove(toolkitWarning);
    if (reportStart.isEmpty()) {
        QCOMPARE(report, QString());
        return;
    }
    QVERIFY2(report.startsWith(reportStart.replace(QLatin1String("@DIR@"), dir->path())),
             qPrintable(report));
    QCOMPARE(report.count(QLatin1Char('\n')), 1);
    QVERIFY(report.endsWith(QLatin1Char('\n')));
}

void tst_Builder::examplesReleaseReadsBack()
{
    QFile templateFile(QStringLiteral(LEDGORA_SOURCE_DIR "/examples/demo.xml.in"));
    QVERIFY(templateFile.open(QIODevice::ReadOnly));
    const QString config =
        QString::fromUtf8(templateFile.readAll())
            .replace(QLatin1String("@YEAR@"), QLatin1String("2026"))
            .replace(QLatin1String("@EXAMPLES@"), QLatin1String(LEDGORA_SOURCE_DIR "/examples"))
            .replace(QLatin1String("@WWW@"), path(QStringLiteral("www")))
            .replace(QLatin1String("@OUT@"), path(QStringLiteral("out")));
    write(QStringLiteral("demo.xml"), config.toUtf8());
    QProcess process;
    startUpdaterProcess(process,
                        {QStringLiteral("--mode"), QStringLiteral("1"), QStringLiteral("--conf"),
                         path(QStringLiteral("demo.xml"))});
    const QString package = path(QStringLiteral("www/ldg_update/2026"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(package + QLatin1String("/info.bin")), 20000);
    process.kill();
    process.waitForFinished();

    const QString offline = path(QStringLiteral("out/Ledgora-2026.dat"));
    QProcess reader;
    reader.start(QStringLiteral("python3"),
                 {QStringLiteral(LEDGORA_SOURCE_DIR "/tests/package/read_package.py"), package,
                  offline, path(QStringLiteral("out/log.txt"))});
    QVERIFY(reader.waitForFinished(30000));
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardOutput().constData());

    QFile file(offline);
    QVERIFY(file.open(QIODevice::ReadOnly));
    OfflineFileReader own(&file);
    QVERIFY(own.readHeader());
    QCOMPARE(own.releaseYear(), 2026);
    OfflineRecord record;
    for (qint32 i = 0; i < own.recordCount(); ++i) {
        QVERIFY(own.readRecord(&record));
        QCOMPARE(hashName(expandPayload(record.payload)), record.hashName);
    }
    const QJsonObject root = readBinaryJson(expandPayload(own.readDocumentPayload())).object();
    QCOMPARE(root.value(QStringLiteral("data")).toArray().size(), 4);
    QCOMPARE(root.value(QStringLiteral("version")).toString(), QStringLiteral("2026.1"));
}

QTEST_MAIN(tst_Builder)
#include "tst_builder.moc"
