#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "commandline.h"
#include "language.h"
#include "serverurls.h"
#include "widgetuserdialogs.h"
#include "package/packagebuilder.h"
#include "transfer/downloadoptions.h"
#include "platform/platformservices.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QIcon>
#include <QLocale>
#include <QTemporaryFile>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>

namespace {

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
    , dialogs(context.dialogs)
    , platform(context.platform)
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
    readVersionRecord();
    loadUpdateDocument();
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
}

void MainWindow::createMainLayout()
{
    mainLayout = new QVBoxLayout;
    mainLayout->addWidget(separatorLine());
}

bool MainWindow::runPackageBuilder()
{
    if (!QFile::exists(configPath))
        return false;
    if (!buildPackage(configPath, offlinePath))
        return false;
    dialogs->information(nullptr, tr("Ergebnis:"), tr("Die Updatedateien wurden erfolgreich erstellt."));
    return true;
}

void MainWindow::readVersionRecord() { }

void MainWindow::loadUpdateDocument() { }

void MainWindow::buildContent()
{
    auto *content = new QWidget;
    content->setLayout(mainLayout);
    setCentralWidget(content);
    activateWindow();
    raise();
}

void MainWindow::prepareServerDownload(int year, DownloadOptions &options, const QString &label,
                                       const QString &fileName, QString &baseUrl)
{
    options = DownloadOptions();
    baseUrl = updateBaseUrl() + QString::number(year) + QLatin1Char('/');
    options.userAgent = QGuiApplication::applicationDisplayName();
    options.label = label;
    options.owner = this;
    options.centreOn = this;
    options.timeoutMs = 300000;
    options.hidden = true;
    options.url = baseUrl + fileName;
}

void MainWindow::CheckGroup(int) { }

void MainWindow::accept() { }

void MainWindow::reject()
{
    close();
}

void MainWindow::search() { }

void MainWindow::help()
{
    dialogs->openUrl(QUrl(helpPageUrl()));
}
