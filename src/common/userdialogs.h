#pragma once

#include <QString>

class QUrl;
class QWidget;

// Every message box, question, file dialog and opened web page of the updater passes through
// this interface, so that tests can answer them from a script and see their exact texts.
class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    // A modal box with the single button OK.
    virtual void information(QWidget *parent, const QString &title, const QString &text) = 0;
    // A modal box with Yes and No and no default button; true only for Yes.
    virtual bool question(QWidget *parent, const QString &title, const QString &text) = 0;
    // A file-open dialog without start folder; empty when cancelled.
    virtual QString openFileName(QWidget *parent, const QString &caption,
                                 const QString &filter) = 0;
    // Opens a web page with the desktop's default browser.
    virtual void openUrl(const QUrl &url) = 0;
};
