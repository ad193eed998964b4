#include "scripteddialogs.h"

#include <QUrl>

void ScriptedDialogs::information(QWidget *parent, const QString &title, const QString &text)
{
    shown.append(
        {QStringLiteral("information"), title, text, QStringLiteral("Ok"), parent != nullptr});
}

bool ScriptedDialogs::question(QWidget *parent, const QString &title, const QString &text)
{
    shown.append(
        {QStringLiteral("question"), title, text, QStringLiteral("Yes|No"), parent != nullptr});
    if (answers.isEmpty()) {
        ++unscripted;
        return false;
    }
    return answers.dequeue();
}

QString ScriptedDialogs::openFileName(QWidget *parent, const QString &caption,
                                      const QString &filter)
{
    shown.append({QStringLiteral("openFile"), caption, filter, QString(), parent != nullptr});
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

void ScriptedDialogs::openUrl(const QUrl &url)
{
    shown.append({QStringLiteral("openUrl"), url.toString(), QString(), QString(), false});
}

QStringList ScriptedDialogs::titles() const
{
    QStringList result;
    for (const Shown &s : shown)
        result.append(s.title);
    return result;
}

QStringList ScriptedDialogs::texts() const
{
    QStringList result;
    for (const Shown &s : shown)
        result.append(s.text);
    return result;
}
