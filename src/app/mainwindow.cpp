#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/activitylogview.h"
#include "app/commandline.h"
#include "app/groupcheckboxtext.h"
#include "app/language.h"
#include "app/widgetuserdialogs.h"
#include "check/documentloader.h"
#include "check/localfile.h"
#include "check/releasetrust.h"
#include "common/installationlayout.h"
#include "common/logcategories.h"
#include "common/osmatch.h"
#include "common/producttypes.h"
#include "common/serverurls.h"

#include "check/updatecheck.h"
#include "install/fileinstaller.h"
#include "install/installationlock.h"
#include "install/preinstallchecks.h"
#include "install/relaunch.h"
#include "install/stagingleftovers.h"
#include "package/packagebuilder.h"
#include "package/payloadstore.h"
#include "package/targetpath.h"
#include "package/versionrecord.h"
#include "platform/platform.h"
#include "platform/platformservices.h"
#include "transfer/cdownloadbatch.h"
#include "transfer/cdownloader.h"
#include "transfer/downloadoptions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// A server silent for this long has stalled: the wait ends. A slow one that sends goes on.
constexpr int serverSilenceLimitMs = 30000;
// A fetch that takes longer than this shows its dialog, which can cancel it.
constexpr int progressDialogDelayMs = 1000;

QFrame *separatorLine()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

