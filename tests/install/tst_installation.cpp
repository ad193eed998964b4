#include "mountedfilesystem.h"
#include "shownlog.h"
#include "testreleasekey.h"
#include "updaterharness.h"

#include "install/fileinstaller.h"
#include "install/stagedbatch.h"
#include "package/hashname.h"
#include "package/payloadstore.h"
#include "package/targetpath.h"
#include "platform/platform.h"

#include <QtTest>
#include <QtWidgets>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// The installation: through the window on releases the builder made, and the file installer
// on its own for states that only a damaged store or a refusing system produce.
class tst_Installation : public QObject
{
    Q_OBJECT

private slots:
    void fullInstallIsByteIdentical();
    void signedReleaseInstallsAndOlderIsRefused_data();
    void signedReleaseInstallsAndOlderIsRefused();
    void unreadableReleaseRecord_data();
    void unreadableReleaseRecord();
    void releaseRecordReplacedBeforeInstalling();
    void stagingLeftoversRemovedAtStart();
    void lockFileWithoutOwner();
    void lockFileThatIsNoFileOfItsOwn_data();
    void lockFileThatIsNoFileOfItsOwn();
    void readOnlyTargetAndRecordOverwritten();
    void versionRecordCannotBeWritten_data();
    void versionRecordCannotBeWritten();
    void versionRecordOnlyAfterEveryFile_data();
    void versionRecordOnlyAfterEveryFile();
    void updaterOutdatedHandsOver_data();
    void updaterOutdatedHandsOver();
    void elevatedRestartAfterFailure_data();
    void elevatedRestartAfterFailure();
    void pluginCleaning();
    void stalePluginThatStaysFailsTheRun();
    void alteredPayloadStopsTheRun_data();
    void alteredPayloadStopsTheRun();
    void timeFailureOnThirdOfFive();
    void folderEntryForExistingFolder();
    void fileWhereAFolderGoes();
    void nothingPending();
    void stagedWrites_data();
    void stagedWrites();
    void filesInBatches_data();
    void filesInBatches();
    void linkPlantedWhileFilesWait_data();
    void linkPlantedWhileFilesWait();
    void folderSwappedForALinkDuringTheRun_data();
    void folderSwappedForALinkDuringTheRun();
    void hardLinkAtATarget();
    void folderKnownUnderTwoNames_data();
    void folderKnownUnderTwoNames();
    void fullDiskCommitsEarly();
    void hostileTargetPaths_data();
    void hostileTargetPaths();
    void linksInsideTheInstallation_data();
    void linksInsideTheInstallation();
    void fileModes_data();
    void fileModes();
    void resolvedPaths_data();
    void resolvedPaths();

private:
    int year = QDate::currentDate().year();
};

namespace {

// A document and a store made by hand, for the file installer alone.
struct Crafted
{
    QString type; // of the one group
    QString lockPath; // of the InstallationLock, none when empty
    bool inAddedOrder = false; // keys that sort as the files were added, not by their hashes
    QVector<FileEntry> files;
    PendingUpdate update = withStore();
    OfflineIndex &index = update.offlineIndex;
    QSharedPointer<QTemporaryFile> &store = update.offlineStore;

    static PendingUpdate withStore()
    {
        PendingUpdate update;
        update.offlineStore = PayloadStore::create();
        return update;
    }

    void addFile(const QString &targetPath, const QByteArray &content, bool pending = true)
    {
        OfflineEntry entry;
        entry.offset = store->size();
        store->seek(entry.offset);
        store->write(content);
        entry.size = content.size();
        entry.fileIndex = files.size();
        entry.pending = pending;
        index.insert(inAddedOrder ? QStringLiteral("%1").arg(files.size(), 6, 10, QLatin1Char('0'))
                                  : hashName(content),
                     entry);
        files.append({targetPath, false, hashName(content), content.size(),
                      QStringLiteral("2016-03-01T14:05:09"), QStringLiteral("2017-01-02T03:04:05"),
                      QStringLiteral("2018-05-06T07:08:09")});
    }
    void addFolder(const QString &targetPath)
    {
        OfflineEntry entry;
        entry.fileIndex = files.size();
        entry.pending = true;
        index.insert(QString(), entry);
        files.append({targetPath, true, QString(), 0, QString(),
                      QStringLiteral("2017-01-02T03:04:05"), QString()});
    }
    InstallResult install(
        const QString &baseDir, PlatformServices &platform,
        const std::function<void(int, int)> &progress = [](int, int) {})
    {
        InstallRequest request;
        UpdateGroup group;
        group.type = type;
        group.files = files;
        request.document.groups = {group};
        request.baseDir = baseDir;
        request.record = {2026, 3, 1, 0};
        request.lockPath = lockPath;
        FileInstaller installer(request, platform, progress);
        return installer.run(update);
    }
    QList<bool> pendingByFileIndex() const
    {
        QVector<bool> pending(files.size());
        for (const OfflineEntry &entry : index)
            pending[entry.fileIndex] = entry.pending;
        return pending.toList();
    }
};

// A client with the publisher's key, and release 100 of the year signed with that key, which
// lies away from the release's folders, as a publisher keeps it.
bool publishSignedRelease(UpdaterHarness &harness, const QTemporaryDir &keyDir, int year)
{
    TestReleaseKey key;
    if (!makeTestReleaseKey(keyDir.filePath(QStringLiteral("publisher.pem")), &key))
        return false;
    harness.releaseKeys = {key.publicKey};
    harness.releases().rootAttributes =
        QStringLiteral("signkey=\"%1\" release=\"100\"").arg(key.pemPath);
    return harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""), {{QStringLiteral("Ledgora.exe"), "MZ neu"}}}});
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

const QDateTime recordedWrite(QDate(2017, 1, 2), QTime(3, 4, 5), Qt::LocalTime);

} // namespace

void tst_Installation::fullInstallIsByteIdentical()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    const QMap<QString, QByteArray> files {
        {QStringLiteral("Ledgora.exe"), QByteArray("MZ").repeated(5000)},
        {QStringLiteral("Vorlagen/SKR03 Kontenrahmen.csv"), "Konto;Name\n1000;Kasse\n"},
        {QStringLiteral("Vorlagen/leer.txt"), QByteArray()},
        {QStringLiteral("Archiv/"), QByteArray()}};
    QVERIFY(harness.releases().build(QStringLiteral("r"), year,
                                     {{QStringLiteral("name=\"Programm\""), files}}));
    const auto window = harness.open();
    harness.searchAndInstall(window.get());

    const QStringList dialogs = harness.dialogLines();
    QCOMPARE(dialogs.size(), 4);
    QVERIFY(dialogs.at(2).startsWith(
        QStringLiteral("Bestätigung:|Das Update installiert die Daten des Jahres '%1'.")
            .arg(year)));
    QCOMPARE(dialogs.at(3),
             QStringLiteral("Ergebnis:|Die Aktualisierung wurde erfolgreich durchgeführt."));
    const QString source = harness.releases().sourceDir(QStringLiteral("r"), 0) + QLatin1Char('/');
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        const QString installed = harness.installDir() + it.key();
        if (it.key().endsWith(QLatin1Char('/'))) {
            QVERIFY(QFileInfo(installed).isDir());
            continue;
        }
        QCOMPARE(read(installed), it.value());
        const QDateTime expected = QFileInfo(source + it.key()).lastModified();
        QCOMPARE(QFileInfo(installed).lastModified().toSecsSinceEpoch(),
                 expected.toSecsSinceEpoch());
    }
    QCOMPARE(read(harness.installDir() + QLatin1String("versioninfo.dat")),
             QByteArray::number(year) + "\r\n3\r\n1\r\n0");
    QVERIFY(!UpdaterHarness::button(window.get(), QStringLiteral("Update starten"))->isEnabled());
    QVERIFY(UpdaterHarness::logText(window.get())
                .endsWith(QLatin1String("5 Datei(en) wurden aktualisiert.")));
    QVERIFY(harness.platform.starts.isEmpty());
}

void tst_Installation::signedReleaseInstallsAndOlderIsRefused_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("updater") << QStringList();
    // The copy in updater-temp/ keeps the record of the updater it replaces, not one of its own.
    QTest::newRow("new copy in mode 3")
        << QStringList {QStringLiteral("--mode"), QStringLiteral("3")};
}

