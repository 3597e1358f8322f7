#!/usr/bin/env bash
# Transfer benchmark, run by hand (never by CI): builds transfer_bench.exe, makes the archive
# (kept between runs), starts the loopback fixture server, times ExtractZip, Sha256File and
# DownloadFile under Wine and the same work done by unzip, sha256sum and curl, and prints both
# with the ratio of the times. Each figure is the best of RUNS runs.
#
# usage: bench/run.sh [RUNS]     (default 3)
# ZERVA_BUILD_DIR: build folder (default build-bench), ZERVA_BENCH_DIR: work folder.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${ZERVA_BUILD_DIR:-$here/build-bench}"
work="${ZERVA_BENCH_DIR:-${TMPDIR:-/tmp}/zerva-bench}"
runs="${1:-3}"

bash "$here/scripts/setup.sh" >/dev/null
for tool in unzip curl sha256sum; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (apt-get install $tool)" >&2; exit 1; }
done
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" --target transfer_bench >/dev/null

mkdir -p "$work"
archive="$work/archive.zip"
[ -f "$archive" ] || python3 "$here/bench/make_archive.py" "$archive"
size=$(stat -c %s "$archive")

# shellcheck source=scripts/wine-env.sh
source "$here/scripts/wine-env.sh"
server_dir="$(mktemp -d "$work/server.XXXXXX")"
python3 "$here/tools/fixtures/http_server.py" --dir "$server_dir" --max-seconds 3600 >/dev/null &
server_pid=$!
cleanup() {
    touch "$server_dir/stop"
    wait "$server_pid" 2>/dev/null || true
    rm -rf "$server_dir" "$work/native" "$work/native.bin" "$work/wine"
    stop_wine_session
}
trap cleanup EXIT
for _ in $(seq 1 100); do [ -s "$server_dir/port" ] && break; sleep 0.1; done
url="http://127.0.0.1:$(cat "$server_dir/port")/bytes?n=$size"

start_wine_session "$build"
mkdir -p "$work/wine"
archive_w="$(winepath -w "$archive")"
work_w="$(winepath -w "$work/wine")"

# Each timed run starts with the page cache's dirty data written out, so one run's writes do not
# slow down the next one, whichever side it belongs to. A figure is the best of $runs runs.
zerva_once() {
    wine "$build/bin/transfer_bench.exe" "$archive_w" "$work_w" "$url" 1 "$1" | tr -d '\r'
}
native_once() {
    local start end
    eval "$1"
    sync
    start=$(date +%s.%N)
    "${@:2}" >/dev/null
    end=$(date +%s.%N)
    echo "$end $start" | awk '{printf "%.4f\n", $1 - $2}'
}
minimum() { sort -g | head -n 1; }
unpacked=$(unzip -l "$archive" | tail -n 1 | awk '{print $1}')
: >"$work/wine.txt"
: >"$work/native.txt"
for step in extract sha256 download; do
    for _ in $(seq 1 "$runs"); do
        sync
        zerva_once "$step" >>"$work/wine.$step"
    done
    grep -h "^$step [0-9.]* [0-9]*$" "$work/wine.$step" | sort -k2 -g | head -n 1 >>"$work/wine.txt" || true
    grep -h "^sha256 [0-9a-f]\{64\}$" "$work/wine.$step" | head -n 1 >>"$work/wine.txt" || true
    rm -f "$work/wine.$step"
done
{
    echo "extract $(for _ in $(seq 1 "$runs"); do
        native_once 'rm -rf "$work/native"' unzip -q -o "$archive" -d "$work/native"; done | minimum) $unpacked"
    echo "sha256 $(for _ in $(seq 1 "$runs"); do native_once ':' sha256sum "$archive"; done | minimum) $size"
    echo "sha256 $(sha256sum "$archive" | cut -d' ' -f1)"
    echo "download $(for _ in $(seq 1 "$runs"); do
        native_once 'rm -f "$work/native.bin"' curl -s -o "$work/native.bin" "$url"; done | minimum) $size"
} >>"$work/native.txt"

python3 - "$work/wine.txt" "$work/native.txt" "$runs" <<'PY'
import sys

def load(path):
    figures, digest = {}, None
    for line in open(path):
        parts = line.split()
        if len(parts) == 3:
            figures[parts[0]] = (float(parts[1]), int(parts[2]))
        elif len(parts) == 2 and parts[0] == "sha256":
            digest = parts[1]
    return figures, digest

zerva, zerva_digest = load(sys.argv[1])
native, native_digest = load(sys.argv[2])
goals = {"extract": 2.0, "sha256": 1.5, "download": 1.5}
tools = {"extract": "ExtractZip / unzip", "sha256": "Sha256File / sha256sum", "download": "DownloadFile / curl"}
print("best of %s runs; MB = 10^6 bytes; ratio = Zerva's time / native time" % sys.argv[3])
print("%-24s %10s %18s %18s %7s %6s" % ("step", "MB", "Zerva (Wine)", "native", "ratio", "goal"))
for step, goal in goals.items():
    if step not in zerva or step not in native:
        print("%-24s %s" % (tools[step], "missing: see the output above"))
        continue
    (zt, zb), (nt, nb) = zerva[step], native[step]
    ratio = zt / nt
    print("%-24s %10.1f %8.2f s %4.0f MB/s %8.2f s %4.0f MB/s %7.2f %6s" % (
        tools[step], zb / 1e6, zt, zb / zt / 1e6, nt, nb / nt / 1e6, ratio,
        ("<= %.1f" % goal) if ratio <= goal else "MISSED"))
if zerva_digest != native_digest:
    print("SHA-256 differs: %s (Zerva) vs %s (sha256sum)" % (zerva_digest, native_digest))
PY
