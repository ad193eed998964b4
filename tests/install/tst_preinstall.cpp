#include "updaterharness.h"

#include "app/commandline.h"
#include "install/preinstallchecks.h"
#include "install/relaunch.h"

#include <QtTest>
#include <QtWidgets>

// The confirmations and guards before an installation, the data-folder migration, and the
// command lines with which the updater starts another copy of itself.
class tst_PreInstall : public QObject
{
    Q_OBJECT

private slots:
    void betaConfirmation_data();
    void betaConfirmation();
    void mainApplicationWait_data();
    void mainApplicationWait();
    void startQuestion_data();
    void startQuestion();
    void dataSourceGroup();
    void migration_data();
    void migration();
    void settingsChangedSinceTheSearch_data();
    void settingsChangedSinceTheSearch();
    void noWaitWithoutProcessOrExecutable();
    void relaunchCommandLines_data();
    void relaunchCommandLines();
    void refusedStart_data();
    void refusedStart();
};

void tst_PreInstall::betaConfirmation_data()
{
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<int>("questions");
    QTest::newRow("unchecked") << false << true << false << true << 0;
    QTest::newRow("checked and enabled, Yes") << true << true << true << true << 1;
    QTest::newRow("checked and enabled, No") << true << true << false << false << 1;
    QTest::newRow("checked and disabled") << true << false << false << true << 0;
}

void tst_PreInstall::betaConfirmation()
{
    QFETCH(bool, checked);
    QFETCH(bool, enabled);
    QFETCH(bool, answer);
    ScriptedDialogs dialogs;
    FakePlatform platform;
    dialogs.answers.enqueue(answer);
    PreInstallChecks checks(dialogs, platform, nullptr);
    QTEST(checks.confirmBeta(checked, enabled), "goesOn");
    QTEST(int(dialogs.shown.size()), "questions");
    if (!dialogs.shown.isEmpty()) {
        QCOMPARE(dialogs.shown.first().title, QStringLiteral("Bestätigung:"));
        QVERIFY(dialogs.shown.first().text.startsWith(QStringLiteral(
            "Wenn Sie die Beta-Version aktivieren, sollten Sie Buchhaltungsdokumente")));
        QVERIFY(dialogs.shown.first().text.endsWith(
            QStringLiteral("\r\n\r\nWollen Sie den Vorgang wirklich fortsetzen?")));
    }
}

void tst_PreInstall::mainApplicationWait_data()
{
    QTest::addColumn<QList<bool>>("found"); // answers of the window searches
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<QStringList>("dialogs");
    QTest::addColumn<int>("sleeps");
    const QString box =
        QStringLiteral("Konflikt:|Vor dem Start des Updates muss Ledgora beendet werden.\r\n"
                       "Bitte beenden Sie Ledgora und drücken Sie dann OK");
    const QString question =
        QStringLiteral("Konflikt:|Vor dem Start des Updates muss Ledgora beendet "
                       "werden.\r\nWollen Sie den Vorgang wirklich fortsetzen?");
    QTest::newRow("not running") << QList<bool> {false} << false << true << QStringList() << 0;
    QTest::newRow("closed during the wait")
        << QList<bool> {true, false} << false << true << QStringList {box} << 1;
    QTest::newRow("still running, Yes")
        << QList<bool> {true, true} << true << true << QStringList {box, question} << 1;
    QTest::newRow("still running, No")
        << QList<bool> {true, true} << false << false << QStringList {box, question} << 1;
}

void tst_PreInstall::mainApplicationWait()
{
    QFETCH(QList<bool>, found);
    QFETCH(bool, answer);
    ScriptedDialogs dialogs;
    FakePlatform platform;
    for (bool f : found)
        platform.windowAnswers.enqueue(f);
    dialogs.answers.enqueue(answer);
    PreInstallChecks checks(dialogs, platform, nullptr);
    QTEST(checks.waitForMainApplication(4711), "goesOn");
    QStringList shown;
    for (const ScriptedDialogs::Shown &s : qAsConst(dialogs.shown))
        shown.append(s.title + QLatin1Char('|') + s.text);
    QTEST(shown, "dialogs");
    QTEST(int(platform.sleeps.size()), "sleeps");
    if (!platform.sleeps.isEmpty())
        QCOMPARE(platform.sleeps.first(), 5000);
    QCOMPARE(platform.windowQueries, QVector<quint32>(found.size(), 4711).toList());
}

