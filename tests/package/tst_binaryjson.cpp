#include "nestedbinaryjson.h"
#include "releasefixture.h"

#include "package/binaryjsonreader.h"
#include "package/offlinefilereader.h"
#include "package/packagebuilder.h"
#include "package/payload.h"
#include "package/updatedocument.h"

#include <QtTest>

#include <limits>

// Our binary JSON reader against the toolkit's validating one: on the toolkit's own output, on
// the builder's documents and on damaged bytes. Hostile bytes, which would make the toolkit
// overflow its stack or run without end, go to our reader alone.
Q_DECLARE_METATYPE(UpdateDocument)

class tst_BinaryJson : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void toolkitOutput_data();
    void toolkitOutput();
    void writerMatchesToolkit_data();
    void writerMatchesToolkit();
    void builderDocuments_data();
    void builderDocuments();
    void truncatedCopies_data() { damagedCopiesData(); }
    void truncatedCopies();
    void flippedCopies_data() { damagedCopiesData(); }
    void flippedCopies();
    void damaged_data();
    void damaged();
    void depthLimit_data();
    void depthLimit();
    void hostile_data();
    void hostile();

private:
    void damagedCopiesData();
    QString buildExamplesRelease();

    QTemporaryDir dir;
};

namespace {

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
QJsonDocument toolkitRead(const QByteArray &data)
{
    return QJsonDocument::fromBinaryData(data, QJsonDocument::Validate);
}
QT_WARNING_POP

// Both null, or equal down to the bits of every double (== does not hold for NaN).
bool sameResult(const QJsonDocument &ours, const QJsonDocument &toolkit)
{
    return ours.isNull() == toolkit.isNull() && binaryJson(ours) == binaryJson(toolkit)
        && ours.toJson() == toolkit.toJson();
}

quint32 wordAt(const QByteArray &data, int position)
{
    return qFromLittleEndian<quint32>(data.constData() + position);
}

QByteArray withWord(QByteArray data, int position, quint32 word)
{
    qToLittleEndian(word, data.data() + position);
    return data;
}

QByteArray words(std::initializer_list<quint32> values)
{
    QByteArray data;
    for (quint32 value : values) {
        char bytes[4];
        qToLittleEndian(value, bytes);
        data.append(bytes, 4);
    }
    return data;
}

// Positions in a document that the toolkit wrote; the root starts at byte 8.
int rootTable(const QByteArray &data)
{
    return 8 + int(wordAt(data, 16));
}

QByteArray written(const QJsonDocument &document)
{
    return binaryJson(document);
}

QJsonObject updateDocumentShape()
{
    const QJsonObject entry {{QStringLiteral("targetpath"), QStringLiteral("plugins/elster.dll")},
                             {QStringLiteral("isdir"), false},
                             {QStringLiteral("sha256"), QString(64, QLatin1Char('a'))},
                             {QStringLiteral("size"), 1500000},
                             {QStringLiteral("time_m"), QStringLiteral("2026-01-05T10:00:00")}};
    const QJsonObject group {{QStringLiteral("name"), QStringLiteral("ELSTER-Übermittlung")},
                             {QStringLiteral("subtype"), -1},
                             {QStringLiteral("beta"), true},
                             {QStringLiteral("count"), 1},
                             {QStringLiteral("data"), QJsonArray {entry}}};
    return {{QStringLiteral("version"), QStringLiteral("2026.1")},
            {QStringLiteral("main_info"),
             QJsonArray {QJsonObject {{QStringLiteral("os"), QStringLiteral("windows")},
                                      {QStringLiteral("info"), QStringLiteral("<p>Neu €</p>")}}}},
            {QStringLiteral("data"), QJsonArray {group}}};
}

QByteArray publishedDocument(const QString &packageDir)
{
    QFile info(packageDir + QLatin1String("/info.bin"));
    if (!info.open(QIODevice::ReadOnly))
        return QByteArray();
    QFile data(packageDir + QLatin1Char('/') + QString::fromUtf8(info.readAll()));
    return data.open(QIODevice::ReadOnly) ? expandPayload(data.readAll()) : QByteArray();
}

QByteArray offlineDocument(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    OfflineFileReader reader(&file);
    OfflineRecord record;
    if (!reader.readHeader())
        return QByteArray();
    for (qint32 i = 0; i < reader.recordCount(); ++i) {
        if (!reader.readRecord(&record))
            break;
    }
    return expandPayload(reader.readDocumentPayload());
}

} // namespace

