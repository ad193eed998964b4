#include "app/mainwindow.h"
#include "nestedbinaryjson.h"
#include "releasefixture.h"
#include "scripteddialogs.h"
#include "testhttpserver.h"

#include "package/binaryjsonreader.h"
#include "package/hashname.h"
#include "package/offlinefilereader.h"
#include "package/offlinefilewriter.h"
#include "package/payload.h"
#include "package/updatedocument.h"

#include <QtTest>
#include <QtWidgets>

// Start-up loading of the update document from a real local server serving packages that the
// builder made, and from offline update files.
class tst_DocumentLoading : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void nextYearMissingThisYearComplete();
    void noServer_data();
    void noServer();
    void infoWithTrailingLineBreak();
    void documentNameInUpperCase();
    void documentThatDoesNotDecode_data();
    void documentThatDoesNotDecode();
    void offlineWinsOverWorkingServer();
    void offlineFileProblems_data();
    void offlineFileProblems();
    void offlineFileWithoutRecords();
    void serverAddressRefused_data();
    void serverAddressRefused();

private:
    std::unique_ptr<MainWindow> start(const QStringList &options = {});
    QString logText() const;
    QStringList checkBoxNames() const;
    QStringList buttonTexts() const;
    QString releaseLabel() const;
    bool buildOnlineRelease(int year, const QString &groupName);

    int year = QDate::currentDate().year();
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ReleaseFixture> fixture;
    std::unique_ptr<TestHttpServer> server;
    ScriptedDialogs dialogs;
    MainWindow *window = nullptr;
};

void tst_DocumentLoading::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(dir->isValid(), qPrintable(dir->errorString()));
    fixture = std::make_unique<ReleaseFixture>(dir->path());
    server = std::make_unique<TestHttpServer>();
    QVERIFY(server->start());
    server->serveDirectory("/ldg_update/", fixture->wwwRoot());
    qputenv("LEDGORA_UPDATE_URL", (server->baseUrl() + QLatin1String("ldg_update/")).toUtf8());
    QVERIFY(QDir().mkpath(dir->filePath(QStringLiteral("install/Updater"))));
    dialogs = ScriptedDialogs();
}

void tst_DocumentLoading::cleanup()
{
    qputenv("LEDGORA_UPDATE_URL", "http://127.0.0.1:9/ldg_update/");
}

std::unique_ptr<MainWindow> tst_DocumentLoading::start(const QStringList &options)
{
    MainWindowContext context;
    context.arguments = QStringList {QStringLiteral("lg_updater")} + options;
    context.dialogs = &dialogs;
    context.executableDir = dir->filePath(QStringLiteral("install/Updater"));
    auto result = std::make_unique<MainWindow>(context);
    window = result.get();
    return result;
}

bool tst_DocumentLoading::buildOnlineRelease(int releaseYear, const QString &groupName)
{
    return fixture->build(QStringLiteral("online%1").arg(releaseYear), releaseYear,
                          {{QStringLiteral("name=\"%1\" version=\"1\"").arg(groupName),
                            {{QStringLiteral("a.txt"), "a"}}}});
}

QString tst_DocumentLoading::logText() const
{
    return window->findChild<QTextEdit *>(QStringLiteral("activityLog"))->toPlainText();
}

QStringList tst_DocumentLoading::checkBoxNames() const
{
    QStringList names;
    for (QCheckBox *box : window->findChildren<QCheckBox *>())
        names.append(box->text().section(QLatin1Char(':'), 0, 0));
    return names;
}

QStringList tst_DocumentLoading::buttonTexts() const
{
    QStringList texts;
    for (QPushButton *button : window->findChildren<QPushButton *>())
        texts.append(button->text());
    return texts;
}

QString tst_DocumentLoading::releaseLabel() const
{
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (label->text().startsWith(QLatin1String("Zu installierende Version")))
            return label->text();
    }
    return QString();
}

void tst_DocumentLoading::nextYearMissingThisYearComplete()
{
    QVERIFY(buildOnlineRelease(year, QStringLiteral("Programm")));
    const auto owner = start();
    QCOMPARE(releaseLabel(), QStringLiteral("Zu installierende Version (%1):").arg(year));
    QCOMPARE(logText().count(QLatin1String("Fehler beim Laden der Infodatei:")), 1);
    QVERIFY(logText().contains(server->baseUrl() + QLatin1String("ldg_update/")
                               + QString::number(year + 1) + QLatin1String("/info.bin")));
    QVERIFY(window->findChild<QTextEdit *>(QStringLiteral("activityLog"))->isHidden());
    QCOMPARE(checkBoxNames(), QStringList {QStringLiteral("Programm")});
    QCOMPARE(buttonTexts(),
             (QStringList {QStringLiteral("Nach Updates suchen"), QStringLiteral("Update starten"),
                           QStringLiteral("Beenden"), QStringLiteral("Hilfe")}));
    QVERIFY(dialogs.shown.isEmpty());
    QCOMPARE(server->count(QByteArray("/ldg_update/") + QByteArray::number(year) + "/info.bin"), 1);
}

