#pragma once

#include "platform/platform.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>

// The platform calls that the installation makes, as one object the window owns, so that a
// test can replace single calls (a refused time stamp, a running main application) while
// every other call stays real.
class PlatformServices
{
public:
    virtual ~PlatformServices() = default;

    virtual bool elevated() { return isElevated(); }
    virtual bool setTimes(const QString &path, bool isDirectory, const QDateTime &created,
                          const QDateTime &written, const QDateTime &accessed, QFile *openFile,
                          QString *error)
    {
        return setFileTimes(path, isDirectory, created, written, accessed, openFile, error);
    }
    virtual bool makeFileWritable(const QString &path) { return makeWritable(path); }
    virtual bool removeFile(const QString &path, QString *error)
    {
        QFile file(path);
        const bool removed = file.remove();
        *error = file.errorString();
        return removed;
    }
    virtual bool syncToDisk(QFile *file, QString *error) { return syncFile(file, error); }
    virtual bool syncFilesToDisk(const QStringList &paths, QString *failedPath, QString *error)
    {
        return syncFiles(paths, failedPath, error);
    }
    virtual bool replace(const QString &source, const QString &target, QString *error)
    {
        return replaceFile(source, target, error);
    }
    virtual bool rename(const QString &source, const QString &target, QString *error)
    {
        return renamePath(source, target, error);
    }
    virtual bool hasTopLevelWindow(quint32 processId)
    {
        return processHasTopLevelWindow(processId);
    }
    virtual void sleep(int milliseconds) { sleepMilliseconds(milliseconds); }
    virtual bool start(const QString &verb, const QString &program, const QStringList &arguments,
                       QString *error)
    {
        return startProgram(verb, program, arguments, error);
    }
    virtual bool useNewLocation(const QString &group) { return readUseNewLocation(group); }
};
