#include "package/datafileclaims.h"

#include <QMutexLocker>

bool DataFileClaims::claim(const QString &hashName)
{
    const QMutexLocker lock(&mutex);
    if (outcomes.contains(hashName))
        return false;
    outcomes.insert(hashName, std::nullopt);
    return true;
}

void DataFileClaims::settle(const QString &hashName, const Outcome &outcome)
{
    const QMutexLocker lock(&mutex);
    outcomes[hashName] = outcome;
    settled.wakeAll();
}

DataFileClaims::Outcome DataFileClaims::await(const QString &hashName)
{
    QMutexLocker lock(&mutex);
    while (!outcomes.value(hashName))
        settled.wait(&mutex);
    return *outcomes.value(hashName);
}
