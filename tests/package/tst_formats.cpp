#include "nestedbinaryjson.h"

#include "package/builderlog.h"
#include "package/deflateblocks.h"
#include "package/hashname.h"
#include "package/offlinefile.h"
#include "package/offlinefilereader.h"
#include "package/offlinefilewriter.h"
#include "package/payload.h"
#include "package/payloadcompressor.h"
#include "package/payloadstore.h"
#include "package/payloadstream.h"
#include "package/replacingfile.h"
#include "package/updatedocument.h"
#include "package/versionrecord.h"

#include <QtTest>

#include <cstdio>
#include <sys/resource.h>
#include <zlib.h>

class tst_Formats : public QObject
{
    Q_OBJECT

private slots:
    void hashNames_data();
    void hashNames();
    void emptyContent();
    void payloadRoundTrip_data();
    void payloadRoundTrip();
    void payloadInBlocks_data();
    void payloadInBlocks();
    void payloadCompressorReportsWriteFailure();
    void payloadSizeLimit_data();
    void payloadSizeLimit();
    void damagedPayload_data();
    void damagedPayload();
    void payloadCheckedAgainstContent_data();
    void payloadCheckedAgainstContent();
    void largePayloadExpandsInBoundedMemory();
    void oversizedDocumentRefused();
    void documentRoundTrip();
    void incompleteDocument_data();
    void incompleteDocument();
    void keysWithAMeaningWhenAbsent_data();
    void keysWithAMeaningWhenAbsent();
    void damagedDocument_data();
    void damagedDocument();
    void offlineFileLayout();
    void replacingFile_data();
    void replacingFile();
    void storedPayloadHashes_data();
    void storedPayloadHashes();
    void replacingFileWhileOthersWrite_data();
    void replacingFileWhileOthersWrite();
    void offlineFileOfStoppedRun();
    void damagedOfflineFile_data();
    void damagedOfflineFile();
    void wrongIdentifier_data();
    void wrongIdentifier();
    void logLine_data();
    void logLine();
    void versionRecordReading_data();
    void versionRecordReading();
    void versionRecordText();
    void missingVersionRecord();

private:
    QByteArray offlineFileBytes(int records, bool withDocument);
};

