#!/bin/sh
# What ctest runs each test program through (and gtest discovery lists the tests with): Wine
# without address-space randomisation, and, when the program fails, a last line with its exit
# code and run time, so a program that never started still says so.
#
# Debian's Wine is built without its preloader, which would reserve Wine's fixed Windows
# addresses (the shared user data page at 0x7ffe0000, the low DOS area) before anything else is
# mapped. With randomised mappings a Unix library now and then lands on one of them, and the
# program ends within milliseconds, before any output of its own, with "failed to map the shared
# user data: c0000018". The same layout on every start removes that lottery; the personality is
# inherited, so the stand-ins a test starts get it too. Where setarch is refused (a sandbox that
# forbids the personality call) the program runs as it is.
#
# The program's output goes through a file: every Windows process a test starts inherits the Unix
# output of the test program, and one that hangs after the test ended (a child that faulted while
# ending and waits for a debugger) would otherwise hold ctest's pipe open until the time-out.
start=$(date +%s%N)
out=$(mktemp)
if setarch "$(uname -m)" -R true 2>/dev/null; then
    setarch "$(uname -m)" -R wine "$@" >"$out" 2>&1
else
    wine "$@" >"$out" 2>&1
fi
code=$?
# What Wine says about itself at every Direct3D start would bury the test's own lines.
sed -f "$(dirname "$0")/wine-noise.sed" "$out"
rm -f "$out"
if [ "$code" -ne 0 ]; then
    end=$(date +%s%N)
    echo "$(basename "$1") $2 ended with exit code $code after $(( (end - start) / 1000000 )) ms" \
        "(under Wine)" >&2
fi
exit "$code"
