#pragma once

#include <QHash>
#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <optional>

// Which file of a run makes the data file of a content. Files are hashed on several threads at
// once; the first with a content claims it and finds, checks or writes its data file. Another
// file with the same content waits for that one and takes its payload: the content is
// compressed once, and no two threads write the same part file.
class DataFileClaims
{
public:
    struct Outcome
    {
        bool ok = false;
        QString payloadPath; // the data file, or its part when written in this run
        QString error; // the failure line when not ok
    };

    // True for the first caller with this content, who must settle it.
    bool claim(const QString &hashName);
    void settle(const QString &hashName, const Outcome &outcome);
    // Waits until the content's first file has settled it.
    Outcome await(const QString &hashName);

private:
    QMutex mutex;
    QWaitCondition settled;
    QHash<QString, std::optional<Outcome>> outcomes;
};
