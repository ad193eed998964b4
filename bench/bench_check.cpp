// Times the update check over an installation that is already current: every file is read
// and hashed, nothing is fetched. Prints the seconds; bench/check_bench.sh sets it against
// sha256sum over the same files.
#include "check/updatecheck.h"
#include "package/offlinefilereader.h"
#include "package/payload.h"
#include "package/updatedocument.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTemporaryFile>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const QStringList arguments = application.arguments();
    if (arguments.size() != 3) {
        QTextStream(stderr) << "usage: bench_check OFFLINE_FILE INSTALLATION_DIR\n";
        return 2;
    }
    QFile file(arguments.at(1));
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    OfflineFileReader reader(&file);
    if (!reader.readHeader())
        return 1;
    OfflineRecordPlace record;
    for (qint32 i = 0; i < reader.recordCount() && reader.skipRecord(&record); ++i) { }
    const QJsonArray groups = documentFromPayload(reader.readDocumentPayload())
                                  .object()
                                  .value(QStringLiteral("data"))
                                  .toArray();

    OfflineIndex index;
    QSharedPointer<QTemporaryFile> store;
    QStringList directories;
    QMap<int, QStringList> plugins;
    QMap<int, QStringList> plugins2;
    bool executable = false;
    QSet<int> searched;
    CheckState state {index,    store,      directories, plugins,
                      plugins2, executable, searched,    arguments.at(1)};
    CheckSelection selection;
    for (int i = 0; i < groups.size(); ++i)
        selection.checkedGroups.append(i);
    UpdateCheck check(
        groups, arguments.at(2) + QLatin1Char('/'), QString(), false,
        [](const QString &, qint64, QByteArray *, QString *) { return false; }, [](int, int) {});
    QElapsedTimer timer;
    timer.start();
    const CheckResult result = check.run(selection, state);
    QTextStream(stdout) << "check_seconds " << QString::number(timer.elapsed() / 1000.0, 'f', 3)
                        << "\npending " << result.pendingCount << '\n';
    return result.outcome == CheckResult::Completed ? 0 : 1;
}
