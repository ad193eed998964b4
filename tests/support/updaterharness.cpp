#include "updaterharness.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTextEdit>

UpdaterHarness::UpdaterHarness()
{
    fixture = std::make_unique<ReleaseFixture>(dir.path());
    http = std::make_unique<TestHttpServer>();
    valid =
        dir.isValid() && http->start() && QDir().mkpath(installDir() + QLatin1String("Updater"));
    http->serveDirectory("/ldg_update/", fixture->wwwRoot());
    qputenv("LEDGORA_UPDATE_URL", (http->baseUrl() + QLatin1String("ldg_update/")).toUtf8());
}

UpdaterHarness::~UpdaterHarness()
{
    qputenv("LEDGORA_UPDATE_URL", "http://127.0.0.1:9/ldg_update/");
}

QString UpdaterHarness::installDir() const
{
    return QDir(dir.path()).canonicalPath() + QLatin1String("/install/");
}

std::unique_ptr<MainWindow> UpdaterHarness::open(const QStringList &options)
{
    MainWindowContext context;
    context.arguments = QStringList {QStringLiteral("lg_updater")} + options;
    context.dialogs = &dialogs;
    context.platform = &platform;
    context.quit = [this] { ++quitRequests; };
    context.releaseKeys = releaseKeys;
    const bool modeThree = options.join(QLatin1Char(' ')).contains(QLatin1String("--mode 3"));
    context.executableDir =
        installDir() + QLatin1String(modeThree ? "Updater/updater-temp" : "Updater");
    QDir().mkpath(context.executableDir);
    return std::make_unique<MainWindow>(context);
}

QPushButton *UpdaterHarness::button(MainWindow *window, const QString &text)
{
    for (QPushButton *candidate : window->findChildren<QPushButton *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

QCheckBox *UpdaterHarness::groupBox(MainWindow *window, const QString &groupName)
{
    for (QCheckBox *candidate : window->findChildren<QCheckBox *>()) {
        if (candidate->text().startsWith(groupName + QLatin1Char(':')))
            return candidate;
    }
    return nullptr;
}

QString UpdaterHarness::logText(MainWindow *window)
{
    return window->findChild<QTextEdit *>(QStringLiteral("activityLog"))->toPlainText();
}

void UpdaterHarness::click(MainWindow *window, const QString &text)
{
    if (QPushButton *target = button(window, text))
        target->click();
}

void UpdaterHarness::searchAndInstall(MainWindow *window)
{
    click(window, QStringLiteral("Nach Updates suchen"));
    dialogs.answers.enqueue(true);
    click(window, QStringLiteral("Update starten"));
}

int UpdaterHarness::dataFileRequests(int year) const
{
    const QByteArray folder = "/ldg_update/" + QByteArray::number(year) + '/';
    QFile info(fixture->packageDir(year) + QLatin1String("/info.bin"));
    info.open(QIODevice::ReadOnly);
    const QByteArray documentName = info.readAll();
    int count = 0;
    for (const QByteArray &path : http->requestedPaths) {
        if (path.startsWith(folder) && !path.endsWith("/info.bin") && !path.endsWith(documentName))
            ++count;
    }
    return count;
}

QStringList UpdaterHarness::dialogLines() const
{
    QStringList lines;
    for (const ScriptedDialogs::Shown &shown : dialogs.shown)
        lines.append(shown.title + QLatin1Char('|') + shown.text);
    return lines;
}
