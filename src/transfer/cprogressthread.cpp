#include "transfer/cprogressthread.h"
#include "transfer/cprogressthreadinfo.h"

#include <utility>

CProgressThread::CProgressThread(CProgressThreadInfo *info, QObject *parent)
    : QThread(parent)
    , info(info)
{
}

void CProgressThread::run()
{
    int step = 1;
    info->mutex.lock();
    for (;;) {
        if (info->stopRequested)
            break;
        if (info->timeoutMs > 0 && info->clock.elapsed() >= info->timeoutMs) {
            info->stopRequested = true;
            break;
        }
        info->stopRequested = false;
        if (info->wakeRequested || info->wake.wait(&info->mutex, ulong(qMax(0, info->tickMs))))
            break;
        const bool autoStep = info->autoStep;
        const QVariant value = std::exchange(info->pendingValue, QVariant());
        const QVariant text = std::exchange(info->pendingText, QVariant());
        info->mutex.unlock();

        if (autoStep) {
            emit valueChanged(step);
            step = step >= 100 ? 1 : step + 1;
        }
        if (value.isValid())
            emit valueChanged(value.toInt());
        if (text.isValid())
            emit labelChanged(text.toString());
        info->mutex.lock();
    }
    info->mutex.unlock();
}
