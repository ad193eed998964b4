#include "platform/platform.h"
#include "platform/posixcalls.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using posix::failed;
using posix::toTimespec;

namespace {

// pkexec starts the program with a cleared environment: without these it finds no display,
// and the restarted window never appears while the first one quits.
QStringList displayVariables()
{
    QStringList assignments;
    for (const char *name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            assignments.append(QLatin1String(name) + QLatin1Char('=') + QFile::decodeName(value));
    }
    return assignments;
}

// How long the first window waits for the user to answer the password question.
constexpr int passwordQuestionLimitMs = 300000;

// pkexec's exit codes when the user dismissed the question or was not authorised.
constexpr int pkexecDismissed = 126;
constexpr int pkexecRefused = 127;

// True once the process runs the program itself (directly, or through its interpreter).
bool runsProgram(pid_t pid, const QString &program)
{
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!commandLine.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> parts = commandLine.readAll().split('\0');
    const QByteArray name = QFile::encodeName(program);
    return parts.value(0) == name || parts.value(1) == name;
}

// Runs pkexec as a child of ours, which it stays when we quit. The first window may only quit
// once pkexec has become the program, not when the user dismissed the password question.
bool startWithRaisedRights(const QString &program, const QStringList &arguments, QString *error)
{
    const QString helper = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    const QString env = QStandardPaths::findExecutable(QStringLiteral("env"));
    if (helper.isEmpty() || env.isEmpty())
        return failed(ENOENT, error);
    QList<QByteArray> encoded {QFile::encodeName(helper), QFile::encodeName(env)};
    for (const QString &argument : displayVariables() + QStringList {program} + arguments)
        encoded.append(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv.front(), argv.data());
        _exit(pkexecRefused);
    }
    if (pid < 0)
        return failed(errno, error);
    // The password question is another process's window; this one waits for its answer.
    for (int waited = 0; waited < passwordQuestionLimitMs; waited += 100) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            if (code != pkexecDismissed && code != pkexecRefused)
                return true;
            return failed(EACCES, error);
        }
        if (runsProgram(pid, program))
            return true;
        QThread::msleep(100);
    }
    return true;
}

} // namespace

int runningWindowsVersion()
{
    return 0;
}

QString windowsErrorText(quint32 code)
{
    const quint32 error = code == 0 ? quint32(errno) : code;
    // Windows words a code it has no text for so; glibc would say "Unknown error -1".
    if (error > quint32(INT_MAX) || !strerrordesc_np(int(error)))
        return QStringLiteral("Unknown Error %1").arg(error);
    return QString::fromLocal8Bit(std::strerror(int(error))).trimmed();
}

bool isElevated()
{
    return geteuid() == 0;
}

namespace {

bool readStatus(const QString &path, int flags, FileStatus *status, bool *isLink, QString *error)
{
    struct statx info = {};
    if (statx(AT_FDCWD, QFile::encodeName(path).constData(), flags | AT_STATX_SYNC_AS_STAT,
              STATX_BASIC_STATS | STATX_BTIME, &info)
        != 0)
        return failed(errno, error);
    *isLink = S_ISLNK(info.stx_mode);
    if (*isLink)
        return true;
    status->size = qint64(info.stx_size);
    status->created =
        info.stx_mask & STATX_BTIME ? std::optional<qint64>(info.stx_btime.tv_sec) : std::nullopt;
    status->modified = info.stx_mtime.tv_sec;
    status->accessed = info.stx_atime.tv_sec;
    return true;
}

} // namespace

bool readFileStatus(const QString &path, FileStatus *status, QString *error)
{
    bool isLink = false;
    return readStatus(path, 0, status, &isLink, error);
}

bool readEntryStatus(const QString &path, FileStatus *status, bool *isLink, QString *error)
{
    return readStatus(path, AT_SYMLINK_NOFOLLOW, status, isLink, error);
}

QString localTimeText(qint64 secondsSinceEpoch)
{
    // localtime_r reads the time zone once per process; the toolkit calls tzset() first,
    // which makes glibc check /etc/localtime on every conversion.
    const time_t seconds = time_t(secondsSinceEpoch);
    tm local = {};
    if (!localtime_r(&seconds, &local) || local.tm_year + 1900 < 0 || local.tm_year + 1900 > 9999)
        return QString();
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900,
                             local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                             local.tm_sec);
}

// Linux keeps no settable creation time: `created` is accepted and ignored, the modification
// and access times are set.
bool setFileTimes(const QString &path, bool isDirectory, const QDateTime &created,
                  const QDateTime &written, const QDateTime &accessed, QFile *openFile,
                  QString *error)
{
    Q_UNUSED(created)
    const timespec times[2] = {toTimespec(accessed), toTimespec(written)};
    if (openFile) {
        openFile->flush();
        return futimens(openFile->handle(), times) == 0 || failed(errno, error);
    }
    // Windows opens a folder only with the directory flag; keep that contract here.
    struct stat info;
    if (stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && !isDirectory)
        return failed(EISDIR, error);
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0
        || failed(errno, error);
}

bool syncFile(QFile *file, QString *error)
{
    return fsync(file->handle()) == 0 || failed(errno, error);
}

