#include "app/mainwindow.h"
#include "scripteddialogs.h"
#include "testhttpserver.h"

#include "common/serverurls.h"
#include "transfer/cdownloadbatch.h"
#include "transfer/cdownloader.h"
#include "transfer/cprogressdlgex.h"
#include "transfer/cprogressthreadinfo.h"

#include <QScopeGuard>
#include <QtTest>
#include <QtWidgets>

#include <sys/resource.h>

// The downloader against real servers on 127.0.0.1, plain HTTP and HTTPS.
class tst_Downloader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bodyAndContentType_data();
    void bodyAndContentType();
    void userAgentAndHeaders_data();
    void userAgentAndHeaders();
    void failures_data();
    void failures();
    void refusedReplies_data();
    void refusedReplies();
    void idleLimit_data();
    void idleLimit();
    void tlsOnlyForLowerCaseHttps_data();
    void tlsOnlyForLowerCaseHttps();
    void progress_data();
    void progress();
    void errorThenFinishedStoresNoBody();
    void twoDownloadsInARow();
    void batch_data();
    void batch();
    void batchOfManyFiles();
    void batchStopsAfterAFailure();
    void batchDialogNamesTheAwaitedFile();
    void preparedServerDownload();
    void passwordsNeverShown();

private:
    DownloadOptions options(TestHttpServer &server, const QByteArray &path, int timeoutMs = 10000);

    QTemporaryDir certificateDir;
    TestCertificate certificate;
    std::unique_ptr<TestHttpServer> http;
    std::unique_ptr<TestHttpServer> https;
};

void tst_Downloader::initTestCase()
{
    QVERIFY2(certificateDir.isValid(), qPrintable(certificateDir.errorString()));
    certificate = TestCertificate::createAndTrust(certificateDir.path());
    QVERIFY2(certificate.error.isEmpty(), qPrintable(certificate.error));
    http = std::make_unique<TestHttpServer>();
    https = std::make_unique<TestHttpServer>(certificate.certificate, certificate.key);
    QVERIFY(http->start());
    QVERIFY(https->start());
    for (TestHttpServer *server : {http.get(), https.get()}) {
        TestHttpServer::Response body;
        body.body = "Inhalt der Datei";
        body.contentType = "text/plain; charset=utf-8";
        server->setResponse("/body", body);
    }
}

DownloadOptions tst_Downloader::options(TestHttpServer &server, const QByteArray &path,
                                        int timeoutMs)
{
    DownloadOptions result(nullptr, server.baseUrl() + QString::fromLatin1(path.mid(1)));
    result.timeoutMs = timeoutMs;
    result.hidden = true;
    return result;
}

void tst_Downloader::bodyAndContentType_data()
{
    QTest::addColumn<bool>("tls");
    QTest::newRow("http") << false;
    QTest::newRow("https") << true;
}

void tst_Downloader::bodyAndContentType()
{
    QFETCH(bool, tls);
    TestHttpServer &server = tls ? *https : *http;
    CDownloader downloader;
    QVERIFY2(downloader.download(options(server, "/body")), qPrintable(downloader.errorText));
    QCOMPARE(downloader.data, QByteArray("Inhalt der Datei"));
    QCOMPARE(downloader.contentType, QStringLiteral("text/plain; charset=utf-8"));
    QCOMPARE(downloader.errorText, QString());
}

namespace {

DownloadItem downloadItem(const QString &url, qint64 maxBytes = 0)
{
    DownloadItem item;
    item.url = url;
    item.maxBytes = maxBytes;
    return item;
}

} // namespace

void tst_Downloader::userAgentAndHeaders_data()
{
    QTest::addColumn<bool>("batch");
    QTest::newRow("single download") << false;
    QTest::newRow("batch") << true;
}

