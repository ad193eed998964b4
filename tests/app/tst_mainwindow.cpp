#include "app/activitylogview.h"
#include "app/groupcheckboxtext.h"
#include "app/mainwindow.h"
#include "common/logline.h"
#include "common/osmatch.h"
#include "platform/platform.h"
#include "releasefixture.h"
#include "scripteddialogs.h"

#include "package/updatedocument.h"

#include <QtTest>
#include <QtWidgets>

// The window built from update documents made for the test (offline update files from the
// builder), with version records and command-line options.
class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void content_data();
    void content();
    void checkBoxText();
    void infoLinks_data();
    void logLineShowsTextAsIs_data();
    void logLineShowsTextAsIs();
    void infoLinks();
    void sizeText_data();
    void sizeText();
    void osMatching_data();
    void osMatching();
    void helpOpensPage();
    void quitCloses();

private:
    struct Window
    {
        std::unique_ptr<QTemporaryDir> dir;
        ScriptedDialogs dialogs;
        std::unique_ptr<MainWindow> window;
    };
    std::unique_ptr<Window> open(const QStringList &groups, const QByteArray &record,
                                 const QStringList &options,
                                 const QMap<QString, QByteArray> &installed = {});
};

namespace {

const QByteArray noRecord;

// The updater group's file as published and, in the tests below, as installed.
const QString updaterFile = QStringLiteral("Updater/lg_updater.txt");

QString state(QCheckBox *box)
{
    return box->text().section(QLatin1Char(':'), 0, 0) + QLatin1Char('|')
        + QLatin1String(box->isChecked() ? "checked" : "unchecked") + QLatin1Char('|')
        + QLatin1String(box->isEnabled() ? "enabled" : "disabled") + QLatin1Char('|')
        + QLatin1String(box->isHidden() ? "hidden" : "shown");
}

} // namespace

std::unique_ptr<tst_MainWindow::Window>
tst_MainWindow::open(const QStringList &groups, const QByteArray &record,
                     const QStringList &options, const QMap<QString, QByteArray> &installed)
{
    auto result = std::make_unique<Window>();
    result->dir = std::make_unique<QTemporaryDir>();
    const QString root = result->dir->path();
    ReleaseFixture fixture(root);
    QList<FixtureGroup> fixtureGroups;
    for (const QString &attributes : groups) {
        FixtureGroup group {attributes, {}};
        if (attributes.contains(QLatin1String("updater")))
            group.files.insert(updaterFile, "Updater Version 2");
        fixtureGroups.append(group);
    }
    if (!fixture.build(QStringLiteral("release"), 2026, fixtureGroups,
                       QStringLiteral("<main_info os=\"windows_7\">Nur Windows 7</main_info>"
                                      "<main_info>Für alle</main_info>")))
        return nullptr;
    const QString install = root + QLatin1String("/install/");
    QDir().mkpath(install + QLatin1String("Updater/updater-temp"));
    if (!record.isNull())
        ReleaseFixture::writeFile(install + QLatin1String("versioninfo.dat"), record);
    for (auto it = installed.constBegin(); it != installed.constEnd(); ++it)
        ReleaseFixture::writeFile(install + it.key(), it.value());

    MainWindowContext context;
    context.arguments = QStringList {QStringLiteral("lg_updater"), QStringLiteral("--offline"),
                                     fixture.offlineFile(QStringLiteral("release"))}
        + options;
    context.dialogs = &result->dialogs;
    const bool modeThree = options.contains(QStringLiteral("3"));
    context.executableDir = install + QLatin1String(modeThree ? "Updater/updater-temp" : "Updater");
    result->window = std::make_unique<MainWindow>(context);
    return result;
}

