#include "transfer/cprogressthreadinfo.h"

#include <QMutexLocker>

CProgressThreadInfo::CProgressThreadInfo()
    : title(tr("Fortschritt..."))
    , cancelText(tr("Abbrechen"))
{
}

void CProgressThreadInfo::wakeUp()
{
    QMutexLocker locker(&mutex);
    wakeRequested = true;
    wake.wakeAll();
}

void CProgressThreadInfo::noteActivity()
{
    QMutexLocker locker(&mutex);
    clock.restart();
}
