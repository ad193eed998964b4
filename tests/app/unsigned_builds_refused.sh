#!/usr/bin/env bash
# A program without the publisher's keys installs any release and looks like one with keys, so
# it must be asked for: an optimised build stops at configure time without
# LEDGORA_ALLOW_UNSIGNED, and scripts/package-windows packs no such program without --unsigned,
# refusing before it builds anything.
# Usage: unsigned_builds_refused.sh SOURCE_DIR
set -uo pipefail
source_dir="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if output="$(cmake -S "$source_dir" -B "$work/build" -DCMAKE_BUILD_TYPE=Release 2>&1)"; then
    fail "a Release build without keys was configured"
fi
grep -q "needs the publisher's keys" <<< "$output" || fail "configure said: $output"
echo "configure refused: $(grep -m1 "needs the publisher's keys" <<< "$output")"

output="$(env -u LEDGORA_RELEASE_KEYS LEDGORA_WINDOWS_BUILD_DIR="$work/windows" \
    bash "$source_dir/scripts/package-windows" 2>&1)"
code=$?
[ "$code" -eq 2 ] || fail "package-windows ended with $code: $output"
grep -q "has no release keys" <<< "$output" || fail "package-windows said: $output"
[ ! -e "$work/windows" ] || fail "package-windows built before it refused"
echo "package-windows refused: $output"
