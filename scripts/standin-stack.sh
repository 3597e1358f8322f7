# Sourced by scripts/run.sh and bench/cli_run.sh: lays out, in a root folder, an Apache, a PHP
# and a MariaDB build made of the test stand-ins (tools/standin), the Apache template and the
# database port on free loopback ports.
# usage: lay_out_standin_stack <folder of the built stand-ins> <root folder>

# The build targets of the stand-ins laid out below: a caller builds these and nothing more.
STANDIN_STACK_TARGETS=(standin_httpd standin_openssl standin_php standin_mariadbd standin_mariadb_admin
                       standin_mariadb_install_db)

lay_out_standin_stack() {
    local bin="$1" root="$2"
    local apache="$root/bin/apache/httpd-2.4.58" php="$root/bin/php/php-8.3.14" db="$root/bin/database/mariadb-11.4.2"
    rm -rf "$root"
    mkdir -p "$apache/bin" "$apache/conf" "$php" "$db/bin"
    cp "$bin/httpd.exe" "$bin/openssl.exe" "$apache/bin/"
    cp "$bin/php.exe" "$php/" && : >"$php/php8apache2_4.dll" && printf '[PHP]\r\n' >"$php/php.ini-development"
    cp "$bin/mariadbd.exe" "$bin/mariadb-admin.exe" "$bin/mariadb-install-db.exe" "$db/bin/"
    local ports web_port db_port
    ports="$(python3 -c 'import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')"
    read -r web_port db_port <<<"$ports"
    printf 'ServerRoot "{APACHEPATH}"\r\n{LISTEN_VIRTUAL_HOST_PORT}\r\nLoadModule {PHPMODULENAME} "{PHPPATH}/{PHPAPACHE2FILE}"\r\n<VirtualHost *:%s>\r\n    DocumentRoot "{DOCUMENTPATH}"\r\n</VirtualHost>\r\n' \
        "$web_port" >"$apache/conf/httpd_zerva.conf"
    printf 'MYSQL_PORT = "%s"\r\n' "$db_port" >"$root/zerva.ini"
}

# The Windows path of a Unix path: Wine shows the Unix file system as drive Z:.
winpath() { echo "Z:${1//\//\\}"; }
