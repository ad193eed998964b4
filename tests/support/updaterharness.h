#pragma once

#include "app/mainwindow.h"
#include "fakeplatform.h"
#include "releasefixture.h"
#include "scripteddialogs.h"
#include "testhttpserver.h"

#include <QTemporaryDir>

#include <memory>

class QCheckBox;
class QPushButton;

// A temporary world for one test: releases built by the builder, a local update server that
// publishes them, an installation folder with the updater in its "Updater" subfolder, and the
// window started on it with scripted dialogs and the fake platform calls.
class UpdaterHarness
{
public:
    UpdaterHarness();
    ~UpdaterHarness();

    bool isValid() const { return valid; }
    ReleaseFixture &releases() { return *fixture; }
    TestHttpServer &server() { return *http; }
    QString installDir() const; // the application base directory, ending in "/"
    QString root() const { return dir.path(); }

    std::unique_ptr<MainWindow> open(const QStringList &options = {});

    static QPushButton *button(MainWindow *window, const QString &text);
    static QCheckBox *groupBox(MainWindow *window, const QString &groupName);
    static QString logText(MainWindow *window);
    static void click(MainWindow *window, const QString &text);
    // Presses "Nach Updates suchen", then "Update starten" with Yes to the start question.
    void searchAndInstall(MainWindow *window);

    // Requests for files of the release other than "info.bin" and the document data file.
    int dataFileRequests(int year) const;
    QStringList dialogLines() const; // "title|text" of every dialog so far

    ScriptedDialogs dialogs;
    FakePlatform platform;
    QVector<QByteArray> releaseKeys; // the window's; empty: a client built without keys
    int quitRequests = 0;

private:
    QTemporaryDir dir;
    std::unique_ptr<ReleaseFixture> fixture;
    std::unique_ptr<TestHttpServer> http;
    bool valid = false;
};