// A caller's header replaces the one of the same name; the encoding stays identity whatever a
// caller asks, since bodies are taken only as they are.
void tst_Downloader::userAgentAndHeaders()
{
    QFETCH(bool, batch);
    DownloadOptions o = options(*http, "/body");
    o.userAgent = QStringLiteral("Ledgora Aktualisierung Version 1.2");
    o.headers.insert("X-Ledgora", "1");
    CDownloader downloader;
    const auto fetch = [&]() {
        if (!batch)
            return downloader.download(o);
        QVector<DownloadItem> items {downloadItem(o.url)};
        return CDownloadBatch(downloader.httpPool(), o, items).run() && items.at(0).ok;
    };
    QVERIFY(fetch());
    QCOMPARE(http->lastHeaders.values("user-agent"),
             QList<QByteArray> {"Ledgora Aktualisierung Version 1.2"});
    QCOMPARE(http->lastHeaders.values("x-ledgora"), QList<QByteArray> {"1"});
    QCOMPARE(http->lastHeaders.values("accept-encoding"), QList<QByteArray> {"identity"});

    o.headers.insert("user-agent", "ersetzt");
    o.headers.insert("Accept-Encoding", "gzip");
    QVERIFY(fetch());
    QCOMPARE(http->lastHeaders.values("user-agent"), QList<QByteArray> {"ersetzt"});
    QCOMPARE(http->lastHeaders.values("accept-encoding"), QList<QByteArray> {"identity"});
}

void tst_Downloader::failures_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("errorPart");
    QTest::newRow("404") << QStringLiteral("missing") << QStringLiteral("Not Found");
    QTest::newRow("refused connection")
        << QStringLiteral("refused") << QStringLiteral("Connection refused");
}

void tst_Downloader::failures()
{
    QFETCH(QString, url);
    QFETCH(QString, errorPart);
    DownloadOptions o = options(*http, "/missing");
    if (url == QLatin1String("refused")) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        o.url = QStringLiteral("http://127.0.0.1:%1/x").arg(port);
    }
    CDownloader downloader;
    QVERIFY(!downloader.download(o));
    QVERIFY2(downloader.errorText.contains(errorPart), qPrintable(downloader.errorText));
    QCOMPARE(downloader.data, QByteArray());
}

void tst_Downloader::refusedReplies_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<bool>("withLength");
    QTest::addColumn<int>("size"); // of the body; the limit is 1000 bytes
    QTest::addColumn<QString>("error"); // empty: received
    QTest::newRow("exactly the limit") << 200 << QByteArray() << true << 1000 << QString();
    QTest::newRow("announced beyond the limit")
        << 200 << QByteArray() << true << 1001
        << QStringLiteral("Die Antwort des Servers ist größer als erwartet (mehr als 1000 Bytes).");
    QTest::newRow("endless, without a length")
        << 200 << QByteArray() << false << 4000000
        << QStringLiteral("Die Antwort des Servers ist größer als erwartet (mehr als 1000 Bytes).");
    QTest::newRow("gzip although identity was asked for")
        << 200 << QByteArray("Content-Encoding: gzip\r\n") << true << 10
        << QStringLiteral("Der Server sendet die Daten kodiert (gzip).");
    QTest::newRow("explicit identity")
        << 200 << QByteArray("Content-Encoding: identity\r\n") << true << 10 << QString();
    QTest::newRow("redirect, not followed")
        << 302 << QByteArray("Location: /umgeleitet\r\n") << true << 10
        << QStringLiteral("Der Server antwortete mit dem Status 302.");
    QTest::newRow("no content") << 204 << QByteArray() << false << 0
                                << QStringLiteral("Der Server antwortete mit dem Status 204.");
}

// Whatever the server sends, what is kept is bounded by what the caller expects, and only a
// plain 200 reply is a file.
void tst_Downloader::refusedReplies()
{
    QFETCH(int, status);
    QFETCH(QByteArray, headers);
    QFETCH(bool, withLength);
    QFETCH(int, size);
    QFETCH(QString, error);
    TestHttpServer::Response response;
    response.status = status;
    response.extraHeaders = headers;
    response.mode =
        withLength ? TestHttpServer::Response::Normal : TestHttpServer::Response::NoLength;
    response.body = QByteArray(size, 'x');
    response.chunks = size > 100000 ? 100 : 1;
    response.chunkDelayMs = 10;
    http->setResponse("/antwort", response);
    DownloadOptions o = options(*http, "/antwort");
    o.maxBytes = 1000;
    CDownloader downloader;
    QCOMPARE(downloader.download(o), error.isEmpty());
    QCOMPARE(downloader.errorText, error);
    if (error.isEmpty())
        QCOMPARE(downloader.data, response.body);
    else
        QVERIFY(downloader.data.isEmpty());
    QCOMPARE(http->count("/umgeleitet"), 0);
}

