#pragma once

#include <QByteArray>
#include <QString>

class PlatformServices;

// Writes a file under the name "<target>.lgtmp" beside its target and moves it over the target
// only when every byte has been written and synced to disk. A run that stops midway leaves the old
// target intact; the next write of the same target truncates and reuses the leftover.
class StagedWrite
{
public:
    enum Result { Written, OpenFailed, WriteFailed };

    static Result write(const QString &target, const QByteArray &data, PlatformServices &platform,
                        QString *error);
    static QString stagingPath(const QString &target);
};
