#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

class QWidget;

// How one download runs: where from, with which headers, and how its progress dialog looks.
struct DownloadOptions
{
    explicit DownloadOptions(QWidget *owner = nullptr, const QString &url = QString(),
                             const QString &label = QStringLiteral("Downloading..."),
                             const QString &userAgent = QStringLiteral("brelvin-Agent"),
                             int timeoutMs = 60000,
                             const QMap<QByteArray, QByteArray> &headers = {})
        : owner(owner)
        , url(url)
        , label(label)
        , userAgent(userAgent)
        , timeoutMs(timeoutMs)
        , headers(headers)
    {
    }

    QWidget *owner = nullptr; // parent of the progress dialog; null: the desktop
    QString url;
    QString label; // the progress dialog's title
    QString userAgent;
    qint32 timeoutMs = 60000; // 0 or less: no limit
    QMap<QByteArray, QByteArray> headers;
    QWidget *centreOn = nullptr;
    bool hidden = false;
    // With `hidden`: the dialog appears, with its cancel button, once the download has taken
    // this long; 0 or less: it stays hidden.
    qint32 showAfterMs = 0;
    // The reply is refused as soon as its body passes this many bytes; 0 or less: no limit.
    qint64 maxBytes = 0;
};
