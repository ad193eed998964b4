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

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::applicationName()
                                     + QLatin1String(" Kommandozeile"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption conf =
        option("conf", "XML-Konfigurationsdatei", "Konfigurationsdatei");
    const QCommandLineOption offline =
        option("offline", "Offline-Updatedatei", "Offline-Updatedatei");
    const QCommandLineOption mode = option("mode",
                                           "Arbeitsmodus: 1=Dateien erstellen, 2=Nach Updates "
                                           "suchen, 3=Neuen Updater installieren",
                                           "Modus");
    const QCommandLineOption os = option("os", "Betriebssystem simulieren", "OS");
    const QCommandLineOption product = option("product", "Produktyp", "Produktyp");
    const QCommandLineOption processId = option("processid", "Prozess-ID Aufrufer", "Prozess-ID");
    const QCommandLineOption allowOlder(
        QStringLiteral("allowolder"),
        QCoreApplication::translate("MainWindow", "Älteres signiertes Offline-Update zulassen"));
    parser.addOptions({conf, offline, mode, os, product, processId, allowOlder});
    parser.parse(arguments);

    CommandLine values;
    values.conf = unquote(parser.value(conf));
    const int modeValue = parser.value(mode).toInt();
    values.mode = modeValue == 0 ? 2 : modeValue;
    values.osOverride = parser.value(os);
    values.callerProcessId = parser.value(processId).toUInt();
    values.offlinePath = unquote(parser.value(offline));
    values.product = parser.value(product);
    values.allowOlder = parser.isSet(allowOlder);
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
