#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#endif

// A real file system mounted on an existing folder while the object lives: a tmpfs with a size
// runs full like a disk, a ramfs keeps no birth times, a bound folder is one folder under two
// names. Mounting needs root on Linux; where it
// fails, errorString() says why and the test skips.
class MountedFileSystem
{
public:
    MountedFileSystem(const QString &folder, const char *type, const char *options)
        : folder(QFile::encodeName(folder))
    {
#ifdef Q_OS_LINUX
        mounted = ::mount(type, this->folder.constData(), type, 0, options) == 0;
        if (!mounted)
            reason = QString::fromLocal8Bit(std::strerror(errno));
#else
        Q_UNUSED(type)
        Q_UNUSED(options)
        reason = QStringLiteral("mounting is only done on Linux");
#endif
    }
    // The folder boundFrom shown a second time, at `folder` (a bind mount).
    MountedFileSystem(const QString &folder, const QString &boundFrom)
        : folder(QFile::encodeName(folder))
    {
#ifdef Q_OS_LINUX
        mounted = ::mount(QFile::encodeName(boundFrom).constData(), this->folder.constData(),
                          nullptr, MS_BIND, nullptr)
            == 0;
        if (!mounted)
            reason = QString::fromLocal8Bit(std::strerror(errno));
#else
        Q_UNUSED(boundFrom)
        reason = QStringLiteral("mounting is only done on Linux");
#endif
    }
    ~MountedFileSystem()
    {
#ifdef Q_OS_LINUX
        if (mounted)
            ::umount2(folder.constData(), MNT_DETACH);
#endif
    }
    MountedFileSystem(const MountedFileSystem &) = delete;
    MountedFileSystem &operator=(const MountedFileSystem &) = delete;

    bool isMounted() const
    {
        return mounted;
    }
    QString errorString() const
    {
        return reason;
    }

    // Writes a filler file until no block is left; true when the file system then is full.
    bool fill() const
    {
        QFile filler(QFile::decodeName(folder) + QLatin1String("/fueller"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'x');
        while (filler.write(block) > 0) { }
        return filler.error() == QFileDevice::ResourceError;
    }

private:
    QByteArray folder;
    bool mounted = false;
    QString reason;
};