// A client with the publisher's key installs a signed release from the server and remembers its
// number beside itself; the release before it, served again as an attacker would, is refused
// with its own line.
void tst_Installation::signedReleaseInstallsAndOlderIsRefused()
{
    QFETCH(QStringList, options);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    // Away from the release's folders, as a publisher keeps it.
    QTemporaryDir keyDir;
    TestReleaseKey key;
    QVERIFY(makeTestReleaseKey(keyDir.filePath(QStringLiteral("publisher.pem")), &key));
    harness.releaseKeys = {key.publicKey};
    ReleaseFixture &releases = harness.releases();
    const QString published = releases.packageDir(year);
    const QString kept = harness.root() + QLatin1String("/release-41");
    const QString keptOffline = harness.root() + QLatin1String("/release-41.dat");
    releases.rootAttributes = QStringLiteral("signkey=\"%1\" release=\"41\"").arg(key.pemPath);
    QVERIFY(releases.build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""), {{QStringLiteral("Ledgora.exe"), "MZ alt"}}}}));
    QVERIFY(QDir().rename(published, kept));
    QVERIFY(QFile::rename(releases.offlineFile(QStringLiteral("r")), keptOffline));
    releases.rootAttributes = QStringLiteral("signkey=\"%1\" release=\"42\"").arg(key.pemPath);
    QVERIFY(releases.build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""), {{QStringLiteral("Ledgora.exe"), "MZ neu"}}}}));
    {
        const auto window = harness.open(options);
        harness.searchAndInstall(window.get());
        QCOMPARE(harness.dialogLines().constLast(),
                 QStringLiteral("Ergebnis:|Die Aktualisierung wurde erfolgreich durchgeführt."));
    }
    QCOMPARE(read(harness.installDir() + QLatin1String("Ledgora.exe")), QByteArray("MZ neu"));
    const QByteArray record =
        read(harness.installDir() + QLatin1String("Updater/releasenumbers.dat"));
    QVERIFY2(QRegularExpression(QStringLiteral("^%1 42 [0-9a-f]{64}\n$").arg(year))
                 .match(QString::fromLatin1(record))
                 .hasMatch(),
             record.constData());

    QVERIFY(QDir(published).removeRecursively() && QDir().rename(kept, published));
    const auto window = harness.open(options);
    QVERIFY2(UpdaterHarness::logText(window.get())
                 .contains(QStringLiteral("Älteres Release abgelehnt: ")
                           + harness.server().baseUrl() + QLatin1String("ldg_update/")
                           + QString::number(year)
                           + QStringLiteral("/info.sig Release 41 ist älter "
                                            "als das installierte Release 42.")),
             qPrintable(UpdaterHarness::logText(window.get())));
    QVERIFY(!UpdaterHarness::groupBox(window.get(), QStringLiteral("Programm")));
    QCOMPARE(read(harness.installDir() + QLatin1String("Ledgora.exe")), QByteArray("MZ neu"));
    // The server answered: no offer of an offline file, which would be no way round a refusal.
    QCOMPARE(harness.dialogLines().constLast(),
             QStringLiteral("Update abgelehnt:|Älteres Release abgelehnt:\r\nRelease 41 ist älter "
                            "als das installierte Release 42."));

    // The same older release as an offline file: refused, unless the user allows it.
    const QStringList offline {QStringLiteral("--offline"), keptOffline};
    const int boxes = harness.dialogLines().size();
    QVERIFY(!UpdaterHarness::groupBox(harness.open(options + offline).get(),
                                      QStringLiteral("Programm")));
    QCOMPARE(harness.dialogLines().mid(boxes),
             QStringList {QStringLiteral("Älteres Release abgelehnt:|Release 41 ist älter als das "
                                         "installierte Release 42.")});
    QVERIFY(UpdaterHarness::groupBox(
        harness.open(options + offline + QStringList {QStringLiteral("--allowolder")}).get(),
        QStringLiteral("Programm")));
}

void tst_Installation::unreadableReleaseRecord_data()
{
    QTest::addColumn<QString>("kind"); // garbage, folder, link, fifo, unreadable
    QTest::addColumn<QString>("reason");
    QTest::newRow("damaged") << QStringLiteral("garbage")
                             << QStringLiteral("Zeile 1 ist beschädigt.");
    QTest::newRow("a folder") << QStringLiteral("folder") << notRegularFileText(false);
    QTest::newRow("a link to /dev/null") << QStringLiteral("link") << notRegularFileText(true);
    QTest::newRow("a FIFO") << QStringLiteral("fifo") << notRegularFileText(false);
    QTest::newRow("unreadable") << QStringLiteral("unreadable")
                                << QString::fromLocal8Bit(std::strerror(EACCES));
}

// A record of signed releases that exists but cannot be read lets no signed release in: the
// window says why at once, without waiting on a pipe, and installs nothing.
void tst_Installation::unreadableReleaseRecord()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    if (kind == QLatin1String("unreadable") && geteuid() == 0)
        QSKIP("root reads every file");
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QTemporaryDir keyDir;
    QVERIFY(publishSignedRelease(harness, keyDir, year));
    const QString path = harness.installDir() + QLatin1String("Updater/releasenumbers.dat");
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(path));
    else if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), path));
    else if (kind == QLatin1String("fifo"))
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        QVERIFY(ReleaseFixture::writeFile(path, QByteArray::number(year) + " 200\r\n"));
    if (kind == QLatin1String("unreadable"))
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));

    const auto window = harness.open();
    QVERIFY(!UpdaterHarness::groupBox(window.get(), QStringLiteral("Programm")));
    const QString line = QStringLiteral("Fehler beim Lesen der Release-Nummern: ") + path
        + QLatin1Char(' ') + reason;
    QVERIFY2(UpdaterHarness::logText(window.get()).contains(line),
             qPrintable(UpdaterHarness::logText(window.get())));
    QCOMPARE(harness.dialogLines(),
             QStringList {QStringLiteral("Update abgelehnt:|Fehler beim Lesen der Release-Nummern:"
                                         "\r\n")
                          + path + QLatin1String(": ") + reason});
    QVERIFY(harness.server().requestedPaths.isEmpty());
    QVERIFY(!QFile::exists(harness.installDir() + QLatin1String("Ledgora.exe")));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// The record turns into a folder after the release loaded: the run stops before it writes any
// file, not after the installation, which would leave a release that no record knows.
void tst_Installation::releaseRecordReplacedBeforeInstalling()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QTemporaryDir keyDir;
    QVERIFY(publishSignedRelease(harness, keyDir, year));
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    const QString path = harness.installDir() + QLatin1String("Updater/releasenumbers.dat");
    QVERIFY(QDir().mkdir(path));
    harness.dialogs.answers.enqueue(true);
    harness.dialogs.answers.enqueue(false); // no restart with raised rights
    UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));
    QVERIFY(!QFile::exists(harness.installDir() + QLatin1String("Ledgora.exe")));
    QVERIFY(!QFile::exists(harness.installDir() + QLatin1String("versioninfo.dat")));
    QVERIFY2(UpdaterHarness::logText(window.get())
                 .contains(QStringLiteral("Fehler beim Lesen der Release-Nummern: ") + path),
             qPrintable(UpdaterHarness::logText(window.get())));
}

// A killed installation leaves staging files; the next start removes them, but not while
// another updater writes into the installation, which then also refuses a second installation.
void tst_Installation::stagingLeftoversRemovedAtStart()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(QStringLiteral("r"), year,
                                     {{QStringLiteral("name=\"Programm\""),
                                       {{QStringLiteral("a.txt"), "neu"},
                                        {QStringLiteral("sub/b.dll"), "neu"},
                                        {QStringLiteral("c"), "neu"}}}}));
    const QString install = harness.installDir();
    const QString outside = harness.root() + QLatin1String("/draussen.txt");
    QVERIFY(ReleaseFixture::writeFile(outside, "fremd"));
    for (const char *name : {"a.txt.lgtmp", "sub/b.dll.lgtmp", "fremd.lgtmp"})
        QVERIFY(ReleaseFixture::writeFile(install + QLatin1String(name), "alt"));
    QVERIFY(QFile::link(outside, install + QLatin1String("c.lgtmp")));
    harness.open();
    QVERIFY(!QFile::exists(install + QLatin1String("a.txt.lgtmp")));
    QVERIFY(!QFile::exists(install + QLatin1String("sub/b.dll.lgtmp")));
    QVERIFY(!QFileInfo(install + QLatin1String("c.lgtmp")).isSymLink());
    QCOMPARE(read(outside), QByteArray("fremd"));
    // Not the staging name of a target: not the updater's to remove.
    QCOMPARE(read(install + QLatin1String("fremd.lgtmp")), QByteArray("alt"));

    QLockFile another(install + QLatin1String("Updater/lg_updater.lock"));
    QVERIFY(another.tryLock(0));
    QVERIFY(ReleaseFixture::writeFile(install + QLatin1String("a.txt.lgtmp"), "wird geschrieben"));
    const auto window = harness.open();
    QCOMPARE(read(install + QLatin1String("a.txt.lgtmp")), QByteArray("wird geschrieben"));
    harness.dialogs.answers.enqueue(true);
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));
    // Raised rights would not help against another updater: none are offered.
    QVERIFY2(!harness.dialogLines().constLast().startsWith(
                 QStringLiteral("Bestätigung:|Es sind Fehler")),
             qPrintable(harness.dialogLines().constLast()));
    QVERIFY2(UpdaterHarness::logText(window.get())
                 .startsWith(QStringLiteral("Ein anderer Updater schreibt gerade in diese "
                                            "Installation: ")
                             + install + QLatin1String("Updater/lg_updater.lock")),
             qPrintable(UpdaterHarness::logText(window.get())));
    QVERIFY(!QFile::exists(install + QLatin1String("a.txt")));
}