void tst_Downloader::idleLimit_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("chunks");
    QTest::addColumn<int>("stallAfter");
    QTest::addColumn<bool>("received");
    const int normal = TestHttpServer::Response::Normal;
    QTest::newRow("never answers")
        << int(TestHttpServer::Response::NeverAnswer) << 1 << -1 << false;
    QTest::newRow("stops after the first piece") << normal << 10 << 1 << false;
    QTest::newRow("slow but steady, longer than the limit") << normal << 10 << -1 << true;
}

// The limit of one second counts from the last data: ten pieces 150 ms apart arrive whole,
// a server that falls silent ends the download with a line that says so.
void tst_Downloader::idleLimit()
{
    QFETCH(int, mode);
    QFETCH(int, chunks);
    QFETCH(int, stallAfter);
    QFETCH(bool, received);
    TestHttpServer::Response response;
    response.mode = TestHttpServer::Response::Mode(mode);
    response.body = "0123456789";
    response.chunks = chunks;
    response.chunkDelayMs = 150;
    response.stallAfterChunks = stallAfter;
    http->setResponse("/langsam", response);
    CDownloader downloader;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(downloader.download(options(*http, "/langsam", 1000)), received);
    if (received) {
        QCOMPARE(downloader.data, response.body);
        QVERIFY(timer.elapsed() > 1000);
    } else {
        QVERIFY(timer.elapsed() >= 1000);
        QCOMPARE(downloader.errorText,
                 QStringLiteral("Der Server antwortet nicht mehr: seit 1 Sekunden keine Daten."));
    }
}

void tst_Downloader::tlsOnlyForLowerCaseHttps_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<bool>("configured");
    QTest::newRow("https") << QStringLiteral("https") << true;
    QTest::newRow("HTTPS in capitals") << QStringLiteral("HTTPS") << false;
    QTest::newRow("http") << QStringLiteral("http") << false;
}

void tst_Downloader::tlsOnlyForLowerCaseHttps()
{
    QFETCH(QString, scheme);
    QFETCH(bool, configured);
    // A distinctive default: a request that takes its own configuration has SecureProtocols.
    const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
    QSslConfiguration marked = saved;
    marked.setProtocol(QSsl::TlsV1_2OrLater);
    QSslConfiguration::setDefaultConfiguration(marked);
    DownloadOptions o(nullptr,
                      scheme + QLatin1String("://127.0.0.1:") + QString::number(https->serverPort())
                          + QLatin1String("/body"));
    const QNetworkRequest request = CDownloader::makeRequest(o);
    QCOMPARE(request.sslConfiguration().protocol() == QSsl::SecureProtocols, configured);

    if (scheme != QLatin1String("http")) {
        o.timeoutMs = 10000;
        o.hidden = true;
        CDownloader downloader;
        QVERIFY2(downloader.download(o), qPrintable(downloader.errorText));
        QCOMPARE(downloader.data, QByteArray("Inhalt der Datei"));
    }
    QSslConfiguration::setDefaultConfiguration(saved);
}

void tst_Downloader::progress_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("expectPercent");
    QTest::newRow("known length") << int(TestHttpServer::Response::Normal) << true;
    QTest::newRow("unknown length") << int(TestHttpServer::Response::NoLength) << false;
}

void tst_Downloader::progress()
{
    QFETCH(int, mode);
    QFETCH(bool, expectPercent);
    TestHttpServer::Response slow;
    slow.body = QByteArray(40000, 'x');
    slow.mode = TestHttpServer::Response::Mode(mode);
    slow.chunks = 4;
    slow.chunkDelayMs = 400;
    http->setResponse("/slow", slow);

    // Watch the (hidden) dialog's bar while the body trickles in.
    QList<int> shown;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&shown] {
        auto *dialog = qobject_cast<CProgressDlgEx *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        const int value = dialog->findChild<QProgressBar *>()->value();
        if (shown.isEmpty() || shown.last() != value)
            shown.append(value);
    });
    watch.start(20);
    CDownloader downloader;
    QVERIFY(downloader.download(options(*http, "/slow")));
    watch.stop();
    QCOMPARE(downloader.data.size(), 40000);
    bool sawPercent = false;
    for (int value : shown)
        sawPercent = sawPercent || (value > 1 && value < 100);
    QVERIFY2(sawPercent == expectPercent, qPrintable(QString::number(shown.size())));
}

