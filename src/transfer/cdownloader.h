#pragma once

#include "downloadoptions.h"

#include <QNetworkReply>
#include <QObject>
#include <QPointer>

class CProgressThreadInfo;
class QNetworkAccessManager;
class QNetworkRequest;

// One HTTP(S) GET, synchronous for its caller: download() runs the progress dialog until the
// reply has finished, failed, timed out or been cancelled.
class CDownloader : public QObject
{
    Q_OBJECT

public:
    explicit CDownloader(QObject *parent = nullptr);
    ~CDownloader() override;

    // True exactly when the reply finished without error; the body is then in `data`. The time
    // limit counts from the last data received; when it passes, `errorText` says that the
    // server stopped answering. A download does not clear `data`, `errorText` or `contentType`:
    // after a cancellation they hold what an earlier download left.
    bool download(const DownloadOptions &options);

    // The request that download() sends: TLS settings only for URLs starting with "https://".
    static QNetworkRequest makeRequest(const DownloadOptions &options);

    QByteArray data;
    QString errorText;
    QString contentType;

private slots:
    void replyFinished(QNetworkReply *r);
    void replyDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void replyError(QNetworkReply::NetworkError code);

private:
    void retirePrevious();

    QPointer<QNetworkAccessManager> manager;
    QPointer<CProgressThreadInfo> progressInfo;
    QPointer<QNetworkReply> reply;
    int lastPercent = 0;
    DownloadOptions options;
    bool finished = false;
    bool failed = false;
    bool closed = false;
};