namespace {

// What the streaming expansion makes of a payload: the content and its status.
QPair<QByteArray, int> expandedIntoFile(const QByteArray &payload)
{
    QTemporaryFile file;
    file.open();
    QBuffer input;
    input.setData(payload);
    input.open(QIODevice::ReadOnly);
    const ExpandedPayload expanded = expandPayloadInto(input, payload.size(), file);
    file.seek(0);
    const QByteArray content = file.readAll();
    if (expanded.status == ExpandedPayload::Expanded && expanded.hashName != hashName(content))
        return {QByteArray("<hash differs>"), -1};
    return {content, int(expanded.status)};
}

// What inspectPayload finds in a payload: its status, size and hash name.
ExpandedPayload inspected(const QByteArray &payload)
{
    QBuffer input;
    input.setData(payload);
    input.open(QIODevice::ReadOnly);
    return inspectPayload(input, payload.size());
}

QByteArray randomBytes(qint64 size)
{
    QByteArray bytes(int(size), Qt::Uninitialized);
    QRandomGenerator generator(17);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

// Lines of ledger words: compresses well, with matches reaching far back.
QByteArray ledgerText(qint64 size)
{
    QByteArray text;
    // Piece by piece: appending a built expression would reallocate the array to its exact
    // size every time, which the sanitizer build copies at each step.
    for (int line = 0; text.size() < size; ++line) {
        text.append("Buchung ");
        text.append(QByteArray::number(line * 7919 % 100003));
        text.append(" Konto Soll Haben\n");
    }
    text.truncate(int(size));
    return text;
}

} // namespace

void tst_Formats::hashNames_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("hash");
    QTest::newRow("empty")
        << QByteArray()
        << QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    QTest::newRow("abc") << QByteArray("abc")
                         << QStringLiteral(
                                "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

void tst_Formats::hashNames()
{
    QFETCH(QByteArray, data);
    QTEST(hashName(data), "hash");
    QBuffer buffer(&data);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QString hash;
    QString error;
    QVERIFY(hashNameOfDevice(&buffer, -1, &hash, &error));
    QTEST(hash, "hash");
    // A length beyond the end is a device that ended early, not the hash of what was there.
    QVERIFY(buffer.seek(0));
    QVERIFY(!hashNameOfDevice(&buffer, data.size() + 1, &hash, &error));
    QVERIFY(!error.isEmpty());
}

void tst_Formats::emptyContent()
{
    QCOMPARE(compressPayload(QByteArray()), QByteArray(4, '\0'));
    QCOMPARE(expandPayload(QByteArray(4, '\0')), QByteArray());
}

void tst_Formats::payloadRoundTrip_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("one byte") << QByteArray("x");
    QTest::newRow("text") << QByteArray("Buchhaltung ").repeated(5000);
    QTest::newRow("incompressible") << randomBytes(100000);
    QTest::newRow("a megabyte of zeros") << QByteArray(1 << 20, '\0');
}

void tst_Formats::payloadRoundTrip()
{
    QFETCH(QByteArray, data);
    const QByteArray payload = compressPayload(data);
    // Any reader of qCompress's format reads it.
    QCOMPARE(qUncompress(payload), data);
    QCOMPARE(statedPayloadSize(payload), quint32(data.size()));
    QCOMPARE(expandPayload(payload), data);
    QCOMPARE(expandedIntoFile(payload).first, data);
    const ExpandedPayload found = inspected(payload);
    QCOMPARE(found.status, ExpandedPayload::Expanded);
    QCOMPARE(found.size, qint64(data.size()));
    QCOMPARE(found.hashName, hashName(data));
}

void tst_Formats::payloadInBlocks_data()
{
    QTest::addColumn<QByteArray>("content");
    const qint64 block = payloadBlockSize;
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("one byte") << QByteArray("x");
    QTest::newRow("a block less one byte") << ledgerText(block - 1);
    QTest::newRow("a block") << ledgerText(block);
    QTest::newRow("a block and one byte") << ledgerText(block + 1);
    QTest::newRow("two blocks") << ledgerText(2 * block);
    QTest::newRow("five blocks and a half") << ledgerText(5 * block + block / 2);
    QTest::newRow("a block of zeros and one") << QByteArray(int(block + 1), '\0');
    QTest::newRow("incompressible block") << randomBytes(block);
    QTest::newRow("incompressible, three blocks and one byte") << randomBytes(3 * block + 1);
}

// Compressed block by block on the pool into a file, the blocks form one zlib stream that zlib
// inflates in one go, the same bytes as compressPayload, no larger than clients accept.
void tst_Formats::payloadInBlocks()
{
    QFETCH(QByteArray, content);
    QTemporaryFile file;
    QVERIFY(file.open());
    PayloadCompressor compressor(file, content.size());
    for (qint64 offset = 0; offset < content.size(); offset += payloadBlockSize)
        QVERIFY(compressor.add(content.mid(int(offset), int(payloadBlockSize))));
    QVERIFY2(compressor.finish(), qPrintable(compressor.errorString()));
    QVERIFY(file.seek(0));
    const QByteArray payload = file.readAll();

    QCOMPARE(payload, compressPayload(content));
    QCOMPARE(statedPayloadSize(payload), quint32(content.size()));
    QVERIFY2(payload.size() <= ::payloadSizeLimit(content.size()),
             qPrintable(QString::number(payload.size())));
    if (content.isEmpty()) {
        QCOMPARE(payload, QByteArray(4, '\0'));
        return;
    }
    QByteArray expanded(content.size(), Qt::Uninitialized);
    uLongf expandedLength = uLongf(expanded.size());
    uLong streamLength = uLong(payload.size() - 4);
    QCOMPARE(uncompress2(reinterpret_cast<Bytef *>(expanded.data()), &expandedLength,
                         reinterpret_cast<const Bytef *>(payload.constData() + 4), &streamLength),
             Z_OK);
    QCOMPARE(qint64(expandedLength), qint64(content.size()));
    QCOMPARE(qint64(streamLength), qint64(payload.size() - 4)); // the stream ends with the payload
    QVERIFY(expanded == content);
    QCOMPARE(expandedIntoFile(payload).second, int(ExpandedPayload::Expanded));
}

// A device that fails, as a full disk does, fails the payload instead of cutting it short.
void tst_Formats::payloadCompressorReportsWriteFailure()
{
    QFile full(QStringLiteral("/dev/full"));
    if (!full.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        QSKIP("no /dev/full on this system");
    const QByteArray content = randomBytes(3 * payloadBlockSize);
    PayloadCompressor compressor(full, content.size());
    bool written = true;
    for (qint64 offset = 0; offset < content.size() && written; offset += payloadBlockSize)
        written = compressor.add(content.mid(int(offset), int(payloadBlockSize)));
    QVERIFY(!(written && compressor.finish()));
    QCOMPARE(compressor.errorString(), QString::fromLocal8Bit(strerror(ENOSPC)));
}

void tst_Formats::payloadSizeLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("fits");
    QTest::newRow("nothing") << qint64(0) << true;
    QTest::newRow("2 GB") << qint64(2000000000) << true;
    // Incompressible content grows by zlib's margin and would no longer fit in an array.
    QTest::newRow("2 GiB less 100 bytes") << (qint64(1) << 31) - 100 << false;
    QTest::newRow("2 GiB") << (qint64(1) << 31) << false;
    QTest::newRow("4 GiB and one byte") << (qint64(1) << 32) + 1 << false;
    QTest::newRow("negative") << qint64(-1) << false;
}

void tst_Formats::payloadSizeLimit()
{
    QFETCH(qint64, size);
    QTEST(fitsInPayload(size), "fits");
}

void tst_Formats::damagedPayload_data()
{
    QTest::addColumn<QByteArray>("payload");
    const QByteArray good = compressPayload(QByteArray("Buchhaltung ").repeated(100));
    QByteArray flipped = good;
    flipped[good.size() / 2] = char(flipped.at(good.size() / 2) ^ 0x55);
    QByteArray absurd = good;
    absurd[0] = char(0x7F); // states about 2 GB for a few dozen bytes
    QByteArray larger = good;
    larger[3] = char(larger.at(3) + 1);
    QByteArray smaller = good;
    smaller[3] = char(smaller.at(3) - 1);
    QTest::newRow("flipped byte in stream") << flipped;
    QTest::newRow("truncated stream") << good.left(good.size() - 5);
    QTest::newRow("absurd stated size") << absurd;
    QTest::newRow("stated size too large") << larger;
    QTest::newRow("stated size too small") << smaller;
    QTest::newRow("shorter than length field") << QByteArray("\0\0\1", 3);
    QTest::newRow("length only") << QByteArray("\0\0\0\5", 4);
}

void tst_Formats::damagedPayload()
{
    QFETCH(QByteArray, payload);
    QCOMPARE(expandPayload(payload), QByteArray());
    QCOMPARE(expandedIntoFile(payload).second, int(ExpandedPayload::Damaged));
    QCOMPARE(inspected(payload).status, ExpandedPayload::Damaged);
}

namespace {

// A payload whose zlib stream was made with a window of 512 bytes and says so in its header.
QByteArray smallWindowPayload(const QByteArray &content)
{
    z_stream stream = {};
    deflateInit2(&stream, 9, Z_DEFLATED, 9, 8, Z_DEFAULT_STRATEGY);
    QByteArray payload(4 + int(deflateBound(&stream, uLong(content.size()))), Qt::Uninitialized);
    qToBigEndian(quint32(content.size()), payload.data());
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(content.constData()));
    stream.avail_in = uInt(content.size());
    stream.next_out = reinterpret_cast<Bytef *>(payload.data() + 4);
    stream.avail_out = uInt(payload.size() - 4);
    deflate(&stream, Z_FINISH);
    payload.resize(4 + int(stream.total_out));
    deflateEnd(&stream);
    return payload;
}

} // namespace

