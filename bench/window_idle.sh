#!/usr/bin/env bash
# Idle-cost benchmark of the window, run by hand (never by CI): the CPU time the zerva.exe
# process spends over 10 s without any input, read from the Linux side (/proc/<pid>/stat: user +
# system time), as Wine does not report another process's times. Three windows: shown on the
# Dashboard of an empty root, shown on the Dashboard of a root whose stand-in Apache and MariaDB
# run (started with "--cli start" before the window opens, stopped after it), each idle (after
# the 750 ms without input, the loop wakes every 100 ms and presents only a frame that changed),
# and hidden in tray mode (every 400 ms). The shown window is drawn by Mesa's software renderer on
# the virtual display; Wine's Direct3D runs its commands on a thread that spins while it waits
# for work, so each shown window is measured twice: as Wine comes, and with that thread off (the
# registry value "csmt", which the shared Wine session turns off for the tests).
#
# usage: bench/window_idle.sh [SECONDS]     (default 10)
# ZERVA_BUILD_DIR, ZERVA_BENCH_DIR: see bench_env.sh.
set -euo pipefail
seconds="${1:-10}"
# shellcheck source=bench/bench_env.sh
source "$(dirname "$0")/bench_env.sh"

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# CPU share of one core over the measured seconds, for a root folder (settings already written),
# after a settling time (default 4 s: start-up, first frames, then the 750 ms without input).
measure() {
    local root="$1" settle="${2:-4}" before after window_pid
    wine "$bin/zerva.exe" --root "$(winpath "$root")" >/dev/null 2>&1 &
    window_pid=$!
    sleep "$settle"
    before=$(ticks "$window_pid")
    sleep "$seconds"
    after=$(ticks "$window_pid")
    kill "$window_pid"
    wait "$window_pid" 2>/dev/null || true
    awk -v t="$((after - before))" -v hz="$(getconf CLK_TCK)" -v s="$seconds" \
        'BEGIN { printf "%.0f ms, %.2f%%", t * 1000 / hz, t * 100 / hz / s }'
}

# The servers of a stand-in root, through the command-line mode (it waits for the worker); a
# start must leave both running, or the figure would not be the one asked for.
servers() {
    local root="$1" command="$2" running
    wine "$bin/zerva.exe" --root "$(winpath "$root")" --cli "$command" >/dev/null 2>&1 || true
    [ "$command" = start ] || return 0
    running=$(wine "$bin/zerva.exe" --root "$(winpath "$root")" --cli status 2>/dev/null | grep -c RUNNING || true)
    if [ "$running" != 2 ]; then
        echo "window_idle: the stand-in servers did not both start" >&2
        return 1
    fi
}

csmt_off() { wine reg add 'HKCU\Software\Wine\Direct3D' /v csmt /t REG_DWORD /d 0 /f >/dev/null 2>&1; }
csmt_default() { wine reg delete 'HKCU\Software\Wine\Direct3D' /v csmt /f >/dev/null 2>&1 || true; }

mkdir -p "$work"
empty="$work/window-empty"
rm -rf "$empty" && mkdir -p "$empty"
printf 'CHECK_UPDATES = "0"\r\n' >"$empty/zerva.ini"
running="$work/window-running"
lay_out_standin_stack "$bin" "$running"
printf 'CHECK_UPDATES = "0"\r\nSTART_ON_START = "0"\r\nSTART_SYSTRAY_MODE = "0"\r\n' >>"$running/zerva.ini"
# Tray mode keeps the window hidden only when an Apache build is current.
hidden="$work/window-hidden"
lay_out_standin_stack "$bin" "$hidden"
printf 'CHECK_UPDATES = "0"\r\nSTART_ON_START = "0"\r\nSTART_SYSTRAY_MODE = "1"\r\n' >>"$hidden/zerva.ini"

thread_off=", Wine's Direct3D command thread off"
echo "CPU time of zerva.exe over $seconds s without input (share of one core)"
printf '| window | CPU time | goal |\n|---|---|---|\n'
for csmt in default off; do
    "csmt_$csmt"
    label=""
    [ "$csmt" = off ] && label="$thread_off"
    printf '| Dashboard, empty root, shown, idle%s | %s | under 3%% |\n' "$label" "$(measure "$empty")"
    servers "$running" start
    printf '| Dashboard, both stand-in servers running, shown, idle%s | %s | under 10%% |\n' "$label" \
        "$(measure "$running")"
    servers "$running" stop
done
csmt_default
# The CPU graphs of the server cards take a sample with every status refresh until they hold 120
# (about 110 s after the start): the empty root once more after that, to show the first seconds
# are no exception.
printf '| Dashboard, empty root, shown, idle, once the CPU graphs are full (after 2 minutes) | %s | under 3%% |\n' \
    "$(measure "$empty" 120)"
printf '| hidden (tray mode) | %s | under 1%% |\n' "$(measure "$hidden")"
