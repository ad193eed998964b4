#pragma once

#include "mountedfilesystem.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <memory>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#endif

// An ext4 file system on a loop device whose image lies on a small tmpfs: it states far more
// room than its disk has, so that writes succeed and only the sync that brings them to the disk
// fails, as on a thin-provisioned volume or a network share that runs full. Needs root,
// mkfs.ext4 and a loop device; where it cannot be made, errorString() says why and the test
// skips.
class OvercommittedDisk
{
public:
    // Mounts it on `folder`, an existing empty folder, with room for about `roomKiB` of data.
    OvercommittedDisk(const QString &folder, int roomKiB)
        : folder(folder)
    {
        const QString backing = folder + QLatin1String("-abbild");
        QDir().mkpath(backing);
        // The file system's own structures take a few hundred kilobytes of the image.
        const QByteArray size = "size=" + QByteArray::number(roomKiB + 1024) + 'k';
        store = std::make_unique<MountedFileSystem>(backing, "tmpfs", size.constData());
        if (!store->isMounted()) {
            reason = store->errorString();
            return;
        }
        const QString image = backing + QLatin1String("/abbild.img");
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(64) << 20)) {
            reason = file.errorString();
            return;
        }
        file.close();
        mounted = run(QStringLiteral("mkfs.ext4"),
                      {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-O"),
                       QStringLiteral("^has_journal"), image})
            && run(QStringLiteral("mount"),
                   {QStringLiteral("-o"), QStringLiteral("loop"), image, folder});
    }
    ~OvercommittedDisk()
    {
#ifdef Q_OS_LINUX
        // The loop device lets go of the image once the file system is gone.
        if (mounted)
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
#endif
    }
    OvercommittedDisk(const OvercommittedDisk &) = delete;
    OvercommittedDisk &operator=(const OvercommittedDisk &) = delete;

    bool isMounted() const
    {
        return mounted;
    }
    QString errorString() const
    {
        return reason;
    }

private:
    bool run(const QString &tool, const QStringList &arguments)
    {
        QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty())
            program = QStandardPaths::findExecutable(tool, {QStringLiteral("/usr/sbin")});
        if (program.isEmpty()) {
            reason = tool + QLatin1String(" not found");
            return false;
        }
        QProcess process;
        process.start(program, arguments);
        if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0)
            return true;
        reason = tool + QLatin1String(": ")
            + QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        return false;
    }

    QString folder;
    std::unique_ptr<MountedFileSystem> store;
    bool mounted = false;
    QString reason;
};
