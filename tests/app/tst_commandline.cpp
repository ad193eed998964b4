#include "app/commandline.h"
#include "app/language.h"
#include "app/programinformation.h"

#include <QtTest>

class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void values_data();
    void values();
    void unquoting_data();
    void unquoting();
    void language_data();
    void language();
    void versionNamesTheReleaseKeys();
};

void tst_CommandLine::values_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("offlinePath");
    QTest::addColumn<uint>("callerProcessId");
    QTest::addColumn<QString>("osOverride");
    QTest::addColumn<QString>("conf");
    QTest::addColumn<QString>("product");

    const QString none;
    auto args = [](std::initializer_list<const char *> list) {
        QStringList result {QStringLiteral("lg_updater")};
        for (const char *a : list)
            result.append(QString::fromUtf8(a));
        return result;
    };

    QTest::newRow("no arguments") << args({}) << 2 << none << 0u << none << none << none;
    QTest::newRow("mode 0") << args({"--mode", "0"}) << 2 << none << 0u << none << none << none;
    QTest::newRow("mode abc") << args({"--mode", "abc"}) << 2 << none << 0u << none << none << none;
    QTest::newRow("mode empty") << args({"--mode", ""}) << 2 << none << 0u << none << none << none;
    QTest::newRow("mode 7 kept") << args({"--mode", "7"}) << 7 << none << 0u << none << none
                                 << none;
    QTest::newRow("mode 3 with =") << args({"--mode=3"}) << 3 << none << 0u << none << none << none;
    QTest::newRow("mode 1 with quoted conf")
        << args({"--mode", "1", "--conf", " \"C:\\pkg\\conf.xml\" "}) << 1 << none << 0u << none
        << QStringLiteral("C:\\pkg\\conf.xml") << none;
    QTest::newRow("offline value with quotes and blanks")
        << args({"--offline", "  \"C:/Update Dateien/upd.dat\"  "}) << 2
        << QStringLiteral("C:/Update Dateien/upd.dat") << 0u << none << none << none;
    QTest::newRow("offline value with a quote only at its start")
        << args({"--offline", "\"C:/upd.dat"}) << 2 << QStringLiteral("C:/upd.dat") << 0u << none
        << none << none;
    QTest::newRow("os and product taken raw")
        << args({"--os", " Windows_8_1 ", "--product", "9"}) << 2 << none << 0u
        << QStringLiteral(" Windows_8_1 ") << none << QStringLiteral("9");
    QTest::newRow("processid") << args({"--processid", "4711"}) << 2 << none << 4711u << none
                               << none << none;
    QTest::newRow("processid not a number")
        << args({"--processid", "abc"}) << 2 << none << 0u << none << none << none;
    QTest::newRow("processid negative")
        << args({"--processid", "-5"}) << 2 << none << 0u << none << none << none;
    QTest::newRow("undefined option ignored") << args({"--bogus", "--mode", "3", "positional"}) << 3
                                              << none << 0u << none << none << none;
    QTest::newRow("help and version parsed, not acted on")
        << args({"--help", "--version", "-h", "--mode", "3"}) << 3 << none << 0u << none << none
        << none;
    QTest::newRow("missing value at the end")
        << args({"--mode", "3", "--offline"}) << 3 << none << 0u << none << none << none;
    QTest::newRow("option taken as a missing value")
        << args({"--mode", "--offline", "x.dat"}) << 2 << none << 0u << none << none << none;
}

void tst_CommandLine::values()
{
    QFETCH(QStringList, arguments);
    const CommandLine values = CommandLine::parse(arguments);
    QTEST(values.mode, "mode");
    QTEST(values.offlinePath, "offlinePath");
    QTEST(uint(values.callerProcessId), "callerProcessId");
    QTEST(values.osOverride, "osOverride");
    QTEST(values.conf, "conf");
    QTEST(values.product, "product");
}

void tst_CommandLine::unquoting_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringLiteral("a.dat") << QStringLiteral("a.dat");
    QTest::newRow("blanks and quotes")
        << QStringLiteral("  \"a b.dat\"  ") << QStringLiteral("a b.dat");
    QTest::newRow("quote at end only") << QStringLiteral("a.dat\"") << QStringLiteral("a.dat");
    QTest::newRow("inner quotes stay") << QStringLiteral("\"a\"b\"") << QStringLiteral("a\"b");
    QTest::newRow("only one pair removed")
        << QStringLiteral("\"\"a\"\"") << QStringLiteral("\"a\"");
    QTest::newRow("single quote") << QStringLiteral("\"") << QString();
    QTest::newRow("blanks inside quotes stay")
        << QStringLiteral("\" a \"") << QStringLiteral(" a ");
}

void tst_CommandLine::unquoting()
{
    QFETCH(QString, value);
    QTEST(unquote(value), "expected");
}

void tst_CommandLine::language_data()
{
    QTest::addColumn<QString>("localeName");
    QTest::addColumn<QString>("language");
    QTest::newRow("de_DE") << QStringLiteral("de_DE") << QStringLiteral("de");
    QTest::newRow("de_AT") << QStringLiteral("de_AT") << QStringLiteral("de");
    QTest::newRow("no underscore") << QStringLiteral("de") << QStringLiteral("de");
    QTest::newRow("C") << QStringLiteral("C") << QStringLiteral("C");
    QTest::newRow("script part") << QStringLiteral("sr_Latn_RS") << QStringLiteral("sr");
}

void tst_CommandLine::language()
{
    QFETCH(QString, localeName);
    QTEST(languageOfLocale(localeName), "language");
}

// The fingerprint is the SHA-256 of the raw key, as `openssl dgst -sha256 -binary | base64`
// gives it for the 32 zero bytes.
void tst_CommandLine::versionNamesTheReleaseKeys()
{
    QCOMPARE(versionText({QByteArray(32, '\0')}),
             QStringLiteral("lg_updater 1.2\nRelease-Schlüssel: "
                            "SHA256:Zmh6rfhivXdsj8GLjp+OIAiXFIVu4jOzkCpZHQ1fKSU\n"));
    QCOMPARE(versionText({}), QStringLiteral("lg_updater 1.2\nRelease-Schlüssel: unsigned\n"));
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