void tst_DocumentLoading::noServer_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("no offline update") << false;
    QTest::newRow("offline update chosen") << true;
}

namespace {

// Records every text edit that is shown as a window of its own.
class WindowShowSpy : public QObject
{
public:
    QStringList shownWindows;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QTextEdit *>(watched);
        if (event->type() == QEvent::Show && widget && widget->isWindow())
            shownWindows.append(QString::fromLatin1(widget->metaObject()->className()));
        return false;
    }
};

} // namespace

void tst_DocumentLoading::noServer()
{
    QFETCH(bool, answer);
    WindowShowSpy spy;
    qApp->installEventFilter(&spy);
    QVERIFY(
        fixture->build(QStringLiteral("offline"), 2031,
                       {{QStringLiteral("name=\"Offline\""), {{QStringLiteral("b.txt"), "b"}}}}));
    server->close();
    dialogs.answers.enqueue(answer);
    dialogs.fileNames.enqueue(fixture->offlineFile(QStringLiteral("offline")));
    const auto owner = start();

    const QString log = logText();
    QCOMPARE(log.count(QLatin1String("Fehler beim Laden der Infodatei:")), 2);
    for (int y : {year + 1, year})
        QVERIFY2(log.contains(QStringLiteral("ldg_update/%1/info.bin Connection refused").arg(y)),
                 qPrintable(log));
    QCOMPARE(dialogs.shown.first().title, QStringLiteral("Keine Internetverbindung:"));
    QCOMPARE(
        dialogs.shown.first().text,
        QStringLiteral("Es konnte keine Verbindung zum Server hergestellt werden, wollen Sie ein "
                       "Offline-Update einlesen?"));
    QCOMPARE(dialogs.shown.first().buttons, QStringLiteral("Yes|No"));
    if (answer) {
        QCOMPARE(dialogs.shown.at(1).kind, QStringLiteral("openFile"));
        QCOMPARE(dialogs.shown.at(1).title, QStringLiteral("Datei öffnen"));
        QCOMPARE(dialogs.shown.at(1).text, QStringLiteral("Offline-Update-Datei (*.dat)"));
        QCOMPARE(checkBoxNames(), QStringList {QStringLiteral("Offline")});
        QCOMPARE(releaseLabel(), QStringLiteral("Zu installierende Version (2031):"));
    } else {
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(checkBoxNames().isEmpty());
        QCOMPARE(buttonTexts(), (QStringList {QStringLiteral("Beenden"), QStringLiteral("Hilfe")}));
        QVERIFY(!window->findChild<QTextEdit *>(QStringLiteral("activityLog"))->isHidden());
        QVERIFY(!window->findChild<QComboBox *>());
    }
    qApp->removeEventFilter(&spy);
    QVERIFY2(spy.shownWindows.isEmpty(), qPrintable(spy.shownWindows.join(QLatin1Char(' '))));
}

void tst_DocumentLoading::infoWithTrailingLineBreak()
{
    QVERIFY(buildOnlineRelease(year, QStringLiteral("Programm")));
    QFile info(fixture->packageDir(year) + QLatin1String("/info.bin"));
    QVERIFY(info.open(QIODevice::Append));
    info.write("\r\n");
    info.close();
    dialogs.answers.enqueue(false);
    const auto owner = start();
    QCOMPARE(logText().count(QLatin1String("Fehler beim Laden der Infodatei:")), 2);
    QVERIFY(checkBoxNames().isEmpty());
}

void tst_DocumentLoading::documentThatDoesNotDecode_data()
{
    QTest::addColumn<QByteArray>("garbage");
    QTest::newRow("no binary JSON") << QByteArray("kein JSON");
    // Once overflowed the stack while it was validated, at every start.
    QTest::newRow("arrays nested 100,000 levels deep") << nestedBinaryJsonArrays(100000);
    UpdateGroup group;
    group.name = QStringLiteral("Programm 2");
    UpdateDocument document;
    document.groups = {group};
    QJsonObject root = documentToJson(document);
    QJsonArray groups = root.value(QStringLiteral("data")).toArray();
    QJsonObject nameless = groups.at(0).toObject();
    nameless.remove(QStringLiteral("name"));
    groups[0] = nameless;
    root[QStringLiteral("data")] = groups;
    QTest::newRow("a group without its name") << binaryJson(QJsonDocument(root));
}

