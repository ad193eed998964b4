#pragma once

#include <QProcess>
#include <QStringList>

// The real program started as a process: on the offscreen platform, and with an update server
// address where nothing listens, so that no run reaches a real server. `extra` adds to or
// replaces variables of the environment.
inline void startUpdaterProcess(QProcess &process, const QStringList &arguments,
                                const QProcessEnvironment &extra = QProcessEnvironment())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LEDGORA_UPDATE_URL"),
               QStringLiteral("http://127.0.0.1:9/ldg_update/"));
    env.insert(extra);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(LG_UPDATER_PATH), arguments);
}
