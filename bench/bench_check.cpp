// Times the update check over an installation that is already current: every file is read
// and hashed, nothing is fetched. Prints the seconds; bench/check_bench.sh sets it against
// sha256sum over the same files.
#include "check/documentloader.h"
#include "check/releasetrust.h"
#include "check/updatecheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
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
    const OfflineLoad load = loadOfflineFile(arguments.at(1), ReleaseTrust());
    if (load.outcome != OfflineLoad::Loaded)
        return 1;
    // The installation is current: nothing of the offline file is needed, nothing fetched.
    PendingUpdate update;
    CheckSelection selection;
    for (int i = 0; i < load.document.groups.size(); ++i)
        selection.checkedGroups.append(i);
    UpdateCheck check(
        load.document, arguments.at(2) + QLatin1Char('/'), false,
        [](QVector<FetchedDataFile> &, const std::function<bool(int)> &) {}, [](int, int) {});
    QElapsedTimer timer;
    timer.start();
    const CheckResult result = check.run(selection, update);
    QTextStream(stdout) << "check_seconds " << QString::number(timer.elapsed() / 1000.0, 'f', 3)
                        << "\npending " << result.pendingCount << '\n';
    return result.outcome == CheckResult::Completed ? 0 : 1;
}
