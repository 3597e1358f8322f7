#!/usr/bin/env bash
# Command-line benchmark, run by hand (never by CI): the wall time of "zerva.exe --cli status"
# under a warm Wine session, on a fresh root folder (a new empty one for every run) and on a
# root with a stand-in stack laid out, the median of RUNS runs each, beside the command's fixed
# 1.2 s wait before its closing block.
#
# usage: bench/cli_run.sh [RUNS]     (default 10)
# ZERVA_BUILD_DIR, ZERVA_BENCH_DIR: see bench_env.sh.
set -euo pipefail
runs="${1:-10}"
# shellcheck source=bench/bench_env.sh
source "$(dirname "$0")/bench_env.sh"
mkdir -p "$work"
stack="$work/stack"
lay_out_standin_stack "$bin" "$stack"
wine "$bin/zerva.exe" --root "$(winpath "$stack")" --cli status >/dev/null   # warms Wine and the files up

# Seconds of one run, with the root folder given.
time_status() {
    local start end
    start=$(date +%s.%N)
    wine "$bin/zerva.exe" --root "$(winpath "$1")" --cli status >/dev/null
    end=$(date +%s.%N)
    awk -v a="$end" -v b="$start" 'BEGIN { printf "%.4f", a - b }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f", m }'; }

fresh_times="" stack_times=""
for ((i = 0; i < runs; i++)); do
    fresh="$work/fresh-$i"
    rm -rf "$fresh" && mkdir -p "$fresh"
    fresh_times+="$(time_status "$fresh")"$'\n'
    stack_times+="$(time_status "$stack")"$'\n'
done
echo "zerva.exe --cli status, median of $runs runs under a warm Wine session (fixed wait 1.200 s)"
printf '| root | wall time | beyond the wait |\n|---|---|---|\n'
for row in "fresh:$fresh_times" "stand-in stack:$stack_times"; do
    name="${row%%:*}" m="$(printf '%s' "${row#*:}" | median)"
    printf '| %s | %s s | %.3f s |\n' "$name" "$m" "$(awk -v m="$m" 'BEGIN { print m - 1.2 }')"
done
