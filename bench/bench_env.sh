# Sourced by the window and command-line benchmarks: builds zerva.exe and the stand-ins into the
# bench build folder and starts a warm Wine session that ends with the script. Sets here, build,
# work and bin. ZERVA_BUILD_DIR: build folder (default build-bench), ZERVA_BENCH_DIR: work folder.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ZERVA_BUILD_DIR:-$here/build-bench}"
work="${ZERVA_BENCH_DIR:-${TMPDIR:-/tmp}/zerva-bench}"

bash "$here/scripts/setup.sh" >/dev/null
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" --target zerva zerva_standins >/dev/null
bin="$build/bin"
# Benchmarks never leave the machine: every built-in online address (catalogs, update check,
# public address) goes to a closed loopback port and fails at once.
export ZERVA_ONLINE_BASE="http://127.0.0.1:9"

# shellcheck source=scripts/wine-env.sh
source "$here/scripts/wine-env.sh"
# shellcheck source=scripts/standin-stack.sh
source "$here/scripts/standin-stack.sh"
start_wine_session "$build" >/dev/null 2>&1
# Ending the session ends every Wine process of its prefix, a window left by an interruption too.
trap stop_wine_session EXIT