void tst_BinaryJson::initTestCase()
{
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    // The builder's lines, one per file, would bury the comparisons.
    QLoggingCategory::setFilterRules(QStringLiteral("ledgora.package.debug=false"));
}

void tst_BinaryJson::toolkitOutput_data()
{
    QTest::addColumn<QJsonDocument>("document");
    const double compactLimit = 1 << 26; // compact integers have 27 bits with the sign
    QTest::newRow("null and bools") << QJsonDocument(QJsonArray {QJsonValue(), true, false});
    QTest::newRow("compact integers") << QJsonDocument(
        QJsonArray {1, -1, 42, compactLimit - 1, -(compactLimit - 1), 1500000, -2017});
    QTest::newRow("integers beyond the compact form")
        << QJsonDocument(QJsonArray {0, compactLimit, -compactLimit, 2147483648.0, -2147483649.0,
                                     9007199254740992.0, -9007199254740992.0, 1e15});
    QTest::newRow("doubles") << QJsonDocument(QJsonArray {
        0.5, -1.25, 0.1, 1e300, -1e-300, 4.9e-324, std::numeric_limits<double>::max(), -0.0});
    QTest::newRow("Latin-1 strings of every padding") << QJsonDocument(
        QJsonArray {QString(), QStringLiteral("a"), QStringLiteral("ab"), QStringLiteral("abc"),
                    QStringLiteral("abcd"), QStringLiteral("Größe ÄÖÜß ÿ")});
    QTest::newRow("UTF-16 strings") << QJsonDocument(
        QJsonArray {QStringLiteral("€"), QStringLiteral("a€"), QStringLiteral("Buchung 😀"),
                    QStringLiteral("日本語"), QString(QChar(0xFFFF))});
    QTest::newRow("Latin-1 text too long for the compact form")
        << QJsonDocument(QJsonArray {QString(40000, QLatin1Char('x'))});
    QTest::newRow("Latin-1 keys") << QJsonDocument(QJsonObject {{QStringLiteral("b"), 1},
                                                                {QStringLiteral("a"), 2},
                                                                {QStringLiteral("Zahl"), 3},
                                                                {QStringLiteral("größe"), 4},
                                                                {QString(), 5}});
    QTest::newRow("UTF-16 keys, mixed with Latin-1 ones")
        << QJsonDocument(QJsonObject {{QStringLiteral("€uro"), QStringLiteral("€")},
                                      {QStringLiteral("日付"), QStringLiteral("2026")},
                                      {QStringLiteral("😀"), true},
                                      {QStringLiteral("ä"), QJsonValue()},
                                      {QStringLiteral("B"), 0.5}});
    QTest::newRow("long key") << QJsonDocument(
        QJsonObject {{QString(300, QLatin1Char('k')), QString(301, QLatin1Char('v'))}});
    QTest::newRow("nested and empty containers") << QJsonDocument(
        QJsonObject {{QStringLiteral("a"),
                      QJsonArray {QJsonArray(), QJsonObject(), QJsonArray {QJsonArray {1}}}},
                     {QStringLiteral("o"),
                      QJsonObject {{QStringLiteral("x"),
                                    QJsonObject {{QStringLiteral("y"), QStringLiteral("z")}}}}}});
    QTest::newRow("root array of every type") << QJsonDocument(QJsonArray {
        1, QStringLiteral("x"), QJsonArray(), QJsonObject(), QJsonValue(), true, 2.5, -1e20});
    QTest::newRow("update document") << QJsonDocument(updateDocumentShape());
}

void tst_BinaryJson::toolkitOutput()
{
    QFETCH(QJsonDocument, document);
    const QByteArray binary = written(document);
    const QJsonDocument ours = readBinaryJson(binary);
    const QJsonDocument toolkit = toolkitRead(binary);
    QVERIFY(!ours.isNull());
    QCOMPARE(ours, toolkit);
    QCOMPARE(ours, document);
    QCOMPARE(ours.toJson(), toolkit.toJson());
    QCOMPARE(ours.isObject(), document.isObject());
}

