#pragma once

#include "common/logline.h"
#include "package/offlineentry.h"
#include "package/updatedocument.h"

#include <QString>
#include <QVector>

#include <functional>

// Fetches one file of a release folder, refusing a reply of more than maxBytes. On failure
// `error` holds the downloader's text; `url` is the request URL in any case.
using ReleaseFetch = std::function<bool(int year, const QString &fileName, qint64 maxBytes,
                                        QByteArray *data, QString *url, QString *error)>;

// Loads the update document from the release folder of next year, else of this year. Each
// failed attempt appends one red line to `log`; `releaseYear` is the year tried last.
bool loadOnlineDocument(int currentYear, const ReleaseFetch &fetch, ActivityLog &log,
                        int &releaseYear, UpdateDocument &document);

// A message the window shows in an information box.
struct LoadMessage
{
    QString title;
    QString text;
};

struct OfflineLoad
{
    enum Outcome {
        NotRead, // cannot be opened or not an offline update file: the online result stands
        DocumentBroken, // read, but its document could not be restored: no document at all
        Loaded,
    };
    Outcome outcome = NotRead;
    QVector<LoadMessage> messages; // what went wrong, in order
    int releaseYear = 0;
    // Where each payload lies in the file; nothing is expanded yet.
    OfflineIndex index;
    UpdateDocument document;
};

// Reads an offline update file.
OfflineLoad loadOfflineFile(const QString &path);
