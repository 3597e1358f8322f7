#!/bin/sh
# What ctest runs each test program through (and gtest discovery lists the tests with): Wine,
# and, when the program fails, a last line with its exit code and run time. A program that never
# started prints nothing of its own; with this line and Wine's own error channel (wine-env.sh)
# such a failure still says what happened.
start=$(date +%s%N)
wine "$@"
code=$?
if [ "$code" -ne 0 ]; then
    end=$(date +%s%N)
    echo "$(basename "$1") $2 ended with exit code $code after $(( (end - start) / 1000000 )) ms" \
        "(under Wine)" >&2
fi
exit "$code"
