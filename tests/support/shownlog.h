#pragma once

#include "app/activitylogview.h"

#include <QTextDocument>

// The activity log as the window shows it, as plain text: a line per log line.
inline QString shownLog(const ActivityLog &log)
{
    QTextDocument document;
    writeActivityLog(&document, log);
    return document.toPlainText();
}