// A lock file that names no process, left by a crash while it was made, does not stop every
// later installation.
void tst_Installation::lockFileWithoutOwner()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""), {{QStringLiteral("a.txt"), "neu"}}}}));
    const QString lock = harness.installDir() + QLatin1String("Updater/lg_updater.lock");
    QVERIFY(ReleaseFixture::writeFile(lock, QByteArray()));
    QFile file(lock);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                             QFileDevice::FileModificationTime));
    file.close();
    const auto window = harness.open();
    harness.searchAndInstall(window.get());
    QCOMPARE(read(harness.installDir() + QLatin1String("a.txt")), QByteArray("neu"));
}

void tst_Installation::lockFileThatIsNoFileOfItsOwn_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a pipe") << QStringLiteral("pipe");
    QTest::newRow("a link to a file outside") << QStringLiteral("link");
    QTest::newRow("a dangling link") << QStringLiteral("dangling");
    QTest::newRow("a hard link to a file outside") << QStringLiteral("hard link");
}

// Whatever stands under the lock's name, the run neither waits for a pipe's writer nor
// creates, changes or locks a file outside through a link: without a lock of its own it
// installs, as where the folder gives no rights.
void tst_Installation::lockFileThatIsNoFileOfItsOwn()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString base = dir.filePath(QStringLiteral("install/"));
    const QString lock = base + QLatin1String("Updater/lg_updater.lock");
    const QString outside = dir.filePath(QStringLiteral("outside.dat"));
    QVERIFY(QDir().mkpath(base + QLatin1String("Updater")));
    QVERIFY(ReleaseFixture::writeFile(outside, "draußen"));
    const QByteArray name = QFile::encodeName(lock);
    if (kind == QLatin1String("pipe"))
        QVERIFY(mkfifo(name.constData(), 0600) == 0);
    if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(outside, lock));
    if (kind == QLatin1String("dangling"))
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("new.dat")), lock));
    if (kind == QLatin1String("hard link"))
        QVERIFY(link(QFile::encodeName(outside).constData(), name.constData()) == 0);
    Crafted crafted;
    crafted.lockPath = lock;
    crafted.addFile(QStringLiteral("a.txt"), "neu");
    PlatformServices platform;
    const InstallResult result = crafted.install(base, platform);
    QVERIFY2(!result.error, qPrintable(shownLog(result.log)));
    QCOMPARE(read(base + QLatin1String("a.txt")), QByteArray("neu"));
    QCOMPARE(read(outside), QByteArray("draußen"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("new.dat"))));
    // Nobody holds a lock on the file outside.
    const int descriptor = open(QFile::encodeName(outside).constData(), O_RDONLY);
    QVERIFY(descriptor >= 0);
    QCOMPARE(flock(descriptor, LOCK_EX | LOCK_NB), 0);
    close(descriptor);
}

void tst_Installation::readOnlyTargetAndRecordOverwritten()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""), {{QStringLiteral("a.txt"), "neu"}}}}));
    for (const char *name : {"a.txt", "versioninfo.dat"}) {
        const QString path = harness.installDir() + QLatin1String(name);
        QVERIFY(ReleaseFixture::writeFile(path, "2016\r\n5\r\n0\r\n0"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadOther));
    }
    const auto window = harness.open();
    harness.searchAndInstall(window.get());
    QCOMPARE(read(harness.installDir() + QLatin1String("a.txt")), QByteArray("neu"));
    QCOMPARE(read(harness.installDir() + QLatin1String("versioninfo.dat")),
             QByteArray::number(year) + "\r\n5\r\n1\r\n0");
}

void tst_Installation::versionRecordCannotBeWritten_data()
{
    QTest::addColumn<bool>("elevated");
    QTest::newRow("without raised rights") << false;
    QTest::newRow("with raised rights") << true;
}

void tst_Installation::versionRecordCannotBeWritten()
{
    QFETCH(bool, elevated);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    harness.platform.isElevatedProcess = elevated;
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""), {{QStringLiteral("a.txt"), "a"}}}}));
    QVERIFY(QDir().mkpath(harness.installDir() + QLatin1String("versioninfo.dat")));
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    harness.dialogs.shown.clear();
    harness.dialogs.answers.enqueue(true);
    harness.dialogs.answers.enqueue(false);
    UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));

    // The files come first; the record that fails after them makes the run a failure.
    QCOMPARE(read(harness.installDir() + QLatin1String("a.txt")), QByteArray("a"));
    const QString log = UpdaterHarness::logText(window.get());
    QVERIFY2(log.contains(QStringLiteral("Fehler beim Schreiben der Datei: ") + harness.installDir()
                          + QLatin1String("versioninfo.dat")),
             qPrintable(log));
    QVERIFY(log.endsWith(QLatin1String("1 Datei(en) wurden aktualisiert.")));
    QVERIFY(UpdaterHarness::button(window.get(), QStringLiteral("Update starten"))->isEnabled());
    QStringList titles;
    for (const ScriptedDialogs::Shown &shown : qAsConst(harness.dialogs.shown))
        titles.append(shown.title);
    // The start question, then (without raised rights) the offer to restart with them.
    QCOMPARE(titles.size(), elevated ? 1 : 2);
    if (!elevated)
        QVERIFY(harness.dialogs.shown.at(1).text.startsWith(
            QLatin1String("Es sind Fehler aufgetreten.\r\n")));
    QVERIFY(harness.platform.starts.isEmpty());
}

void tst_Installation::versionRecordOnlyAfterEveryFile_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QByteArray>("record"); // versioninfo.dat afterwards
    const QByteArray before = "2016\r\n5\r\n0\r\n1";
    QTest::newRow("no failure") << QString() << QByteArray("2026\r\n3\r\n1\r\n0");
    QTest::newRow("second file refused") << QStringLiteral("replace") << before;
    QTest::newRow("times of the first file refused") << QStringLiteral("times") << before;
    QTest::newRow("second payload damaged") << QStringLiteral("payload") << before;
}

// A record written before a failure would claim a release, and a beta state the user could
// no longer leave, that was never installed.
void tst_Installation::versionRecordOnlyAfterEveryFile()
{
    QFETCH(QString, failure);
    QTemporaryDir base;
    const QString record = base.filePath(QStringLiteral("versioninfo.dat"));
    QVERIFY(ReleaseFixture::writeFile(record, "2016\r\n5\r\n0\r\n1"));
    FakePlatform platform;
    Crafted crafted;
    crafted.addFile(QStringLiteral("1.txt"), "eins");
    crafted.addFile(QStringLiteral("2.txt"), "zwei");
    const OfflineEntry second = crafted.index.value(hashName("zwei"));
    if (failure == QLatin1String("replace"))
        platform.failReplaceOf = QStringLiteral("/2.txt");
    if (failure == QLatin1String("times"))
        platform.failTimesOnCall = 1;
    if (failure == QLatin1String("payload")) {
        crafted.store->seek(second.offset);
        crafted.store->write("X");
    }
    const InstallResult result = crafted.install(base.path() + QLatin1Char('/'), platform);
    QCOMPARE(result.error, !failure.isEmpty());
    QTEST(read(record), "record");
}

void tst_Installation::updaterOutdatedHandsOver_data()
{
    QTest::addColumn<bool>("laterCurrentGroup");
    QTest::newRow("one updater group") << false;
    // A later updater group that is current does not make the updater current.
    QTest::newRow("a later, current updater group") << true;
}