void tst_Formats::payloadCheckedAgainstContent_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("holds");
    const QByteArray text = ledgerText(3 * payloadBlockSize + 5);
    const QByteArray good = compressPayload(text);
    QByteArray flipped = good;
    flipped[good.size() / 2] = char(flipped.at(good.size() / 2) ^ 0x55);
    QByteArray longer = good;
    longer[3] = char(longer.at(3) + 1);
    QTest::newRow("this program's payload") << good << text << true;
    QTest::newRow("zlib's payload at level 1") << qCompress(text, 1) << text << true;
    // zlib refuses distances beyond the window a stream's header states; libdeflate does not
    // look: only the full window's header is taken.
    QTest::newRow("zlib's payload with a smaller window")
        << smallWindowPayload(text.left(100000)) << text.left(100000) << false;
    QTest::newRow("another content") << compressPayload(text.left(1000)) << text << false;
    QTest::newRow("flipped byte") << flipped << text << false;
    QTest::newRow("cut short") << good.left(good.size() - 5) << text << false;
    QTest::newRow("bytes after the stream") << good + "x" << text << false;
    QTest::newRow("stated size too large") << longer << text << false;
    QTest::newRow("length field only") << good.left(4) << text << false;
    QTest::newRow("nothing") << QByteArray() << text << false;
    QTest::newRow("empty content") << QByteArray(4, '\0') << QByteArray() << true;
    QTest::newRow("empty content, bytes after the length")
        << QByteArray("\0\0\0\0x", 5) << QByteArray() << false;
}

// Whether an existing data file may be published again for a content.
void tst_Formats::payloadCheckedAgainstContent()
{
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, content);
    QTEST(payloadExpandsTo(payload, content), "holds");
    if (!content.isEmpty())
        QTEST(payloadHolds(payload, content.size(), hashName(content)), "holds");
}

namespace {

// A payload of `size` zero bytes, compressed piece by piece so that the test never holds them.
QByteArray zeroPayload(qint64 size)
{
    z_stream stream = {};
    deflateInit(&stream, 9);
    const QByteArray zeros(1 << 20, '\0');
    QByteArray payload(4, Qt::Uninitialized);
    qToBigEndian(quint32(size), payload.data());
    QByteArray out(1 << 16, Qt::Uninitialized);
    for (qint64 left = size;;) {
        const qint64 piece = qMin<qint64>(zeros.size(), left);
        left -= piece;
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.constData()));
        stream.avail_in = uInt(piece);
        int status = Z_OK;
        do {
            stream.next_out = reinterpret_cast<Bytef *>(out.data());
            stream.avail_out = uInt(out.size());
            status = deflate(&stream, left == 0 ? Z_FINISH : Z_NO_FLUSH);
            payload.append(out.constData(), out.size() - int(stream.avail_out));
        } while (stream.avail_out == 0);
        if (status == Z_STREAM_END)
            break;
    }
    deflateEnd(&stream);
    return payload;
}

qint64 peakResidentKiB()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

// A few hundred kilobytes that state 300 MB: expanded into a file through a block, never held.
void tst_Formats::largePayloadExpandsInBoundedMemory()
{
    const qint64 size = 300000000;
    const QByteArray payload = zeroPayload(size);
    QVERIFY(payload.size() < 1000000);
    QTemporaryFile file;
    QVERIFY(file.open());
    QBuffer input;
    input.setData(payload);
    input.open(QIODevice::ReadOnly);
    const qint64 peakBefore = peakResidentKiB();
    const ExpandedPayload expanded = expandPayloadInto(input, payload.size(), file);
    QCOMPARE(expanded.status, ExpandedPayload::Expanded);
    QCOMPARE(expanded.size, size);
    QCOMPARE(file.size(), size);
    QVERIFY2(peakResidentKiB() - peakBefore < 64 * 1024,
             qPrintable(QStringLiteral("peak grew by %1 KiB").arg(peakResidentKiB() - peakBefore)));
}

// A small payload that expands to 100 MB is no document: refused before the bytes are made.
void tst_Formats::oversizedDocumentRefused()
{
    const QByteArray payload = zeroPayload(100000000);
    const qint64 peakBefore = peakResidentKiB();
    QString error;
    QVERIFY(!documentFromPayload(payload, &error));
    QVERIFY2(peakResidentKiB() - peakBefore < 32 * 1024,
             qPrintable(QStringLiteral("peak grew by %1 KiB").arg(peakResidentKiB() - peakBefore)));

    // In an offline file, a document length beyond any document is not read.
    QByteArray bytes = offlineFileBytes(0, false);
    bytes += QByteArray::fromHex("7FFFFFF0") + QByteArray(1000, 'x');
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    OfflineFileReader reader(&buffer);
    QVERIFY(reader.readHeader());
    QVERIFY(reader.readDocumentPayload().isEmpty());
}

