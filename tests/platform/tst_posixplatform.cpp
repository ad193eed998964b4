#include "platform/folderhandle.h"
#include "platform/platform.h"

#include <QtTest>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

// The POSIX side of the platform layer, on real files and processes.
class tst_PosixPlatform : public QObject
{
    Q_OBJECT

private slots:
    void fileTimes_data();
    void fileTimes();
    void folderNeedsDirectoryFlag();
    void fileTimesOnOpenFile();
    void missingPathFails();
    void fileStatusRead_data();
    void fileStatusRead();
    void localTimeTextAsTheToolkitWritesIt_data();
    void localTimeTextAsTheToolkitWritesIt();
    void filesSyncedTogether();
    void errorText();
    void regularFilesOnly_data();
    void regularFilesOnly();
    void readOnlyFileMadeWritable();
    void fileReplacedInOneStep();
    void fileSynced_data();
    void fileSynced();
    void foldersMade_data();
    void foldersMade();
    void folderRenamedWithoutReplacing();
    void runningProcess();
    void programStartPassesParameters();
    void raisedRights_data();
    void raisedRights();
    void useNewLocationFromSettings_data();
    void useNewLocationFromSettings();
};

namespace {

const QDateTime created(QDate(2016, 3, 1), QTime(14, 5, 9), Qt::LocalTime);
const QDateTime written(QDate(2017, 1, 2), QTime(3, 4, 5), Qt::LocalTime);
const QDateTime accessed(QDate(2018, 5, 6), QTime(7, 8, 9), Qt::LocalTime);

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

void tst_PosixPlatform::fileTimes_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("file") << false;
    QTest::newRow("folder") << true;
}

void tst_PosixPlatform::fileTimes()
{
    QFETCH(bool, directory);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("entry"));
    if (directory) {
        QVERIFY(QDir().mkdir(path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QString error;
    QVERIFY2(setFileTimes(path, directory, created, written, accessed, nullptr, &error),
             qPrintable(error));
    const QFileInfo info(path);
    QCOMPARE(info.lastModified(), written);
    QCOMPARE(info.lastRead(), accessed);
}

void tst_PosixPlatform::folderNeedsDirectoryFlag()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QString error;
    QVERIFY(!setFileTimes(dir.path(), false, created, written, accessed, nullptr, &error));
    QCOMPARE(error, QString::fromLocal8Bit(std::strerror(EISDIR)));
}

void tst_PosixPlatform::fileTimesOnOpenFile()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QFile file(dir.filePath(QStringLiteral("open.bin")));
    QVERIFY(file.open(QIODevice::ReadWrite | QIODevice::Truncate));
    QCOMPARE(file.write("payload"), qint64(7));
    // The path given is ignored when the open file is passed; buffered data must not
    // overwrite the times when the file is closed afterwards.
    QString error;
    QVERIFY(setFileTimes(QStringLiteral("/nonexistent"), false, created, written, accessed, &file,
                         &error));
    QVERIFY(file.isOpen());
    file.close();
    QCOMPARE(QFileInfo(file.fileName()).lastModified(), written);
    QCOMPARE(QFileInfo(file.fileName()).size(), qint64(7));
}

void tst_PosixPlatform::missingPathFails()
{
    QString error;
    QVERIFY(!setFileTimes(QStringLiteral("/nonexistent/x"), false, created, written, accessed,
                          nullptr, &error));
    QCOMPARE(error, QString::fromLocal8Bit(std::strerror(ENOENT)));
}

void tst_PosixPlatform::fileStatusRead_data()
{
    QTest::addColumn<QString>("entry"); // "file", "folder" or "link" to a file
    QTest::newRow("file") << QStringLiteral("file");
    QTest::newRow("folder") << QStringLiteral("folder");
    QTest::newRow("link to a file: the file's status") << QStringLiteral("link");
}

