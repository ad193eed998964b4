// Stands in for a new updater copy: writes the command line it was started with, exactly as
// Windows hands it over (GetCommandLineW, UTF-8), into "commandline.txt" beside itself.
#include "utf8text.h"

#include <windows.h>

#include <fstream>
#include <string>

int main()
{
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return 1;
    std::wstring report(self, length);
    report.replace(report.find_last_of(L'\\') + 1, std::wstring::npos, L"commandline.txt");
    std::ofstream out(report.c_str(), std::ios::binary);
    out << utf8Text(GetCommandLineW());
    return out ? 0 : 1;
}