namespace {

UpdateDocument sampleDocument()
{
    UpdateDocument document;
    document.version = QStringLiteral("2017.1");
    document.mainInfos = {{QStringLiteral("windows"), QStringLiteral("<p>Info</p>")}};
    UpdateGroup group;
    group.name = QStringLiteral("Programm ÄÖÜß");
    group.version = QStringLiteral("1");
    group.os = QStringLiteral("windows_7;windows_10");
    group.type = QStringLiteral("Exec");
    group.subtype = 3;
    group.beta = true;
    group.active = QStringLiteral("0");
    group.disable = QStringLiteral("1");
    group.info = QStringLiteral("Beschreibung");
    // Above what 32 bits hold: the size must come back whole.
    group.size = 3000000000LL;
    group.files = {{QStringLiteral("ordner"), true, QString(), 0,
                    QStringLiteral("2016-03-01T14:05:09"), QStringLiteral("2016-03-01T14:05:09"),
                    QStringLiteral("2016-03-01T14:05:09")},
                   {QStringLiteral("ordner/groß.dll"), false, hashName("x"), 3000000000LL,
                    QStringLiteral("2016-03-01T14:05:09.123"),
                    QStringLiteral("2017-01-02T03:04:05"), QStringLiteral("2018-05-06T07:08:09")}};
    UpdateGroup plain;
    plain.type = QStringLiteral("programm");
    document.groups = {group, plain};
    return document;
}

} // namespace

// What the builder writes reads back to the same model and, written again, to the same bytes:
// the client and a later builder see one document.
void tst_Formats::documentRoundTrip()
{
    const UpdateDocument document = sampleDocument();
    const QByteArray binary = documentToBinary(document);
    QVERIFY(binary.startsWith("qbjs"));
    QString error;
    const std::optional<UpdateDocument> read = documentFromBinary(binary, &error);
    QVERIFY2(read, qPrintable(error));
    QCOMPARE(documentToBinary(*read), binary);
    const UpdateGroup &group = read->groups.at(0);
    QCOMPARE(group.kind(), GroupKind::Exec);
    QCOMPARE(group.size, 3000000000LL);
    QCOMPARE(group.files.at(1).size, 3000000000LL);
    QCOMPARE(group.files.at(1).targetPath, QStringLiteral("ordner/groß.dll"));
    QCOMPARE(FileEntry::timeOf(group.files.at(1).created),
             QDateTime(QDate(2016, 3, 1), QTime(14, 5, 9, 123)));
    QCOMPARE(group.info, std::optional<QString>(QStringLiteral("Beschreibung")));
    QCOMPARE(read->groups.at(1).info, std::optional<QString>());
    QCOMPARE(read->groups.at(1).kind(), GroupKind::Files);
}

// A key that is missing or of another type is named, with the place of its object; nothing is
// read as an empty value.
void tst_Formats::incompleteDocument_data()
{
    QTest::addColumn<QStringList>("path"); // object keys and array positions down to the key
    QTest::addColumn<QJsonValue>("value"); // undefined: the key is removed
    QTest::addColumn<QString>("error");
    const QJsonValue removed(QJsonValue::Undefined);
    QTest::newRow("root version missing")
        << QStringList {QStringLiteral("version")} << removed
        << QStringLiteral("Dokument: Schlüssel \"version\" fehlt");
    QTest::newRow("groups not an array")
        << QStringList {QStringLiteral("data")} << QJsonValue(QStringLiteral("x"))
        << QStringLiteral("Dokument: Schlüssel \"data\" hat den falschen Typ");
    QTest::newRow("group type missing")
        << QStringList {QStringLiteral("data"), QStringLiteral("1"), QStringLiteral("type")}
        << removed << QStringLiteral("Gruppe 1: Schlüssel \"type\" fehlt");
    QTest::newRow("misspelt sha256")
        << QStringList {QStringLiteral("data"), QStringLiteral("0"), QStringLiteral("data"),
                        QStringLiteral("1"), QStringLiteral("sha256")}
        << removed << QStringLiteral("Gruppe 0, Datei 1: Schlüssel \"sha256\" fehlt");
    QTest::newRow("size as text")
        << QStringList {QStringLiteral("data"), QStringLiteral("0"), QStringLiteral("data"),
                        QStringLiteral("0"), QStringLiteral("size")}
        << QJsonValue(QStringLiteral("12"))
        << QStringLiteral("Gruppe 0, Datei 0: Schlüssel \"size\" hat den falschen Typ");
    QTest::newRow("isdir as number")
        << QStringList {QStringLiteral("data"), QStringLiteral("0"), QStringLiteral("data"),
                        QStringLiteral("0"), QStringLiteral("isdir")}
        << QJsonValue(1)
        << QStringLiteral("Gruppe 0, Datei 0: Schlüssel \"isdir\" hat den falschen Typ");
    QTest::newRow("size beyond 64 bits")
        << QStringList {QStringLiteral("data"), QStringLiteral("0"), QStringLiteral("size")}
        << QJsonValue(1.15e164)
        << QStringLiteral("Gruppe 0: Schlüssel \"size\" liegt außerhalb des Bereichs");
    QTest::newRow("folder with a hash name")
        << QStringList {QStringLiteral("data"), QStringLiteral("0"), QStringLiteral("data"),
                        QStringLiteral("0"), QStringLiteral("sha256")}
        << QJsonValue(QStringLiteral("ab"))
        << QStringLiteral("Gruppe 0, Datei 0: ein Ordner mit Hash-Wert");
    QTest::newRow("a path for a hash name")
        << QStringList {QStringLiteral("data"), QStringLiteral("0"), QStringLiteral("data"),
                        QStringLiteral("1"), QStringLiteral("sha256")}
        << QJsonValue(QStringLiteral("../../../secret.bin"))
        << QStringLiteral("Gruppe 0, Datei 1: \"sha256\" ist kein Hash-Wert aus 64 "
                          "Hexadezimalziffern");
    QTest::newRow("a hash name in upper case")
        << QStringList {QStringLiteral("data"), QStringLiteral("0"), QStringLiteral("data"),
                        QStringLiteral("1"), QStringLiteral("sha256")}
        << QJsonValue(QString(64, QLatin1Char('A')))
        << QStringLiteral("Gruppe 0, Datei 1: \"sha256\" ist kein Hash-Wert aus 64 "
                          "Hexadezimalziffern");
    QTest::newRow("file entry not an object")
        << QStringList {QStringLiteral("data"), QStringLiteral("0"), QStringLiteral("data"),
                        QStringLiteral("0")}
        << QJsonValue(7) << QStringLiteral("Gruppe 0, Datei 0: kein JSON-Objekt");
    QTest::newRow("count disagrees")
        << QStringList {QStringLiteral("data"), QStringLiteral("0"), QStringLiteral("count")}
        << QJsonValue(5) << QStringLiteral("Gruppe 0: \"count\" ist nicht die Zahl der Dateien");
    QTest::newRow("main_info without info")
        << QStringList {QStringLiteral("main_info"), QStringLiteral("0"), QStringLiteral("info")}
        << removed << QStringLiteral("main_info 0: Schlüssel \"info\" fehlt");
}

