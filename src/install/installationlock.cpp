#include "install/installationlock.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

// Time enough for a lock's owner to write its name into the file it has just made.
constexpr qint64 unnamedLockAgeMs = 10000;

} // namespace

InstallationLock::InstallationLock(const QString &path)
    : lock(path)
    , path(path)
{
    // An installation of thousands of files takes longer than any fixed age.
    lock.setStaleLockTime(0);
}

InstallationLock::State InstallationLock::acquire()
{
    if (lock.tryLock(0))
        return State::Held;
    if (lock.error() != QLockFile::LockFailedError)
        return State::Unavailable;
    // A lock file that names no process (cut short by a crash, or damaged) would otherwise
    // stop every installation for good.
    qint64 pid = 0;
    QString host;
    QString application;
    const qint64 age = QFileInfo(path).lastModified().msecsTo(QDateTime::currentDateTime());
    if (!lock.getLockInfo(&pid, &host, &application) && age > unnamedLockAgeMs
        && lock.removeStaleLockFile() && lock.tryLock(0))
        return State::Held;
    return State::HeldByAnother;
}
