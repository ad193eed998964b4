#pragma once

#include <QString>
#include <QVector>

// One line of the activity log: a title, up to two details shown after it, and whether it
// reports an error (shown in red). Plain text; the window turns the lines into rich text.
struct LogLine
{
    QString title;
    bool error = false;
    QString detail1;
    QString detail2;

    friend bool operator==(const LogLine &a, const LogLine &b)
    {
        return a.title == b.title && a.error == b.error && a.detail1 == b.detail1
            && a.detail2 == b.detail2;
    }
};

using ActivityLog = QVector<LogLine>;

inline void appendLogLine(ActivityLog &log, const QString &title, bool error,
                          const QString &detail1 = QString(), const QString &detail2 = QString())
{
    log.append({title, error, detail1, detail2});
}