namespace {

QJsonValue changed(const QJsonValue &value, QStringList path, const QJsonValue &replacement)
{
    const QString step = path.takeFirst();
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        const int index = step.toInt();
        array[index] = path.isEmpty() ? replacement : changed(array.at(index), path, replacement);
        return array;
    }
    QJsonObject object = value.toObject();
    if (path.isEmpty() && replacement.isUndefined())
        object.remove(step);
    else
        object[step] =
            path.isEmpty() ? replacement : changed(object.value(step), path, replacement);
    return object;
}

} // namespace

void tst_Formats::incompleteDocument()
{
    QFETCH(QStringList, path);
    QFETCH(QJsonValue, value);
    QFETCH(QString, error);
    const QJsonObject root = changed(documentToJson(sampleDocument()), path, value).toObject();
    QString reason;
    QVERIFY(!documentFromBinary(binaryJson(QJsonDocument(root)), &reason));
    QCOMPARE(reason, error);
}

void tst_Formats::keysWithAMeaningWhenAbsent_data()
{
    QTest::addColumn<QString>("key"); // removed from group 1 (main_info 0 for "main os")
    QTest::addColumn<QString>("read"); // what the group then reads as
    QTest::newRow("os: every system") << QStringLiteral("os") << QStringLiteral("os=");
    QTest::newRow("active: preselected") << QStringLiteral("active") << QStringLiteral("active=");
    QTest::newRow("disable: selectable") << QStringLiteral("disable") << QStringLiteral("disable=");
    QTest::newRow("beta: not beta") << QStringLiteral("beta") << QStringLiteral("beta=0");
    QTest::newRow("cert: true") << QStringLiteral("cert") << QStringLiteral("cert=1");
    QTest::newRow("subtype: none") << QStringLiteral("subtype") << QStringLiteral("subtype=-1");
    QTest::newRow("info: none") << QStringLiteral("info") << QStringLiteral("info=none");
    QTest::newRow("main_info os: every system")
        << QStringLiteral("main os") << QStringLiteral("main os=");
}

// A document of another writer may leave out what the format gives a meaning when absent; it
// reads with that meaning instead of being refused. A key of the wrong type is still refused.
void tst_Formats::keysWithAMeaningWhenAbsent()
{
    QFETCH(QString, key);
    QFETCH(QString, read);
    UpdateDocument document = sampleDocument();
    document.groups[1].os = QStringLiteral("windows_7");
    document.groups[1].active = QStringLiteral("0");
    document.groups[1].disable = QStringLiteral("1");
    document.groups[1].beta = true;
    document.groups[1].cert = false;
    document.groups[1].subtype = 4;
    document.groups[1].info = QStringLiteral("Beschreibung");
    document.mainInfos[0].os = QStringLiteral("windows_7");
    const QStringList path = key == QLatin1String("main os")
        ? QStringList {QStringLiteral("main_info"), QStringLiteral("0"), QStringLiteral("os")}
        : QStringList {QStringLiteral("data"), QStringLiteral("1"), key};
    const QJsonObject root =
        changed(documentToJson(document), path, QJsonValue(QJsonValue::Undefined)).toObject();
    QString error;
    const std::optional<UpdateDocument> loaded =
        documentFromBinary(binaryJson(QJsonDocument(root)), &error);
    QVERIFY2(loaded, qPrintable(error));
    const UpdateGroup &group = loaded->groups.at(1);
    const QStringList values {QLatin1String("os=") + group.os,
                              QLatin1String("active=") + group.active,
                              QLatin1String("disable=") + group.disable,
                              QLatin1String("beta=") + QString::number(group.beta),
                              QLatin1String("cert=") + QString::number(group.cert),
                              QLatin1String("subtype=") + QString::number(group.subtype),
                              QLatin1String("info=") + group.info.value_or(QStringLiteral("none")),
                              QLatin1String("main os=") + loaded->mainInfos.at(0).os};
    // Every value was set to what its absence does not mean: only the removed key has it.
    QVERIFY2(values.contains(read), qPrintable(values.join(QLatin1Char(' '))));

    const QJsonObject wrongType =
        changed(documentToJson(document), path, QJsonValue(QJsonArray())).toObject();
    QVERIFY(!documentFromBinary(binaryJson(QJsonDocument(wrongType)), &error));
}

void tst_Formats::damagedDocument_data()
{
    QTest::addColumn<QByteArray>("data");
    QByteArray binary = documentToBinary(UpdateDocument());
    QByteArray cut = binary.left(binary.size() - 4);
    QByteArray badOffset = binary;
    badOffset[binary.size() - 1] = char(0x7F);
    QTest::newRow("text JSON") << QByteArray("{\"a\": 1}");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("cut short") << cut;
    QTest::newRow("offset out of range") << badOffset;
}

void tst_Formats::damagedDocument()
{
    QFETCH(QByteArray, data);
    QString error;
    QVERIFY(!documentFromBinary(data, &error));
    QVERIFY(!error.isEmpty());
}