void tst_Downloader::errorThenFinishedStoresNoBody()
{
    TestHttpServer::Response error;
    error.status = 500;
    error.body = "Fehlerseite";
    http->setResponse("/error", error);
    CDownloader downloader;
    QVERIFY(!downloader.download(options(*http, "/error")));
    QCOMPARE(downloader.data, QByteArray());
    QVERIFY(!downloader.errorText.isEmpty());
}

void tst_Downloader::twoDownloadsInARow()
{
    CDownloader downloader;
    QVERIFY(downloader.download(options(*http, "/body")));
    QVERIFY(!downloader.download(options(*http, "/missing")));
    QCOMPARE(downloader.data, QByteArray("Inhalt der Datei"));
    QCOMPARE(downloader.contentType, QStringLiteral("text/plain; charset=utf-8"));
    QVERIFY(downloader.errorText.contains(QLatin1String("Not Found")));

    TestHttpServer::Response silent;
    silent.mode = TestHttpServer::Response::NeverAnswer;
    http->setResponse("/silent2", silent);
    QVERIFY(!downloader.download(options(*http, "/silent2", 500)));
    QVERIFY2(downloader.errorText.startsWith(QLatin1String("Der Server antwortet nicht mehr")),
             "a time-out says so instead of the earlier error text");
    QVERIFY(downloader.download(options(*http, "/body")));
    QCOMPARE(downloader.errorText, QString()); // a success carries no earlier error
}

namespace {

QByteArray bodyOf(const DownloadItem &item)
{
    if (!item.ok || item.bodyPath.isEmpty())
        return item.data;
    QFile body(item.bodyPath);
    return body.open(QIODevice::ReadOnly) ? body.readAll() : QByteArray();
}

} // namespace

// Three files in one batch; the last one meets each way a reply can fail, and the others
// arrive all the same, each judged on its own.
void tst_Downloader::batch_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("extraHeaders");
    QTest::addColumn<int>("stallAfterChunks"); // -1: the whole body
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<QString>("error"); // of the last item; empty: it arrives
    QTest::addColumn<bool>("announced"); // the body's length is sent ahead
    QTest::newRow("arrives") << 200 << QByteArray() << -1 << qint64(0) << QString() << true;
    QTest::newRow("missing") << 404 << QByteArray() << -1 << qint64(0)
                             << QStringLiteral("Not Found") << true;
    QTest::newRow("larger than its limit")
        << 200 << QByteArray() << -1 << qint64(3)
        << QStringLiteral("Die Antwort des Servers ist größer als erwartet (mehr als 3 Bytes).")
        << true;
    QTest::newRow("encoded") << 200 << QByteArray("Content-Encoding: gzip\r\n") << -1 << qint64(0)
                             << QStringLiteral("Der Server sendet die Daten kodiert (gzip).")
                             << true;
    QTest::newRow("redirected") << 302 << QByteArray("Location: http://127.0.0.1:1/\r\n") << -1
                                << qint64(0)
                                << QStringLiteral("Der Server antwortete mit dem Status 302.")
                                << true;
    QTest::newRow("larger than its limit, length not sent")
        << 200 << QByteArray() << -1 << qint64(3)
        << QStringLiteral("Die Antwort des Servers ist größer als erwartet (mehr als 3 Bytes).")
        << false;
    QTest::newRow("stalls")
        << 200 << QByteArray() << 1 << qint64(0)
        << QStringLiteral("Der Server antwortet nicht mehr: seit 0.5 Sekunden keine Daten.")
        << true;
}

