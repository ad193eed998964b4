#include "package/builderconfig.h"
#include "package/packagelog.h"
#include "package/releasestatement.h"

#include "platform/platform.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace {

QDomElement rootElement(const QDomDocument &document)
{
    for (QDomNode node = document.firstChild(); !node.isNull(); node = node.nextSibling()) {
        const QDomElement element = node.toElement();
        if (!element.isNull() && element.tagName() == QLatin1String("updater_document"))
            return element;
    }
    return QDomElement();
}

MainInfo readMainInfo(const QDomElement &element)
{
    return {element.attribute(QStringLiteral("os")), element.text()};
}

GroupConfig readGroup(const QDomElement &element)
{
    auto attribute = [&element](const char *name) {
        return element.attribute(QLatin1String(name));
    };
    GroupConfig group;
    const QString type = attribute("type");
    UpdateGroup &values = group.values;
    values.name = attribute("name");
    values.version = attribute("version");
    values.os = attribute("os");
    values.type = type;
    values.subtype = type == QLatin1String("exec") ? attribute("subtype").toInt() : -1;
    values.beta = attribute("beta") == QLatin1String("1");
    values.cert = attribute("cert") != QLatin1String("0");
    values.active = attribute("active");
    values.disable = attribute("disable");
    const QDomElement info = element.firstChildElement(QStringLiteral("info"));
    if (!info.isNull())
        values.info = info.text();
    group.hasSourceDir = element.hasAttribute(QStringLiteral("srcdir"));
    group.sourceDir = attribute("srcdir");
    normalizeDirPath(group.sourceDir);
    return group;
}

// The year goes into the offline update file, where the client takes it for the release's
// folder on the update server: a year read as 0 would send it to a folder that never exists.
bool readYear(const QDomElement &root, bool forOfflineFile, int *year, QString *reason)
{
    if (!root.hasAttribute(QStringLiteral("year"))) {
        if (!forOfflineFile)
            return true;
        *reason = QStringLiteral("Kein Jahr (year) für die Offline-Updatedatei angegeben");
        return false;
    }
    const QString text = root.attribute(QStringLiteral("year"));
    bool isNumber = false;
    *year = text.trimmed().toInt(&isNumber);
    if (isNumber && *year >= 2000 && *year <= 9999)
        return true;
    *reason = QStringLiteral("Ungültiges Jahr: ") + text;
    return false;
}

// A statement names its year and must not lie about its number or expiry: what cannot be read
// exactly fails the run rather than being signed as something else.
bool readSigning(const QDomElement &root, const QString &configPath, BuilderConfig *config,
                 QString *reason)
{
    const QString key = root.attribute(QStringLiteral("signkey")).trimmed();
    if (key.isEmpty())
        return true;
    const QDir configFolder = QFileInfo(configPath).absoluteDir();
    config->signKeyPath = QFileInfo(configFolder, key).absoluteFilePath();
    const QString previous = root.attribute(QStringLiteral("previous")).trimmed();
    if (!previous.isEmpty())
        config->previousStatementPath = QFileInfo(configFolder, previous).absoluteFilePath();
    if (config->year == 0) {
        *reason = QStringLiteral("Kein Jahr (year) für die Signatur angegeben");
        return false;
    }
    if (root.hasAttribute(QStringLiteral("release"))) {
        const QString text = root.attribute(QStringLiteral("release"));
        static const QRegularExpression number(QStringLiteral("^(0|[1-9][0-9]{0,18})$"));
        if (!number.match(text).hasMatch()) {
            *reason = QStringLiteral("Ungültige Release-Nummer: ") + text;
            return false;
        }
        config->releaseNumber = text.toULongLong();
    }
    if (root.hasAttribute(QStringLiteral("expires"))) {
        const QString text = root.attribute(QStringLiteral("expires"));
        config->expires = expiryFromText(text);
        if (!config->expires) {
            *reason = QStringLiteral("Ungültiges Ablaufdatum (JJJJ-MM-TTThh:mm:ssZ): ") + text;
            return false;
        }
    }
    return true;
}

// The toolkit's DOM parser recurses once per level: a configuration nested deep enough runs
// it out of stack. Real configurations are three levels deep.
constexpr int maxDepth = 64;

bool nestedTooDeep(QIODevice *file)
{
    QXmlStreamReader reader(file);
    int depth = 0;
    while (!reader.atEnd() && depth <= maxDepth) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        depth += token == QXmlStreamReader::StartElement ? 1
            : token == QXmlStreamReader::EndElement      ? -1
                                                         : 0;
    }
    file->seek(0);
    return depth > maxDepth;
}

} // namespace

bool readBuilderConfig(const QString &path, BuilderConfig *config, QString *error)
{
    QFile file;
    QString reason;
    // A pipe would hold an unattended build for ever.
    if (openRegularFile(&file, path, true, &reason) != RegularFileOpen::Opened) {
        *error = reportFailure(FailedStep::open, path, reason);
        return false;
    }
    if (nestedTooDeep(&file)) {
        *error = reportFailure(FailedStep::loadXml, path,
                               QStringLiteral("mehr als %1 Ebenen verschachtelt").arg(maxDepth));
        return false;
    }
    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(&file, false, &message, &line, &column)) {
        *error = reportFailure(FailedStep::loadXml, path,
                               QStringLiteral("%1 (Zeile %2, Spalte %3)")
                                   .arg(message, QString::number(line), QString::number(column)));
        return false;
    }

    const QDomElement root = rootElement(document);
    config->targetDir = root.attribute(QStringLiteral("trgdir")).trimmed();
    normalizeDirPath(config->targetDir);
    config->targetFile = root.attribute(QStringLiteral("trgfile")).trimmed();
    if (!readYear(root, !config->targetFile.isEmpty(), &config->year, &reason)) {
        *error = reportFailure(FailedStep::loadXml, path, reason);
        return false;
    }
    config->version = root.attribute(QStringLiteral("version"));
    if (!readSigning(root, path, config, &reason)) {
        *error = reportFailure(FailedStep::loadXml, path, reason);
        return false;
    }

    const QDomNodeList mainInfos = document.elementsByTagName(QStringLiteral("main_info"));
    for (int i = 0; i < mainInfos.size(); ++i)
        config->mainInfos.append(readMainInfo(mainInfos.at(i).toElement()));
    const QDomNodeList groups = document.elementsByTagName(QStringLiteral("group"));
    for (int i = 0; i < groups.size(); ++i)
        config->groups.append(readGroup(groups.at(i).toElement()));
    return true;
}
