#pragma once

#include <QString>

#include <optional>

class QDateTime;
class QFile;
class QStringList;

// Windows services and path rules, the same on every system the updater is built for.
// Windows builds use the Win32 API (win32/), other systems the nearest POSIX behaviour.

// True when the operating-system key applies to a Windows version (a QSysInfo::WinVersion
// value; 0 stands for a system without a version-specific key). The generic key "windows"
// matches everywhere and sets *isGeneric.
bool osKeyMatches(const QString &key, bool *isGeneric, int windowsVersion);
// QSysInfo::windowsVersion() on Windows, 0 elsewhere.
int runningWindowsVersion();

// The system's text for an error code, trimmed; 0 means the calling thread's last error, read
// at once by the calls below that fail.
QString windowsErrorText(quint32 code = 0);
bool isElevated();

// Backslashes become "/", but each pair of backslashes (a network path's prefix) stays.
void normalizeSeparators(QString &path);
// normalizeSeparators, then a trailing "/" unless the path is empty.
void normalizeDirPath(QString &path);

// The canonical folder above the executable's folder (two above in mode 3), ending in "/";
// empty when it does not exist.
QString applicationBaseDir(const QString &executableDir, int mode);

// 100-nanosecond intervals since 1601-01-01 00:00 UTC; 0 for an invalid value.
qint64 toFileTime(const QDateTime &dateTime);

// What the system keeps about a file or folder (what a link points to), read in one call.
// Times in seconds since 1970-01-01 00:00 UTC; no creation time where the file system keeps
// none.
struct FileStatus
{
    qint64 size = 0;
    std::optional<qint64> created;
    qint64 modified = 0;
    qint64 accessed = 0;
};
bool readFileStatus(const QString &path, FileStatus *status, QString *error);
// The same of the entry itself, and whether it is a link (as isLink below), in one read where
// the system allows. A link is not followed: *isLink is set and *status left as it was.
bool readEntryStatus(const QString &path, FileStatus *status, bool *isLink, QString *error);

// The moment in this system's local time as "yyyy-MM-ddTHH:mm:ss", the text
// QDateTime::toString(Qt::ISODate) gives for it; empty outside the years 0 to 9999. The
// toolkit's conversions make glibc look at the time zone file again each time; this one reads
// it once.
QString localTimeText(qint64 secondsSinceEpoch);

// The calls below that can fail return false with the system's text in *error.

// Sets creation, last-write and last-access time. With openFile its handle is used and path
// and isDirectory are ignored. A folder needs isDirectory. POSIX systems cannot set a creation
// time; it is ignored there.
bool setFileTimes(const QString &path, bool isDirectory, const QDateTime &created,
                  const QDateTime &written, const QDateTime &accessed, QFile *openFile,
                  QString *error);

// Waits until what was written to the open file is on the disk (fsync; FlushFileBuffers on
// Windows); the caller flushes the toolkit's buffer first.
bool syncFile(QFile *file, QString *error);

// Waits until the named files, written and closed without a sync, are on the disk. Linux syncs
// each file system that holds one of their folders once (syncfs): one wait for the disk instead
// of one for every file. Other systems sync file by file. On failure *failedPath names the
// folder or file whose sync failed.
bool syncFiles(const QStringList &paths, QString *failedPath, QString *error);

// Settings of the process for work on thousands of files, made once at start:
// - The memory allocator keeps freed blocks of up to some megabytes for reuse. The program
//   reads, hashes and expands thousands of such blocks on every core; glibc would otherwise map
//   each one afresh and unmap it when freed, and the system's zeroing of the new pages costs
//   more than the work done in them.
// - The local time zone is read once. Without TZ, glibc looks at /etc/localtime again on every
//   conversion of a local time, and an installation converts three times per file.
// Windows needs neither.
void prepareForBulkWork();

// Creates a folder and the folders above it that are missing.
bool makePath(const QString &path, QString *error);

// Moves source over target in one step; the target is the old file or the new one, never a mix.
bool replaceFile(const QString &source, const QString &target, QString *error);

// Gives a file or folder another name in the same folder tree; an existing target is not
// replaced.
bool renamePath(const QString &source, const QString &target, QString *error);

// True for a symbolic link (on Windows any reparse point, junctions included), whether what
// it points to exists or not.
bool isLink(const QString &path);
// The same look, telling also whether nothing is there: Missing only when the system says so
// (a path it cannot look at is Other), so that a walk down a path may stop at the first
// missing folder.
enum class LinkCheck { Missing, Link, Other };
LinkCheck checkForLink(const QString &path);

// Whether the path still names the file open in `file`, and not one renamed over it since.
// Windows opens files without sharing their deletion, so no other file can take the name of one
// that is open: there it is always true.
bool namesOpenFile(const QString &path, QFile *file);

// Opens an existing file for reading only when it is a regular file. A pipe, a device or a
// folder is refused without waiting for a writer (the open does not block), and so is a link
// unless followLinks. Missing: nothing of that name exists. Unless opened, *error says why.
enum class RegularFileOpen { Opened, Missing, Refused };
RegularFileOpen openRegularFile(QFile *file, const QString &path, bool followLinks, QString *error);
// The reason openRegularFile gives for a link, or for anything else that is no regular file.
QString notRegularFileText(bool link);

// True while a process of that id exists.
bool processIsRunning(quint32 processId);

// True when the process has a top-level window (Windows) or exists at all (POSIX).
bool processHasTopLevelWindow(quint32 processId);
void sleepMilliseconds(int milliseconds);

// Starts a program through the shell with the verb "runas" (raised rights) or the empty
// default verb, not waiting for it. Each argument reaches the program as one argument, whatever
// blanks, quotes or dashes it holds: Windows' command line quotes it by the rules by which
// CommandLineToArgvW splits it again.
bool startProgram(const QString &verb, const QString &program, const QStringList &arguments,
                  QString *error);

// The file name of the updater's executable on this system.
QString updaterExecutableName();

// The main application's "USE_NEW_LOCATION" value in the given settings group; false when
// absent. Windows: HKEY_CURRENT_USER\Software\Ledgora\Ledgora; elsewhere the user's native
// settings of organisation and application "Ledgora".
bool readUseNewLocation(const QString &group);
