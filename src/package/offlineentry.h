#pragma once

#include <QMultiMap>
#include <QString>

// Where one file entry's expanded payload lies in the temporary store, and whether the
// installation still has to write it. Folder entries have no payload (offset and size 0).
struct OfflineEntry
{
    qint64 offset = 0;
    qint64 size = 0;
    qint32 groupIndex = 0;
    qint32 fileIndex = 0;
    bool pending = false;

    // Entries stand for the same file entry when their indices agree.
    friend bool operator==(const OfflineEntry &a, const OfflineEntry &b)
    {
        return a.groupIndex == b.groupIndex && a.fileIndex == b.fileIndex;
    }
    friend bool operator!=(const OfflineEntry &a, const OfflineEntry &b) { return !(a == b); }
};

// Keyed by the file entry's hash name; folders have the empty key.
using OfflineIndex = QMultiMap<QString, OfflineEntry>;
