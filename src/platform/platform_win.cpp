#include "platform/platform.h"
#include "platform/win32/win32services.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QSysInfo>

// The version values are those the published "os" keys were defined with; the toolkit marks
// the call as legacy but still answers it on every Windows version.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
int runningWindowsVersion()
{
    return QSysInfo::windowsVersion();
}
QT_WARNING_POP

QString windowsErrorText(quint32 code)
{
    return QString::fromStdWString(win32::errorText(code));
}

namespace {

// The last error, taken right after the call that failed.
bool failed(QString *error)
{
    *error = windowsErrorText(0);
    return false;
}

} // namespace

bool isElevated()
{
    return win32::isElevated();
}

bool setFileTimes(const QString &path, bool isDirectory, const QDateTime &created,
                  const QDateTime &written, const QDateTime &accessed, QFile *openFile,
                  QString *error)
{
    if (openFile) {
        openFile->flush();
        return win32::setFileTimesOfDescriptor(openFile->handle(), toFileTime(created),
                                               toFileTime(written), toFileTime(accessed))
            || failed(error);
    }
    return win32::setFileTimes(path.toStdWString(), isDirectory, toFileTime(created),
                               toFileTime(written), toFileTime(accessed))
        || failed(error);
}

bool syncFile(QFile *file, QString *error)
{
    return win32::flushFileBuffersOfDescriptor(file->handle()) || failed(error);
}

bool readFileStatus(const QString &path, FileStatus *status, QString *error)
{
    constexpr quint32 errorFileNotFound = 2; // ERROR_FILE_NOT_FOUND
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = windowsErrorText(errorFileNotFound);
        return false;
    }
    status->size = info.size();
    const QDateTime created = info.birthTime();
    status->created =
        created.isValid() ? std::optional<qint64>(created.toSecsSinceEpoch()) : std::nullopt;
    status->modified = info.lastModified().toSecsSinceEpoch();
    status->accessed = info.lastRead().toSecsSinceEpoch();
    return true;
}

bool readEntryStatus(const QString &path, FileStatus *status, bool *isLink, QString *error)
{
    *isLink = checkForLink(path) == LinkCheck::Link;
    return *isLink || readFileStatus(path, status, error);
}

// On Windows the toolkit's conversion reads no time zone file each time: it is used as it is.
QString localTimeText(qint64 secondsSinceEpoch)
{
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch).toString(Qt::ISODate);
}

void prepareForBulkWork() { }

bool syncFiles(const QStringList &paths, QString *failedPath, QString *error)
{
    for (const QString &path : paths) {
        QFile file(path);
        // FlushFileBuffers needs a handle with write access.
        if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
            *failedPath = path;
            *error = file.errorString();
            return false;
        }
        if (!syncFile(&file, error)) {
            *failedPath = path;
            return false;
        }
    }
    return true;
}

bool makePath(const QString &path, QString *error)
{
    return win32::createDirectories(path.toStdWString()) || failed(error);
}

bool replaceFile(const QString &source, const QString &target, QString *error)
{
    return win32::replaceFile(source.toStdWString(), target.toStdWString()) || failed(error);
}

bool renamePath(const QString &source, const QString &target, QString *error)
{
    return win32::moveFile(source.toStdWString(), target.toStdWString()) || failed(error);
}

LinkCheck checkForLink(const QString &path)
{
    switch (win32::pathKind(path.toStdWString())) {
    case win32::PathKind::Missing:
        return LinkCheck::Missing;
    case win32::PathKind::ReparsePoint:
        return LinkCheck::Link;
    case win32::PathKind::Other:
        break;
    }
    return LinkCheck::Other;
}

bool namesOpenFile(const QString &, QFile *)
{
    return true;
}

// Windows has no FIFOs in its file systems, and its pipes and devices have names of their
// own, which a file's status does not report as a file.
RegularFileOpen openRegularFile(QFile *file, const QString &path, bool followLinks, QString *error)
{
    const LinkCheck kind = checkForLink(path);
    if (kind == LinkCheck::Missing) {
        *error = windowsErrorText(2); // ERROR_FILE_NOT_FOUND
        return RegularFileOpen::Missing;
    }
    const QFileInfo info(path);
    if ((kind == LinkCheck::Link && !followLinks) || !info.isFile()) {
        *error = notRegularFileText(kind == LinkCheck::Link && !followLinks);
        return RegularFileOpen::Refused;
    }
    file->setFileName(path);
    if (!file->open(QIODevice::ReadOnly)) {
        *error = file->errorString();
        return RegularFileOpen::Refused;
    }
    return RegularFileOpen::Opened;
}

bool processIsRunning(quint32 processId)
{
    return win32::processIsRunning(processId);
}

bool processHasTopLevelWindow(quint32 processId)
{
    return win32::processHasTopLevelWindow(processId);
}

void sleepMilliseconds(int milliseconds)
{
    win32::sleepMilliseconds(static_cast<std::uint32_t>(qMax(0, milliseconds)));
}

bool startProgram(const QString &verb, const QString &program, const QStringList &arguments,
                  QString *error)
{
    std::vector<std::wstring> parameters;
    for (const QString &argument : arguments)
        parameters.push_back(argument.toStdWString());
    // The shell puts the program into the new process's command line as given: in Windows'
    // own spelling, so that the copy sees the path Windows would show.
    return win32::shellExecute(verb.toStdWString(),
                               QDir::toNativeSeparators(program).toStdWString(),
                               win32::commandLineOf(parameters))
        || failed(error);
}

QString updaterExecutableName()
{
    return QStringLiteral("lg_updater.exe");
}

bool readUseNewLocation(const QString &group)
{
    QSettings settings(QStringLiteral("HKEY_CURRENT_USER\\Software\\Ledgora\\Ledgora"),
                       QSettings::NativeFormat);
    settings.beginGroup(group);
    const bool value = settings.value(QStringLiteral("USE_NEW_LOCATION"), false).toBool();
    settings.endGroup();
    return value;
}
