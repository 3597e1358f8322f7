// core/templates.cpp: the texts compiled into the program for the first-run layout and for
// builds without a user template. Raw literals keep each text readable and byte-exact: LF line
// ends, a final LF, literal tabs, and {NAME} macros left for the generators to expand.
#include "core/layout.h"

// "httpd_zerva.conf". Template creation replaces the @@LOADMODULES@@ line by the build's own
// LoadModule lines when it makes a build's template.
const char* const kBuiltinApacheTemplate = R"ZV(#
# Zerva - Apache configuration template
#
# Edit THIS file (httpd_zerva.conf). httpd.conf is regenerated from it each time Apache starts.
# Macros replaced by Zerva (write them between braces):
#   APACHEPATH DOCUMENTPATH PHPAPPS TEMPPATH ZERVAPATH
#   PHPPATH PHPEXTPATH PHPAPACHE2FILE PHPMODULENAME
#   LISTEN_VIRTUAL_HOST_PORT (Listen lines built from the VirtualHost ports), APACHE_PORT
#   ONLINE_MODE ("Require local" offline, "Require all granted" online)
#
Define SRVROOT "{APACHEPATH}"
ServerRoot "{APACHEPATH}"

{LISTEN_VIRTUAL_HOST_PORT}

@@LOADMODULES@@

# PHP (selected in Zerva)
LoadModule {PHPMODULENAME} "{PHPPATH}/{PHPAPACHE2FILE}"
<IfModule {PHPMODULENAME}>
    PHPIniDir "{PHPPATH}"
</IfModule>
<FilesMatch "\.php$">
    SetHandler application/x-httpd-php
</FilesMatch>
<FilesMatch "\.phps$">
    SetHandler application/x-httpd-php-source
</FilesMatch>

ServerAdmin admin@localhost
ServerName localhost:{APACHE_PORT}
ServerTokens Prod
ServerSignature Off
Timeout 300
KeepAlive On
MaxKeepAliveRequests 100
KeepAliveTimeout 5
HostnameLookups Off
UseCanonicalName Off
AcceptFilter http none
AcceptFilter https none
EnableSendfile Off
EnableMMAP Off

<Directory />
    AllowOverride none
    Require all denied
</Directory>

DocumentRoot "{DOCUMENTPATH}"

<IfModule dir_module>
    DirectoryIndex index.php index.html index.htm
</IfModule>

<Files ".ht*">
    Require all denied
</Files>

ErrorLog "{APACHEPATH}/logs/error.log"
LogLevel warn

<IfModule log_config_module>
    LogFormat "%h %l %u %t \"%r\" %>s %b \"%{Referer}i\" \"%{User-Agent}i\"" combined
    LogFormat "%h %l %u %t \"%r\" %>s %b" common
    CustomLog "{APACHEPATH}/logs/access.log" common
</IfModule>

<IfModule mime_module>
    TypesConfig conf/mime.types
    AddType application/x-compress .Z
    AddType application/x-gzip .gz .tgz
</IfModule>

<IfModule ssl_module>
    SSLRandomSeed startup builtin
    SSLRandomSeed connect builtin
    SSLProtocol all -SSLv3 -TLSv1 -TLSv1.1
    <IfModule socache_shmcb_module>
        SSLSessionCache "shmcb:{APACHEPATH}/logs/ssl_scache(512000)"
        SSLSessionCacheTimeout 300
    </IfModule>
</IfModule>

<IfModule mpm_winnt_module>
    ThreadsPerChild 150
    MaxConnectionsPerChild 0
</IfModule>

<IfModule autoindex_module>
    Include conf/extra/httpd-autoindex.conf
</IfModule>

# ------------------------------------------------------------------ Virtual hosts
# Managed by Zerva (Apache > Virtual hosts), but you can also edit them here.

<VirtualHost *:80>
	DocumentRoot "{DOCUMENTPATH}"
	ServerName "localhost"
	Alias "/mysql" "{PHPAPPS}/phpmyadmin/"
	Alias "/phpmyadmin" "{PHPAPPS}/phpmyadmin/"
	Alias "/zerva" "{PHPAPPS}/zerva/"
	<Directory "{PHPAPPS}/phpmyadmin/">
		AllowOverride All
		Options FollowSymLinks
		Require local
	</Directory>
	<Directory "{PHPAPPS}/zerva/">
		AllowOverride All
		Options FollowSymLinks
		Require local
	</Directory>
	<Directory "{DOCUMENTPATH}">
		AllowOverride All
		Options FollowSymLinks Indexes
		{ONLINE_MODE}
	</Directory>
</VirtualHost>

<VirtualHost *:443>
	DocumentRoot "{DOCUMENTPATH}"
	ServerName "localhost"
	SSLEngine on
	SSLCertificateFile "{APACHEPATH}/conf/ssl/localhost.crt"
	SSLCertificateKeyFile "{APACHEPATH}/conf/ssl/localhost.key"
	Alias "/mysql" "{PHPAPPS}/phpmyadmin/"
	Alias "/phpmyadmin" "{PHPAPPS}/phpmyadmin/"
	Alias "/zerva" "{PHPAPPS}/zerva/"
	<Directory "{PHPAPPS}/phpmyadmin/">
		AllowOverride All
		Options FollowSymLinks
		Require local
	</Directory>
	<Directory "{PHPAPPS}/zerva/">
		AllowOverride All
		Options FollowSymLinks
		Require local
	</Directory>
	<Directory "{DOCUMENTPATH}">
		AllowOverride All
		Options FollowSymLinks Indexes
		{ONLINE_MODE}
	</Directory>
</VirtualHost>
)ZV";

