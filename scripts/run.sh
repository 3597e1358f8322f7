#!/usr/bin/env bash
# Sets up the machine (scripts/setup.sh), builds Zerva for Windows x64 and runs it under Wine:
# "--cli status" on a fresh root folder under the build folder, then "--cli start" and
# "--cli stop" on a stack of test stand-ins laid out in a second root (tools/standin: programs
# that play httpd.exe, php.exe and the MariaDB server, as far as Zerva relies on them).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${ZERVA_BUILD_DIR:-$here/build}"

bash "$here/scripts/setup.sh"
# shellcheck source=scripts/wine-env.sh
source "$here/scripts/wine-env.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)"
echo "built into $build/bin"

bin="$build/bin"
# shellcheck source=scripts/standin-stack.sh
source "$here/scripts/standin-stack.sh"
start_wine_session "$build" >/dev/null 2>&1
trap stop_wine_session EXIT

fresh="$build/demo/fresh"
rm -rf "$fresh" && mkdir -p "$fresh"
echo
echo "\$ zerva.exe --root $(winpath "$fresh") --cli status"
wine "$bin/zerva.exe" --root "$(winpath "$fresh")" --cli status

stack="$build/demo/stack"
lay_out_standin_stack "$bin" "$stack"
for command in start stop; do
    echo
    echo "\$ zerva.exe --root $(winpath "$stack") --cli $command"
    wine "$bin/zerva.exe" --root "$(winpath "$stack")" --cli "$command"
done
