#include "app/mainwindow.h"
#include "fakeplatform.h"
#include "nginxserver.h"
#include "programprocess.h"
#include "releasefixture.h"
#include "scripteddialogs.h"
#include "testhttpserver.h"

#include "package/hashname.h"
#include "package/payload.h"

#include <QtTest>
#include <QtWidgets>

// The updater used as its users use it: the publisher builds releases with the real program in
// mode 1, nginx publishes them over HTTPS, installations are brought up to date, and the updater
// hands over to a new copy of itself. The scenarios build on each other, in order.
class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void emptyInstallationToReleaseA();
    void updateFromAToB();
    void sameUpdateFromOfflineFile();
    void updaterHandsOverToNewCopy();
    void serverUnreachable();
    void corruptedDataFileInstallsNothing();
    void killedInstallationRunsAgain();

private:
    QString path(const QString &relative) const { return root.filePath(relative); }
    QString packageDir() const;
    void writeSources(const QString &release, const QMap<QString, QByteArray> &programm,
                      const QMap<QString, QByteArray> &elster,
                      const QByteArray &updater = QByteArray());
    bool buildWithProgram(const QString &release, QString *error);
    std::unique_ptr<MainWindow> openClient(const QString &install, const QStringList &options,
                                           const QString &updaterDir = QString());
    void searchAndInstall(MainWindow *window);
    void verifyInstallation(const QString &install, const QString &release);
    int dataFileRequests() const;

    QTemporaryDir root;
    TestCertificate certificate;
    std::unique_ptr<NginxServer> nginx;
    int year = QDate::currentDate().year();
    ScriptedDialogs dialogs;
    FakePlatform platform;
    int quitRequests = 0;
    QStringList seenRequests;
};

namespace {

QByteArray pseudoRandom(int size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : data)
        c = char(generator.bounded(256));
    return data;
}

QByteArray read(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QMap<QString, QByteArray> programmA()
{
    return {
        {QStringLiteral("Ledgora.exe"), QByteArray("MZ Ledgora A ") + pseudoRandom(100000, 1)},
        {QStringLiteral("Vorlagen/SKR03.csv"), "Konto;Bezeichnung\r\n1000;Kasse\r\n1200;Bank\r\n"},
        {QStringLiteral("Vorlagen/SKR04.csv"), "Konto;Bezeichnung\r\n1600;Kasse\r\n1800;Bank\r\n"},
        {QStringLiteral("daten.bin"), pseudoRandom(300000, 2)},
        {QStringLiteral("leer.txt"), QByteArray()}};
}

QMap<QString, QByteArray> programmB()
{
    QMap<QString, QByteArray> files = programmA();
    files.insert(QStringLiteral("Ledgora.exe"),
                 QByteArray("MZ Ledgora B ") + pseudoRandom(100000, 3));
    files.insert(QStringLiteral("Vorlagen/SKR49.csv"),
                 "Konto;Bezeichnung\r\n0100;Vereinskasse\r\n");
    files.insert(QStringLiteral("Berichte/"), QByteArray());
    return files;
}

QMap<QString, QByteArray> elsterA()
{
    return {{QStringLiteral("plugins/alt.dll"), "ELSTER alt"},
            {QStringLiteral("plugins/gemeinsam.dll"), "ELSTER gemeinsam"},
            {QStringLiteral("plugins2/zwei.dll"), "ELSTER zwei"}};
}

QMap<QString, QByteArray> elsterB()
{
    return {{QStringLiteral("plugins/neu.dll"), "ELSTER neu"},
            {QStringLiteral("plugins/gemeinsam.dll"), "ELSTER gemeinsam"},
            {QStringLiteral("plugins2/zwei.dll"), "ELSTER zwei"}};
}

} // namespace

