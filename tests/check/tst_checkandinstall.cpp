#include "fakeplatform.h"
#include "releasefixture.h"

#include "check/documentloader.h"
#include "check/releasetrust.h"
#include "check/updatecheck.h"
#include "install/fileinstaller.h"
#include "package/payload.h"

#include <QtTest>

// The update check and the installation on their own, as the window drives them: a release the
// builder made, fetched through the check's hook from its package folder, installed into a
// folder. The window's texts and widget rules are tested with the window.
class tst_CheckAndInstall : public QObject
{
    Q_OBJECT

private slots:
    void checkThenInstall_data();
    void checkThenInstall();
    void groupSelection_data();
    void groupSelection();
    void pendingUpdateFollowsTheChoice();
};

using Files = QMap<QString, QByteArray>; // target path → content; "x/" is a folder

namespace {

constexpr int year = 2031;

// A built release, the installation folder, and the hook through which the check fetches.
struct Scenario
{
    QTemporaryDir root;
    ReleaseFixture releases {root.path()};
    UpdateDocument document;
    QString installDir;
    QString serverAnswer; // "lies": every data file holds other content; "fails": none arrives
    QStringList fetched;

    bool build(const QList<FixtureGroup> &groups)
    {
        installDir = root.path() + QLatin1String("/install/");
        if (!releases.build(QStringLiteral("r"), year, groups) || !QDir().mkpath(installDir))
            return false;
        const OfflineLoad load =
            loadOfflineFile(releases.offlineFile(QStringLiteral("r")), ReleaseTrust());
        document = load.document;
        return load.outcome == OfflineLoad::Loaded;
    }

    void install(const Files &files)
    {
        for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
            if (it.key().endsWith(QLatin1Char('/')))
                QDir().mkpath(installDir + it.key());
            else
                ReleaseFixture::writeFile(installDir + it.key(), it.value());
        }
    }

    UpdateCheck check()
    {
        const DataFileFetch fetch = [this](QVector<FetchedDataFile> &files,
                                           const std::function<bool(int)> &arrived) {
            for (int i = 0; i < files.size(); ++i) {
                serve(files[i]);
                if (!arrived(i))
                    return;
            }
        };
        return UpdateCheck(document, installDir, false, fetch, [](int, int) {});
    }

    // Answers as the update server would, or as a failing or lying one.
    void serve(FetchedDataFile &file)
    {
        fetched.append(file.fileName);
        if (serverAnswer == QLatin1String("fails")) {
            file.error = QStringLiteral("Verbindung abgelehnt");
            return;
        }
        QFile published(releases.packageDir(year) + QLatin1Char('/') + file.fileName);
        // The lie is no larger than any file of the releases here: whichever entry comes first
        // (the builder lists a folder in the file system's order, which differs between
        // systems), its content is refused for its hash, not for its size.
        const QByteArray body = serverAnswer == QLatin1String("lies") ? compressPayload("xyz")
            : published.open(QIODevice::ReadOnly)                     ? published.readAll()
                                                                      : QByteArray();
        file.bodyPath = stagedBody(body);
        file.ok = !file.bodyPath.isEmpty();
    }

    Files installed() const
    {
        Files files;
        QDirIterator it(installDir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString relative = QDir(installDir).relativeFilePath(path);
            if (it.fileInfo().isDir()) {
                files.insert(relative + QLatin1Char('/'), QByteArray());
            } else if (relative != QLatin1String("versioninfo.dat")) {
                QFile file(path);
                file.open(QIODevice::ReadOnly);
                files.insert(relative, file.readAll());
            }
        }
        return files;
    }
};

CheckSelection allGroups(const UpdateDocument &document)
{
    CheckSelection selection;
    for (int i = 0; i < document.groups.size(); ++i)
        selection.checkedGroups.append(i);
    return selection;
}

QStringList titles(const ActivityLog &log)
{
    QStringList result;
    for (const LogLine &line : log)
        result.append(line.title);
    return result;
}

} // namespace

void tst_CheckAndInstall::checkThenInstall_data()
{
    QTest::addColumn<Files>("release");
    QTest::addColumn<Files>("before"); // the installation before the check
    QTest::addColumn<QString>("serverAnswer");
    QTest::addColumn<int>("pending");
    QTest::addColumn<int>("fetches");
    QTest::addColumn<QStringList>("checkLog"); // titles of the check's lines
    QTest::addColumn<Files>("after"); // the installation after installing what is pending

    const Files release {{QStringLiteral("a.txt"), "neu"},
                         {QStringLiteral("sub/"), QByteArray()},
                         {QStringLiteral("sub/b.dll"), "Bibliothek"}};
    QTest::newRow("current installation")
        << release << release << QString() << 0 << 0 << QStringList() << release;
    QTest::newRow("empty installation")
        << release << Files() << QString() << 3 << 2 << QStringList() << release;
    QTest::newRow("one file changed") << release
                                      << Files {{QStringLiteral("a.txt"), "alt"},
                                                {QStringLiteral("sub/"), {}},
                                                {QStringLiteral("sub/b.dll"), "Bibliothek"}}
                                      << QString() << 1 << 1 << QStringList() << release;
    // Content named by several entries is fetched and stored once, and installed everywhere.
    const Files twice {{QStringLiteral("a.txt"), "gleich"}, {QStringLiteral("b.txt"), "gleich"}};
    QTest::newRow("shared content")
        << twice << Files() << QString() << 2 << 1 << QStringList() << twice;
    const Files old {{QStringLiteral("a.txt"), "alt"}, {QStringLiteral("sub/"), {}}};
    // The first failure in the entries' order ends the check: nothing after it is fetched on.
    QTest::newRow("server fails") << release << old << QStringLiteral("fails") << 0 << 1
                                  << QStringList {QStringLiteral("Fehler beim Laden der Datei:")}
                                  << old;
    QTest::newRow("server sends other content")
        << release << old << QStringLiteral("lies") << 0 << 1
        << QStringList {QStringLiteral("Falscher Hash-Wert der Serverdaten:")} << old;
}

