#pragma once

#include "transfer/downloadoptions.h"

#include <QNetworkReply>
#include <QObject>
#include <QPointer>

#include <optional>

class CHttpPool;
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

    // True exactly when the reply finished with status 200 and no error; the body is then in
    // `data`. A reply that is encoded (gzip and the like) or grows past `maxBytes` is refused
    // as soon as that shows. The time limit counts from the last data received. On false,
    // `errorText` says why: the reply's error, the refusal, the silent server or the
    // cancellation. A download does not clear `data` or `contentType`.
    bool download(const DownloadOptions &options);

    // The request that download() sends: TLS settings only for URLs starting with "https://".
    static QNetworkRequest makeRequest(const DownloadOptions &options);

    // The one network manager of this downloader, made at first use: its downloads share
    // kept-alive connections.
    QNetworkAccessManager *networkManager();
    // The connections of this downloader's batches, made at first use and kept between them.
    CHttpPool *httpPool();

    // The rules by which a reply is refused, shared with CDownloadBatch: an encoded body or an
    // announced length above maxBytes (when the headers arrive), a status other than 200 (when
    // it has finished without error), a body that grew past maxBytes.
    static std::optional<QString> metaDataRefusal(QNetworkReply *reply, qint64 maxBytes);
    static std::optional<QString> metaDataRefusal(const QByteArray &encoding, qint64 length,
                                                  qint64 maxBytes);
    static std::optional<QString> statusRefusal(QNetworkReply *reply);
    static std::optional<QString> statusRefusal(int status);
    // A status of 400 or more, in the toolkit's words, as the network manager reports it.
    static QString errorStatusText(const QUrl &url, const QByteArray &reason);
    static QString sizeRefusal(qint64 maxBytes);
    // Why a run ended early: the user, or a server silent for longer than the limit.
    static QString cancelledText();
    static QString silenceText(int timeoutMs);
    static Qt::WindowFlags dialogFlags();
    // The progress record of a download with these options: cancelable, stepped by the
    // transfer; the dialog that runs it takes it over.
    static CProgressThreadInfo *progressRecord(const DownloadOptions &options);

    QByteArray data;
    QString errorText;
    QString contentType;

private slots:
    void replyFinished(QNetworkReply *r);
    void replyDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void replyError(QNetworkReply::NetworkError code);
    void replyMetaDataChanged();
    void replyReadyRead();

private:
    void retireReply();
    bool refuseAboveLimit(qint64 bytes);
    // Ends the download as failed with the reason as its error text.
    void refuse(const QString &reason);

    QPointer<QNetworkAccessManager> manager;
    QPointer<CHttpPool> pool;
    QPointer<CProgressThreadInfo> progressInfo;
    QPointer<QNetworkReply> reply;
    int lastPercent = 0;
    DownloadOptions options;
    bool finished = false;
    bool failed = false;
    bool closed = false;
    QByteArray received; // the body so far; `data` only takes a finished one
};
