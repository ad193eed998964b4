// Stands in for a new updater copy: writes the command line it was started with, exactly as
// Windows hands it over (GetCommandLineW, UTF-8), into "commandline.txt" beside itself.
#include <windows.h>

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
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return 1;
    std::wstring report(self, length);
    report.replace(report.find_last_of(L'\\') + 1, std::wstring::npos, L"commandline.txt");
    std::ofstream out(report.c_str(), std::ios::binary);
    out << utf8(GetCommandLineW());
    return out ? 0 : 1;
}
