#include "mountedfilesystem.h"
#include "updaterharness.h"

#include "check/updatecheck.h"
#include "package/hashname.h"
#include "package/offlinefilewriter.h"
#include "package/payload.h"
#include "package/payloadstore.h"
#include "package/updatedocument.h"
#include "platform/platform.h"

#include <QtTest>
#include <QtWidgets>

#include <sys/stat.h>

// The update check against a local server and against offline update files, on packages the
// builder made and an installation folder that the test prepares.
class tst_UpdateCheck : public QObject
{
    Q_OBJECT

private slots:
    void nothingDiffers();
    void onlyMissingDirectories();
    void missingFileTakenFromOfflineFile();
    void twoGroupsOfOneType();
    void execSubtypeAndBetaGroupsSkipped();
    void execPreference();
    void failures_data();
    void failures();
    void caseOnlyHashDifference();
    void hostileTargetPaths_data();
    void hostileTargetPaths();
    void shortWriteToStore();
    void oversizedPayloadRefused_data();
    void oversizedPayloadRefused();
    void secondCheckFetchesNothingAgain();
    void failedCheckLeavesNothingToStart_data();
    void failedCheckLeavesNothingToStart();
    void everyCheckStartsFresh_data();
    void sharedContentFetchedOnce();
    void offlinePayloadsExpandedWhenAsked_data();
    void offlinePayloadsExpandedWhenAsked();
    void storesOfEndedRunsRemoved();
    void storeThatCannotBeWritten_data();
    void storeThatCannotBeWritten();
    void offlinePayloadLargerThanItsEntry();
    void offlineFileThatIsAPipe();
    void installedFileSwappedForAPipe();
    void runningUpdaterInARelease_data();
    void runningUpdaterInARelease();
    void onlyRegularFilesAreRead_data();
    void onlyRegularFilesAreRead();
    void everyCheckStartsFresh();

private:
    int year = QDate::currentDate().year();
};

namespace {

const QString ok = QStringLiteral("Ergebnis:|");

void install(UpdaterHarness &harness, const QString &path, const QByteArray &content)
{
    QVERIFY(ReleaseFixture::writeFile(harness.installDir() + path, content));
}

} // namespace

void tst_UpdateCheck::nothingDiffers()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""),
          {{QStringLiteral("Ledgora.exe"), "exe"}, {QStringLiteral("daten/a.txt"), "a"}}}}));
    install(harness, QStringLiteral("Ledgora.exe"), "exe");
    install(harness, QStringLiteral("daten/a.txt"), "a");
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(harness.dialogLines(),
             QStringList({ok + QLatin1String("Alle Dateien sind aktuell."),
                          ok + QLatin1String("Alle Dateien sind aktuell.")}));
    QVERIFY(!UpdaterHarness::button(window.get(), QStringLiteral("Update starten"))->isEnabled());
    QVERIFY(window->findChild<QTextEdit *>(QStringLiteral("activityLog"))->isHidden());
    QVERIFY(window->findChild<QProgressBar *>()->isHidden());
    QCOMPARE(harness.dataFileRequests(year), 0);
}

void tst_UpdateCheck::onlyMissingDirectories()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""),
          {{QStringLiteral("leer/"), QByteArray()}, {QStringLiteral("a.txt"), "a"}}}}));
    install(harness, QStringLiteral("a.txt"), "a");
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    const QString summary = QStringLiteral("1 Datei(en) (0 MB) können aktualisiert werden.");
    QCOMPARE(harness.dialogLines(),
             QStringList({ok + QLatin1String("Es sind keine Fehler aufgetreten."), ok + summary}));
    QVERIFY(UpdaterHarness::button(window.get(), QStringLiteral("Update starten"))->isEnabled());
    QCOMPARE(UpdaterHarness::logText(window.get()), summary);
    QVERIFY(!window->findChild<QTextEdit *>(QStringLiteral("activityLog"))->isHidden());
}

