#include "package/releasesigner.h"

#include "package/durablefile.h"
#include "package/packagelog.h"
#include "package/releasesignature.h"
#include "package/releasestatement.h"

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
    if (!config.signKeyPath.isEmpty() && !publicKeyOfKeyFile(config.signKeyPath, &reason)) {
        *error = reportFailure(FailedStep::open, config.signKeyPath, reason);
        return false;
    }
    QFile published(path);
    if (!QFileInfo(path).isFile() || !published.open(QIODevice::ReadOnly))
        return true;
    previousText = published.read(releaseStatementLimit + 1);
    // Only its numbers count here, and only as a floor: the folder is the publisher's own.
    QString ignored;
    const std::optional<SignedStatement> parsed = parseStatement(*previousText, &ignored);
    if (parsed && parsed->statement.year == config.year)
        previous = parsed->statement;
    if (previous && config.releaseNumber && *config.releaseNumber < previous->releaseNumber) {
        *error = reportFailure(FailedStep::loadXml, configPath,
                               QStringLiteral("Release-Nummer %1 ist kleiner als die zuletzt "
                                              "veröffentlichte %2")
                                   .arg(*config.releaseNumber)
                                   .arg(previous->releaseNumber));
        return false;
    }
    return true;
}

// Clients refuse a number below the one they installed and take the same number again: so the
// number grows with every release, and one number never names two documents.
std::optional<quint64> ReleaseSigner::number(const QString &documentHash, QString *error) const
{
    if (!config.releaseNumber) {
        const quint64 now = quint64(QDateTime::currentSecsSinceEpoch());
        return previous ? qMax(now, previous->releaseNumber + 1) : now;
    }
    if (previous && *config.releaseNumber == previous->releaseNumber
        && documentHash != previous->documentHash) {
        *error = reportFailure(FailedStep::loadXml, configPath,
                               QStringLiteral("Release-Nummer %1 wurde schon für ein anderes "
                                              "Update-Dokument veröffentlicht")
                                   .arg(*config.releaseNumber));
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
