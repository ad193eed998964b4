#include "fakeplatform.h"
#include "releasefixture.h"
#include "testreleasekey.h"

#include "check/documentloader.h"
#include "check/releasetrust.h"
#include "common/installationlayout.h"
#include "install/fileinstaller.h"
#include "package/hashname.h"
#include "package/offlinefilereader.h"
#include "package/packagebuilder.h"
#include "package/payload.h"
#include "package/releasenumbers.h"
#include "package/releasesignature.h"
#include "package/releasestatement.h"
#include "package/updatedocument.h"

#include "platform/platform.h"

#include <QtTest>

#include <atomic>
#include <thread>

// Releases signed by the publisher's builder with keys that OpenSSL makes for the test, loaded
// from the files the builder wrote, as a client with and without keys takes them.
class tst_SignedReleases : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void statementRoundTrip();
    void cutAndFlippedStatements();
    void malformedStatements_data();
    void malformedStatements();
    void acceptance_data();
    void acceptance();
    void onlineLoad_data();
    void onlineLoad();
    void tamperedRelease();
    void refusedNextYearFallsBackToThisYear();
    void signedDocumentReplacedOnTheServer();
    void offlineLoad_data();
    void offlineLoad();
    void offlineFileWithAlteredStatement_data();
    void offlineFileWithAlteredStatement();
    void signedOfflineFileForReadersWithoutKeys();
    void installationKeepsTheHighestNumber();
    void installationRefusesWhatTheRecordRefuses_data();
    void installationRefusesWhatTheRecordRefuses();
    void releaseRecord_data();
    void releaseRecord();
    void unreadableRecordRefusesSignedReleases();
    void builderRefusesSigningSettings_data();
    void builderRefusesSigningSettings();
    void keyWithTheWordEncryptedInAComment();
    void previousStatementIsAFloor_data();
    void previousStatementIsAFloor();
    void unsignedRebuildRemovesTheStatement();
    void lateFailureKeepsThePublishedRelease_data();
    void lateFailureKeepsThePublishedRelease();
    void releaseNumberGrows_data();
    void releaseNumberGrows();
    void republishingNeverRefuses();

private:
    QTemporaryDir keyDir;
    TestReleaseKey publisher;
    TestReleaseKey successor; // the key that replaces the publisher's after a rotation
    TestReleaseKey stranger;
};

namespace {

constexpr int year = 2031;
const QString documentHash(64, QLatin1Char('a'));

ReleaseTrust trustIn(const QVector<QByteArray> &keys)
{
    ReleaseTrust trust;
    trust.keys = keys;
    trust.now = QDateTime(QDate(2031, 6, 1), QTime(12, 0), Qt::UTC);
    return trust;
}

QByteArray signedText(const ReleaseStatement &statement, const TestReleaseKey &key)
{
    QString error;
    const auto signature = signWithKeyFile(key.pemPath, statementSignedPart(statement), &error);
    return signature ? statementText(statement, *signature) : QByteArray();
}

ReleaseStatement statementOf(quint64 number, std::optional<QDateTime> expires = std::nullopt)
{
    return {year, documentHash, number, expires};
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A published release and the files a client fetched from it.
struct Server
{
    QString wwwRoot;
    QStringList fetched;

    ReleaseFetch fetch()
    {
        return [this](int folderYear, const QString &fileName, qint64 maxBytes, QByteArray *data,
                      QString *url, QString *error) {
            *url = QString::number(folderYear) + QLatin1Char('/') + fileName;
            fetched.append(*url);
            QFile file(wwwRoot + QLatin1Char('/') + *url);
            if (!file.open(QIODevice::ReadOnly)) {
                *error = QStringLiteral("404 Not Found");
                return false;
            }
            *data = file.read(maxBytes);
            return true;
        };
    }
};

QStringList lines(const ActivityLog &log)
{
    QStringList result;
    for (const LogLine &line : log)
        result.append(line.title + QLatin1Char(' ') + line.detail2);
    return result;
}

// Loads as a client in the year before `year` does: next year's folder (`year`) first.
OnlineLoad loadOnline(const QString &wwwRoot, const ReleaseTrust &trust)
{
    Server server {wwwRoot, {}};
    return loadOnlineDocument(year - 1, server.fetch(), trust);
}

quint64 numberOf(const OnlineLoad &load)
{
    return load.release ? load.release->number : 0;
}

// The root attributes that sign with `key`, with the release number given.
QString signedBy(const TestReleaseKey &key, const QString &releaseNumber = QString())
{
    return QStringLiteral("signkey=\"%1\"").arg(key.pemPath)
        + (releaseNumber.isEmpty() ? QString()
                                   : QStringLiteral(" release=\"%1\"").arg(releaseNumber));
}

const QMap<QString, QByteArray> releaseFiles {{QStringLiteral("a.txt"), "neu"},
                                              {QStringLiteral("b.dll"), "Bibliothek"}};

// The release "r" of `year`: one group "P" holding releaseFiles.
bool buildRelease(ReleaseFixture &fixture)
{
    return fixture.build(QStringLiteral("r"), year, {{QStringLiteral("name=\"P\""), releaseFiles}});
}

} // namespace

void tst_SignedReleases::initTestCase()
{
    QVERIFY2(keyDir.isValid(), qPrintable(keyDir.errorString()));
    QVERIFY(makeTestReleaseKey(keyDir.filePath(QStringLiteral("publisher.pem")), &publisher));
    QVERIFY(makeTestReleaseKey(keyDir.filePath(QStringLiteral("successor.pem")), &successor));
    QVERIFY(makeTestReleaseKey(keyDir.filePath(QStringLiteral("stranger.pem")), &stranger));
    QString error;
    QCOMPARE(publicKeyOfKeyFile(publisher.pemPath, &error).value_or(QByteArray()),
             publisher.publicKey);
}

void tst_SignedReleases::statementRoundTrip()
{
    const ReleaseStatement statement =
        statementOf(1790000000, QDateTime(QDate(2032, 3, 31), QTime(0, 0), Qt::UTC));
    const QByteArray text = signedText(statement, publisher);
    QVERIFY(text.startsWith("Ledgora-Release-Statement: 1\nYear: 2031\nDocument: aaaa"));
    QVERIFY(text.contains("\nRelease: 1790000000\nExpires: 2032-03-31T00:00:00Z\nSignature: "));
    QString error;
    const std::optional<SignedStatement> parsed = parseStatement(text, &error);
    QVERIFY2(parsed, qPrintable(error));
    QCOMPARE(parsed->statement, statement);
    QVERIFY(verifyReleaseSignature(publisher.publicKey, parsed->signedPart, parsed->signature));
}

// Whatever is cut off or changed, the statement is refused with a reason, never taken.
void tst_SignedReleases::cutAndFlippedStatements()
{
    const QByteArray text = signedText(statementOf(7), publisher);
    const ReleaseTrust trust = trustIn({publisher.publicKey});
    StatementRefusal refusal;
    QVERIFY(acceptStatement(text, year, documentHash, trust, false, &refusal));
    for (int length = 0; length < text.size(); ++length) {
        QVERIFY2(!acceptStatement(text.left(length), year, documentHash, trust, false, &refusal),
                 qPrintable(QString::number(length)));
        QVERIFY(!refusal.reason.isEmpty());
    }
    for (int i = 0; i < text.size(); ++i) {
        for (const char bit : {'\x01', '\x20', '\x80'}) {
            QByteArray flipped = text;
            flipped[i] = char(flipped.at(i) ^ bit);
            QVERIFY2(!acceptStatement(flipped, year, documentHash, trust, false, &refusal),
                     qPrintable(QStringLiteral("byte %1").arg(i)));
            QVERIFY(!refusal.reason.isEmpty());
        }
    }
}

void tst_SignedReleases::malformedStatements_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason");
    const QString damaged = QStringLiteral("Die Signaturdatei ist beschädigt.");
    const QByteArray head =
        "Ledgora-Release-Statement: 1\nYear: 2031\nDocument: " + documentHash.toLatin1() + "\n";
    const QByteArray signature = "Signature: " + QByteArray(64, 'x').toBase64() + "\n";
    QTest::newRow("empty") << QByteArray() << damaged;
    QTest::newRow("HTML error page") << QByteArray("<html>404</html>\n") << damaged;
    QTest::newRow("version 2") << QByteArray("Ledgora-Release-Statement: 2\n" + head.mid(29))
                               << QStringLiteral("Die Signaturdatei hat ein unbekanntes Format.");
    QTest::newRow("CR LF") << QByteArray(head + "Release: 7\n" + signature).replace("\n", "\r\n")
                           << damaged;
    QTest::newRow("leading zero") << head + "Release: 07\n" + signature << damaged;
    QTest::newRow("number beyond 64 bits")
        << head + "Release: 99999999999999999999\n" + signature << damaged;
    QTest::newRow("blank after value") << head + "Release: 7 \n" + signature << damaged;
    QTest::newRow("lines swapped")
        << QByteArray("Ledgora-Release-Statement: 1\nDocument: " + documentHash.toLatin1()
                      + "\nYear: 2031\n" + "Release: 7\n" + signature)
        << damaged;
    QTest::newRow("30 February") << head + "Release: 7\nExpires: 2032-02-30T00:00:00Z\n" + signature
                                 << damaged;
    QTest::newRow("expiry without zone")
        << head + "Release: 7\nExpires: 2032-02-01T00:00:00\n" + signature << damaged;
    QTest::newRow("line after the signature") << head + "Release: 7\n" + signature + "x\n"
                                              << damaged;
    QByteArray secondSpelling = QByteArray(64, '\0').toBase64();
    secondSpelling[85] = 'r'; // bits beyond the last byte: decodes to the same signature
    QTest::newRow("signature in a second spelling")
        << head + "Release: 7\nSignature: " + secondSpelling + "\n"
        << damaged;
    QTest::newRow("larger than a statement")
        << head + "Release: 7\n" + QByteArray(2000, '\n') + signature << damaged;
}

