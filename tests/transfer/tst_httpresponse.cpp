#include "transfer/chttpchannel.h"
#include "transfer/chttppool.h"
#include "transfer/httpresponseparser.h"

#include <QtNetwork>
#include <QtTest>

// The HTTP/1.1 reading of the batches' connections: the parser on raw responses, fed whole
// and a byte at a time, and the channel against a server that keeps connections alive and
// drops them between requests.
class tst_HttpResponse : public QObject
{
    Q_OBJECT

private slots:
    void wellFormed_data();
    void wellFormed();
    void refused_data();
    void refused();
    void keptAliveAndSentAgain_data();
    void keptAliveAndSentAgain();
    void connectionFailingAtOnce_data();
    void connectionFailingAtOnce();
};

namespace {

struct Parsed
{
    HttpResponseParser::Header header;
    QByteArray body;
    bool done = false;
    bool excess = false;
    QString error;
};

// Feeds the response in pieces of `step` bytes (all at once for 0), then its end when `close`.
Parsed parse(const QByteArray &response, int step, bool close)
{
    HttpResponseParser parser;
    Parsed parsed;
    const auto drain = [&] {
        for (;;) {
            switch (parser.next()) {
            case HttpResponseParser::Step::More:
                return true;
            case HttpResponseParser::Step::Header:
                parsed.header = parser.header();
                break;
            case HttpResponseParser::Step::Data:
                parsed.body += parser.data();
                break;
            case HttpResponseParser::Step::Done:
                parsed.done = true;
                return false;
            case HttpResponseParser::Step::Error:
                parsed.error = parser.errorText();
                return false;
            }
        }
    };
    const int size = step > 0 ? step : qMax(1, response.size());
    bool going = true;
    for (int at = 0; at < response.size(); at += size) {
        parser.feed(response.mid(at, size));
        if (going)
            going = drain();
    }
    if (going && close) {
        parser.endOfInput();
        drain();
    }
    parsed.excess = parser.hasExcess();
    return parsed;
}

const QByteArray ok = "HTTP/1.1 200 OK\r\n";

} // namespace

void tst_HttpResponse::wellFormed_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("close"); // the server closes the connection after it
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("keepAlive");
    QTest::addColumn<bool>("excess");
    QTest::newRow("length") << ok + "Content-Length: 5\r\n\r\nHallo" << false << 200
                            << QByteArray("Hallo") << true << false;
    QTest::newRow("chunks with an extension and a trailer")
        << ok + "Transfer-Encoding: chunked\r\n\r\n3;x=y\r\nHal\r\n2\r\nlo\r\n0\r\nX-T: 1\r\n\r\n"
        << false << 200 << QByteArray("Hallo") << true << false;
    QByteArray tinyChunks;
    for (int i = 0; i < 20000; ++i)
        tinyChunks += "1\r\n" + QByteArray(1, char('a' + i % 26)) + "\r\n";
    QByteArray alphabet;
    for (int i = 0; i < 20000; ++i)
        alphabet += char('a' + i % 26);
    QTest::newRow("20,000 chunks of one byte")
        << ok + "Transfer-Encoding: chunked\r\n\r\n" + tinyChunks + "0\r\n\r\n"
        << false << 200 << alphabet << true << false;
    QTest::newRow("chunk sizes in upper case")
        << ok + "Transfer-Encoding: Chunked\r\n\r\nA\r\n0123456789\r\n0\r\n\r\n"
        << false << 200 << QByteArray("0123456789") << true << false;
    QTest::newRow("body up to the end of the connection")
        << ok + "\r\nbis zum Ende" << true << 200 << QByteArray("bis zum Ende") << false << false;
    QTest::newRow("no content") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n") << false << 204
                                << QByteArray() << true << false;
    QTest::newRow("an interim answer first")
        << "HTTP/1.1 100 Continue\r\n\r\n" + ok + "Content-Length: 2\r\n\r\nja" << false << 200
        << QByteArray("ja") << true << false;
    QTest::newRow("HTTP/1.0 closes") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nja")
                                     << false << 200 << QByteArray("ja") << false << false;
    QTest::newRow("HTTP/1.0 kept alive")
        << QByteArray("HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 2\r\n\r\nja")
        << false << 200 << QByteArray("ja") << true << false;
    QTest::newRow("closed by the server") << ok + "Connection: close\r\nContent-Length: 2\r\n\r\nja"
                                          << false << 200 << QByteArray("ja") << false << false;
    QTest::newRow("lines ending in LF alone, an empty line before")
        << QByteArray("\r\nHTTP/1.1 404 Not Found\nContent-Length: 0\n\n") << false << 404
        << QByteArray() << true << false;
    QTest::newRow("the same length twice")
        << ok + "Content-Length: 2\r\nContent-Length: 2\r\n\r\nja" << false << 200
        << QByteArray("ja") << true << false;
    QTest::newRow("bytes after the body") << ok + "Content-Length: 2\r\n\r\njaHTTP/1.1 200 OK\r\n"
                                          << false << 200 << QByteArray("ja") << true << true;
}