void tst_PosixPlatform::fileStatusRead()
{
    QFETCH(QString, entry);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString target = dir.filePath(QStringLiteral("target"));
    if (entry == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(target));
    } else {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write("sieben!"), qint64(7));
    }
    QString error;
    QVERIFY2(setFileTimes(target, entry == QLatin1String("folder"), created, written, accessed,
                          nullptr, &error),
             qPrintable(error));
    QString path = target;
    if (entry == QLatin1String("link")) {
        path = dir.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(target, path));
    }
    FileStatus status;
    QVERIFY2(readFileStatus(path, &status, &error), qPrintable(error));
    const QFileInfo info(target);
    QCOMPARE(status.size, info.size());
    QCOMPARE(status.modified, written.toSecsSinceEpoch());
    QCOMPARE(status.accessed, accessed.toSecsSinceEpoch());
    QCOMPARE(status.created.has_value(), info.birthTime().isValid());
    if (status.created)
        QCOMPARE(*status.created, info.birthTime().toSecsSinceEpoch());

    // The entry itself: the same status, or for a link only that it is one.
    FileStatus entryStatus;
    entryStatus.size = -1;
    bool link = false;
    QVERIFY2(readEntryStatus(path, &entryStatus, &link, &error), qPrintable(error));
    QCOMPARE(link, entry == QLatin1String("link"));
    QCOMPARE(entryStatus.size, link ? -1 : status.size);
    QCOMPARE(entryStatus.modified, link ? 0 : status.modified);
    QCOMPARE(entryStatus.accessed, link ? 0 : status.accessed);

    QVERIFY(!readFileStatus(dir.filePath(QStringLiteral("fehlt")), &status, &error));
    QCOMPARE(error, QString::fromLocal8Bit(std::strerror(ENOENT)));
    QVERIFY(!readEntryStatus(dir.filePath(QStringLiteral("fehlt")), &status, &link, &error));
    QCOMPARE(error, QString::fromLocal8Bit(std::strerror(ENOENT)));
}

void tst_PosixPlatform::localTimeTextAsTheToolkitWritesIt_data()
{
    QTest::addColumn<QByteArray>("zone"); // TZ; empty: the system's own
    QTest::addColumn<qint64>("seconds");
    const QByteArray berlin("Europe/Berlin");
    QTest::newRow("system zone, now") << QByteArray() << QDateTime::currentSecsSinceEpoch();
    QTest::newRow("winter") << berlin << qint64(1483322645); // 2017-01-02 02:04:05 UTC
    QTest::newRow("summer") << berlin << qint64(1525583289); // 2018-05-06 05:08:09 UTC
    QTest::newRow("last second before summer time") << berlin << qint64(1616893199);
    QTest::newRow("first second of summer time") << berlin << qint64(1616893200);
    QTest::newRow("last second of summer time") << berlin << qint64(1635641999);
    QTest::newRow("first second after summer time") << berlin << qint64(1635642000);
    QTest::newRow("1970") << berlin << qint64(0);
    QTest::newRow("before 1970") << berlin << qint64(-300000000);
    QTest::newRow("half-hour zone") << QByteArray("Asia/Kolkata") << qint64(1483322645);
    QTest::newRow("year 9999") << QByteArray("UTC") << qint64(253402300799);
    QTest::newRow("year 10000: no text") << QByteArray("UTC") << qint64(253402300800);
}

// The builder wrote every time as QDateTime's ISO text of the local time; the text comes from
// the C library now and must stay the same.
void tst_PosixPlatform::localTimeTextAsTheToolkitWritesIt()
{
    QFETCH(QByteArray, zone);
    QFETCH(qint64, seconds);
    if (!zone.isEmpty()
        && !QFile::exists(QLatin1String("/usr/share/zoneinfo/") + QString::fromLatin1(zone)))
        QSKIP("no time zone data on this system");
    const QByteArray systemZone = qgetenv("TZ");
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    if (!zone.isEmpty())
        qputenv("TZ", zone);
    tzset();
    const QString expected = QDateTime::fromSecsSinceEpoch(seconds).toString(Qt::ISODate);
    const QString text = localTimeText(seconds);
    if (hadZone)
        qputenv("TZ", systemZone);
    else
        qunsetenv("TZ");
    tzset();
    QCOMPARE(text, expected);
}

void tst_PosixPlatform::filesSyncedTogether()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("b"))));
    QStringList paths;
    for (const QString &name :
         {QStringLiteral("a1"), QStringLiteral("a2"), QStringLiteral("b/b1")}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write("Inhalt"), qint64(6));
        paths.append(file.fileName());
    }
    QString failedPath;
    QString error;
    QVERIFY2(syncFiles(paths, &failedPath, &error), qPrintable(error));

    const QString missing = dir.filePath(QStringLiteral("fehlt"));
    QVERIFY(!syncFiles(paths + QStringList {missing + QLatin1String("/x")}, &failedPath, &error));
    QCOMPARE(failedPath, missing);
    QCOMPARE(error, QString::fromLocal8Bit(std::strerror(ENOENT)));
}

