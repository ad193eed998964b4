#!/usr/bin/env bash
# Runs a program of the Windows build under wine64, as CTest's emulator for the windows label.
# The prefix lives in the build folder; the toolkit, OpenSSL and the compiler's runtime are
# found through WINEPATH, the toolkit's plug-ins through QT_PLUGIN_PATH. The offscreen platform
# stands in for a screen unless the caller chose another.
# Environment: LEDGORA_WINDOWS_TOOLCHAIN (the toolchain folder), LEDGORA_WINE_PREFIX, and
# LEDGORA_QTEST_LOG when PROGRAM is a Qt Test program.
# Usage: run_under_wine.sh PROGRAM [ARGUMENTS...]
set -uo pipefail

toolchain="${LEDGORA_WINDOWS_TOOLCHAIN:?the Windows toolchain folder}"
export WINEPREFIX="${LEDGORA_WINE_PREFIX:?the Wine prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: the programs need neither, and their installers would ask on first start.
export WINEDLLOVERRIDES="mscoree,mshtml="
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

# Wine sees the whole Unix file system as drive Z:.
windows_path() {
    local path="$1"
    echo "Z:${path//\//\\}"
}

runtime="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
folders=("$toolchain/qt/bin" "$toolchain/sysroot/bin" /usr/x86_64-w64-mingw32/lib "$runtime")
winepath=""
for folder in "${folders[@]}"; do
    winepath+="$(windows_path "$folder");"
done
export WINEPATH="$winepath"
QT_PLUGIN_PATH="$(windows_path "$toolchain/qt/plugins")"
export QT_PLUGIN_PATH

mkdir -p "$WINEPREFIX"
# Debian installs wine64 outside PATH; its "wine" runs 64-bit programs with it.
if [ -z "${LEDGORA_QTEST_LOG:-}" ]; then
    exec wine "$@"
fi

# A Qt Test program. Under Wine, Qt Test's plain logger hands what it would write to standard
# output to OutputDebugString instead (WINEDEBUG=+debugstr shows the lines), so CTest saw
# nothing of a failure. A log file is written either way, and is printed when the program ends
# or is stopped.
log="$(mktemp)"
print_log() {
    cat "$log"
    rm -f "$log"
}
trap 'print_log; exit 143' TERM INT
program="$1"
shift
wine "$program" -o "$(windows_path "$log"),txt" "$@" &
wait $!
code=$?
print_log
exit "$code"
