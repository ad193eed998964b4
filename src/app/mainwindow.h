#pragma once

#include "check/pendingupdate.h"
#include "check/releasetrust.h"
#include "common/logline.h"
#include "common/producttypes.h"
#include "package/offlinefile.h"
#include "package/updatedocument.h"
#include "package/versionrecord.h"

#include <QMainWindow>
#include <QMap>
#include <QPair>
#include <QPointer>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

struct CheckResult;
struct ReleaseTrust;
struct FetchedDataFile;
class CDownloader;
struct DownloadOptions;
class Relaunch;
class PlatformServices;
class QCheckBox;
class QComboBox;
class QProgressBar;
class QPushButton;
class QTextBrowser;
class QTextEdit;
class QUrl;
class QVBoxLayout;
class UserDialogs;

namespace Ui {
class MainWindow;
}

// What the window takes from outside; every field may stay empty for the real program.
struct MainWindowContext
{
    QStringList arguments; // empty: QCoreApplication::arguments()
    QString executableDir; // empty: QCoreApplication::applicationDirPath()
    UserDialogs *dialogs = nullptr; // not owned; null: real message boxes
    PlatformServices *platform = nullptr; // not owned; null: the real system
    std::function<void()> quit; // ends the program after a relaunch; null: quit()
    // The publisher's Ed25519 public keys (raw); empty: releases are taken unsigned. The real
    // program passes the keys it was built with.
    QVector<QByteArray> releaseKeys;
};

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(const MainWindowContext &context = MainWindowContext(),
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    // True when start-up decided that the process ends without showing the window (mode 1
    // without configuration, or a failed package build).
    bool startupAborted() const { return aborted; }
    // After a failed package build: the line that names the failed step, its path and the
    // system's reason; the process then prints it and exits with code 1. Empty otherwise.
    QString startupError() const { return buildError; }

    // Fills options for fetching fileName from the release folder of `year` on the update
    // server: a dialog that appears after a second, a 30-second limit of silence, the display
    // name as User-Agent.
    void prepareServerDownload(int year, DownloadOptions &options, const QString &label,
                               const QString &fileName, QString &baseUrl);

public slots:
    void CheckGroup(int);
    void accept();
    void reject();
    void search();
    void help();

private:
    void installTranslations();
    void setIdentity();
    void readCommandLine();
    void createMainLayout();
    bool runPackageBuilder();
    void readVersionRecord();
    void loadUpdateDocument();
    void loadOnline(const ReleaseTrust &trust);
    void loadOffline(const ReleaseTrust &trust);
    void buildContent();
    void addDocumentContent();
    void addMainInfo();
    void addGroups();
    void addGroup(int index, const UpdateGroup &group);
    void addReleaseRow(bool offerBeta);
    void addLogAndButtons();
    bool updaterFilesDiffer(const UpdateGroup &group) const;
    QTextBrowser *infoBrowser(const QString &text);
    void followInfoLink(QTextBrowser *browser, const QUrl &url);
    bool fetchReleaseFile(int year, const QString &label, const QString &fileName, qint64 maxBytes,
                          QByteArray *data, QString *url, QString *error);
    void fetchDataFiles(QVector<FetchedDataFile> &files, const std::function<bool(int)> &arrived);
    QString baseDir() const;
    QString updaterDir() const;
    QString updaterStateDir() const;
    QString releaseNumbersPath() const;
    QString installationLockPath() const;
    void removeStagingLeftovers();
    ReleaseTrust releaseTrust() const;
    QString runningExecutable() const;
    int selectedProduct() const;
    // What the controls say now.
    CheckSelection currentSelection() const;
    // The "cert" of the last checked elster group, 1 when none is checked.
    int selectedCertificate() const;
    int restartProduct(int selected) const;
    Relaunch relaunch();
    void showCheckResult(const CheckResult &result);
    void showProgress(int value, int maximum);
    void installFiles(int selected, int certificate, int beta);

    UpdateDocument document;
    QVector<QPair<int, QCheckBox *>>
        groupCheckBoxes; // group index and box, in the document's order
    QTextEdit *activityLog = nullptr;
    QComboBox *productCombo = nullptr;
    QProgressBar *progressBar = nullptr;
    QPointer<QPushButton> startButton;
    QPointer<QPushButton> searchButton;
    QPointer<QCheckBox> betaCheckBox;
    PendingUpdate pending; // what the last update check found, for the installation
    int releaseYear = 0;
    // The loaded release's signed number; none when it came unsigned.
    std::optional<AcceptedRelease> acceptedRelease;
    bool startupRefused = false; // a release was refused at start: its line stays visible
    QString serverBaseUrl; // the update server's, ending in "/"
    quint32 callerProcessId = 0;
    bool offlineLoaded = false;
    QString offlinePath;
    bool allowOlder = false;
    int mode = 0;
    bool updaterOutdated = false;
    int productType = -1; // the installed edition; -1: unknown
    QMap<int, bool> execGroupSingleOs;
    Ui::MainWindow *ui = nullptr;

    // Start-up values that only the constructor uses.
    QStringList arguments;
    QString configPath;
    QString osOverride;
    QString productOption;
    QString executableDir;
    QVector<QByteArray> releaseKeys;
    QVBoxLayout *mainLayout = nullptr;
    bool aborted = false;
    QString buildError;
    std::optional<OfflineFileLayout> builtOffline; // of the offline update file mode 1 wrote
    bool recordValid = false;
    int productValue = static_cast<int>(ProductType::Orvel);
    int certificateFlag = VersionRecord::flagAbsent;
    int betaFlag = VersionRecord::flagAbsent;
    ActivityLog startupLog;
    bool documentLoaded = false;
    int elsterGroupsShown = 0;
    QCheckBox *lastElsterBox = nullptr;

    std::unique_ptr<UserDialogs> ownDialogs;
    std::unique_ptr<PlatformServices> ownPlatform;
    UserDialogs *dialogs = nullptr;
    PlatformServices *platform = nullptr;
    std::function<void()> quitApplication;
    // Every download of the run goes through its one network manager, so connections to the
    // update server are kept alive from one file to the next.
    CDownloader *downloader = nullptr;
};
