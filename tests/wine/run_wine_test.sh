#!/usr/bin/env bash
# Runs a Win32 test executable under Wine in a prefix of its own inside the build folder.
# Fails loudly when Wine cannot run at all, so that a broken Wine never passes silently.
# Creating windows needs an X display: without one, everything runs inside xvfb-run.
set -uo pipefail
executable="$1"
prefix="$2"

if ! command -v wine >/dev/null 2>&1; then
    echo "Wine is not installed: run scripts/setup (packages wine, wine64)." >&2
    exit 1
fi

export WINEPREFIX="$prefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="-all"
mkdir -p "$prefix"

if [ -z "${DISPLAY:-}" ] && [ -z "${LEDGORA_UNDER_XVFB:-}" ]; then
    if ! command -v xvfb-run >/dev/null 2>&1; then
        echo "No display and no xvfb-run: install xvfb to create windows under Wine." >&2
        exit 1
    fi
    # A wineserver started without the display would keep serving the prefix without it.
    wineserver -k >/dev/null 2>&1 || true
    LEDGORA_UNDER_XVFB=1 exec xvfb-run -a "$0" "$@"
fi

if ! timeout 180 wine cmd /c exit 0 >/dev/null 2>&1; then
    echo "Wine cannot start a Windows program here (prefix $prefix)." >&2
    wineserver -k >/dev/null 2>&1 || true
    exit 1
fi
timeout 300 wine "$executable"
status=$?
wineserver -k >/dev/null 2>&1 || true
exit $status