void tst_EndToEnd::initTestCase()
{
    QVERIFY2(root.isValid(), qPrintable(root.errorString()));
    QVERIFY(QDir().mkpath(path(QStringLiteral("cert"))));
    certificate = TestCertificate::createAndTrust(path(QStringLiteral("cert")));
    QVERIFY2(certificate.error.isEmpty(), qPrintable(certificate.error));
    QVERIFY(QDir().mkpath(packageDir()));
    nginx = std::make_unique<NginxServer>(
        path(QStringLiteral("nginx")), path(QStringLiteral("www")),
        path(QStringLiteral("cert/cert.pem")), path(QStringLiteral("cert/key.pem")));
    QString error;
    QVERIFY2(nginx->start(&error), qPrintable(error));
    qputenv("LEDGORA_UPDATE_URL", nginx->updateUrl().toUtf8());
}

void tst_EndToEnd::cleanupTestCase()
{
    nginx->stop();
    qputenv("LEDGORA_UPDATE_URL", "http://127.0.0.1:9/ldg_update/");
}

QString tst_EndToEnd::packageDir() const
{
    return path(QStringLiteral("www/ldg_update/")) + QString::number(year);
}

void tst_EndToEnd::writeSources(const QString &release, const QMap<QString, QByteArray> &programm,
                                const QMap<QString, QByteArray> &elster, const QByteArray &updater)
{
    const QString source = path(QStringLiteral("src/")) + release + QLatin1Char('/');
    // As at a publisher's, a file that did not change keeps its time from one release to the
    // next; an installed file that is current keeps the time of the release that brought it.
    auto writeTree = [](const QString &folder, const QMap<QString, QByteArray> &files) {
        QDir().mkpath(folder);
        for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
            if (it.key().endsWith(QLatin1Char('/'))) {
                QDir().mkpath(folder + it.key());
                continue;
            }
            ReleaseFixture::writeFile(folder + it.key(), it.value());
            QFile file(folder + it.key());
            file.open(QIODevice::ReadWrite);
            const QDateTime time = QDateTime(QDate(2025, 1, 1), QTime(12, 0), Qt::LocalTime)
                                       .addSecs(qHash(it.value()) % 1000000);
            file.setFileTime(time, QFileDevice::FileModificationTime);
        }
    };
    QString groups;
    if (!updater.isNull()) {
        writeTree(source + QLatin1String("updater/"),
                  {{QStringLiteral("Updater/updater-temp/lg_updater.txt"), updater},
                   {QStringLiteral("Updater/updater-temp/") + updaterExecutableName(), updater}});
        groups += QStringLiteral(
                      "  <group name=\"Updater\" type=\"updater\" version=\"1.2\" os=\"windows\" "
                      "srcdir=\"%1updater\"/>\n")
                      .arg(source);
    }
    writeTree(source + QLatin1String("programm/"), programm);
    writeTree(source + QLatin1String("elster/"), elster);
    groups +=
        QStringLiteral("  <group name=\"Ledgora\" type=\"programm\" version=\"%2\" os=\"windows\" "
                       "srcdir=\"%1programm\"><info>Das Programm</info></group>\n"
                       "  <group name=\"ELSTER\" type=\"elster\" cert=\"0\" version=\"%2\" "
                       "srcdir=\"%1elster\"/>\n")
            .arg(source, release);
    const QString xml =
        QStringLiteral(
            "<updater_document trgdir=\"%1\" year=\"%2\" trgfile=\"%3\" version=\"%4\">\n"
            "  <main_info os=\"windows\">Release %4</main_info>\n%5"
            "</updater_document>\n")
            .arg(packageDir(), QString::number(year), path(release + QLatin1String(".dat")),
                 release, groups);
    QVERIFY(ReleaseFixture::writeFile(path(release + QLatin1String(".xml")), xml.toUtf8()));
}

bool tst_EndToEnd::buildWithProgram(const QString &release, QString *error)
{
    // "info.bin" is written last: its appearance means the package and offline file are done.
    QFile::remove(packageDir() + QLatin1String("/info.bin"));
    QProcess process;
    startUpdaterProcess(process,
                        {QStringLiteral("--mode"), QStringLiteral("1"), QStringLiteral("--conf"),
                         path(release + QLatin1String(".xml"))});
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(packageDir() + QLatin1String("/info.bin")) && timer.elapsed() < 60000
           && process.state() != QProcess::NotRunning)
        QThread::msleep(20);
    const bool built = QFile::exists(packageDir() + QLatin1String("/info.bin"));
    // The program now shows its success box and would go on to the window.
    process.kill();
    process.waitForFinished();
    if (!built)
        *error = QString::fromLocal8Bit(process.readAllStandardError().right(2000));
    return built;
}

