#!/usr/bin/env bash
# The update check over a current installation (read and hash every file) against sha256sum
# over the same files. Usage: bench/check_bench.sh [BUILD_DIR] [MEGABYTES]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
megabytes="${2:-300}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 "$root/bench/make_tree.py" "$work/src" "$megabytes"
cat > "$work/conf.xml" <<XML
<updater_document trgdir="$work/pkg" year="2026" trgfile="$work/update.dat" version="bench">
  <group name="Programm" os="windows" srcdir="$work/src"/>
</updater_document>
XML
"$build/bench/bench_builder" "$work/conf.xml" > /dev/null
echo "tree: $(find "$work/src" -type f | wc -l) files, $(( $(du -sb "$work/src" | cut -f1) / 1000000 )) MB"

sync
start=$(date +%s.%N)
find "$work/src" -type f -print0 | xargs -0 sha256sum > /dev/null
end=$(date +%s.%N)
reference=$(echo "$end - $start" | bc)
check=$("$build/bench/bench_check" "$work/update.dat" "$work/src" | awk '/check_seconds/ {print $2}')
printf 'reference sha256sum:       %8.2f s\n' "$reference"
printf 'update check (all current): %7.2f s  (ratio %.2f)\n' "$check" "$(echo "$check / $reference" | bc -l)"
