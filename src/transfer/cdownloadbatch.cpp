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
// Items may end out of order; those waiting for an earlier one are held, so only this many
// are started ahead of the first one not yet handed on.
constexpr int maxAhead = 64;
// A body up to this size stays in memory; a larger one goes to a file.
constexpr qint64 memoryLimit = 1 << 20;

} // namespace

CDownloadBatch::CDownloadBatch(QNetworkAccessManager *manager, const DownloadOptions &options,
                               QVector<DownloadItem> &items, std::function<bool(int)> arrived)
    : manager(manager)
    , options(options)
    , items(items)
    , arrived(std::move(arrived))
    , ended(items.size(), false)
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
    CProgressThreadInfo *info = CDownloader::progressRecord(options);
    progressInfo = info;
    startNext();

    QWidget *parent = options.owner ? options.owner : QApplication::desktop();
    const bool cancelled = !runProgressDialog(parent, info, CDownloader::dialogFlags());
    // Whatever has not arrived fails with the reason the run ended.
    dropItemsAfter(
        0, cancelled ? CDownloader::cancelledText() : CDownloader::silenceText(options.timeoutMs));
    deliver();
    return !cancelled;
}

void CDownloadBatch::startNext()
{
    while (inFlight.size() < maxInFlight && next < items.size() && next - front < maxAhead) {
        const int index = next++;
        items[index].ok = false;
        DownloadOptions request = options;
        request.url = items.at(index).url;
        QNetworkReply *reply = manager->get(CDownloader::makeRequest(request));
        // Without a limit the network thread reads on whatever the disk takes: a large file
        // piles up in memory.
        reply->setReadBufferSize(memoryLimit);
        inFlight.insert(reply, index);
        sinks.insert(index, Sink());
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

// Keeps what has arrived; false when the item failed on the way.
bool CDownloadBatch::take(QNetworkReply *reply, int index)
{
    Sink &sink = sinks[index];
    QString reason;
    if (!write(sink, reply->readAll(), &reason)) {
        items[index].stagingFailed = true;
        fail(reply, index, reason);
        return false;
    }
    const qint64 size = sink.file ? sink.file->size() : sink.memory.size();
    const qint64 maxBytes = items.at(index).maxBytes;
    if (maxBytes > 0 && size > maxBytes) {
        fail(reply, index, CDownloader::sizeRefusal(maxBytes));
        return false;
    }
    if (progressInfo)
        progressInfo->noteActivity();
    return true;
}

bool CDownloadBatch::write(Sink &sink, const QByteArray &bytes, QString *reason)
{
    if (!sink.file && sink.memory.size() + bytes.size() <= memoryLimit) {
        sink.memory += bytes;
        return true;
    }
    if (!sink.file) {
        sink.file = PayloadStore::create();
        if (!sink.file->isOpen()) {
            *reason = sink.file->errorString();
            return false;
        }
        const QByteArray held = sink.memory;
        sink.memory.clear();
        if (!writeAll(*sink.file, held, reason))
            return false;
    }
    return writeAll(*sink.file, bytes, reason);
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
    Sink sink = sinks.take(index);
    item.ok = true;
    item.data = sink.memory;
    if (sink.file) {
        // The file stays, its descriptor goes: thousands of bodies must not hold thousands open.
        sink.file->setAutoRemove(false);
        item.bodyPath = sink.file->fileName();
    }
    end(reply, index);
}

void CDownloadBatch::end(QNetworkReply *reply, int index)
{
    inFlight.remove(reply);
    retire(reply);
    ended[index] = true;
    ++done;
    deliver();
    startNext();
}

void CDownloadBatch::fail(QNetworkReply *reply, int index, const QString &reason)
{
    endItem(reply, index, reason);
    dropItemsAfter(index, reason);
    deliver();
    startNext();
}

// Ends an item in flight, or one not started (reply null), as failed.
void CDownloadBatch::endItem(QNetworkReply *reply, int index, const QString &reason)
{
    items[index].ok = false;
    items[index].errorText = reason;
    sinks.remove(index);
    if (reply) {
        // Out of the set first: aborting emits finished at once.
        inFlight.remove(reply);
        retire(reply);
    }
    ended[index] = true;
    ++done;
}

void CDownloadBatch::dropItemsAfter(int index, const QString &reason)
{
    for (QNetworkReply *reply : inFlight.keys()) {
        if (inFlight.value(reply) >= index)
            endItem(reply, inFlight.value(reply), reason);
    }
    for (; next < items.size(); ++next)
        endItem(nullptr, next, reason);
}

// Hands on every item whose predecessors have all ended, in order.
void CDownloadBatch::deliver()
{
    while (front < items.size() && ended.at(front)) {
        const int index = front++;
        if (!stopped && arrived && !arrived(index)) {
            stopped = true;
            dropItemsAfter(front, items.at(index).errorText);
        }
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