void tst_CheckAndInstall::checkThenInstall()
{
    QFETCH(Files, release);
    QFETCH(Files, before);
    QFETCH(QString, serverAnswer);
    QFETCH(int, fetches);
    Scenario scenario;
    QVERIFY(scenario.build({{QStringLiteral("name=\"Programm\" type=\"programm\""), release}}));
    scenario.install(before);
    scenario.serverAnswer = serverAnswer;

    PendingUpdate update;
    const CheckSelection selection = allGroups(scenario.document);
    const CheckResult result = scenario.check().run(selection, update);
    QTEST(result.pendingCount, "pending");
    QCOMPARE(scenario.fetched.size(), fetches);
    QTEST(titles(result.log), "checkLog");
    QCOMPARE(update.isCurrentFor(selection), result.outcome == CheckResult::Completed);

    // A failed check leaves nothing to install; the window then refuses to start.
    if (result.outcome == CheckResult::Completed) {
        InstallRequest request;
        request.document = scenario.document;
        request.baseDir = scenario.installDir;
        request.record = {year, 3, 1, 0};
        FakePlatform platform;
        const InstallResult installed =
            FileInstaller(request, platform, [](int, int) {}).run(update);
        QVERIFY(!installed.error);
        QCOMPARE(installed.installed, result.pendingCount);
        QCOMPARE(update.pendingCount(), 0);
        // Checked again, the installation is current.
        QCOMPARE(scenario.check().run(selection, update).pendingCount, 0);
    }
    QTEST(scenario.installed(), "after");
}

// Which checked groups the check compares: an exec group only for its edition, a beta group
// only with the beta box checked, and one group per type.
void tst_CheckAndInstall::groupSelection_data()
{
    QTest::addColumn<QString>("secondGroup"); // attributes of a group beside the program
    QTest::addColumn<int>("productType");
    QTest::addColumn<bool>("betaChecked");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("pending");
    QTest::newRow("exec of the edition") << QStringLiteral("type=\"exec\" subtype=\"3\"") << 3
                                         << false << int(CheckResult::Completed) << 2;
    QTest::newRow("exec of another edition") << QStringLiteral("type=\"exec\" subtype=\"5\"") << 3
                                             << false << int(CheckResult::Completed) << 1;
    QTest::newRow("beta without the box") << QStringLiteral("type=\"extra\" beta=\"1\"") << 3
                                          << false << int(CheckResult::Completed) << 1;
    QTest::newRow("beta with the box") << QStringLiteral("type=\"extra\" beta=\"1\"") << 3 << true
                                       << int(CheckResult::Completed) << 2;
    QTest::newRow("type twice, letter case aside") << QStringLiteral("type=\"PROGRAMM\"") << 3
                                                   << false << int(CheckResult::DuplicateType) << 1;
}

void tst_CheckAndInstall::groupSelection()
{
    QFETCH(QString, secondGroup);
    QFETCH(int, productType);
    QFETCH(bool, betaChecked);
    Scenario scenario;
    QVERIFY(scenario.build(
        {{QStringLiteral("name=\"Programm\" type=\"programm\""), {{QStringLiteral("a.txt"), "a"}}},
         {QStringLiteral("name=\"Zweite\" ") + secondGroup, {{QStringLiteral("b.txt"), "b"}}}}));
    CheckSelection selection = allGroups(scenario.document);
    selection.productType = productType;
    selection.hasBetaBox = true;
    selection.betaChecked = betaChecked;
    PendingUpdate update;
    const CheckResult result = scenario.check().run(selection, update);
    QTEST(int(result.outcome), "outcome");
    QTEST(update.pendingCount(), "pending");
    if (result.outcome == CheckResult::DuplicateType)
        QCOMPARE(result.duplicateType, QStringLiteral("programm"));
}

// The installation may only write what a finished check found for the choice now on screen.
void tst_CheckAndInstall::pendingUpdateFollowsTheChoice()
{
    CheckSelection searched;
    searched.checkedGroups = {0, 2};
    searched.productType = 3;
    PendingUpdate update;
    update.searched = searched;
    QVERIFY(!update.isCurrentFor(searched)); // no check has ended yet
    update.searchCompleted = true;
    QVERIFY(update.isCurrentFor(searched));
    CheckSelection reordered = searched;
    reordered.checkedGroups = {2, 0};
    QVERIFY(update.isCurrentFor(reordered));
    CheckSelection otherGroups = searched;
    otherGroups.checkedGroups = {0};
    QVERIFY(!update.isCurrentFor(otherGroups));
    CheckSelection otherEdition = searched;
    otherEdition.productType = 5;
    QVERIFY(!update.isCurrentFor(otherEdition));
    CheckSelection beta = searched;
    beta.betaChecked = true;
    QVERIFY(!update.isCurrentFor(beta));
}

QTEST_GUILESS_MAIN(tst_CheckAndInstall)
#include "tst_checkandinstall.moc"
