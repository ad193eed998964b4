# Sourced by the benchmarks that time the program as a process: reads [BUILD_DIR], makes a work
# folder that is removed on exit, and offers the tree, configuration, installation, nginx and
# timing pieces. Every figure is the median of three runs after one untimed run of each side,
# the reference and the program taking turns, so that both find the files in the page cache.
set -euo pipefail
# A failing run inside a timing substitution stops the benchmark too.
shopt -s inherit_errexit
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
driver="$build/bench/bench_driver"
updater="$build/src/lg_updater"
year="$(date +%Y)"
work="$(mktemp -d)"
nginx_pid=""
cleanup() {
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

for tool in "$driver" "$updater"; do
    if [ ! -x "$tool" ]; then
        echo "missing $tool: build first (bash scripts/build)" >&2
        exit 1
    fi
done
if [ ! -x /usr/bin/time ]; then
    echo "missing /usr/bin/time: apt-get install time" >&2
    exit 1
fi

# The window runs on no screen; the updater's own server address is replaced per script.
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# A refused port: nothing on the network answers a build or an offline run.
export LEDGORA_UPDATE_URL="http://127.0.0.1:9/ldg_update/"

# make_tree KIND FOLDER: application, small-files or one-large (bench/make_app_tree.py).
make_tree() {
    python3 "$root/bench/make_app_tree.py" "$2" "$1"
    find "$2" -type f -printf '%s\n' |
        awk -v kind="$1" '{s += $1} END {printf "tree %s: %d files, %.1f MB\n", kind, NR, s / 1e6}'
}

# write_config FILE SOURCE PACKAGE_DIR OFFLINE_FILE: one program group with the whole source.
write_config() {
    cat > "$1" <<XML
<updater_document trgdir="$3" year="$year" trgfile="$4" version="$year.1">
  <main_info os="windows">&lt;p&gt;Ledgora $year.1&lt;/p&gt;</main_info>
  <group name="Ledgora Programm" version="$year.1" os="windows" type="programm" srcdir="$2">
    <info>Programmdateien, Vorlagen und Hilfe.</info>
  </group>
</updater_document>
XML
}

# make_installation FOLDER [FILES]: the updater in FOLDER/Updater, the version record of the
# previous year's Orvel edition, and a copy of FILES when given.
make_installation() {
    rm -rf "$1"
    mkdir -p "$1"
    if [ -n "${2:-}" ]; then cp -a "$2/." "$1/"; fi
    mkdir -p "$1/Updater"
    cp "$updater" "$1/Updater/"
    printf '%s\r\n3\r\n1\r\n0' "$((year - 1))" > "$1/versioninfo.dat"
}

# start_nginx DOCUMENT_ROOT: serves it on a free port of 127.0.0.1 over plain HTTP and points
# the updater there. The access log starts each line with the connection's serial number.
start_nginx() {
    local dir="$work/nginx" user=""
    mkdir -p "$dir/temp"
    nginx_port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')"
    if [ "$(id -u)" -eq 0 ]; then user="user root;"; fi
    cat > "$dir/nginx.conf" <<CONF
$user
worker_processes 1;
error_log $dir/error.log;
pid $dir/nginx.pid;
events { worker_connections 1024; }
http {
    log_format bench '\$connection \$connection_requests \$status \$body_bytes_sent "\$request"';
    access_log $dir/access.log bench;
    client_body_temp_path $dir/temp; proxy_temp_path $dir/temp;
    fastcgi_temp_path $dir/temp; uwsgi_temp_path $dir/temp; scgi_temp_path $dir/temp;
    default_type application/octet-stream;
    keepalive_requests 100000;
    server {
        listen 127.0.0.1:$nginx_port;
        root $1;
        location /ldg_update/ { autoindex off; }
    }
}
CONF
    "$(command -v nginx || echo /usr/sbin/nginx)" -p "$dir" -c "$dir/nginx.conf" -g "daemon off;" &
    nginx_pid=$!
    for _ in $(seq 50); do
        if python3 -c "import socket; socket.create_connection(('127.0.0.1', $nginx_port), 0.2)" \
            2>/dev/null; then break; fi
        sleep 0.1
    done
    nginx_log="$dir/access.log"
    export LEDGORA_UPDATE_URL="http://127.0.0.1:$nginx_port/ldg_update/"
}

# log_lines: how many requests nginx has logged so far.
log_lines() {
    if [ -f "$nginx_log" ]; then wc -l < "$nginx_log"; else echo 0; fi
}

# connections_since LINES: distinct TCP connections and requests logged after line LINES.
connections_since() {
    tail -n +"$(($1 + 1))" "$nginx_log" | awk '{c[$1] = 1; n++} END {print length(c), n + 0}'
}

# measured COMMAND...: runs the program and appends its peak resident set (KiB) to a file.
measured() {
    /usr/bin/time -f %M -a -o "$work/peak_kb" "$@"
}

# run_driver LOG ACTION UPDATER_DIR [options]: the updater's window, all output to LOG.
run_driver() {
    local log=$1
    shift
    measured "$driver" "$@" > "$log" 2>&1 || {
        echo "bench_driver $* failed:" >&2
        cat "$log" >&2
        return 1
    }
}

# expect_box LOG TEXT: the run showed the box with TEXT, or the benchmark stops.
expect_box() {
    if ! grep -qF -- "$2" "$1"; then
        echo "expected the box \"$2\" in $1:" >&2
        cat "$1" >&2
        return 1
    fi
}

seconds_of() {
    local start end
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    printf '%.3f' "$(echo "$end - $start" | bc)"
}

median_of_three() {
    printf '%s\n' "$@" | sort -g | sed -n 2p
}

# compare LABEL GOAL REFERENCE PROGRAM [PREPARE]: GOAL "-" is none; REFERENCE, PROGRAM and PREPARE are shell
# functions; PREPARE runs untimed before every run of either. Prints both medians, the ratio
# and the program's peak memory.
compare() {
    local label=$1 goal=$2 reference=$3 program=$4 prepare=${5:-true}
    local reference_times=() program_times=()
    "$prepare"
    "$reference"
    "$prepare"
    "$program"
    : > "$work/peak_kb"
    for _ in 1 2 3; do
        "$prepare"
        reference_times+=("$(seconds_of "$reference")")
        "$prepare"
        program_times+=("$(seconds_of "$program")")
    done
    local reference_median program_median peak
    reference_median=$(median_of_three "${reference_times[@]}")
    program_median=$(median_of_three "${program_times[@]}")
    peak=$(sort -n "$work/peak_kb" | tail -1)
    echo "== $label"
    printf '   reference %7.3f s  (%s)\n' "$reference_median" "${reference_times[*]}"
    local peak_text=""
    if [ -n "$peak" ]; then peak_text="  peak $((peak / 1024)) MB"; fi
    printf '   program   %7.3f s  (%s)%s\n' "$program_median" "${program_times[*]}" "$peak_text"
    local goal_text="goal <= $goal"
    if [ "$goal" = "-" ]; then goal_text="no goal"; fi
    printf 'ratio %s: %.2f (%s)\n' "$label" \
        "$(echo "$program_median / $reference_median" | bc -l)" "$goal_text"
}

# The reference tools, one process each over all files, one file after the other.
hash_files() {
    find "$1" -type f -print0 | xargs -0 sha256sum > /dev/null
}

hash_and_compress_files() {
    hash_files "$1"
    find "$1" -type f -print0 | xargs -0 gzip -9 -c > /dev/null
}
