#pragma once

#include "transfer/httpresponseparser.h"

#include <QAbstractSocket>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QTcpSocket;

// One kept-alive HTTP/1.1 connection to one server, carrying one GET at a time, for the many
// files of a batch. The toolkit's network manager reads every reply's header one byte per system
// call over plain HTTP and closes and reopens its connections by itself: with two thousand files
// that was most of a download's time and dozens of connections. This one reads through a
// buffered socket and keeps its connection for as long as the server does. A request whose
// kept-alive connection the server had closed before answering is sent once more on a new one.
class CHttpChannel : public QObject
{
    Q_OBJECT

public:
    explicit CHttpChannel(const QUrl &server, QObject *parent = nullptr);
    ~CHttpChannel() override;

    // "scheme://host:port": requests with the same origin can share a channel.
    static QString originOf(const QUrl &url);
    QString origin() const { return originOf(server); }
    bool isIdle() const { return !busy; }

    // Sends a GET for the URL, of this channel's origin, with further header lines (each
    // ending in CR LF). The channel must be idle.
    void get(const QUrl &url, const QByteArray &headerLines);
    // Drops the request in progress with the connection.
    void abort();

signals:
    void header(const HttpResponseParser::Header &header);
    void data(const QByteArray &bytes);
    void finished();
    void failed(const QString &error);

private:
    void connectToServer();
    void send();
    void onReadyRead();
    void onDisconnected();
    void onError(QAbstractSocket::SocketError error);
    void process();
    void complete();
    void failRequest(const QString &error);
    bool sendAgain();
    void dropSocket();
    QString errorText(QAbstractSocket::SocketError error) const;

    QUrl server;
    QPointer<QTcpSocket> socket;
    HttpResponseParser parser;
    QByteArray request;
    bool busy = false;
    bool reused = false; // the request went out on a connection that carried one before
    bool sentAgain = false;
    quint64 serial = 0; // changes with every request and abort
};
