#pragma once

// Folders held open while files are written into them, and the calls on the names in such a
// folder. Every name is opened relative to the folder's handle (NtCreateFile with the handle as
// the root), never by a path, and a symbolic link or junction at the name is opened itself,
// never followed: whoever may write the folder cannot steer these calls elsewhere, even by
// turning the folder itself into a junction. Plain C++ on the Win32 and native API, as the rest
// of this layer. The calls that fail return false (or null) with the last error set.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace win32 {

// Opens a folder by its path to hold it: shared for reading and writing but not for deletion,
// so that the system refuses to rename or remove it until closeHeld. Links on the way and
// at the path are followed: this is the root the user chose.
void *openHeldRoot(const std::wstring &path);
// Opens (and with `create` first makes) the folder `name` in a held folder, held the same way.
// A reparse point at the name is refused with *isReparsePoint set (ERROR_CANT_ACCESS_FILE), a
// file with ERROR_DIRECTORY.
void *openHeldFolderIn(void *folder, const std::wstring &name, bool create, bool *isReparsePoint);
// Closes a handle of openHeldRoot, openHeldFolderIn or lockFileIn.
void closeHeld(void *handle);

enum class EntryKind { Missing, File, Folder, Other }; // Other: a reparse point, or unreadable
EntryKind entryKindIn(void *folder, const std::wstring &name);
// The names in the folder with their kinds, "." and ".." left out.
bool listFolder(void *folder, std::vector<std::pair<std::wstring, EntryKind>> *entries);

// A new file for writing, as a C runtime descriptor in binary mode; -1 when anything has the
// name already, a link included.
int createFileIn(void *folder, const std::wstring &name);
// Removes a file or a reparse point itself; a folder is refused.
bool removeIn(void *folder, const std::wstring &name);
// Renames source over target in the same folder in one step (FileRenameInfo, replacing).
bool replaceIn(void *folder, const std::wstring &source, const std::wstring &target);
// Clears the read-only attribute of a file; a reparse point is left as it is (true), and a
// file with other names (hard links) is refused.
bool makeWritableIn(void *folder, const std::wstring &name);
// Sets the three times of the entry `name` (not of a file with other names), or of the folder
// itself when the name is empty.
bool setTimesIn(void *folder, const std::wstring &name, std::int64_t created, std::int64_t written,
                std::int64_t accessed);
// Opens the lock file `name` (made when missing) for reading and writing, shared for reading
// only, so that no other process can open it for writing while it is held; held until
// closeHeld. A reparse point or a file with other names is
// refused; another holder sets *heldByAnother.
void *lockFileIn(void *folder, const std::wstring &name, bool *heldByAnother);
// FlushFileBuffers on the file `name`.
bool flushIn(void *folder, const std::wstring &name);

} // namespace win32
