#pragma once

#include "common/userdialogs.h"

#include <QList>
#include <QQueue>
#include <QString>

// Records every dialog the code under test shows and answers from a script. Questions that
// the script does not cover are answered No and counted, so that a test sees them.
class ScriptedDialogs : public UserDialogs
{
public:
    struct Shown
    {
        QString kind; // "information", "question", "openFile", "openUrl"
        QString title; // caption, or the URL for openUrl
        QString text; // text, or the filter for openFile
        QString buttons; // "Ok", "Yes|No", or empty
        bool hasParent = false;
    };

    void information(QWidget *parent, const QString &title, const QString &text) override;
    bool question(QWidget *parent, const QString &title, const QString &text) override;
    QString openFileName(QWidget *parent, const QString &caption, const QString &filter) override;
    void openUrl(const QUrl &url) override;

    QQueue<bool> answers;
    QQueue<QString> fileNames;
    QList<Shown> shown;
    int unscripted = 0;

    QStringList titles() const;
    QStringList texts() const;
};
