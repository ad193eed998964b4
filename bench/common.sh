# Sourced by the benchmark scripts: reads [BUILD_DIR] [MEGABYTES], makes a work folder that is
# removed on exit, generates the source tree and its builder configuration, and times commands.
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
echo "tree: $(find "$work/src" -type f | wc -l) files, $(($(du -sb "$work/src" | cut -f1) / 1000000)) MB"

# Wall-clock seconds of a shell command, printed with three decimals.
seconds() {
    local start end
    start=$(date +%s.%N)
    bash -c "$1"
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

ratio() {
    echo "$1 / $2" | bc -l
}
