#!/usr/bin/env bash
# Peak memory (resident set, /usr/bin/time -f %M) of the program as a process on a release of
# one file of 1 GiB: the package build (mode 1), the download and installation from nginx on
# 127.0.0.1 into an installation without the file, and the check of the installation then.
# Usage: bench/program_memory_bench.sh [BUILD_DIR]
source "$(dirname "$0")/program_common.sh"

make_tree one-large "$work/src"
write_config "$work/release.xml" "$work/src" "$work/www/ldg_update/$year" "$work/out/update.dat"
make_installation "$work/install"
start_nginx "$work/www"

peak() {
    local label=$1
    shift
    : > "$work/peak_kb"
    "$@"
    printf 'peak %-32s %5d MB (goal <= 256 MB)\n' "$label" "$(($(cat "$work/peak_kb") / 1024))"
}
build_package() {
    run_driver "$work/build.log" open "$build/src" --mode 1 --conf "$work/release.xml"
    expect_box "$work/build.log" "Die Updatedateien wurden erfolgreich erstellt."
}
install_release() {
    run_driver "$work/update.log" update "$work/install/Updater"
    expect_box "$work/update.log" "Die Aktualisierung wurde erfolgreich durchgeführt."
}
check_installation() {
    run_driver "$work/check.log" search "$work/install/Updater"
    expect_box "$work/check.log" "Alle Dateien sind aktuell."
}

peak "builder (mode 1)" build_package
peak "client, download and install" install_release
peak "client, check" check_installation