void tst_SignedReleases::malformedStatements()
{
    QFETCH(QByteArray, text);
    StatementRefusal refusal;
    QVERIFY(!acceptStatement(text, year, documentHash, trustIn({publisher.publicKey}), false,
                             &refusal));
    QCOMPARE(refusal.title, QStringLiteral("Fehler beim Prüfen der Signatur:"));
    QTEST(refusal.reason, "reason");
}

void tst_SignedReleases::acceptance_data()
{
    QTest::addColumn<QString>("signer"); // publisher, successor or stranger
    QTest::addColumn<int>("statementYear");
    QTest::addColumn<QString>("statementDocument");
    QTest::addColumn<QDateTime>("expires"); // invalid: none
    QTest::addColumn<quint64>("installed"); // 0: none installed
    QTest::addColumn<QString>("installedDocument"); // the installed number's document
    QTest::addColumn<bool>("allowOlder");
    QTest::addColumn<bool>("nextYearInstalled"); // a release of the year after is installed
    QTest::addColumn<QString>("line"); // title and reason of the refusal; empty: accepted

    const QString refused = QStringLiteral("Fehler beim Prüfen der Signatur: ");
    const QDateTime none;
    const QDateTime later(QDate(2031, 7, 1), QTime(0, 0), Qt::UTC);
    const QDateTime passed(QDate(2031, 5, 31), QTime(23, 59, 59), Qt::UTC);
    QTest::newRow("signed by the publisher")
        << "publisher" << year << documentHash << none << quint64(0) << documentHash << false
        << false << QString();
    QTest::newRow("signed by the successor during a rotation")
        << "successor" << year << documentHash << none << quint64(0) << documentHash << false
        << false << QString();
    QTest::newRow("signed by another key")
        << "stranger" << year << documentHash << none << quint64(0) << documentHash << false
        << false << refused + QStringLiteral("Die Signatur stammt nicht vom Herausgeber.");
    QTest::newRow("for another year")
        << "publisher" << year - 1 << documentHash << none << quint64(0) << documentHash << false
        << false
        << refused + QStringLiteral("Die Signatur gilt für das Jahr 2030, nicht für 2031.");
    QTest::newRow("for another document")
        << "publisher" << year << QString(64, QLatin1Char('b')) << none << quint64(0)
        << documentHash << false << false
        << refused + QStringLiteral("Die Signatur gilt für ein anderes Update-Dokument.");
    QTest::newRow("expired") << "publisher" << year << documentHash << passed << quint64(0)
                             << documentHash << false << false
                             << refused
            + QStringLiteral("Die Signatur ist am 31.05.2031 23:59 (UTC) abgelaufen.");
    QTest::newRow("expires later") << "publisher" << year << documentHash << later << quint64(0)
                                   << documentHash << false << false << QString();
    QTest::newRow("older than the installed release")
        << "publisher" << year << documentHash << none << quint64(8) << documentHash << false
        << false
        << QStringLiteral(
               "Älteres Release abgelehnt: Release 7 ist älter als das installierte Release 8.");
    QTest::newRow("the installed release again")
        << "publisher" << year << documentHash << none << quint64(7) << documentHash << false
        << false << QString();
    QTest::newRow("older, allowed") << "publisher" << year << documentHash << none << quint64(8)
                                    << documentHash << true << false << QString();
    QTest::newRow("release of a year before the newest installed")
        << "publisher" << year << documentHash << none << quint64(0) << documentHash << false
        << true
        << QStringLiteral("Älteres Release abgelehnt: Das Release des Jahres 2031 ist älter als "
                          "das installierte des Jahres 2032.");
    QTest::newRow("year before the newest installed, allowed")
        << "publisher" << year << documentHash << none << quint64(0) << documentHash << true << true
        << QString();
    const QString other(64, QLatin1Char('c'));
    QTest::newRow("the installed number for another document")
        << "publisher" << year << documentHash << none << quint64(7) << other << false << false
        << QStringLiteral("Release abgelehnt: Release 7 wurde schon mit einem anderen "
                          "Update-Dokument installiert.");
    QTest::newRow("the installed number for another document, older allowed")
        << "publisher" << year << documentHash << none << quint64(7) << other << true << false
        << QStringLiteral("Release abgelehnt: Release 7 wurde schon mit einem anderen "
                          "Update-Dokument installiert.");
    QTest::newRow("the installed number, recorded without its document")
        << "publisher" << year << documentHash << none << quint64(7) << QString() << false << false
        << QString();
    QTest::newRow("a higher number for another document")
        << "publisher" << year << documentHash << none << quint64(6) << other << false << false
        << QString();
}