void tst_PosixPlatform::errorText()
{
    QCOMPARE(windowsErrorText(ENOENT), QString::fromLocal8Bit(std::strerror(ENOENT)));
    QVERIFY(!windowsErrorText(ENOENT).endsWith(QLatin1Char('\n')));
    // Codes the system has no text for read as Windows words them.
    QCOMPARE(windowsErrorText(0xFFFFFFFF), QStringLiteral("Unknown Error 4294967295"));
    QCOMPARE(windowsErrorText(4242), QStringLiteral("Unknown Error 4242"));
}

void tst_PosixPlatform::regularFilesOnly_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("followLinks");
    QTest::addColumn<int>("result"); // RegularFileOpen
    QTest::addColumn<QString>("reason");
    const int opened = int(RegularFileOpen::Opened);
    const int refused = int(RegularFileOpen::Refused);
    const QString link = notRegularFileText(true);
    const QString other = notRegularFileText(false);
    QTest::newRow("file") << QStringLiteral("file") << false << opened << QString();
    QTest::newRow("missing") << QStringLiteral("missing") << false << int(RegularFileOpen::Missing)
                             << QString::fromLocal8Bit(std::strerror(ENOENT));
    QTest::newRow("folder") << QStringLiteral("folder") << true << refused << other;
    QTest::newRow("FIFO without a writer") << QStringLiteral("fifo") << true << refused << other;
    QTest::newRow("device") << QStringLiteral("device") << true << refused << other;
    QTest::newRow("link to a file, followed")
        << QStringLiteral("link") << true << opened << QString();
    QTest::newRow("link to a file, not followed")
        << QStringLiteral("link") << false << refused << link;
    QTest::newRow("link to a FIFO") << QStringLiteral("fifolink") << true << refused << other;
}

// Nothing waits for a writer that never comes, and what opens is a file.
void tst_PosixPlatform::regularFilesOnly()
{
    QFETCH(QString, kind);
    QFETCH(bool, followLinks);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString file = dir.filePath(QStringLiteral("file"));
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    QVERIFY(writeFile(file, "content"));
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("folder"))));
    QVERIFY(QFile::link(file, dir.filePath(QStringLiteral("link"))));
    QVERIFY(QFile::link(fifo, dir.filePath(QStringLiteral("fifolink"))));
    const QString path =
        kind == QLatin1String("device") ? QStringLiteral("/dev/zero") : dir.filePath(kind);
    QFile opened;
    QString error;
    QTEST(int(openRegularFile(&opened, path, followLinks, &error)), "result");
    QTEST(error, "reason");
    if (opened.isOpen())
        QCOMPARE(opened.readAll(), QByteArray("content"));
}

void tst_PosixPlatform::readOnlyFileMadeWritable()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("ro.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadOther));
    QString error;
    const std::shared_ptr<const FolderHandle> folder = FolderHandle::openRoot(dir.path(), &error);
    QVERIFY2(folder, qPrintable(error));
    QVERIFY(folder->makeWritable(QStringLiteral("ro.txt")));
    const QFileDevice::Permissions permissions = QFileInfo(path).permissions();
    QVERIFY(permissions & QFileDevice::WriteOwner);
    QVERIFY2(permissions & QFileDevice::ReadOther, "other bits stay as they were");
    QVERIFY(!folder->makeWritable(QStringLiteral("missing")));

    // Through a link, or a second name, the mode of a file elsewhere would change: the link
    // and the file with two names are left alone.
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner));
    const QString link = dir.filePath(QStringLiteral("link.txt"));
    QVERIFY(QFile::link(path, link));
    QVERIFY(isLink(link));
    QVERIFY(!isLink(path));
    QVERIFY(folder->makeWritable(QStringLiteral("link.txt")));
    QVERIFY(::link(QFile::encodeName(path).constData(),
                   QFile::encodeName(dir.filePath(QStringLiteral("second.txt"))).constData())
            == 0);
    QVERIFY(!folder->makeWritable(QStringLiteral("second.txt")));
    QCOMPARE(QFileInfo(path).permissions() & QFileDevice::WriteOwner, QFileDevice::Permissions());
    QVERIFY(
        QFile::link(dir.filePath(QStringLiteral("nowhere")), dir.filePath(QStringLiteral("d"))));
    QVERIFY2(isLink(dir.filePath(QStringLiteral("d"))), "a dangling link is a link too");
    QCOMPARE(checkForLink(dir.filePath(QStringLiteral("nowhere"))), LinkCheck::Missing);
    QCOMPARE(checkForLink(dir.filePath(QStringLiteral("link.txt/inner"))), LinkCheck::Missing);
    QCOMPARE(checkForLink(dir.filePath(QStringLiteral("nowhere/inner"))), LinkCheck::Missing);
    QCOMPARE(checkForLink(dir.path()), LinkCheck::Other);
}