void tst_MainWindow::content_data()
{
    QTest::addColumn<QStringList>("groups");
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("installed"); // updater file content, or nothing
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("products"); // combo items, the current one marked with *
    QTest::addColumn<QString>("beta"); // "none", or the box's state

    const QString windows = QStringLiteral("os=\"windows\"");
    const QByteArray orvel = "2026\r\n3\r\n1\r\n0";
    const QStringList all {QStringLiteral("Stavin"),         QStringLiteral("*Orvel"),
                           QStringLiteral("Lusk"),           QStringLiteral("Stavin Portabel"),
                           QStringLiteral("Orvel Portabel"), QStringLiteral("Lusk Portabel")};
    const QStringList family {QStringLiteral("Stavin"), QStringLiteral("*Orvel"),
                              QStringLiteral("Lusk")};

    QTest::newRow("os override windows_8_1")
        << QStringList {QStringLiteral("name=\"A\" os=\"windows_8\""),
                        QStringLiteral("name=\"B\" os=\"windows_8_1\""),
                        QStringLiteral("name=\"C\" os=\"windows_10;windows_8\""),
                        QStringLiteral("name=\"D\" os=\"windows_7\""),
                        QStringLiteral("name=\"E\""),
                        QStringLiteral("name=\"F\" os=\";\"")}
        << orvel << QStringList {QStringLiteral("--os"), QStringLiteral("windows_8_1")}
        << QStringList()
        << QStringList {QStringLiteral("A|checked|enabled|shown"),
                        QStringLiteral("B|checked|enabled|shown"),
                        QStringLiteral("C|checked|enabled|shown"),
                        QStringLiteral("E|checked|enabled|shown"),
                        QStringLiteral("F|checked|enabled|shown")}
        << family << QStringLiteral("none");
    QTest::newRow("active and disable")
        << QStringList {QStringLiteral("name=\"A\""), QStringLiteral("name=\"B\" active=\"0\""),
                        QStringLiteral("name=\"C\" disable=\"1\""),
                        QStringLiteral("name=\"D\" active=\"0\" disable=\"1\"")}
        << orvel << QStringList() << QStringList()
        << QStringList {QStringLiteral("A|checked|enabled|shown"),
                        QStringLiteral("B|unchecked|enabled|shown"),
                        QStringLiteral("C|checked|disabled|shown"),
                        QStringLiteral("D|unchecked|disabled|shown")}
        << family << QStringLiteral("none");
    QTest::newRow("two elster groups, certificate flag 1")
        << QStringList {QStringLiteral("name=\"E1\" type=\"elster\" cert=\"0\""),
                        QStringLiteral("name=\"E2\" type=\"elster\" cert=\"1\"")}
        << orvel << QStringList() << QStringList()
        << QStringList {QStringLiteral("E1|unchecked|enabled|shown"),
                        QStringLiteral("E2|checked|enabled|shown")}
        << family << QStringLiteral("none");
    QTest::newRow("two elster groups, no version record")
        << QStringList {QStringLiteral("name=\"E1\" type=\"elster\" cert=\"0\" active=\"0\""),
                        QStringLiteral("name=\"E2\" type=\"elster\" cert=\"1\"")}
        << noRecord << QStringList() << QStringList()
        << QStringList {QStringLiteral("E1|unchecked|enabled|shown"),
                        QStringLiteral("E2|checked|enabled|shown")}
        << all << QStringLiteral("none");
    QTest::newRow("single elster group always checked")
        << QStringList {QStringLiteral("name=\"E\" type=\"ELSTER\" cert=\"0\" active=\"0\"")}
        << orvel << QStringList() << QStringList()
        << QStringList {QStringLiteral("E|checked|enabled|shown")} << family
        << QStringLiteral("none");
    QTest::newRow("exec group checked and hidden")
        << QStringList {QStringLiteral("name=\"X\" type=\"exec\" subtype=\"3\" active=\"0\"")}
        << orvel << QStringList() << QStringList()
        << QStringList {QStringLiteral("X|checked|enabled|hidden")} << family
        << QStringLiteral("none");
    QTest::newRow("updater group, mode 2, file differs")
        << QStringList {QStringLiteral("name=\"U\" type=\"updater\"")} << orvel << QStringList()
        << QStringList {QStringLiteral("Updater Version 1")}
        << QStringList {QStringLiteral("U|checked|enabled|hidden")} << family
        << QStringLiteral("none");
    QTest::newRow("updater group, mode 2, file missing")
        << QStringList {QStringLiteral("name=\"U\" type=\"updater\"")} << orvel << QStringList()
        << QStringList() << QStringList {QStringLiteral("U|checked|enabled|hidden")} << family
        << QStringLiteral("none");
    QTest::newRow("updater group, mode 2, current")
        << QStringList {QStringLiteral("name=\"U\" type=\"updater\"")} << orvel << QStringList()
        << QStringList {QStringLiteral("Updater Version 2")}
        << QStringList {QStringLiteral("U|unchecked|enabled|hidden")} << family
        << QStringLiteral("none");
    QTest::newRow("updater group, mode 3")
        << QStringList {QStringLiteral("name=\"U\" type=\"updater\"")} << orvel
        << QStringList {QStringLiteral("--mode"), QStringLiteral("3")}
        << QStringList {QStringLiteral("Updater Version 1")}
        << QStringList {QStringLiteral("U|unchecked|enabled|hidden")} << family
        << QStringLiteral("none");
    QTest::newRow("product type 4")
        << QStringList {windows} << QByteArray("2026\r\n4\r\n1\r\n0") << QStringList()
        << QStringList() << QStringList {QStringLiteral("|checked|enabled|shown")}
        << QStringList {QStringLiteral("Stavin Portabel"), QStringLiteral("*Orvel Portabel"),
                        QStringLiteral("Lusk Portabel")}
        << QStringLiteral("none");
    QTest::newRow("product option 9 on type 4")
        << QStringList {windows} << QByteArray("2026\r\n4\r\n1\r\n0")
        << QStringList {QStringLiteral("--product"), QStringLiteral("9")} << QStringList()
        << QStringList {QStringLiteral("|checked|enabled|shown")} << QStringList()
        << QStringLiteral("none");
    QTest::newRow("no version record")
        << QStringList {windows} << noRecord << QStringList() << QStringList()
        << QStringList {QStringLiteral("|checked|enabled|shown")} << all << QStringLiteral("none");
    QTest::newRow("version record with product type 7")
        << QStringList {windows} << QByteArray("2026\r\n7\r\n1\r\n0") << QStringList()
        << QStringList() << QStringList {QStringLiteral("|checked|enabled|shown")} << all
        << QStringLiteral("none");
    QTest::newRow("beta flag 1 with a beta group")
        << QStringList {QStringLiteral("name=\"B\" beta=\"1\"")}
        << QByteArray("2026\r\n3\r\n1\r\n1") << QStringList() << QStringList()
        << QStringList {QStringLiteral("B|checked|enabled|shown")} << family
        << QStringLiteral("checked|disabled");
    QTest::newRow("beta flag 0 with a beta group")
        << QStringList {QStringLiteral("name=\"B\" beta=\"1\"")}
        << QByteArray("2026\r\n3\r\n1\r\n0") << QStringList() << QStringList()
        << QStringList {QStringLiteral("B|checked|enabled|shown")} << family
        << QStringLiteral("unchecked|enabled");
    QTest::newRow("beta flag 1 without a beta group")
        << QStringList {QStringLiteral("name=\"B\"")} << QByteArray("2026\r\n3\r\n1\r\n1")
        << QStringList() << QStringList() << QStringList {QStringLiteral("B|checked|enabled|shown")}
        << family << QStringLiteral("none");
}

