#include "platform/platform.h"

#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

class tst_Platform : public QObject
{
    Q_OBJECT

private slots:
    void separators_data();
    void separators();
    void osKeys_data();
    void osKeys();
    void fileTime_data();
    void fileTime();
    void baseDirectory_data();
    void baseDirectory();
    void baseDirectoryOfMissingFolder();
};

void tst_Platform::separators_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("separators");
    QTest::addColumn<QString>("dirPath");
    QTest::newRow("drive path") << QStringLiteral("C:\\a\\b") << QStringLiteral("C:/a/b")
                                << QStringLiteral("C:/a/b/");
    QTest::newRow("network path keeps its pair")
        << QStringLiteral("\\\\srv\\share\\x") << QStringLiteral("\\\\srv/share/x")
        << QStringLiteral("\\\\srv/share/x/");
    QTest::newRow("run of three") << QStringLiteral("a\\\\\\b") << QStringLiteral("a\\\\/b")
                                  << QStringLiteral("a\\\\/b/");
    QTest::newRow("run of four") << QStringLiteral("a\\\\\\\\b") << QStringLiteral("a\\\\\\\\b")
                                 << QStringLiteral("a\\\\\\\\b/");
    QTest::newRow("trailing slash unchanged")
        << QStringLiteral("C:/a/") << QStringLiteral("C:/a/") << QStringLiteral("C:/a/");
    QTest::newRow("trailing backslash")
        << QStringLiteral("C:\\pkg\\2017\\") << QStringLiteral("C:/pkg/2017/")
        << QStringLiteral("C:/pkg/2017/");
    QTest::newRow("empty") << QString() << QString() << QString();
    QTest::newRow("forward only") << QStringLiteral("x/y") << QStringLiteral("x/y")
                                  << QStringLiteral("x/y/");
}

void tst_Platform::separators()
{
    QFETCH(QString, path);
    QString separators = path;
    normalizeSeparators(separators);
    QTEST(separators, "separators");
    QString dirPath = path;
    normalizeDirPath(dirPath);
    QTEST(dirPath, "dirPath");
}

void tst_Platform::osKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("windowsVersion");
    QTest::addColumn<bool>("matches");
    QTest::addColumn<bool>("generic");

    const int win10 = 0xC0;
    const int win81 = 0xB0;
    QTest::newRow("generic with capital and blanks")
        << QStringLiteral("  Windows ") << win10 << true << true;
    QTest::newRow("generic on a system without key")
        << QStringLiteral("windows") << 0 << true << true;
    QTest::newRow("WINDOWS_10 on Windows 10")
        << QStringLiteral("WINDOWS_10") << win10 << true << false;
    QTest::newRow("windows_7 on Windows 10")
        << QStringLiteral("windows_7") << win10 << false << false;
    QTest::newRow("windows_8 on Windows 8.1")
        << QStringLiteral("windows_8") << win81 << false << false;
    QTest::newRow("windows_8_1 on Windows 8.1")
        << QStringLiteral("windows_8_1") << win81 << true << false;
    QTest::newRow("specific key on unknown version")
        << QStringLiteral("windows_10") << 0x100 << false << false;
    QTest::newRow("empty key") << QString() << win10 << false << false;
    QTest::newRow("xp") << QStringLiteral("windows_xp") << 0x30 << true << false;
}

void tst_Platform::osKeys()
{
    QFETCH(QString, key);
    QFETCH(int, windowsVersion);
    bool generic = true; // a function that forgets to clear the flag fails the false rows
    QTEST(osKeyMatches(key, &generic, windowsVersion), "matches");
    QTEST(generic, "generic");
}

void tst_Platform::fileTime_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<qint64>("fileTime");
    QTest::newRow("1601-01-01 UTC")
        << QDateTime(QDate(1601, 1, 1), QTime(0, 0), Qt::UTC) << Q_INT64_C(0);
    QTest::newRow("1970-01-01 UTC")
        << QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC) << Q_INT64_C(116444736000000000);
    QTest::newRow("milliseconds count") << QDateTime(QDate(1970, 1, 1), QTime(0, 0, 0, 1), Qt::UTC)
                                        << Q_INT64_C(116444736000010000);
    QTest::newRow("offset applies")
        << QDateTime(QDate(1970, 1, 1), QTime(1, 0), Qt::OffsetFromUTC, 3600)
        << Q_INT64_C(116444736000000000);
    QTest::newRow("invalid") << QDateTime() << Q_INT64_C(0);
}

void tst_Platform::fileTime()
{
    QFETCH(QDateTime, dateTime);
    QTEST(toFileTime(dateTime), "fileTime");
}

namespace {

// A link to a folder that paths pass through. On Windows QFile::link makes a shell shortcut
// (.lnk), which they do not, so the system's directory symbolic link is made instead.
bool linkFolder(const QString &target, const QString &link, QString *error)
{
#ifdef Q_OS_WIN
    // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE (0x2): developer mode lets any user make one.
    const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2;
    if (CreateSymbolicLinkW(
            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(link).utf16()),
            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(target).utf16()), flags))
        return true;
    *error = windowsErrorText();
    return false;
#else
    QFile file(target);
    if (file.link(link))
        return true;
    *error = file.errorString();
    return false;
#endif
}

// Only Wine's ntdll exports wine_get_version.
bool underWine()
{
#ifdef Q_OS_WIN
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

} // namespace

void tst_Platform::baseDirectory_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("executableDir");
    QTest::addColumn<QString>("expected");
    QTest::newRow("mode 2") << 2 << QStringLiteral("link/Updater") << QStringLiteral("app/");
    QTest::newRow("mode 2, trailing slash")
        << 2 << QStringLiteral("link/Updater/") << QStringLiteral("app/");
    QTest::newRow("mode 3") << 3 << QStringLiteral("link/Updater/updater-temp")
                            << QStringLiteral("app/");
    QTest::newRow("mode 1 like 2") << 1 << QStringLiteral("app/Updater") << QStringLiteral("app/");
}

void tst_Platform::baseDirectory()
{
    QFETCH(int, mode);
    QFETCH(QString, executableDir);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QDir root(dir.path());
    QVERIFY(root.mkpath(QStringLiteral("app/Updater/updater-temp")));
    // A link to the installation: the base directory is the canonical folder behind it.
    QString error;
    QVERIFY2(linkFolder(root.filePath(QStringLiteral("app")), root.filePath(QStringLiteral("link")),
                        &error),
             qPrintable(error));
    // Wine 8's CreateSymbolicLinkW is a stub: it reports success and makes nothing, so the rows
    // that pass through the link cannot run there. Windows and POSIX systems make the link.
    if (executableDir.startsWith(QLatin1String("link/"))
        && !QFileInfo(root.filePath(QStringLiteral("link/Updater"))).isDir() && underWine())
        QSKIP("Wine makes no symbolic links to folders");
    const QString canonicalRoot = QFileInfo(dir.path()).canonicalFilePath() + QLatin1Char('/');
    QCOMPARE(applicationBaseDir(root.filePath(executableDir), mode), canonicalRoot + expected);
}

void tst_Platform::baseDirectoryOfMissingFolder()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QCOMPARE(applicationBaseDir(dir.filePath(QStringLiteral("gone/Updater")), 2), QString());
}

QTEST_GUILESS_MAIN(tst_Platform)
#include "tst_platform.moc"
