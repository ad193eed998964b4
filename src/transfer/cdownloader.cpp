#include "transfer/cdownloader.h"

#include "common/serverurls.h"
#include "transfer/chttppool.h"
#include "transfer/cprogressdlgex.h"
#include "transfer/cprogressthreadinfo.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSslConfiguration>

CDownloader::CDownloader(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<QNetworkReply *>();
    qRegisterMetaType<QNetworkReply::NetworkError>();
}

// The manager, and with it any reply, goes as a child; the progress record went with its dialog.
CDownloader::~CDownloader() = default;

QNetworkRequest CDownloader::makeRequest(const DownloadOptions &options)
{
    QNetworkRequest request;
    if (options.url.startsWith(QLatin1String("https://"))) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setProtocol(QSsl::SecureProtocols);
        request.setSslConfiguration(configuration);
    }
    request.setUrl(QUrl(options.url, QUrl::TolerantMode));
    // A redirect is answered as a failure, never followed to wherever it points.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setRawHeader("User-Agent", options.userAgent.toUtf8());
    for (auto it = options.headers.constBegin(); it != options.headers.constEnd(); ++it)
        request.setRawHeader(it.key(), it.value());
    // Without this the toolkit asks for gzip and expands whatever arrives, without a limit;
    // no caller's header changes it.
    request.setRawHeader("Accept-Encoding", "identity");
    return request;
}

QNetworkAccessManager *CDownloader::networkManager()
{
    if (!manager)
        manager = new QNetworkAccessManager(this);
    return manager;
}

CHttpPool *CDownloader::httpPool()
{
    if (!pool)
        pool = new CHttpPool(this);
    return pool;
}

