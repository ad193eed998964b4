#!/usr/bin/env bash
# Download and installation of a whole release as a process: an installation that holds only
# the updater and last year's version record; start, load from nginx on 127.0.0.1, "Nach
# Updates suchen" (every data file fetched), "Update starten" (every file written), quit.
# Against one curl fetching the same files of the release folder over one kept-alive
# connection. Counts the TCP connections of each side in nginx's access log.
# Usage: bench/program_download_bench.sh [BUILD_DIR]
source "$(dirname "$0")/program_common.sh"

make_tree application "$work/src"
release="$work/www/ldg_update/$year"
write_config "$work/release.xml" "$work/src" "$release" "$work/out/update.dat"
run_driver "$work/build.log" open "$build/src" --mode 1 --conf "$work/release.xml"
start_nginx "$work/www"
for file in "$release"/*; do
    printf 'url = "%s%s/%s"\noutput = "/dev/null"\n' "$LEDGORA_UPDATE_URL" "$year" \
        "$(basename "$file")"
done > "$work/curl.conf"
echo "release: $(ls "$release" | wc -l) files, $(($(du -sb "$release" | cut -f1) / 1000000)) MB"

reset_installation() {
    make_installation "$work/install"
    sync
}
install_release() {
    run_driver "$work/update.log" update "$work/install/Updater"
    expect_box "$work/update.log" "Die Aktualisierung wurde erfolgreich durchgeführt."
}
fetch_release() { curl -sSf --config "$work/curl.conf"; }
# What writing the installed files costs by itself: the tree copied into the installation and
# synced, as any installer must at least do after fetching.
copy_tree() {
    cp -a "$work/src/." "$work/install/"
    sync
}
# The least any installer of this kind does: fetch every data file, then, once the user has
# agreed, write the release's files and sync them. No expansion, no hashes, no staging.
fetch_then_copy() {
    fetch_release
    copy_tree
}

for side in fetch_release install_release; do
    reset_installation
    before=$(log_lines)
    "$side"
    read -r connections requests <<< "$(connections_since "$before")"
    printf '%-36s %d requests over %d TCP connections\n' "$side" "$requests" "$connections"
done
compare "download and install the release" 1.5 fetch_release install_release reset_installation
echo "goal: the program uses at most 8 TCP connections"
# Not a goal: how far the reference is from any installation, to read the ratio above against.
compare "writing the files alone (cp -a and sync) against the fetch" - fetch_release copy_tree \
    reset_installation
# Not a goal: the least an installer that fetches first and writes after could take.
compare "fetching, then writing the files (curl, cp -a and sync) against the fetch" - \
    fetch_release fetch_then_copy reset_installation
