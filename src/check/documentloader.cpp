#include "check/documentloader.h"

#include "check/releasetrust.h"

#include "common/logcategories.h"

#include "package/hashname.h"
#include "package/offlinefilereader.h"
#include "package/releasestatement.h"
#include "package/updatedocument.h"

#include <QCoreApplication>
#include <QFile>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// "info.bin" holds a name of 68 characters; a document data file of a real release is a few
// hundred kilobytes. Anything far larger is not a release.
constexpr qint64 infoFileLimit = 4096;
constexpr qint64 documentFileLimit = documentSizeLimit;

// A client with the publisher's keys takes a release only with its statement, before fetching
// the document: what the publisher did not sign is not even read.
bool statementAccepted(int year, const QString &documentName, const ReleaseFetch &fetch,
                       const ReleaseTrust &trust, ActivityLog &log,
                       std::optional<quint64> &releaseNumber)
{
    releaseNumber.reset();
    if (!trust.required())
        return true;
    QByteArray statement;
    QString url;
    QString error;
    if (!fetch(year, releaseStatementFileName, releaseStatementLimit, &statement, &url, &error)) {
        appendLogLine(log, statementRefusedTitle(), true, url, error);
        return false;
    }
    const QString documentHash = documentName.endsWith(QLatin1String(".bin"))
        ? documentName.left(documentName.size() - 4)
        : QString();
    StatementRefusal refusal;
    releaseNumber = acceptStatement(statement, year, documentHash, trust, false, &refusal);
    if (!releaseNumber)
        appendLogLine(log, refusal.title, true, url, refusal.reason);
    return releaseNumber.has_value();
}

bool tryReleaseFolder(int year, const ReleaseFetch &fetch, const ReleaseTrust &trust,
                      ActivityLog &log, UpdateDocument &document,
                      std::optional<quint64> &releaseNumber)
{
    const QString title = tr("Fehler beim Laden der Infodatei:");
    QByteArray info;
    QString url;
    QString error;
    if (!fetch(year, QStringLiteral("info.bin"), infoFileLimit, &info, &url, &error)) {
        appendLogLine(log, title, true, url, error);
        return false;
    }
    // The whole text names the document data file: a trailing line break is a wrong name.
    const QString name = QString::fromUtf8(info);
    if (!statementAccepted(year, name, fetch, trust, log, releaseNumber))
        return false;
    QByteArray payload;
    if (!fetch(year, name, documentFileLimit, &payload, &url, &error)) {
        appendLogLine(log, title, true, url, error);
        return false;
    }
    // The hash is of the expanded bytes: a payload that states more than a document can be is
    // refused before they are made.
    const QByteArray binary = expandDocumentPayload(payload);
    const QString expected = QString(name).remove(QStringLiteral(".bin"));
    if (hashName(binary) != expected) {
        appendLogLine(log, title, true, expected, error);
        return false;
    }
    // A matching hash proves only that the server sent what it named, not that it decodes.
    std::optional<UpdateDocument> restored = documentFromBinary(binary, &error);
    if (!restored) {
        qCWarning(lcDocument).noquote() << url << error;
        appendLogLine(log, title, true, url, tr("Fehler beim Laden des JSON-Dokuments."));
        return false;
    }
    document = std::move(*restored);
    return true;
}

bool offlineStatementAccepted(OfflineFileReader &reader, const QByteArray &document,
                              const ReleaseTrust &trust, QVector<LoadMessage> &messages,
                              std::optional<quint64> &releaseNumber)
{
    const std::optional<QByteArray> statement = reader.readStatement();
    StatementRefusal refusal {statementRefusedTitle(), tr("Die Datei enthält keine Signatur.")};
    releaseNumber = statement
        ? acceptStatement(*statement, reader.releaseYear(), hashName(document), trust,
                          trust.allowOlder, &refusal)
        : std::nullopt;
    if (!releaseNumber)
        messages.append({refusal.title, refusal.reason});
    return releaseNumber.has_value();
}

// Payloads stay in the file until the update check needs one; it expands and verifies them
// into the temporary store then.
void readRecordPlaces(OfflineFileReader &reader, OfflineLoad &load)
{
    OfflineRecordPlace record;
    for (qint32 i = 0; i < reader.recordCount() && reader.skipRecord(&record); ++i) {
        OfflineEntry entry;
        entry.size = record.statedSize;
        entry.groupIndex = record.groupIndex;
        entry.fileIndex = record.fileIndex;
        entry.sourceOffset = record.payloadOffset;
        entry.sourceLength = record.payloadLength;
        load.index.insert(record.hashName, entry);
    }
    if (reader.hasStreamError())
        load.messages.append({tr("Fehler beim Laden der Datei:"), tr("Dateifehler.")});
}

} // namespace

bool loadOnlineDocument(int currentYear, const ReleaseFetch &fetch, const ReleaseTrust &trust,
                        ActivityLog &log, int &releaseYear, UpdateDocument &document,
                        std::optional<quint64> &releaseNumber)
{
    for (int year : {currentYear + 1, currentYear}) {
        releaseYear = year;
        if (tryReleaseFolder(year, fetch, trust, log, document, releaseNumber))
            return true;
    }
    return false;
}

OfflineLoad loadOfflineFile(const QString &path, const ReleaseTrust &trust,
                            const OfflineFileLayout *known)
{
    OfflineLoad load;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        load.messages.append({tr("Fehler beim Lesen der Datei:"), file.errorString()});
        return load;
    }
    OfflineFileReader reader(&file);
    if (!reader.readHeader()) {
        load.messages.append({tr("Fehler beim Lesen der Datei:"), tr("Falsche Datei.")});
        return load;
    }
    load.releaseYear = reader.releaseYear();
    if (known && known->fileSize == file.size() && known->releaseYear == reader.releaseYear()
        && known->records.size() == reader.recordCount() && file.seek(known->documentOffset))
        load.index = known->records;
    else
        readRecordPlaces(reader, load);

    QString error;
    const QByteArray binary = expandDocumentPayload(reader.readDocumentPayload());
    // Nothing of a document is read before its statement is accepted. Refused, the file is as
    // good as unread: whatever the server gave stands.
    if (trust.required()
        && !offlineStatementAccepted(reader, binary, trust, load.messages, load.releaseNumber)) {
        load.outcome = OfflineLoad::NotRead;
        return load;
    }
    std::optional<UpdateDocument> document = documentFromBinary(binary, &error);
    if (!document) {
        qCWarning(lcDocument).noquote() << path << error;
        load.messages.append(
            {tr("Fehler beim Laden der Datei:"), tr("Fehler beim Laden des JSON-Dokuments.")});
        load.outcome = OfflineLoad::DocumentBroken;
        return load;
    }
    load.document = std::move(*document);
    load.outcome = OfflineLoad::Loaded;
    return load;
}
