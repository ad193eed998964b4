#!/usr/bin/env bash
# The update check over a release of many empty folders, all missing from the installation,
# at 8,000 and at 64,000 folders: the check must grow linearly, so the second takes about eight
# times the first. Usage: bench/folders_bench.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

check_seconds() {
    local folders=$1 dir="$work/$1"
    python3 -c "
import os, sys
for i in range(int(sys.argv[2])):
    os.makedirs(os.path.join(sys.argv[1], 'ordner%03d' % (i % 100), 'unter%06d' % i))
" "$dir/src" "$folders"
    mkdir -p "$dir/install"
    cat > "$dir/conf.xml" <<XML
<updater_document trgdir="$dir/pkg" year="2026" trgfile="$dir/out/update.dat" version="bench">
  <group name="Programm" os="windows" srcdir="$dir/src"/>
</updater_document>
XML
    "$build/bench/bench_builder" "$dir/conf.xml" > /dev/null
    "$build/bench/bench_check" "$dir/out/update.dat" "$dir/install" | awk '/check_seconds/ {print $2}'
}

small=$(check_seconds 8000)
large=$(check_seconds 64000)
printf 'check, 8,000 missing folders:  %8.2f s\n' "$small"
printf 'check, 64,000 missing folders: %8.2f s  (ratio %.1f; linear is 8)\n' "$large" \
    "$(echo "$large / $small" | bc -l)"
