#pragma once

#include "platform/platformservices.h"

#include <QFileInfo>
#include <QList>
#include <QQueue>
#include <QStringList>

#include <cerrno>

// The real platform layer, except for the calls a test scripts: refused time stamps, a running
// main application, the rights of the process, program starts and the registry value. It also
// keeps Windows' rule that a read-only file can be neither replaced nor deleted, which Linux
// (and root) do not enforce, so the tests show that the installation clears that state first.
class FakePlatform : public PlatformServices
{
public:
    static bool readOnly(const QString &path)
    {
        // Windows reads the attribute of a link itself, not of what it points to.
        const QFileInfo info(path);
        return !info.isSymLink() && info.exists()
            && !(info.permissions() & QFileDevice::WriteOwner);
    }
    bool removeFile(const FolderHandle &folder, const QString &name, QString *error) override
    {
        const QString path = folder.pathOf(name);
        if (readOnly(path) || (!refuseRemovalOf.isEmpty() && path.endsWith(refuseRemovalOf))) {
            *error = QStringLiteral("Zugriff verweigert");
            return false;
        }
        return PlatformServices::removeFile(folder, name, error);
    }
    bool setTimes(const FolderHandle &folder, const QString &name, const QDateTime &created,
                  const QDateTime &written, const QDateTime &accessed, QString *error) override
    {
        ++timeCalls;
        if (failTimesOnCall == timeCalls)
            return failed(error);
        return PlatformServices::setTimes(folder, name, created, written, accessed, error);
    }
    bool elevated() override { return isElevatedProcess; }
    bool replace(const FolderHandle &folder, const QString &source, const QString &target,
                 QString *error) override
    {
        const QString path = folder.pathOf(target);
        if (readOnly(path) || (!failReplaceOf.isEmpty() && path.endsWith(failReplaceOf))) {
            *error = windowsErrorText(EACCES);
            return false;
        }
        return PlatformServices::replace(folder, source, target, error);
    }
    bool syncToDisk(QFile *file, QString *error) override
    {
        if (failSync) {
            *error = windowsErrorText(EIO);
            return false;
        }
        return PlatformServices::syncToDisk(file, error);
    }
    bool syncFilesToDisk(const QVector<FolderHandle::File> &files, int *failedIndex,
                         QString *error) override
    {
        syncedFiles.append(files.size());
        if (failSync && !files.isEmpty()) {
            // As Linux reports it: not which file.
            *failedIndex = -1;
            *error = windowsErrorText(EIO);
            return false;
        }
        for (int i = 0; i < files.size(); ++i) {
            // As Windows reports it, syncing file by file: the file that failed.
            if (!failSyncOf.isEmpty() && files.at(i).path().endsWith(failSyncOf)) {
                *failedIndex = i;
                *error = windowsErrorText(EIO);
                return false;
            }
        }
        return PlatformServices::syncFilesToDisk(files, failedIndex, error);
    }
    bool hasTopLevelWindow(quint32 processId) override
    {
        windowQueries.append(processId);
        return windowAnswers.isEmpty() ? false : windowAnswers.dequeue();
    }
    void sleep(int milliseconds) override { sleeps.append(milliseconds); }
    bool start(const QString &verb, const QString &program, const QStringList &arguments,
               QString *error) override
    {
        starts.append(verb + QLatin1Char('|') + program + QLatin1Char('|')
                      + arguments.join(QLatin1Char('|')));
        startArguments.append(arguments);
        return startSucceeds || failed(error);
    }
    bool useNewLocation(const QString &group) override
    {
        settingsGroups.append(group);
        return newLocation;
    }
    // A scripted failure: the system's text the test gave, else that of refused access.
    bool failed(QString *error) const
    {
        *error = lastError.isEmpty() ? windowsErrorText(EACCES) : lastError;
        return false;
    }

    int failTimesOnCall = 0;
    QString failReplaceOf; // the move over a target ending in this is refused
    QString refuseRemovalOf; // deleting a file whose path ends in this is refused
    bool failSync = false; // the disk reports an error when written data is synced
    QString failSyncOf; // syncing a batch fails at the file whose path ends in this
    QList<int> syncedFiles; // the number of files of each batch synced
    int timeCalls = 0;
    bool isElevatedProcess = false;
    QQueue<bool> windowAnswers;
    QList<quint32> windowQueries;
    QList<int> sleeps;
    QStringList starts; // "verb|program|argument|argument…"
    QList<QStringList> startArguments; // each start's arguments, exactly
    bool startSucceeds = true;
    bool newLocation = false;
    QStringList settingsGroups;
    QString lastError; // the system's text of a scripted failure
};
