#pragma once

#include <QDialog>
#include <QPointer>

class CProgressThread;
class CProgressThreadInfo;
class QLabel;
class QProgressBar;
class QPushButton;
class QShortcut;

// A modal progress dialog whose run ends when its worker thread ends: woken by the activity,
// timed out, stopped, or cancelled by the user (only when the record makes it cancelable).
class CProgressDlgEx : public QDialog
{
    Q_OBJECT

public:
    CProgressDlgEx(QWidget *parent, CProgressThreadInfo *info, Qt::WindowFlags flags);
    ~CProgressDlgEx() override;

public slots:
    void onValueChanged(int count);
    void onLabelChanged(const QString &cs);
    void reject() override;
    void accept() override;
    void cancel();
    void onThreadFinished();
    // Ends the hidden part of a run that is still going on, so that it goes on visibly.
    void appear();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool isStopped();
    void stopThread();
    void cancelIfCancelable();

    QPointer<CProgressThread> thread;
    CProgressThreadInfo *info;
    bool closing = false;
    bool updatingValue = false;
    bool updatingLabel = false;
    QLabel *label = nullptr;
    QPushButton *cancelButton = nullptr;
    QProgressBar *bar = nullptr;
    QShortcut *shortcut = nullptr;
};

// Builds the dialog, runs it modally and returns false when the user cancelled. The dialog
// takes the record over: it must not be used after the call.
bool runProgressDialog(QWidget *parent, CProgressThreadInfo *info, Qt::WindowFlags flags);
