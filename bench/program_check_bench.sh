#!/usr/bin/env bash
# The update check of a current installation as a process: start, load the release from nginx
# on 127.0.0.1, "Nach Updates suchen" (every file read and hashed, nothing fetched), quit;
# against sha256sum over the installation's files.
# Usage: bench/program_check_bench.sh [BUILD_DIR]
source "$(dirname "$0")/program_common.sh"

make_tree application "$work/src"
write_config "$work/release.xml" "$work/src" "$work/www/ldg_update/$year" "$work/out/update.dat"
run_driver "$work/build.log" open "$build/src" --mode 1 --conf "$work/release.xml"
make_installation "$work/install" "$work/src"
start_nginx "$work/www"

check_installation() {
    run_driver "$work/check.log" search "$work/install/Updater"
    expect_box "$work/check.log" "Alle Dateien sind aktuell."
}
# The installed copies of the release's files: neither the updater nor the version record.
reference_check() {
    find "$work/install" -type f ! -path "$work/install/Updater/lg_updater" \
        ! -path "$work/install/versioninfo.dat" -print0 | xargs -0 sha256sum > /dev/null
}

compare "check of a current installation" 1.0 reference_check check_installation
