#include "transfer/cdownloadbatch.h"

#include "package/durablefile.h"
#include "package/payloadstore.h"
#include "transfer/cdownloader.h"
#include "transfer/cprogressdlgex.h"
#include "transfer/cprogressthreadinfo.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QMutexLocker>
#include <QNetworkAccessManager>

namespace {

// The toolkit opens up to six connections to one host; more requests would only queue there.
constexpr int maxInFlight = 6;

} // namespace

CDownloadBatch::CDownloadBatch(QNetworkAccessManager *manager, const DownloadOptions &options,
                               QVector<DownloadItem> &items)
    : manager(manager)
    , options(options)
    , items(items)
{
}

CDownloadBatch::~CDownloadBatch()
{
    for (QNetworkReply *reply : inFlight.keys())
        retire(reply);
}

bool CDownloadBatch::run()
{
    if (items.isEmpty())
        return true;
    auto *info = new CProgressThreadInfo;
    progressInfo = info;
    info->cancelable = true;
    info->autoStep = false;
    info->title = options.label;
    info->text = options.url;
    info->timeoutMs = options.timeoutMs;
    info->centreOn = options.centreOn;
    info->hidden = options.hidden;
    info->showAfterMs = options.showAfterMs;
    startNext();

    QWidget *parent = options.owner ? options.owner : QApplication::desktop();
    const bool cancelled = !runProgressDialog(parent, info, CDownloader::dialogFlags());
    if (cancelled)
        endUnfinished(CDownloader::cancelledText());
    else
        endUnfinished(CDownloader::silenceText(options.timeoutMs));
    return !cancelled;
}

void CDownloadBatch::startNext()
{
    while (inFlight.size() < maxInFlight && next < items.size()) {
        const int index = next++;
        DownloadItem &item = items[index];
        item.ok = false;
        const QSharedPointer<QTemporaryFile> sink = PayloadStore::create();
        if (!sink->isOpen()) {
            item.errorText = sink->errorString();
            item.stagingFailed = true;
            ++done;
            dropItemsAfter(index, item.errorText);
            continue;
        }
        sinks.insert(index, sink);
        DownloadOptions request = options;
        request.url = item.url;
        QNetworkReply *reply = manager->get(CDownloader::makeRequest(request));
        inFlight.insert(reply, index);
        connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] { onMetaData(reply); });
        connect(reply, &QNetworkReply::readyRead, this, [this, reply] { onReadyRead(reply); });
        connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
    }
    showProgress();
    if (done == items.size() && progressInfo)
        progressInfo->wakeUp();
}

void CDownloadBatch::onMetaData(QNetworkReply *reply)
{
    const int index = inFlight.value(reply, -1);
    if (index < 0)
        return;
    if (const auto refusal = CDownloader::metaDataRefusal(reply, items.at(index).maxBytes))
        fail(reply, index, *refusal);
}

void CDownloadBatch::onReadyRead(QNetworkReply *reply)
{
    const int index = inFlight.value(reply, -1);
    if (index >= 0)
        take(reply, index);
}

// Writes what has arrived to the item's file; false when the item failed on the way.
bool CDownloadBatch::take(QNetworkReply *reply, int index)
{
    DownloadItem &item = items[index];
    QTemporaryFile &sink = *sinks.value(index);
    QString reason;
    if (!writeAll(sink, reply->readAll(), &reason)) {
        item.stagingFailed = true;
        fail(reply, index, reason);
        return false;
    }
    if (item.maxBytes > 0 && sink.size() > item.maxBytes) {
        fail(reply, index, CDownloader::sizeRefusal(item.maxBytes));
        return false;
    }
    if (progressInfo)
        progressInfo->noteActivity();
    return true;
}

void CDownloadBatch::onFinished(QNetworkReply *reply)
{
    const int index = inFlight.value(reply, -1);
    if (index < 0)
        return;
    if (reply->error() != QNetworkReply::NoError) {
        fail(reply, index, reply->errorString());
        return;
    }
    if (const auto refusal = CDownloader::statusRefusal(reply)) {
        fail(reply, index, *refusal);
        return;
    }
    if (!take(reply, index))
        return;
    DownloadItem &item = items[index];
    item.ok = true;
    // The file stays, its descriptor goes: a batch of thousands must not hold thousands open.
    const QSharedPointer<QTemporaryFile> sink = sinks.take(index);
    sink->setAutoRemove(false);
    item.bodyPath = sink->fileName();
    inFlight.remove(reply);
    retire(reply);
    ++done;
    startNext();
}

void CDownloadBatch::fail(QNetworkReply *reply, int index, const QString &reason)
{
    DownloadItem &item = items[index];
    item.ok = false;
    item.errorText = reason;
    sinks.remove(index);
    // Out of the set first: aborting emits finished at once.
    inFlight.remove(reply);
    retire(reply);
    ++done;
    dropItemsAfter(index, reason);
    startNext();
}

void CDownloadBatch::dropItemsAfter(int index, const QString &reason)
{
    for (QNetworkReply *reply : inFlight.keys()) {
        const int later = inFlight.value(reply);
        if (later < index)
            continue;
        items[later].ok = false;
        items[later].errorText = reason;
        sinks.remove(later);
        inFlight.remove(reply);
        retire(reply);
        ++done;
    }
    for (; next < items.size(); ++next) {
        items[next].ok = false;
        items[next].errorText = reason;
        ++done;
    }
}

void CDownloadBatch::retire(QNetworkReply *reply)
{
    disconnect(reply, nullptr, this, nullptr);
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

void CDownloadBatch::showProgress()
{
    if (!progressInfo)
        return;
    const int percent = int(qint64(done) * 100 / qMax(1, items.size()));
    if (percent == lastPercent)
        return;
    QMutexLocker locker(&progressInfo->mutex);
    progressInfo->pendingValue = percent;
    lastPercent = percent;
}

// After the dialog: whatever has not arrived fails with the reason the run ended.
void CDownloadBatch::endUnfinished(const QString &reason)
{
    for (QNetworkReply *reply : inFlight.keys()) {
        DownloadItem &item = items[inFlight.value(reply)];
        item.ok = false;
        item.errorText = reason;
        retire(reply);
    }
    inFlight.clear();
    sinks.clear();
    for (; next < items.size(); ++next) {
        items[next].ok = false;
        items[next].errorText = reason;
    }
}
