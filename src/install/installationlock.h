#pragma once

#include <QLockFile>
#include <QString>

// Held by an updater while it writes into an installation, as a file in the updater's own
// folder, so that a second updater neither writes at the same time nor takes the first one's
// staging files for leftovers of a killed run. The file names its process: a lock whose process
// has ended on this machine is taken over, however old it is, and so is one that names no
// process at all once it is older than a moment.
class InstallationLock
{
public:
    explicit InstallationLock(const QString &path);

    enum class State {
        Held, // by this object, until it is destroyed
        HeldByAnother, // a running updater holds it
        Unavailable, // the lock file cannot be made (no rights to the folder, say)
    };
    State acquire();

private:
    QLockFile lock;
    QString path;
};
