#include "transfer/chttppool.h"

#include "transfer/chttpchannel.h"

CHttpPool::CHttpPool(QObject *parent)
    : QObject(parent)
{
}

CHttpChannel *CHttpPool::acquire(const QUrl &url)
{
    const QString origin = CHttpChannel::originOf(url);
    int open = 0;
    for (CHttpChannel *channel : qAsConst(channels)) {
        if (channel->origin() != origin)
            continue;
        if (channel->isIdle())
            return channel;
        ++open;
    }
    if (open >= maxPerOrigin)
        return nullptr;
    auto *channel = new CHttpChannel(url, this);
    channels.append(channel);
    return channel;
}
