#include "package/releasesigner.h"

#include "package/durablefile.h"
#include "package/packagelog.h"
#include "package/releasesignature.h"
#include "package/releasestatement.h"
#include "package/smallfile.h"

#include "platform/platform.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

bool ReleaseSigner::prepare(const BuilderConfig &builderConfig, const QString &configFile,
                            QString *error)
{
    config = builderConfig;
    configPath = configFile;
    path = config.targetDir + releaseStatementFileName;
    QString reason;
    const bool published = readPublished(&reason);
    if (config.signKeyPath.isEmpty())
        return true;
    // Only a statement that is not there means no floor.
    if (!published) {
        *error = reportFailure(FailedStep::open, path, reason);
        return false;
    }
    if (!publicKeyOfKeyFile(config.signKeyPath, &reason)) {
        *error = reportFailure(FailedStep::open, config.signKeyPath, reason);
        return false;
    }
    if (previousText && !readFloor(path, *previousText, error))
        return false;
    if (!config.previousStatementPath.isEmpty()) {
        std::optional<QByteArray> text;
        if (!readSmallFile(config.previousStatementPath, releaseStatementLimit, true, &text,
                           &reason)
            || !text) {
            *error = reportFailure(FailedStep::open, config.previousStatementPath, reason);
            return false;
        }
        if (!readFloor(config.previousStatementPath, *text, error))
            return false;
    }
    qCInfo(lcPackage).noquote() << floorText();
    return checkSettings(error);
}

// The package folder's statement, kept for restore(). Only a regular file is read: a pipe
// there would hold the run. False when one is there that cannot be read.
bool ReleaseSigner::readPublished(QString *error)
{
    return readSmallFile(path, releaseStatementLimit, true, &previousText, error);
}

bool ReleaseSigner::readFloor(const QString &statementPath, const QByteArray &text, QString *error)
{
    QString reason;
    const std::optional<SignedStatement> parsed = parseStatement(text, &reason);
    if (!parsed) {
        *error = reportFailure(FailedStep::open, statementPath,
                               reason
                                   + QStringLiteral(" Ohne sie ist die kleinste Release-Nummer "
                                                    "unbekannt."));
        return false;
    }
    // Only the numbers count here, and only as a floor: the files are the publisher's own.
    const ReleaseStatement &statement = parsed->statement;
    if (statement.year == config.year
        && (!previous || statement.releaseNumber > previous->releaseNumber)) {
        previous = statement;
        previousPath = statementPath;
    }
    return true;
}

QString ReleaseSigner::floorText() const
{
    if (!previous)
        return QStringLiteral("Kleinste Release-Nummer: keine (keine veröffentlichte Signatur "
                              "des Jahres %1)")
            .arg(config.year);
    return QStringLiteral("Kleinste Release-Nummer: %1 (aus %2)")
        .arg(QString::number(previous->releaseNumber), previousPath);
}

bool ReleaseSigner::failSettings(const QString &reason, QString *error) const
{
    *error = reportFailure(FailedStep::loadXml, configPath, reason);
    return false;
}

// What clients would refuse, or what would sign a number again, fails before the work.
bool ReleaseSigner::checkSettings(QString *error) const
{
    // An unattended build cannot be asked whether it meant to publish what no client takes.
    if (config.expires && *config.expires <= QDateTime::currentDateTimeUtc())
        return failSettings(QStringLiteral("Das Ablaufdatum %1 ist schon vorüber")
                                .arg(config.expires->toString(Qt::ISODate)),
                            error);
    if (previous && config.releaseNumber && *config.releaseNumber < previous->releaseNumber)
        return failSettings(QStringLiteral("Release-Nummer %1 ist kleiner als die zuletzt "
                                           "veröffentlichte %2")
                                .arg(*config.releaseNumber)
                                .arg(previous->releaseNumber),
                            error);
    if (previous && !config.releaseNumber && previous->releaseNumber >= releaseNumberLimit)
        return failSettings(QStringLiteral("Nach Release-Nummer %1 gibt es keine höhere, die "
                                           "Clients lesen (höchstens 19 Stellen)")
                                .arg(previous->releaseNumber),
                            error);
    return true;
}

// Clients refuse a number below the one they installed, and the installed number for another
// document: so the number grows with every release, and one number never names two documents.
std::optional<quint64> ReleaseSigner::number(const QString &documentHash, QString *error) const
{
    if (!config.releaseNumber) {
        const quint64 now = quint64(QDateTime::currentSecsSinceEpoch());
        return previous ? qMax(now, previous->releaseNumber + 1) : now;
    }
    if (previous && *config.releaseNumber == previous->releaseNumber
        && documentHash != previous->documentHash) {
        failSettings(QStringLiteral("Release-Nummer %1 wurde schon für ein anderes "
                                    "Update-Dokument veröffentlicht")
                         .arg(*config.releaseNumber),
                     error);
        return std::nullopt;
    }
    return config.releaseNumber;
}

bool ReleaseSigner::sign(const QString &documentHash, QString *error)
{
    if (config.signKeyPath.isEmpty())
        return true;
    ReleaseStatement statement;
    statement.year = config.year;
    statement.documentHash = documentHash;
    const std::optional<quint64> releaseNumber = number(documentHash, error);
    if (!releaseNumber)
        return false;
    statement.releaseNumber = *releaseNumber;
    statement.expires = config.expires;
    QString reason;
    const std::optional<QByteArray> signature =
        signWithKeyFile(config.signKeyPath, statementSignedPart(statement), &reason);
    if (!signature) {
        *error = reportFailure(FailedStep::open, config.signKeyPath, reason);
        return false;
    }
    text = statementText(statement, *signature);
    return true;
}

bool ReleaseSigner::publish(QString *error)
{
    if (!text.isEmpty())
        return writeFileDurably(path, text, error);
    QFile stale(path);
    if (!stale.exists() || stale.remove())
        return true;
    *error = reportFailure(FailedStep::write, path, stale.errorString());
    return false;
}

void ReleaseSigner::restore()
{
    QString ignored;
    if (previousText)
        writeFileDurably(path, *previousText, &ignored);
    else
        QFile::remove(path);
}
