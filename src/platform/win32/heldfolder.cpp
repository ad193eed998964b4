#include "platform/win32/heldfolder.h"
#include "platform/win32/win32services.h"

// windows.h first: the other Windows headers rely on its definitions.
#include <windows.h>

#include <io.h>
#include <winternl.h>

namespace win32 {

namespace {

constexpr ULONG shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A held folder may be read and written by others, not renamed or removed.
constexpr ULONG shareHeld = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ACCESS_MASK heldAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

bool fail(DWORD error)
{
    SetLastError(error);
    return false;
}

// One name in the folder, opened from the folder's handle; a reparse point at the name is
// opened itself. A name that would lead further (separators, dots) is refused.
HANDLE openIn(HANDLE folder, const std::wstring &name, ACCESS_MASK access, ULONG share,
              ULONG disposition, ULONG options)
{
    if (name.empty() || name == L"." || name == L".."
        || name.find_first_of(L"\\/") != std::wstring::npos || name.size() > 32767) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status;
    HANDLE handle = nullptr;
    const NTSTATUS result = NtCreateFile(
        &handle, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
        disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    if (result < 0) {
        SetLastError(RtlNtStatusToDosError(result));
        return nullptr;
    }
    return handle;
}

EntryKind kindOf(DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return EntryKind::Other;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder : EntryKind::File;
}

// Closes the handle when it goes out of scope, keeping the thread's last error.
class Opened
{
public:
    explicit Opened(HANDLE handle)
        : handle(handle)
    {
    }
    ~Opened()
    {
        if (handle) {
            const DWORD error = GetLastError();
            CloseHandle(handle);
            SetLastError(error);
        }
    }
    Opened(const Opened &) = delete;
    Opened &operator=(const Opened &) = delete;
    HANDLE get() const { return handle; }
    HANDLE release()
    {
        HANDLE released = handle;
        handle = nullptr;
        return released;
    }
    bool attributes(DWORD *found, DWORD *links = nullptr) const
    {
        BY_HANDLE_FILE_INFORMATION information;
        if (!GetFileInformationByHandle(handle, &information))
            return false;
        *found = information.dwFileAttributes;
        if (links)
            *links = information.nNumberOfLinks;
        return true;
    }
    // A file of this name only: one with other names (hard links) may lie outside.
    bool isOwnFile() const
    {
        DWORD attributes = 0;
        DWORD links = 0;
        if (!this->attributes(&attributes, &links))
            return false;
        if (kindOf(attributes) == EntryKind::File && links == 1)
            return true;
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }

private:
    HANDLE handle;
};

// A held folder: no reparse point, and a folder.
void *held(Opened &folder, bool *isReparsePoint)
{
    DWORD attributes = 0;
    if (!folder.attributes(&attributes))
        return nullptr;
    *isReparsePoint = attributes & FILE_ATTRIBUTE_REPARSE_POINT;
    if (!*isReparsePoint && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return folder.release();
    SetLastError(*isReparsePoint ? ERROR_CANT_ACCESS_FILE : ERROR_DIRECTORY);
    return nullptr;
}

} // namespace

void *openHeldRoot(const std::wstring &path)
{
    HANDLE handle = CreateFileW(extendedPath(path).c_str(), heldAccess | SYNCHRONIZE, shareHeld,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    Opened folder(handle);
    bool isReparsePoint = false;
    return held(folder, &isReparsePoint);
}

void *openHeldFolderIn(void *parent, const std::wstring &name, bool create, bool *isReparsePoint)
{
    *isReparsePoint = false;
    Opened folder(openIn(parent, name, heldAccess, shareHeld, create ? FILE_OPEN_IF : FILE_OPEN,
                         FILE_DIRECTORY_FILE));
    if (!folder.get()) {
        // A link to a file is no folder either; say which it is.
        *isReparsePoint = entryKindIn(parent, name) == EntryKind::Other;
        return nullptr;
    }
    return held(folder, isReparsePoint);
}

void closeHeld(void *handle)
{
    CloseHandle(handle);
}

EntryKind entryKindIn(void *folder, const std::wstring &name)
{
    Opened entry(openIn(folder, name, FILE_READ_ATTRIBUTES, shareAll, FILE_OPEN, 0));
    DWORD attributes = 0;
    if (entry.get() && entry.attributes(&attributes))
        return kindOf(attributes);
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryKind::Missing
                                                                          : EntryKind::Other;
}

bool listFolder(void *folder, std::vector<std::pair<std::wstring, EntryKind>> *entries)
{
    alignas(8) char buffer[64 * 1024];
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(folder, kind, buffer, sizeof buffer)) {
        kind = FileIdBothDirectoryInfo;
        for (const char *at = buffer;;) {
            const auto *entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO *>(at);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..")
                entries->push_back({name, kindOf(entry->FileAttributes)});
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
    return GetLastError() == ERROR_NO_MORE_FILES;
}

int createFileIn(void *folder, const std::wstring &name)
{
    Opened file(openIn(folder, name, FILE_GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                       FILE_CREATE, FILE_NON_DIRECTORY_FILE));
    if (!file.get())
        return -1;
    // Without _O_TEXT the descriptor is binary: bytes are written as they are.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), 0);
    if (fd >= 0)
        file.release();
    return fd;
}

bool removeIn(void *folder, const std::wstring &name)
{
    Opened entry(openIn(folder, name, DELETE | FILE_READ_ATTRIBUTES, shareAll, FILE_OPEN, 0));
    DWORD attributes = 0;
    if (!entry.get() || !entry.attributes(&attributes))
        return false;
    if (kindOf(attributes) == EntryKind::Folder)
        return fail(ERROR_ACCESS_DENIED);
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition,
                                      sizeof disposition)
        != FALSE;
}

bool replaceIn(void *folder, const std::wstring &source, const std::wstring &target)
{
    Opened file(openIn(folder, source, DELETE | FILE_READ_ATTRIBUTES, shareAll, FILE_OPEN,
                       FILE_NON_DIRECTORY_FILE));
    if (!file.get())
        return false;
    if (target.empty() || target.find_first_of(L"\\/") != std::wstring::npos)
        return fail(ERROR_INVALID_NAME);
    // The new name is relative to the folder's handle, as the source's is. The native call
    // takes it so; Wine's SetFileInformationByHandle would make it a path below the current
    // folder. FILE_RENAME_INFO has the layout of the native FILE_RENAME_INFORMATION.
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto *rename = reinterpret_cast<FILE_RENAME_INFO *>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    target.copy(rename->FileName, target.size());
    IO_STATUS_BLOCK status;
    const NTSTATUS result = NtSetInformationFile(
        file.get(), &status, rename, static_cast<ULONG>(buffer.size()), FileRenameInformation);
    return result >= 0 || fail(RtlNtStatusToDosError(result));
}

bool makeWritableIn(void *folder, const std::wstring &name)
{
    Opened entry(
        openIn(folder, name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, shareAll, FILE_OPEN, 0));
    DWORD attributes = 0;
    if (!entry.get() || !entry.attributes(&attributes))
        return false;
    // The attributes of a link are not those of what it points to; that is not ours to change.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return true;
    if (!entry.isOwnFile())
        return false;
    FILE_BASIC_INFO basic = {}; // times of 0 stay as they are
    basic.FileAttributes = attributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(entry.get(), FileBasicInfo, &basic, sizeof basic) != FALSE;
}

bool setTimesIn(void *folder, const std::wstring &name, std::int64_t created, std::int64_t written,
                std::int64_t accessed)
{
    if (name.empty())
        return setFileTimesOfHandle(folder, created, written, accessed);
    Opened entry(
        openIn(folder, name, FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES, shareAll, FILE_OPEN, 0));
    DWORD attributes = 0;
    if (!entry.get() || !entry.attributes(&attributes))
        return false;
    if (kindOf(attributes) != EntryKind::Folder && !entry.isOwnFile())
        return false;
    return setFileTimesOfHandle(entry.get(), created, written, accessed);
}

void *lockFileIn(void *folder, const std::wstring &name, bool *heldByAnother)
{
    Opened file(openIn(folder, name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, FILE_OPEN_IF,
                       FILE_NON_DIRECTORY_FILE));
    *heldByAnother = !file.get() && GetLastError() == ERROR_SHARING_VIOLATION;
    if (!file.get() || !file.isOwnFile())
        return nullptr;
    return file.release();
}

bool flushIn(void *folder, const std::wstring &name)
{
    Opened file(
        openIn(folder, name, FILE_GENERIC_WRITE, shareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE));
    return file.get() && FlushFileBuffers(file.get()) != FALSE;
}

} // namespace win32