void tst_UpdateCheck::missingFileTakenFromOfflineFile()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), 2030,
        {{QStringLiteral("name=\"Programm\""),
          {{QStringLiteral("a.txt"), QByteArray(1500000, 'a')}, {QStringLiteral("b.txt"), "b"}}}}));
    install(harness, QStringLiteral("b.txt"), "b");
    harness.server().close();
    const auto window = harness.open(
        {QStringLiteral("--offline"), harness.releases().offlineFile(QStringLiteral("r"))});
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(harness.dialogLines().last(),
             QString(ok + QStringLiteral("1 Datei(en) (1.5 MB) können aktualisiert werden.")));
}

void tst_UpdateCheck::twoGroupsOfOneType()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"A\" type=\"Programm\""), {{QStringLiteral("a.txt"), "a"}}},
         {QStringLiteral("name=\"B\" type=\"programm\""), {{QStringLiteral("b.txt"), "b"}}}}));
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(harness.dialogLines(),
             QStringList {QStringLiteral(
                 "Info:|Es darf nur eine programm-Installation ausgewählt werden.")});
    QVERIFY(
        UpdaterHarness::button(window.get(), QStringLiteral("Nach Updates suchen"))->isEnabled());
    QVERIFY(!UpdaterHarness::button(window.get(), QStringLiteral("Update starten"))->isEnabled());
    QVERIFY2(!window->findChild<QProgressBar *>()->isHidden(), "the check ends at once");
}

void tst_UpdateCheck::execSubtypeAndBetaGroupsSkipped()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Lusk\" type=\"exec\" subtype=\"5\""),
          {{QStringLiteral("lusk.exe"), "5"}}},
         {QStringLiteral("name=\"Orvel\" type=\"exec\" subtype=\"3\""),
          {{QStringLiteral("orvel.exe"), "3"}}},
         {QStringLiteral("name=\"Beta\" beta=\"1\""), {{QStringLiteral("beta.txt"), "beta"}}}}));
    const auto window = harness.open({QStringLiteral("--product"), QStringLiteral("3")});
    QVERIFY(window->findChild<QComboBox *>()->currentData().toInt() == 3);
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(harness.dialogLines().last(),
             QString(ok + QStringLiteral("1 Datei(en) (1e-06 MB) können aktualisiert werden.")));
    QCOMPARE(harness.dataFileRequests(year), 1);
    QVERIFY(harness.server().count("/ldg_update/" + QByteArray::number(year) + '/'
                                   + hashName("3").toLatin1() + ".bin")
            == 1);
}

void tst_UpdateCheck::execPreference()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QList<FixtureGroup> groups;
    for (int i = 0; i < 3; ++i)
        groups.append({QStringLiteral("name=\"Leer%1\"").arg(i), {}});
    groups.append(
        {QStringLiteral("name=\"Allgemein\" type=\"exec\" subtype=\"3\" os=\"windows;windows_10\""),
         {{QStringLiteral("allgemein.exe"), "allgemein"}}});
    groups.append({QStringLiteral("name=\"Leer4\""), {}});
    groups.append({QStringLiteral("name=\"Win10\" type=\"exec\" subtype=\"3\" os=\"windows_10\""),
                   {{QStringLiteral("win10.exe"), "win10"}}});
    QVERIFY(harness.releases().build(QStringLiteral("r"), year, groups));
    const auto window = harness.open({QStringLiteral("--os"), QStringLiteral("windows_10"),
                                      QStringLiteral("--product"), QStringLiteral("3")});
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    const QByteArray folder = "/ldg_update/" + QByteArray::number(year) + '/';
    QCOMPARE(harness.server().count(folder + hashName("win10").toLatin1() + ".bin"), 1);
    QCOMPARE(harness.server().count(folder + hashName("allgemein").toLatin1() + ".bin"), 0);

    // Group 3 counts as searched: the start button goes on to the start question.
    harness.dialogs.shown.clear();
    harness.dialogs.answers.enqueue(false);
    UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));
    QCOMPARE(harness.dialogs.shown.size(), 1);
    QCOMPARE(harness.dialogs.shown.first().title, QStringLiteral("Bestätigung:"));
}

