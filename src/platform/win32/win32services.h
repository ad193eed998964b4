#pragma once

// The updater's Windows calls in plain C++ on the Win32 API: wide strings, FILETIME counts as
// 64-bit integers, no toolkit types, so that this layer is built with mingw-w64 and tested
// under Wine on its own.

#include <cstdint>
#include <string>
#include <vector>

namespace win32 {

// The path in the form that Win32 file calls accept beyond MAX_PATH characters: made absolute
// with backslashes and without "." and ".." steps (GetFullPathNameW), then prefixed "\\?\"
// (a UNC path "\\?\UNC\"). A path short enough for every call comes back unchanged, so that
// ordinary paths keep their ordinary handling. Every file call below goes through it.
std::wstring extendedPath(const std::wstring &path);

// FormatMessageW's text for code (0: GetLastError()), trimmed of surrounding white space;
// "Unknown Error <code>" when the system has none.
std::wstring errorText(std::uint32_t code);

// The process token's TokenElevation; false when it cannot be queried.
bool isElevated();

// Opens path without sharing (FILE_FLAG_BACKUP_SEMANTICS for a folder, which a folder needs)
// and sets the three times. The last error of a failed call survives the closing of the handle.
bool setFileTimes(const std::wstring &path, bool isDirectory, std::int64_t created,
                  std::int64_t written, std::int64_t accessed);
// The same on an open handle with FILE_WRITE_ATTRIBUTES access.
bool setFileTimesOfHandle(void *handle, std::int64_t created, std::int64_t written,
                          std::int64_t accessed);
// The same on the handle behind a C runtime file descriptor, which stays open.
bool setFileTimesOfDescriptor(int fd, std::int64_t created, std::int64_t written,
                              std::int64_t accessed);

// FlushFileBuffers on the handle behind a C runtime file descriptor: what was written reaches
// the disk before the call returns.
bool flushFileBuffersOfDescriptor(int fd);

// Moves source over target in one step (MoveFileExW with MOVEFILE_REPLACE_EXISTING and
// MOVEFILE_WRITE_THROUGH): the target is either the old file or the new one, never a mix.
bool replaceFile(const std::wstring &source, const std::wstring &target);

// What is at a path without following it. Missing only when the system says that nothing is
// there or that a folder on the way is missing; a path it cannot look at (access denied) is
// Other. A reparse point is a symbolic link or a junction, whether its target exists or not.
enum class PathKind { Missing, ReparsePoint, Other };
PathKind pathKind(const std::wstring &path);

// Whether a top-level window belongs to the process (EnumWindows, GetWindowThreadProcessId).
// True while the process exists and has not ended.
bool processIsRunning(std::uint32_t processId);

bool processHasTopLevelWindow(std::uint32_t processId);

void sleepMilliseconds(std::uint32_t milliseconds);

// The parameters of a command line that CommandLineToArgvW (and the C runtime's start-up code)
// splits into exactly these arguments: each one quoted where it holds a blank, a tab or a quote,
// with its quotes and the backslashes before them escaped. Nothing in an argument can become
// another argument or an option.
std::wstring commandLineOf(const std::vector<std::wstring> &arguments);

// ShellExecuteW without owner window or working folder, SW_SHOWNORMAL. An empty verb is the
// file's default action. True when the shell started it; false with the last error set.
bool shellExecute(const std::wstring &verb, const std::wstring &file,
                  const std::wstring &parameters);

// MoveFileW: a new name for a file or folder; an existing target is not replaced.
bool moveFile(const std::wstring &source, const std::wstring &target);

// CreateDirectoryW for the folder and each missing folder above it; true when it exists at the
// end. False with the last error of the step that failed.
bool createDirectories(const std::wstring &path);

} // namespace win32
