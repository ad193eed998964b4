#!/usr/bin/env bash
# The update check over a current installation (read and hash every file) against sha256sum
# over the same files. Usage: bench/check_bench.sh [BUILD_DIR] [MEGABYTES]
set -euo pipefail
source "$(dirname "$0")/common.sh"

"$build/bench/bench_builder" "$work/conf.xml" > /dev/null
sync
reference=$(seconds "find '$work/src' -type f -print0 | xargs -0 sha256sum > /dev/null")
check=$("$build/bench/bench_check" "$work/out/update.dat" "$work/src" | awk '/check_seconds/ {print $2}')

printf 'reference sha256sum:        %8.2f s\n' "$reference"
printf 'update check (all current): %8.2f s  (ratio %.2f)\n' "$check" "$(ratio "$check" "$reference")"
