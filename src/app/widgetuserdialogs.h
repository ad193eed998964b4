#pragma once

#include "common/userdialogs.h"

// The real dialogs: QMessageBox, QFileDialog and QDesktopServices.
class WidgetUserDialogs : public UserDialogs
{
public:
    void information(QWidget *parent, const QString &title, const QString &text) override;
    bool question(QWidget *parent, const QString &title, const QString &text) override;
    QString openFileName(QWidget *parent, const QString &caption, const QString &filter) override;
    void openUrl(const QUrl &url) override;
};
