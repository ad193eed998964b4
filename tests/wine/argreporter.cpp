// Writes the arguments after the first, each in UTF-8 and followed by a NUL, into the file named
// by the first: split from the command line as CommandLineToArgvW splits it, which is how the
// toolkit's programs read theirs on Windows.
#include "utf8text.h"

#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <string>

int main()
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 2)
        return 1;
    std::ofstream out(arguments[1], std::ios::binary);
    for (int i = 2; i < count; ++i)
        out << utf8Text(arguments[i]) << '\0';
    LocalFree(arguments);
    return out ? 0 : 1;
}