void tst_UpdateCheck::failures_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("line");
    QTest::newRow("data file missing on the server")
        << QStringLiteral("missing") << QStringLiteral("Fehler beim Laden der Datei: b.txt");
    QTest::newRow("data file with other content")
        << QStringLiteral("swapped")
        << QStringLiteral("Falscher Hash-Wert der Serverdaten: ") + hashName("c");
    QTest::newRow("local file unreadable")
        << QStringLiteral("unreadable") << QStringLiteral("Fehler beim Lesen der Datei:");
}

void tst_UpdateCheck::failures()
{
    QFETCH(QString, damage);
    QFETCH(QString, line);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""),
          {{QStringLiteral("a.txt"), "a"}, {QStringLiteral("b.txt"), "b"}}}}));
    const QString dataFile = harness.releases().packageDir(year) + QLatin1Char('/') + hashName("b")
        + QLatin1String(".bin");
    if (damage == QLatin1String("missing"))
        QVERIFY(QFile::remove(dataFile));
    else if (damage == QLatin1String("swapped"))
        QVERIFY(ReleaseFixture::writeFile(dataFile, compressPayload("c")));
    else
        QVERIFY(QDir().mkpath(harness.installDir() + QLatin1String("b.txt")));
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QVERIFY2(UpdaterHarness::logText(window.get()).contains(line),
             qPrintable(UpdaterHarness::logText(window.get())));
    QVERIFY(harness.dialogs.shown.isEmpty());
    QVERIFY(!UpdaterHarness::button(window.get(), QStringLiteral("Update starten"))->isEnabled());
    QVERIFY(
        UpdaterHarness::button(window.get(), QStringLiteral("Nach Updates suchen"))->isEnabled());
}

void tst_UpdateCheck::caseOnlyHashDifference()
{
    // A document that names the local file's content in upper-case hex is no document the
    // builder wrote: refused whole, and no data file is asked for by that name.
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    const QString upper = hashName("a").toUpper();
    QVERIFY(harness.releases().publishGroup(year, {fileEntry(QStringLiteral("a.txt"), upper, 1)}));
    const QString folder = harness.releases().packageDir(year) + QLatin1Char('/');
    QVERIFY(
        ReleaseFixture::writeFile(folder + upper + QLatin1String(".bin"), compressPayload("a")));
    install(harness, QStringLiteral("a.txt"), "a");
    harness.dialogs.answers.enqueue(false);
    const auto window = harness.open();
    QVERIFY2(UpdaterHarness::logText(window.get())
                 .contains(QStringLiteral(" Fehler beim Laden des JSON-Dokuments.")),
             qPrintable(UpdaterHarness::logText(window.get())));
    QVERIFY(!UpdaterHarness::button(window.get(), QStringLiteral("Nach Updates suchen")));
    QCOMPARE(harness.dataFileRequests(year), 0);
}

void tst_UpdateCheck::hostileTargetPaths_data()
{
    QTest::addColumn<QString>("targetPath");
    QTest::addColumn<bool>("isDir");
    QTest::newRow("file above the installation") << QStringLiteral("../aussen.txt") << false;
    QTest::newRow("device by absolute path") << QStringLiteral("/dev/zero") << false;
    QTest::newRow("device by parent folders")
        << QStringLiteral("../../../../../../dev/zero") << false;
    QTest::newRow("folder above the installation") << QStringLiteral("..\\neu") << true;
    QTest::newRow("drive letter") << QStringLiteral("C:/x.txt") << false;
}

void tst_UpdateCheck::hostileTargetPaths()
{
    // Nothing outside the installation is read (a device would never end) or listed.
    QFETCH(QString, targetPath);
    QFETCH(bool, isDir);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(ReleaseFixture::writeFile(harness.root() + QLatin1String("/aussen.txt"), "aussen"));
    const FileEntry entry =
        isDir ? folderEntry(targetPath) : fileEntry(targetPath, hashName("x"), 1);
    QVERIFY(harness.releases().publishGroup(year, {entry}));
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(UpdaterHarness::logText(window.get()),
             QStringLiteral("Ungültiger Zielpfad: ") + targetPath);
    QVERIFY(harness.dialogs.shown.isEmpty());
    QVERIFY(!UpdaterHarness::button(window.get(), QStringLiteral("Update starten"))->isEnabled());
    QCOMPARE(harness.dataFileRequests(year), 0);
}

