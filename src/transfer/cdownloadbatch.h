#pragma once

#include "transfer/downloadoptions.h"
#include "transfer/httpresponseparser.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QTemporaryFile>
#include <QVector>

#include <functional>

class CHttpChannel;
class CHttpPool;
class CProgressThreadInfo;

// One file of a batch. A small body is kept in memory; a larger one goes to a temporary file
// as it arrives, so memory holds a few blocks whatever the files' sizes.
struct DownloadItem
{
    QString url;
    qint64 maxBytes = 0; // the body is refused past this many bytes; 0 or less: no limit
    bool ok = false;
    QString errorText; // why the item failed
    bool stagingFailed = false; // the temporary file could not take the body: a local fault
    QByteArray data; // when ok: the body, unless it is in bodyPath
    QString bodyPath; // when ok: the closed file that holds a large body; the caller removes it
};

// Many GETs over the run's kept-alive connections (CHttpPool), one request in flight on each,
// under one progress dialog that appears only when the batch takes longer than a moment and
// names, as a single download's does, the address of the file that the caller waits for.
// Synchronous for its caller. Each item is judged as CDownloader judges one download: status
// 200, no encoding, within its limit; the batch's time limit counts from the last data
// received by any item. Redirects are failures, never followed.
// The items are needed in their order: each is handed to `arrived` as soon as it and all before
// it have ended, while later ones still arrive, and once one has failed (or `arrived` says
// stop), those after it are not fetched on, as they can no longer be used.
class CDownloadBatch : public QObject
{
    Q_OBJECT

public:
    // arrived(index): the item has ended (ok or not); false stops the batch.
    CDownloadBatch(CHttpPool *pool, const DownloadOptions &options, QVector<DownloadItem> &items,
                   std::function<bool(int index)> arrived = std::function<bool(int)>());
    ~CDownloadBatch() override;

    // Fetches every item; false when the user cancelled (the items that had not arrived then
    // fail with the reason).
    bool run();

private:
    // Where a body in flight goes: memory until it grows past a limit, then a file.
    struct Sink
    {
        QByteArray memory;
        QSharedPointer<QTemporaryFile> file;
    };

    void startNext();
    void onHeader(CHttpChannel *channel, const HttpResponseParser::Header &header);
    void onData(CHttpChannel *channel, const QByteArray &bytes);
    void onFinished(CHttpChannel *channel);
    bool write(Sink &sink, const QByteArray &bytes, QString *reason);
    void end(CHttpChannel *channel, int index);
    void fail(CHttpChannel *channel, int index, const QString &reason);
    void endItem(CHttpChannel *channel, int index, const QString &reason);
    void dropItemsAfter(int index, const QString &reason);
    void deliver();
    void release(CHttpChannel *channel);
    void showProgress();

    CHttpPool *pool;
    DownloadOptions options;
    QByteArray headerLines; // of every request
    QVector<DownloadItem> &items;
    std::function<bool(int)> arrived;
    QVector<bool> ended;
    QHash<CHttpChannel *, int> inFlight;
    QHash<int, Sink> sinks; // of the items in flight
    QPointer<CProgressThreadInfo> progressInfo;
    int next = 0; // the first item not started
    int front = 0; // the first item not handed to `arrived`
    int done = 0;
    int lastPercent = -1;
    int namedItem = 0; // the item the dialog's text names
    bool stopped = false; // `arrived` said stop
};
