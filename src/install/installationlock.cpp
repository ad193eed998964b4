#include "install/installationlock.h"

#include "common/logcategories.h"
#include "install/installationfolders.h"

InstallationLock::InstallationLock(const QString &baseDir, const QString &path)
    : baseDir(baseDir)
    , path(path)
{
}

InstallationLock::~InstallationLock()
{
    if (held)
        FolderHandle::unlockFile(lock);
}

InstallationLock::State InstallationLock::acquire()
{
    InstallationFolders folders(baseDir);
    InstallationFolders::Refusal refusal;
    QString error;
    const std::optional<FolderHandle::File> file = folders.updaterFile(path, &refusal, &error);
    FolderHandle::Lock taken = FolderHandle::Lock::Failed;
    if (file)
        taken = file->folder->lockFile(file->name, &lock, &error);
    switch (taken) {
    case FolderHandle::Lock::Held:
        held = true;
        return State::Held;
    case FolderHandle::Lock::HeldByAnother:
        return State::HeldByAnother;
    case FolderHandle::Lock::Failed:
        break;
    }
    qCWarning(lcCheck).noquote() << "no installation lock:" << path << error;
    return State::Unavailable;
}