namespace {

// A store that takes only part of what is written to it, like a full disk.
// A store on a disk that holds three more bytes: the write that goes further fails.
class ShortStore : public PayloadStore
{
protected:
    qint64 writeData(const char *data, qint64 length) override
    {
        const qint64 room = 3 - size();
        if (room <= 0)
            return -1;
        return PayloadStore::writeData(data, qMin(length, room));
    }
};

} // namespace

void tst_UpdateCheck::shortWriteToStore()
{
    UpdateGroup group;
    group.files = {fileEntry(QStringLiteral("a.txt"), hashName("Inhalt"), 6)};
    UpdateDocument document;
    document.groups = {group};
    QTemporaryDir base;
    QSharedPointer<ShortStore> shortStore(new ShortStore);
    QVERIFY(shortStore->openStore());
    PendingUpdate update;
    update.offlineStore = shortStore;
    UpdateCheck check(
        document, base.path() + QLatin1Char('/'), false,
        [](QVector<FetchedDataFile> &files, const std::function<bool(int)> &) {
            for (FetchedDataFile &file : files) {
                file.bodyPath = stagedBody(compressPayload("Inhalt"));
                file.ok = !file.bodyPath.isEmpty();
            }
        },
        [](int, int) {});
    CheckSelection selection;
    selection.checkedGroups = {0};
    const CheckResult result = check.run(selection, update);
    QCOMPARE(result.outcome, CheckResult::Failed);
    QCOMPARE(result.log.value(0).title,
             QStringLiteral("Fehler beim Schreiben der temporären Datei:"));
    QVERIFY(update.offlineIndex.isEmpty());
}

void tst_UpdateCheck::oversizedPayloadRefused_data()
{
    QTest::addColumn<int>("statedSize");
    QTest::addColumn<QString>("reason");
    // Small enough to arrive, but stating far more than the document: refused unexpanded.
    QTest::newRow("small payload stating more")
        << 100000 << QStringLiteral("Die Serverdaten sind größer als angegeben.");
    // Larger than any payload of the entry's size can be: the download stops there.
    QTest::newRow("payload larger than the entry allows")
        << 100000000
        << QStringLiteral("Die Antwort des Servers ist größer als erwartet (mehr als %1 Bytes).")
               .arg(payloadSizeLimit(200));
}

void tst_UpdateCheck::oversizedPayloadRefused()
{
    QFETCH(int, statedSize);
    QFETCH(QString, reason);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    const QByteArray content(200, 'a');
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""), {{QStringLiteral("a.txt"), content}}}}));
    const QByteArray bomb = compressPayload(QByteArray(statedSize, '\0'));
    QVERIFY(ReleaseFixture::writeFile(harness.releases().packageDir(year) + QLatin1Char('/')
                                          + hashName(content) + QLatin1String(".bin"),
                                      bomb));
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(UpdaterHarness::logText(window.get()),
             QStringLiteral("Fehler beim Laden der Datei: a.txt ") + reason);
}

void tst_UpdateCheck::secondCheckFetchesNothingAgain()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"A\""), {{QStringLiteral("a.txt"), "a"}}},
         {QStringLiteral("name=\"B\""), {{QStringLiteral("b.txt"), "b"}}}}));
    const auto window = harness.open();
    UpdaterHarness::groupBox(window.get(), QStringLiteral("B"))->setChecked(false);
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(harness.dataFileRequests(year), 1);
    UpdaterHarness::groupBox(window.get(), QStringLiteral("B"))->setChecked(true);
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(harness.dataFileRequests(year), 2);
    QCOMPARE(harness.dialogLines().last(),
             QString(ok + QStringLiteral("2 Datei(en) (2e-06 MB) können aktualisiert werden.")));
}