void tst_SignedReleases::acceptance()
{
    QFETCH(QString, signer);
    QFETCH(int, statementYear);
    QFETCH(QString, statementDocument);
    QFETCH(QDateTime, expires);
    QFETCH(quint64, installed);
    QFETCH(QString, installedDocument);
    QFETCH(bool, allowOlder);
    QFETCH(bool, nextYearInstalled);
    QFETCH(QString, line);
    const TestReleaseKey &key = signer == QLatin1String("publisher") ? publisher
        : signer == QLatin1String("successor")                       ? successor
                                                                     : stranger;
    ReleaseStatement statement = statementOf(7);
    statement.year = statementYear;
    statement.documentHash = statementDocument;
    if (expires.isValid())
        statement.expires = expires;
    ReleaseTrust trust = trustIn({publisher.publicKey, successor.publicKey});
    if (installed != 0)
        trust.installed[year] = {installed, installedDocument};
    if (nextYearInstalled)
        trust.installed[year + 1] = {1, QString()};
    StatementRefusal refusal;
    const std::optional<AcceptedRelease> release = acceptStatement(
        signedText(statement, key), year, documentHash, trust, allowOlder, &refusal);
    QCOMPARE(release.has_value(), line.isEmpty());
    if (release)
        QCOMPARE(release->number, quint64(7));
    else
        QCOMPARE(refusal.title + QLatin1Char(' ') + refusal.reason, line);
}

void tst_SignedReleases::onlineLoad_data()
{
    QTest::addColumn<bool>("signedRelease");
    QTest::addColumn<bool>("clientHasKeys");
    QTest::addColumn<QStringList>("log");
    QTest::newRow("signed, client with keys") << true << true << QStringList();
    QTest::newRow("signed, client without keys") << true << false << QStringList();
    QTest::newRow("unsigned, client without keys") << false << false << QStringList();
    QTest::newRow("unsigned, client with keys")
        << false << true
        << QStringList {QStringLiteral("Fehler beim Prüfen der Signatur: 404 Not Found"),
                        QStringLiteral("Fehler beim Laden der Infodatei: 404 Not Found")};
}

void tst_SignedReleases::onlineLoad()
{
    QFETCH(bool, signedRelease);
    QFETCH(bool, clientHasKeys);
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    if (signedRelease)
        fixture.rootAttributes = signedBy(publisher, QStringLiteral("42"));
    QVERIFY(buildRelease(fixture));
    QCOMPARE(QFile::exists(fixture.packageDir(year) + QLatin1String("/info.sig")), signedRelease);

    Server server {fixture.wwwRoot(), {}};
    const ReleaseTrust trust = clientHasKeys ? trustIn({publisher.publicKey}) : ReleaseTrust();
    const OnlineLoad load = loadOnlineDocument(year - 1, server.fetch(), trust);
    QTEST(lines(load.log), "log");
    QCOMPARE(load.loaded, signedRelease || !clientHasKeys);
    QCOMPARE(load.release.has_value(), load.loaded && clientHasKeys);
    QCOMPARE(numberOf(load), load.release ? quint64(42) : 0);
    if (load.loaded)
        QCOMPARE(load.document.groups.value(0).files.size(), 2);
    // Without keys, nothing more is asked of the server than before; with keys, the statement
    // names the document and "info.bin" is not read.
    QCOMPARE(server.fetched.contains(QStringLiteral("2031/info.sig")), clientHasKeys);
    QCOMPARE(server.fetched.contains(QStringLiteral("2031/info.bin")),
             !clientHasKeys || !signedRelease);
    // An unsigned release that a client with keys refuses is a refusal, not a missing server.
    QCOMPARE(load.trustRefusal.has_value(), clientHasKeys && !signedRelease);
}

// An attacker who can write the server's folder replaces a data file and the document and names
// the new document in "info.bin", every hash recomputed: the statement still names the old one.
void tst_SignedReleases::tamperedRelease()
{
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    fixture.rootAttributes = signedBy(publisher);
    QVERIFY(buildRelease(fixture));
    const QString folder = fixture.packageDir(year) + QLatin1Char('/');
    const QByteArray evil = "böse";
    QVERIFY(ReleaseFixture::writeFile(folder + hashName(evil) + QLatin1String(".bin"),
                                      compressPayload(evil)));
    UpdateDocument forged;
    UpdateGroup group;
    group.name = QStringLiteral("P");
    group.files = {fileEntry(QStringLiteral("a.txt"), hashName(evil), evil.size())};
    forged.groups = {group};
    const QByteArray binary = documentToBinary(forged);
    const QString forgedName = hashName(binary) + QLatin1String(".bin");
    QVERIFY(ReleaseFixture::writeFile(folder + forgedName, compressPayload(binary)));
    QVERIFY(ReleaseFixture::writeFile(folder + QLatin1String("info.bin"), forgedName.toUtf8()));

    Server server {fixture.wwwRoot(), {}};
    const OnlineLoad load =
        loadOnlineDocument(year - 1, server.fetch(), trustIn({publisher.publicKey}));
    // The statement names the document it signed, whatever "info.bin" says: the forged one is
    // never fetched, and the release loads as the publisher signed it.
    QVERIFY(load.loaded);
    QVERIFY(!server.fetched.contains(QStringLiteral("2031/") + forgedName));
    QCOMPARE(load.document.groups.value(0).files.size(), 2);
    QVERIFY(load.log.isEmpty());
}

// The server sends other bytes for the document the statement names: to a client with keys
// that is a refused release, not a missing connection.
void tst_SignedReleases::signedDocumentReplacedOnTheServer()
{
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    fixture.rootAttributes = signedBy(publisher);
    QVERIFY(buildRelease(fixture));
    const QString folder = fixture.packageDir(year) + QLatin1Char('/');
    QFile info(folder + QLatin1String("info.bin"));
    QVERIFY(info.open(QIODevice::ReadOnly));
    const QString name = QString::fromUtf8(info.readAll());
    QVERIFY(ReleaseFixture::writeFile(folder + name, compressPayload("anders")));
    const OnlineLoad keyed = loadOnline(fixture.wwwRoot(), trustIn({publisher.publicKey}));
    QVERIFY(!keyed.loaded);
    QVERIFY(keyed.trustRefusal);
    QCOMPARE(keyed.trustRefusal->reason,
             QStringLiteral("Das Update-Dokument hat nicht den Hash-Wert ") + name.left(64)
                 + QLatin1Char('.'));
    QVERIFY(!loadOnline(fixture.wwwRoot(), ReleaseTrust()).trustRefusal);
}

