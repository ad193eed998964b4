#!/usr/bin/env bash
# The Windows package on its own: made by scripts/package-windows, unpacked into the Updater
# folder of an installation in the Wine prefix, and started there with nothing of the toolchain
# on the search path and the real Windows platform plug-in (under Xvfb). Mode 1 with a
# configuration whose source folder is missing must end with the program's own error line and
# code 1: every DLL and the plug-in loaded from the package, or Windows or the toolkit would have
# stopped it first.
# Usage: package_starts.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir="$1"
build="$2"
work="$build/tests/windows-package"
export WINEPREFIX="$LEDGORA_WINE_PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
updater="$WINEPREFIX/drive_c/Paket/Updater"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$work" "$WINEPREFIX/drive_c/Paket"
LEDGORA_WINDOWS_BUILD_DIR="$build" LEDGORA_DIST_DIR="$work" \
    bash "$source_dir/scripts/package-windows" --unsigned
mkdir -p "$updater"
unzip -q "$work"/lg_updater-*-win64-unsigned.zip -d "$updater"
for file in lg_updater.exe Qt5Core.dll Qt5Widgets.dll Qt5Network.dll libcrypto-3-x64.dll \
    libssl-3-x64.dll libstdc++-6.dll platforms/qwindows.dll; do
    [ -f "$updater/$file" ] || fail "the package lacks $file"
done

cat > "$WINEPREFIX/drive_c/Paket/release.xml" <<'EOF'
<updater_document trgdir="C:\Paket\www" year="2027" version="2027.1">
  <group name="Ledgora" type="programm" version="2027.1" os="windows" srcdir="C:\Paket\fehlt"/>
</updater_document>
EOF

set +e
output="$(cd "$updater" && env -u WINEPATH -u QT_PLUGIN_PATH QT_QPA_PLATFORM=windows \
    xvfb-run -a wine 'C:\Paket\Updater\lg_updater.exe' --mode 1 --conf 'C:\Paket\release.xml' 2>&1)"
code=$?
set -e
wineserver -k 2>/dev/null || true
echo "$output"
[ "$code" -eq 1 ] || fail "lg_updater.exe from the package ended with $code, expected 1"
grep -q 'Fehler beim Lesen des Quellordners: C:/Paket/fehlt/' <<< "$output" \
    || fail "no error line naming the missing source folder"