void tst_UpdateCheck::failedCheckLeavesNothingToStart_data()
{
    QTest::addColumn<QString>("second"); // how the second check ends
    QTest::newRow("data file missing") << QStringLiteral("missing");
    QTest::newRow("two groups of one type") << QStringLiteral("duplicate");
}

// A first check finds a.txt; a second one fails. The start button must not install what the
// first found, and no call of the slot may report an update that did not happen.
void tst_UpdateCheck::failedCheckLeavesNothingToStart()
{
    QFETCH(QString, second);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"A\" type=\"programm\""),
          {{QStringLiteral("a.txt"), "a"}, {QStringLiteral("b.txt"), "b"}}},
         {QStringLiteral("name=\"B\" type=\"programm\" active=\"0\""),
          {{QStringLiteral("c.txt"), "c"}}}}));
    install(harness, QStringLiteral("b.txt"), "b");
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QVERIFY(UpdaterHarness::button(window.get(), QStringLiteral("Update starten"))->isEnabled());

    if (second == QLatin1String("missing")) {
        install(harness, QStringLiteral("b.txt"), "geändert");
        QVERIFY(QFile::remove(harness.releases().packageDir(year) + QLatin1Char('/') + hashName("b")
                              + QLatin1String(".bin")));
    } else {
        UpdaterHarness::groupBox(window.get(), QStringLiteral("B"))->setChecked(true);
    }
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QVERIFY(!UpdaterHarness::button(window.get(), QStringLiteral("Update starten"))->isEnabled());

    if (second == QLatin1String("duplicate"))
        UpdaterHarness::groupBox(window.get(), QStringLiteral("B"))->setChecked(false);
    harness.dialogs.shown.clear();
    harness.dialogs.answers.enqueue(true);
    window->accept();
    QCOMPARE(harness.dialogLines(),
             QStringList {QStringLiteral("Info:|Die Einstellungen wurden verändert, bitte suchen "
                                         "Sie erneut nach Updates.")});
    QVERIFY(!QFile::exists(harness.installDir() + QLatin1String("a.txt")));
    QVERIFY(!QFile::exists(harness.installDir() + QLatin1String("versioninfo.dat")));
}

void tst_UpdateCheck::everyCheckStartsFresh_data()
{
    QTest::addColumn<bool>("installFirst");
    QTest::newRow("checked twice") << false;
    QTest::newRow("installed, then the folder removed") << true;
}

// A missing folder is pending at every check that finds it missing, not only at the first.
void tst_UpdateCheck::everyCheckStartsFresh()
{
    QFETCH(bool, installFirst);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""),
          {{QStringLiteral("leer/"), QByteArray()}, {QStringLiteral("a.txt"), "a"}}}}));
    install(harness, QStringLiteral("a.txt"), "a");
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    if (installFirst) {
        harness.dialogs.answers.enqueue(true);
        UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));
        QVERIFY(QDir(harness.installDir()).rmdir(QStringLiteral("leer")));
    }
    harness.dialogs.shown.clear();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(harness.dialogLines().last(),
             QString(ok + QStringLiteral("1 Datei(en) (0 MB) können aktualisiert werden.")));
    harness.dialogs.answers.enqueue(true);
    UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));
    QVERIFY(QFileInfo(harness.installDir() + QLatin1String("leer")).isDir());
    QVERIFY(UpdaterHarness::logText(window.get())
                .endsWith(QLatin1String("1 Datei(en) wurden aktualisiert.")));
}

void tst_UpdateCheck::onlyRegularFilesAreRead_data()
{
    QTest::addColumn<QString>("standing"); // what stands where a.txt goes
    QTest::newRow("pipe") << QStringLiteral("pipe");
    QTest::newRow("link to a device without end") << QStringLiteral("/dev/zero");
    QTest::newRow("link to a file outside") << QStringLiteral("outside");
}