void tst_SignedReleases::offlineLoad_data()
{
    QTest::addColumn<bool>("signedRelease");
    QTest::addColumn<bool>("clientHasKeys");
    QTest::addColumn<quint64>("installed");
    QTest::addColumn<bool>("allowOlder");
    QTest::addColumn<QString>("message"); // empty: loaded
    QTest::newRow("signed, client with keys") << true << true << quint64(0) << false << QString();
    QTest::newRow("signed, client without keys")
        << true << false << quint64(0) << false << QString();
    QTest::newRow("unsigned, client with keys")
        << false << true << quint64(0) << false
        << QStringLiteral("Fehler beim Prüfen der Signatur: Die Datei enthält keine Signatur.");
    QTest::newRow("older than the installed release")
        << true << true << quint64(50) << false
        << QStringLiteral(
               "Älteres Release abgelehnt: Release 42 ist älter als das installierte Release 50.");
    QTest::newRow("older, allowed on the command line")
        << true << true << quint64(50) << true << QString();
}

void tst_SignedReleases::offlineLoad()
{
    QFETCH(bool, signedRelease);
    QFETCH(bool, clientHasKeys);
    QFETCH(quint64, installed);
    QFETCH(bool, allowOlder);
    QFETCH(QString, message);
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    if (signedRelease)
        fixture.rootAttributes = signedBy(publisher, QStringLiteral("42"));
    QVERIFY(buildRelease(fixture));
    ReleaseTrust trust = clientHasKeys ? trustIn({publisher.publicKey}) : ReleaseTrust();
    trust.installed[year] = {installed, QString()};
    trust.allowOlder = allowOlder;
    const OfflineLoad load = loadOfflineFile(fixture.offlineFile(QStringLiteral("r")), trust);
    QCOMPARE(load.outcome, message.isEmpty() ? OfflineLoad::Loaded : OfflineLoad::NotRead);
    QCOMPARE(load.messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QCOMPARE(load.messages.first().title + QLatin1Char(' ') + load.messages.first().text,
                 message);
    QCOMPARE(load.release.has_value(), message.isEmpty() && clientHasKeys);
}

// The statement follows the document; a reader that stops after the document, as every client
// before signed releases does, reads the file as it always has, with nothing left unexplained.
void tst_SignedReleases::signedOfflineFileForReadersWithoutKeys()
{
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    fixture.rootAttributes = signedBy(publisher);
    QVERIFY(buildRelease(fixture));
    QFile file(fixture.offlineFile(QStringLiteral("r")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    OfflineFileReader reader(&file);
    QVERIFY(reader.readHeader());
    OfflineRecord record;
    for (int i = 0; i < reader.recordCount(); ++i)
        QVERIFY(reader.readRecord(&record));
    QString error;
    const QByteArray binary = expandDocumentPayload(reader.readDocumentPayload());
    QVERIFY2(documentFromBinary(binary, &error), qPrintable(error));
    const QByteArray statement = reader.readStatement().value_or(QByteArray());
    QVERIFY(file.atEnd());
    QCOMPARE(statement, readAll(fixture.packageDir(year) + QLatin1String("/info.sig")).toUtf8());
    const std::optional<SignedStatement> parsed = parseStatement(statement, &error);
    QVERIFY2(parsed, qPrintable(error));
    QCOMPARE(parsed->statement.documentHash, hashName(binary));
}

void tst_SignedReleases::installationKeepsTheHighestNumber()
{
    QTemporaryDir root;
    const QString updaterDir = root.filePath(QStringLiteral("Updater/"));
    QVERIFY(QDir().mkpath(updaterDir));
    const QString path = updaterDir + InstallationLayout::releaseNumbers;
    // A record written before documents were kept: its line gains the hash when the same
    // number is installed again.
    QVERIFY(ReleaseFixture::writeFile(path, "2030 5\n2031 42\n"));
    const QString hash42(64, QLatin1Char('4'));
    for (const quint64 number : {quint64(42), quint64(17)}) {
        InstallRequest request;
        request.baseDir = root.path() + QLatin1Char('/');
        request.record = {year, 3, 1, 0};
        request.releaseNumbersPath = path;
        request.release = {number, number == 42 ? hash42 : QString(64, QLatin1Char('1'))};
        request.allowOlder = number == 17;
        FakePlatform platform;
        PendingUpdate nothingPending;
        QVERIFY(!FileInstaller(request, platform, [](int, int) {}).run(nothingPending).error);
    }
    // An allowed older release (17) leaves the mark where it was.
    QCOMPARE(readAll(path), QStringLiteral("2030 5\n2031 42 ") + hash42 + QLatin1Char('\n'));
    ReleaseNumbers numbers;
    QString error;
    QVERIFY2(readReleaseNumbers(path, &numbers, &error), qPrintable(error));
    QCOMPARE(numbers, (ReleaseNumbers {{2030, {5, QString()}}, {2031, {42, hash42}}}));
}

void tst_SignedReleases::installationRefusesWhatTheRecordRefuses_data()
{
    QTest::addColumn<quint64>("number");
    QTest::addColumn<QString>("document");
    QTest::addColumn<bool>("allowOlder");
    QTest::addColumn<QString>("line"); // empty: installed
    const QString installed(64, QLatin1Char('b'));
    const QString other(64, QLatin1Char('a'));
    QTest::newRow("the installed release again") << quint64(5) << installed << false << QString();
    QTest::newRow("a newer one") << quint64(6) << other << false << QString();
    QTest::newRow("an older one, installed meanwhile by another updater")
        << quint64(3) << other << false
        << QStringLiteral("Älteres Release abgelehnt: Release 3 ist älter als das installierte "
                          "Release 5.");
    QTest::newRow("an older one, allowed") << quint64(3) << other << true << QString();
    QTest::newRow("another document under the installed number")
        << quint64(5) << other << false
        << QStringLiteral("Release abgelehnt: Release 5 wurde schon mit einem anderen "
                          "Update-Dokument installiert.");
}

// The record may have changed since the release was loaded: it is read again under the lock
// and decides as it did then, before any file is written.
void tst_SignedReleases::installationRefusesWhatTheRecordRefuses()
{
    QFETCH(quint64, number);
    QFETCH(QString, document);
    QFETCH(bool, allowOlder);
    QFETCH(QString, line);
    QTemporaryDir root;
    const QString path = root.filePath(QStringLiteral("releasenumbers.dat"));
    const QByteArray record = "2031 5 " + QByteArray(64, 'b') + "\n";
    QVERIFY(ReleaseFixture::writeFile(path, record));
    InstallRequest request;
    request.baseDir = root.path() + QLatin1Char('/');
    request.record = {year, 3, 1, 0};
    request.releaseNumbersPath = path;
    request.release = {number, document};
    request.allowOlder = allowOlder;
    FakePlatform platform;
    PendingUpdate nothingPending;
    const InstallResult result =
        FileInstaller(request, platform, [](int, int) {}).run(nothingPending);
    QCOMPARE(result.error, !line.isEmpty());
    if (result.error) {
        QCOMPARE(result.log.first().title + QLatin1Char(' ') + result.log.first().detail1, line);
        QCOMPARE(readAll(path).toUtf8(), record);
        QVERIFY(!QFile::exists(root.filePath(QStringLiteral("versioninfo.dat"))));
    }
}

void tst_SignedReleases::releaseRecord_data()
{
    QTest::addColumn<QString>("kind"); // file, folder, link, missing (a pipe: tst_installation)
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error"); // empty: read
    const QByteArray hash(64, 'a');
    const QString damaged1 = QStringLiteral("Zeile 1 ist beschädigt.");
    QTest::newRow("missing: the first signed update") << "missing" << QByteArray() << QString();
    QTest::newRow("lines of both forms")
        << "file" << QByteArray("2030 5\n2031 42 " + hash + "\n") << QString();
    QTest::newRow("garbage") << "file" << QByteArray("kaputt\n") << damaged1;
    QTest::newRow("empty") << "file" << QByteArray() << damaged1;
    QTest::newRow("CR LF") << "file" << QByteArray("2031 42\r\n") << damaged1;
    QTest::newRow("byte order mark") << "file"
                                     << QByteArray("\xef\xbb\xbf"
                                                   "2031 42\n")
                                     << damaged1;
    QTest::newRow("trailing blank") << "file" << QByteArray("2031 42 \n") << damaged1;
    QTest::newRow("no final line break") << "file" << QByteArray("2031 42") << damaged1;
    QTest::newRow("empty line") << "file" << QByteArray("2030 5\n\n2031 42\n")
                                << QStringLiteral("Zeile 2 ist beschädigt.");
    QTest::newRow("a year twice") << "file" << QByteArray("2031 42\n2031 7\n")
                                  << QStringLiteral("Zeile 2 ist beschädigt.");
    QTest::newRow("short hash") << "file" << QByteArray("2031 42 abc\n") << damaged1;
    QTest::newRow("a NUL inside a line") << "file" << QByteArray("2031 42\0junk\n", 13) << damaged1;
    QTest::newRow("number of 20 digits")
        << "file" << QByteArray("2031 10000000000000000000\n") << damaged1;
    QTest::newRow("a valid line after 70,000 bytes of junk")
        << "file" << QByteArray(70000, 'x') + "\n2031 42\n"
        << QStringLiteral("Die Datei ist zu groß.");
    QTest::newRow("a folder") << "folder" << QByteArray() << notRegularFileText(false);
    QTest::newRow("a link to /dev/null") << "link" << QByteArray() << notRegularFileText(true);
}

// A record that exists is read whole or refused: only its absence means the first update.
void tst_SignedReleases::releaseRecord()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QTemporaryDir root;
    const QString path = root.filePath(QStringLiteral("releasenumbers.dat"));
    if (kind == QLatin1String("file"))
        QVERIFY(ReleaseFixture::writeFile(path, content));
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(path));
    else if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), path));
    ReleaseNumbers numbers {{2000, {1, QString()}}};
    QString reason;
    QCOMPARE(readReleaseNumbers(path, &numbers, &reason), error.isEmpty());
    // Windows makes a shortcut file for a link, which reads as damaged: refused all the same.
    if (kind == QLatin1String("link") && !QFileInfo(path).isSymLink())
        QVERIFY(!reason.isEmpty());
    else
        QCOMPARE(reason, error);
    QCOMPARE(numbers.size(), kind == QLatin1String("file") && error.isEmpty() ? 2 : 0);
    if (!numbers.isEmpty())
        QCOMPARE(releaseNumbersText(numbers), content);
}

