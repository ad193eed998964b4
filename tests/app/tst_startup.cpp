#include "programprocess.h"

#include <QtTest>

#include <algorithm>

// The real program, started as a user or the main application starts it.
class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void modeOneWithoutConfigurationFails();
    void helpAndVersionAnswer_data();
    void helpAndVersionAnswer();
    void catalogueIsCompiledIn_data();
    void catalogueIsCompiledIn();
    void iconIsCompiledIn();
};

// A publishing script that mistyped the path learns it from the exit code and the line.
void tst_Startup::modeOneWithoutConfigurationFails()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QProcess process;
    const QString missing = dir.filePath(QStringLiteral("missing.xml"));
    startUpdaterProcess(
        process,
        {QStringLiteral("--mode"), QStringLiteral("1"), QStringLiteral("--conf"), missing});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    const QStringList lines =
        QString::fromLocal8Bit(process.readAllStandardError()).split(QLatin1Char('\n'));
    // The reason is the system's own: Linux and Windows (and Wine) word it differently.
    const QString start =
        QStringLiteral("Fehler beim Öffnen der Datei: ") + missing + QLatin1String(": ");
    QVERIFY2(std::any_of(lines.cbegin(), lines.cend(),
                         [&start](const QString &line) {
                             return line.startsWith(start) && line.size() > start.size() + 1;
                         }),
             qPrintable(lines.join(QLatin1Char('\n'))));
}

void tst_Startup::helpAndVersionAnswer_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("help");
    QTest::newRow("--help") << QStringLiteral("--help") << true;
    QTest::newRow("-h") << QStringLiteral("-h") << true;
    QTest::newRow("--version") << QStringLiteral("--version") << false;
    QTest::newRow("-v") << QStringLiteral("-v") << false;
}

// An administrator asks which program this is, and whether it checks releases, on a machine
// without a display.
void tst_Startup::helpAndVersionAnswer()
{
    QFETCH(QString, option);
    QFETCH(bool, help);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QProcess process;
    process.setWorkingDirectory(dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(LG_UPDATER_PATH), {option});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    // Windows writes a text stream's line breaks as CR LF.
    const QString output = QString::fromLocal8Bit(process.readAllStandardOutput())
                               .replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QVERIFY2(output.endsWith(QStringLiteral("lg_updater 1.2\nRelease-Schlüssel: unsigned\n")),
             qPrintable(output));
    QCOMPARE(output.contains(QLatin1String("--offline <Offline-Updatedatei>")), help);
}

void tst_Startup::catalogueIsCompiledIn_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");
    QTest::newRow("qtall") << QStringLiteral(":translations/qtall_de.qm")
                           << QStringLiteral("QPlatformTheme") << QStringLiteral("Cancel")
                           << QStringLiteral("Abbrechen");
    QTest::newRow("qtpropeditor") << QStringLiteral(":translations/qtpropeditor_de.qm")
                                  << QStringLiteral("QtBoolPropertyManager")
                                  << QStringLiteral("True") << QStringLiteral("Wahr");
}

void tst_Startup::catalogueIsCompiledIn()
{
    QFETCH(QString, path);
    QFETCH(QString, context);
    QFETCH(QString, source);
    QTranslator translator;
    QVERIFY2(translator.load(path), qPrintable(path));
    QTEST(translator.translate(context.toLatin1().constData(), source.toLatin1().constData()),
          "translation");
}

void tst_Startup::iconIsCompiledIn()
{
    const QIcon icon(QStringLiteral(":/icons/ledgora.ico"));
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
