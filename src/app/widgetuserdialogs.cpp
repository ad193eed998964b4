#include "app/widgetuserdialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

void WidgetUserDialogs::information(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

bool WidgetUserDialogs::question(QWidget *parent, const QString &title, const QString &text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::NoButton)
        == QMessageBox::Yes;
}

QString WidgetUserDialogs::openFileName(QWidget *parent, const QString &caption,
                                        const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

void WidgetUserDialogs::openUrl(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}
