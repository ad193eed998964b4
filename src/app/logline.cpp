#include "logline.h"

void appendLogLine(QString &log, const QString &title, bool error, const QString &detail1,
                   const QString &detail2)
{
    if (!log.isEmpty())
        log += QLatin1String("<br>");
    if (error)
        log += QLatin1String("<font color=\"red\">");
    // File names and server texts are text, not markup: "<" or "&" in them must show as such.
    log += QLatin1String("<strong>") + title.toHtmlEscaped() + QLatin1String("</strong>");
    for (const QString &detail : {detail1, detail2}) {
        if (!detail.isEmpty())
            log += QLatin1Char(' ') + detail.toHtmlEscaped();
    }
    if (error)
        log += QLatin1String("</font>");
}
