#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

QCommandLineOption option(const char *name, const char *description, const char *valueName)
{
    return QCommandLineOption(QLatin1String(name),
                              QCoreApplication::translate("MainWindow", description),
                              QCoreApplication::translate("MainWindow", valueName));
}

} // namespace

namespace {

struct Options
{
    QCommandLineOption conf = option("conf", "XML-Konfigurationsdatei", "Konfigurationsdatei");
    QCommandLineOption offline = option("offline", "Offline-Updatedatei", "Offline-Updatedatei");
    QCommandLineOption mode = option("mode",
                                     "Arbeitsmodus: 1=Dateien erstellen, 2=Nach Updates "
                                     "suchen, 3=Neuen Updater installieren",
                                     "Modus");
    QCommandLineOption os = option("os", "Betriebssystem simulieren", "OS");
    QCommandLineOption product = option("product", "Produktyp", "Produktyp");
    QCommandLineOption processId = option("processid", "Prozess-ID Aufrufer", "Prozess-ID");
    QCommandLineOption allowOlder {
        QStringLiteral("allowolder"),
        QCoreApplication::translate("MainWindow", "Älteres signiertes Offline-Update zulassen")};

    void addTo(QCommandLineParser &parser) const
    {
        parser.setApplicationDescription(QCoreApplication::applicationName()
                                         + QLatin1String(" Kommandozeile"));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({conf, offline, mode, os, product, processId, allowOlder});
    }
};

} // namespace

QString CommandLine::helpText()
{
    QCommandLineParser parser;
    Options().addTo(parser);
    return parser.helpText();
}

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    const Options options;
    options.addTo(parser);
    parser.parse(arguments);

    CommandLine values;
    values.conf = unquote(parser.value(options.conf));
    const int modeValue = parser.value(options.mode).toInt();
    values.mode = modeValue == 0 ? 2 : modeValue;
    values.osOverride = parser.value(options.os);
    values.callerProcessId = parser.value(options.processId).toUInt();
    values.offlinePath = unquote(parser.value(options.offline));
    values.product = parser.value(options.product);
    values.allowOlder = parser.isSet(options.allowOlder);
    return values;
}

QString unquote(const QString &value)
{
    QString result = value.trimmed();
    if (result.startsWith(QLatin1Char('"')))
        result.remove(0, 1);
    if (result.endsWith(QLatin1Char('"')))
        result.chop(1);
    return result;
}
