#include "check/localfile.h"

#include "package/hashname.h"
#include "package/targetpath.h"

LocalFile compareLocalFile(const QString &fullPath, const QString &sha256, QString *error)
{
    switch (localEntryAt(fullPath)) {
    case LocalEntry::Missing:
        return LocalFile::Missing;
    case LocalEntry::Folder:
        return LocalFile::Folder;
    case LocalEntry::Other:
        return LocalFile::Differs;
    case LocalEntry::File:
        break;
    }
    // A file that cannot be read to its end counts as unreadable, not as different.
    QString hash;
    if (!hashNameOfFile(fullPath, &hash, error))
        return LocalFile::Unreadable;
    return hash == sha256 ? LocalFile::Current : LocalFile::Differs;
}