void tst_MainWindow::content()
{
    QFETCH(QStringList, groups);
    QFETCH(QByteArray, record);
    QFETCH(QStringList, options);
    QFETCH(QStringList, installed);
    QMap<QString, QByteArray> files;
    if (!installed.isEmpty())
        files.insert(updaterFile, installed.first().toUtf8());
    const auto opened = open(groups, record, options, files);
    QVERIFY(opened);
    MainWindow *window = opened->window.get();

    QStringList boxes;
    QString beta = QStringLiteral("none");
    for (QCheckBox *box : window->findChildren<QCheckBox *>()) {
        if (box->text() == QLatin1String("Beta-Version"))
            beta = state(box).section(QLatin1Char('|'), 1, 2);
        else
            boxes.append(state(box));
    }
    QTEST(boxes, "boxes");
    QTEST(beta, "beta");

    QComboBox *combo = window->findChild<QComboBox *>();
    QVERIFY(combo);
    QStringList products;
    for (int i = 0; i < combo->count(); ++i)
        products.append((i == combo->currentIndex() ? QLatin1String("*") : QLatin1String(""))
                        + combo->itemText(i));
    QTEST(products, "products");
}

void tst_MainWindow::checkBoxText()
{
    const auto opened =
        open({QStringLiteral("name=\"Programm %2\" version=\"2.1\" info=\"x\"")}, noRecord, {});
    QVERIFY(opened);
    const QList<QCheckBox *> boxes = opened->window->findChildren<QCheckBox *>();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first()->text(),
             QStringLiteral("Programm %2: Version: 2.1 Datei(en): 0 Größe (kB): 0"));
    // main_info for windows_7 only is left out unless that is the running system, as it is
    // under Wine, which presents itself as Windows 7 unless told otherwise.
    QStringList expected;
    if (osTextMatches(QStringLiteral("windows_7"), QString(), runningWindowsVersion()))
        expected.append(QStringLiteral("Nur Windows 7"));
    expected.append(QStringLiteral("Für alle"));
    const QList<QTextBrowser *> browsers = opened->window->findChildren<QTextBrowser *>();
    QStringList texts;
    for (const QTextBrowser *browser : browsers)
        texts.append(browser->toPlainText());
    QCOMPARE(texts, expected);
    emit browsers.last()->anchorClicked(QUrl(QStringLiteral("http://www.ledgora.de/lizenz")));
    QCOMPARE(opened->dialogs.shown.last().kind, QStringLiteral("openUrl"));
    QCOMPARE(opened->dialogs.shown.last().title, QStringLiteral("http://www.ledgora.de/lizenz"));
}