void tst_PreInstall::startQuestion_data()
{
    QTest::addColumn<int>("productType");
    QTest::addColumn<bool>("withYear");
    for (int type : {1, 2, 3, 4})
        QTest::addRow("type %d", type) << type << true;
    for (int type : {5, 6, -1, 9})
        QTest::addRow("type %d", type) << type << false;
}

void tst_PreInstall::startQuestion()
{
    QFETCH(int, productType);
    QFETCH(bool, withYear);
    ScriptedDialogs dialogs;
    FakePlatform platform;
    dialogs.answers.enqueue(true);
    PreInstallChecks checks(dialogs, platform, nullptr);
    QVERIFY(checks.confirmStart(productType, 2027));
    QCOMPARE(dialogs.shown.first().title, QStringLiteral("Bestätigung:"));
    if (withYear) {
        QVERIFY(dialogs.shown.first().text.startsWith(QStringLiteral(
            "Das Update installiert die Daten des Jahres '2027'.\r\n\r\nSofern Sie")));
    } else {
        QCOMPARE(dialogs.shown.first().text, QStringLiteral("Wollen Sie das Update starten?"));
    }
    dialogs.answers.enqueue(false);
    QVERIFY(!checks.confirmStart(productType, 2027));
}

void tst_PreInstall::dataSourceGroup()
{
    QCOMPARE(PreInstallChecks::dataSourceGroup(QStringLiteral("C:\\Programme\\Ledgora\\Updater")),
             QStringLiteral("DATASOURCE_c:|programme|ledgora|updater|"));
    QCOMPARE(PreInstallChecks::dataSourceGroup(QStringLiteral("/opt/Ledgora/Updater/")),
             QStringLiteral("DATASOURCE_|opt|ledgora|updater|"));
}

void tst_PreInstall::migration_data()
{
    QTest::addColumn<bool>("newLocation");
    QTest::addColumn<int>("installed");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("existing"); // "o": "Ledgora", "s": "Ledgora Stavin"
    QTest::addColumn<bool>("elevated");
    QTest::addColumn<QList<bool>>("answers"); // the user's answers, the restart offer's among them
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("page"); // "to", "from" or empty
    QTest::addColumn<int>("restartOffers");

    using L = QList<bool>;
    const QString none;
    QTest::newRow("USE_NEW_LOCATION set") << true << 3 << 1 << QStringLiteral("o") << false << L {}
                                          << true << QStringLiteral("o") << none << 0;
    QTest::newRow("portable installed") << false << 2 << 3 << QStringLiteral("s") << false << L {}
                                        << true << QStringLiteral("s") << none << 0;
    QTest::newRow("portable selected") << false << 1 << 4 << QStringLiteral("s") << false << L {}
                                       << true << QStringLiteral("s") << none << 0;
    QTest::newRow("unknown installed") << false << -1 << 1 << QStringLiteral("o") << false << L {}
                                       << true << QStringLiteral("o") << none << 0;
    QTest::newRow("same type") << false << 1 << 1 << QStringLiteral("s") << false << L {} << true
                               << QStringLiteral("s") << none << 0;
    QTest::newRow("Orvel to Lusk") << false << 3 << 5 << QStringLiteral("o") << false << L {}
                                   << true << QStringLiteral("o") << none << 0;
    QTest::newRow("Stavin to Lusk, renamed")
        << false << 1 << 5 << QStringLiteral("s") << false << L {true} << true
        << QStringLiteral("o") << QStringLiteral("from") << 0;
    QTest::newRow("Orvel to Stavin, renamed")
        << false << 3 << 1 << QStringLiteral("o") << false << L {true} << true
        << QStringLiteral("s") << QStringLiteral("to") << 0;
    QTest::newRow("rename declined") << false << 3 << 1 << QStringLiteral("o") << false << L {false}
                                     << true << QStringLiteral("o") << QStringLiteral("to") << 0;
    QTest::newRow("both folders, go on")
        << false << 3 << 1 << QStringLiteral("os") << false << L {true, true} << true
        << QStringLiteral("os") << QStringLiteral("to") << 0;
    QTest::newRow("both folders, stop")
        << false << 3 << 1 << QStringLiteral("os") << false << L {true, false} << false
        << QStringLiteral("os") << QStringLiteral("to") << 0;
    QTest::newRow("rename fails, restart taken")
        << false << 3 << 1 << QStringLiteral("") << false << L {true, true} << false
        << QStringLiteral("") << none << 1;
    QTest::newRow("rename fails, restart declined, go on")
        << false << 3 << 1 << QStringLiteral("") << false << L {true, false, true} << true
        << QStringLiteral("") << QStringLiteral("to") << 1;
    QTest::newRow("rename fails with raised rights, stop")
        << false << 3 << 1 << QStringLiteral("") << true << L {true, false} << false
        << QStringLiteral("") << QStringLiteral("to") << 0;
}

