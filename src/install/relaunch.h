#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>

class PlatformServices;
class QWidget;
class UserDialogs;

// Starting another updater process through the shell, for the elevated restart after errors
// and for the hand-over to a new updater copy in "updater-temp/".
class Relaunch
{
    // The texts it shows are the window's and translate in the window's context.
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // mode: the running updater's working mode; a copy in mode 3 restarts in mode 3.
    // allowOlder: the user allowed an older offline file, and the next process does too.
    Relaunch(UserDialogs &dialogs, PlatformServices &platform, QWidget *parent,
             const QString &updaterDir, int mode, std::function<void()> quit,
             bool allowOlder = false);

    // "--product" and the type, followed by "--offline" and the path when an offline file is in
    // use (and "--allowolder" after it when allowed); in mode 3 with "--mode 3" after the
    // product, as for the hand-over. A list: the platform layer passes each as one argument.
    static QStringList restartParameters(int productType, const QString &offlinePath, int mode,
                                         bool allowOlder = false);
    static QStringList handOverParameters(int productType, const QString &offlinePath,
                                          bool allowOlder = false);

    // Asks first; false when the user declines, true when a start was attempted.
    bool offerElevatedRestart(int productType, const QString &offlinePath);
    // Starts updater-temp's copy in mode 3; true when the shell started it.
    bool handOver(int productType, const QString &offlinePath, bool elevated);

private:
    bool start(const QString &verb, const QString &executable, const QStringList &arguments);

    UserDialogs &dialogs;
    PlatformServices &platform;
    QWidget *parent;
    QString updaterDir;
    int mode;
    std::function<void()> quit;
    bool allowOlder;
};
