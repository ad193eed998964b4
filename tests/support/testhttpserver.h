#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>

class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for the tests, plain or over TLS, that serves fixed
// answers or a folder and records what it was asked. It runs on the test's main thread: the
// downloader's modal loop serves it.
class TestHttpServer : public QTcpServer
{
    Q_OBJECT

public:
    struct Response
    {
        enum Mode { Normal, NoLength, NeverAnswer };
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/octet-stream";
        Mode mode = Normal;
        int chunks = 1; // the body is sent in this many pieces ...
        int chunkDelayMs = 0; // ... this far apart
        int stallAfterChunks = -1; // when 0 or more: only this many pieces, then silence
        QByteArray extraHeaders; // further header lines, each ending in CR LF
    };

    // With a certificate and key the server speaks TLS.
    explicit TestHttpServer(const QSslCertificate &certificate = QSslCertificate(),
                            const QSslKey &key = QSslKey());

    bool start();
    QString baseUrl() const; // "http://127.0.0.1:<port>/" or "https://…"

    void setResponse(const QByteArray &path, const Response &response);
    // Requests below urlPrefix are answered from the folder; missing files give 404.
    void serveDirectory(const QByteArray &urlPrefix, const QString &folder);

    QList<QByteArray> requestedPaths;
    QMultiMap<QByteArray, QByteArray> lastHeaders; // lower-case names, each line of the request
    int count(const QByteArray &path) const { return requestedPaths.count(path); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void handle(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const QByteArray &path);
    Response responseFor(const QByteArray &path) const;

    QSslCertificate certificate;
    QSslKey key;
    QHash<QByteArray, Response> responses;
    QByteArray directoryPrefix;
    QString directory;
};

// A self-signed certificate for 127.0.0.1 made with the openssl tool, trusted by this test
// process only (added to its default TLS configuration).
struct TestCertificate
{
    QSslCertificate certificate;
    QSslKey key;
    QString error;

    static TestCertificate createAndTrust(const QString &folder);
};