// Next year's folder names, with a matching hash, bytes that do not decode: that is a failed
// load, and this year's release is loaded instead; the refusal stays in sight.
void tst_DocumentLoading::documentThatDoesNotDecode()
{
    QFETCH(QByteArray, garbage);
    QVERIFY(buildOnlineRelease(year, QStringLiteral("Programm")));
    const QString name = hashName(garbage) + QLatin1String(".bin");
    const QString folder = fixture->packageDir(year + 1) + QLatin1Char('/');
    QVERIFY(ReleaseFixture::writeFile(folder + name, compressPayload(garbage)));
    QVERIFY(ReleaseFixture::writeFile(folder + QLatin1String("info.bin"), name.toUtf8()));
    const auto owner = start();
    QCOMPARE(releaseLabel(), QStringLiteral("Zu installierende Version (%1):").arg(year));
    QCOMPARE(checkBoxNames(), QStringList {QStringLiteral("Programm")});
    const QString log = logText();
    QCOMPARE(log.count(QLatin1String("Fehler beim Laden der Infodatei:")), 1);
    QVERIFY2(log.contains(server->baseUrl() + QLatin1String("ldg_update/")
                          + QString::number(year + 1) + QLatin1Char('/') + name
                          + QLatin1String(" Fehler beim Laden des JSON-Dokuments.")),
             qPrintable(log));
    QVERIFY(!window->findChild<QTextEdit *>(QStringLiteral("activityLog"))->isHidden());
}

void tst_DocumentLoading::documentNameInUpperCase()
{
    QVERIFY(buildOnlineRelease(year, QStringLiteral("Programm")));
    const QString folder = fixture->packageDir(year);
    QFile info(folder + QLatin1String("/info.bin"));
    QVERIFY(info.open(QIODevice::ReadOnly));
    const QString name = QString::fromUtf8(info.readAll());
    info.close();
    const QString upper = name.left(64).toUpper() + QLatin1String(".bin");
    QVERIFY(QFile::rename(folder + QLatin1Char('/') + name, folder + QLatin1Char('/') + upper));
    QVERIFY(ReleaseFixture::writeFile(folder + QLatin1String("/info.bin"), upper.toUtf8()));
    dialogs.answers.enqueue(false);
    const auto owner = start();
    const QString log = logText();
    QCOMPARE(log.count(QLatin1String("Fehler beim Laden der Infodatei:")), 2);
    QVERIFY2(log.contains(QLatin1String("Fehler beim Laden der Infodatei: ") + upper.left(64)),
             qPrintable(log));
}

void tst_DocumentLoading::offlineWinsOverWorkingServer()
{
    QVERIFY(buildOnlineRelease(year, QStringLiteral("Online")));
    QVERIFY(
        fixture->build(QStringLiteral("offline"), 2031,
                       {{QStringLiteral("name=\"Offline\""), {{QStringLiteral("b.txt"), "b"}}}}));
    const auto owner =
        start({QStringLiteral("--offline"),
               QLatin1String("  \"") + fixture->offlineFile(QStringLiteral("offline"))
                   + QLatin1String("\"  ")});
    QCOMPARE(checkBoxNames(), QStringList {QStringLiteral("Offline")});
    QCOMPARE(releaseLabel(), QStringLiteral("Zu installierende Version (2031):"));
    QVERIFY(dialogs.shown.isEmpty());
    QVERIFY(server->count(QByteArray("/ldg_update/") + QByteArray::number(year) + "/info.bin")
            == 1);
}

void tst_DocumentLoading::offlineFileProblems_data()
{
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QStringList>("boxes"); // "title|text" of each information box
    QTest::addColumn<QStringList>("checkBoxes"); // the online document stays unless it is replaced
    const QString read = QStringLiteral("Fehler beim Lesen der Datei:");
    const QString load = QStringLiteral("Fehler beim Laden der Datei:");
    // The system's own words for a missing file: strerror's on Linux, FormatMessage's on Windows,
    // which Wine words otherwise than Windows does.
    const QTemporaryDir empty;
    QFile missing(empty.filePath(QStringLiteral("fehlt")));
    QVERIFY(!missing.open(QIODevice::ReadOnly));
    QTest::newRow("missing file") << QStringLiteral("missing")
                                  << QStringList {read + QLatin1Char('|') + missing.errorString()}
                                  << QStringList {QStringLiteral("Online")};
    QTest::newRow("wrong identifier")
        << QStringLiteral("foreign") << QStringList {read + QLatin1String("|Falsche Datei.")}
        << QStringList {QStringLiteral("Online")};
    QTest::newRow("record count beyond the records")
        << QStringLiteral("count")
        << QStringList {load + QLatin1String("|Dateifehler."),
                        load + QLatin1String("|Fehler beim Laden des JSON-Dokuments.")}
        << QStringList();
    QTest::newRow("header cut after the identifier")
        << QStringLiteral("header")
        << QStringList {load + QLatin1String("|Dateifehler."),
                        load + QLatin1String("|Fehler beim Laden des JSON-Dokuments.")}
        << QStringList();
    QTest::newRow("no document")
        << QStringLiteral("nodocument")
        << QStringList {load + QLatin1String("|Fehler beim Laden des JSON-Dokuments.")}
        << QStringList();
    QTest::newRow("document nested 100,000 levels deep")
        << QStringLiteral("deep")
        << QStringList {load + QLatin1String("|Fehler beim Laden des JSON-Dokuments.")}
        << QStringList();
}