std::unique_ptr<MainWindow> tst_EndToEnd::openClient(const QString &install,
                                                     const QStringList &options,
                                                     const QString &updaterDir)
{
    dialogs = ScriptedDialogs();
    platform = FakePlatform();
    const QString executableDir =
        updaterDir.isEmpty() ? install + QLatin1String("/Updater") : updaterDir;
    QDir().mkpath(executableDir);
    MainWindowContext context;
    context.arguments = QStringList {QStringLiteral("lg_updater")} + options;
    context.dialogs = &dialogs;
    context.platform = &platform;
    context.executableDir = executableDir;
    context.quit = [this] { ++quitRequests; };
    return std::make_unique<MainWindow>(context);
}

void tst_EndToEnd::searchAndInstall(MainWindow *window)
{
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        if (button->text() == QLatin1String("Nach Updates suchen"))
            button->click();
    }
    for (int i = 0; i < 4; ++i)
        dialogs.answers.enqueue(true);
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        if (button->text() == QLatin1String("Update starten") && button->isEnabled())
            button->click();
    }
}

void tst_EndToEnd::verifyInstallation(const QString &install, const QString &release)
{
    const QString source = path(QStringLiteral("src/")) + release + QLatin1Char('/');
    for (const QString &group : {QStringLiteral("programm/"), QStringLiteral("elster/")}) {
        QDirIterator it(source + group,
                        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString from = it.next();
            const QString to = install + QLatin1Char('/') + from.mid(source.size() + group.size());
            if (it.fileInfo().isDir()) {
                QVERIFY2(QFileInfo(to).isDir(), qPrintable(to));
                continue;
            }
            QVERIFY2(read(to) == read(from), qPrintable(to));
            QCOMPARE(QFileInfo(to).lastModified().toSecsSinceEpoch(),
                     it.fileInfo().lastModified().toSecsSinceEpoch());
        }
    }
}

int tst_EndToEnd::dataFileRequests() const
{
    int count = 0;
    const QString info = QString::fromUtf8(read(packageDir() + QLatin1String("/info.bin")));
    for (const QString &request : nginx->requestedPaths()) {
        if (!request.endsWith(QLatin1String("/info.bin")) && !request.endsWith(info))
            ++count;
    }
    return count;
}

void tst_EndToEnd::emptyInstallationToReleaseA()
{
    writeSources(QStringLiteral("A"), programmA(), elsterA());
    QString error;
    QVERIFY2(buildWithProgram(QStringLiteral("A"), &error), qPrintable(error));
    for (const QString &install : {QStringLiteral("install"), QStringLiteral("install-offline")}) {
        const QSet<QByteArray> connectionsBefore = nginx->connections();
        const int requestsBefore = nginx->requestedPaths().size();
        const auto window =
            openClient(path(install), {QStringLiteral("--product"), QStringLiteral("1")});
        searchAndInstall(window.get());
        // Info file, document and every data file over a few kept-alive connections: one per
        // file would be as many connections as requests.
        const int requests = nginx->requestedPaths().size() - requestsBefore;
        QVERIFY(requests >= 9);
        QVERIFY2((nginx->connections() - connectionsBefore).size() <= 6,
                 qPrintable(QStringLiteral("%1 connections for %2 requests")
                                .arg((nginx->connections() - connectionsBefore).size())
                                .arg(requests)));
        QCOMPARE(dialogs.shown.last().text,
                 QStringLiteral("Die Aktualisierung wurde erfolgreich durchgeführt."));
        verifyInstallation(path(install), QStringLiteral("A"));
        QCOMPARE(read(path(install + QLatin1String("/versioninfo.dat"))),
                 QByteArray::number(year) + "\r\n1\r\n0\r\n0");
    }
}

