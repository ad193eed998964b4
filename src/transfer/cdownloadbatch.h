#pragma once

#include "transfer/downloadoptions.h"

#include <QHash>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QTemporaryFile>
#include <QVector>

class CProgressThreadInfo;
class QNetworkAccessManager;

// One file of a batch: its body goes to a temporary file as it arrives, so memory holds a
// few blocks whatever the files' sizes.
struct DownloadItem
{
    QString url;
    qint64 maxBytes = 0; // the body is refused past this many bytes; 0 or less: no limit
    bool ok = false;
    QString errorText; // why the item failed
    bool stagingFailed = false; // the temporary file could not take the body: a local fault
    QString bodyPath; // when ok: the closed file that holds the body; the caller removes it
};

// Many GETs over one network manager, a few in flight at once, under one progress dialog that
// appears only when the batch takes longer than a moment. Synchronous for its caller. Each
// item is judged as CDownloader judges one download: status 200, no encoding, within its
// limit; the batch's time limit counts from the last data received by any item. The items are
// needed in their order: once one fails, those after it are not fetched (or stopped), as they
// can no longer be used.
class CDownloadBatch : public QObject
{
    Q_OBJECT

public:
    CDownloadBatch(QNetworkAccessManager *manager, const DownloadOptions &options,
                   QVector<DownloadItem> &items);
    ~CDownloadBatch() override;

    // Fetches every item; false when the user cancelled (the items that had not arrived then
    // fail with the reason).
    bool run();

private:
    void startNext();
    void onMetaData(QNetworkReply *reply);
    void onReadyRead(QNetworkReply *reply);
    void onFinished(QNetworkReply *reply);
    bool take(QNetworkReply *reply, int index);
    void fail(QNetworkReply *reply, int index, const QString &reason);
    void retire(QNetworkReply *reply);
    void showProgress();
    void endUnfinished(const QString &reason);
    void dropItemsAfter(int index, const QString &reason);

    QNetworkAccessManager *manager;
    DownloadOptions options;
    QVector<DownloadItem> &items;
    QHash<QNetworkReply *, int> inFlight;
    // The open files of the items in flight, so that only a few descriptors are open at once.
    QHash<int, QSharedPointer<QTemporaryFile>> sinks;
    QPointer<CProgressThreadInfo> progressInfo;
    int next = 0;
    int done = 0;
    int lastPercent = -1;
};