QString tst_BinaryJson::buildExamplesRelease()
{
    QFile templateFile(QStringLiteral(LEDGORA_SOURCE_DIR "/examples/demo.xml.in"));
    if (!templateFile.open(QIODevice::ReadOnly))
        return QString();
    const QString root = dir.filePath(QStringLiteral("examples"));
    const QString config =
        QString::fromUtf8(templateFile.readAll())
            .replace(QLatin1String("@YEAR@"), QLatin1String("2026"))
            .replace(QLatin1String("@EXAMPLES@"), QLatin1String(LEDGORA_SOURCE_DIR "/examples"))
            .replace(QLatin1String("@WWW@"), root + QLatin1String("/www"))
            .replace(QLatin1String("@OUT@"), root + QLatin1String("/out"));
    const QString path = root + QLatin1String("/demo.xml");
    QString offlinePath;
    if (!ReleaseFixture::writeFile(path, config.toUtf8()) || !buildPackage(path, offlinePath))
        return QString();
    return root;
}

void tst_BinaryJson::writerMatchesToolkit_data()
{
    QTest::addColumn<UpdateDocument>("document");
    QTest::newRow("empty document") << UpdateDocument();

    UpdateDocument values;
    values.version = QStringLiteral("2027.1");
    values.mainInfos = {{QStringLiteral("windows_10"), QStringLiteral("<p>Jahresversion €</p>")},
                        {QString(), QString()}};
    UpdateGroup empty;
    empty.name = QStringLiteral("Übersicht");
    empty.type = QStringLiteral("exec");
    empty.subtype = -1;
    empty.beta = true;
    empty.active = QStringLiteral("0");
    empty.disable = QStringLiteral("1");
    empty.info = QStringLiteral("Programmdateien");
    values.groups.append(empty);
    UpdateGroup files;
    files.name = QStringLiteral("日本 Dateien");
    files.subtype = 3;
    files.cert = true;
    files.size = 3000000000;
    // Sizes around the largest number held inline (26 bits), zero (never inline) and beyond
    // 32 bits; strings of odd and even length, of Latin-1, of other characters, and one too long
    // to be stored as Latin-1.
    const qint64 sizes[] = {0, 1, 67108863, 67108864, -67108863, 5000000000};
    const QString names[] = {QStringLiteral("a"),
                             QStringLiteral("Bücher/bb.txt"),
                             QStringLiteral("€uro.txt"),
                             QStringLiteral("x").repeated(0x8000),
                             QString(),
                             QStringLiteral("abc")};
    for (int i = 0; i < 6; ++i) {
        FileEntry entry;
        entry.targetPath = names[i];
        entry.isDir = i == 4;
        entry.sha256 = i == 4 ? QString() : QString(QLatin1Char('0' + i)).repeated(64);
        entry.size = sizes[i];
        entry.created = QStringLiteral("2026-12-10T23:07:21");
        entry.modified = QStringLiteral("2026-12-10T23:07:21.5");
        values.groups.last().files.append(entry);
    }
    values.groups.append(files);
    for (int i = 0; i < 6; ++i)
        values.groups.last().files.append(values.groups.first().files.value(i));
    QTest::newRow("every kind of value") << values;

    UpdateDocument many;
    UpdateGroup group;
    for (int i = 0; i < 3000; ++i) {
        FileEntry entry;
        entry.targetPath = QStringLiteral("plugins/datei%1.dll").arg(i);
        entry.sha256 = QString::number(i).repeated(64 / QString::number(i).size() + 1).left(64);
        entry.size = i * 4099;
        group.files.append(entry);
    }
    many.groups = {group, group};
    QTest::newRow("two groups of 3,000 files") << many;
}

// The document's bytes name its data file: they must be the toolkit's, byte for byte.
void tst_BinaryJson::writerMatchesToolkit()
{
    QFETCH(UpdateDocument, document);
    QCOMPARE(documentToBinary(document), written(QJsonDocument(documentToJson(document))));
}

