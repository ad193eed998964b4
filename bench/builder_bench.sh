#!/usr/bin/env bash
# Package builder against the reference tools over the same generated tree:
#   builder (hash + compress + write data files + offline file), first and second run,
#   versus sha256sum plus gzip -9 over every file, one after the other.
# Usage: bench/builder_bench.sh [BUILD_DIR] [MEGABYTES]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
megabytes="${2:-300}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 "$root/bench/make_tree.py" "$work/src" "$megabytes"
cat > "$work/conf.xml" <<XML
<updater_document trgdir="$work/pkg" year="2026" trgfile="$work/out/update.dat" version="bench">
  <group name="Programm" os="windows" srcdir="$work/src"/>
</updater_document>
XML

files=$(find "$work/src" -type f | wc -l)
bytes=$(du -sb "$work/src" | cut -f1)
echo "tree: $files files, $((bytes / 1000000)) MB"

sync
start=$(date +%s.%N)
find "$work/src" -type f -print0 | xargs -0 sha256sum > /dev/null
find "$work/src" -type f -print0 | while IFS= read -r -d '' f; do gzip -9 -c "$f" > /dev/null; done
end=$(date +%s.%N)
reference=$(echo "$end - $start" | bc)

result=$("$build/bench/bench_builder" "$work/conf.xml")
first=$(echo "$result" | awk '/first_run_seconds/ {print $2}')
second=$(echo "$result" | awk '/second_run_seconds/ {print $2}')

printf 'reference sha256sum + gzip -9: %8.2f s\n' "$reference"
printf 'builder, first run:            %8.2f s  (ratio %.2f)\n' "$first" "$(echo "$first / $reference" | bc -l)"
printf 'builder, second run (reuse):   %8.2f s  (ratio %.2f)\n' "$second" "$(echo "$second / $reference" | bc -l)"