void tst_HttpResponse::wellFormed()
{
    QFETCH(QByteArray, response);
    QFETCH(bool, close);
    for (const int step : {0, 1, 7}) {
        const Parsed parsed = parse(response, step, close);
        QVERIFY2(parsed.done,
                 qPrintable(QStringLiteral("step %1: %2").arg(step).arg(parsed.error)));
        QTEST(parsed.header.status, "status");
        QTEST(parsed.body, "body");
        QTEST(parsed.header.keepAlive, "keepAlive");
        QTEST(parsed.excess, "excess");
    }
}

void tst_HttpResponse::refused_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QString>("error");
    const QString corrupted = QStringLiteral("Data corrupted");
    const QString closed = QStringLiteral("Connection closed");
    QTest::newRow("another protocol") << QByteArray("ICY 200 OK\r\n\r\n") << corrupted;
    QTest::newRow("HTTP/2 status line") << QByteArray("HTTP/2 200 OK\r\n\r\n") << corrupted;
    QTest::newRow("status of two digits") << QByteArray("HTTP/1.1 20 OK\r\n\r\n") << corrupted;
    QTest::newRow("field without a colon") << ok + "Content-Length 5\r\n\r\nHallo" << corrupted;
    QTest::newRow("folded field") << ok + "X-A: 1\r\n  2\r\n\r\n" << corrupted;
    QTest::newRow("blank in a field name") << ok + "Content Length: 5\r\n\r\nHallo" << corrupted;
    QTest::newRow("two different lengths")
        << ok + "Content-Length: 5\r\nContent-Length: 6\r\n\r\nHallo!" << corrupted;
    QTest::newRow("length with a sign") << ok + "Content-Length: +5\r\n\r\nHallo" << corrupted;
    QTest::newRow("length with letters") << ok + "Content-Length: 5a\r\n\r\nHallo" << corrupted;
    QTest::newRow("length of 19 digits") << ok + "Content-Length: 1000000000000000000\r\n\r\n"
                                         << corrupted;
    QTest::newRow("another transfer coding")
        << ok + "Transfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n"
        << corrupted;
    QTest::newRow("chunks and a length")
        << ok + "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n0\r\n\r\n"
        << corrupted;
    QTest::newRow("chunk size not hexadecimal") << ok + "Transfer-Encoding: chunked\r\n\r\nzz\r\n"
                                                << corrupted;
    QTest::newRow("chunk size of 16 digits")
        << ok + "Transfer-Encoding: chunked\r\n\r\n1000000000000000\r\n"
        << corrupted;
    QTest::newRow("chunk longer than its size")
        << ok + "Transfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n0\r\n\r\n"
        << corrupted;
    QTest::newRow("header of more than 64 KiB") << ok + "X-A: " + QByteArray(70000, 'a')
            + "\r\n\r\n" << corrupted;
    QTest::newRow("header of many lines beyond 64 KiB")
        << ok + QByteArray("X-A: aaaaaaaaaa\r\n").repeated(5000) + "\r\n"
        << corrupted;
    QTest::newRow("switch of protocols")
        << QByteArray("HTTP/1.1 101 Switching Protocols\r\n\r\n") << corrupted;
    QTest::newRow("cut short in the header") << ok + "Content-Len" << closed;
    QTest::newRow("cut short in the body") << ok + "Content-Length: 9\r\n\r\nHallo" << closed;
    QTest::newRow("cut short in the chunks")
        << ok + "Transfer-Encoding: chunked\r\n\r\n5\r\nHal" << closed;
    QTest::newRow("closed before any answer") << QByteArray() << closed;
}

void tst_HttpResponse::refused()
{
    QFETCH(QByteArray, response);
    for (const int step : {0, 1, 7}) {
        const Parsed parsed = parse(response, step, true);
        QVERIFY2(!parsed.done, qPrintable(QStringLiteral("step %1").arg(step)));
        QTEST(parsed.error, "error");
    }
}