// Reading a pipe or /dev/zero would never end; a link may lead anywhere. None of them is read:
// the file counts as differing, and the installation puts a regular file in its place.
void tst_UpdateCheck::onlyRegularFilesAreRead()
{
    QFETCH(QString, standing);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""), {{QStringLiteral("a.txt"), "a"}}}}));
    const QString target = harness.installDir() + QLatin1String("a.txt");
    const QString outside = harness.root() + QLatin1String("/outside.txt");
    QVERIFY(ReleaseFixture::writeFile(outside, "a"));
    if (standing == QLatin1String("pipe"))
        QVERIFY(::mkfifo(QFile::encodeName(target).constData(), 0644) == 0);
    else
        QVERIFY(QFile::link(standing == QLatin1String("outside") ? outside : standing, target));
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(harness.dialogLines().last(),
             QString(ok + QStringLiteral("1 Datei(en) (1e-06 MB) können aktualisiert werden.")));
    harness.dialogs.answers.enqueue(true);
    UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));
    QVERIFY(!QFileInfo(target).isSymLink());
    QVERIFY(QFileInfo(target).isFile());
    QCOMPARE(harness.dialogLines().last(),
             QStringLiteral("Ergebnis:|Die Aktualisierung wurde erfolgreich durchgeführt."));
}

void tst_UpdateCheck::sharedContentFetchedOnce()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    const QByteArray same = QByteArray("Gleicher Inhalt ").repeated(1000);
    QVERIFY(harness.releases().build(QStringLiteral("r"), year,
                                     {{QStringLiteral("name=\"Programm\""),
                                       {{QStringLiteral("a.txt"), same},
                                        {QStringLiteral("b.txt"), same},
                                        {QStringLiteral("sub/c.txt"), same}}}}));
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(harness.dataFileRequests(year), 1);
    QCOMPARE(harness.dialogLines().last(),
             QString(ok + QStringLiteral("4 Datei(en) (0.048 MB) können aktualisiert werden.")));
    harness.dialogs.answers.enqueue(true);
    UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));
    for (const char *path : {"a.txt", "b.txt", "sub/c.txt"}) {
        QFile file(harness.installDir() + QLatin1String(path));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), same);
    }
}

void tst_UpdateCheck::offlinePayloadsExpandedWhenAsked_data()
{
    QTest::addColumn<bool>("damaged");
    QTest::newRow("intact offline file") << false;
    QTest::newRow("one flipped byte in a record") << true;
}

