#pragma once

#include <QString>

// Appends one line to an activity log's rich text: a line break unless the log is empty, for
// an error the red font, the bold title, then each non-empty detail after a blank. Title and
// details are plain text.
void appendLogLine(QString &log, const QString &title, bool error,
                   const QString &detail1 = QString(), const QString &detail2 = QString());