// While the record cannot be read, no signed release is taken, online or offline, and nothing
// is fetched; a client without keys, which keeps no record, is not concerned.
void tst_SignedReleases::unreadableRecordRefusesSignedReleases()
{
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    fixture.rootAttributes = signedBy(publisher, QStringLiteral("42"));
    QVERIFY(buildRelease(fixture));
    ReleaseTrust trust = trustIn({publisher.publicKey});
    trust.recordPath = QStringLiteral("/inst/Updater/releasenumbers.dat");
    trust.recordError = QStringLiteral("Zeile 1 ist beschädigt.");
    Server server {fixture.wwwRoot(), {}};
    const OnlineLoad online = loadOnlineDocument(year - 1, server.fetch(), trust);
    QVERIFY(!online.loaded);
    QVERIFY(server.fetched.isEmpty());
    const QString line =
        QStringLiteral("Fehler beim Lesen der Release-Nummern: "
                       "/inst/Updater/releasenumbers.dat: Zeile 1 ist beschädigt.");
    QVERIFY(online.trustRefusal);
    QCOMPARE(online.trustRefusal->title + QLatin1Char(' ') + online.trustRefusal->reason, line);
    QCOMPARE(online.log.size(), 1);
    QCOMPARE(online.log.first().detail1, trust.recordPath);

    const OfflineLoad offline = loadOfflineFile(fixture.offlineFile(QStringLiteral("r")), trust);
    QCOMPARE(offline.outcome, OfflineLoad::NotRead);
    QCOMPARE(offline.messages.value(0).title + QLatin1Char(' ') + offline.messages.value(0).text,
             line);

    ReleaseTrust unkeyed;
    unkeyed.recordError = trust.recordError;
    QVERIFY(loadOnline(fixture.wwwRoot(), unkeyed).loaded);
}

