#include "platform/win32/win32services.h"

// windows.h first: the other Windows headers rely on its definitions.
#include <windows.h>

#include <io.h>
#include <shellapi.h>

namespace win32 {

namespace {

// Closes a kernel handle when it goes out of scope, keeping the thread's last error.
class Handle
{
public:
    explicit Handle(HANDLE handle)
        : m_handle(handle)
    {
    }
    ~Handle()
    {
        if (valid()) {
            const DWORD lastError = GetLastError();
            CloseHandle(m_handle);
            SetLastError(lastError);
        }
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    bool valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

FILETIME fileTime(std::int64_t value)
{
    const auto bits = static_cast<std::uint64_t>(value);
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(bits & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<DWORD>(bits >> 32);
    return result;
}

bool setTimesOnHandle(HANDLE handle, std::int64_t created, std::int64_t written,
                      std::int64_t accessed)
{
    const FILETIME c = fileTime(created);
    const FILETIME a = fileTime(accessed);
    const FILETIME w = fileTime(written);
    return SetFileTime(handle, &c, &a, &w) != FALSE;
}

std::wstring trimmed(const std::wstring &text)
{
    const auto first = text.find_first_not_of(L" \t\r\n\v\f");
    if (first == std::wstring::npos)
        return std::wstring();
    const auto last = text.find_last_not_of(L" \t\r\n\v\f");
    return text.substr(first, last - first + 1);
}

struct WindowSearch
{
    DWORD processId;
    bool found;
};

BOOL CALLBACK matchWindowProcess(HWND window, LPARAM parameter)
{
    auto *search = reinterpret_cast<WindowSearch *>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::wstring extendedPath(const std::wstring &path)
{
    // CreateDirectoryW's limit: MAX_PATH less room for an 8.3 file name.
    constexpr std::size_t shortEnough = MAX_PATH - 12;
    if (path.size() < shortEnough || path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring errorText(std::uint32_t code)
{
    if (code == 0)
        code = GetLastError();
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text;
    if (buffer && length > 0)
        text = trimmed(std::wstring(buffer, length));
    else
        text = L"Unknown Error " + std::to_wstring(code);
    if (buffer)
        LocalFree(buffer);
    return text;
}

bool isElevated()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    Handle guard(token);
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size))
        return false;
    return elevation.TokenIsElevated != 0;
}

bool setFileTimes(const std::wstring &path, bool isDirectory, std::int64_t created,
                  std::int64_t written, std::int64_t accessed)
{
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if (isDirectory)
        flags |= FILE_FLAG_BACKUP_SEMANTICS;
    Handle file(CreateFileW(extendedPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, flags, nullptr));
    if (!file.valid())
        return false;
    return setTimesOnHandle(file.get(), created, written, accessed);
}

bool setFileTimesOfHandle(void *handle, std::int64_t created, std::int64_t written,
                          std::int64_t accessed)
{
    return setTimesOnHandle(handle, created, written, accessed);
}

bool setFileTimesOfDescriptor(int fd, std::int64_t created, std::int64_t written,
                              std::int64_t accessed)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    return setTimesOnHandle(handle, created, written, accessed);
}

bool flushFileBuffersOfDescriptor(int fd)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return FlushFileBuffers(handle) != FALSE;
}

bool replaceFile(const std::wstring &source, const std::wstring &target)
{
    return MoveFileExW(extendedPath(source).c_str(), extendedPath(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
        != FALSE;
}

PathKind pathKind(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(extendedPath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? PathKind::ReparsePoint
                                                           : PathKind::Other;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::Missing
                                                                          : PathKind::Other;
}

bool processIsRunning(std::uint32_t processId)
{
    if (processId == 0)
        return false;
    Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process.valid())
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    return GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE;
}

bool processHasTopLevelWindow(std::uint32_t processId)
{
    WindowSearch search = {processId, false};
    EnumWindows(matchWindowProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void sleepMilliseconds(std::uint32_t milliseconds)
{
    Sleep(milliseconds);
}

namespace {

std::wstring quotedArgument(const std::wstring &argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    for (auto it = argument.begin();; ++it) {
        std::size_t backslashes = 0;
        for (; it != argument.end() && *it == L'\\'; ++it)
            ++backslashes;
        // Backslashes are literal unless a quote follows them, and the closing quote follows
        // the last ones: those are doubled.
        if (it == argument.end()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        if (*it == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        quoted.push_back(*it);
    }
    quoted.push_back(L'"');
    return quoted;
}

} // namespace

std::wstring commandLineOf(const std::vector<std::wstring> &arguments)
{
    std::wstring line;
    for (const std::wstring &argument : arguments) {
        if (!line.empty())
            line.push_back(L' ');
        line += quotedArgument(argument);
    }
    return line;
}

bool shellExecute(const std::wstring &verb, const std::wstring &file,
                  const std::wstring &parameters)
{
    const HINSTANCE result =
        ShellExecuteW(nullptr, verb.empty() ? nullptr : verb.c_str(), file.c_str(),
                      parameters.c_str(), nullptr, SW_SHOWNORMAL);
    // The shell's documented rule: a value above 32 means started.
    return reinterpret_cast<std::intptr_t>(result) > 32;
}

bool moveFile(const std::wstring &source, const std::wstring &target)
{
    return MoveFileW(extendedPath(source).c_str(), extendedPath(target).c_str()) != FALSE;
}

bool createDirectories(const std::wstring &path)
{
    std::wstring folder = path;
    while (!folder.empty() && (folder.back() == L'/' || folder.back() == L'\\'))
        folder.pop_back();
    const std::wstring extended = extendedPath(folder);
    const DWORD attributes = GetFileAttributesW(extended.c_str());
    if (folder.empty()
        || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)))
        return true;
    const std::size_t parent = folder.find_last_of(L"/\\");
    if (parent != std::wstring::npos && parent > 0 && folder[parent - 1] != L':'
        && !createDirectories(folder.substr(0, parent)))
        return false;
    if (CreateDirectoryW(extended.c_str(), nullptr))
        return true;
    // Made by someone else meanwhile is no failure; a file of that name is.
    const DWORD error = GetLastError();
    const DWORD now = GetFileAttributesW(extended.c_str());
    if (now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    SetLastError(error);
    return false;
}

} // namespace win32