void tst_Installation::updaterOutdatedHandsOver()
{
    QFETCH(bool, laterCurrentGroup);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QList<FixtureGroup> groups {
        {QStringLiteral("name=\"Updater\" type=\"updater\""),
         {{QStringLiteral("Updater/updater-temp/lg_updater.txt"), "Updater 2"}}}};
    if (laterCurrentGroup) {
        groups.append({QStringLiteral("name=\"Hilfe\" type=\"updater\""),
                       {{QStringLiteral("Updater/hilfe.txt"), "Hilfe"}}});
        QVERIFY(ReleaseFixture::writeFile(harness.installDir() + QLatin1String("Updater/hilfe.txt"),
                                          "Hilfe"));
    }
    groups.append({QStringLiteral("name=\"Programm\""), {{QStringLiteral("a.txt"), "a"}}});
    QVERIFY(harness.releases().build(QStringLiteral("r"), year, groups));
    QVERIFY(ReleaseFixture::writeFile(
        harness.installDir() + QLatin1String("Updater/lg_updater.txt"), "Updater 1"));
    const auto window = harness.open();
    harness.searchAndInstall(window.get());

    QCOMPARE(read(harness.installDir() + QLatin1String("Updater/updater-temp/lg_updater.txt")),
             QByteArray("Updater 2"));
    QVERIFY(!QFile::exists(harness.installDir() + QLatin1String("a.txt")));
    QCOMPARE(harness.platform.starts,
             QStringList {QLatin1String("|") + harness.installDir()
                          + QLatin1String("Updater/updater-temp/") + updaterExecutableName()
                          + QLatin1String("|--product|3|--mode|3")});
    QCOMPARE(harness.quitRequests, 1);

    // The copy that the hand-over starts finishes the update of the same installation.
    harness.dialogs = ScriptedDialogs();
    harness.dialogs.answers.enqueue(true);
    const auto copy = harness.open({QStringLiteral("--product"), QStringLiteral("3"),
                                    QStringLiteral("--mode"), QStringLiteral("3")});
    QCOMPARE(harness.dialogLines().last(),
             QStringLiteral("Ergebnis:|1 Datei(en) (1e-06 MB) können aktualisiert werden."));
    UpdaterHarness::click(copy.get(), QStringLiteral("Update starten"));
    QCOMPARE(read(harness.installDir() + QLatin1String("a.txt")), QByteArray("a"));
    QCOMPARE(harness.dialogLines().last(),
             QStringLiteral("Ergebnis:|Die Aktualisierung wurde erfolgreich durchgeführt."));
}

void tst_Installation::elevatedRestartAfterFailure_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("start"); // @INSTALL@: the installation, @ROOT@: the test folder
    const QString exe = updaterExecutableName();
    QTest::newRow("copy in mode 3")
        << QStringList {QStringLiteral("--mode"), QStringLiteral("3")}
        << QStringLiteral("runas|@INSTALL@Updater/updater-temp/%1|--product|3|--mode|3").arg(exe);
    QTest::newRow("relative offline path")
        << QStringList {QStringLiteral("--offline"), QStringLiteral("r.dat")}
        << QStringLiteral("runas|@INSTALL@Updater/%1|--product|3|--offline|@ROOT@/r.dat").arg(exe);
}

// The restarted process gets no working folder and starts in the mode it is told: it must be
// told enough to work on the same installation with the same offline file.
void tst_Installation::elevatedRestartAfterFailure()
{
    QFETCH(QStringList, options);
    QFETCH(QString, start);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"Programm\""), {{QStringLiteral("a.txt"), "a"}}}}));
    harness.platform.failReplaceOf = QStringLiteral("/a.txt");
    const QString root = QDir(harness.root()).canonicalPath();
    const QString workingDir = QDir::currentPath();
    QDir::setCurrent(root);
    for (int i = 0; i < 3; ++i)
        harness.dialogs.answers.enqueue(true);
    const auto window = harness.open(options);
    QDir::setCurrent(workingDir);
    if (!options.contains(QLatin1String("3")))
        UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));
    start.replace(QLatin1String("@INSTALL@"), harness.installDir())
        .replace(QLatin1String("@ROOT@"), root);
    QCOMPARE(harness.platform.starts, QStringList {start});
}

void tst_Installation::pluginCleaning()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(QStringLiteral("r"), year,
                                     {{QStringLiteral("name=\"ELSTER\" type=\"elster\""),
                                       {{QStringLiteral("plugins/a.dll"), "a"},
                                        {QStringLiteral("plugins/b.dll"), "b"},
                                        {QStringLiteral("plugins2/c.dll"), "c"}}}}));
    const QStringList kept {QStringLiteral("plugins/A.DLL"), QStringLiteral("plugins/sub/a.dll"),
                            QStringLiteral("plugins/liesmich"), QStringLiteral("plugins2/C.dll")};
    const QStringList removed {QStringLiteral("plugins/alt.dll"),
                               QStringLiteral("plugins/sub/alt.dll"),
                               QStringLiteral("plugins2/x.dll")};
    for (const QString &path : kept + removed)
        QVERIFY(ReleaseFixture::writeFile(harness.installDir() + path, "alt"));
    // Windows deletes no read-only file: the cleaning must clear that state first.
    QVERIFY(QFile::setPermissions(harness.installDir() + removed.first(), QFileDevice::ReadOwner));
    const auto window = harness.open();
    harness.searchAndInstall(window.get());

    const QString log = UpdaterHarness::logText(window.get());
    for (const QString &path : kept)
        QVERIFY2(QFile::exists(harness.installDir() + path), qPrintable(path));
    for (const QString &path : removed) {
        QVERIFY2(!QFile::exists(harness.installDir() + path), qPrintable(path));
        QCOMPARE(log.count(QStringLiteral("Datei wurde entfernt: ") + harness.installDir() + path),
                 1);
    }
    QCOMPARE(read(harness.installDir() + QLatin1String("plugins/b.dll")), QByteArray("b"));
}

// The stale plug-in that cannot be deleted would stay loaded by the new release: the run fails,
// and the restart with raised rights, which may remove it, is offered.
void tst_Installation::stalePluginThatStaysFailsTheRun()
{
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    QVERIFY(harness.releases().build(QStringLiteral("r"), year,
                                     {{QStringLiteral("name=\"ELSTER\" type=\"elster\""),
                                       {{QStringLiteral("plugins/a.dll"), "a"}}}}));
    QVERIFY(
        ReleaseFixture::writeFile(harness.installDir() + QLatin1String("plugins/alt.dll"), "alt"));
    harness.platform.refuseRemovalOf = QStringLiteral("plugins/alt.dll");
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    harness.dialogs.shown.clear();
    harness.dialogs.answers.enqueue(true);
    harness.dialogs.answers.enqueue(false);
    UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));

    QVERIFY(QFile::exists(harness.installDir() + QLatin1String("plugins/alt.dll")));
    QVERIFY(UpdaterHarness::logText(window.get())
                .contains(QStringLiteral("Datei konnte nicht entfernt werden: ")
                          + harness.installDir()
                          + QLatin1String("plugins/alt.dll Zugriff verweigert")));
    QCOMPARE(harness.dialogs.shown.size(), 2);
    QVERIFY(harness.dialogs.shown.at(1).text.startsWith(
        QLatin1String("Es sind Fehler aufgetreten.\r\n")));
    QVERIFY(!QFile::exists(harness.installDir() + QLatin1String("versioninfo.dat")));
}

void tst_Installation::alteredPayloadStopsTheRun_data()
{
    QTest::addColumn<int>("size"); // of each of the three files
    QTest::addColumn<bool>("damageFirst"); // else the last, in the order of installation
    // A store of megabytes is hashed on two threads, the first payloads through a second
    // handle: damage is found on either.
    QTest::newRow("small, last") << 4 << false;
    QTest::newRow("large, first") << (3 << 20) << true;
    QTest::newRow("large, last") << (3 << 20) << false;
}