QByteArray tst_Formats::offlineFileBytes(int records, bool withDocument)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("update.dat"));
    OfflineFileWriter writer;
    if (!writer.open(path, 2017))
        return QByteArray();
    for (int i = 0; i < records; ++i) {
        const QByteArray content = QByteArray("Datei ") + QByteArray::number(i);
        writer.appendRecord(hashName(content), 0, i, compressPayload(content));
    }
    if (withDocument)
        writer.appendDocument(compressPayload(documentToBinary(UpdateDocument())));
    writer.finish();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void tst_Formats::offlineFileLayout()
{
    const QByteArray bytes = offlineFileBytes(2, true);
    QVERIFY(bytes.startsWith(QByteArray::fromHex("0000004800390065")));
    QCOMPARE(bytes.mid(76, 4), QByteArray::fromHex("000007e1"));
    QCOMPARE(bytes.mid(OfflineFile::recordCountOffset, 4), QByteArray::fromHex("00000002"));
    // First record: hash name as 4 + 128 bytes, then group and file index.
    QCOMPARE(bytes.mid(84, 4), QByteArray::fromHex("00000080"));
    QCOMPARE(bytes.mid(84 + 132, 8), QByteArray::fromHex("0000000000000000"));

    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    OfflineFileReader reader(&buffer);
    QVERIFY(reader.readHeader());
    QCOMPARE(reader.releaseYear(), 2017);
    QCOMPARE(reader.recordCount(), 2);
    for (int i = 0; i < 2; ++i) {
        OfflineRecord record;
        QVERIFY(reader.readRecord(&record));
        const QByteArray content = expandPayload(record.payload);
        QCOMPARE(content, QByteArray("Datei ") + QByteArray::number(i));
        QCOMPARE(record.hashName, hashName(content));
        QCOMPARE(record.fileIndex, i);
    }
    QVERIFY(!reader.hasStreamError());
    QString error;
    QVERIFY(documentFromBinary(expandPayload(reader.readDocumentPayload()), &error));
    QVERIFY(buffer.atEnd());
}

void tst_Formats::replacingFile_data()
{
    // A file as the offline update file is written: a head, a field filled in at the end
    // (reserved, then filled) and a body, in pieces that cross the writer's buffer.
    QTest::addColumn<QByteArray>("oldBytes"); // null: no old file
    QTest::addColumn<bool>("oldIsLink"); // the old name is a link to a file of oldBytes
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("committed");
    QTest::addColumn<bool>("keepsOld"); // the old file is left as it was, time included
    QTest::addColumn<int>("pieceSize"); // of the body's writes

    const QByteArray body = ledgerText(3 * (1 << 20) + 17);
    const QByteArray field("\0\0\0\5", 4);
    const QByteArray same = "HEAD" + field + body;
    auto changedAt = [&same](int position) {
        QByteArray bytes = same;
        bytes[position] = char(bytes.at(position) ^ 1);
        return bytes;
    };
    QTest::newRow("no old file") << QByteArray() << false << field << body << true << false
                                 << 700000;
    QTest::newRow("the same bytes") << same << false << field << body << true << true << 700000;
    QTest::newRow("another field")
        << changedAt(6) << false << field << body << true << false << 700000;
    QTest::newRow("another first byte")
        << changedAt(0) << false << field << body << true << false << 700000;
    QTest::newRow("another byte after the first buffer")
        << changedAt((1 << 20) + (1 << 19)) << false << field << body << true << false << 700000;
    QTest::newRow("another last byte")
        << changedAt(same.size() - 1) << false << field << body << true << false << 700000;
    QTest::newRow("old one longer")
        << same + "x" << false << field << body << true << false << 700000;
    QTest::newRow("old one shorter")
        << same.left(same.size() - 1) << false << field << body << true << false << 700000;
    QTest::newRow("a link to the same bytes")
        << same << true << field << body << true << false << 700000;
    QTest::newRow("not committed")
        << changedAt(2) << false << field << body << false << true << 700000;
    // Pieces larger than the writer's buffer go past it and are compared a buffer at a time.
    const int whole = body.size();
    QTest::newRow("the same bytes, body written whole")
        << same << false << field << body << true << true << whole;
    QTest::newRow("another field, body written whole")
        << changedAt(6) << false << field << body << true << false << whole;
    QTest::newRow("another byte in the body's second buffer, written whole")
        << changedAt((1 << 20) + (1 << 19)) << false << field << body << true << false << whole;
}

// Whatever the old file holds, the name ends with exactly the bytes written, and no part is
// left; an identical old file, or any when the writer is dropped, stays untouched.
void tst_Formats::replacingFile()
{
    QFETCH(QByteArray, oldBytes);
    QFETCH(bool, oldIsLink);
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, body);
    QFETCH(bool, committed);
    QFETCH(bool, keepsOld);
    QFETCH(int, pieceSize);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("update.dat"));
    const QString oldPath = oldIsLink ? dir.filePath(QStringLiteral("linked.dat")) : path;
    const QDateTime oldTime(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    if (!oldBytes.isNull()) {
        QFile old(oldPath);
        QVERIFY(old.open(QIODevice::WriteOnly));
        QCOMPARE(old.write(oldBytes), qint64(oldBytes.size()));
        QVERIFY(old.setFileTime(oldTime, QFileDevice::FileModificationTime));
        old.close();
        if (oldIsLink)
            QVERIFY(QFile::link(oldPath, path));
    }
    {
        ReplacingFile file;
        QVERIFY(file.open(path));
        QVERIFY(file.write("HEAD"));
        QVERIFY(file.reserve(field.size()));
        for (int at = 0; at < body.size(); at += pieceSize)
            QVERIFY(file.write(body.mid(at, pieceSize)));
        QVERIFY(file.fill(field));
        QCOMPARE(file.pos(), qint64(4 + field.size() + body.size()));
        if (committed)
            QVERIFY2(file.commit(), qPrintable(file.errorString()));
    }
    const QByteArray expected = keepsOld ? oldBytes : "HEAD" + field + body;
    QFile result(path);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QVERIFY(result.readAll() == expected);
    QCOMPARE(result.fileTime(QFileDevice::FileModificationTime) == oldTime, keepsOld);
    QCOMPARE(QFileInfo(path).isSymLink(), oldIsLink && !committed);
    QVERIFY(!QFile::exists(partPathOf(path)));
    if (oldIsLink) {
        QFile linked(oldPath);
        QVERIFY(linked.open(QIODevice::ReadOnly));
        QVERIFY(linked.readAll() == oldBytes);
    }
}