void tst_PosixPlatform::fileReplacedInOneStep()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString source = dir.filePath(QStringLiteral("neu.lgtmp"));
    const QString target = dir.filePath(QStringLiteral("ziel.txt"));
    for (const QString &path : {source, target}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(path.toUtf8());
    }
    QString error;
    QVERIFY(replaceFile(source, target, &error));
    QVERIFY(!QFile::exists(source));
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), source.toUtf8());
    QVERIFY(!replaceFile(source, target, &error));
    QCOMPARE(error, QString::fromLocal8Bit(std::strerror(ENOENT)));
}

void tst_PosixPlatform::fileSynced_data()
{
    QTest::addColumn<QString>("path"); // empty: a regular file in a temporary folder
    QTest::addColumn<int>("error"); // 0: synced
    QTest::newRow("regular file") << QString() << 0;
    if (QFile::exists(QStringLiteral("/dev/full")))
        QTest::newRow("device that cannot sync") << QStringLiteral("/dev/full") << EINVAL;
}

void tst_PosixPlatform::fileSynced()
{
    QFETCH(QString, path);
    QFETCH(int, error);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QFile file(path.isEmpty() ? dir.filePath(QStringLiteral("daten.bin")) : path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    QString reason;
    QCOMPARE(syncFile(&file, &reason), error == 0);
    if (error != 0)
        QCOMPARE(reason, QString::fromLocal8Bit(std::strerror(error)));
}

void tst_PosixPlatform::foldersMade_data()
{
    QTest::addColumn<QString>("path"); // below a temporary folder that holds the file "datei"
    QTest::addColumn<int>("error"); // 0: made
    QTest::newRow("nested") << QStringLiteral("a/b/c/") << 0;
    QTest::newRow("existing") << QStringLiteral(".") << 0;
    QTest::newRow("file in the way") << QStringLiteral("datei/unter") << ENOTDIR;
    QTest::newRow("file at the place") << QStringLiteral("datei") << ENOTDIR;
}

// The reason is that of the step that failed, not of an earlier call.
void tst_PosixPlatform::foldersMade()
{
    QFETCH(QString, path);
    QFETCH(int, error);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QFile file(dir.filePath(QStringLiteral("datei")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QString reason;
    QCOMPARE(makePath(dir.filePath(path), &reason), error == 0);
    if (error == 0)
        QVERIFY(QFileInfo(dir.filePath(path)).isDir());
    else
        QCOMPARE(reason, QString::fromLocal8Bit(std::strerror(error)));
}

// The data folder's rename between editions never replaces a folder that appeared meanwhile.
void tst_PosixPlatform::folderRenamedWithoutReplacing()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString orvel = dir.filePath(QStringLiteral("Ledgora"));
    const QString stavin = dir.filePath(QStringLiteral("Ledgora Stavin"));
    QVERIFY(QDir().mkpath(orvel));
    QString error;
    QVERIFY2(renamePath(orvel, stavin, &error), qPrintable(error));
    QVERIFY(QFileInfo(stavin).isDir() && !QFileInfo::exists(orvel));
    QVERIFY(QDir().mkpath(orvel));
    QVERIFY(!renamePath(orvel, stavin, &error));
    QCOMPARE(error, QString::fromLocal8Bit(std::strerror(EEXIST)));
    QVERIFY(QFileInfo(orvel).isDir());
}

void tst_PosixPlatform::runningProcess()
{
    QVERIFY(processHasTopLevelWindow(quint32(QCoreApplication::applicationPid())));
    QProcess child;
    child.start(QStringLiteral("true"), QStringList());
    QVERIFY(child.waitForFinished());
    QVERIFY(!processHasTopLevelWindow(quint32(child.processId()) + 0) || child.processId() == 0);
    QVERIFY(!processHasTopLevelWindow(0));
}

// Each argument reaches the started program as one, exactly, whatever it holds.
void tst_PosixPlatform::programStartPassesParameters()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString reporter = dir.filePath(QStringLiteral("reporter"));
    QVERIFY(writeFile(reporter,
                      "#!/bin/sh\nout=\"$1\"; shift\nprintf '%s\\0' \"$@\" > \"$out.part\"\n"
                      "mv \"$out.part\" \"$out\"\n"));
    QVERIFY(QFile::setPermissions(reporter, QFile::ReadOwner | QFile::ExeOwner));
    const QString report = dir.filePath(QStringLiteral("report"));
    const QStringList hostile {
        QStringLiteral("--offline"),
        QStringLiteral("/x/Ledgora\" --allowolder \"2026.dat"),
        QStringLiteral("a file with blanks"),
        QStringLiteral("back\\slash\\\"quote\\"),
        QStringLiteral("'single' $HOME `date`"),
        QStringLiteral(""),
        QStringLiteral("--allowolder"),
        QStringLiteral("Umlaute äöü ß €"),
    };
    QString error;
    QVERIFY(startProgram(QString(), reporter, QStringList {report} + hostile, &error));
    QTRY_VERIFY(QFile::exists(report));
    QByteArray expected;
    for (const QString &argument : hostile)
        expected += argument.toUtf8() + '\0';
    QFile file(report);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
    QVERIFY(!startProgram(QString(), dir.filePath(QStringLiteral("missing")), {}, &error));
    QCOMPARE(error, QString::fromLocal8Bit(std::strerror(ENOENT)));
}

void tst_PosixPlatform::raisedRights_data()
{
    QTest::addColumn<QByteArray>("answer"); // what the stand-in for pkexec does after recording
    QTest::addColumn<bool>("started");
    QTest::newRow("password given") << QByteArray("exec \"$@\"") << true;
    QTest::newRow("question dismissed") << QByteArray("exit 126") << false;
    QTest::newRow("not authorised") << QByteArray("exit 127") << false;
}

// pkexec is the system's; a stand-in of the same name records how it is called and answers
// as the user would. The first window may only go once the new one runs, with the display.
void tst_PosixPlatform::raisedRights()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, started);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString record = dir.filePath(QStringLiteral("arguments"));
    const QString program = dir.filePath(QStringLiteral("lg_updater"));
    const QFileDevice::Permissions executable =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    QFile pkexec(dir.filePath(QStringLiteral("pkexec")));
    QVERIFY(pkexec.open(QIODevice::WriteOnly));
    pkexec.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + QFile::encodeName(record) + "\"\n"
                 + answer + "\n");
    pkexec.close();
    QVERIFY(pkexec.setPermissions(executable));
    QFile updater(program);
    QVERIFY(updater.open(QIODevice::WriteOnly));
    updater.write("#!/bin/sh\nsleep 2\n");
    updater.close();
    QVERIFY(updater.setPermissions(executable));

    const QByteArray path = qgetenv("PATH");
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    qputenv("PATH", QFile::encodeName(dir.path()) + ':' + path);
    qputenv("DISPLAY", ":42");
    qputenv("XAUTHORITY", "/home/nutzer/.Xauthority");
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("XDG_RUNTIME_DIR");
    QString error;
    const bool result = startProgram(QStringLiteral("runas"), program,
                                     {QStringLiteral("--product"), QStringLiteral("3"),
                                      QStringLiteral("--offline"), QStringLiteral("/a b.dat")},
                                     &error);
    qputenv("PATH", path);
    qputenv("XDG_RUNTIME_DIR", runtimeDir);
    QCOMPARE(result, started);
    if (!started)
        QCOMPARE(error, QString::fromLocal8Bit(std::strerror(EACCES)));
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList {QStandardPaths::findExecutable(QStringLiteral("env")),
                           QStringLiteral("DISPLAY=:42"),
                           QStringLiteral("XAUTHORITY=/home/nutzer/.Xauthority"), program,
                           QStringLiteral("--product"), QStringLiteral("3"),
                           QStringLiteral("--offline"), QStringLiteral("/a b.dat")}));
}

void tst_PosixPlatform::useNewLocationFromSettings_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("expected");
    QTest::newRow("absent") << QString() << false;
    QTest::newRow("true") << QStringLiteral("true") << true;
    QTest::newRow("false") << QStringLiteral("false") << false;
    QTest::newRow("not a boolean") << QStringLiteral("vielleicht") << true;
}

void tst_PosixPlatform::useNewLocationFromSettings()
{
    QFETCH(QString, stored);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString group = QStringLiteral("DATASOURCE_c:|programme|ledgora|updater|");
    {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Ledgora"),
                           QStringLiteral("Ledgora"));
        settings.clear();
        if (!stored.isNull())
            settings.setValue(group + QLatin1String("/USE_NEW_LOCATION"), stored);
    }
    QTEST(readUseNewLocation(group), "expected");
    QVERIFY(!readUseNewLocation(QStringLiteral("DATASOURCE_other|")));
}

QTEST_GUILESS_MAIN(tst_PosixPlatform)
#include "tst_posixplatform.moc"
