#include "nginxserver.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <unistd.h>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

NginxServer::NginxServer(const QString &workDir, const QString &documentRoot,
                         const QString &certificate, const QString &key)
    : workDir(workDir)
    , documentRoot(documentRoot)
    , certificate(certificate)
    , key(key)
{
}

NginxServer::~NginxServer()
{
    stop();
}

bool NginxServer::start(QString *error)
{
    const QString nginx = QStandardPaths::findExecutable(
        QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
    if (nginx.isEmpty()) {
        *error = QStringLiteral("nginx not found: run scripts/setup (package nginx-light)");
        return false;
    }
    QDir().mkpath(workDir + QLatin1String("/temp"));
    port = freePort();
    // Workers of a root master would run as "nobody" and could not read the test's folders.
    const QString user = geteuid() == 0 ? QStringLiteral("user root;\n") : QString();
    const QString config =
        QStringLiteral(
            "%1worker_processes 1;\nerror_log %2/error.log;\npid %2/nginx.pid;\n"
            "events { worker_connections 64; }\n"
            "http {\n  log_format withconnection '$remote_addr [$connection] \"$request\" "
            "$status $body_bytes_sent';\n"
            "  access_log %2/access.log withconnection;\n"
            "  client_body_temp_path %2/temp; proxy_temp_path %2/temp; fastcgi_temp_path %2/temp;\n"
            "  uwsgi_temp_path %2/temp; scgi_temp_path %2/temp;\n"
            "  default_type application/octet-stream;\n"
            "  server {\n    listen 127.0.0.1:%3 ssl;\n    ssl_certificate %4;\n"
            "    ssl_certificate_key %5;\n    root %6;\n"
            "    location /ldg_update/ { autoindex off; }\n  }\n}\n")
            .arg(user, workDir, QString::number(port), certificate, key, documentRoot);
    QFile file(workDir + QLatin1String("/nginx.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        *error = file.errorString();
        return false;
    }
    file.close();
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("timeout"),
                  {QStringLiteral("900"), nginx, QStringLiteral("-p"), workDir,
                   QStringLiteral("-c"), file.fileName(), QStringLiteral("-g"),
                   QStringLiteral("daemon off;")});
    for (int i = 0; i < 100; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(100))
            return true;
        if (process.state() == QProcess::NotRunning)
            break;
        QThread::msleep(50);
    }
    *error = QString::fromLocal8Bit(process.readAll());
    return false;
}

void NginxServer::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
}

QString NginxServer::updateUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1/ldg_update/").arg(port);
}

QStringList NginxServer::requestedPaths() const
{
    QFile log(workDir + QLatin1String("/access.log"));
    QStringList paths;
    if (!log.open(QIODevice::ReadOnly))
        return paths;
    for (const QByteArray &line : log.readAll().split('\n')) {
        // ... "GET /ldg_update/2026/x.bin HTTP/1.1" 200 ...
        const QList<QByteArray> quoted = line.split('"');
        if (quoted.size() < 3 || !quoted.at(2).trimmed().startsWith("200"))
            continue;
        paths.append(QString::fromUtf8(quoted.at(1).split(' ').value(1)));
    }
    return paths;
}

QSet<QByteArray> NginxServer::connections() const
{
    QFile log(workDir + QLatin1String("/access.log"));
    QSet<QByteArray> serials;
    if (!log.open(QIODevice::ReadOnly))
        return serials;
    for (const QByteArray &line : log.readAll().split('\n')) {
        // 127.0.0.1 [12] "GET /ldg_update/2026/x.bin HTTP/1.1" 200 ...
        const int open = line.indexOf('[');
        const int close = line.indexOf(']', open);
        if (open >= 0 && close > open)
            serials.insert(line.mid(open + 1, close - open - 1));
    }
    return serials;
}

int NginxServer::requests(const QString &suffix) const
{
    int count = 0;
    for (const QString &path : requestedPaths())
        count += path.endsWith(suffix) ? 1 : 0;
    return count;
}