// One flipped byte in the store: found before anything is written, so the installation stays
// as it was and every entry stays pending.
void tst_Installation::alteredPayloadStopsTheRun()
{
    QFETCH(int, size);
    QFETCH(bool, damageFirst);
    QTemporaryDir base;
    FakePlatform platform;
    Crafted crafted;
    crafted.type = QStringLiteral("elster");
    for (const char *name : {"eins", "zwei", "drei"}) {
        QByteArray content(name);
        crafted.addFile(QLatin1String(name) + QLatin1String(".txt"),
                        content.repeated(size / content.size()));
    }
    crafted.addFolder(QStringLiteral("neu"));
    QVERIFY(ReleaseFixture::writeFile(base.filePath(QStringLiteral("plugins/alt.dll")), "alt"));
    // Keys run in hash order; the folder's empty key comes first.
    QList<OfflineEntry> order = crafted.index.values();
    std::sort(order.begin(), order.end(), [&](const OfflineEntry &a, const OfflineEntry &b) {
        return crafted.index.key(a) < crafted.index.key(b);
    });
    const OfflineEntry damaged = damageFirst ? order.at(1) : order.last();
    crafted.store->seek(damaged.offset);
    QByteArray content = crafted.store->read(damaged.size);
    content[0] = 'X';
    crafted.store->seek(damaged.offset);
    crafted.store->write("X");
    const InstallResult result = crafted.install(base.path() + QLatin1Char('/'), platform);
    QVERIFY(result.error);
    QCOMPARE(result.installed, 0);
    QCOMPARE(result.log.first(),
             (LogLine {QStringLiteral("Falscher Hash-Wert in der temporären Datei:"), true,
                       hashName(content), QString()}));
    QCOMPARE(crafted.pendingByFileIndex(), (QList<bool> {true, true, true, true}));
    QDirIterator it(base.path(), QDir::AllEntries | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList present;
    while (it.hasNext())
        present.append(QDir(base.path()).relativeFilePath(it.next()));
    QCOMPARE(present, (QStringList {QStringLiteral("plugins"), QStringLiteral("plugins/alt.dll")}));
}

void tst_Installation::timeFailureOnThirdOfFive()
{
    QTemporaryDir base;
    FakePlatform platform;
    platform.failTimesOnCall = 3;
    platform.lastError = QStringLiteral("Zugriff verweigert");
    Crafted crafted;
    for (int i = 0; i < 5; ++i)
        crafted.addFile(QStringLiteral("f%1.txt").arg(i),
                        QByteArray("Inhalt ") + QByteArray::number(i));
    const InstallResult result = crafted.install(base.path() + QLatin1Char('/'), platform);
    QVERIFY(result.error);
    QCOMPARE(result.installed, 2);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(read(base.filePath(QStringLiteral("f%1.txt").arg(i))),
                 QByteArray("Inhalt ") + QByteArray::number(i));
    QVERIFY(shownLog(result.log).contains(QStringLiteral("Fehler beim Setzen des Datums:")));
    QVERIFY(shownLog(result.log).contains(QLatin1String("Zugriff verweigert")));
    int pending = 0;
    for (bool p : crafted.pendingByFileIndex())
        pending += p ? 1 : 0;
    QCOMPARE(pending, 3);
}

void tst_Installation::folderEntryForExistingFolder()
{
    QTemporaryDir base;
    FakePlatform platform;
    QVERIFY(QDir().mkpath(base.filePath(QStringLiteral("Archiv"))));
    Crafted crafted;
    crafted.addFolder(QStringLiteral("Archiv"));
    crafted.addFile(QStringLiteral("leer.txt"), QByteArray());
    const InstallResult result = crafted.install(base.path() + QLatin1Char('/'), platform);
    QVERIFY(!result.error);
    QCOMPARE(result.installed, 2);
    QVERIFY(shownLog(result.log)
                .contains(QStringLiteral("Ordner: ") + base.path()
                          + QLatin1String("/Archiv wurde erstellt.")));
    QCOMPARE(QFileInfo(base.filePath(QStringLiteral("Archiv"))).lastModified(), recordedWrite);
    QCOMPARE(QFileInfo(base.filePath(QStringLiteral("leer.txt"))).size(), qint64(0));
    QCOMPARE(QFileInfo(base.filePath(QStringLiteral("leer.txt"))).lastModified(), recordedWrite);
}

// A file where the release has a folder: the folder cannot be made, and no line says it was.
void tst_Installation::fileWhereAFolderGoes()
{
    QTemporaryDir base;
    FakePlatform platform;
    QVERIFY(ReleaseFixture::writeFile(base.filePath(QStringLiteral("Daten")), "Datei"));
    Crafted crafted;
    crafted.addFolder(QStringLiteral("Daten"));
    const InstallResult result = crafted.install(base.path() + QLatin1Char('/'), platform);
    QVERIFY(result.error);
    QCOMPARE(result.installed, 0);
    QVERIFY2(shownLog(result.log)
                 .contains(QStringLiteral("Fehler beim Erstellen des Ordners: ")
                           + base.filePath(QStringLiteral("Daten"))
                           + QLatin1String(" Eine Datei steht an seiner Stelle.")),
             qPrintable(shownLog(result.log)));
    QVERIFY(!shownLog(result.log).contains(QLatin1String("wurde erstellt.")));
    QCOMPARE(read(base.filePath(QStringLiteral("Daten"))), QByteArray("Datei"));
}

void tst_Installation::nothingPending()
{
    QTemporaryDir base;
    FakePlatform platform;
    Crafted crafted;
    crafted.addFile(QStringLiteral("a.txt"), "a", false);
    const InstallResult result = crafted.install(base.path() + QLatin1Char('/'), platform);
    QVERIFY(!result.error);
    QCOMPARE(shownLog(result.log), QStringLiteral("0 Datei(en) wurden aktualisiert."));
    QCOMPARE(read(base.filePath(QStringLiteral("versioninfo.dat"))),
             QByteArray("2026\r\n3\r\n1\r\n0"));
    QVERIFY(!QFile::exists(base.filePath(QStringLiteral("a.txt"))));
}

void tst_Installation::stagedWrites_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QByteArray>("content"); // a.txt afterwards
    QTest::addColumn<QString>("line"); // the red log line, empty when none
    QTest::newRow("leftover of a killed run")
        << QStringLiteral("leftover") << QByteArray("neu") << QString();
    QTest::newRow("move refused") << QStringLiteral("refused") << QByteArray("alt")
                                  << QStringLiteral(
                                         "Fehler beim Schreiben der Datei (0, 0): @BASE@a.txt");
    QTest::newRow("sync to disk fails")
        << QStringLiteral("sync") << QByteArray("alt")
        << QStringLiteral("Fehler beim Schreiben der Datei (0, 0): @BASE@a.txt "
                          "Input/output error");
    QTest::newRow("disk full while writing the file")
        << QStringLiteral("full file") << QByteArray("alt")
        << QStringLiteral("Fehler beim Schreiben der Datei (0, 0): @BASE@a.txt No space "
                          "left on device");
    QTest::newRow("disk full while writing the version record")
        << QStringLiteral("full record") << QByteArray("neu")
        << QStringLiteral("Fehler beim Schreiben der Datei: @BASE@versioninfo.dat No "
                          "space left on device");
}

void tst_Installation::stagedWrites()
{
    QFETCH(QString, situation);
    QFETCH(QString, line);
    QTemporaryDir dir;
    const QString base = dir.path() + QLatin1Char('/');
    // A real file system of 64 KiB: a disk that runs full.
    std::unique_ptr<MountedFileSystem> disk;
    if (situation.startsWith(QLatin1String("full"))) {
        disk = std::make_unique<MountedFileSystem>(dir.path(), "tmpfs", "size=64k");
        if (!disk->isMounted())
            QSKIP(qPrintable(QLatin1String("no tmpfs to fill: ") + disk->errorString()));
    }
    FakePlatform platform;
    const QString target = base + QLatin1String("a.txt");
    Crafted crafted;
    if (situation == QLatin1String("full file")) {
        QVERIFY(ReleaseFixture::writeFile(target, "alt"));
        crafted.addFile(QStringLiteral("a.txt"), QByteArray(100000, 'n'));
    } else if (situation == QLatin1String("full record")) {
        // Room for a.txt, none left for the record after it.
        QVERIFY(disk->fill());
        QVERIFY(QFile::resize(dir.filePath(QStringLiteral("fueller")),
                              QFileInfo(dir.filePath(QStringLiteral("fueller"))).size() - 4096));
        crafted.addFile(QStringLiteral("a.txt"), "neu");
    } else {
        QVERIFY(ReleaseFixture::writeFile(target, "alt"));
        crafted.addFile(QStringLiteral("a.txt"), "neu");
    }
    if (situation == QLatin1String("leftover"))
        QVERIFY(ReleaseFixture::writeFile(target + QLatin1String(".lgtmp"), QByteArray(5000, 'x')));
    if (situation == QLatin1String("refused"))
        platform.failReplaceOf = QStringLiteral("/a.txt");
    platform.failSync = situation == QLatin1String("sync");
    const InstallResult result = crafted.install(base, platform);
    QCOMPARE(result.error, !line.isEmpty());
    QTEST(read(target), "content");
    if (!line.isEmpty())
        QVERIFY2(shownLog(result.log).contains(line.replace(QLatin1String("@BASE@"), base)),
                 qPrintable(shownLog(result.log)));
    QDirIterator leftovers(base, {QStringLiteral("*.lgtmp")}, QDir::Files | QDir::System);
    QVERIFY2(!leftovers.hasNext(), "no staging file stays behind");
}

