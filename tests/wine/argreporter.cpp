// Writes the arguments after the first, each in UTF-8 and followed by a NUL, into the file named
// by the first: split from the command line as CommandLineToArgvW splits it, which is how the
// toolkit's programs read theirs on Windows.
#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <string>

namespace {

std::string utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

} // namespace

int main()
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 2)
        return 1;
    std::ofstream out(arguments[1], std::ios::binary);
    for (int i = 2; i < count; ++i)
        out << utf8(arguments[i]) << '\0';
    LocalFree(arguments);
    return out ? 0 : 1;
}