void tst_DocumentLoading::offlineFileProblems()
{
    QFETCH(QString, problem);
    QVERIFY(buildOnlineRelease(year, QStringLiteral("Online")));
    QVERIFY(
        fixture->build(QStringLiteral("offline"), 2031,
                       {{QStringLiteral("name=\"Offline\""), {{QStringLiteral("b.txt"), "b"}}}}));
    QString path = fixture->offlineFile(QStringLiteral("offline"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    if (problem == QLatin1String("missing")) {
        path += QLatin1String(".fehlt");
    } else if (problem == QLatin1String("foreign")) {
        file.seek(4);
        file.write(QByteArray("\0X", 2)); // "9…" becomes "X…"
    } else if (problem == QLatin1String("header")) {
        QVERIFY(file.resize(78));
    } else if (problem == QLatin1String("count")) {
        file.seek(80);
        file.write(QByteArray::fromHex("00000005"));
    } else if (problem == QLatin1String("deep")) {
        file.close();
        OfflineFileWriter writer;
        QVERIFY(writer.open(path, 2031));
        QVERIFY(writer.appendDocument(compressPayload(nestedBinaryJsonArrays(100000))));
        QVERIFY(writer.finish());
    } else {
        // Keep the records, cut the document: as a builder run that stopped before it.
        OfflineFileReader reader(&file);
        OfflineRecord record;
        QVERIFY(reader.readHeader() && reader.readRecord(&record));
        QVERIFY(file.resize(file.pos()));
    }
    file.close();
    const auto owner = start({QStringLiteral("--offline"), path});
    QStringList boxes;
    for (const ScriptedDialogs::Shown &shown : qAsConst(dialogs.shown))
        boxes.append(shown.title + QLatin1Char('|') + shown.text);
    QTEST(boxes, "boxes");
    QTEST(checkBoxNames(), "checkBoxes");
}

void tst_DocumentLoading::offlineFileWithoutRecords()
{
    QVERIFY(fixture->build(QStringLiteral("leer"), 2031, {{QStringLiteral("name=\"Leer\""), {}}}));
    const auto owner =
        start({QStringLiteral("--offline"), fixture->offlineFile(QStringLiteral("leer"))});
    QCOMPARE(checkBoxNames(), QStringList {QStringLiteral("Leer")});
    QVERIFY(dialogs.shown.isEmpty());
}

void tst_DocumentLoading::serverAddressRefused_data()
{
    QTest::addColumn<QString>("address"); // @BASE@: the test server's
    QTest::addColumn<QString>("reason");
    const QString notAbsolute =
        QStringLiteral("LEDGORA_UPDATE_URL ist keine absolute http- oder https-Adresse.");
    QTest::newRow("without the final slash")
        << QStringLiteral("@BASE@ldg_update")
        << QStringLiteral("LEDGORA_UPDATE_URL endet nicht mit \"/\".");
    QTest::newRow("relative") << QStringLiteral("ldg_update/") << notAbsolute;
    QTest::newRow("another scheme") << QStringLiteral("ftp://127.0.0.1/ldg_update/") << notAbsolute;
    QTest::newRow("no host") << QStringLiteral("http:///ldg_update/") << notAbsolute;
    QTest::newRow("a query") << QStringLiteral("@BASE@ldg_update/?x=1") << notAbsolute;
}

// A mistyped staging address is refused with its own line; nothing is fetched from wherever it
// would lead, and no offline update is offered as if the connection had failed.
void tst_DocumentLoading::serverAddressRefused()
{
    QFETCH(QString, address);
    QFETCH(QString, reason);
    QVERIFY(buildOnlineRelease(year, QStringLiteral("Programm")));
    address.replace(QLatin1String("@BASE@"), server->baseUrl());
    qputenv("LEDGORA_UPDATE_URL", address.toUtf8());
    const auto owner = start();
    QCOMPARE(logText(),
             QStringLiteral("Ungültige Server-Adresse: ") + address + QLatin1Char(' ') + reason);
    QVERIFY(server->requestedPaths.isEmpty());
    QVERIFY(dialogs.shown.isEmpty());
    QVERIFY(checkBoxNames().isEmpty());
}

QTEST_MAIN(tst_DocumentLoading)
#include "tst_documentloading.moc"