void tst_SignedReleases::builderRefusesSigningSettings_data()
{
    QTest::addColumn<QString>("attributes"); // %1: the publisher's key file
    QTest::addColumn<QString>("keyCopy"); // where in the test folder a copy of the key lies
    QTest::addColumn<QString>("failure");
    QTest::newRow("key file missing") << QStringLiteral("signkey=\"fehlt.pem\"") << QString()
                                      << QStringLiteral("Fehler beim Öffnen der Datei:");
    QTest::newRow("not a key") << QStringLiteral("signkey=\"r.xml\"") << QString()
                               << QStringLiteral("Fehler beim Öffnen der Datei:");
    QTest::newRow("encrypted key") << QStringLiteral("signkey=\"verschluesselt.pem\"") << QString()
                                   << QStringLiteral("verschlüsselte Schlüssel werden nicht "
                                                     "unterstützt");
    QTest::newRow("release number with a sign")
        << QStringLiteral("signkey=\"%1\" release=\"-1\"") << QString()
        << QStringLiteral("Ungültige Release-Nummer: -1");
    QTest::newRow("expiry without time") << QStringLiteral("signkey=\"%1\" expires=\"2032-01-01\"")
                                         << QString() << QStringLiteral("Ungültiges Ablaufdatum");
    // An unattended build must not publish what every client refuses.
    QTest::newRow("expiry already past")
        << QStringLiteral("signkey=\"%1\" expires=\"2020-01-01T00:00:00Z\"") << QString()
        << QStringLiteral("Das Ablaufdatum 2020-01-01T00:00:00Z ist schon vorüber");
    // The key would be published with the release, and installed everywhere.
    QTest::newRow("key in a source folder")
        << QStringLiteral("signkey=\"src/r/g0/keys/release.pem\"")
        << QStringLiteral("src/r/g0/keys/release.pem")
        << QStringLiteral("Signaturschlüssel liegt im Quellordner:");
    QTest::newRow("key in the package folder")
        << QStringLiteral("signkey=\"www/ldg_update/2031/release.pem\"")
        << QStringLiteral("www/ldg_update/2031/release.pem")
        << QStringLiteral("Signaturschlüssel liegt im Paketordner:");
    QTest::newRow("key beside the offline update file")
        << QStringLiteral("signkey=\"release.pem\"") << QStringLiteral("release.pem")
        << QStringLiteral("Signaturschlüssel liegt im Ordner der Offline-Updatedatei:");
    QTest::newRow("key in the folder above the package folder, which the server serves")
        << QStringLiteral("signkey=\"www/ldg_update/release.pem\"")
        << QStringLiteral("www/ldg_update/release.pem")
        << QStringLiteral("Signaturschlüssel liegt im Ordner über dem Paketordner:");
    // A copy or a hard link has another path: the content gives it away.
    QTest::newRow("a copy of the key in a source folder")
        << QStringLiteral("signkey=\"%1\"") << QStringLiteral("src/r/g0/kopie.pem")
        << QStringLiteral("Eine Kopie des Signaturschlüssels liegt im Quellordner: ");
    QTest::newRow("a link outside to a key in a source folder")
        << QStringLiteral("signkey=\"%1.link\"") << QStringLiteral("src/r/g0/release.pem")
        << QStringLiteral("Signaturschlüssel liegt im Quellordner:");
    QTest::newRow("published statement damaged")
        << QStringLiteral("signkey=\"%1\" release=\"5\"") << QStringLiteral("damaged info.sig")
        << QStringLiteral("Die Signaturdatei ist beschädigt. Ohne sie ist die kleinste "
                          "Release-Nummer unbekannt.");
    QTest::newRow("previous statement missing")
        << QStringLiteral("signkey=\"%1\" previous=\"fehlt.sig\"") << QString()
        << QStringLiteral("Fehler beim Öffnen der Datei:");
}

void tst_SignedReleases::builderRefusesSigningSettings()
{
    QFETCH(QString, attributes);
    QFETCH(QString, keyCopy);
    QFETCH(QString, failure);
    QTemporaryDir root;
    TestReleaseKey encrypted;
    QVERIFY(makeTestReleaseKey(root.filePath(QStringLiteral("verschluesselt.pem")), &encrypted,
                               "geheim"));
    ReleaseFixture fixture(root.path());
    const QString statement = fixture.packageDir(year) + QLatin1String("/info.sig");
    if (keyCopy == QLatin1String("damaged info.sig")) {
        QVERIFY(ReleaseFixture::writeFile(statement, "kaputt"));
    } else if (!keyCopy.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(root.filePath(keyCopy)).absolutePath()));
        QVERIFY(QFile::copy(publisher.pemPath, root.filePath(keyCopy)));
        QVERIFY(QFile::link(root.filePath(keyCopy), publisher.pemPath + QLatin1String(".link")));
        if (attributes.contains(QLatin1String(".link"))
            && !QFileInfo(publisher.pemPath + QLatin1String(".link")).isSymLink()) {
            QFile::remove(publisher.pemPath + QLatin1String(".link"));
            QSKIP("Windows makes a shortcut file, not a link");
        }
    }
    fixture.rootAttributes =
        attributes.contains(QLatin1String("%1")) ? attributes.arg(publisher.pemPath) : attributes;
    QVERIFY(!buildRelease(fixture));
    QVERIFY(!QFile::exists(fixture.packageDir(year) + QLatin1String("/info.bin")));
    QCOMPARE(QFile::exists(statement), keyCopy == QLatin1String("damaged info.sig"));
    QString error;
    QString offlinePath;
    QVERIFY(!buildPackage(root.filePath(QStringLiteral("r.xml")), offlinePath, &error));
    QFile::remove(publisher.pemPath + QLatin1String(".link"));
    QVERIFY2(error.contains(failure), qPrintable(error));
    // Nothing of the key's content was left to be served, not even as a part file.
    QString keyHash;
    QVERIFY(hashNameOfFile(publisher.pemPath, &keyHash, &error));
    const QStringList left =
        QDir(fixture.packageDir(year)).entryList({keyHash + QLatin1Char('*')}, QDir::Files);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
}

// Only the PEM's own markings say that a key is encrypted; the word in a comment does not.
void tst_SignedReleases::keyWithTheWordEncryptedInAComment()
{
    QTemporaryDir root;
    QFile key(publisher.pemPath);
    QVERIFY(key.open(QIODevice::ReadOnly));
    const QString commented = root.filePath(QStringLiteral("kommentiert.pem"));
    QVERIFY(ReleaseFixture::writeFile(commented,
                                      "Nicht ENCRYPTED, nur sicher verwahrt.\n" + key.readAll()));
    QString error;
    QCOMPARE(publicKeyOfKeyFile(commented, &error).value_or(QByteArray()), publisher.publicKey);
}

// The number published last, from the server, is a floor in a package folder that is new.
void tst_SignedReleases::previousStatementIsAFloor_data()
{
    QTest::addColumn<QString>("release"); // of the second build; empty: the default
    QTest::addColumn<QString>("outcome"); // the number signed, or the failure
    QTest::newRow("a lower number") << QStringLiteral("5")
                                    << QStringLiteral("Release-Nummer 5 ist kleiner als die "
                                                      "zuletzt veröffentlichte 9000000000");
    QTest::newRow("the same number, another document")
        << QStringLiteral("9000000000")
        << QStringLiteral("Release-Nummer 9000000000 wurde schon für ein anderes "
                          "Update-Dokument veröffentlicht");
    QTest::newRow("the default") << QString() << QStringLiteral("9000000001");
}