void prepareForBulkWork()
{
    // Payloads are expanded whole up to 16 MiB, beside their content: such blocks come from
    // the heap, and the heap keeps up to 64 MiB free at its top instead of returning it.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    // The same zone glibc takes without TZ, named so that it is not looked up again each time.
    setenv("TZ", ":/etc/localtime", 0);
}

bool syncFiles(const QStringList &paths, QString *failedPath, QString *error)
{
    QSet<QString> folders;
    QSet<dev_t> synced;
    for (const QString &path : paths) {
        const QString folder = QFileInfo(path).absolutePath();
        if (folders.contains(folder))
            continue;
        folders.insert(folder);
        const int descriptor =
            open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat info;
        bool done = descriptor >= 0 && fstat(descriptor, &info) == 0;
        // Folders of one file system share one sync: syncfs waits for all of its files.
        if (done && !synced.contains(info.st_dev)) {
            done = syncfs(descriptor) == 0;
            synced.insert(info.st_dev);
        }
        const int reason = errno;
        if (descriptor >= 0)
            close(descriptor);
        if (!done) {
            *failedPath = folder;
            return failed(reason, error);
        }
    }
    return true;
}

// Folder by folder, so that the failure names the reason of the step that failed.
bool makePath(const QString &path, QString *error)
{
    const QByteArray name = QFile::encodeName(QDir::cleanPath(path));
    for (int end = 1; end <= name.size(); ++end) {
        if (end < name.size() && name.at(end) != '/')
            continue;
        const QByteArray folder = name.left(end);
        struct stat info;
        if (mkdir(folder.constData(), 0777) != 0 && errno != EEXIST)
            return failed(errno, error);
        if (stat(folder.constData(), &info) != 0)
            return failed(errno, error);
        if (!S_ISDIR(info.st_mode))
            return failed(ENOTDIR, error);
    }
    return true;
}

bool replaceFile(const QString &source, const QString &target, QString *error)
{
    return ::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData())
        == 0
        || failed(errno, error);
}

bool renamePath(const QString &source, const QString &target, QString *error)
{
    // rename() would replace an empty folder or a file of that name.
    const QByteArray to = QFile::encodeName(target);
    struct stat info;
    if (lstat(to.constData(), &info) == 0)
        return failed(EEXIST, error);
    return ::rename(QFile::encodeName(source).constData(), to.constData()) == 0
        || failed(errno, error);
}

LinkCheck checkForLink(const QString &path)
{
    struct stat info;
    if (lstat(QFile::encodeName(path).constData(), &info) == 0)
        return S_ISLNK(info.st_mode) ? LinkCheck::Link : LinkCheck::Other;
    return errno == ENOENT || errno == ENOTDIR ? LinkCheck::Missing : LinkCheck::Other;
}

bool namesOpenFile(const QString &path, QFile *file)
{
    struct stat named;
    struct stat open;
    return stat(QFile::encodeName(path).constData(), &named) == 0
        && fstat(file->handle(), &open) == 0 && named.st_dev == open.st_dev
        && named.st_ino == open.st_ino;
}

RegularFileOpen openRegularFile(QFile *file, const QString &path, bool followLinks, QString *error)
{
    // Without O_NONBLOCK, opening a FIFO waits until some other process opens it for writing.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW);
    const int descriptor = ::open(QFile::encodeName(path).constData(), flags);
    if (descriptor < 0) {
        const int reason = errno;
        *error = reason == ELOOP && !followLinks ? notRegularFileText(true)
                                                 : windowsErrorText(quint32(reason));
        return reason == ENOENT ? RegularFileOpen::Missing : RegularFileOpen::Refused;
    }
    struct stat info = {};
    const bool statusRead = fstat(descriptor, &info) == 0;
    if (!statusRead || !S_ISREG(info.st_mode)) {
        *error = statusRead ? notRegularFileText(false) : windowsErrorText(quint32(errno));
        ::close(descriptor);
        return RegularFileOpen::Refused;
    }
    // Reads of a regular file never block; the flag only mattered for the open.
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    file->setFileName(path);
    if (!file->open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *error = file->errorString();
        ::close(descriptor);
        return RegularFileOpen::Refused;
    }
    return RegularFileOpen::Opened;
}

bool processIsRunning(quint32 processId)
{
    if (processId == 0)
        return false;
    return kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}

// POSIX has no windows to enumerate; a running process is the nearest honest answer.
bool processHasTopLevelWindow(quint32 processId)
{
    return processIsRunning(processId);
}

void sleepMilliseconds(int milliseconds)
{
    QThread::msleep(static_cast<unsigned long>(qMax(0, milliseconds)));
}

bool startProgram(const QString &verb, const QString &program, const QStringList &arguments,
                  QString *error)
{
    if (verb == QLatin1String("runas"))
        return startWithRaisedRights(program, arguments, error);
    if (!QFileInfo(program).isExecutable())
        return failed(ENOENT, error);
    return QProcess::startDetached(program, arguments) || failed(ENOENT, error);
}

QString updaterExecutableName()
{
    return QStringLiteral("lg_updater");
}

bool readUseNewLocation(const QString &group)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Ledgora"),
                       QStringLiteral("Ledgora"));
    settings.beginGroup(group);
    const bool value = settings.value(QStringLiteral("USE_NEW_LOCATION"), false).toBool();
    settings.endGroup();
    return value;
}
