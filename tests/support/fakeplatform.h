#pragma once

#include "platform/platformservices.h"

#include <QList>
#include <QQueue>
#include <QStringList>

// The real platform layer, except for the calls a test scripts: refused time stamps, a running
// main application, the rights of the process, program starts and the registry value.
class FakePlatform : public PlatformServices
{
public:
    bool setTimes(const QString &path, bool isDirectory, const QDateTime &created,
                  const QDateTime &written, const QDateTime &accessed, QFile *openFile) override
    {
        ++timeCalls;
        if (failTimesOnCall == timeCalls)
            return false;
        return PlatformServices::setTimes(path, isDirectory, created, written, accessed, openFile);
    }
    bool elevated() override { return isElevatedProcess; }
    bool replace(const QString &source, const QString &target) override
    {
        if (!failReplaceOf.isEmpty() && target.endsWith(failReplaceOf))
            return false;
        return PlatformServices::replace(source, target);
    }
    bool hasTopLevelWindow(quint32 processId) override
    {
        windowQueries.append(processId);
        return windowAnswers.isEmpty() ? false : windowAnswers.dequeue();
    }
    void sleep(int milliseconds) override { sleeps.append(milliseconds); }
    qintptr start(const QString &verb, const QString &program, const QString &parameters) override
    {
        starts.append(verb + QLatin1Char('|') + program + QLatin1Char('|') + parameters);
        return startResult;
    }
    bool useNewLocation(const QString &group) override
    {
        settingsGroups.append(group);
        return newLocation;
    }
    QString errorText(quint32 code) override
    {
        return code == 0 && !lastError.isEmpty() ? lastError : PlatformServices::errorText(code);
    }

    int failTimesOnCall = 0;
    QString failReplaceOf; // the move over a target ending in this is refused
    int timeCalls = 0;
    bool isElevatedProcess = false;
    QQueue<bool> windowAnswers;
    QList<quint32> windowQueries;
    QList<int> sleeps;
    QStringList starts;
    qintptr startResult = 42;
    bool newLocation = false;
    QStringList settingsGroups;
    QString lastError;
};