void tst_PreInstall::migration()
{
    QFETCH(bool, newLocation);
    QFETCH(int, installed);
    QFETCH(int, selected);
    QFETCH(QString, existing);
    QFETCH(bool, elevated);
    QFETCH(QList<bool>, answers);
    QFETCH(QString, page);
    QFETCH(int, restartOffers);
    QTemporaryDir documents;
    QVERIFY2(documents.isValid(), qPrintable(documents.errorString()));
    const QString orvel = documents.filePath(QStringLiteral("Ledgora"));
    const QString stavin = documents.filePath(QStringLiteral("Ledgora Stavin"));
    if (existing.contains(QLatin1Char('o')))
        QVERIFY(QDir().mkpath(orvel));
    if (existing.contains(QLatin1Char('s')))
        QVERIFY(QDir().mkpath(stavin));

    ScriptedDialogs dialogs;
    FakePlatform platform;
    platform.newLocation = newLocation;
    platform.isElevatedProcess = elevated;
    int offers = 0;
    bool restartAnswer = false;
    if (restartOffers > 0)
        restartAnswer = answers.takeAt(1); // the offer's own question comes second
    for (bool answer : answers)
        dialogs.answers.enqueue(answer);
    PreInstallChecks checks(dialogs, platform, nullptr);
    const auto result = checks.migrateDataFolder(QStringLiteral("C:\\Ledgora\\Updater"), installed,
                                                 selected, documents.path(), [&] {
                                                     ++offers;
                                                     return restartAnswer;
                                                 });
    QTEST(result == PreInstallChecks::Migration::Continue, "goesOn");
    QString after;
    if (QFileInfo::exists(orvel))
        after += QLatin1Char('o');
    if (QFileInfo::exists(stavin))
        after += QLatin1Char('s');
    QTEST(after, "after");
    QCOMPARE(offers, restartOffers);
    QString opened;
    for (const ScriptedDialogs::Shown &shown : qAsConst(dialogs.shown)) {
        if (shown.kind == QLatin1String("openUrl"))
            opened = shown.title.contains(QLatin1String("zu_stavin")) ? QStringLiteral("to")
                                                                      : QStringLiteral("from");
    }
    QCOMPARE(opened, page);
    if (installed != -1 && !newLocation)
        QCOMPARE(platform.settingsGroups,
                 QStringList {QStringLiteral("DATASOURCE_c:|ledgora|updater|")});
}

void tst_PreInstall::settingsChangedSinceTheSearch_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("questionsFirst");
    QTest::newRow("one more group") << QStringLiteral("group") << 0;
    QTest::newRow("other product") << QStringLiteral("product") << 0;
    QTest::newRow("beta checked") << QStringLiteral("beta") << 1;
}

void tst_PreInstall::settingsChangedSinceTheSearch()
{
    QFETCH(QString, change);
    QFETCH(int, questionsFirst);
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    const int year = QDate::currentDate().year();
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"A\""), {{QStringLiteral("a.txt"), "a"}}},
         {QStringLiteral("name=\"B\" beta=\"1\""), {{QStringLiteral("b.txt"), "b"}}},
         {QStringLiteral("name=\"C\" active=\"0\""), {{QStringLiteral("c.txt"), "c"}}}}));
    const auto window = harness.open();
    UpdaterHarness::click(window.get(), QStringLiteral("Nach Updates suchen"));
    if (change == QLatin1String("group"))
        UpdaterHarness::groupBox(window.get(), QStringLiteral("C"))->setChecked(true);
    else if (change == QLatin1String("product"))
        window->findChild<QComboBox *>()->setCurrentIndex(0);
    for (QCheckBox *box : window->findChildren<QCheckBox *>()) {
        if (change == QLatin1String("beta") && box->text() == QLatin1String("Beta-Version"))
            box->setChecked(true);
    }
    harness.dialogs.shown.clear();
    harness.dialogs.answers.enqueue(true);
    UpdaterHarness::click(window.get(), QStringLiteral("Update starten"));
    const QStringList lines = harness.dialogLines();
    QCOMPARE(lines.size(), questionsFirst + 1);
    QCOMPARE(
        lines.last(),
        QStringLiteral(
            "Info:|Die Einstellungen wurden verändert, bitte suchen Sie erneut nach Updates."));
    QVERIFY(!QFile::exists(harness.installDir() + QLatin1String("a.txt")));
    QVERIFY(!QFile::exists(harness.installDir() + QLatin1String("versioninfo.dat")));
}