void tst_MainWindow::infoLinks_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("opened"); // handed to the system's handler
    QTest::newRow("https") << QStringLiteral("https://www.ledgora.de/lizenz") << true;
    QTest::newRow("http in capitals") << QStringLiteral("HTTP://www.ledgora.de/") << true;
    QTest::newRow("mail") << QStringLiteral("mailto:service@ledgora.de") << true;
    QTest::newRow("place on the page") << QStringLiteral("#abschnitt") << false;
    QTest::newRow("file") << QStringLiteral("file:///C:/Windows/System32/calc.exe") << false;
    QTest::newRow("relative") << QStringLiteral("setup.exe") << false;
    QTest::newRow("network path") << QStringLiteral("\\\\server\\share\\x.exe") << false;
    QTest::newRow("other scheme") << QStringLiteral("ms-settings:windowsupdate") << false;
    QTest::newRow("http without host") << QStringLiteral("http:setup.exe") << false;
}

void tst_MainWindow::infoLinks()
{
    QFETCH(QString, link);
    QFETCH(bool, opened);
    const auto window = open({QStringLiteral("name=\"Programm\"")}, noRecord, {});
    QVERIFY(window);
    QTextBrowser *browser = window->window->findChild<QTextBrowser *>();
    QVERIFY(browser);
    emit browser->anchorClicked(QUrl(link));
    QCOMPARE(window->dialogs.shown.size(), opened ? 1 : 0);
    if (opened)
        QCOMPARE(window->dialogs.shown.first().title, QUrl(link).toString());
}

void tst_MainWindow::logLineShowsTextAsIs_data()
{
    QTest::addColumn<QString>("detail");
    QTest::newRow("angle brackets") << QStringLiteral("Vorlagen/<neu>.txt");
    QTest::newRow("ampersand") << QStringLiteral("F&E/a&amp;b.txt");
    QTest::newRow("markup from a server") << QStringLiteral("<font color=\"red\">404</font><br>");
}

// Each log line is a paragraph of its own: its title bold, the whole line red for an error.
void tst_MainWindow::logLineShowsTextAsIs()
{
    QFETCH(QString, detail);
    ActivityLog log;
    appendLogLine(log, QStringLiteral("Datei:"), true, detail, detail);
    appendLogLine(log, QStringLiteral("Ordner:"), false, QString(), detail);
    QTextDocument document;
    writeActivityLog(&document, log);
    QCOMPARE(document.toPlainText(),
             QStringLiteral("Datei: ") + detail + QLatin1Char(' ') + detail
                 + QStringLiteral("\nOrdner: ") + detail);
    QCOMPARE(document.blockCount(), 2);
    const auto fragments = [&](int block) {
        QList<QPair<QString, QTextCharFormat>> list;
        for (auto it = document.findBlockByNumber(block).begin(); !it.atEnd(); ++it)
            list.append({it.fragment().text(), it.fragment().charFormat()});
        return list;
    };
    const auto error = fragments(0);
    QCOMPARE(error.size(), 2);
    QCOMPARE(error.at(0).first, QStringLiteral("Datei:"));
    QCOMPARE(error.at(0).second.fontWeight(), int(QFont::Bold));
    QCOMPARE(error.at(0).second.foreground().color(), QColor(Qt::red));
    QCOMPARE(error.at(1).second.fontWeight(), int(QFont::Normal));
    QCOMPARE(error.at(1).second.foreground().color(), QColor(Qt::red));
    const auto plain = fragments(1);
    QCOMPARE(plain.at(0).first, QStringLiteral("Ordner:"));
    QCOMPARE(plain.at(0).second.fontWeight(), int(QFont::Bold));
    QVERIFY(!plain.at(0).second.hasProperty(QTextFormat::ForegroundBrush));
    QVERIFY(!plain.at(1).second.hasProperty(QTextFormat::ForegroundBrush));
}

