#pragma once

#include "check/releasetrust.h"
#include "common/logline.h"
#include "package/offlineentry.h"
#include "package/offlinefile.h"
#include "package/updatedocument.h"

#include <QString>
#include <QVector>

#include <functional>
#include <optional>

// Fetches one file of a release folder, refusing a reply of more than maxBytes. On failure
// `error` holds the downloader's text; `url` is the request URL in any case.
using ReleaseFetch = std::function<bool(int year, const QString &fileName, qint64 maxBytes,
                                        QByteArray *data, QString *url, QString *error)>;

// What loading from the update server gave.
struct OnlineLoad
{
    bool loaded = false;
    int releaseYear = 0; // the year loaded, else the year tried last
    UpdateDocument document;
    std::optional<AcceptedRelease> release; // with keys: the accepted statement's release
    ActivityLog log; // one red line for each failed attempt
    // The lines of attempts refused for what the server sent (a statement, a document), not for
    // a fetch that failed: worth showing even when another year's release loads.
    ActivityLog refusals;
    // The last refusal of a statement (signature, rollback, expiry, the record): the server
    // answered, so this is no missing connection.
    std::optional<StatementRefusal> trustRefusal;
};

// Loads the update document from the release folder of next year, else of this year. With keys
// in `trust`, a release counts only with its accepted statement, which also names the document:
// "info.bin" is read then only to tell a release without statement from a missing folder.
OnlineLoad loadOnlineDocument(int currentYear, const ReleaseFetch &fetch,
                              const ReleaseTrust &trust);

// A message the window shows in an information box.
struct LoadMessage
{
    QString title;
    QString text;
};

struct OfflineLoad
{
    enum Outcome {
        // cannot be opened, not an offline update file, or its statement refused: the online
        // result stands
        NotRead,
        DocumentBroken, // read, but its document could not be restored: no document at all
        Loaded,
    };
    Outcome outcome = NotRead;
    QVector<LoadMessage> messages; // what went wrong, in order
    int releaseYear = 0;
    // Where each payload lies in the file; nothing is expanded yet.
    OfflineIndex index;
    UpdateDocument document;
    std::optional<AcceptedRelease> release; // of an accepted statement
};

// Reads an offline update file; with keys in `trust`, only one with an accepted statement.
// With `known`, the layout its writer gave, the records are taken from there instead of read,
// as long as the file's size and header agree with it.
OfflineLoad loadOfflineFile(const QString &path, const ReleaseTrust &trust,
                            const OfflineFileLayout *known = nullptr);
