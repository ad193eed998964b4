#!/usr/bin/env bash
# Package builder against the reference tools over the same generated tree:
#   builder (hash + compress + write data files + offline file), first and second run,
#   versus sha256sum plus gzip -9 over every file, one after the other.
# Usage: bench/builder_bench.sh [BUILD_DIR] [MEGABYTES]
set -euo pipefail
source "$(dirname "$0")/common.sh"

sync
reference=$(seconds "find '$work/src' -type f -print0 | xargs -0 sha256sum > /dev/null
    find '$work/src' -type f -print0 | while IFS= read -r -d '' f; do gzip -9 -c \"\$f\" > /dev/null; done")

result=$("$build/bench/bench_builder" "$work/conf.xml")
first=$(echo "$result" | awk '/first_run_seconds/ {print $2}')
second=$(echo "$result" | awk '/second_run_seconds/ {print $2}')

printf 'reference sha256sum + gzip -9: %8.2f s\n' "$reference"
printf 'builder, first run:            %8.2f s  (ratio %.2f)\n' "$first" "$(ratio "$first" "$reference")"
printf 'builder, second run (reuse):   %8.2f s  (ratio %.2f)\n' "$second" "$(ratio "$second" "$reference")"
