#!/usr/bin/env bash
# The Windows program from start to end under Wine: lg_updater.exe builds a release in mode 1,
# nginx on Linux serves it on 127.0.0.1, and the client (e2e_client.exe: the program's window,
# every question answered with Yes, the real Win32 platform layer) installs it into C:\Ledgora
# of the Wine prefix. A second release brings a new updater, in the updater group and at its
# final place in the program group: the client installs only the updater group, into
# Updater\updater-temp, and starts it through the shell with the hand-over's command line, which
# the stand-in copy writes down.
# Usage: endtoend.sh LG_UPDATER_EXE E2E_CLIENT_EXE COMMANDLINE_REPORTER_EXE WORK_DIR
set -euo pipefail
updater="$1"
client="$2"
reporter="$3"
work="$4"
run="$(dirname "$0")/run_under_wine.sh"
export WINEPREFIX="$LEDGORA_WINE_PREFIX"
year="$(date +%Y)"
install="$LEDGORA_WINE_PREFIX/drive_c/Ledgora"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

windows_path() {
    local path="$1"
    echo "Z:${path//\//\\}"
}

write_file() {
    mkdir -p "$(dirname "$1")"
    cat > "$1"
}

# Release $1: the program group, and with $2 the updater group holding $2 as the new updater;
# the program group then carries it at its final place too, which only the new copy may write.
write_release() {
    local release="$1" new_updater="${2:-}" source="$work/src/$1" groups=""
    head -c 100000 /dev/urandom | write_file "$source/programm/Ledgora.exe"
    printf 'Konto;Bezeichnung\r\n1000;Kasse %s\r\n' "$release" \
        | write_file "$source/programm/Vorlagen/SKR03.csv"
    head -c 300000 /dev/urandom | write_file "$source/programm/daten.bin"
    touch -d "2025-01-01 12:00" "$source/programm/Vorlagen/SKR03.csv"
    if [ -n "$new_updater" ]; then
        mkdir -p "$source/updater/Updater/updater-temp"
        cp "$new_updater" "$source/updater/Updater/updater-temp/lg_updater.exe"
        mkdir -p "$source/programm/Updater"
        cp "$new_updater" "$source/programm/Updater/lg_updater.exe"
        groups+="  <group name=\"Updater\" type=\"updater\" version=\"1.2\" os=\"windows\""
        groups+=" srcdir=\"$(windows_path "$source/updater")\"/>"$'\n'
    fi
    groups+="  <group name=\"Ledgora\" type=\"programm\" version=\"$release\" os=\"windows\""
    groups+=" srcdir=\"$(windows_path "$source/programm")\"><info>Das Programm</info></group>"
    write_file "$work/$release.xml" <<EOF
<updater_document trgdir="$(windows_path "$work/www/ldg_update/$year")" year="$year" trgfile="$(windows_path "$work/$release.dat")" version="$release">
  <main_info os="windows">Release $release</main_info>
$groups
</updater_document>
EOF
}

# Mode 1 shows a message box when it is done; the package is complete once info.bin exists
# (it is written last), so the builder is ended then.
build_release() {
    local info="$work/www/ldg_update/$year/info.bin"
    rm -f "$info"
    "$run" "$updater" --mode 1 --conf "$(windows_path "$work/$1.xml")" > "$work/build-$1.log" 2>&1 &
    local builder=$!
    for _ in $(seq 600); do
        if [ -f "$info" ] || ! kill -0 "$builder" 2>/dev/null; then
            break
        fi
        sleep 0.2
    done
    kill "$builder" 2>/dev/null || true
    wait "$builder" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    [ -f "$info" ] || { cat "$work/build-$1.log" >&2; fail "lg_updater.exe --mode 1 built no release $1"; }
}

start_nginx() {
    local port user=""
    port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
    # Workers of a root master would run as "nobody" and could not read the build folder.
    [ "$(id -u)" -ne 0 ] || user="user root;"
    mkdir -p "$work/nginx/temp"
    write_file "$work/nginx/nginx.conf" <<EOF
$user
worker_processes 1;
error_log $work/nginx/error.log;
pid $work/nginx/nginx.pid;
events { worker_connections 64; }
http {
  access_log $work/nginx/access.log;
  client_body_temp_path $work/nginx/temp; proxy_temp_path $work/nginx/temp;
  fastcgi_temp_path $work/nginx/temp; uwsgi_temp_path $work/nginx/temp; scgi_temp_path $work/nginx/temp;
  default_type application/octet-stream;
  server { listen 127.0.0.1:$port; root $work/www; }
}
EOF
    /usr/sbin/nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" -e "$work/nginx/error.log"
    trap 'kill "$(cat "$work/nginx/nginx.pid")" 2>/dev/null || true' EXIT
    export LEDGORA_UPDATE_URL="http://127.0.0.1:$port/ldg_update/"
}

# Runs the client on C:\Ledgora and waits until every program it started has ended.
install_release() {
    "$run" "$client" 'C:\Ledgora\Updater' --product 1 > "$work/install-$1.log" 2>&1 \
        || { cat "$work/install-$1.log" >&2; fail "e2e_client.exe ended with an error"; }
    wineserver -w
    cat "$work/install-$1.log"
}

# Every file of the release's program group is installed with its content and time.
verify_installation() {
    local source="$work/src/$1/programm" file
    while IFS= read -r file; do
        cmp -s "$source/$file" "$install/$file" || fail "$install/$file differs from release $1"
        [ "$(stat -c %Y "$source/$file")" = "$(stat -c %Y "$install/$file")" ] \
            || fail "$install/$file lacks the time of release $1"
    done < <(cd "$source" && find . -type f | sed 's|^\./||')
    echo "release $1 installed in C:\\Ledgora"
}

rm -rf "$work" "$install"
mkdir -p "$work/www/ldg_update/$year" "$install/Updater"
start_nginx

write_release A
build_release A
install_release A
verify_installation A
grep -q "erfolgreich" "$work/install-A.log" || fail "no success message for release A"

write_release B "$reporter"
build_release B
install_release B
reported="$(cat "$install/Updater/updater-temp/commandline.txt" 2>/dev/null)" \
    || fail "the new updater copy was not started"
expected='"C:\Ledgora\Updater\updater-temp\lg_updater.exe" --product 1 --mode 3'
[ "$reported" = "$expected" ] || fail "hand-over command line: [$reported], expected [$expected]"
[ ! -e "$install/Updater/lg_updater.exe" ] \
    || fail "the running updater wrote its own final place instead of leaving it to the new copy"
echo "hand-over started: $reported"
