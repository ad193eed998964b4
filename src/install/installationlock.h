#pragma once

#include <QString>

// Held by an updater while it writes into an installation, as a file in the updater's own
// folder, so that a second updater neither writes at the same time nor takes the first one's
// staging files for leftovers of a killed run. The system releases it when its process ends,
// however it ends; the file stays. It is taken through the installation's held folders (the
// updater's folder lies in the installation), never through a link and without waiting for a
// pipe, and interoperates with the toolkit's QLockFile, which older updaters took.
class InstallationLock
{
public:
    InstallationLock(const QString &baseDir, const QString &path);
    ~InstallationLock();
    InstallationLock(const InstallationLock &) = delete;
    InstallationLock &operator=(const InstallationLock &) = delete;

    enum class State {
        Held, // by this object, until it is destroyed
        HeldByAnother, // a running updater holds it
        Unavailable, // no lock file of its own can be had (no rights to the folder, say)
    };
    State acquire();

private:
    QString baseDir;
    QString path;
    qintptr lock = 0;
    bool held = false;
};
