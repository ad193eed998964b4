#pragma once

#include "platform/folderhandle.h"
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
    // Times of a file in the folder, or of the folder itself when the name is empty.
    virtual bool setTimes(const FolderHandle &folder, const QString &name, const QDateTime &created,
                          const QDateTime &written, const QDateTime &accessed, QString *error)
    {
        return folder.setTimes(name, created, written, accessed, error);
    }
    virtual bool makeFileWritable(const FolderHandle &folder, const QString &name)
    {
        return folder.makeWritable(name);
    }
    virtual bool removeFile(const FolderHandle &folder, const QString &name, QString *error)
    {
        return folder.removeFile(name, error);
    }
    virtual bool syncToDisk(QFile *file, QString *error) { return syncFile(file, error); }
    virtual bool syncFilesToDisk(const QVector<FolderHandle::File> &files, int *failedIndex,
                                 QString *error)
    {
        return FolderHandle::syncFiles(files, failedIndex, error);
    }
    virtual bool replace(const FolderHandle &folder, const QString &source, const QString &target,
                         QString *error)
    {
        return folder.replace(source, target, error);
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
