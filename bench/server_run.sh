#!/usr/bin/env bash
# Server control benchmark, run by hand (never by CI): builds server_bench.exe and the stand-ins,
# and runs it under Wine in a fresh root folder: the median time from the stand-in Apache and
# database server listening to the status reporting them running over RUNS starts, then the CPU
# the process spends in 10 s with both servers running and the worker idle.
#
# usage: bench/server_run.sh [RUNS]     (default 20)
# ZERVA_BUILD_DIR: build folder (default build-bench), ZERVA_BENCH_DIR: work folder.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${ZERVA_BUILD_DIR:-$here/build-bench}"
work="${ZERVA_BENCH_DIR:-${TMPDIR:-/tmp}/zerva-bench}"
runs="${1:-20}"

bash "$here/scripts/setup.sh" >/dev/null
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" --target server_bench zerva_standins >/dev/null

# shellcheck source=scripts/wine-env.sh
source "$here/scripts/wine-env.sh"
mkdir -p "$work"
root="$(mktemp -d "$work/server.XXXXXX")"
trap 'rm -rf "$root"; stop_wine_session' EXIT
start_wine_session "$build"
wine "$build/bin/server_bench.exe" "$(winepath -w "$root")" "$(winepath -w "$build/bin")" "$runs" | tr -d '\r'
