#include "package/payloadstore.h"

#include "common/logcategories.h"
#include "platform/platform.h"

#include <QCoreApplication>
#include <QDir>

namespace {

const QString storePrefix = QStringLiteral("lg_updater-store-");

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