// Start-up copies nothing from the offline file; the check expands what it needs, and checks
// it against its name.
void tst_UpdateCheck::offlinePayloadsExpandedWhenAsked()
{
    QFETCH(bool, damaged);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    const QByteArray current = QByteArray("aktuell ").repeated(10000);
    const QByteArray missing = QByteArray("fehlt ").repeated(1000);
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), 2030,
        {{QStringLiteral("name=\"Programm\""),
          {{QStringLiteral("aktuell.txt"), current}, {QStringLiteral("fehlt.txt"), missing}}}}));
    install(harness, QStringLiteral("aktuell.txt"), current);
    const QString offline = harness.releases().offlineFile(QStringLiteral("r"));
    if (damaged) {
        QFile file(offline);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray bytes = file.readAll();
        const qint64 at = bytes.indexOf(compressPayload(missing)) + 20;
        QVERIFY(at > 20);
        file.seek(at);
        file.write(QByteArray(1, char(bytes.at(int(at)) ^ 0x40)));
    }
    harness.server().close();
    QTemporaryDir temp;
    const QByteArray tmpdir = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    const auto window = harness.open({QStringLiteral("--offline"), offline});
    const QStringList storesAtStart = QDir(temp.path()).entryList(QDir::Files);
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    const QFileInfoList stores = QDir(temp.path()).entryInfoList(QDir::Files);
    qputenv("TMPDIR", tmpdir);
    QVERIFY2(storesAtStart.isEmpty(), qPrintable(storesAtStart.join(QLatin1Char(' '))));
    if (damaged) {
        QVERIFY2(UpdaterHarness::logText(window.get())
                     .startsWith(QLatin1String("Falscher Hash-Wert in der Offline-Update-Datei: ")),
                 qPrintable(UpdaterHarness::logText(window.get())));
        QVERIFY(
            !UpdaterHarness::button(window.get(), QStringLiteral("Update starten"))->isEnabled());
        return;
    }
    QCOMPARE(stores.size(), 1);
    QCOMPARE(stores.first().size(), qint64(missing.size()));
    harness.dialogs.answers.enqueue(true);
    UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));
    QFile file(harness.installDir() + QLatin1String("fehlt.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), missing);
}

// A killed run leaves its store; the next start removes it, and every run removes its own.
void tst_UpdateCheck::storesOfEndedRunsRemoved()
{
    QTemporaryDir temp;
    const QByteArray tmpdir = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    QProcess ended;
    ended.start(QStringLiteral("true"), QStringList());
    QVERIFY(ended.waitForStarted());
    const qint64 endedPid = ended.processId();
    QVERIFY(ended.waitForFinished());
    const QString stale = temp.filePath(QStringLiteral("lg_updater-store-%1-AbCdEf").arg(endedPid));
    const QString running = temp.filePath(
        QStringLiteral("lg_updater-store-%1-GhIjKl").arg(QCoreApplication::applicationPid()));
    QVERIFY(ReleaseFixture::writeFile(stale, QByteArray(1000, 'x')));
    QVERIFY(ReleaseFixture::writeFile(running, "x"));
    {
        UpdaterHarness harness;
        QVERIFY(harness.isValid());
        QVERIFY(harness.releases().build(
            QStringLiteral("r"), year,
            {{QStringLiteral("name=\"Programm\""), {{QStringLiteral("a.txt"), "a"}}}}));
        const auto window = harness.open();
        QVERIFY(!QFile::exists(stale));
        UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
        QCOMPARE(QDir(temp.path()).entryList(QDir::Files).size(), 2);
    }
    qputenv("TMPDIR", tmpdir);
    QCOMPARE(QDir(temp.path()).entryList(QDir::Files), QStringList {QFileInfo(running).fileName()});
}

void tst_UpdateCheck::storeThatCannotBeWritten_data()
{
    QTest::addColumn<QByteArray>("options"); // of the temporary folder's file system
    QTest::addColumn<QString>("reason");
    QTest::newRow("full disk") << QByteArray("size=64k")
                               << QStringLiteral("No space left on device");
    QTest::newRow("store cannot be made")
        << QByteArray("ro,size=64k") << QStringLiteral("Read-only file system");
}

// The store on a full disk, or where it cannot be made: the line names the reason, not an
// unknown error or a wrong hash.
void tst_UpdateCheck::storeThatCannotBeWritten()
{
    QFETCH(QByteArray, options);
    QTemporaryDir temp;
    MountedFileSystem disk(temp.path(), "tmpfs", options.constData());
    if (!disk.isMounted())
        QSKIP(qPrintable(QLatin1String("no tmpfs: ") + disk.errorString()));
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(QStringLiteral("r"), year,
                                     {{QStringLiteral("name=\"Programm\""),
                                       {{QStringLiteral("a.txt"), QByteArray(100000, 'a')}}}}));
    const QByteArray tmpdir = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    qputenv("TMPDIR", tmpdir);
    QTEST(UpdaterHarness::logText(window.get()).section(QLatin1String("a.txt "), 1), "reason");
    QVERIFY(UpdaterHarness::logText(window.get())
                .startsWith(QStringLiteral("Fehler beim Schreiben der temporären Datei: ")
                            + harness.installDir() + QLatin1String("a.txt ")));
}

