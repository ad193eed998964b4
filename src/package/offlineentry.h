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
    // While the payload still lies compressed in the offline update file, where it lies there
    // (-1 once it is expanded into the store); `size` is then the size it states.
    qint64 sourceOffset = -1;
    qint64 sourceLength = 0;

    // Entries stand for the same file entry when their indices agree.
    friend bool operator==(const OfflineEntry &a, const OfflineEntry &b)
    {
        return a.groupIndex == b.groupIndex && a.fileIndex == b.fileIndex;
    }
    friend bool operator!=(const OfflineEntry &a, const OfflineEntry &b) { return !(a == b); }
};

// Keyed by the file entry's hash name; folders have the empty key.
using OfflineIndex = QMultiMap<QString, OfflineEntry>;
