#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <optional>

class QJsonObject;

// One file or folder of an update group: where it goes below the application base directory,
// the hash name and size of its content, and the source file's three times.
struct FileEntry
{
    QString targetPath; // "/" separators, relative to the application base directory
    bool isDir = false;
    QString sha256; // empty for a folder
    qint64 size = 0;
    // ISO 8601 local times as the builder wrote them (with or without milliseconds).
    QString created;
    QString modified;
    QString accessed;

    static QDateTime timeOf(const QString &text);
};

// How the client treats a group, from its "type" compared without letter case: exec groups
// start an edition, elster groups carry plug-ins, the updater group holds the updater itself;
// every other type carries plain files.
enum class GroupKind { Files, Exec, Elster, Updater };

struct UpdateGroup
{
    QString name;
    QString version;
    QString os; // operating-system keys separated by ";"
    QString type; // as the publisher wrote it
    int subtype = -1; // the edition an exec group starts; -1 for other groups
    bool beta = false;
    bool cert = false;
    QString active; // preselected unless exactly "0"
    QString disable; // locked when exactly "1"
    std::optional<QString> info;
    qint64 size = 0; // bytes of all files
    QVector<FileEntry> files; // "count" in the document is their number

    GroupKind kind() const;
    bool preselected() const { return active != QLatin1String("0"); }
    bool locked() const { return disable == QLatin1String("1"); }
};

struct MainInfo
{
    QString os;
    QString info; // rich text
};

// The update document: what a release holds, as builder and client share it.
struct UpdateDocument
{
    QString version;
    QVector<MainInfo> mainInfos;
    QVector<UpdateGroup> groups;

    // The file entry at a group and file index; both must be valid.
    const FileEntry &entry(int groupIndex, int fileIndex) const
    {
        return groups.at(groupIndex).files.at(fileIndex);
    }
};

// The update document travels as Qt 5 binary JSON; published packages and offline files in
// the field carry that form, so it stays even though the toolkit marks it as legacy. The
// builder writes every document through this one function, so key names and value types stay
// those that clients in the field read.
QByteArray documentToBinary(const UpdateDocument &document);

// Restores the document with a reader of our own that withstands hostile bytes (see
// binaryjsonreader.h), then takes every key it needs with its type. Damaged bytes, or a key
// that is missing or of the wrong type, give nothing and one line in *error that says which.
std::optional<UpdateDocument> documentFromBinary(const QByteArray &data, QString *error);

// Nothing near this size is an update document (a release's is a few hundred kilobytes):
// larger ones, compressed or expanded, are refused before memory is taken for them.
constexpr qint64 documentSizeLimit = 64 * 1024 * 1024;

// The binary JSON in a document's compressed payload; empty when damaged or when the payload
// states more than documentSizeLimit, which is refused before memory is taken for it.
QByteArray expandDocumentPayload(const QByteArray &payload);

// The document from its compressed payload; nothing when damaged or beyond documentSizeLimit.
std::optional<UpdateDocument> documentFromPayload(const QByteArray &payload, QString *error);

// The same model as JSON, for the builder's debug output.
QJsonObject documentToJson(const UpdateDocument &document);