// An offline record whose payload states more than the document's entry: not expanded.
void tst_UpdateCheck::offlinePayloadLargerThanItsEntry()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    const QByteArray content(100000, 'x');
    UpdateGroup group;
    group.name = QStringLiteral("Programm");
    group.files = {fileEntry(QStringLiteral("a.txt"), hashName(content), 1)};
    UpdateDocument document;
    document.groups = {group};
    const QString offline = harness.root() + QLatin1String("/hand.dat");
    OfflineFileWriter writer;
    QVERIFY(writer.open(offline, 2030));
    QVERIFY(writer.appendRecord(hashName(content), 0, 0, compressPayload(content)));
    QVERIFY(writer.appendDocument(compressPayload(documentToBinary(document))));
    QVERIFY(writer.finish());
    harness.server().close();
    const auto window = harness.open({QStringLiteral("--offline"), offline});
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(UpdaterHarness::logText(window.get()),
             QStringLiteral("Fehler beim Laden der Datei: a.txt Die Daten der "
                            "Offline-Update-Datei sind größer als angegeben."));
}

// An installed file that becomes a pipe between the look at it and its comparison is refused
// as unreadable: the comparison, on a worker the search waits for, does not wait for a writer.
void tst_UpdateCheck::installedFileSwappedForAPipe()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString pipe = dir.filePath(QStringLiteral("a.txt"));
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QString hash;
    QString error;
    QVERIFY(!hashNameOfFile(pipe, &hash, &error));
    QCOMPARE(error, notRegularFileText(false));
}

// A pipe named as the offline update file, at start or swapped in before the search, is refused
// at once: nothing waits for a writer that never comes.
void tst_UpdateCheck::offlineFileThatIsAPipe()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("offline"), year,
        {{QStringLiteral("name=\"Programm\""), {{QStringLiteral("a.txt"), "neu"}}}}));
    harness.server().close();
    const QString offline = harness.releases().offlineFile(QStringLiteral("offline"));
    const QString pipe = harness.root() + QLatin1String("/rohr.dat");
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    {
        const auto window = harness.open({QStringLiteral("--offline"), pipe});
        QCOMPARE(harness.dialogLines(),
                 QStringList {QStringLiteral("Fehler beim Lesen der Datei:|Das ist keine "
                                             "gewöhnliche Datei.")});
    }
    const auto window = harness.open({QStringLiteral("--offline"), offline});
    QVERIFY(QFile::remove(offline));
    QCOMPARE(mkfifo(QFile::encodeName(offline).constData(), 0600), 0);
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QCOMPARE(UpdaterHarness::logText(window.get()),
             QStringLiteral("Fehler beim Lesen der Datei: ") + offline
                 + QStringLiteral(" Das ist keine gewöhnliche Datei."));
}

void tst_UpdateCheck::runningUpdaterInARelease_data()
{
    QTest::addColumn<QByteArray>("installed");
    QTest::addColumn<QString>("searchLog");
    QTest::addColumn<QString>("installLog"); // empty: nothing to install
    QTest::newRow("current") << QByteArray("Updater 2") << QString() << QString();
    // Found and counted like any file; only the write over the running program is refused.
    QTest::newRow("differs") << QByteArray("Updater 1")
                             << QStringLiteral("1 Datei(en) (9e-06 MB) können aktualisiert werden.")
                             << QStringLiteral("Ungültiger Zielpfad: Updater/")
            + updaterExecutableName();
}

// A release may list the running updater's own file: a current copy is no obstacle, a
// differing one is pending, but cannot be written while it runs.
void tst_UpdateCheck::runningUpdaterInARelease()
{
    QFETCH(QByteArray, installed);
    QFETCH(QString, installLog);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    const QString updater = QStringLiteral("Updater/") + updaterExecutableName();
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""), {{updater, "Updater 2"}}}}));
    install(harness, updater, installed);
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    QTEST(UpdaterHarness::logText(window.get()), "searchLog");
    if (installLog.isEmpty())
        return;
    harness.dialogs.answers.enqueue(true);
    harness.dialogs.answers.enqueue(false); // no restart with raised rights
    UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));
    QVERIFY2(UpdaterHarness::logText(window.get()).startsWith(installLog),
             qPrintable(UpdaterHarness::logText(window.get())));
    QFile kept(harness.installDir() + updater);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), installed);
}

QTEST_MAIN(tst_UpdateCheck)
#include "tst_updatecheck.moc"