void tst_BinaryJson::builderDocuments_data()
{
    QTest::addColumn<QByteArray>("binary");
    const QString examples = buildExamplesRelease();
    QVERIFY(!examples.isEmpty());
    QTest::newRow("examples release, data file")
        << publishedDocument(examples + QLatin1String("/www/ldg_update/2026"));
    QTest::newRow("examples release, offline file")
        << offlineDocument(examples + QLatin1String("/out/Ledgora-2026.dat"));

    ReleaseFixture fixture(dir.filePath(QStringLiteral("fixture")));
    QVERIFY(fixture.build(
        QStringLiteral("gemischt"), 2027,
        {{QStringLiteral("name=\"Übersicht €\" type=\"exec\" subtype=\"3\" beta=\"1\""),
          {{QStringLiteral("a.txt"), "gleich"},
           {QStringLiteral("Bücher/b.txt"), "gleich"},
           {QStringLiteral("leer/"), QByteArray()},
           {QStringLiteral("leer.txt"), QByteArray()}}},
         {QStringLiteral("name=\"Ohne Dateien\" cert=\"0\" active=\"0\" disable=\"1\""), {}}},
        QStringLiteral("<main_info os=\"windows_7;windows_10\">Jahresversion 2027 ✓</main_info>")));
    QTest::newRow("fixture with umlauts, shared content, empty folder and group")
        << publishedDocument(fixture.packageDir(2027));
    QTest::newRow("the same fixture, offline file")
        << offlineDocument(fixture.offlineFile(QStringLiteral("gemischt")));
}

void tst_BinaryJson::builderDocuments()
{
    QFETCH(QByteArray, binary);
    QVERIFY(binary.startsWith("qbjs"));
    const QJsonDocument ours = readBinaryJson(binary);
    QVERIFY(ours.isObject());
    QCOMPARE(ours, toolkitRead(binary));
    QCOMPARE(ours.toJson(), toolkitRead(binary).toJson());
}

void tst_BinaryJson::damagedCopiesData()
{
    QTest::addColumn<QByteArray>("binary");
    QTest::newRow("object of every value type") << written(QJsonDocument(QJsonObject {
        {QStringLiteral("n"), QJsonValue()},
        {QStringLiteral("b"), true},
        {QStringLiteral("i"), 7},
        {QStringLiteral("d"), 1e300},
        {QStringLiteral("s"), QStringLiteral("Größe")},
        {QStringLiteral("u"), QStringLiteral("€")},
        {QStringLiteral("€"), QJsonArray {1}},
        {QStringLiteral("o"), QJsonObject {{QStringLiteral("k"), QStringLiteral("v")}}}}));
    QTest::newRow("array of strings and doubles") << written(QJsonDocument(QJsonArray {
        QStringLiteral("abc"), QStringLiteral("日本"), -2.5, 0, QJsonArray(), QJsonObject()}));
    QTest::newRow("update document") << written(QJsonDocument(updateDocumentShape()));
}

void tst_BinaryJson::truncatedCopies()
{
    QFETCH(QByteArray, binary);
    for (int length = 0; length < binary.size(); ++length) {
        const QByteArray cut = binary.left(length);
        const QJsonDocument ours = readBinaryJson(cut);
        QVERIFY2(ours.isNull(), qPrintable(QString::number(length)));
        QVERIFY2(sameResult(ours, toolkitRead(cut)), qPrintable(QString::number(length)));
    }
}

// Where a damaged byte still leaves a valid document, both readers must see the same one.
void tst_BinaryJson::flippedCopies()
{
    QFETCH(QByteArray, binary);
    int decoded = 0;
    for (int position = 0; position < binary.size(); ++position) {
        for (char mask : {'\x01', '\x04', '\x10', '\x80', '\xff'}) {
            QByteArray copy = binary;
            copy[position] = char(copy.at(position) ^ mask);
            const QJsonDocument ours = readBinaryJson(copy);
            decoded += ours.isNull() ? 0 : 1;
            QVERIFY2(
                sameResult(ours, toolkitRead(copy)),
                qPrintable(QStringLiteral("byte %1 ^ %2").arg(position).arg(int(uchar(mask)))));
        }
    }
    QVERIFY2(decoded > 0, "some damage (in a string, say) leaves a valid document");
}

