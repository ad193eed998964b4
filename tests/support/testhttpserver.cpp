#include "testhttpserver.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

TestHttpServer::TestHttpServer(const QSslCertificate &certificate, const QSslKey &key)
    : certificate(certificate)
    , key(key)
{
}

bool TestHttpServer::start()
{
    return listen(QHostAddress::LocalHost, 0);
}

QString TestHttpServer::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2/")
        .arg(certificate.isNull() ? QStringLiteral("http") : QStringLiteral("https"))
        .arg(serverPort());
}

void TestHttpServer::setResponse(const QByteArray &path, const Response &response)
{
    responses.insert(path, response);
}

void TestHttpServer::serveDirectory(const QByteArray &urlPrefix, const QString &folder)
{
    directoryPrefix = urlPrefix;
    directory = folder;
}

void TestHttpServer::incomingConnection(qintptr descriptor)
{
    QTcpSocket *socket = nullptr;
    if (certificate.isNull()) {
        socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
    } else {
        auto *ssl = new QSslSocket(this);
        ssl->setSocketDescriptor(descriptor);
        ssl->setLocalCertificate(certificate);
        ssl->setPrivateKey(key);
        ssl->startServerEncryption();
        socket = ssl;
    }
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { handle(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void TestHttpServer::handle(QTcpSocket *socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    const int end = buffer.indexOf("\r\n\r\n");
    if (end < 0 || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    lastHeaders.clear();
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines.at(i).indexOf(':');
        if (colon > 0)
            lastHeaders.insert(lines.at(i).left(colon).trimmed().toLower(),
                               lines.at(i).mid(colon + 1).trimmed());
    }
    const QByteArray path = requestLine.value(1);
    requestedPaths.append(path);
    respond(socket, path);
}

TestHttpServer::Response TestHttpServer::responseFor(const QByteArray &path) const
{
    if (responses.contains(path))
        return responses.value(path);
    Response response;
    if (!directory.isEmpty() && path.startsWith(directoryPrefix)) {
        QFile file(QDir(directory).filePath(
            QString::fromUtf8(QByteArray::fromPercentEncoding(path.mid(directoryPrefix.size())))));
        if (file.open(QIODevice::ReadOnly)) {
            response.body = file.readAll();
            return response;
        }
    }
    response.status = 404;
    response.body = "nicht gefunden";
    response.contentType = "text/plain";
    return response;
}

void TestHttpServer::respond(QTcpSocket *socket, const QByteArray &path)
{
    const Response response = responseFor(path);
    if (response.mode == Response::NeverAnswer)
        return;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
        + reasonPhrase(response.status) + "\r\nContent-Type: " + response.contentType
        + "\r\nConnection: close\r\n" + response.extraHeaders;
    if (response.mode == Response::Normal)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    socket->write(head + "\r\n");

    const int chunks = qMax(1, response.chunks);
    const int piece = (response.body.size() + chunks - 1) / chunks;
    const int sent =
        response.stallAfterChunks >= 0 ? qMin(chunks, response.stallAfterChunks) : chunks;
    for (int i = 0; i < sent; ++i) {
        const QByteArray part = response.body.mid(i * piece, piece);
        const bool last = i == chunks - 1;
        QPointer<QTcpSocket> guarded(socket);
        QTimer::singleShot(i * response.chunkDelayMs, this, [guarded, part, last] {
            if (!guarded)
                return;
            guarded->write(part);
            if (last)
                guarded->disconnectFromHost();
        });
    }
}

TestCertificate TestCertificate::createAndTrust(const QString &folder)
{
    TestCertificate result;
    const QString keyPath = QDir(folder).filePath(QStringLiteral("key.pem"));
    const QString certPath = QDir(folder).filePath(QStringLiteral("cert.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                   QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                   QStringLiteral("-keyout"), keyPath, QStringLiteral("-out"), certPath});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
        result.error = QString::fromLocal8Bit(openssl.readAllStandardError());
        return result;
    }
    QFile certFile(certPath);
    QFile keyFile(keyPath);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("cannot read the generated certificate");
        return result;
    }
    result.certificate = QSslCertificate(&certFile, QSsl::Pem);
    result.key = QSslKey(&keyFile, QSsl::Rsa, QSsl::Pem);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates(configuration.caCertificates() << result.certificate);
    QSslConfiguration::setDefaultConfiguration(configuration);
    return result;
}
