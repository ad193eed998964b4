#pragma once

#include <QByteArray>
#include <QString>

class PlatformServices;

// Writes a file under the name "<target>.lgtmp" beside its target and moves it over the target
// only when every byte has been written and synced to disk; the new file keeps the mode of the
// one it replaces. A run that stops midway leaves the old target intact; the next write of the
// same target removes the leftover. A link at the target is replaced, not written through.
class StagedWrite
{
public:
    enum Result { Written, OpenFailed, WriteFailed };

    static Result write(const QString &target, const QByteArray &data, PlatformServices &platform,
                        QString *error);
    static QString stagingPath(const QString &target);
};