void tst_Installation::filesInBatches_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("installed"); // files in place afterwards, counted in the index's order
    QTest::addColumn<QString>("lastLine"); // the title of the line before the summary, with
                                           // the file index of the first or the 300th file
    const QString written = QStringLiteral("Datei:");
    const QString notWritten = QStringLiteral("Fehler beim Schreiben der Datei (0, @300@):");
    QTest::newRow("more files than two batches") << QString() << 600 << written;
    // The failing file is staged while earlier files of its batch wait for their sync: they
    // still take their places, as they would have file by file, and are logged before it.
    QTest::newRow("a file of the third batch cannot be staged")
        << QStringLiteral("stage") << 550 << QStringLiteral("Fehler beim Erstellen des Ordners:");
    // Where the system cannot tell which file failed, none of the batch is taken.
    QTest::newRow("the sync of the first batch fails")
        << QStringLiteral("sync") << 0
        << QStringLiteral("Fehler beim Schreiben der Datei (0, @FIRST@):");
    // Windows syncs file by file: the files before the failed one are on the disk.
    QTest::newRow("the sync of one file of the second batch fails")
        << QStringLiteral("sync 300") << 300 << notWritten;
    QTest::newRow("a move in the second batch fails")
        << QStringLiteral("move 300") << 300 << notWritten;
    // A second staging file for one target would replace the first before either was moved.
    QTest::newRow("one target named twice") << QStringLiteral("twice") << 600 << written;
    QTest::newRow("one target named twice, once through \"./\"")
        << QStringLiteral("dot") << 600 << written;
    // As file by file: the file is there, the folder for the next cannot be made.
    QTest::newRow("a target inside the target before")
        << QStringLiteral("inside") << 400 << QStringLiteral("Fehler beim Erstellen des Ordners:");
}

void tst_Installation::filesInBatches()
{
    QFETCH(QString, situation);
    QFETCH(int, installed);
    QFETCH(QString, lastLine);
    QTemporaryDir dir;
    const QString base = dir.path() + QLatin1Char('/');
    FakePlatform platform;
    platform.failSync = situation == QLatin1String("sync");
    Crafted crafted;
    for (int i = 0; i < 600; ++i)
        crafted.addFile(QStringLiteral("d%1/f%2.txt").arg(i % 7).arg(i), QByteArray::number(i));
    QVector<int> order; // file indexes in the order of installation
    for (const OfflineEntry &entry : qAsConst(crafted.index))
        order.append(entry.fileIndex);
    const auto targetOf = [&](int position) -> QString & {
        return crafted.files[order.at(position)].targetPath;
    };
    if (situation == QLatin1String("stage")) {
        targetOf(installed) = QStringLiteral("blockiert/f.txt");
        QVERIFY(ReleaseFixture::writeFile(base + QLatin1String("blockiert"), "eine Datei"));
    }
    if (situation == QLatin1String("sync 300"))
        platform.failSyncOf = targetOf(300) + QLatin1String(".lgtmp");
    if (situation == QLatin1String("move 300"))
        platform.failReplaceOf = targetOf(300);
    if (situation == QLatin1String("twice"))
        targetOf(400) = targetOf(399);
    if (situation == QLatin1String("dot"))
        targetOf(400) = QString(targetOf(399)).replace(QLatin1Char('/'), QLatin1String("/./"));
    if (situation == QLatin1String("inside"))
        targetOf(400) = targetOf(399) + QLatin1String("/f.txt");
    const InstallResult result = crafted.install(base, platform);

    const bool sameTarget =
        situation == QLatin1String("twice") || situation == QLatin1String("dot");
    QCOMPARE(result.error, !situation.isEmpty() && !sameTarget);
    QCOMPARE(result.installed, installed);
    for (int i = 0; i < order.size(); ++i) {
        // Of a target named twice, the later entry's content stays.
        if (sameTarget && i == 399)
            continue;
        QCOMPARE(read(QDir::cleanPath(base + targetOf(i))),
                 i < installed ? QByteArray::number(order.at(i)) : QByteArray("<missing>"));
    }
    QCOMPARE(crafted.pendingByFileIndex().count(false), installed);
    lastLine.replace(QLatin1String("@FIRST@"), QString::number(order.first()))
        .replace(QLatin1String("@300@"), QString::number(order.at(300)));
    QCOMPARE(result.log.at(result.log.size() - 2).title, lastLine);
    // One sync per batch: the disk waits three times for 600 files, not 600 times.
    if (situation.isEmpty())
        QCOMPARE(platform.syncedFiles, (QList<int> {256, 256, 88}));
    QDirIterator leftovers(base, {QStringLiteral("*.lgtmp")}, QDir::Files | QDir::System,
                           QDirIterator::Subdirectories);
    QVERIFY2(!leftovers.hasNext(), "no staging file stays behind");
}

QStringList stagingFilesBelow(const QString &root)
{
    QStringList found;
    QDirIterator it(root, {QStringLiteral("*.lgtmp")}, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    return found;
}

void tst_Installation::linkPlantedWhileFilesWait_data()
{
    QTest::addColumn<int>("waiting"); // files of 4 MiB before the entry
    QTest::newRow("right behind the first file") << 0;
    QTest::newRow("behind six large files") << 6;
}

// A folder on the way becomes a link while the files before the entry are being installed
// (their copies may run ahead of the installation's order): the entry is refused, and nothing
// lands where the link points.
void tst_Installation::linkPlantedWhileFilesWait()
{
    QFETCH(int, waiting);
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("install/"));
    const QString outside = dir.filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(outside));
    QVERIFY(QDir().mkpath(base + QLatin1String("a")));
    QVERIFY(QDir().mkpath(base + QLatin1String("sub")));
    Crafted crafted;
    crafted.inAddedOrder = true;
    crafted.addFile(QStringLiteral("a/f0.bin"), QByteArray(1000, '0'));
    for (int i = 1; i <= waiting; ++i)
        crafted.addFile(QStringLiteral("a/f%1.bin").arg(i), QByteArray(4 << 20, char('0' + i)));
    crafted.addFile(QStringLiteral("sub/x.txt"), "neu");
    const int plantAt = waiting > 0 ? 2 : waiting + 2;
    FakePlatform platform;
    const InstallResult result = crafted.install(base, platform, [&](int value, int) {
        if (value == plantAt) {
            QVERIFY(QDir().rename(base + QLatin1String("sub"), base + QLatin1String("sub_alt")));
            QVERIFY(QFile::link(outside, base + QLatin1String("sub")));
        }
    });
    QVERIFY(result.error);
    // The files before it were installed and logged first; the summary line follows.
    QCOMPARE(result.log.at(result.log.size() - 2),
             (LogLine {QStringLiteral("Ungültiger Zielpfad:"), true, QStringLiteral("sub/x.txt"),
                       QString()}));
    QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QCOMPARE(read(base + QLatin1String("a/f0.bin")), QByteArray(1000, '0'));
    // A copy made before its folder was moved away went with the folder, and was removed there.
    QCOMPARE(stagingFilesBelow(dir.path()), QStringList());
}

void tst_Installation::folderSwappedForALinkDuringTheRun_data()
{
    QTest::addColumn<int>("pause"); // microseconds between two exchanges; -1: one move
    QTest::newRow("exchanged without pause") << 0;
    QTest::newRow("exchanged now and then") << 200;
    // A look that follows links would still find the folder at its path.
    QTest::newRow("moved out, a link to it left in its place") << -1;
}

