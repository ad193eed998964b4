#!/usr/bin/env bash
# Compiles the program's sources for Windows with mingw-w64 as far as this machine allows: the
# toolkit's own headers (the Linux copy, read with Windows' macros) and no linking. It catches
# Windows-only code that would not compile, which no Linux build reads.
# Usage: check_windows_sources.sh SOURCE_DIR BUILD_DIR QT_INCLUDE_DIR QT_MKSPECS_DIR
set -uo pipefail
src="$1"; build="$2"; qt="$3"; mkspecs="$4"
status=0
checked=0
for file in "$src"/src/*/*.cpp; do
    case "$file" in
        *_posix.cpp) continue ;;                       # the POSIX side of the platform layer
        */hashname.cpp|*/payload.cpp|*/payloadstream.cpp|*/deflateblocks.cpp|*/replacingfile.cpp|\
        */releasesignature.cpp)
            continue ;; # OpenSSL, zlib, libdeflate for Windows
    esac
    if ! x86_64-w64-mingw32-g++ -std=c++17 -fsyntax-only -Wall -Wextra \
        -DQT_NO_CAST_FROM_ASCII -DQT_USE_QSTRINGBUILDER -DQT_NO_FOREACH \
        -I "$src/src" -I "$build/src" -I "$build/src/ledgora_app_autogen/include" \
        -I "$build/src/releasekeys/lg_updater" \
        -isystem "$qt" -isystem "$qt/QtCore" -isystem "$qt/QtGui" -isystem "$qt/QtWidgets" \
        -isystem "$qt/QtNetwork" -isystem "$qt/QtXml" -isystem "$qt/QtConcurrent" \
        -isystem "$mkspecs/win32-g++" "$file"; then
        status=1
    fi
    checked=$((checked + 1))
done
echo "$checked sources checked for Windows"
exit $status
