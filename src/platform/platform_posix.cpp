#include "platform.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

timespec toTimespec(const QDateTime &dateTime)
{
    timespec result = {};
    if (!dateTime.isValid()) {
        result.tv_nsec = UTIME_OMIT;
        return result;
    }
    const qint64 msecs = dateTime.toMSecsSinceEpoch();
    result.tv_sec = static_cast<time_t>(msecs / 1000);
    result.tv_nsec = static_cast<long>(msecs % 1000) * 1000000L;
    if (result.tv_nsec < 0) {
        result.tv_sec -= 1;
        result.tv_nsec += 1000000000L;
    }
    return result;
}

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

// The shell's values that ShellExecuteW gives for success and for a missing file.
constexpr qintptr shellStarted = 42;
constexpr qintptr shellFileNotFound = 2;

} // namespace

int runningWindowsVersion()
{
    return 0;
}

QString windowsErrorText(quint32 code)
{
    const int error = code == 0 ? errno : static_cast<int>(code);
    return QString::fromLocal8Bit(std::strerror(error)).trimmed();
}

bool isElevated()
{
    return geteuid() == 0;
}

// Linux keeps no settable creation time: `created` is accepted and ignored, the modification
// and access times are set.
bool setFileTimes(const QString &path, bool isDirectory, const QDateTime &created,
                  const QDateTime &written, const QDateTime &accessed, QFile *openFile)
{
    Q_UNUSED(created)
    const timespec times[2] = {toTimespec(accessed), toTimespec(written)};
    if (openFile) {
        openFile->flush();
        return futimens(openFile->handle(), times) == 0;
    }
    // Windows opens a folder only with the directory flag; keep that contract here.
    struct stat info;
    if (stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && !isDirectory) {
        errno = EISDIR;
        return false;
    }
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

bool syncFile(QFile *file)
{
    return fsync(file->handle()) == 0;
}

bool replaceFile(const QString &source, const QString &target)
{
    return ::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData())
        == 0;
}

bool keepFileMode(QFile *staged, const QString &target)
{
    struct stat info;
    mode_t mode = QFileInfo(target).fileName() == updaterExecutableName() ? 0755 : 0644;
    if (lstat(QFile::encodeName(target).constData(), &info) == 0 && S_ISREG(info.st_mode))
        mode = info.st_mode & 07777;
    return fchmod(staged->handle(), mode) == 0;
}

bool isLink(const QString &path)
{
    struct stat info;
    return lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool makeWritable(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (lstat(name.constData(), &info) != 0)
        return false;
    if (S_ISLNK(info.st_mode))
        return true;
    return chmod(name.constData(), (info.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0;
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

qintptr startProgram(const QString &verb, const QString &program, const QString &parameters)
{
    QString executable = program;
    QStringList arguments = QProcess::splitCommand(parameters);
    if (verb == QLatin1String("runas")) {
        const QString helper = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
        const QString env = QStandardPaths::findExecutable(QStringLiteral("env"));
        if (helper.isEmpty() || env.isEmpty()) {
            errno = ENOENT;
            return shellFileNotFound;
        }
        arguments = QStringList {env} + displayVariables() + QStringList {program} + arguments;
        executable = helper;
    }
    if (!QFileInfo(executable).isExecutable()) {
        errno = ENOENT;
        return shellFileNotFound;
    }
    return QProcess::startDetached(executable, arguments) ? shellStarted : shellFileNotFound;
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