void tst_SignedReleases::previousStatementIsAFloor()
{
    QFETCH(QString, release);
    QFETCH(QString, outcome);
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    fixture.rootAttributes = signedBy(publisher, QStringLiteral("9000000000"));
    QVERIFY(buildRelease(fixture));
    const QString published = root.filePath(QStringLiteral("vom-server.sig"));
    QVERIFY(QFile::copy(fixture.packageDir(year) + QLatin1String("/info.sig"), published));
    QVERIFY(QDir(fixture.wwwRoot()).removeRecursively());

    fixture.rootAttributes =
        signedBy(publisher, release) + QStringLiteral(" previous=\"vom-server.sig\"");
    // The publisher is told which floor the number had to pass.
    QTest::ignoreMessage(QtInfoMsg,
                         QRegularExpression(QStringLiteral(
                             "^Kleinste Release-Nummer: 9000000000 \\(aus .*/vom-server.sig\\)$")));
    const bool built =
        fixture.build(QStringLiteral("r"), year,
                      {{QStringLiteral("name=\"P\""), {{QStringLiteral("n.txt"), "n"}}}});
    QString error;
    if (outcome.at(0).isDigit()) {
        QVERIFY(built);
        const auto parsed = parseStatement(
            readAll(fixture.packageDir(year) + QLatin1String("/info.sig")).toUtf8(), &error);
        QVERIFY2(parsed, qPrintable(error));
        QCOMPARE(QString::number(parsed->statement.releaseNumber), outcome);
    } else {
        QVERIFY(!built);
        QString offlinePath;
        QVERIFY(!buildPackage(root.filePath(QStringLiteral("r.xml")), offlinePath, &error));
        QVERIFY2(error.contains(outcome), qPrintable(error));
    }
}

void tst_SignedReleases::unsignedRebuildRemovesTheStatement()
{
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    fixture.rootAttributes = signedBy(publisher);
    QVERIFY(buildRelease(fixture));
    QVERIFY(QFile::exists(fixture.packageDir(year) + QLatin1String("/info.sig")));
    fixture.rootAttributes.clear();
    QVERIFY(buildRelease(fixture));
    QVERIFY(!QFile::exists(fixture.packageDir(year) + QLatin1String("/info.sig")));
}

// Next year's statement is refused (another key signed it); this year's release loads, and the
// refusal stays in the log as the reason next year was not taken.
void tst_SignedReleases::refusedNextYearFallsBackToThisYear()
{
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    fixture.rootAttributes = QStringLiteral("signkey=\"%1\" release=\"3\"").arg(stranger.pemPath);
    QVERIFY(fixture.build(QStringLiteral("next"), year,
                          {{QStringLiteral("name=\"P\""), releaseFiles}}));
    fixture.rootAttributes = signedBy(publisher, QStringLiteral("2"));
    QVERIFY(fixture.build(QStringLiteral("this"), year - 1,
                          {{QStringLiteral("name=\"P\""), releaseFiles}}));
    const OnlineLoad result = loadOnline(fixture.wwwRoot(), trustIn({publisher.publicKey}));
    QVERIFY(result.loaded);
    QCOMPARE(result.releaseYear, year - 1);
    QCOMPARE(lines(result.refusals), lines(result.log));
    QCOMPARE(numberOf(result), quint64(2));
    QCOMPARE(lines(result.log),
             QStringList {QStringLiteral("Fehler beim Prüfen der Signatur: Die Signatur stammt "
                                         "nicht vom Herausgeber.")});
}

void tst_SignedReleases::offlineFileWithAlteredStatement_data()
{
    QTest::addColumn<QString>("alteration");
    QTest::addColumn<QString>("message");
    QTest::newRow("statement of another release")
        << QStringLiteral("foreign")
        << QStringLiteral("Fehler beim Prüfen der Signatur: Die Signatur gilt für ein anderes "
                          "Update-Dokument.");
    QTest::newRow("statement cut short")
        << QStringLiteral("cut")
        << QStringLiteral("Fehler beim Prüfen der Signatur: Die Signaturdatei ist beschädigt.");
    QTest::newRow("other bytes after the document")
        << QStringLiteral("garbage")
        << QStringLiteral("Fehler beim Prüfen der Signatur: Die Signaturdatei ist beschädigt.");
    // Not even decoded: an unsigned document is nothing to a client with keys.
    QTest::newRow("broken document, no statement")
        << QStringLiteral("broken document")
        << QStringLiteral("Fehler beim Prüfen der Signatur: Die Datei enthält keine Signatur.");
}

void tst_SignedReleases::offlineFileWithAlteredStatement()
{
    QFETCH(QString, alteration);
    QFETCH(QString, message);
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    fixture.rootAttributes = signedBy(publisher);
    QVERIFY(buildRelease(fixture));
    const QByteArray ownStatement =
        readAll(fixture.packageDir(year) + QLatin1String("/info.sig")).toUtf8();
    QVERIFY(fixture.build(QStringLiteral("other"), year,
                          {{QStringLiteral("name=\"Q\""), releaseFiles}}));
    const QByteArray foreign =
        readAll(fixture.packageDir(year) + QLatin1String("/info.sig")).toUtf8();
    QFile file(fixture.offlineFile(QStringLiteral("r")));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    // The trailer: the tag and the statement, each a 4-byte length and its bytes.
    const int trailer = bytes.size() - ownStatement.size() - 4 - 25 - 4;
    QCOMPARE(bytes.mid(trailer + 4, 25), QByteArray("Ledgora-Release-Statement"));
    if (alteration == QLatin1String("foreign")) {
        bytes.replace(bytes.size() - ownStatement.size(), ownStatement.size(), foreign);
    } else if (alteration == QLatin1String("cut")) {
        bytes.chop(10);
    } else if (alteration == QLatin1String("garbage")) {
        bytes.truncate(trailer);
        bytes += "<html>Sicherheitshinweis</html>";
    } else {
        bytes.truncate(trailer);
        const int documentEnd = bytes.size();
        bytes.replace(documentEnd - 8, 8, "kaputt!!");
    }
    QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
    file.close();
    const OfflineLoad load =
        loadOfflineFile(fixture.offlineFile(QStringLiteral("r")), trustIn({publisher.publicKey}));
    QCOMPARE(load.outcome, OfflineLoad::NotRead);
    QCOMPARE(load.messages.size(), 1);
    QCOMPARE(load.messages.first().title + QLatin1Char(' ') + load.messages.first().text, message);
}

// A run that fails after the work, or cannot write "info.bin", leaves the published release as
// clients with keys take it: its "info.bin" with its own statement.
void tst_SignedReleases::lateFailureKeepsThePublishedRelease_data()
{
    QTest::addColumn<bool>("signedRebuild");
    QTest::addColumn<QString>("obstacle"); // made a folder, with a file inside
    QTest::newRow("signed, log cannot take its name") << true << QStringLiteral("log.txt");
    QTest::newRow("unsigned, log cannot take its name") << false << QStringLiteral("log.txt");
    QTest::newRow("signed, info.bin cannot be written")
        << true << QStringLiteral("www/ldg_update/2031/info.bin.part");
    QTest::newRow("unsigned, info.bin cannot be written")
        << false << QStringLiteral("www/ldg_update/2031/info.bin.part");
}

