#!/usr/bin/env bash
# Takes --screenshot pictures of every page of zerva.exe, as a user would see them, into
# build/shots: on a root of test stand-ins whose Apache and MariaDB run, in the dark and light
# themes, in English and French, at the smallest window size and a large one.
# usage: scripts/screenshots.sh [page ...]   (pages: dashboard apache php mysql components logs
#        prefs update; all by default). SIZES="860x560 1600x1000" THEMES="dark light" LANGS="en fr"
#        change the other axes.
# This Wine has no Windows fonts: Debian's DejaVu files stand in under the Windows file names in
# a prefix of this script's own (the test prefix keeps its empty Fonts folder). There is no icon
# font either, so icons are left blank. Every online address goes to a closed loopback port, but
# for the update manifest, served on another loopback port, which announces version 4.1.0.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${ZERVA_BUILD_DIR:-$here/build}"
pages=("$@")
[ ${#pages[@]} -gt 0 ] || pages=(dashboard apache php mysql components logs prefs update)
read -r -a sizes <<<"${SIZES:-860x560 1600x1000}"
read -r -a themes <<<"${THEMES:-dark light}"
read -r -a langs <<<"${LANGS:-en fr}"

bash "$here/scripts/setup.sh"
# shellcheck source=scripts/wine-env.sh
source "$here/scripts/wine-env.sh"
# shellcheck source=scripts/standin-stack.sh
source "$here/scripts/standin-stack.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)" --target zerva zerva_standins >/dev/null

shots="$build/shots"
mkdir -p "$shots/session"
start_wine_session "$shots/session" >/dev/null 2>&1
trap stop_wine_session EXIT
lay_standin_fonts
export ZERVA_ONLINE_BASE="http://127.0.0.1:9"

# Under the prefix's drive C, so the pictures show an ordinary Windows path.
root="$WINEPREFIX/drive_c/Zerva"
lay_out_standin_stack "$build/bin" "$root"
printf 'CHECK_UPDATES = "0"\r\nSTART_ON_START = "0"\r\n' >>"$root/zerva.ini"
mkdir -p "$root/www/blog" "$root/www/shop"
# Some extension files in the PHP build, so its Extensions tab has something to list.
mkdir -p "$root/bin/php/php-8.3.14/ext"
printf '[PHP]\r\n' >"$root/bin/php/php-8.3.14/php.ini-development"
for ext in curl fileinfo gd intl mbstring mysqli openssl pdo_mysql pdo_sqlite sodium sqlite3 zip; do
    : >"$root/bin/php/php-8.3.14/ext/php_$ext.dll"
    printf ';extension=%s\r\n' "$ext" >>"$root/bin/php/php-8.3.14/php.ini-development"
done
# An update manifest on a loopback port announcing a newer version, for the update dialog.
mkdir -p "$shots/manifest"
printf '{"version": "4.1.0", "url": "http://127.0.0.1:9/Zerva-4.1.0.zip", "sha256": "%s", "page": "http://127.0.0.1:9/"}\n' \
    "$(printf '0%.0s' {1..64})" >"$shots/manifest/update.json"
port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$shots/manifest" >/dev/null 2>&1 &
manifest_pid=$!
printf 'UPDATE_URL = "http://127.0.0.1:%s/update.json"\r\n' "$port" >>"$root/zerva.ini"
zerva() { quiet_wine "$build/bin/zerva.exe" --root 'C:\Zerva' "$@"; }
zerva --cli start >/dev/null
trap 'zerva --cli stop >/dev/null 2>&1 || true; kill "$manifest_pid" 2>/dev/null || true; stop_wine_session' EXIT

for theme in "${themes[@]}"; do
    sed -i '/^THEME = /d' "$root/zerva.ini"
    printf 'THEME = "%s"\r\n' "$theme" >>"$root/zerva.ini"
    for lang in "${langs[@]}"; do
        for size in "${sizes[@]}"; do
            for page in "${pages[@]}"; do
                png="$shots/$page-$theme-$lang-$size.png"
                zerva --lang "$lang" --screenshot "$(winpath "$png")" --page "$page" --size "$size" --frames 20 \
                    || echo "failed: $png" >&2
                echo "$png"
            done
        done
    done
done
