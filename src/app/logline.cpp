#include "logline.h"

void appendLogLine(QString &log, const QString &title, bool error, const QString &detail1,
                   const QString &detail2)
{
    if (!log.isEmpty())
        log += QLatin1String("<br>");
    if (error)
        log += QLatin1String("<font color=\"red\">");
    log += QLatin1String("<strong>") + title + QLatin1String("</strong>");
    for (const QString &detail : {detail1, detail2}) {
        if (!detail.isEmpty())
            log += QLatin1Char(' ') + detail;
    }
    if (error)
        log += QLatin1String("</font>");
}
