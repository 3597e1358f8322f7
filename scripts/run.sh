#!/usr/bin/env bash
# Sets up the machine (scripts/setup.sh), builds zerva.exe and the stand-ins it lays out (not the
# test programs) for Windows x64 and runs it under Wine:
# "--cli status" on a fresh root folder under the build folder, then "--cli start" and
# "--cli stop" on a stack of test stand-ins laid out in a second root (tools/standin: programs
# that play httpd.exe, php.exe and the MariaDB server, as far as Zerva relies on them). Then the
# window on the virtual display: a screenshot of it, and a start closed as the close box would.
# Last, on your own display (DISPLAY set when the script starts), the window itself, until you
# close it. Wine runs in a prefix of this script's own under the build folder, with the same
# stand-in fonts as scripts/screenshots.sh (the tests' prefix keeps its empty Fonts folder).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
# The virtual display of the Wine session replaces DISPLAY: keep the user's own.
user_display="${DISPLAY:-}"
build="${ZERVA_BUILD_DIR:-$here/build}"

bash "$here/scripts/setup.sh"
# shellcheck source=scripts/wine-env.sh
source "$here/scripts/wine-env.sh"
# shellcheck source=scripts/standin-stack.sh
source "$here/scripts/standin-stack.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >/dev/null
# Only what runs below: the test programs are left to scripts/test.sh.
cmake --build "$build" -j "$(nproc)" --target zerva "${STANDIN_STACK_TARGETS[@]}"
echo "built into $build/bin"

bin="$build/bin"
start_wine_session "$build/demo/session" >/dev/null 2>&1
trap stop_wine_session EXIT
lay_standin_fonts

fresh="$build/demo/fresh"
rm -rf "$fresh" && mkdir -p "$fresh"
echo
echo "\$ zerva.exe --root $(winpath "$fresh") --cli status"
quiet_wine "$bin/zerva.exe" --root "$(winpath "$fresh")" --cli status

stack="$build/demo/stack"
lay_out_standin_stack "$bin" "$stack"
for command in start stop; do
    echo
    echo "\$ zerva.exe --root $(winpath "$stack") --cli $command"
    quiet_wine "$bin/zerva.exe" --root "$(winpath "$stack")" --cli "$command"
done

# The window on the virtual display, in the fresh root (no builds: nothing starts with it).
shot="$build/demo/window.png"
echo
echo "\$ zerva.exe --root $(winpath "$fresh") --screenshot $(winpath "$shot") --size 1200x780"
code=0
quiet_wine "$bin/zerva.exe" --root "$(winpath "$fresh")" --screenshot "$(winpath "$shot")" --size 1200x780 || code=$?
echo "exit code $code, wrote $shot"
echo
echo "\$ zerva.exe --root $(winpath "$fresh")    (closed after 5 s with taskkill, as by the close box)"
quiet_wine "$bin/zerva.exe" --root "$(winpath "$fresh")" &
window_pid=$!
sleep 5
wine taskkill /im zerva.exe >/dev/null 2>&1 || true
wait "$window_pid" || code=$?
echo "exit code $code"
stop_wine_session
trap - EXIT

if [ -n "$user_display" ]; then
    echo
    echo "Opening the window on $user_display; close it to end."
    DISPLAY="$user_display" quiet_wine "$bin/zerva.exe" --root "$(winpath "$fresh")"
    wineserver -k >/dev/null 2>&1 || true
else
    echo
    echo "No display here. From a desktop session (DISPLAY set), run this script again, or:"
    echo "  WINEPREFIX=$WINEPREFIX wine $bin/zerva.exe --root $(winpath "$fresh")"
fi