MainWindow::MainWindow(const MainWindowContext &context, QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , arguments(context.arguments.isEmpty() ? QCoreApplication::arguments() : context.arguments)
    , executableDir(context.executableDir.isEmpty() ? QCoreApplication::applicationDirPath()
                                                    : context.executableDir)
    , releaseKeys(context.releaseKeys)
    , dialogs(context.dialogs)
    , platform(context.platform)
    , quitApplication(context.quit ? context.quit : [] { QCoreApplication::quit(); })
    , downloader(new CDownloader(this))
{
    if (!dialogs) {
        ownDialogs = std::make_unique<WidgetUserDialogs>();
        dialogs = ownDialogs.get();
    }
    if (!platform) {
        ownPlatform = std::make_unique<PlatformServices>();
        platform = ownPlatform.get();
    }

    ui->setupUi(this);
    installTranslations();
    setIdentity();
    readCommandLine();
    createMainLayout();
    if (mode == 1 && !runPackageBuilder()) {
        aborted = true;
        return;
    }
    PayloadStore::removeStale();
    readVersionRecord();
    loadUpdateDocument();
    removeStagingLeftovers();
    buildContent();
    if (mode == 3)
        search();
}

MainWindow::~MainWindow()
{
    // Until start-up hands it to the central widget, the layout has no owner.
    if (mainLayout && !mainLayout->parentWidget())
        delete mainLayout;
    delete ui;
}

void MainWindow::installTranslations()
{
    const QString language = languageOfLocale(QLocale::system().name());
    for (const char *catalogue : {"qtall_", "qtpropeditor_"}) {
        auto *translator = new QTranslator(this);
        if (translator->load(QLatin1String(":translations/") + QLatin1String(catalogue) + language
                             + QLatin1String(".qm")))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
}

void MainWindow::setIdentity()
{
    setWindowIcon(QIcon(QStringLiteral(":/icons/ledgora.ico")));
    const QString displayName = tr("Ledgora Aktualisierung Version 1.2");
    QGuiApplication::setApplicationDisplayName(displayName);
    QCoreApplication::setApplicationName(displayName);
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1"));
    setWindowTitle(displayName);
}

void MainWindow::readCommandLine()
{
    const CommandLine values = CommandLine::parse(arguments);
    configPath = values.conf;
    mode = values.mode;
    osOverride = values.osOverride;
    callerProcessId = values.callerProcessId;
    offlinePath = values.offlinePath;
    productOption = values.product;
    allowOlder = values.allowOlder;
}

void MainWindow::createMainLayout()
{
    mainLayout = new QVBoxLayout;
    mainLayout->addWidget(separatorLine());
}

// A configuration that does not exist fails like every other: a publishing script that
// mistyped its path must not go on as if the release were built.
bool MainWindow::runPackageBuilder()
{
    if (!buildPackage(configPath, offlinePath, &buildError, &builtOffline))
        return false;
    dialogs->information(nullptr, tr("Ergebnis:"),
                         tr("Die Updatedateien wurden erfolgreich erstellt."));
    return true;
}

QString MainWindow::baseDir() const
{
    return applicationBaseDir(executableDir, mode);
}

void MainWindow::readVersionRecord()
{
    VersionRecord record;
    if (::readVersionRecord(baseDir() + InstallationLayout::versionRecord, &record)) {
        if (isProductType(record.productType)) {
            recordValid = true;
            productType = record.productType;
            productValue = record.productType;
        }
        certificateFlag = record.certificateFlag;
        betaFlag = record.betaFlag;
    }
    if (!productOption.isEmpty()) {
        productValue = int(productOption.toUInt());
        productType = productValue;
    }
    groupCheckBoxes.clear();
}

bool MainWindow::fetchReleaseFile(int year, const QString &label, const QString &fileName,
                                  qint64 maxBytes, QByteArray *data, QString *url, QString *error)
{
    DownloadOptions options;
    QString baseUrl;
    prepareServerDownload(year, options, label, fileName, baseUrl);
    options.maxBytes = maxBytes;
    *url = shownUrl(options.url);
    const bool ok = downloader->download(options);
    // The downloader keeps the last body a download brought; a failed one brings none.
    *data = ok ? downloader->data : QByteArray();
    *error = downloader->errorText;
    return ok;
}

namespace {

void takeDownload(DownloadItem &item, FetchedDataFile &file)
{
    file.ok = item.ok;
    file.error = item.errorText;
    file.stagingFailed = item.stagingFailed;
    file.data = std::move(item.data);
    file.bodyPath = item.bodyPath;
    item.data.clear();
}

} // namespace

// One dialog for all of them, which appears only when the fetch takes longer than a moment.
void MainWindow::fetchDataFiles(QVector<FetchedDataFile> &files,
                                const std::function<bool(int)> &arrived)
{
    if (serverBaseUrl.isEmpty()) {
        for (FetchedDataFile &file : files)
            file.error = tr("Ungültige Server-Adresse.");
        return;
    }
    DownloadOptions options;
    QString baseUrl;
    prepareServerDownload(releaseYear, options, tr("Lade Datei..."), QString(), baseUrl);
    QVector<DownloadItem> items;
    for (const FetchedDataFile &file : qAsConst(files))
        items.append({baseUrl + file.fileName, file.maxBytes, false, QString(), false, {}, {}});
    QVector<bool> taken(files.size(), false);
    CDownloadBatch(downloader->httpPool(), options, items, [&](int index) {
        takeDownload(items[index], files[index]);
        taken[index] = true;
        return arrived(index);
    }).run();
    for (int i = 0; i < files.size(); ++i) {
        if (!taken.at(i))
            takeDownload(items[i], files[i]);
    }
}

void MainWindow::loadUpdateDocument()
{
    const ReleaseTrust trust = releaseTrust();
    QString urlError;
    if (updateBaseUrl(&serverBaseUrl, &urlError)) {
        loadOnline(trust);
    } else {
        // Nothing is fetched from an address that is not the one meant, not even the data files
        // an offline file lacks.
        appendLogLine(startupLog, tr("Ungültige Server-Adresse:"), true, shownUrl(serverBaseUrl),
                      urlError);
        qCWarning(lcWindow).noquote() << shownUrl(serverBaseUrl) << urlError;
        serverBaseUrl.clear();
    }
    if (!offlinePath.isEmpty())
        loadOffline(trust);
}

void MainWindow::loadOnline(const ReleaseTrust &trust)
{
    const ReleaseFetch fetch = [this](int year, const QString &fileName, qint64 maxBytes,
                                      QByteArray *data, QString *url, QString *error) {
        return fetchReleaseFile(year, tr("Lade Infodatei..."), fileName, maxBytes, data, url,
                                error);
    };
    OnlineLoad online = loadOnlineDocument(QDate::currentDate().year(), fetch, trust);
    documentLoaded = online.loaded;
    releaseYear = online.releaseYear;
    startupLog = online.log;
    // A release that loads hides the failed attempts before it, but not a refused one.
    startupRefused = !online.refusals.isEmpty();
    if (documentLoaded) {
        document = std::move(online.document);
        acceptedRelease = online.release;
        return;
    }
    if (!offlinePath.isEmpty())
        return;
    // The server answered and its release was refused: an offline file is no way round that.
    if (online.trustRefusal)
        dialogs->information(this, tr("Update abgelehnt:"),
                             online.trustRefusal->title + QLatin1String("\r\n")
                                 + online.trustRefusal->reason);
    else if (dialogs->question(this, tr("Keine Internetverbindung:"),
                               tr("Es konnte keine Verbindung zum Server hergestellt werden, "
                                  "wollen Sie ein Offline-Update einlesen?")))
        offlinePath =
            dialogs->openFileName(this, tr("Datei öffnen"), tr("Offline-Update-Datei (*.dat)"));
}

void MainWindow::loadOffline(const ReleaseTrust &trust)
{
    // The restarts pass no working folder: a relative path would name no file, or another one.
    offlinePath = QFileInfo(offlinePath).absoluteFilePath();
    // After a build the file is the one just written: where its records lie is known.
    OfflineLoad load = loadOfflineFile(offlinePath, trust, builtOffline ? &*builtOffline : nullptr);
    for (const LoadMessage &message : qAsConst(load.messages))
        dialogs->information(this, message.title, message.text);
    if (load.outcome == OfflineLoad::NotRead)
        return;
    releaseYear = load.releaseYear;
    documentLoaded = load.outcome == OfflineLoad::Loaded;
    if (!documentLoaded)
        return;
    offlineLoaded = true;
    document = std::move(load.document);
    acceptedRelease = load.release;
    pending.offlineIndex = std::move(load.index);
    pending.offlineFile = offlinePath;
}

QTextBrowser *MainWindow::infoBrowser(const QString &text)
{
    auto *browser = new QTextBrowser;
    browser->setReadOnly(true);
    // Links open in the desktop's browser, through the one place that opens web pages.
    browser->setOpenLinks(false);
    connect(browser, &QTextBrowser::anchorClicked, this,
            [this, browser](const QUrl &url) { followInfoLink(browser, url); });
    browser->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    browser->setHtml(text);
    return browser;
}

// The release information comes from the server. On Windows the shell runs whatever a file:
// or relative link names, so only web and mail addresses leave the window.
void MainWindow::followInfoLink(QTextBrowser *browser, const QUrl &url)
{
    if (url.isRelative() && url.path().isEmpty() && url.hasFragment()) {
        browser->scrollToAnchor(url.fragment());
        return;
    }
    const QString scheme = url.scheme().toLower();
    const bool web = (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty();
    if (web || (scheme == QLatin1String("mailto") && !url.path().isEmpty()))
        dialogs->openUrl(url);
}

void MainWindow::buildContent()
{
    if (documentLoaded)
        addDocumentContent();
    addLogAndButtons();
    auto *content = new QWidget;
    content->setLayout(mainLayout);
    setCentralWidget(content);
    activateWindow();
    raise();
}

void MainWindow::addDocumentContent()
{
    mainLayout->addWidget(new QLabel(tr("<b>Info:</b>")));
    addMainInfo();
    addGroups();
}

void MainWindow::addMainInfo()
{
    for (const MainInfo &info : qAsConst(document.mainInfos)) {
        if (!osTextMatches(info.os, osOverride, runningWindowsVersion()))
            continue;
        mainLayout->addWidget(infoBrowser(info.info));
        mainLayout->addWidget(separatorLine());
    }
}

void MainWindow::addGroups()
{
    bool offerBeta = false;
    for (int index = 0; index < document.groups.size(); ++index) {
        const UpdateGroup &group = document.groups.at(index);
        if (!osTextMatches(group.os, osOverride, runningWindowsVersion())) {
            qCDebug(lcWindow) << "OS not found" << group.os << group.type;
            continue;
        }
        offerBeta = offerBeta || group.beta;
        addGroup(index, group);
    }
    if (elsterGroupsShown == 1)
        lastElsterBox->setChecked(true);
    addReleaseRow(offerBeta);
}

void MainWindow::addGroup(int index, const UpdateGroup &group)
{
    const GroupKind kind = group.kind();
    const bool exec = kind == GroupKind::Exec;
    if (exec)
        execGroupSingleOs.insert(index, namesSingleSpecificOs(group.os));

    auto *box = new QCheckBox(groupCheckBoxText(group));
    groupCheckBoxes.append({index, box});
    mainLayout->addWidget(box);
    const QString info = group.info.value_or(QString());
    if (!exec && !info.isEmpty())
        mainLayout->addWidget(infoBrowser(info));

    box->setChecked(group.preselected());
    if (group.locked())
        box->setEnabled(false);
    if (kind == GroupKind::Elster) {
        ++elsterGroupsShown;
        lastElsterBox = box;
        if (certificateFlag != VersionRecord::flagAbsent)
            box->setChecked(group.cert == (certificateFlag == 1));
    }
    if (exec) {
        box->setChecked(true);
        box->hide();
        return;
    }
    if (kind == GroupKind::Updater) {
        box->setChecked(mode == 2);
        box->hide();
        if (mode == 2) {
            // One outdated updater group is enough; a later, current one does not undo it,
            // and its box stays unchecked, as two checked groups of one type are refused.
            const bool differs = updaterFilesDiffer(group);
            updaterOutdated = updaterOutdated || differs;
            if (!differs)
                box->setChecked(false);
        }
        return;
    }
    mainLayout->addWidget(separatorLine());
}

bool MainWindow::updaterFilesDiffer(const UpdateGroup &group) const
{
    const QString base = baseDir();
    for (const FileEntry &entry : group.files) {
        if (entry.isDir)
            continue;
        QString target = entry.targetPath;
        normalizeSeparators(target);
        target.remove(InstallationLayout::updaterTemp, Qt::CaseInsensitive);
        // A path outside the installation is not read: the update check refuses it.
        const std::optional<QString> path = resolveTargetPath(base, target);
        QString error;
        if (!path || compareLocalFile(*path, entry.sha256, &error) != LocalFile::Current)
            return true;
    }
    return false;
}

void MainWindow::addReleaseRow(bool offerBeta)
{
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Zu installierende Version (%1):").arg(releaseYear)));
    if (offerBeta) {
        betaCheckBox = new QCheckBox(tr("Beta-Version"));
        if (betaFlag != VersionRecord::flagAbsent) {
            betaCheckBox->setChecked(betaFlag != 0);
            betaCheckBox->setEnabled(betaFlag != 1);
        }
        row->addWidget(betaCheckBox);
    }
    productCombo = new QComboBox;
    for (int type : productChoices(recordValid, productValue))
        productCombo->addItem(QIcon(), productName(type), type);
    productCombo->setCurrentIndex(productCombo->findData(productValue));
    row->addWidget(productCombo);
    row->addStretch();
    mainLayout->addLayout(row);
    mainLayout->addWidget(separatorLine());
}

void MainWindow::addLogAndButtons()
{
    activityLog = new QTextEdit;
    activityLog->setObjectName(QStringLiteral("activityLog"));
    activityLog->setReadOnly(true);
    showActivityLog(activityLog, startupLog);
    // Only hidden here: showing it before the window owns it would open it as a window of its own.
    if (documentLoaded && !startupRefused)
        activityLog->hide();
    mainLayout->addWidget(activityLog);
    progressBar = new QProgressBar;
    progressBar->hide();
    mainLayout->addWidget(progressBar);
    mainLayout->addWidget(separatorLine());

    auto *row = new QHBoxLayout;
    if (documentLoaded) {
        searchButton = new QPushButton(tr("Nach Updates suchen"));
        connect(searchButton, &QPushButton::clicked, this, &MainWindow::search);
        row->addWidget(searchButton);
        startButton = new QPushButton(tr("Update starten"));
        startButton->setEnabled(false);
        connect(startButton, &QPushButton::clicked, this, &MainWindow::accept);
        row->addWidget(startButton);
    }
    auto *quit = new QPushButton(tr("Beenden"));
    connect(quit, &QPushButton::clicked, this, &MainWindow::reject);
    row->addWidget(quit);
    auto *helpButton = new QPushButton(tr("Hilfe"));
    connect(helpButton, &QPushButton::clicked, this, &MainWindow::help);
    row->addWidget(helpButton);
    mainLayout->addLayout(row);
    mainLayout->addWidget(separatorLine());
}

void MainWindow::prepareServerDownload(int year, DownloadOptions &options, const QString &label,
                                       const QString &fileName, QString &baseUrl)
{
    options = DownloadOptions();
    baseUrl = serverBaseUrl + QString::number(year) + QLatin1Char('/');
    options.userAgent = QGuiApplication::applicationDisplayName();
    options.label = label;
    options.owner = this;
    options.centreOn = this;
    // The limit counts from the last data received: a stalled server ends the wait soon, a
    // slow line goes on. A wait longer than a moment shows the dialog, which can cancel it.
    options.timeoutMs = serverSilenceLimitMs;
    options.hidden = true;
    options.showAfterMs = progressDialogDelayMs;
    options.url = baseUrl + fileName;
}

// The slots run without returning to the event loop. The bar repaints itself at once when its
// visible value changes, which is all a user can see; a repaint per file cost most of the time
// of a check over thousands of current files.
void MainWindow::showProgress(int value, int maximum)
{
    if (progressBar->maximum() != maximum)
        progressBar->setRange(0, maximum);
    progressBar->setValue(value);
}

void MainWindow::CheckGroup(int) { }

void MainWindow::accept()
{
    const bool betaChecked = betaCheckBox && betaCheckBox->isChecked();
    PreInstallChecks checks(*dialogs, *platform, this);
    if (!checks.confirmBeta(betaChecked, betaCheckBox && betaCheckBox->isEnabled()))
        return;

    // Only a check that ran to its end says what is pending; after a failed one, a new search.
    if (!pending.isCurrentFor(currentSelection())) {
        dialogs->information(this, tr("Info:"),
                             tr("Die Einstellungen wurden verändert, bitte suchen Sie erneut nach "
                                "Updates."));
        return;
    }
    if (callerProcessId != 0 && pending.executablePending
        && !checks.waitForMainApplication(callerProcessId))
        return;
    const int selected = selectedProduct();
    if (!checks.confirmStart(selected, releaseYear))
        return;
    const QStringList documents =
        QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation);
    const auto migration = checks.migrateDataFolder(
        updaterDir(), productType, selected, documents.value(0), [this, selected] {
            return relaunch().offerElevatedRestart(restartProduct(selected), offlinePath);
        });
    if (migration == PreInstallChecks::Migration::EndRun)
        return;
    installFiles(selected, selectedCertificate(), betaChecked ? 1 : 0);
}

CheckSelection MainWindow::currentSelection() const
{
    CheckSelection selection;
    for (const auto &groupBox : groupCheckBoxes) {
        if (groupBox.second->isChecked())
            selection.checkedGroups.append(groupBox.first);
    }
    selection.execGroupSingleOs = execGroupSingleOs;
    selection.productType = selectedProduct();
    selection.hasBetaBox = betaCheckBox;
    selection.betaChecked = betaCheckBox && betaCheckBox->isChecked();
    return selection;
}

int MainWindow::selectedCertificate() const
{
    int certificate = 1;
    // With several elster groups checked, the last one decides.
    for (int index : currentSelection().checkedGroups) {
        const UpdateGroup &group = document.groups.at(index);
        if (group.kind() == GroupKind::Elster)
            certificate = group.cert ? 1 : 0;
    }
    return certificate;
}

void MainWindow::installFiles(int selected, int certificate, int beta)
{
    if (startButton)
        startButton->setEnabled(false);
    activityLog->clear();
    progressBar->show();

    InstallRequest request;
    request.document = document;
    request.baseDir = baseDir();
    request.updaterOutdated = updaterOutdated;
    request.record = {releaseYear, selected, certificate, beta};
    request.runningExecutable = runningExecutable();
    request.lockPath = installationLockPath();
    if (acceptedRelease) {
        request.releaseNumbersPath = releaseNumbersPath();
        request.release = {acceptedRelease->number, acceptedRelease->documentHash};
        // Online releases are never taken older.
        request.allowOlder = allowOlder && offlineLoaded;
    }
    FileInstaller installer(request, *platform,
                            [this](int value, int maximum) { showProgress(value, maximum); });
    const InstallResult result = installer.run(pending);

    if (!result.error) {
        dialogs->information(this, tr("Ergebnis:"),
                             tr("Die Aktualisierung wurde erfolgreich durchgeführt."));
        productType = selected;
    }
    showActivityLog(activityLog, result.log);
    activityLog->setVisible(!result.log.isEmpty());
    progressBar->hide();
    if (startButton)
        startButton->setEnabled(result.error);

    const bool elevated = platform->elevated();
    if (result.error && !elevated && !result.otherUpdaterWriting)
        relaunch().offerElevatedRestart(restartProduct(selected), offlinePath);
    else if (!result.error && updaterOutdated)
        relaunch().handOver(restartProduct(selected), offlinePath, elevated);
}

int MainWindow::selectedProduct() const
{
    return productCombo ? productCombo->currentData().toInt() : 0;
}

int MainWindow::restartProduct(int selected) const
{
    return productType >= 1 ? productType : selected;
}

QString MainWindow::updaterDir() const
{
    QString folder = executableDir;
    normalizeDirPath(folder);
    return folder;
}

// The copy in updater-temp/ keeps the record and the lock of the updater it replaces.
QString MainWindow::updaterStateDir() const
{
    QString folder = updaterDir();
    if (mode == 3)
        folder = QDir::cleanPath(folder + QLatin1String("..")) + QLatin1Char('/');
    return folder;
}

QString MainWindow::releaseNumbersPath() const
{
    return updaterStateDir() + InstallationLayout::releaseNumbers;
}

QString MainWindow::installationLockPath() const
{
    return updaterStateDir() + InstallationLayout::installationLock;
}

// Staging files stay behind when an installation is killed; while no updater writes into the
// installation, none of them is anyone's.
void MainWindow::removeStagingLeftovers()
{
    InstallationLock lock(baseDir(), installationLockPath());
    if (documentLoaded && lock.acquire() == InstallationLock::State::Held)
        ::removeStagingLeftovers(baseDir(), document);
}

ReleaseTrust MainWindow::releaseTrust() const
{
    ReleaseTrust trust;
    trust.keys = releaseKeys;
    if (trust.required()) {
        trust.now = QDateTime::currentDateTimeUtc();
        trust.recordPath = releaseNumbersPath();
        if (!readReleaseNumbers(trust.recordPath, &trust.installed, &trust.recordError))
            qCWarning(lcWindow).noquote() << trust.recordPath << trust.recordError;
        trust.allowOlder = allowOlder;
    }
    return trust;
}

QString MainWindow::runningExecutable() const
{
    return updaterDir() + updaterExecutableName();
}

Relaunch MainWindow::relaunch()
{
    return Relaunch(*dialogs, *platform, this, updaterDir(), mode, quitApplication, allowOlder);
}

void MainWindow::reject()
{
    close();
}

void MainWindow::search()
{
    // Without a document there is nothing to compare; "all files current" would be untrue.
    if (!documentLoaded)
        return;
    const QString base = baseDir();
    activityLog->clear();
    progressBar->show();
    if (searchButton)
        searchButton->setEnabled(false);
    // Whatever an earlier check found is no longer what this one will find.
    pending.searchCompleted = false;
    if (startButton)
        startButton->setEnabled(false);

    const DataFileFetch fetch = [this](QVector<FetchedDataFile> &files,
                                       const std::function<bool(int)> &arrived) {
        fetchDataFiles(files, arrived);
    };
    const CheckProgress progress = [this](int value, int maximum) { showProgress(value, maximum); };
    UpdateCheck check(document, base, offlineLoaded, fetch, progress);
    const CheckResult result = check.run(currentSelection(), pending);
    if (result.outcome == CheckResult::DuplicateType) {
        dialogs->information(
            this, tr("Info:"),
            tr("Es darf nur eine %1-Installation ausgewählt werden.").arg(result.duplicateType));
        if (searchButton)
            searchButton->setEnabled(true);
        return;
    }
    showCheckResult(result);
}

void MainWindow::showCheckResult(const CheckResult &result)
{
    ActivityLog log = result.log;
    if (result.outcome == CheckResult::Completed) {
        const QString current = tr("Alle Dateien sind aktuell.");
        dialogs->information(this, tr("Ergebnis:"),
                             result.pendingCount == 0 ? current
                                                      : tr("Es sind keine Fehler aufgetreten."));
        if (result.pendingCount > 0) {
            if (startButton)
                startButton->setEnabled(true);
            const QString summary = tr("%1 Datei(en) (%2 MB) können aktualisiert werden.")
                                        .arg(result.pendingCount)
                                        .arg(result.pendingBytes / 1000000.0, 0, 'g');
            appendLogLine(log, summary, false);
            dialogs->information(this, tr("Ergebnis:"), summary);
        } else {
            dialogs->information(this, tr("Ergebnis:"), current);
        }
    }
    showActivityLog(activityLog, log);
    activityLog->setVisible(!log.isEmpty());
    progressBar->hide();
    if (searchButton)
        searchButton->setEnabled(true);
}

void MainWindow::help()
{
    dialogs->openUrl(QUrl(helpPageUrl()));
}