// Whoever may write the installation exchanges one of its folders with a link to a folder
// outside, again and again, while a large batch is installed into it (renameat2 with
// RENAME_EXCHANGE, the quickest swap there is), or moves it out and leaves a link to it. It
// begins once the first batch has taken its place, while later files are staged ahead and
// wait in the next batch. Whatever the run meets, nothing outside changes: it installs every
// file or stops with the line, and no staging file stays anywhere.
void tst_Installation::folderSwappedForALinkDuringTheRun()
{
    QFETCH(int, pause);
    constexpr int files = 3000;
    constexpr int rounds = 5;
    const QByteArray outsideContent = "draußen";
    for (int round = 0; round < rounds; ++round) {
        QTemporaryDir dir;
        QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
        const QString base = dir.filePath(QStringLiteral("install/"));
        const QString outside = dir.filePath(QStringLiteral("outside/"));
        QVERIFY(QDir().mkpath(base + QLatin1String("sub")) && QDir().mkpath(outside));
        QVERIFY(QFile::link(outside, base + QLatin1String("lnk")));
        Crafted crafted;
        crafted.inAddedOrder = true;
        for (int i = 0; i < files; ++i) {
            const QString name = QStringLiteral("f%1.dat").arg(i, 5, 10, QLatin1Char('0'));
            crafted.addFile(QLatin1String("sub/") + name, "neu " + QByteArray::number(i));
            // Every tenth name also stands outside, read-only, for the run to write over.
            if (i % 10 == 0) {
                QVERIFY(ReleaseFixture::writeFile(outside + name, outsideContent));
                QVERIFY(chmod(QFile::encodeName(outside + name).constData(), 0400) == 0);
            }
        }
        const QByteArray sub = QFile::encodeName(base + QLatin1String("sub"));
        const QByteArray link = QFile::encodeName(base + QLatin1String("lnk"));
        const QByteArray moved = QFile::encodeName(dir.filePath(QStringLiteral("moved")));
        std::atomic<bool> stop {false};
        int exchanges = 0;
        std::thread swapper;
        PlatformServices platform;
        const InstallResult result = crafted.install(base, platform, [&](int value, int) {
            if (value != StagedBatch::maxFiles + 44)
                return;
            if (pause < 0) {
                QVERIFY(rename(sub.constData(), moved.constData()) == 0);
                QVERIFY(symlink(moved.constData(), sub.constData()) == 0);
                return;
            }
            swapper = std::thread([&] {
                while (!stop) {
                    if (renameat2(AT_FDCWD, sub.constData(), AT_FDCWD, link.constData(),
                                  RENAME_EXCHANGE)
                        == 0)
                        ++exchanges;
                    if (pause > 0)
                        usleep(useconds_t(pause));
                }
            });
        });
        stop = true;
        if (swapper.joinable())
            swapper.join();
        if (exchanges % 2 != 0)
            QVERIFY(
                renameat2(AT_FDCWD, sub.constData(), AT_FDCWD, link.constData(), RENAME_EXCHANGE)
                == 0);

        const QStringList outsideNow = QDir(outside).entryList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        QCOMPARE(outsideNow.size(), files / 10);
        for (const QString &name : outsideNow) {
            struct stat info;
            QVERIFY(lstat(QFile::encodeName(outside + name).constData(), &info) == 0);
            QCOMPARE(info.st_mode, mode_t(S_IFREG | 0400));
            QCOMPARE(read(outside + name), outsideContent);
        }
        QCOMPARE(stagingFilesBelow(dir.path()), QStringList());
        int failures = 0;
        for (const LogLine &line : result.log) {
            if (line.error) {
                QVERIFY2(line.title == QStringLiteral("Ungültiger Zielpfad:"),
                         qPrintable(line.title + QLatin1Char(' ') + line.detail1 + QLatin1Char(' ')
                                    + line.detail2));
                ++failures;
            }
        }
        QCOMPARE(failures, result.error ? 1 : 0);
        QVERIFY(result.error || pause >= 0);
        for (int i = 0; !result.error && i < files; ++i)
            QCOMPARE(read(base + crafted.files.at(i).targetPath), "neu " + QByteArray::number(i));
        qInfo("round %d: %d exchanges, %s after %d files", round + 1, exchanges,
              result.error ? "stopped" : "complete", result.installed);
    }
}

// A hard link to a read-only file outside, planted where a target goes: the target is
// replaced, the file outside keeps its mode, content and times.
void tst_Installation::hardLinkAtATarget()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString base = dir.filePath(QStringLiteral("install/"));
    const QString outside = dir.filePath(QStringLiteral("outside.dat"));
    QVERIFY(QDir().mkpath(base));
    QVERIFY(ReleaseFixture::writeFile(outside, "draußen"));
    QVERIFY(chmod(QFile::encodeName(outside).constData(), 0400) == 0);
    const QDateTime before = QFileInfo(outside).lastModified();
    QVERIFY(link(QFile::encodeName(outside).constData(),
                 QFile::encodeName(base + QLatin1String("x.dat")).constData())
            == 0);
    Crafted crafted;
    crafted.addFile(QStringLiteral("x.dat"), "neu");
    PlatformServices platform;
    const InstallResult result = crafted.install(base, platform);
    QVERIFY2(!result.error, qPrintable(shownLog(result.log)));
    QCOMPARE(read(base + QLatin1String("x.dat")), QByteArray("neu"));
    struct stat info;
    QVERIFY(lstat(QFile::encodeName(outside).constData(), &info) == 0);
    QCOMPARE(info.st_mode, mode_t(S_IFREG | 0400));
    QCOMPARE(read(outside), QByteArray("draußen"));
    QCOMPARE(QFileInfo(outside).lastModified(), before);
}

void tst_Installation::folderKnownUnderTwoNames_data()
{
    QTest::addColumn<int>("before"); // files installed before the two entries
    QTest::newRow("both may be copied ahead") << 1;
    QTest::newRow("the first copied in order") << 0;
}

// Two targets that only the file system knows as the same file (as "PROGRA~1" is "Program
// Files" on Windows; here a folder bound onto another): the second replaces the first, as it
// would file by file, and neither staging file removes the other's.
void tst_Installation::folderKnownUnderTwoNames()
{
    QFETCH(int, before);
    QTemporaryDir dir;
    const QString base = dir.path() + QLatin1Char('/');
    QVERIFY(QDir().mkpath(base + QLatin1String("A")));
    QVERIFY(QDir().mkpath(base + QLatin1String("B")));
    MountedFileSystem bound(base + QLatin1String("B"), base + QLatin1String("A"));
    if (!bound.isMounted())
        QSKIP(qPrintable(QLatin1String("no bind mount: ") + bound.errorString()));
    Crafted crafted;
    crafted.inAddedOrder = true;
    for (int i = 0; i < before; ++i)
        crafted.addFile(QStringLiteral("z%1.bin").arg(i), QByteArray(1000, 'z'));
    crafted.addFile(QStringLiteral("A/x.dll"), QByteArray(300000, '1'));
    crafted.addFile(QStringLiteral("B/x.dll"), QByteArray(1000, '2'));
    FakePlatform platform;
    const InstallResult result = crafted.install(base, platform);
    QVERIFY2(!result.error, qPrintable(shownLog(result.log)));
    QCOMPARE(read(base + QLatin1String("A/x.dll")), QByteArray(1000, '2'));
    QCOMPARE(stagingFilesBelow(base), QStringList());
}

// Staged files take room beside the old ones: when the disk runs full, those staged take their
// places first and the file is staged again, as it would have fit file by file.
void tst_Installation::fullDiskCommitsEarly()
{
    QTemporaryDir dir;
    MountedFileSystem disk(dir.path(), "tmpfs", "size=256k");
    if (!disk.isMounted())
        QSKIP(qPrintable(QLatin1String("no tmpfs to fill: ") + disk.errorString()));
    const QString base = dir.path() + QLatin1Char('/');
    Crafted crafted;
    for (int i = 0; i < 5; ++i) {
        const QString name = QStringLiteral("f%1.bin").arg(i);
        QVERIFY(ReleaseFixture::writeFile(base + name, QByteArray(40000, 'a')));
        crafted.addFile(name, QByteArray(40000, char('0' + i)));
    }
    FakePlatform platform;
    const InstallResult result = crafted.install(base, platform);
    QVERIFY2(!result.error, qPrintable(shownLog(result.log)));
    QCOMPARE(result.installed, 5);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(read(base + QStringLiteral("f%1.bin").arg(i)), QByteArray(40000, char('0' + i)));
}

void tst_Installation::hostileTargetPaths_data()
{
    QTest::addColumn<QString>("targetPath");
    QTest::newRow("parent folder") << QStringLiteral("../outside.dll");
    QTest::newRow("parent folder inside") << QStringLiteral("sub/../../outside.dll");
    QTest::newRow("absolute") << QStringLiteral("@ROOT@/outside.dll");
    QTest::newRow("drive letter") << QStringLiteral("C:/x");
    QTest::newRow("network path") << QStringLiteral("\\\\srv\\share\\x");
    QTest::newRow("backslash parent") << QStringLiteral("..\\outside.dll");
}

