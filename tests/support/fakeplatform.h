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
    bool removeFile(const QString &path, QString *error) override
    {
        if (readOnly(path) || (!refuseRemovalOf.isEmpty() && path.endsWith(refuseRemovalOf))) {
            *error = QStringLiteral("Zugriff verweigert");
            return false;
        }
        return PlatformServices::removeFile(path, error);
    }
    bool setTimes(const QString &path, bool isDirectory, const QDateTime &created,
                  const QDateTime &written, const QDateTime &accessed, QFile *openFile,
                  QString *error) override
    {
        ++timeCalls;
        if (failTimesOnCall == timeCalls)
            return failed(error);
        return PlatformServices::setTimes(path, isDirectory, created, written, accessed, openFile,
                                          error);
    }
    bool elevated() override { return isElevatedProcess; }
    bool replace(const QString &source, const QString &target, QString *error) override
    {
        if (readOnly(target) || (!failReplaceOf.isEmpty() && target.endsWith(failReplaceOf))) {
            *error = windowsErrorText(EACCES);
            return false;
        }
        return PlatformServices::replace(source, target, error);
    }
    bool syncToDisk(QFile *file, QString *error) override
    {
        if (failSync) {
            *error = windowsErrorText(EIO);
            return false;
        }
        return PlatformServices::syncToDisk(file, error);
    }
    bool syncFilesToDisk(const QStringList &paths, QString *failedPath, QString *error) override
    {
        if (failSync && !paths.isEmpty()) {
            *failedPath = paths.first();
            *error = windowsErrorText(EIO);
            return false;
        }
        return PlatformServices::syncFilesToDisk(paths, failedPath, error);
    }
    bool hasTopLevelWindow(quint32 processId) override
    {
        windowQueries.append(processId);
        return windowAnswers.isEmpty() ? false : windowAnswers.dequeue();
    }
    void sleep(int milliseconds) override { sleeps.append(milliseconds); }
    bool start(const QString &verb, const QString &program, const QString &parameters,
               QString *error) override
    {
        starts.append(verb + QLatin1Char('|') + program + QLatin1Char('|') + parameters);
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
    int timeCalls = 0;
    bool isElevatedProcess = false;
    QQueue<bool> windowAnswers;
    QList<quint32> windowQueries;
    QList<int> sleeps;
    QStringList starts;
    bool startSucceeds = true;
    bool newLocation = false;
    QStringList settingsGroups;
    QString lastError; // the system's text of a scripted failure
};