void tst_PreInstall::noWaitWithoutProcessOrExecutable()
{
    // An updated .txt only: no executable was compared, so the process id alone does not wait.
    UpdaterHarness harness;
    QVERIFY(harness.isValid());
    const int year = QDate::currentDate().year();
    QVERIFY(harness.releases().build(
        QStringLiteral("r"), year,
        {{QStringLiteral("name=\"A\""),
          {{QStringLiteral("a.txt"), "a"}, {QStringLiteral("b.dll"), "b"}}}}));
    QVERIFY(ReleaseFixture::writeFile(harness.installDir() + QLatin1String("a.txt"), "alt"));
    auto window = harness.open({QStringLiteral("--processid"), QStringLiteral("4711")});
    harness.searchAndInstall(window.get());
    QVERIFY(harness.platform.windowQueries.isEmpty());

    // With an existing .dll compared, the running application is looked for.
    QVERIFY(ReleaseFixture::writeFile(harness.installDir() + QLatin1String("b.dll"), "alt"));
    window = harness.open({QStringLiteral("--processid"), QStringLiteral("4711")});
    harness.searchAndInstall(window.get());
    QCOMPARE(harness.platform.windowQueries, QList<quint32> {4711});
}

void tst_PreInstall::relaunchCommandLines_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("productType");
    QTest::addColumn<QString>("offlinePath");
    QTest::addColumn<bool>("elevated");
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("allowOlder"); // the user allowed an older signed offline file
    const QString exe = updaterExecutableName();
    QTest::newRow("restart, offline")
        << QStringLiteral("restart") << 2 << 1 << QStringLiteral("C:/Update Dateien/upd.dat")
        << false
        << QStringLiteral("runas|/app/Updater/%1|--product|1|--offline|C:/Update Dateien/upd.dat")
               .arg(exe)
        << false;
    QTest::newRow("restart, online")
        << QStringLiteral("restart") << 2 << 3 << QStringLiteral("") << false
        << QStringLiteral("runas|/app/Updater/%1|--product|3").arg(exe) << false;
    QTest::newRow("restart of a copy in mode 3")
        << QStringLiteral("restart") << 3 << 3 << QStringLiteral("/x/upd.dat") << false
        << QStringLiteral("runas|/app/Updater/%1|--product|3|--mode|3|--offline|/x/upd.dat")
               .arg(exe)
        << false;
    QTest::newRow("hand-over, online")
        << QStringLiteral("handover") << 2 << 3 << QStringLiteral("") << false
        << QStringLiteral("|/app/Updater/updater-temp/%1|--product|3|--mode|3").arg(exe) << false;
    QTest::newRow("hand-over, elevated, offline")
        << QStringLiteral("handover") << 2 << 5 << QStringLiteral("/x/upd.dat") << true
        << QStringLiteral(
               "runas|/app/Updater/updater-temp/%1|--product|5|--mode|3|--offline|/x/upd.dat")
               .arg(exe)
        << false;
    // The next process takes an older offline file only when this one was allowed to.
    QTest::newRow("restart, offline, older allowed")
        << QStringLiteral("restart") << 2 << 1 << QStringLiteral("/x/upd.dat") << false
        << QStringLiteral("runas|/app/Updater/%1|--product|1|--offline|/x/upd.dat|--allowolder")
               .arg(exe)
        << true;
    QTest::newRow("hand-over, offline, older allowed")
        << QStringLiteral("handover") << 2 << 5 << QStringLiteral("/x/upd.dat") << false
        << QStringLiteral("|/app/Updater/updater-temp/%1|--product|5|--mode|3|--offline|/x/upd.dat|"
                          "--allowolder")
               .arg(exe)
        << true;
    QTest::newRow("restart, online, older allowed: nothing to allow")
        << QStringLiteral("restart") << 2 << 3 << QStringLiteral("") << false
        << QStringLiteral("runas|/app/Updater/%1|--product|3").arg(exe) << true;
    // A file name is one argument, whatever it holds: it never becomes an option.
    QTest::newRow("hand-over, a name that holds an option")
        << QStringLiteral("handover") << 2 << 5
        << QStringLiteral("/x/Ledgora\" --allowolder \"2026.dat") << false
        << QStringLiteral(
               "|/app/Updater/updater-temp/%1|--product|5|--mode|3|--offline|/x/Ledgora\" "
               "--allowolder \"2026.dat")
               .arg(exe)
        << false;
    QTest::newRow("restart, a name that starts with dashes")
        << QStringLiteral("restart") << 2 << 1 << QStringLiteral("--allowolder") << false
        << QStringLiteral("runas|/app/Updater/%1|--product|1|--offline|--allowolder").arg(exe)
        << false;
}

