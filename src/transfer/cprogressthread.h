#pragma once

#include <QThread>

class CProgressThreadInfo;

// Wakes every tickMs, hands pending progress to the dialog as queued signals, and ends when it
// is woken, when the time limit has passed or when it is told to stop. It touches no widget.
class CProgressThread : public QThread
{
    Q_OBJECT

public:
    CProgressThread(CProgressThreadInfo *info, QObject *parent);

signals:
    void valueChanged(int);
    void labelChanged(const QString &cs);

protected:
    void run() override;

private:
    CProgressThreadInfo *info;
};
