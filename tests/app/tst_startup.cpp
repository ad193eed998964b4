#include "programprocess.h"

#include <QtTest>

// The real program, started as a user or the main application starts it.
class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void modeOneWithoutConfigurationExits();
    void helpAndVersionAreNotActedOn_data();
    void helpAndVersionAreNotActedOn();
    void catalogueIsCompiledIn_data();
    void catalogueIsCompiledIn();
    void iconIsCompiledIn();
};

void tst_Startup::modeOneWithoutConfigurationExits()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    startUpdaterProcess(process,
                        {QStringLiteral("--mode"), QStringLiteral("1"), QStringLiteral("--conf"),
                         dir.filePath(QStringLiteral("missing.xml"))});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY2(timer.elapsed() < 5000, "mode 1 without configuration must end at once");
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
}

void tst_Startup::helpAndVersionAreNotActedOn_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("--help") << QStringLiteral("--help");
    QTest::newRow("-h") << QStringLiteral("-h");
    QTest::newRow("--version") << QStringLiteral("--version");
    QTest::newRow("-v") << QStringLiteral("-v");
}

void tst_Startup::helpAndVersionAreNotActedOn()
{
    QFETCH(QString, option);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QProcess process;
    process.setWorkingDirectory(dir.path());
    startUpdaterProcess(process, {option});
    QVERIFY(process.waitForStarted());
    QVERIFY2(!process.waitForFinished(3000), "the option must not end the program");
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    process.waitForFinished();
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
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
