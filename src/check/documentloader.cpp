#include "check/documentloader.h"

#include "check/releasetrust.h"

#include "common/logcategories.h"
#include "platform/platform.h"

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

// One year's folder on the server, tried once.
class ReleaseFolder
{
public:
    ReleaseFolder(int year, const ReleaseFetch &fetch, const ReleaseTrust &trust, OnlineLoad &load)
        : year(year)
        , fetch(fetch)
        , trust(trust)
        , load(load)
    {
    }

    bool tryLoad()
    {
        const std::optional<QString> name = trust.required() ? signedDocumentName() : infoName();
        return name && loadDocument(*name);
    }

private:
    bool fetchFile(const QString &fileName, qint64 maxBytes, QByteArray *data)
    {
        return fetch(year, fileName, maxBytes, data, &url, &error);
    }

    void fail(const QString &title, const QString &detail1, const QString &detail2, bool refused)
    {
        appendLogLine(load.log, title, true, detail1, detail2);
        if (refused)
            appendLogLine(load.refusals, title, true, detail1, detail2);
    }

    // The whole text of "info.bin" names the document data file: a trailing line break is a
    // wrong name.
    std::optional<QString> infoName()
    {
        QByteArray info;
        if (!fetchFile(QStringLiteral("info.bin"), infoFileLimit, &info)) {
            fail(infoTitle(), url, error, false);
            return std::nullopt;
        }
        return QString::fromUtf8(info);
    }

    // A client with the publisher's keys takes a release only with its statement, and the
    // document the statement names: what the publisher did not sign is not even read, and an
    // "info.bin" that changes while the publisher republishes does not matter.
    std::optional<QString> signedDocumentName()
    {
        QByteArray statement;
        if (!fetchFile(releaseStatementFileName, releaseStatementLimit, &statement)) {
            const QString statementUrl = url;
            const QString statementError = error;
            // A folder without any release is no refusal; one with an unsigned release is.
            if (infoName())
                refuse({statementRefusedTitle(), statementError}, statementUrl);
            return std::nullopt;
        }
        StatementRefusal refusal;
        load.release = acceptStatement(statement, year, QString(), trust, false, &refusal);
        if (!load.release) {
            refuse(refusal, url);
            return std::nullopt;
        }
        return load.release->documentHash + QLatin1String(".bin");
    }

    void refuse(const StatementRefusal &refusal, const QString &statementUrl)
    {
        fail(refusal.title, statementUrl, refusal.reason, true);
        load.trustRefusal = refusal;
    }

    bool loadDocument(const QString &name)
    {
        QByteArray payload;
        if (!fetchFile(name, documentFileLimit, &payload)) {
            fail(infoTitle(), url, error, false);
            return false;
        }
        // The hash is of the expanded bytes: a payload that states more than a document can be
        // is refused before they are made.
        const QByteArray binary = expandDocumentPayload(payload);
        const QString expected = QString(name).remove(QStringLiteral(".bin"));
        if (hashName(binary) != expected) {
            refuseDocument(expected, error,
                           tr("Das Update-Dokument hat nicht den Hash-Wert %1.").arg(expected));
            return false;
        }
        // A matching hash proves only that the server sent what it named, not that it decodes.
        std::optional<UpdateDocument> restored = documentFromBinary(binary, &error);
        if (!restored) {
            qCWarning(lcDocument).noquote() << url << error;
            // The reader's reason too: the line stays in sight when another year loads.
            const QString reason =
                tr("Fehler beim Laden des JSON-Dokuments.") + QLatin1Char(' ') + error;
            refuseDocument(url, reason, reason);
            return false;
        }
        load.document = std::move(*restored);
        return true;
    }

    // The server sent a document, and it was not the one named, or does not decode. To a client
    // with keys that is a refused release: the statement named that document.
    void refuseDocument(const QString &detail1, const QString &detail2, const QString &reason)
    {
        fail(infoTitle(), detail1, detail2, true);
        if (trust.required())
            load.trustRefusal = StatementRefusal {infoTitle(), reason};
    }

    static QString infoTitle() { return tr("Fehler beim Laden der Infodatei:"); }

    const int year;
    const ReleaseFetch &fetch;
    const ReleaseTrust &trust;
    OnlineLoad &load;
    QString url;
    QString error;
};

bool offlineStatementAccepted(OfflineFileReader &reader, const QByteArray &document,
                              const ReleaseTrust &trust, QVector<LoadMessage> &messages,
                              std::optional<AcceptedRelease> &release)
{
    const std::optional<QByteArray> statement = reader.readStatement();
    StatementRefusal refusal {statementRefusedTitle(), tr("Die Datei enthält keine Signatur.")};
    release = statement ? acceptStatement(*statement, reader.releaseYear(), hashName(document),
                                          trust, trust.allowOlder, &refusal)
                        : std::nullopt;
    if (!release)
        messages.append({refusal.title, refusal.reason});
    return release.has_value();
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

OnlineLoad loadOnlineDocument(int currentYear, const ReleaseFetch &fetch, const ReleaseTrust &trust)
{
    OnlineLoad load;
    // Without its record no signed release can be told apart from an older one: nothing is
    // fetched.
    if (trust.required()) {
        if (const std::optional<StatementRefusal> refusal = recordRefusal(trust)) {
            appendLogLine(load.log, refusal->title, true, trust.recordPath, trust.recordError);
            load.refusals = load.log;
            load.trustRefusal = refusal;
            load.releaseYear = currentYear;
            return load;
        }
    }
    for (int year : {currentYear + 1, currentYear}) {
        load.releaseYear = year;
        load.release.reset();
        if (ReleaseFolder(year, fetch, trust, load).tryLoad()) {
            load.loaded = true;
            return load;
        }
    }
    load.release.reset();
    return load;
}

OfflineLoad loadOfflineFile(const QString &path, const ReleaseTrust &trust,
                            const OfflineFileLayout *known)
{
    OfflineLoad load;
    QFile file;
    QString error;
    // A pipe, or a device, would hold the window before it appears.
    if (openRegularFile(&file, path, true, &error) != RegularFileOpen::Opened) {
        load.messages.append({tr("Fehler beim Lesen der Datei:"), error});
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

    const QByteArray binary = expandDocumentPayload(reader.readDocumentPayload());
    // Nothing of a document is read before its statement is accepted. Refused, the file is as
    // good as unread: whatever the server gave stands.
    if (trust.required()
        && !offlineStatementAccepted(reader, binary, trust, load.messages, load.release)) {
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
