#pragma once

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QWaitCondition>
#include <QWidget>

// The record that the progress dialog's worker thread and the main thread share. Fields marked
// "shared" are read and written only with `mutex` held.
class CProgressThreadInfo : public QObject
{
    Q_OBJECT

public:
    CProgressThreadInfo();

    // Ends the run from the main thread. Unlike a bare wakeAll(), the request is remembered,
    // so a wake-up that comes before the worker first waits is not lost.
    void wakeUp();
    // Restarts the time limit, which counts from the last sign of life: a slow but steady
    // transfer goes on, a stalled one ends.
    void noteActivity();

    QString text;
    QString title;
    QString cancelText;
    bool cancelable = false;
    bool cancelled = false;
    int timeoutMs = 0;
    int tickMs = 250;
    bool autoStep = true;
    int labelMinWidth = 350;
    QVariant pendingValue; // shared
    QVariant pendingText; // shared
    QMutex mutex;
    QWaitCondition wake;
    QElapsedTimer clock; // shared; started when the dialog is built, restarted by noteActivity
    QPointer<QWidget> centreOn;
    bool hidden = false;
    int showAfterMs = 0; // a hidden dialog appears after this long; 0 or less: never
    bool stopRequested = false; // shared
    bool wakeRequested = false; // shared
};