void tst_BinaryJson::damaged_data()
{
    QTest::addColumn<QByteArray>("binary");
    QTest::addColumn<bool>("decodes");

    const QByteArray text = written(QJsonDocument(QJsonArray {QStringLiteral("text")}));
    const int textSlot = rootTable(text);
    const quint32 textWord = wordAt(text, textSlot);
    const QByteArray euro = written(QJsonDocument(QJsonArray {QStringLiteral("€")}));
    const QByteArray real = written(QJsonDocument(QJsonArray {0.5}));
    const QByteArray nested = written(QJsonDocument(QJsonArray {QJsonArray()}));
    const QByteArray inObject = written(QJsonDocument(QJsonArray {QJsonObject()}));
    const QByteArray object =
        written(QJsonDocument(QJsonObject {{QStringLiteral("a"), 1}, {QStringLiteral("b"), 2}}));
    const int objectTable = rootTable(object);
    const quint32 firstEntry = wordAt(object, objectTable);
    const quint32 secondEntry = wordAt(object, objectTable + 4);
    const QByteArray pair =
        written(QJsonDocument(QJsonArray {QStringLiteral("x"), QStringLiteral("yy")}));
    const auto valueWord = [](quint32 type, quint32 offset, bool latin1) {
        return type | (latin1 ? 8 : 0) | offset << 5;
    };
    const quint32 tableOffset = wordAt(text, 16);

    QTest::newRow("intact") << text << true;
    QTest::newRow("tag qbjt") << QByteArray(text).replace(3, 1, "t") << false;
    QTest::newRow("version 2") << withWord(text, 4, 2) << false;
    QTest::newRow("version 0") << withWord(text, 4, 0) << false;
    QTest::newRow("header and part of the root") << text.left(19) << false;
    QTest::newRow("root size beyond the data")
        << withWord(text, 8, quint32(text.size() - 8 + 4)) << false;
    QTest::newRow("root size 0") << withWord(text, 8, 0) << false;
    QTest::newRow("root too small for its table") << withWord(text, 8, tableOffset) << false;
    QTest::newRow("count beyond the table") << withWord(text, 12, 1000 << 1) << false;
    QTest::newRow("count of 2^31 - 1") << withWord(text, 12, 0xFFFFFFFE) << false;
    QTest::newRow("table offset beyond the root") << withWord(text, 16, 0xFFFFFFF0) << false;
    QTest::newRow("value offset at its own slot")
        << withWord(text, textSlot, valueWord(3, tableOffset, true)) << false;
    QTest::newRow("value offset into the header")
        << withWord(text, textSlot, valueWord(3, 8, true)) << false;
    QTest::newRow("Latin-1 length beyond the container")
        << QByteArray(text).replace(8 + int(textWord >> 5), 2, QByteArray("\xff\x7f", 2)) << false;
    QTest::newRow("UTF-16 length beyond the container")
        << withWord(euro, 8 + int(wordAt(euro, rootTable(euro)) >> 5), 0x10000000) << false;
    QTest::newRow("UTF-16 length of 2^32 - 1")
        << withWord(euro, 8 + int(wordAt(euro, rootTable(euro)) >> 5), 0xFFFFFFFF) << false;
    QTest::newRow("double offset at the table")
        << withWord(real, rootTable(real), valueWord(2, wordAt(real, 16), false)) << false;
    QTest::newRow("value type 6") << withWord(text, textSlot, (textWord & ~7u) | 6) << false;
    QTest::newRow("value type 7") << withWord(text, textSlot, (textWord & ~7u) | 7) << false;
    QTest::newRow("nested array larger than its room") << withWord(nested, 8 + 12, 0x1000) << false;
    QTest::newRow("array element pointing at its own array")
        << withWord(nested, rootTable(nested), valueWord(4, 0, false)) << false;
    QTest::newRow("object entry at the table")
        << withWord(object, objectTable, wordAt(object, 16) - 4) << false;
    QTest::newRow("object entry at the object's own header")
        << withWord(object, objectTable, 0) << false;
    QTest::newRow("key length beyond the entry")
        << QByteArray(object).replace(8 + int(firstEntry) + 4, 2, QByteArray("\xff\x7f", 2))
        << false;
    QTest::newRow("keys out of order")
        << withWord(withWord(object, objectTable, secondEntry), objectTable + 4, firstEntry)
        << false;
    QTest::newRow("equal keys in a row, the last one wins")
        << QByteArray(object).replace(8 + int(secondEntry) + 6, 1, "a") << true;
    QTest::newRow("two elements sharing one string")
        << withWord(pair, rootTable(pair) + 4, wordAt(pair, rootTable(pair))) << true;
    QTest::newRow("element typed array over an empty object")
        << withWord(inObject, rootTable(inObject), wordAt(inObject, rootTable(inObject)) - 1)
        << true;
    QTest::newRow("object read as array") << withWord(object, 12, 2 << 1) << false;
    // The toolkit writes no bytes at all for an empty root; it reads one all the same.
    QTest::newRow("empty array as the root, trailing bytes")
        << words({0x736a6271, 1, 12, 0, 12, 0xdeadbeef}) << true;
    QTest::newRow("empty object as the root") << words({0x736a6271, 1, 12, 1, 12}) << true;
}

