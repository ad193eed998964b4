#include "app/activitylogtext.h"

QString activityLogText(const ActivityLog &log)
{
    QString text;
    for (const LogLine &line : log) {
        if (!text.isEmpty())
            text += QLatin1String("<br>");
        if (line.error)
            text += QLatin1String("<font color=\"red\">");
        text += QLatin1String("<strong>") + line.title.toHtmlEscaped() + QLatin1String("</strong>");
        for (const QString &detail : {line.detail1, line.detail2}) {
            if (!detail.isEmpty())
                text += QLatin1Char(' ') + detail.toHtmlEscaped();
        }
        if (line.error)
            text += QLatin1String("</font>");
    }
    return text;
}