void tst_Downloader::batch()
{
    QFETCH(int, status);
    QFETCH(QByteArray, extraHeaders);
    QFETCH(int, stallAfterChunks);
    QFETCH(qint64, maxBytes);
    QFETCH(QString, error);
    QFETCH(bool, announced);
    const QByteArray prefix = "/batch-" + QByteArray(QTest::currentDataTag()).replace(' ', '-');
    TestHttpServer::Response middle;
    middle.status = status;
    middle.body = "zwei Teile";
    middle.extraHeaders = extraHeaders;
    middle.chunks = 2;
    middle.stallAfterChunks = stallAfterChunks;
    if (!announced)
        middle.mode = TestHttpServer::Response::NoLength;
    if (status != 404)
        http->setResponse(prefix + "/3", middle);
    for (const QByteArray &name : {QByteArray("/1"), QByteArray("/2")}) {
        TestHttpServer::Response fine;
        fine.body = "Datei " + name;
        http->setResponse(prefix + name, fine);
    }
    QVector<DownloadItem> items;
    for (const char *name : {"/1", "/2", "/3"})
        items.append(downloadItem(http->baseUrl() + QString::fromLatin1(prefix.mid(1) + name),
                                  QByteArray(name) == "/3" ? maxBytes : 0));
    CDownloader downloader;
    CDownloadBatch batch(downloader.httpPool(), options(*http, "/", 500), items);
    QVERIFY(batch.run());
    QCOMPARE(bodyOf(items.at(0)), QByteArray("Datei /1"));
    QVERIFY2(items.at(1).ok, qPrintable(items.at(1).errorText));
    QCOMPARE(bodyOf(items.at(1)), QByteArray("Datei /2"));
    QCOMPARE(items.at(2).ok, error.isEmpty());
    if (error.isEmpty())
        QCOMPARE(bodyOf(items.at(2)), QByteArray("zwei Teile"));
    else
        QVERIFY2(items.at(2).errorText.contains(error), qPrintable(items.at(2).errorText));
    QVERIFY(!items.at(2).stagingFailed);
    for (const DownloadItem &item : qAsConst(items))
        QFile::remove(item.bodyPath);
}

// More files than requests in flight, and more than the process may open: each is asked for
// once and arrives whole, with only the files in flight open.
void tst_Downloader::batchOfManyFiles()
{
    rlimit limit;
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit before = limit;
    limit.rlim_cur = 96;
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &limit), 0);
    const auto restore = qScopeGuard([&before] { setrlimit(RLIMIT_NOFILE, &before); });
    QVector<DownloadItem> items;
    for (int i = 0; i < 200; ++i) {
        TestHttpServer::Response response;
        // Every fiftieth is larger than a body kept in memory: it goes to a file.
        response.body = QByteArray("Datei ") + QByteArray::number(i)
            + (i % 50 == 7 ? QByteArray(3 << 20, 'x') : QByteArray());
        response.chunks = 1 + i % 3;
        const QByteArray path = "/viele/" + QByteArray::number(i);
        http->setResponse(path, response);
        items.append(downloadItem(http->baseUrl() + QString::fromLatin1(path.mid(1))));
    }
    CDownloader downloader;
    QVERIFY(CDownloadBatch(downloader.httpPool(), options(*http, "/"), items).run());
    for (int i = 0; i < items.size(); ++i) {
        QVERIFY2(items.at(i).ok, qPrintable(items.at(i).errorText));
        const QByteArray name = QByteArray("Datei ") + QByteArray::number(i);
        const QByteArray body = bodyOf(items.at(i));
        QVERIFY(body.startsWith(name));
        QCOMPARE(body.size(), name.size() + (i % 50 == 7 ? 3 << 20 : 0));
        QCOMPARE(items.at(i).bodyPath.isEmpty(), i % 50 != 7);
        QCOMPARE(http->count("/viele/" + QByteArray::number(i)), 1);
        QFile::remove(items.at(i).bodyPath);
    }
}

// Once a file has failed, the files after it cannot be used: they are not fetched on.
void tst_Downloader::batchStopsAfterAFailure()
{
    QVector<DownloadItem> items;
    for (int i = 0; i < 20; ++i) {
        TestHttpServer::Response slow;
        slow.body = "langsam";
        slow.chunks = 2;
        slow.chunkDelayMs = 300;
        const QByteArray path = "/danach/" + QByteArray::number(i);
        if (i > 0)
            http->setResponse(path, slow);
        items.append(downloadItem(http->baseUrl() + QString::fromLatin1(path.mid(1))));
    }
    CDownloader downloader;
    QVERIFY(CDownloadBatch(downloader.httpPool(), options(*http, "/"), items).run());
    QVERIFY(items.at(0).errorText.contains(QLatin1String("Not Found")));
    for (int i = 1; i < items.size(); ++i) {
        QVERIFY(!items.at(i).ok);
        QVERIFY(items.at(i).bodyPath.isEmpty());
        if (i >= 6)
            QCOMPARE(http->count("/danach/" + QByteArray::number(i)), 0);
    }
}