void tst_Installation::hostileTargetPaths()
{
    QFETCH(QString, targetPath);
    QTemporaryDir root;
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("install"))));
    targetPath.replace(QLatin1String("@ROOT@"), root.path());
    FakePlatform platform;
    Crafted crafted;
    // The folder comes first in the index: a run that checked paths only as it went would
    // create it before it refused the hostile entry.
    crafted.addFolder(QStringLiteral("neu"));
    crafted.addFile(targetPath, "boese");
    const InstallResult result =
        crafted.install(root.filePath(QStringLiteral("install/")), platform);
    QVERIFY(result.error);
    QCOMPARE(result.installed, 0);
    QVERIFY(shownLog(result.log).contains(QStringLiteral("Ungültiger Zielpfad:")));
    QDirIterator it(root.path(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList written;
    while (it.hasNext())
        written.append(it.next());
    QCOMPARE(written, QStringList {root.filePath(QStringLiteral("install"))});
}

void tst_Installation::linksInsideTheInstallation_data()
{
    QTest::addColumn<QStringList>("links"); // "<path below the installation>><target>"
    QTest::addColumn<QString>("entry"); // installed with "neu"; ending in "/": a folder
    QTest::addColumn<bool>("refused");
    QTest::newRow("link where the file goes")
        << QStringList {QStringLiteral("a.txt>@OUT@/geheim.txt")} << QStringLiteral("a.txt")
        << false;
    QTest::newRow("link under the staging name")
        << QStringList {QStringLiteral("a.txt.lgtmp>@OUT@/geheim.txt")} << QStringLiteral("a.txt")
        << false;
    QTest::newRow("link where a folder goes")
        << QStringList {QStringLiteral("leer>@OUT@")} << QStringLiteral("leer/") << false;
    QTest::newRow("linked folder on the way")
        << QStringList {QStringLiteral("sub>@OUT@")} << QStringLiteral("sub/geheim.txt") << true;
    QTest::newRow("linked plug-in folder")
        << QStringList {QStringLiteral("plugins>@OUT@")} << QStringLiteral("a.txt") << false;
    QTest::newRow("linked folder inside the plug-in folder")
        << QStringList {QStringLiteral("plugins/sub>@OUT@")} << QStringLiteral("a.txt") << false;
}

// Links inside the installation, pointing at a folder outside it that holds a read-only
// file: whatever the installation does, that folder stays as it was.
void tst_Installation::linksInsideTheInstallation()
{
    QFETCH(QStringList, links);
    QFETCH(QString, entry);
    QFETCH(bool, refused);
    QTemporaryDir root;
    const QString base = root.filePath(QStringLiteral("install/"));
    const QString outside = root.filePath(QStringLiteral("outside"));
    QVERIFY(ReleaseFixture::writeFile(outside + QLatin1String("/geheim.txt"), "geheim"));
    QVERIFY(QFile::setPermissions(outside + QLatin1String("/geheim.txt"), QFileDevice::ReadOwner));
    const bool pluginsLinked = links.first().startsWith(QLatin1String("plugins>"));
    if (!pluginsLinked)
        QVERIFY(ReleaseFixture::writeFile(base + QLatin1String("plugins/alt.dll"), "alt"));
    for (const QString &link : links) {
        QVERIFY(QDir().mkpath(QFileInfo(base + link.section(QLatin1Char('>'), 0, 0)).path()));
        QVERIFY(
            QFile::link(link.section(QLatin1Char('>'), 1).replace(QLatin1String("@OUT@"), outside),
                        base + link.section(QLatin1Char('>'), 0, 0)));
    }
    FakePlatform platform;
    Crafted crafted;
    crafted.type = QStringLiteral("elster");
    if (entry.endsWith(QLatin1Char('/')))
        crafted.addFolder(entry.chopped(1));
    else
        crafted.addFile(entry, "neu");
    const InstallResult result = crafted.install(base, platform);

    QCOMPARE(result.error, refused);
    QDirIterator it(outside, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QStringList left;
    while (it.hasNext())
        left.append(QFileInfo(it.next()).fileName());
    QCOMPARE(left, QStringList {QStringLiteral("geheim.txt")});
    QCOMPARE(read(outside + QLatin1String("/geheim.txt")), QByteArray("geheim"));
    QCOMPARE(QFileInfo(outside + QLatin1String("/geheim.txt")).permissions()
                 & QFileDevice::WriteOwner,
             QFileDevice::Permissions());
    if (refused) {
        QVERIFY2(QFile::exists(base + QLatin1String("plugins/alt.dll")),
                 "a refused run touches nothing, stale plug-ins included");
        return;
    }
    QVERIFY2(pluginsLinked || !QFile::exists(base + QLatin1String("plugins/alt.dll")),
             "a stale plug-in in the real folder is still removed");
    const QString installed = base + (entry.endsWith(QLatin1Char('/')) ? entry.chopped(1) : entry);
    QVERIFY2(!QFileInfo(installed).isSymLink(), "the link itself is replaced");
    if (entry.endsWith(QLatin1Char('/')))
        QVERIFY(QFileInfo(installed).isDir());
    else
        QCOMPARE(read(installed), QByteArray("neu"));
}

void tst_Installation::fileModes_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("before"); // -1: the file is new
    QTest::addColumn<int>("after");
    QTest::newRow("replaced executable keeps its mode")
        << QStringLiteral("bin/start.sh") << 0755 << 0755;
    QTest::newRow("replaced private file keeps its mode")
        << QStringLiteral("daten.ini") << 0600 << 0600;
    QTest::newRow("new updater executable")
        << QStringLiteral("Updater/updater-temp/") + updaterExecutableName() << -1 << 0755;
    QTest::newRow("new plain file") << QStringLiteral("liesmich.txt") << -1 << 0644;
}

// An updated executable that lost its execute bit could not be started, least of all the
// new updater that the hand-over starts.
void tst_Installation::fileModes()
{
    QFETCH(QString, target);
    QFETCH(int, before);
    QTemporaryDir dir;
    const QString base = dir.path() + QLatin1Char('/');
    if (before >= 0) {
        QVERIFY(ReleaseFixture::writeFile(base + target, "alt"));
        QVERIFY(::chmod(QFile::encodeName(base + target).constData(), mode_t(before)) == 0);
    }
    FakePlatform platform;
    Crafted crafted;
    crafted.addFile(target, "neu");
    QVERIFY(!crafted.install(base, platform).error);
    struct stat info;
    QVERIFY(::stat(QFile::encodeName(base + target).constData(), &info) == 0);
    QTEST(int(info.st_mode & 07777), "after");
}

void tst_Installation::resolvedPaths_data()
{
    QTest::addColumn<QString>("targetPath");
    QTest::addColumn<QString>("resolved");
    QTest::newRow("plain") << QStringLiteral("plugins/x.dll")
                           << QStringLiteral("/base/plugins/x.dll");
    QTest::newRow("dots in names")
        << QStringLiteral("a..b/..x") << QStringLiteral("/base/a..b/..x");
    QTest::newRow("current folder") << QStringLiteral("./x") << QStringLiteral("/base/./x");
    QTest::newRow("name that only begins like a device")
        << QStringLiteral("console.txt/COM10/nul_")
        << QStringLiteral("/base/console.txt/COM10/nul_");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("parent") << QStringLiteral("..") << QString();
    QTest::newRow("absolute") << QStringLiteral("/etc/x") << QString();
    QTest::newRow("drive") << QStringLiteral("C:x") << QString();
    QTest::newRow("alternate data stream") << QStringLiteral("a.txt::$DATA") << QString();
    QTest::newRow("device NUL") << QStringLiteral("NUL") << QString();
    QTest::newRow("device con with extension") << QStringLiteral("sub/con.txt") << QString();
    QTest::newRow("device aux, lower case") << QStringLiteral("aux.txt") << QString();
    QTest::newRow("device COM1") << QStringLiteral("COM1/x") << QString();
    QTest::newRow("device LPT9 with blank") << QStringLiteral("lpt9 .log") << QString();
    QTest::newRow("final dot") << QStringLiteral("Ledgora.exe.") << QString();
    QTest::newRow("final blank") << QStringLiteral("ordner /x") << QString();
    QTest::newRow("embedded NUL") << (QStringLiteral("a") + QChar(0) + QStringLiteral("b"))
                                  << QString();
    QTest::newRow("wildcard") << QStringLiteral("*.dll") << QString();
    QTest::newRow("version record") << QStringLiteral("versioninfo.dat") << QString();
    QTest::newRow("version record, other case and form")
        << QStringLiteral("./VersionInfo.DAT") << QString();
    QTest::newRow("the running updater") << QStringLiteral("Updater/LG_Updater") << QString();
    QTest::newRow("the record of signed releases")
        << QStringLiteral("Updater/releasenumbers.dat") << QString();
    QTest::newRow("the installation lock, other case")
        << QStringLiteral("Updater/LG_UPDATER.LOCK") << QString();
    // Staged next to "x" as "x.lgtmp", another target of that name would be removed.
    QTest::newRow("a staging file's name") << QStringLiteral("sub/x.LGTMP") << QString();
}

void tst_Installation::resolvedPaths()
{
    QFETCH(QString, targetPath);
    QTEST(resolveTargetPath(QStringLiteral("/base/"), targetPath,
                            QStringLiteral("/base/Updater/lg_updater"))
              .value_or(QString()),
          "resolved");
}

QTEST_MAIN(tst_Installation)
#include "tst_installation.moc"
