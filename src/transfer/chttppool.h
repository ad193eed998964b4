#pragma once

#include <QList>
#include <QObject>

class CHttpChannel;
class QUrl;

// The kept-alive connections of a run, at most six to one server: the batches of its groups
// take them in turn, so that a release of many files costs a handful of connections.
class CHttpPool : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxPerOrigin = 6;

    explicit CHttpPool(QObject *parent = nullptr);

    // An idle channel to the URL's server, a new one while it has fewer than six, else null.
    CHttpChannel *acquire(const QUrl &url);

private:
    QList<CHttpChannel *> channels;
};
