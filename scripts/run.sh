#!/usr/bin/env bash
# Sets up the machine (scripts/setup.sh) and builds Zerva for Windows x64. The program itself
# is not there yet: this builds the core library, the stand-ins and the test programs.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${ZERVA_BUILD_DIR:-$here/build}"

bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)"
echo "built into $build/bin"