void tst_SignedReleases::lateFailureKeepsThePublishedRelease()
{
    QFETCH(bool, signedRebuild);
    QFETCH(QString, obstacle);
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    fixture.rootAttributes = signedBy(publisher, QStringLiteral("42"));
    QVERIFY(buildRelease(fixture));
    const QString statement = readAll(fixture.packageDir(year) + QLatin1String("/info.sig"));
    QFile::remove(root.filePath(obstacle));
    QVERIFY(ReleaseFixture::writeFile(root.filePath(obstacle + QLatin1String("/x")), "x"));

    fixture.rootAttributes = signedRebuild ? signedBy(publisher, QStringLiteral("43")) : QString();
    QVERIFY(
        !fixture.build(QStringLiteral("r"), year,
                       {{QStringLiteral("name=\"P\""), {{QStringLiteral("a.txt"), "anders"}}}}));
    QCOMPARE(readAll(fixture.packageDir(year) + QLatin1String("/info.sig")), statement);
    const OnlineLoad result = loadOnline(fixture.wwwRoot(), trustIn({publisher.publicKey}));
    QVERIFY2(result.loaded, qPrintable(lines(result.log).join(QLatin1Char('\n'))));
    QCOMPARE(numberOf(result), quint64(42));
}

void tst_SignedReleases::releaseNumberGrows_data()
{
    QTest::addColumn<QString>("first"); // the release attribute; empty: the default
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("sameContent");
    QTest::addColumn<QString>("outcome"); // the second statement's number, ">" for "above the
                                          // first", or the failure
    QTest::newRow("default twice") << QString() << QString() << false << QStringLiteral(">");
    QTest::newRow("default after a number from the future")
        << QStringLiteral("9999999999") << QString() << false << QStringLiteral("10000000000");
    QTest::newRow("the same number, the same release")
        << QStringLiteral("7") << QStringLiteral("7") << true << QStringLiteral("7");
    QTest::newRow("the same number, another release")
        << QStringLiteral("7") << QStringLiteral("7") << false
        << QStringLiteral("Release-Nummer 7 wurde schon für ein anderes Update-Dokument "
                          "veröffentlicht");
    QTest::newRow("a lower number")
        << QStringLiteral("7") << QStringLiteral("5") << false
        << QStringLiteral("Release-Nummer 5 ist kleiner als die zuletzt veröffentlichte 7");
    QTest::newRow("default after the highest number clients read")
        << QStringLiteral("9999999999999999999") << QString() << false
        << QStringLiteral("Nach Release-Nummer 9999999999999999999 gibt es keine höhere");
}

void tst_SignedReleases::releaseNumberGrows()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, sameContent);
    QFETCH(QString, outcome);
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    const auto publishedNumber = [&fixture]() {
        QString error;
        const auto parsed = parseStatement(
            readAll(fixture.packageDir(year) + QLatin1String("/info.sig")).toUtf8(), &error);
        return parsed ? parsed->statement.releaseNumber : 0;
    };
    fixture.rootAttributes = signedBy(publisher, first);
    QVERIFY(buildRelease(fixture));
    const quint64 firstNumber = publishedNumber();
    fixture.rootAttributes = signedBy(publisher, second);
    // The same release is the same configuration over untouched sources: writing them again
    // would give them other times, and so another document. The first build read them just
    // after they were written, and reading may move the time of last access that the document
    // records: each is put back to what that build recorded.
    if (sameContent) {
        const OfflineLoad load = loadOfflineFile(fixture.offlineFile(QStringLiteral("r")),
                                                 trustIn({publisher.publicKey}));
        QCOMPARE(load.outcome, OfflineLoad::Loaded);
        for (const FileEntry &entry : load.document.groups.at(0).files) {
            QFile source(fixture.sourceDir(QStringLiteral("r"), 0) + QLatin1Char('/')
                         + entry.targetPath);
            QVERIFY(entry.isDir || source.open(QIODevice::ReadOnly));
            QVERIFY(entry.isDir
                    || source.setFileTime(QDateTime::fromString(entry.accessed, Qt::ISODate),
                                          QFileDevice::FileAccessTime));
        }
    }
    QString ignored;
    const bool built = sameContent
        ? buildPackage(root.filePath(QStringLiteral("r.xml")), ignored)
        : fixture.build(QStringLiteral("r"), year,
                        {{QStringLiteral("name=\"P\""), {{QStringLiteral("neu.txt"), "x"}}}});
    if (outcome == QLatin1String(">")) {
        QVERIFY(built);
        QVERIFY(publishedNumber() > firstNumber);
    } else if (outcome.at(0).isDigit()) {
        QVERIFY(built);
        QCOMPARE(QString::number(publishedNumber()), outcome);
    } else {
        QVERIFY(!built);
        QString error;
        QString offlinePath;
        QVERIFY(!buildPackage(root.filePath(QStringLiteral("r.xml")), offlinePath, &error));
        QVERIFY2(error.contains(outcome), qPrintable(error));
        QCOMPARE(publishedNumber(), firstNumber);
    }
}

// A client that loads again and again while the publisher republishes in a loop never meets a
// statement and a document that do not belong together.
void tst_SignedReleases::republishingNeverRefuses()
{
    QTemporaryDir root;
    ReleaseFixture fixture(root.path());
    fixture.rootAttributes = signedBy(publisher);
    QVERIFY(buildRelease(fixture));
    const ReleaseTrust trust = trustIn({publisher.publicKey});
    std::atomic<bool> publishing {true};
    std::atomic<int> loads {0};
    QStringList refusals;
    std::thread client([&] {
        while (publishing) {
            const OnlineLoad load = loadOnline(fixture.wwwRoot(), trust);
            ++loads;
            if (!load.loaded || load.document.groups.isEmpty())
                refusals += lines(load.log);
        }
    });
    int builds = 0;
    for (int i = 0; i < 20; ++i) {
        // Another content, and so another document, each time.
        const QByteArray content = "Fassung " + QByteArray::number(i);
        ReleaseFixture::writeFile(
            fixture.sourceDir(QStringLiteral("r"), 0) + QLatin1String("/a.txt"), content);
        QString offlinePath;
        builds += buildPackage(root.filePath(QStringLiteral("r.xml")), offlinePath) ? 1 : 0;
    }
    publishing = false;
    client.join();
    // Windows refuses to replace a file while the client reads it: a build may fail there,
    // which is the publisher's to repeat and no concern of the client's.
    QVERIFY2(builds >= 10, qPrintable(QString::number(builds)));
    QVERIFY(loads > 0);
    QVERIFY2(refusals.isEmpty(), qPrintable(refusals.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(tst_SignedReleases)
#include "tst_signedreleases.moc"