void tst_Formats::replacingFileWhileOthersWrite_data()
{
    QTest::addColumn<QString>("event"); // what another writer does after two pieces
    QTest::addColumn<bool>("sameBytes"); // the old file matches all that is written
    QTest::addColumn<bool>("committed");
    // The old file matched to the end, but the name now belongs to another file: kept, that
    // file would count as this run's.
    QTest::newRow("another file renamed over the old one") << "rename" << true << true;
    // The bytes compared are copied from the old file when a difference comes; changed since,
    // they would be published as if written.
    QTest::newRow("old file changed in place after it was compared") << "change" << false << false;
}

void tst_Formats::replacingFileWhileOthersWrite()
{
    QFETCH(QString, event);
    QFETCH(bool, sameBytes);
    QFETCH(bool, committed);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("update.dat"));
    const QByteArray written = ledgerText(3 * (1 << 20) + 17);
    QByteArray oldBytes = written;
    if (!sameBytes)
        oldBytes[oldBytes.size() - 1] = char(oldBytes.at(oldBytes.size() - 1) ^ 1);
    auto writeFile = [](const QString &where, const QByteArray &bytes) {
        QFile file(where);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    QVERIFY(writeFile(path, oldBytes));
    QByteArray expected = written;
    {
        ReplacingFile file;
        QVERIFY(file.open(path));
        for (int at = 0, piece = 0; at < written.size(); at += 700000, ++piece) {
            QVERIFY(file.write(written.mid(at, 700000)));
            if (piece != 1)
                continue;
            if (event == QLatin1String("rename")) {
                const QString other = dir.filePath(QStringLiteral("anderes.dat"));
                QVERIFY(writeFile(other, "ein anderer Inhalt"));
                QVERIFY(std::rename(QFile::encodeName(other), QFile::encodeName(path)) == 0);
            } else {
                QFile old(path);
                QVERIFY(old.open(QIODevice::ReadWrite));
                QVERIFY(old.seek(10) && old.write("XXXX") == 4);
                expected = oldBytes;
                expected.replace(10, 4, "XXXX");
            }
        }
        QCOMPARE(file.commit(), committed);
        if (!committed)
            QCOMPARE(file.errorString(), QStringLiteral("Datei wurde während des Lesens geändert"));
    }
    QFile result(path);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QVERIFY(result.readAll() == expected);
    QVERIFY(!QFile::exists(partPathOf(path)));
}

void tst_Formats::offlineFileOfStoppedRun()
{
    // A builder run that failed after two records: correct count, complete records, no document.
    QByteArray bytes = offlineFileBytes(2, false);
    QCOMPARE(bytes.mid(OfflineFile::recordCountOffset, 4), QByteArray::fromHex("00000002"));
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    OfflineFileReader reader(&buffer);
    QVERIFY(reader.readHeader());
    OfflineRecord record;
    QVERIFY(reader.readRecord(&record));
    QVERIFY(reader.readRecord(&record));
    QVERIFY(!reader.hasStreamError());
    QString error;
    QVERIFY(!documentFromBinary(expandPayload(reader.readDocumentPayload()), &error));
}

void tst_Formats::damagedOfflineFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("completeRecords");

    const QByteArray good = offlineFileBytes(3, true);
    auto withCount = [&good](quint32 count) {
        QByteArray bytes = good;
        bytes.replace(OfflineFile::recordCountOffset, 4,
                      QByteArray::fromHex(QByteArray::number(count, 16).rightJustified(8, '0')));
        return bytes;
    };
    // A record whose payload claims nearly 2 GB while a few bytes follow.
    QByteArray hugePayload = offlineFileBytes(0, false);
    hugePayload.replace(OfflineFile::recordCountOffset, 4, QByteArray::fromHex("00000001"));
    QDataStream out(&hugePayload, QIODevice::Append);
    out.setVersion(OfflineFile::streamVersion);
    out << hashName(QByteArray()) << qint32(0) << qint32(0);
    hugePayload += QByteArray::fromHex("7ffffff0") + QByteArray(10, 'x');

    const int recordSize = 4 + 128 + 4 + 4 + 4;
    QTest::newRow("truncated in the second record") << good.left(84 + recordSize + 40) << 1;
    QTest::newRow("record count larger than records") << withCount(1000) << 3;
    QTest::newRow("record count of 2^31-1, cut short") << withCount(0x7FFFFFFF).left(300) << 1;
    QTest::newRow("payload length beyond the end") << hugePayload << 0;
}

void tst_Formats::damagedOfflineFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, completeRecords);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    OfflineFileReader reader(&buffer);
    QVERIFY(reader.readHeader());
    int read = 0;
    OfflineRecord record;
    for (qint32 i = 0; i < reader.recordCount(); ++i) {
        if (!reader.readRecord(&record))
            break;
        // Only records that expand to their hash name count as complete.
        if (hashName(expandPayload(record.payload)) == record.hashName)
            ++read;
    }
    QCOMPARE(read, completeRecords);
    QVERIFY(reader.hasStreamError());
    QString error;
    QVERIFY(!documentFromBinary(expandPayload(reader.readDocumentPayload()), &error));
}