void tst_EndToEnd::updateFromAToB()
{
    writeSources(QStringLiteral("B"), programmB(), elsterB());
    QString error;
    QVERIFY2(buildWithProgram(QStringLiteral("B"), &error), qPrintable(error));
    const int before = dataFileRequests();
    const auto window = openClient(path(QStringLiteral("install")), {});
    searchAndInstall(window.get());
    QCOMPARE(dialogs.shown.last().text,
             QStringLiteral("Die Aktualisierung wurde erfolgreich durchgeführt."));
    verifyInstallation(path(QStringLiteral("install")), QStringLiteral("B"));
    // Ledgora.exe, SKR49.csv and neu.dll changed or are new: only their data files are fetched.
    QCOMPARE(dataFileRequests() - before, 3);
    QVERIFY(!QFile::exists(path(QStringLiteral("install/plugins/alt.dll"))));
    const QString log =
        window->findChild<QTextEdit *>(QStringLiteral("activityLog"))->toPlainText();
    QVERIFY2(log.contains(QStringLiteral("Datei wurde entfernt: ")
                          + path(QStringLiteral("install/plugins/alt.dll"))),
             qPrintable(log));
}

void tst_EndToEnd::sameUpdateFromOfflineFile()
{
    qputenv("LEDGORA_UPDATE_URL", "http://127.0.0.1:9/ldg_update/");
    const auto window = openClient(path(QStringLiteral("install-offline")),
                                   {QStringLiteral("--offline"), path(QStringLiteral("B.dat"))});
    searchAndInstall(window.get());
    qputenv("LEDGORA_UPDATE_URL", nginx->updateUrl().toUtf8());
    QCOMPARE(dialogs.shown.last().text,
             QStringLiteral("Die Aktualisierung wurde erfolgreich durchgeführt."));
    verifyInstallation(path(QStringLiteral("install-offline")), QStringLiteral("B"));
    QVERIFY(!QFile::exists(path(QStringLiteral("install-offline/plugins/alt.dll"))));
}

void tst_EndToEnd::updaterHandsOverToNewCopy()
{
    QMap<QString, QByteArray> programm = programmB();
    programm.insert(QStringLiteral("Ledgora.exe"),
                    QByteArray("MZ Ledgora C ") + pseudoRandom(100000, 4));
    // The release also carries the updater at its final place, where only the new copy may
    // write it: the running one leaves it pending.
    const QString finalUpdater = QStringLiteral("/Updater/") + updaterExecutableName();
    programm.insert(finalUpdater.mid(1), "Updater Version C");
    writeSources(QStringLiteral("C"), programm, elsterB(), "Updater Version C");
    QString error;
    QVERIFY2(buildWithProgram(QStringLiteral("C"), &error), qPrintable(error));
    const QString install = path(QStringLiteral("install"));
    {
        const auto window = openClient(install, {});
        searchAndInstall(window.get());
    }
    QCOMPARE(read(install + QLatin1String("/Updater/updater-temp/lg_updater.txt")),
             QByteArray("Updater Version C"));
    QVERIFY2(read(install + QLatin1String("/Ledgora.exe")).startsWith("MZ Ledgora B"),
             "only the updater group first");
    QVERIFY2(!QFile::exists(install + finalUpdater), "the running updater is not written");
    const QString copyDir = install + QLatin1String("/Updater/updater-temp");
    QCOMPARE(platform.starts,
             QStringList {QLatin1String("|") + QDir(install).canonicalPath()
                          + QLatin1String("/Updater/updater-temp/") + updaterExecutableName()
                          + QLatin1String("|--product|1|--mode|3")});
    QCOMPARE(quitRequests, 1);

    // Start the copy as the platform layer would: from updater-temp, with that command line.
    const QStringList arguments = platform.startArguments.first();
    const auto copy = openClient(install, arguments, copyDir);
    for (int i = 0; i < 3; ++i)
        dialogs.answers.enqueue(true);
    for (QPushButton *button : copy->findChildren<QPushButton *>()) {
        if (button->text() == QLatin1String("Update starten"))
            button->click();
    }
    QCOMPARE(dialogs.shown.last().text,
             QStringLiteral("Die Aktualisierung wurde erfolgreich durchgeführt."));
    verifyInstallation(install, QStringLiteral("C"));
}

