#include "documentloader.h"
#include "logline.h"
#include "userdialogs.h"

#include "package/hashname.h"
#include "package/offlinefilereader.h"
#include "package/payload.h"
#include "package/payloadstore.h"
#include "package/updatedocument.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QTemporaryFile>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// "info.bin" holds a name of 68 characters; a document data file of a real release is a few
// hundred kilobytes. Anything far larger is not a release.
constexpr qint64 infoFileLimit = 4096;
constexpr qint64 documentFileLimit = documentSizeLimit;

bool tryReleaseFolder(int year, const ReleaseFetch &fetch, QString &log, QJsonDocument &document)
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
    QByteArray payload;
    if (!fetch(year, name, documentFileLimit, &payload, &url, &error)) {
        appendLogLine(log, title, true, url, error);
        return false;
    }
    // The hash is of the expanded bytes: a payload that states more than a document can be is
    // refused before they are made.
    const QByteArray binary =
        statedPayloadSize(payload) <= documentSizeLimit ? expandPayload(payload) : QByteArray();
    const QString expected = QString(name).remove(QStringLiteral(".bin"));
    if (hashName(binary) != expected) {
        appendLogLine(log, title, true, expected, error);
        return false;
    }
    // A matching hash proves only that the server sent what it named, not that it decodes.
    document = documentFromBinary(binary);
    if (document.isNull()) {
        appendLogLine(log, title, true, url, tr("Fehler beim Laden des JSON-Dokuments."));
        return false;
    }
    return true;
}

} // namespace

bool loadOnlineDocument(int currentYear, const ReleaseFetch &fetch, QString &log, int &releaseYear,
                        QJsonDocument &document)
{
    for (int year : {currentYear + 1, currentYear}) {
        releaseYear = year;
        if (tryReleaseFolder(year, fetch, log, document))
            return true;
    }
    return false;
}

OfflineLoad loadOfflineFile(const QString &path, UserDialogs &dialogs, QWidget *parent,
                            const OfflineTarget &target)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        dialogs.information(parent, tr("Fehler beim Lesen der Datei:"), file.errorString());
        return OfflineLoad::NotRead;
    }
    OfflineFileReader reader(&file);
    if (!reader.readHeader()) {
        dialogs.information(parent, tr("Fehler beim Lesen der Datei:"), tr("Falsche Datei."));
        return OfflineLoad::NotRead;
    }
    target.releaseYear = reader.releaseYear();

    // Payloads stay in the file until the update check needs one; it expands and verifies
    // them into the temporary store then.
    OfflineRecordPlace record;
    for (qint32 i = 0; i < reader.recordCount() && reader.skipRecord(&record); ++i) {
        OfflineEntry entry;
        entry.size = record.statedSize;
        entry.groupIndex = record.groupIndex;
        entry.fileIndex = record.fileIndex;
        entry.sourceOffset = record.payloadOffset;
        entry.sourceLength = record.payloadLength;
        target.index.insert(record.hashName, entry);
    }
    if (reader.hasStreamError())
        dialogs.information(parent, tr("Fehler beim Laden der Datei:"), tr("Dateifehler."));

    target.document = documentFromPayload(reader.readDocumentPayload());
    if (target.document.isNull()) {
        dialogs.information(parent, tr("Fehler beim Laden der Datei:"),
                            tr("Fehler beim Laden des JSON-Dokuments."));
        return OfflineLoad::DocumentBroken;
    }
    return OfflineLoad::Loaded;
}
