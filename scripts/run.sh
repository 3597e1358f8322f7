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
# Windows paths of the root folders: Wine shows the Unix file system as drive Z:.
winpath() { echo "Z:${1//\//\\}"; }
# A loopback port nothing listens on.
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

start_wine_session "$build" >/dev/null 2>&1
trap stop_wine_session EXIT

fresh="$build/demo/fresh"
rm -rf "$fresh" && mkdir -p "$fresh"
echo
echo "\$ zerva.exe --root $(winpath "$fresh") --cli status"
wine "$bin/zerva.exe" --root "$(winpath "$fresh")" --cli status

stack="$build/demo/stack"
rm -rf "$stack"
apache="$stack/bin/apache/httpd-2.4.58" php="$stack/bin/php/php-8.3.14" db="$stack/bin/database/mariadb-11.4.2"
mkdir -p "$apache/bin" "$apache/conf" "$php" "$db/bin"
cp "$bin/httpd.exe" "$bin/openssl.exe" "$apache/bin/"
cp "$bin/php.exe" "$php/" && : >"$php/php8apache2_4.dll" && printf '[PHP]\r\n' >"$php/php.ini-development"
cp "$bin/mariadbd.exe" "$bin/mariadb-admin.exe" "$bin/mariadb-install-db.exe" "$db/bin/"
web_port="$(free_port)" db_port="$(free_port)"
printf 'ServerRoot "{APACHEPATH}"\r\n{LISTEN_VIRTUAL_HOST_PORT}\r\nLoadModule {PHPMODULENAME} "{PHPPATH}/{PHPAPACHE2FILE}"\r\n<VirtualHost *:%s>\r\n    DocumentRoot "{DOCUMENTPATH}"\r\n</VirtualHost>\r\n' \
    "$web_port" >"$apache/conf/httpd_zerva.conf"
printf 'MYSQL_PORT = "%s"\r\n' "$db_port" >"$stack/zerva.ini"
for command in start stop; do
    echo
    echo "\$ zerva.exe --root $(winpath "$stack") --cli $command"
    wine "$bin/zerva.exe" --root "$(winpath "$stack")" --cli "$command"
done
