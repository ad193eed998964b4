#!/usr/bin/env bash
# The package build (mode 1) as a process, the window answering its result box and quitting,
# against the reference tools over the same files:
#   first build of the application tree             vs sha256sum + gzip -9
#   rebuild into the same package, every data file reused  vs sha256sum
#   first build of 20,000 small files               vs sha256sum + gzip -9
# Usage: bench/program_build_bench.sh [BUILD_DIR]
source "$(dirname "$0")/program_common.sh"

build_package() {
    run_driver "$work/build.log" open "$build/src" --mode 1 --conf "$work/$tree.xml"
    expect_box "$work/build.log" "Die Updatedateien wurden erfolgreich erstellt."
}
remove_package() {
    rm -rf "$work/$tree-pkg" "$work/$tree-out"
    sync
}
reference_first() { hash_and_compress_files "$work/$tree"; }
reference_rebuild() { hash_files "$work/$tree"; }

for tree in application small-files; do
    make_tree "$tree" "$work/$tree"
    write_config "$work/$tree.xml" "$work/$tree" "$work/$tree-pkg" "$work/$tree-out/update.dat"
done

tree=application
compare "first build (mode 1)" 0.35 reference_first build_package remove_package
compare "rebuild, data files reused" 1.5 reference_rebuild build_package
tree=small-files
compare "build of 20,000 small files" 1.0 reference_first build_package remove_package
