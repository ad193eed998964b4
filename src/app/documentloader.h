#pragma once

#include "package/offlineentry.h"

#include <QJsonDocument>
#include <QSharedPointer>
#include <QString>

#include <functional>

class QTemporaryFile;
class QWidget;
class UserDialogs;

// Fetches one file of a release folder, refusing a reply of more than maxBytes. On failure
// `error` holds the downloader's text; `url` is the request URL in any case.
using ReleaseFetch = std::function<bool(int year, const QString &fileName, qint64 maxBytes,
                                        QByteArray *data, QString *url, QString *error)>;

// Loads the update document from the release folder of next year, else of this year. Each
// failed attempt appends one red line to `log`; `releaseYear` is the year tried last.
bool loadOnlineDocument(int currentYear, const ReleaseFetch &fetch, QString &log, int &releaseYear,
                        QJsonDocument &document);

// The state that an offline update file fills.
struct OfflineTarget
{
    int &releaseYear;
    OfflineIndex &index;
    QJsonDocument &document;
};

enum class OfflineLoad {
    NotRead, // cannot be opened or not an offline update file: the online result stands
    DocumentBroken, // read, but its document could not be restored: no document at all
    Loaded,
};

// Reads an offline update file into `target`, telling the user through `dialogs` what went
// wrong. The index notes where each payload lies in the file; nothing is expanded yet.
OfflineLoad loadOfflineFile(const QString &path, UserDialogs &dialogs, QWidget *parent,
                            const OfflineTarget &target);
