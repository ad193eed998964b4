#include "check/releasetrust.h"

#include "package/releasesignature.h"
#include "package/releasestatement.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

bool signedByOneOf(const QVector<QByteArray> &keys, const SignedStatement &statement)
{
    for (const QByteArray &key : keys) {
        if (verifyReleaseSignature(key, statement.signedPart, statement.signature))
            return true;
    }
    return false;
}

std::optional<AcceptedRelease> refuse(StatementRefusal *refusal, const QString &reason,
                                      const QString &title = statementRefusedTitle())
{
    *refusal = {title, reason};
    return std::nullopt;
}

} // namespace

std::optional<QVector<QByteArray>> releaseKeysFromText(const QString &text)
{
    QVector<QByteArray> keys;
    for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const std::optional<QByteArray> key = releaseKeyFromBase64(part);
        if (!key)
            return std::nullopt;
        keys.append(*key);
    }
    return keys;
}

QString statementRefusedTitle()
{
    return tr("Fehler beim Prüfen der Signatur:");
}

std::optional<StatementRefusal> refusalByRecord(const ReleaseNumbers &installed, int year,
                                                const InstalledRelease &release, bool allowOlder)
{
    const QString older = tr("Älteres Release abgelehnt:");
    // A release of a year before the newest installed one is older, whatever its number.
    const int newestYear = installed.isEmpty() ? 0 : installed.lastKey();
    if (year < newestYear && !allowOlder)
        return StatementRefusal {
            older,
            tr("Das Release des Jahres %1 ist älter als das installierte des Jahres %2.")
                .arg(QString::number(year), QString::number(newestYear))};
    const InstalledRelease mark = installed.value(year);
    if (release.number < mark.number && !allowOlder)
        return StatementRefusal {
            older,
            tr("Release %1 ist älter als das installierte Release %2.")
                .arg(QString::number(release.number), QString::number(mark.number))};
    // The publisher never signs one number for two documents: a second one is a forgery or a
    // build that lost track of its numbers, and either may be swapped for the other.
    if (release.number == mark.number && !mark.documentHash.isEmpty()
        && release.documentHash != mark.documentHash)
        return StatementRefusal {
            tr("Release abgelehnt:"),
            tr("Release %1 wurde schon mit einem anderen Update-Dokument installiert.")
                .arg(QString::number(release.number))};
    return std::nullopt;
}

std::optional<StatementRefusal> recordRefusal(const ReleaseTrust &trust)
{
    if (trust.recordError.isEmpty())
        return std::nullopt;
    return StatementRefusal {tr("Fehler beim Lesen der Release-Nummern:"),
                             trust.recordPath + QLatin1String(": ") + trust.recordError};
}

std::optional<AcceptedRelease> acceptStatement(const QByteArray &text, int year,
                                               const QString &documentHash,
                                               const ReleaseTrust &trust, bool allowOlder,
                                               StatementRefusal *refusal)
{
    if (const std::optional<StatementRefusal> unreadable = recordRefusal(trust)) {
        *refusal = *unreadable;
        return std::nullopt;
    }
    QString error;
    const std::optional<SignedStatement> parsed = parseStatement(text, &error);
    if (!parsed)
        return refuse(refusal, error);
    // Nothing of the statement counts before its signature does.
    if (!signedByOneOf(trust.keys, *parsed))
        return refuse(refusal, tr("Die Signatur stammt nicht vom Herausgeber."));
    const ReleaseStatement &statement = parsed->statement;
    if (statement.year != year)
        return refuse(refusal,
                      tr("Die Signatur gilt für das Jahr %1, nicht für %2.")
                          .arg(QString::number(statement.year), QString::number(year)));
    if (!documentHash.isEmpty() && statement.documentHash != documentHash)
        return refuse(refusal, tr("Die Signatur gilt für ein anderes Update-Dokument."));
    if (statement.expires && *statement.expires <= trust.now)
        return refuse(refusal,
                      tr("Die Signatur ist am %1 (UTC) abgelaufen.")
                          .arg(statement.expires->toString(QStringLiteral("dd.MM.yyyy HH:mm"))));
    if (const std::optional<StatementRefusal> older = refusalByRecord(
            trust.installed, year, {statement.releaseNumber, statement.documentHash}, allowOlder)) {
        *refusal = *older;
        return std::nullopt;
    }
    return AcceptedRelease {statement.releaseNumber, statement.documentHash};
}