void tst_PreInstall::relaunchCommandLines()
{
    QFETCH(QString, operation);
    QFETCH(int, mode);
    QFETCH(int, productType);
    QFETCH(QString, offlinePath);
    QFETCH(bool, elevated);
    QFETCH(bool, allowOlder);
    ScriptedDialogs dialogs;
    FakePlatform platform;
    int quits = 0;
    Relaunch relaunch(
        dialogs, platform, nullptr, QStringLiteral("/app/Updater/"), mode, [&quits] { ++quits; },
        allowOlder);
    if (operation == QLatin1String("restart")) {
        dialogs.answers.enqueue(false);
        QVERIFY(!relaunch.offerElevatedRestart(productType, offlinePath));
        QVERIFY2(platform.starts.isEmpty(), "declined: nothing starts");
        dialogs.answers.enqueue(true);
        QVERIFY(relaunch.offerElevatedRestart(productType, offlinePath));
        QCOMPARE(dialogs.shown.first().title, QStringLiteral("Bestätigung:"));
        QCOMPARE(dialogs.shown.first().text,
                 QStringLiteral(
                     "Es sind Fehler aufgetreten.\r\nSofern diese auf fehlenden Benutzerrechten "
                     "basieren, kann das Programm erneut mit höheren Benutzerrechten gestartet "
                     "werden.\r\n\r\nWollen Sie dies tun?"));
    } else {
        QVERIFY(relaunch.handOver(productType, offlinePath, elevated));
    }
    QTEST(platform.starts.value(0), "start");
    QCOMPARE(quits, 1);
    // What the next process reads from that command line.
    const CommandLine next = CommandLine::parse(QStringList {QStringLiteral("lg_updater")}
                                                + platform.startArguments.value(0));
    QCOMPARE(next.offlinePath, offlinePath);
    QCOMPARE(next.allowOlder, allowOlder && !offlinePath.isEmpty());
}

void tst_PreInstall::refusedStart_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("result");
    QTest::newRow("restart") << QStringLiteral("restart") << true;
    QTest::newRow("hand-over") << QStringLiteral("handover") << false;
}

void tst_PreInstall::refusedStart()
{
    QFETCH(QString, operation);
    ScriptedDialogs dialogs;
    FakePlatform platform;
    platform.startSucceeds = false;
    platform.lastError = QStringLiteral("Zugriff verweigert");
    int quits = 0;
    Relaunch relaunch(dialogs, platform, nullptr, QStringLiteral("/app/Updater/"), 2,
                      [&quits] { ++quits; });
    dialogs.answers.enqueue(true);
    const bool result = operation == QLatin1String("restart")
        ? relaunch.offerElevatedRestart(3, QString())
        : relaunch.handOver(3, QString(), false);
    QTEST(result, "result");
    QCOMPARE(quits, 0);
    const ScriptedDialogs::Shown box = dialogs.shown.last();
    QCOMPARE(box.title, QStringLiteral("Fehler:"));
    QVERIFY(box.text.startsWith(QLatin1String("Zugriff verweigert\r\n/app/Updater/")));
}

QTEST_MAIN(tst_PreInstall)
#include "tst_preinstall.moc"
