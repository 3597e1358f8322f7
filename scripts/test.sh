#!/usr/bin/env bash
# Sets up the machine (scripts/setup.sh), builds Zerva and its test programs, and runs every
# test under Wine with a virtual display. Exits non-zero when anything fails.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${ZERVA_BUILD_DIR:-$here/build}"
jobs="$(nproc)"

bash "$here/scripts/setup.sh"
# shellcheck source=scripts/wine-env.sh
source "$here/scripts/wine-env.sh"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j "$jobs"

start_wine_session "$build"
trap stop_wine_session EXIT

cd "$build"
ctest --output-on-failure -j "$jobs" "$@"