void tst_BinaryJson::damaged()
{
    QFETCH(QByteArray, binary);
    QFETCH(bool, decodes);
    const QJsonDocument ours = readBinaryJson(binary);
    QCOMPARE(!ours.isNull(), decodes);
    QVERIFY(sameResult(ours, toolkitRead(binary)));
}

void tst_BinaryJson::depthLimit_data()
{
    QTest::addColumn<int>("levels");
    QTest::newRow("2 levels") << 2;
    QTest::newRow("5 levels, as in the update document") << 5;
    QTest::newRow("64 levels, the limit") << binaryJsonMaxDepth;
    QTest::newRow("65 levels") << binaryJsonMaxDepth + 1;
}

// The toolkit takes any depth its stack allows: refusing 65 levels is our rule.
void tst_BinaryJson::depthLimit()
{
    QFETCH(int, levels);
    QJsonArray expected;
    for (int level = 1; level < levels; ++level)
        expected = QJsonArray {expected};
    for (const QByteArray &binary :
         {nestedBinaryJsonArrays(levels), written(QJsonDocument(expected))}) {
        QCOMPARE(toolkitRead(binary), QJsonDocument(expected));
        QCOMPARE(readBinaryJson(binary),
                 levels <= binaryJsonMaxDepth ? QJsonDocument(expected) : QJsonDocument());
    }
}

void tst_BinaryJson::hostile_data()
{
    QTest::addColumn<QByteArray>("binary");
    QTest::newRow("100,000 levels deep") << nestedBinaryJsonArrays(100000);
    QTest::newRow("elements sharing one array, 2^40 values") << nestedBinaryJsonArrays(41, 2);

    // 10,000 elements that all name one string of 10,000 characters: 100 MB of text.
    const quint32 length = 10000;
    const quint32 tableOffset = 12 + 2 + length + 2;
    QByteArray shared = words({0x736a6271, 1, tableOffset + 4 * length, length << 1, tableOffset});
    shared += QByteArray("\x10\x27", 2) + QByteArray(int(length), 'x') + QByteArray(2, '\0');
    for (quint32 i = 0; i < length; ++i)
        shared += words({3 | 8 | 12 << 5});
    QTest::newRow("elements sharing one long string") << shared;

    // The toolkit adds the size to the header's in 32 bits and then reads the table 2 GB away.
    QTest::newRow("root size near 4 GiB")
        << words({0x736a6271, 1, 0xFFFFFFF8, 1 << 1, 0x80000000, 0});
}

void tst_BinaryJson::hostile()
{
    QFETCH(QByteArray, binary);
    QVERIFY(readBinaryJson(binary).isNull());
}

QTEST_GUILESS_MAIN(tst_BinaryJson)
#include "tst_binaryjson.moc"