void tst_EndToEnd::serverUnreachable()
{
    qputenv("LEDGORA_UPDATE_URL", "https://127.0.0.1:9/ldg_update/");
    const auto window = openClient(path(QStringLiteral("install")), {});
    qputenv("LEDGORA_UPDATE_URL", nginx->updateUrl().toUtf8());
    const QString log =
        window->findChild<QTextEdit *>(QStringLiteral("activityLog"))->toPlainText();
    QCOMPARE(log.count(QLatin1String("Fehler beim Laden der Infodatei:")), 2);
    QCOMPARE(dialogs.shown.first().title, QStringLiteral("Keine Internetverbindung:"));
}

void tst_EndToEnd::corruptedDataFileInstallsNothing()
{
    const QByteArray content = read(path(QStringLiteral("src/C/programm/Ledgora.exe")));
    const QString dataFile =
        packageDir() + QLatin1Char('/') + hashName(content) + QLatin1String(".bin");
    const QByteArray original = read(dataFile);
    QByteArray damaged = content;
    damaged[5000] = char(damaged.at(5000) ^ 0x20);
    QVERIFY(ReleaseFixture::writeFile(dataFile, compressPayload(damaged)));
    const QString install = path(QStringLiteral("install-fresh"));
    const auto window = openClient(install, {});
    searchAndInstall(window.get());
    QVERIFY(ReleaseFixture::writeFile(dataFile, original));
    const QString log =
        window->findChild<QTextEdit *>(QStringLiteral("activityLog"))->toPlainText();
    QVERIFY2(
        log.contains(QStringLiteral("Falscher Hash-Wert der Serverdaten: ") + hashName(damaged)),
        qPrintable(log));
    QVERIFY(!QFile::exists(install + QLatin1String("/versioninfo.dat")));
    QVERIFY(!QFile::exists(install + QLatin1String("/Ledgora.exe")));
}

void tst_EndToEnd::killedInstallationRunsAgain()
{
    // Many large files of repetitive content: small data files, but writing them takes time.
    QMap<QString, QByteArray> programm;
    const QByteArray block = pseudoRandom(4096, 5);
    for (int i = 0; i < 120; ++i)
        programm.insert(QStringLiteral("gross/datei%1.bin").arg(i, 3, 10, QLatin1Char('0')),
                        QByteArray::number(i) + block.repeated(256));
    writeSources(QStringLiteral("D"), programm, elsterB());
    QString error;
    QVERIFY2(buildWithProgram(QStringLiteral("D"), &error), qPrintable(error));

    const QString install = path(QStringLiteral("install-killed"));
    QDir().mkpath(install + QLatin1String("/Updater"));
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LEDGORA_UPDATE_URL"), nginx->updateUrl());
    env.insert(QStringLiteral("LEDGORA_TEST_CA"), path(QStringLiteral("cert/cert.pem")));
    client.setProcessEnvironment(env);
    client.start(QStringLiteral(E2E_CLIENT_PATH), {install + QLatin1String("/Updater")});
    int written = 0;
    QElapsedTimer timer;
    timer.start();
    while (client.state() != QProcess::NotRunning && timer.elapsed() < 120000) {
        written = QDir(install + QLatin1String("/gross")).entryList(QDir::Files).size();
        if (written >= 10)
            break;
        QThread::msleep(2);
    }
    client.kill();
    client.waitForFinished();
    QVERIFY2(written >= 10, client.readAllStandardOutput().constData());

    // Every file that exists under its own name is whole.
    int whole = 0;
    for (auto it = programm.constBegin(); it != programm.constEnd(); ++it) {
        const QString target = install + QLatin1Char('/') + it.key();
        if (QFile::exists(target)) {
            QVERIFY2(read(target) == it.value(), qPrintable(target));
            ++whole;
        }
    }
    if (whole == programm.size())
        QWARN("the installation finished before the kill; the second run still has to hold");

    client.start(QStringLiteral(E2E_CLIENT_PATH), {install + QLatin1String("/Updater")});
    QVERIFY(client.waitForFinished(120000));
    const QByteArray output = client.readAllStandardOutput();
    QVERIFY2(output.contains("Die Aktualisierung wurde erfolgreich durchgeführt."),
             output.constData());
    verifyInstallation(install, QStringLiteral("D"));
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
