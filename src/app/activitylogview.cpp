#include "app/activitylogview.h"

#include <QBrush>
#include <QFont>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace {

QTextCharFormat lineFormat(bool error, bool title)
{
    QTextCharFormat format;
    if (error)
        format.setForeground(QBrush(Qt::red));
    if (title)
        format.setFontWeight(QFont::Bold);
    return format;
}

} // namespace

void writeActivityLog(QTextDocument *document, const ActivityLog &log)
{
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (int i = 0; i < log.size(); ++i) {
        const LogLine &line = log.at(i);
        if (i > 0)
            cursor.insertBlock();
        cursor.insertText(line.title, lineFormat(line.error, true));
        const QTextCharFormat detailFormat = lineFormat(line.error, false);
        for (const QString &detail : {line.detail1, line.detail2}) {
            if (!detail.isEmpty())
                cursor.insertText(QLatin1Char(' ') + detail, detailFormat);
        }
    }
    cursor.endEditBlock();
}

void showActivityLog(QTextEdit *view, const ActivityLog &log)
{
    // Owned by the view, which deletes the document it showed before.
    auto *document = new QTextDocument(view);
    document->setDefaultFont(view->font());
    // The log is replaced whole, never edited by the user: nothing to undo.
    document->setUndoRedoEnabled(false);
    writeActivityLog(document, log);
    view->setDocument(document);
}
