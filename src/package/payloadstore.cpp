#include "payloadstore.h"

#include <QDebug>

QSharedPointer<QTemporaryFile> PayloadStore::create()
{
    auto store = QSharedPointer<PayloadStore>::create();
    store->openStore();
    qDebug() << store->fileName();
    return store;
}

bool PayloadStore::append(QTemporaryFile &store, const QByteArray &payload, qint64 *offset)
{
    *offset = store.size();
    if (!store.seek(*offset))
        return false;
    return payload.isEmpty() || store.write(payload) == payload.size();
}