namespace {

// Answers every request on a connection with "ok <n>" and keeps the connection. With
// `answersPerConnection` set, the request after that many on one connection is read and the
// connection closed without an answer, as servers close connections that were idle too long
// just as a request goes out; with -1 no request is answered at all.
class KeepAliveServer : public QTcpServer
{
public:
    int answersPerConnection = 0; // 0: no limit
    int connections = 0;
    int answered = 0;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        ++connections;
        auto received = QSharedPointer<QByteArray>::create();
        auto count = QSharedPointer<int>::create(0);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received, count] {
            *received += socket->readAll();
            for (int end; (end = received->indexOf("\r\n\r\n")) >= 0;) {
                received->remove(0, end + 4);
                if (answersPerConnection != 0 && *count == qMax(0, answersPerConnection)) {
                    socket->disconnectFromHost();
                    return;
                }
                ++*count;
                const QByteArray body = "ok " + QByteArray::number(++answered);
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: "
                              + QByteArray::number(body.size()) + "\r\n\r\n" + body);
            }
        });
    }
};

} // namespace

void tst_HttpResponse::keptAliveAndSentAgain_data()
{
    QTest::addColumn<int>("answersPerConnection");
    QTest::addColumn<int>("connections");
    QTest::addColumn<QString>("error"); // of the first request; the others are then not sent
    QTest::newRow("kept alive") << 0 << 1 << QString();
    // Every third request meets a connection the server has closed: it is sent again once,
    // on a new connection.
    QTest::newRow("closed after every second answer") << 2 << 5 << QString();
    // A new connection closed before its answer is the server's failure, not a race.
    QTest::newRow("closed without any answer") << -1 << 1 << QStringLiteral("Connection closed");
}

// Ten requests one after the other on the pool's channel to one server: each is answered once,
// in order, over as few connections as the server allows.
void tst_HttpResponse::keptAliveAndSentAgain()
{
    QFETCH(int, answersPerConnection);
    QFETCH(QString, error);
    KeepAliveServer server;
    server.answersPerConnection = answersPerConnection;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/x").arg(server.serverPort()));
    CHttpPool pool;
    for (int i = 0; i < 10; ++i) {
        CHttpChannel *channel = pool.acquire(url);
        QVERIFY(channel);
        QByteArray body;
        QString failure;
        bool over = false;
        QObject receiver;
        connect(channel, &CHttpChannel::data, &receiver,
                [&body](const QByteArray &bytes) { body += bytes; });
        connect(channel, &CHttpChannel::finished, &receiver, [&over] { over = true; });
        connect(channel, &CHttpChannel::failed, &receiver, [&](const QString &text) {
            failure = text;
            over = true;
        });
        channel->get(url, QByteArray());
        QTRY_VERIFY(over);
        if (!error.isEmpty()) {
            QCOMPARE(failure, error);
            break;
        }
        QCOMPARE(failure, QString());
        QCOMPARE(body, "ok " + QByteArray::number(i + 1));
    }
    QTEST(server.connections, "connections");
    QCOMPARE(server.answered, error.isEmpty() ? 10 : 0);
}

QTEST_GUILESS_MAIN(tst_HttpResponse)
void tst_HttpResponse::connectionFailingAtOnce_data()
{
    QTest::addColumn<QUrl>("url");
    // The system refuses a connection to these before it starts: the socket reports the error
    // from within the call that connects.
    QTest::newRow("multicast address") << QUrl(QStringLiteral("http://224.0.0.1/x"));
    QTest::newRow("broadcast address, TLS") << QUrl(QStringLiteral("https://255.255.255.255/x"));
}

// The request fails with the system's reason, once, and the channel can be asked again.
void tst_HttpResponse::connectionFailingAtOnce()
{
    QFETCH(QUrl, url);
    CHttpChannel channel(url);
    QStringList errors;
    connect(&channel, &CHttpChannel::failed, this,
            [&errors](const QString &error) { errors.append(error); });
    for (int attempt = 1; attempt <= 2; ++attempt) {
        channel.get(url, QByteArray());
        QTRY_COMPARE(errors.size(), attempt);
        QVERIFY(!errors.last().isEmpty());
        QVERIFY(channel.isIdle());
    }
}

#include "tst_httpresponse.moc"