void tst_MainWindow::sizeText_data()
{
    QTest::addColumn<double>("size");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("unit");
    QTest::newRow("1500000") << 1500000.0 << QStringLiteral("1.5") << QStringLiteral("MB");
    QTest::newRow("1000000") << 1000000.0 << QStringLiteral("1000") << QStringLiteral("kB");
    QTest::newRow("1000001") << 1000001.0 << QStringLiteral("1") << QStringLiteral("MB");
    QTest::newRow("0") << 0.0 << QStringLiteral("0") << QStringLiteral("kB");
    QTest::newRow("123456789") << 123456789.0 << QStringLiteral("123.457") << QStringLiteral("MB");
    QTest::newRow("1234") << 1234.0 << QStringLiteral("1.234") << QStringLiteral("kB");
    QTest::newRow("3000000000, above an int")
        << 3000000000.0 << QStringLiteral("3000") << QStringLiteral("MB");
}

void tst_MainWindow::sizeText()
{
    QFETCH(double, size);
    QString amount;
    QString unit;
    groupSizeText(size, &amount, &unit);
    QTEST(amount, "amount");
    QTEST(unit, "unit");
    // The same size as a published document carries it: a JSON number, read back from binary
    // JSON into the check box text.
    UpdateGroup written;
    written.size = qint64(size);
    UpdateDocument document;
    document.groups = {written};
    QString error;
    const std::optional<UpdateDocument> read =
        documentFromBinary(documentToBinary(document), &error);
    QVERIFY2(read, qPrintable(error));
    QCOMPARE(groupCheckBoxText(read->groups.at(0)),
             QStringLiteral(": Version:  Datei(en): 0 Größe (%1): %2").arg(unit, amount));
}

void tst_MainWindow::osMatching_data()
{
    QTest::addColumn<QString>("os");
    QTest::addColumn<QString>("osOverride");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("matches");
    QTest::newRow("empty matches") << QString() << QString() << 0 << true;
    QTest::newRow("only separators") << QStringLiteral(";;") << QString() << 0 << true;
    QTest::newRow("generic anywhere") << QStringLiteral("windows") << QString() << 0 << true;
    QTest::newRow("running Windows 10")
        << QStringLiteral("windows_7;windows_10") << QString() << 0xC0 << true;
    QTest::newRow("not running Windows 7")
        << QStringLiteral("windows_7") << QString() << 0xC0 << false;
    QTest::newRow("override prefix")
        << QStringLiteral("windows_8") << QStringLiteral("windows_8_1") << 0xC0 << true;
    QTest::newRow("override ignores system")
        << QStringLiteral("windows_10") << QStringLiteral("windows_8_1") << 0xC0 << false;
    QTest::newRow("override case")
        << QStringLiteral("WINDOWS_8_1") << QStringLiteral("windows_8_1") << 0 << true;
    QTest::newRow("override and generic key")
        << QStringLiteral("windows") << QStringLiteral("windows_7") << 0 << true;
}

void tst_MainWindow::osMatching()
{
    QFETCH(QString, os);
    QFETCH(QString, osOverride);
    QFETCH(int, version);
    QTEST(osTextMatches(os, osOverride, version), "matches");
}

void tst_MainWindow::helpOpensPage()
{
    const auto opened = open({QStringLiteral("name=\"A\"")}, noRecord, {});
    QVERIFY(opened);
    for (QPushButton *button : opened->window->findChildren<QPushButton *>()) {
        if (button->text() == QLatin1String("Hilfe"))
            button->click();
    }
    QCOMPARE(opened->dialogs.shown.size(), 1);
    QCOMPARE(opened->dialogs.shown.first().kind, QStringLiteral("openUrl"));
    QVERIFY(opened->dialogs.shown.first().title.startsWith(QLatin1String("http://")));
    QVERIFY(
        opened->dialogs.shown.first().title.endsWith(QLatin1String("HTML/nachupdatessuchen.htm")));
}

void tst_MainWindow::quitCloses()
{
    const auto opened = open({QStringLiteral("name=\"A\"")}, noRecord, {});
    QVERIFY(opened);
    opened->window->show();
    QVERIFY(opened->window->isVisible());
    for (QPushButton *button : opened->window->findChildren<QPushButton *>()) {
        if (button->text() == QLatin1String("Beenden"))
            button->click();
    }
    QVERIFY(!opened->window->isVisible());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
