#pragma once

// For the plain Win32 test programs, which have no toolkit: Windows' wide text as UTF-8.
#include <windows.h>

#include <string>

inline std::string utf8Text(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}