// "my_zerva.ini". Port and bind address arrive through macros, so a settings change needs no
// edit of a user's template.
const char* const kBuiltinMyTemplate = R"ZV(# Zerva - MySQL / MariaDB configuration template
# Edit THIS file (my_zerva.ini). my.ini is regenerated from it each time the server starts.
# Macros (between braces): MYSQLPATH MYSQLBINPATH MYSQLDATAPATH MYSQL_PORT MYSQL_BIND TEMPPATH

[mysqld]
basedir = "{MYSQLPATH}"
datadir = "{MYSQLDATAPATH}"
port = {MYSQL_PORT}
bind-address = {MYSQL_BIND}
log-error = "{MYSQLDATAPATH}/mysql_error.log"
tmpdir = "{TEMPPATH}"
character-set-server = utf8mb4
collation-server = utf8mb4_unicode_ci
sql_mode = NO_ENGINE_SUBSTITUTION,STRICT_TRANS_TABLES
max_allowed_packet = 64M
innodb_buffer_pool_size = 256M
max_connections = 100

[client]
port = {MYSQL_PORT}
default-character-set = utf8mb4
)ZV";

// "config.inc.php". Its @@NAME@@ placeholders are replaced by plain substitution, not by the
// brace macros; the password and port lines must keep the form the settings pages rewrite.
const char* const kBuiltinPhpMyAdminTemplate = R"ZV(<?php
/*
 * phpMyAdmin configuration generated by Zerva.
 * The password below is updated by Zerva when you change the MySQL root password.
 */
$cfg['blowfish_secret'] = '@@SECRET@@';

$i = 0;
$i++;
$cfg['Servers'][$i]['auth_type'] = 'config';
$cfg['Servers'][$i]['host'] = '127.0.0.1';
$cfg['Servers'][$i]['port'] = '@@PORT@@';
$cfg['Servers'][$i]['user'] = 'root';
$cfg['Servers'][$i]['password'] = '@@PASSWORD@@';
$cfg['Servers'][$i]['AllowNoPassword'] = true;

$cfg['UploadDir'] = '';
$cfg['SaveDir'] = '';
$cfg['TempDir'] = '@@TEMPDIR@@';
$cfg['VersionCheck'] = false;
)ZV";

// www\index.php, written once into an empty document root. Everything taken from the server
// (folder names, versions, extension names) is escaped, since any folder name can reach it.
const char* const kDefaultHomePage = R"ZV(<?php // Zerva default home page: replace or delete this file as you like.
function h($text) { return htmlspecialchars((string)$text, ENT_QUOTES, 'UTF-8'); }
$projects = [];
foreach (scandir(__DIR__) ?: [] as $name) {
    if ($name[0] !== '.' && is_dir(__DIR__ . '/' . $name)) $projects[] = $name;
}
$extensions = get_loaded_extensions();
sort($extensions, SORT_NATURAL | SORT_FLAG_CASE);
$software = $_SERVER['SERVER_SOFTWARE'] ?? 'Apache';
?>
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Zerva</title>
<style>
:root { --bg: #0f1117; --card: #181b24; --line: #262a36; --text: #e6e8ee; --muted: #9aa0ae; --accent: #6c7cff; }
@media (prefers-color-scheme: light) {
  :root { --bg: #f5f6fa; --card: #ffffff; --line: #e3e5ec; --text: #1b1e27; --muted: #5f6577; --accent: #4f5bd5; }
}
* { box-sizing: border-box; }
body { margin: 0; background: var(--bg); color: var(--text); font: 15px "Segoe UI", system-ui, sans-serif; }
main { max-width: 1000px; margin: 0 auto; padding: 32px 20px; }
h1 { margin: 0; font-size: 30px; }
h1 span, a { color: var(--accent); }
a { text-decoration: none; }
a:hover { text-decoration: underline; }
h2 { margin: 0 0 12px; font-size: 17px; }
.sub, .none, .tag { color: var(--muted); }
.sub { margin: 4px 0 24px; }
.card { background: var(--card); border: 1px solid var(--line); border-radius: 12px; padding: 18px 20px; margin-bottom: 16px; }
.tools a { margin-right: 24px; }
.grid { display: grid; grid-template-columns: repeat(auto-fill, minmax(200px, 1fr)); gap: 10px; }
.grid a { padding: 10px 12px; border: 1px solid var(--line); border-radius: 8px; overflow-wrap: anywhere; }
.tag { display: inline-block; margin: 0 6px 6px 0; padding: 2px 9px; border: 1px solid var(--line); border-radius: 10px; font-size: 13px; }
code { background: var(--line); padding: 1px 5px; border-radius: 4px; }
</style>
</head>
<body>
<main>
<h1><span>Z</span>erva</h1>
<p class="sub"><?= h($software) ?> &middot; PHP <?= h(PHP_VERSION) ?></p>
<section class="card tools">
<h2>Tools</h2>
<a href="/mysql/">phpMyAdmin</a>
<a href="/zerva/phpinfo.php">phpinfo()</a>
</section>
<section class="card">
<h2>Projects (www folder)</h2>
<?php if ($projects): ?>
<div class="grid">
<?php foreach ($projects as $name): ?>
<a href="/<?= rawurlencode($name) ?>/"><?= h($name) ?></a>
<?php endforeach; ?>
</div>
<?php else: ?>
<p class="none">No project yet: create a folder in <code>www</code></p>
<?php endif; ?>
</section>
<section class="card">
<h2>Loaded PHP extensions (<?= h(count($extensions)) ?>)</h2>
<?php foreach ($extensions as $extension): ?>
<span class="tag"><?= h($extension) ?></span>
<?php endforeach; ?>
</section>
</main>
</body>
</html>
)ZV";