void tst_Formats::wrongIdentifier_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray upper;
    QDataStream out(&upper, QIODevice::WriteOnly);
    out.setVersion(OfflineFile::streamVersion);
    out << OfflineFile::identifier().toUpper() << qint32(2017) << qint32(0);
    QTest::newRow("identifier in capitals") << upper;
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("text file") << QByteArray("9efe37a7-b219-44c4-a500-859a954ea863");
}

void tst_Formats::wrongIdentifier()
{
    QFETCH(QByteArray, bytes);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    OfflineFileReader reader(&buffer);
    QVERIFY(!reader.readHeader());
}

void tst_Formats::logLine_data()
{
    QTest::addColumn<QString>("targetPath");
    QTest::addColumn<QByteArray>("line");
    const QString hash = hashName(QByteArray());
    QTest::newRow("plain") << QStringLiteral("plugins/x.dll")
                           << QByteArray("plugins/x.dll-->" + hash.toLatin1() + ".bin (1,2)\r\n");
    QTest::newRow("placeholder in name stays")
        << QStringLiteral("a%3b.txt")
        << QByteArray("a%3b.txt-->" + hash.toLatin1() + ".bin (1,2)\r\n");
    QTest::newRow("umlaut as UTF-8") << QStringLiteral("Bücher.txt")
                                     << QByteArray("B\xc3\xbc"
                                                   "cher.txt-->"
                                                   + hash.toLatin1() + ".bin (1,2)\r\n");
}

void tst_Formats::logLine()
{
    QFETCH(QString, targetPath);
    QTEST(builderLogLine(targetPath, hashName(QByteArray()), 1, 2), "line");
}

void tst_Formats::versionRecordReading_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("product");
    QTest::addColumn<int>("certificate");
    QTest::addColumn<int>("beta");
    QTest::newRow("CR LF") << QByteArray("2017\r\n1\r\n0\r\n1") << true << 2017 << 1 << 0 << 1;
    QTest::newRow("LF only") << QByteArray("2017\n1\n0\n1") << true << 2017 << 1 << 0 << 1;
    QTest::newRow("trailing line break")
        << QByteArray("2017\r\n1\r\n0\r\n1\r\n") << true << 2017 << 1 << 0 << 1;
    QTest::newRow("product type 7 read as is")
        << QByteArray("2017\r\n7\r\n1\r\n0") << true << 2017 << 7 << 1 << 0;
    QTest::newRow("text reads as 0")
        << QByteArray("x\r\nzwei\r\n\r\n1") << true << 0 << 0 << 0 << 1;
    QTest::newRow("three lines ignored")
        << QByteArray("2017\r\n1\r\n0") << false << 0 << 0 << -1 << -1;
    QTest::newRow("empty") << QByteArray() << false << 0 << 0 << -1 << -1;
}

void tst_Formats::versionRecordReading()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("versioninfo.dat"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    VersionRecord record;
    QTEST(readVersionRecord(path, &record), "valid");
    QTEST(record.releaseYear, "year");
    QTEST(record.productType, "product");
    QTEST(record.certificateFlag, "certificate");
    QTEST(record.betaFlag, "beta");
}

void tst_Formats::versionRecordText()
{
    QCOMPARE(::versionRecordText({2017, 3, 1, 0}), QByteArray("2017\r\n3\r\n1\r\n0"));
}

void tst_Formats::missingVersionRecord()
{
    VersionRecord record;
    QVERIFY(!readVersionRecord(QStringLiteral("/nonexistent/versioninfo.dat"), &record));
    QCOMPARE(record.certificateFlag, -1);
}

void tst_Formats::storedPayloadHashes_data()
{
    QTest::addColumn<QList<int>>("sizes"); // of the payloads, in the store's order
    QTest::addColumn<QList<int>>("order"); // the payloads asked for, by their place in the store
    QTest::addColumn<bool>("nameGone"); // the store's name removed: no second handle
    QTest::newRow("none") << QList<int>() << QList<int>() << false;
    QTest::newRow("empty payloads") << QList<int> {0, 0, 5} << QList<int> {0, 1, 2} << false;
    // Megabytes go to two threads, split by bytes.
    QTest::newRow("two threads, empty first")
        << QList<int> {0, 3 << 20, 0, 3 << 20, 0} << QList<int> {0, 1, 2, 3, 4} << false;
    QTest::newRow("two threads, not in the store's order")
        << QList<int> {3 << 20, 7, 3 << 20} << QList<int> {2, 1, 0} << false;
    QTest::newRow("one large payload") << QList<int> {9 << 20, 1} << QList<int> {0, 1} << false;
    QTest::newRow("no second handle") << QList<int> {3 << 20, 3 << 20} << QList<int> {0, 1} << true;
}

void tst_Formats::storedPayloadHashes()
{
    QFETCH(QList<int>, sizes);
    QFETCH(QList<int>, order);
    QFETCH(bool, nameGone);
    const QSharedPointer<QTemporaryFile> store = PayloadStore::create();
    QVector<StoredPayload> stored;
    QVector<QString> names;
    for (int i = 0; i < sizes.size(); ++i) {
        const QByteArray content(sizes.at(i), char('a' + i));
        stored.append({store->size(), sizes.at(i)});
        QVERIFY(store->seek(store->size()));
        QCOMPARE(store->write(content), qint64(content.size()));
        names.append(hashName(content));
    }
    QVector<StoredPayload> asked;
    QVector<QString> expected;
    for (int i : order) {
        asked.append(stored.at(i));
        expected.append(names.at(i));
    }
    if (nameGone)
        QVERIFY(QFile::remove(store->fileName()));
    QCOMPARE(hashStoredPayloads(store.data(), asked), expected);
    // A payload beyond the store's end cannot be read: its name is empty.
    asked.append({store->size(), 10});
    expected.append(QString());
    QCOMPARE(hashStoredPayloads(store.data(), asked), expected);
}

QTEST_GUILESS_MAIN(tst_Formats)
#include "tst_formats.moc"
