#include "transfer/chttpchannel.h"

#include <QCoreApplication>
#include <QSslConfiguration>
#include <QSslSocket>

namespace {

// The socket buffers at most this much: what the reader has not taken yet stays in the kernel,
// and the server waits.
constexpr qint64 socketBufferSize = 1 << 20;

} // namespace

CHttpChannel::CHttpChannel(const QUrl &server, QObject *parent)
    : QObject(parent)
    , server(server)
{
}

CHttpChannel::~CHttpChannel()
{
    dropSocket();
}

QString CHttpChannel::originOf(const QUrl &url)
{
    const bool tls = url.scheme() == QLatin1String("https");
    return url.scheme() + QLatin1String("://") + url.host(QUrl::FullyEncoded) + QLatin1Char(':')
        + QString::number(url.port(tls ? 443 : 80));
}

void CHttpChannel::get(const QUrl &url, const QByteArray &headerLines)
{
    ++serial;
    busy = true;
    sentAgain = false;
    QByteArray target =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty())
        target = "/";
    request = "GET " + target + " HTTP/1.1\r\nHost: "
        + url.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded).toLatin1() + "\r\n"
        + headerLines + "\r\n";
    send();
}

void CHttpChannel::send()
{
    parser = HttpResponseParser();
    reused = socket && socket->state() == QAbstractSocket::ConnectedState;
    const quint64 current = serial;
    if (!reused)
        connectToServer();
    // A connection that fails at once (no route, no TLS library) has reported it from within
    // connectToServer: the request is over, and a handler may have started the next one.
    if (serial != current || !busy || !socket)
        return;
    // Written before the connection stands, the request waits in the socket until it does.
    socket->write(request);
}

void CHttpChannel::connectToServer()
{
    dropSocket();
    const bool tls = server.scheme() == QLatin1String("https");
    QTcpSocket *created = tls ? new QSslSocket(this) : new QTcpSocket(this);
    socket = created;
    socket->setReadBufferSize(socketBufferSize);
    connect(socket, &QTcpSocket::readyRead, this, &CHttpChannel::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &CHttpChannel::onDisconnected);
    connect(socket, &QTcpSocket::errorOccurred, this, &CHttpChannel::onError);
    const quint16 port = quint16(server.port(tls ? 443 : 80));
    if (auto *secure = qobject_cast<QSslSocket *>(created)) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setProtocol(QSsl::SecureProtocols);
        secure->setSslConfiguration(configuration);
        secure->connectToHostEncrypted(server.host(), port);
    } else {
        socket->connectToHost(server.host(), port);
    }
}

void CHttpChannel::abort()
{
    ++serial;
    busy = false;
    dropSocket();
}

void CHttpChannel::dropSocket()
{
    if (!socket)
        return;
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();
    socket = nullptr;
}

void CHttpChannel::onReadyRead()
{
    if (!busy) {
        // Nothing was asked: whatever arrives makes the connection unfit for the next request.
        dropSocket();
        return;
    }
    parser.feed(socket->readAll());
    process();
}

void CHttpChannel::onDisconnected()
{
    if (!busy) {
        dropSocket();
        return;
    }
    if (socket)
        parser.feed(socket->readAll());
    parser.endOfInput();
    // Closed before any answer, a kept-alive connection was given up by the server just as
    // the request went out: it goes again once, on a new connection.
    if (!parser.started() && sendAgain())
        return;
    process();
}

void CHttpChannel::onError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError || !busy)
        return onDisconnected();
    if (!parser.started() && sendAgain())
        return;
    failRequest(errorText(error));
}

bool CHttpChannel::sendAgain()
{
    if (!reused || sentAgain)
        return false;
    sentAgain = true;
    dropSocket();
    send();
    return true;
}

// Hands on every step of the response that has arrived. A handler may abort the channel or
// start its next request: the serial shows that this request is over.
void CHttpChannel::process()
{
    const quint64 current = serial;
    while (busy && serial == current) {
        switch (parser.next()) {
        case HttpResponseParser::Step::More:
            return;
        case HttpResponseParser::Step::Header:
            emit header(parser.header());
            break;
        case HttpResponseParser::Step::Data:
            emit data(parser.data());
            break;
        case HttpResponseParser::Step::Done:
            complete();
            return;
        case HttpResponseParser::Step::Error:
            failRequest(parser.errorText());
            return;
        }
    }
}

void CHttpChannel::complete()
{
    busy = false;
    if (!parser.header().keepAlive || parser.hasExcess() || !socket
        || socket->state() != QAbstractSocket::ConnectedState)
        dropSocket();
    emit finished();
}

void CHttpChannel::failRequest(const QString &error)
{
    busy = false;
    dropSocket();
    emit failed(error);
}

// The toolkit's own words, as the other downloads report the same failures.
QString CHttpChannel::errorText(QAbstractSocket::SocketError error) const
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QCoreApplication::translate("QHttp", "Connection refused");
    case QAbstractSocket::HostNotFoundError:
        return QCoreApplication::translate("QHttp", "Host %1 not found").arg(server.host());
    case QAbstractSocket::SslHandshakeFailedError:
        return QCoreApplication::translate("QHttp", "SSL handshake failed") + QLatin1String(": ")
            + (socket ? socket->errorString() : QString());
    default:
        return socket ? socket->errorString() : QString();
    }
}
