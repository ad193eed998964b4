#include "install/installationlock.h"

InstallationLock::InstallationLock(const QString &path)
    : lock(path)
{
    // An installation of thousands of files takes longer than any fixed age.
    lock.setStaleLockTime(0);
}

InstallationLock::State InstallationLock::acquire()
{
    if (lock.tryLock(0))
        return State::Held;
    return lock.error() == QLockFile::LockFailedError ? State::HeldByAnother : State::Unavailable;
}