// The dialog that appears for a slow batch says, as a single download's does, which file it
// waits for: the first one not yet arrived, not the folder of them all.
void tst_Downloader::batchDialogNamesTheAwaitedFile()
{
    QVector<DownloadItem> items;
    for (int i = 0; i < 3; ++i) {
        TestHttpServer::Response response;
        response.body = "Datei";
        if (i == 1) {
            response.chunks = 2;
            response.chunkDelayMs = 1500;
        }
        const QByteArray path = "/warten/" + QByteArray::number(i);
        http->setResponse(path, response);
        items.append(downloadItem(http->baseUrl() + QString::fromLatin1(path.mid(1))));
    }
    DownloadOptions batchOptions = options(*http, "/");
    batchOptions.label = QStringLiteral("Lade Datei...");
    batchOptions.showAfterMs = 200;
    QString title;
    QString text;
    QTimer::singleShot(900, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        QVERIFY(qobject_cast<CProgressDlgEx *>(dialog));
        title = dialog->windowTitle();
        text = dialog->findChild<QLabel *>()->text();
    });
    CDownloader downloader;
    QVERIFY(CDownloadBatch(downloader.httpPool(), batchOptions, items).run());
    QCOMPARE(title, QStringLiteral("Lade Datei..."));
    QCOMPARE(text, items.at(1).url);
    for (const DownloadItem &item : qAsConst(items))
        QVERIFY2(item.ok, qPrintable(item.errorText));
}

void tst_Downloader::preparedServerDownload()
{
    qputenv("LEDGORA_UPDATE_URL", "http://127.0.0.1:1/ldg_update/");
    ScriptedDialogs dialogs;
    MainWindowContext context;
    context.arguments = QStringList {QStringLiteral("lg_updater")};
    context.dialogs = &dialogs;
    MainWindow window(context);
    DownloadOptions o(nullptr, QStringLiteral("x"));
    QString baseUrl;
    window.prepareServerDownload(2027, o, QStringLiteral("Lade Infodatei..."),
                                 QStringLiteral("info.bin"), baseUrl);
    QCOMPARE(baseUrl, QStringLiteral("http://127.0.0.1:1/ldg_update/2027/"));
    QCOMPARE(o.url, QStringLiteral("http://127.0.0.1:1/ldg_update/2027/info.bin"));
    QCOMPARE(o.label, QStringLiteral("Lade Infodatei..."));
    QCOMPARE(o.userAgent, QStringLiteral("Ledgora Aktualisierung Version 1.2"));
    QCOMPARE(o.timeoutMs, 30000);
    QVERIFY(o.hidden);
    QCOMPARE(o.showAfterMs, 1000);
    QCOMPARE(o.owner, static_cast<QWidget *>(&window));
    QCOMPARE(o.centreOn, static_cast<QWidget *>(&window));
    QVERIFY(o.headers.isEmpty());
}

// A URL with user information is shown to nobody with its password: not in the dialog, not in
// the failure of a single download (the toolkit's text quotes the URL) nor of a batch's file.
void tst_Downloader::passwordsNeverShown()
{
    const QString url =
        QString(http->baseUrl() + QLatin1String("fehlt"))
            .replace(QLatin1String("http://"), QLatin1String("http://nutzer:geh%C3%A4im%40x@"));
    QCOMPARE(shownUrl(url),
             QString(url).replace(QLatin1String(":geh%C3%A4im%40x@"), QLatin1String("@")));
    DownloadOptions single = options(*http, "/fehlt");
    single.url = url;
    std::unique_ptr<CProgressThreadInfo> record(CDownloader::progressRecord(single));
    QCOMPARE(record->text, shownUrl(url));
    CDownloader downloader;
    QVERIFY(!downloader.download(single));
    QVector<DownloadItem> items {downloadItem(url, 0)};
    CDownloadBatch batch(downloader.httpPool(), options(*http, "/", 5000), items);
    QVERIFY(batch.run());
    QVERIFY(!items.first().ok);
    for (const QString &text : {downloader.errorText, items.first().errorText}) {
        QVERIFY2(!text.isEmpty() && !text.contains(QLatin1String("geh"))
                     && !text.contains(QStringLiteral("gehäim")),
                 qPrintable(text));
    }
}

QTEST_MAIN(tst_Downloader)
#include "tst_downloader.moc"
