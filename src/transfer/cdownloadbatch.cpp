#include "transfer/cdownloadbatch.h"

#include "common/serverurls.h"
#include "package/durablefile.h"
#include "package/payloadstore.h"
#include "transfer/cdownloader.h"
#include "transfer/chttpchannel.h"
#include "transfer/chttppool.h"
#include "transfer/cprogressdlgex.h"
#include "transfer/cprogressthreadinfo.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QMutexLocker>

namespace {

// Items may end out of order; those waiting for an earlier one are held, so only this many
// are started ahead of the first one not yet handed on.
constexpr int maxAhead = 64;
// A body up to this size stays in memory; a larger one goes to a file.
constexpr qint64 memoryLimit = 1 << 20;

QByteArray requestHeaderLines(const DownloadOptions &options)
{
    // A caller's header replaces the one of the same name, as on a single download.
    QMap<QByteArray, QByteArray> headers {
        {"user-agent", "User-Agent: " + options.userAgent.toUtf8()}};
    for (auto it = options.headers.constBegin(); it != options.headers.constEnd(); ++it)
        headers.insert(it.key().toLower(), it.key() + ": " + it.value());
    // Without Accept-Encoding a server may compress at will; the body is taken only as it is,
    // whatever a caller asks.
    headers.insert("accept-encoding", "Accept-Encoding: identity");
    QByteArray lines;
    for (const QByteArray &line : qAsConst(headers))
        lines += line + "\r\n";
    return lines;
}

} // namespace

CDownloadBatch::CDownloadBatch(CHttpPool *pool, const DownloadOptions &options,
                               QVector<DownloadItem> &items, std::function<bool(int)> arrived)
    : pool(pool)
    , options(options)
    , headerLines(requestHeaderLines(options))
    , items(items)
    , arrived(std::move(arrived))
    , ended(items.size(), false)
{
}

CDownloadBatch::~CDownloadBatch()
{
    for (CHttpChannel *channel : inFlight.keys()) {
        release(channel);
        channel->abort();
    }
}

bool CDownloadBatch::run()
{
    if (items.isEmpty())
        return true;
    CProgressThreadInfo *info = CDownloader::progressRecord(options);
    // Like a single download's dialog, it names the file: the one the caller waits for.
    info->text = shownUrl(items.first().url);
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
    while (next < items.size() && next - front < maxAhead) {
        const QUrl url(items.at(next).url, QUrl::TolerantMode);
        CHttpChannel *channel = pool->acquire(url);
        if (!channel)
            break;
        const int index = next++;
        items[index].ok = false;
        inFlight.insert(channel, index);
        sinks.insert(index, Sink());
        connect(channel, &CHttpChannel::header, this,
                [this, channel](const HttpResponseParser::Header &header) {
                    onHeader(channel, header);
                });
        connect(channel, &CHttpChannel::data, this,
                [this, channel](const QByteArray &bytes) { onData(channel, bytes); });
        connect(channel, &CHttpChannel::finished, this, [this, channel] { onFinished(channel); });
        connect(channel, &CHttpChannel::failed, this, [this, channel](const QString &error) {
            const int index = inFlight.value(channel, -1);
            if (index >= 0)
                fail(channel, index, error);
        });
        channel->get(url, headerLines);
    }
    showProgress();
    if (done == items.size() && progressInfo)
        progressInfo->wakeUp();
}

void CDownloadBatch::onHeader(CHttpChannel *channel, const HttpResponseParser::Header &header)
{
    const int index = inFlight.value(channel, -1);
    if (index < 0)
        return;
    const DownloadItem &item = items.at(index);
    if (const auto refusal =
            CDownloader::metaDataRefusal(header.encoding, header.length, item.maxBytes))
        fail(channel, index, *refusal);
    else if (header.status >= 400)
        fail(channel, index, CDownloader::errorStatusText(QUrl(item.url), header.reason));
    else if (const auto status = CDownloader::statusRefusal(header.status))
        fail(channel, index, *status);
}

// Keeps what has arrived.
void CDownloadBatch::onData(CHttpChannel *channel, const QByteArray &bytes)
{
    const int index = inFlight.value(channel, -1);
    if (index < 0)
        return;
    Sink &sink = sinks[index];
    QString reason;
    if (!write(sink, bytes, &reason)) {
        items[index].stagingFailed = true;
        fail(channel, index, reason);
        return;
    }
    const qint64 size = sink.file ? sink.file->size() : sink.memory.size();
    const qint64 maxBytes = items.at(index).maxBytes;
    if (maxBytes > 0 && size > maxBytes) {
        fail(channel, index, CDownloader::sizeRefusal(maxBytes));
        return;
    }
    if (progressInfo)
        progressInfo->noteActivity();
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

void CDownloadBatch::onFinished(CHttpChannel *channel)
{
    const int index = inFlight.value(channel, -1);
    if (index < 0)
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
    end(channel, index);
}

void CDownloadBatch::end(CHttpChannel *channel, int index)
{
    release(channel);
    ended[index] = true;
    ++done;
    deliver();
    startNext();
}

void CDownloadBatch::fail(CHttpChannel *channel, int index, const QString &reason)
{
    endItem(channel, index, reason);
    dropItemsAfter(index, reason);
    deliver();
    startNext();
}

// Ends an item in flight, or one not started (channel null), as failed.
void CDownloadBatch::endItem(CHttpChannel *channel, int index, const QString &reason)
{
    items[index].ok = false;
    items[index].errorText = withoutPassword(reason, items.at(index).url);
    sinks.remove(index);
    if (channel) {
        // What is left of its answer cannot be told from the next one: the connection goes.
        release(channel);
        channel->abort();
    }
    ended[index] = true;
    ++done;
}

void CDownloadBatch::dropItemsAfter(int index, const QString &reason)
{
    for (CHttpChannel *channel : inFlight.keys()) {
        if (inFlight.value(channel) >= index)
            endItem(channel, inFlight.value(channel), reason);
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

// The channel goes back to the pool, its signals no longer this batch's.
void CDownloadBatch::release(CHttpChannel *channel)
{
    inFlight.remove(channel);
    disconnect(channel, nullptr, this, nullptr);
}

void CDownloadBatch::showProgress()

{
    if (!progressInfo)
        return;
    const int percent = int(qint64(done) * 100 / qMax(1, items.size()));
    const int awaited = qMin(front, items.size() - 1);
    if (percent == lastPercent && awaited == namedItem)
        return;
    QMutexLocker locker(&progressInfo->mutex);
    if (percent != lastPercent)
        progressInfo->pendingValue = percent;
    if (awaited != namedItem)
        progressInfo->pendingText = shownUrl(items.at(awaited).url);
    lastPercent = percent;
    namedItem = awaited;
}
