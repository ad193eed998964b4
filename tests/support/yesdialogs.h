#pragma once

#include "scripteddialogs.h"

#include <QTextStream>

// Answers every question with Yes and prints each box as "title|text" (line breaks as "\n"),
// for the programs that drive the updater without a user.
class YesDialogs : public ScriptedDialogs
{
public:
    void information(QWidget *parent, const QString &title, const QString &text) override
    {
        print(title, text);
        ScriptedDialogs::information(parent, title, text);
    }
    bool question(QWidget *parent, const QString &title, const QString &text) override
    {
        print(title, text);
        ScriptedDialogs::question(parent, title, text);
        return true;
    }

private:
    static void print(const QString &title, const QString &text)
    {
        QTextStream out(stdout);
        out << title << '|' << QString(text).replace(QLatin1String("\r\n"), QLatin1String("\\n"))
            << '\n';
        out.flush();
    }
};