// A reply of an earlier download must not reach this one's slots.
void CDownloader::retireReply()
{
    if (!reply)
        return;
    disconnect(reply, nullptr, this, nullptr);
    // Closing would leave it running until the event loop deletes it, taking whatever the
    // server goes on sending.
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

CProgressThreadInfo *CDownloader::progressRecord(const DownloadOptions &options)
{
    auto *info = new CProgressThreadInfo;
    info->cancelable = true;
    info->autoStep = false;
    info->title = options.label;
    info->text = shownUrl(options.url);
    info->timeoutMs = options.timeoutMs;
    info->centreOn = options.centreOn;
    info->hidden = options.hidden;
    info->showAfterMs = options.showAfterMs;
    return info;
}

Qt::WindowFlags CDownloader::dialogFlags()
{
    return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowMaximizeButtonHint;
}

QString CDownloader::cancelledText()
{
    return tr("Vom Benutzer abgebrochen.");
}

QString CDownloader::silenceText(int timeoutMs)
{
    return tr("Der Server antwortet nicht mehr: seit %1 Sekunden keine Daten.")
        .arg(timeoutMs / 1000.0);
}

QString CDownloader::sizeRefusal(qint64 maxBytes)
{
    return tr("Die Antwort des Servers ist größer als erwartet (mehr als %1 Bytes).").arg(maxBytes);
}

std::optional<QString> CDownloader::metaDataRefusal(QNetworkReply *reply, qint64 maxBytes)
{
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    return metaDataRefusal(reply->rawHeader("Content-Encoding").trimmed().toLower(),
                           length.isValid() ? length.toLongLong() : -1, maxBytes);
}

std::optional<QString> CDownloader::metaDataRefusal(const QByteArray &encoding, qint64 length,
                                                    qint64 maxBytes)
{
    if (!encoding.isEmpty() && encoding != "identity")
        return tr("Der Server sendet die Daten kodiert (%1).").arg(QString::fromLatin1(encoding));
    if (maxBytes > 0 && length > maxBytes)
        return sizeRefusal(maxBytes);
    return std::nullopt;
}

// A redirect or an empty answer is no file: its body must not be taken for one.
std::optional<QString> CDownloader::statusRefusal(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? statusRefusal(status.toInt()) : std::nullopt;
}

std::optional<QString> CDownloader::statusRefusal(int status)
{
    if (status != 200)
        return tr("Der Server antwortete mit dem Status %1.").arg(status);
    return std::nullopt;
}

QString CDownloader::errorStatusText(const QUrl &url, const QByteArray &reason)
{
    return QStringLiteral("Error transferring %1 - server replied: %2")
        .arg(url.toString(QUrl::RemovePassword), QString::fromLatin1(reason));
}

bool CDownloader::download(const DownloadOptions &newOptions)
{
    if (&newOptions != &options)
        options = newOptions;
    retireReply();
    errorText.clear();
    lastPercent = 0;
    finished = false;
    failed = false;
    closed = false;

    const QNetworkRequest request = makeRequest(options);
    CProgressThreadInfo *info = progressRecord(options);
    progressInfo = info;

    reply = networkManager()->get(request);
    received.clear();
    connect(reply, &QNetworkReply::finished, this, [this] {
        if (reply)
            replyFinished(reply);
    });
    connect(reply, &QNetworkReply::downloadProgress, this, &CDownloader::replyDownloadProgress);
    connect(reply, &QNetworkReply::errorOccurred, this, &CDownloader::replyError);
    connect(reply, &QNetworkReply::metaDataChanged, this, &CDownloader::replyMetaDataChanged);
    connect(reply, &QNetworkReply::readyRead, this, &CDownloader::replyReadyRead);

    QWidget *parent = options.owner ? options.owner : QApplication::desktop();
    const bool cancelled = !runProgressDialog(parent, info, dialogFlags());

    closed = true;
    if (cancelled)
        errorText = cancelledText();
    else if (!finished && !failed)
        errorText = silenceText(options.timeoutMs);
    retireReply();
    return finished && !failed;
}

void CDownloader::replyFinished(QNetworkReply *r)
{
    if (closed || failed)
        return;
    if (const auto refusal = statusRefusal(r)) {
        refuse(*refusal);
        return;
    }
    received += r->readAll();
    if (refuseAboveLimit(received.size()))
        return;
    data = received;
    received.clear();
    finished = true;
    contentType = QString::fromUtf8(r->rawHeader("Content-Type"));
    if (progressInfo)
        progressInfo->wakeUp();
}

void CDownloader::replyError(QNetworkReply::NetworkError code)
{
    if (closed || failed || code == QNetworkReply::NoError)
        return;
    failed = true;
    if (reply)
        errorText = withoutPassword(reply->errorString(), options.url);
    if (progressInfo)
        progressInfo->wakeUp();
}

void CDownloader::replyMetaDataChanged()
{
    if (closed || failed || !reply)
        return;
    if (const auto refusal = metaDataRefusal(reply, options.maxBytes))
        refuse(*refusal);
}

// The body is taken as it arrives, so that what the toolkit buffers stays small and the limit
// is met at the first piece beyond it.
void CDownloader::replyReadyRead()
{
    if (closed || failed || !reply)
        return;
    received += reply->readAll();
    refuseAboveLimit(received.size());
}

void CDownloader::replyDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    if (closed || failed || !progressInfo)
        return;
    if (refuseAboveLimit(bytesReceived))
        return;
    progressInfo->noteActivity();
    const int percent = bytesTotal > 0 ? int(bytesReceived * 100 / bytesTotal) : 0;
    if (percent == lastPercent)
        return;
    {
        QMutexLocker locker(&progressInfo->mutex);
        progressInfo->pendingValue = percent;
    }
    lastPercent = percent;
}

// Memory stays bounded by what the caller expects, whatever the server sends or announces.
bool CDownloader::refuseAboveLimit(qint64 bytes)
{
    if (options.maxBytes <= 0 || bytes <= options.maxBytes)
        return false;
    refuse(sizeRefusal(options.maxBytes));
    return true;
}

void CDownloader::refuse(const QString &reason)
{
    failed = true;
    errorText = reason;
    if (reply && reply->isRunning())
        reply->abort();
    if (progressInfo)
        progressInfo->wakeUp();
}
