#pragma once

#include "package/offlineentry.h"

#include <QByteArray>
#include <QString>

// The offline update file: QDataStream version 17 (Qt 5.6), big-endian. Identifier (QString),
// release year (qint32), record count (qint32, at byte offset 80), the file records (hash name
// QString, group index qint32, file index qint32, compressed payload QByteArray), then the
// document's compressed payload (QByteArray). A signed release then adds the trailer tag
// (QByteArray) and the release's statement (QByteArray); readers that stop after the document
// never see them.
namespace OfflineFile {

const int streamVersion = 17;
const qint64 recordCountOffset = 80;

inline QByteArray statementTag()
{
    return QByteArrayLiteral("Ledgora-Release-Statement");
}

inline QString identifier()
{
    return QStringLiteral("9efe37a7-b219-44c4-a500-859a954ea863");
}

} // namespace OfflineFile

// Where the records and the document of a finished offline update file lie, as its writer knows
// them: what a reader would find by reading every record, without reading them.
struct OfflineFileLayout
{
    qint32 releaseYear = 0;
    OfflineIndex records; // payloads still in the file, as OfflineEntry describes them
    qint64 documentOffset = 0; // of the document's length field
    qint64 fileSize = 0;
};
