#pragma once

#include <QProcess>
#include <QSet>
#include <QString>

// Debian's nginx on a free port of 127.0.0.1, serving a folder over HTTPS with a certificate
// made for the test, from a configuration written for it. Stopped by the destructor, whatever
// the test's outcome; `timeout` ends it as well should the test process die first.
class NginxServer
{
public:
    NginxServer(const QString &workDir, const QString &documentRoot, const QString &certificate,
                const QString &key);
    ~NginxServer();

    bool start(QString *error);
    void stop();
    QString updateUrl() const; // https://127.0.0.1:<port>/ldg_update/
    // Requests in the access log whose path ends with `suffix` (status 200 only).
    int requests(const QString &suffix) const;
    QStringList requestedPaths() const;
    // The serial numbers of the TCP connections that served the logged requests.
    QSet<QByteArray> connections() const;

private:
    QString workDir;
    QString documentRoot;
    QString certificate;
    QString key;
    quint16 port = 0;
    QProcess process;
};
