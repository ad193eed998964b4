#include "package/payloadstore.h"

#include "common/logcategories.h"
#include "package/hashname.h"
#include "platform/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QtConcurrent>

namespace {

const QString storePrefix = QStringLiteral("lg_updater-store-");

// Below this, a second thread costs more than it saves.
constexpr qint64 parallelHashBytes = 4 << 20;

void hashRange(QFileDevice *store, const QVector<StoredPayload> &payloads, int from, int to,
               QString *hashes)
{
    for (int i = from; i < to; ++i) {
        QString hash;
        QString error;
        if (!store->seek(payloads.at(i).offset)
            || !hashNameOfDevice(store, payloads.at(i).size, &hash, &error))
            hash.clear();
        hashes[i] = hash;
    }
}

// The index that splits the payloads into two runs of about the same number of bytes.
int middleByBytes(const QVector<StoredPayload> &payloads, qint64 total)
{
    qint64 bytes = 0;
    int i = 0;
    while (i < payloads.size() && bytes < total / 2)
        bytes += payloads.at(i++).size;
    return i;
}

} // namespace

QSharedPointer<QTemporaryFile> PayloadStore::create()
{
    auto store = QSharedPointer<PayloadStore>::create();
    // A store holds a whole release; one that a killed run leaves must not stay for good, so
    // its name says which process it belongs to.
    store->setFileTemplate(QDir::tempPath() + QLatin1Char('/') + storePrefix
                           + QString::number(QCoreApplication::applicationPid())
                           + QLatin1String("-XXXXXX"));
    store->openStore();
    qCDebug(lcStore) << store->fileName();
    return store;
}

void PayloadStore::removeStale()
{
    const QFileInfoList stores = QDir(QDir::tempPath())
                                     .entryInfoList({storePrefix + QLatin1Char('*')},
                                                    QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &store : stores) {
        bool isNumber = false;
        const quint32 owner = store.fileName()
                                  .mid(storePrefix.size())
                                  .section(QLatin1Char('-'), 0, 0)
                                  .toUInt(&isNumber);
        if (isNumber && !processIsRunning(owner))
            QFile::remove(store.filePath());
    }
}

QVector<QString> hashStoredPayloads(QFileDevice *store, const QVector<StoredPayload> &payloads)
{
    QVector<QString> hashes(payloads.size());
    if (!store)
        return hashes;
    qint64 total = 0;
    for (const StoredPayload &payload : payloads)
        total += payload.size;
    QFile second(store->fileName());
    if (total < parallelHashBytes || !second.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        hashRange(store, payloads, 0, payloads.size(), hashes.data());
        return hashes;
    }
    // Each thread writes only its own elements.
    QString *names = hashes.data();
    const int middle = middleByBytes(payloads, total);
    QFuture<void> first =
        QtConcurrent::run([&] { hashRange(&second, payloads, 0, middle, names); });
    hashRange(store, payloads, middle, payloads.size(), names);
    first.waitForFinished();
    return hashes;
}
