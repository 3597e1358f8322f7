// stack/help_tables.cpp: the two help tables and the documentation links.
//
// Index:
//   ---- Apache modules ----   one row per module of the LoadModule lines
//   ---- PHP extensions ----   one row per extension name of the extension= lines
//   ---- Lookups ----          the four lookups and the link rules
#include "stack/help_tables.h"

#include <span>

#include "core/text.h"

namespace {

constexpr const char* kApacheModuleDocs = "https://httpd.apache.org/docs/2.4/mod/mod_";
constexpr const char* kPhpManual = "https://www.php.net/manual/en/";

struct HelpRow {
    const char* name;
    const char* text;
    const char* page = nullptr;  // the manual page when it is not "book.<name>"
};

// ---- Apache modules ----

constexpr HelpRow kApacheModules[] = {
    {"actions_module",
     "Runs CGI scripts by media type or request method.\n\n"
     "Action maps a handler or a content type to a CGI script that then serves every such file; "
     "Script maps a request method such as PUT to a script."},
    {"alias_module",
     "Maps URL paths to folders and redirects addresses.\n\n"
     "Alias and AliasMatch serve a folder outside the DocumentRoot under a URL path; Redirect "
     "and RedirectMatch send the browser to another address; ScriptAlias marks a folder of CGI "
     "scripts. Needed by phpMyAdmin's alias."},
    {"asis_module",
     "Sends files that carry their own HTTP headers.\n\n"
     "A file handled as send-as-is (.asis) goes out without headers added by Apache, so it can "
     "set its own Status and Location lines, for instance for a redirect without a script."},
    {"auth_basic_module",
     "Basic HTTP authentication.\n\n"
     "The browser asks for a user name and a password and sends them, merely encoded, with every "
     "request: use it over HTTPS. A provider such as authn_file checks the users (AuthType "
     "Basic, AuthBasicProvider)."},
    {"auth_digest_module",
     "HTTP Digest authentication.\n\n"
     "The browser sends an MD5 digest instead of the password itself (AuthType Digest); the "
     "users are kept in a file made with htdigest. Basic authentication over HTTPS is the more "
     "common choice today."},
    {"authn_alias_module",
     "Named authentication providers (Apache 2.2).\n\n"
     "<AuthnProviderAlias> defines several providers of one kind under names of their own, for "
     "instance two LDAP directories, to be listed in AuthBasicProvider. Apache 2.4 moved this "
     "into authn_core."},
    {"authn_anon_module",
     "Anonymous access to protected areas.\n\n"
     "Lets visitors in with a chosen user name such as \"anonymous\" and, if required, an e-mail "
     "address as password, as anonymous FTP servers do (Anonymous, Anonymous_MustGiveEmail); "
     "such logins can be logged."},
    {"authn_dbd_module",
     "User authentication from an SQL database.\n\n"
     "Checks user names and passwords with an SQL query run through dbd_module "
     "(AuthDBDUserPWQuery); needs dbd_module and a database driver."},
    {"authn_dbm_module",
     "User authentication from DBM files.\n\n"
     "Looks users and their password hashes up in a DBM database file (AuthDBMUserFile), faster "
     "than a text file when there are many users."},
    {"authn_default_module",
     "Fallback authentication (Apache 2.2).\n\n"
     "Refuses every user when no other authentication module handles a protected area, so a "
     "mistake never opens it. Removed in Apache 2.4."},
    {"authn_file_module",
     "User authentication from password files.\n\n"
     "Checks users against a text file made with htpasswd (AuthUserFile): the usual provider of "
     "Basic authentication."},
    {"authnz_ldap_module",
     "Authentication and authorization through LDAP.\n\n"
     "Checks users against an LDAP directory or Active Directory (AuthLDAPURL) and grants access "
     "by user, group, DN or attribute (Require ldap-user, ldap-group...); needs ldap_module."},
    {"authz_dbm_module",
     "Group authorization from DBM files.\n\n"
     "Grants access by group membership kept in a DBM file (AuthDBMGroupFile, Require "
     "dbm-group)."},
    {"authz_default_module",
     "Fallback authorization (Apache 2.2).\n\n"
     "Refuses every request whose Require lines no other authorization module handles. Removed "
     "in Apache 2.4."},
    {"authz_groupfile_module",
     "Group authorization from text files.\n\n"
     "Grants access by group membership listed in a plain text file (AuthGroupFile, Require "
     "group)."},
    {"authz_host_module",
     "Access control by client address or host name.\n\n"
     "Provides Require ip, Require host and Require local; the Access choices of this panel rely "
     "on it (\"Require local\" keeps a site to this computer). Nearly every configuration needs "
     "it."},
    {"authz_owner_module",
     "Authorization by file owner.\n\n"
     "Grants access when the user name matches the owner (Require file-owner) or the group "
     "(Require file-group) of the requested file. Of little use on Windows."},
    {"authz_user_module",
     "Authorization by user name.\n\n"
     "Provides Require user and Require valid-user, which let in named users or any "
     "authenticated user once an authentication module has checked them."},
    {"autoindex_module",
     "Automatic folder listings.\n\n"
     "When a folder has no index file and Options Indexes is on, lists its files with icons, "
     "sizes and dates, like the dir command (IndexOptions, IndexIgnore)."},
    {"cache_module",
     "HTTP content cache.\n\n"
     "Keeps responses by the HTTP caching rules and serves them again without asking the back "
     "end, useful in front of slow or proxied content (CacheEnable). Needs a storage module such "
     "as disk_cache (cache_disk in Apache 2.4)."},
    {"cern_meta_module",
     "CERN httpd meta files.\n\n"
     "Adds HTTP headers read from a meta file kept beside each document (MetaFiles, MetaDir, "
     "MetaSuffix), as the old CERN web server did."},
    {"cgi_module",
     "Runs CGI scripts.\n\n"
     "Executes programs and scripts (Perl, Python...) found in folders marked by ScriptAlias or "
     "with Options ExecCGI, and sends their output to the browser. PHP loaded as an Apache "
     "module does not need it."},
    {"charset_lite_module",
     "Character set translation.\n\n"
     "Converts requests and responses between two character sets (CharsetSourceEnc, "
     "CharsetDefault); rarely needed now that pages use UTF-8."},
    {"dav_module",
     "WebDAV: files edited over HTTP.\n\n"
     "Lets clients create, copy, move and delete files on the server over HTTP (Dav On). Needs a "
     "provider such as dav_fs; protect such an area with authentication."},
    {"dav_fs_module",
     "File system provider of WebDAV.\n\n"
     "Stores WebDAV resources as files on disk; needs dav_module and a lock database "
     "(DavLockDB)."},
    {"dav_lock_module",
     "Generic locks for WebDAV.\n\n"
     "Provides locking to WebDAV providers that have none of their own (DavGenericLockDB); "
     "dav_fs has its own and does not need it."},
    {"dbd_module",
     "SQL database connection pool.\n\n"
     "Manages connections to databases through the APR DBD drivers (DBDriver, DBDParams) for "
     "other modules such as authn_dbd."},
    {"deflate_module",
     "Compresses responses with gzip.\n\n"
     "The DEFLATE output filter compresses text content (HTML, CSS, JavaScript, JSON) before it "
     "is sent, which saves bandwidth (AddOutputFilterByType DEFLATE text/html)."},
    {"dir_module",
     "Index files and trailing slashes.\n\n"
     "Serves a folder's index file (DirectoryIndex index.php index.html) and redirects a folder "
     "address that lacks its final slash. Nearly every site needs it."},
    {"disk_cache_module",
     "Disk storage of the HTTP cache (Apache 2.2).\n\n"
     "The storage manager of cache_module that keeps cached responses in files under CacheRoot. "
     "Called cache_disk_module in Apache 2.4."},
    {"dumpio_module",
     "Logs all input and output.\n\n"
     "Writes everything the server receives and sends to the error log (DumpIOInput, "
     "DumpIOOutput). For debugging only: the log grows fast."},
    {"env_module",
     "Environment of CGI scripts and SSI pages.\n\n"
     "SetEnv, UnsetEnv and PassEnv change the environment variables handed to CGI scripts and "
     "server-side includes; PHP reads them with getenv()."},
    {"expires_module",
     "Expires and Cache-Control headers.\n\n"
     "Tells browsers how long they may keep a file (ExpiresActive On, ExpiresByType image/png "
     "\"access plus 1 month\"), so repeated visits load faster."},
    {"ext_filter_module",
     "Filters responses through an outside program.\n\n"
     "Passes the response body through a command-line program (ExtFilterDefine) before it is "
     "sent. Simple but slow: the program runs for every request."},
    {"file_cache_module",
     "Caches a fixed list of files in memory.\n\n"
     "CacheFile keeps files open and MMapFile maps them into memory at start-up, to serve files "
     "that never change a little faster; a changed file needs a restart."},
    {"filter_module",
     "Output filters chosen per response.\n\n"
     "Chooses filters at run time from the response's headers or environment (FilterDeclare, "
     "FilterProvider, FilterChain); in Apache 2.4 it also provides AddOutputFilterByType."},
    {"headers_module",
     "Changes HTTP request and response headers.\n\n"
     "Header and RequestHeader set, append, edit or remove headers: security headers, CORS "
     "headers, Cache-Control..."},
    {"ident_module",
     "RFC 1413 ident lookups.\n\n"
     "Asks the client computer's ident server for the user behind a connection (IdentityCheck "
     "On). Slow and unreliable; rarely used."},
    {"imagemap_module",
     "Server-side image maps.\n\n"
     "Processes .map files that turn a click position on an image into a link. Long replaced by "
     "client-side image maps in HTML."},
    {"include_module",
     "Server-side includes (SSI).\n\n"
     "Processes .shtml pages: <!--#include -->, <!--#echo --> and conditions are replaced before "
     "the page is sent (Options Includes)."},
    {"info_module",
     "Server configuration page.\n\n"
     "Shows the loaded modules and their directives at an address such as /server-info "
     "(SetHandler server-info). Keep it to this computer: it reveals the configuration."},
    {"isapi_module",
     "ISAPI extensions on Windows.\n\n"
     "Loads ISAPI extension DLLs written for Microsoft IIS and runs them for the files they "
     "handle (AddHandler isapi-handler .dll)."},
    {"ldap_module",
     "LDAP connection pool and cache.\n\n"
     "Keeps connections to LDAP servers and caches lookups for the LDAP modules such as "
     "authnz_ldap; SetHandler ldap-status shows its state."},
    {"logio_module",
     "Bytes received and sent per request.\n\n"
     "Adds the %I, %O and %S formats to LogFormat: the bytes of each request and response as "
     "they travel on the network, headers included."},
    {"log_config_module",
     "Access log with a chosen format.\n\n"
     "Writes the access log (CustomLog, LogFormat \"%h %l %u %t ...\"). Needed for "
     "logs\\access.log."},
    {"log_forensic_module",
     "Forensic log of requests.\n\n"
     "Writes each request twice, before and after it is handled, under a unique id "
     "(ForensicLog), so a request that crashed a process can be found; needs unique_id_module."},
    {"mem_cache_module",
     "Memory storage of the HTTP cache (Apache 2.2).\n\n"
     "The storage manager of cache_module that keeps cached content in memory, per process. "
     "Removed in Apache 2.4."},
    {"mime_module",
     "File types by extension.\n\n"
     "Maps file name extensions to content types, languages, encodings and handlers "
     "(TypesConfig, AddType, AddHandler). Every site needs it: without it files go out without "
     "their proper type."},
    {"mime_magic_module",
     "File types from the file's content.\n\n"
     "Guesses a file's content type from its first bytes, as the Unix file command does "
     "(MimeMagicFile), when its extension tells nothing."},
    {"negotiation_module",
     "Content negotiation.\n\n"
     "Picks, among several versions of a document (languages, types, encodings), the one that "
     "suits the browser's Accept headers, through type-map files or Options MultiViews."},
    {"proxy_module",
     "Proxy and gateway server.\n\n"
     "The core of Apache's forward and reverse proxy (ProxyPass, ProxyPassReverse); each "
     "protocol needs its own module: proxy_http, proxy_ajp, proxy_fcgi..."},
    {"proxy_ajp_module",
     "AJP support of the proxy.\n\n"
     "Forwards requests to a Java application server such as Tomcat over AJP (ProxyPass / "
     "ajp://localhost:8009/); needs proxy_module."},
    {"proxy_balancer_module",
     "Load balancing of the proxy.\n\n"
     "Spreads proxied requests over several back-end servers (<Proxy \"balancer://...\">, "
     "BalancerMember); needs proxy_module and, in Apache 2.4, an lbmethod module and "
     "slotmem_shm."},
    {"proxy_connect_module",
     "CONNECT support of the proxy.\n\n"
     "Lets a forward proxy tunnel HTTPS connections with the CONNECT method (AllowCONNECT); "
     "needs proxy_module."},
    {"proxy_ftp_module",
     "FTP support of the proxy.\n\n"
     "Lets the proxy fetch files from FTP servers for HTTP clients; needs proxy_module."},
    {"proxy_http_module",
     "HTTP support of the proxy.\n\n"
     "Forwards requests to HTTP and HTTPS back ends, for instance an application server on "
     "another port (ProxyPass /app http://127.0.0.1:3000/); needs proxy_module."},
    {"rewrite_module",
     "Rule-based URL rewriting.\n\n"
     "Rewrites or redirects request addresses with regular expressions and conditions "
     "(RewriteEngine On, RewriteCond, RewriteRule). The .htaccess files of most PHP frameworks "
     "and content systems use it for clean URLs."},
    {"setenvif_module",
     "Environment variables set from the request.\n\n"
     "SetEnvIf and BrowserMatch set variables from headers, the client's address or the URL; "
     "logging, access rules and headers can then depend on them."},
    {"speling_module",
     "Corrects mistyped URLs.\n\n"
     "With CheckSpelling On, a request for a missing file is redirected to a file whose name "
     "differs by case or by one letter (CheckCaseOnly corrects case only)."},
    {"ssl_module",
     "HTTPS with SSL/TLS.\n\n"
     "Encrypts connections with OpenSSL (SSLEngine on, SSLCertificateFile, "
     "SSLCertificateKeyFile). The HTTPS virtual host and its localhost certificate need it."},
    {"status_module",
     "Server activity page.\n\n"
     "Shows the workers, the requests in progress and the load at an address such as "
     "/server-status (SetHandler server-status; ExtendedStatus On for details). Keep it to this "
     "computer."},
    {"substitute_module",
     "Search and replace in responses.\n\n"
     "The SUBSTITUTE filter replaces text or regular expressions in the response body "
     "(Substitute \"s/old/new/ni\"), for instance to fix addresses in proxied pages."},
    {"unique_id_module",
     "A unique id for each request.\n\n"
     "Sets the UNIQUE_ID environment variable to an identifier unique across requests and "
     "servers, to be logged or handed to applications."},
    {"userdir_module",
     "Per-user web folders.\n\n"
     "Serves http://host/~user/ from a folder in each user's home (UserDir public_html). Of "
     "little use on a development computer."},
    {"usertrack_module",
     "Follows visitors with a cookie.\n\n"
     "Sets a cookie on each new visitor (CookieTracking on) so that the access log can follow "
     "the clicks of one browser."},
    {"version_module",
     "Configuration by Apache version.\n\n"
     "The <IfVersion> section applies its directives only for the given Apache versions, for "
     "instance <IfVersion >= 2.4>."},
    {"vhost_alias_module",
     "Mass virtual hosting.\n\n"
     "Builds the document root from the requested host name (VirtualDocumentRoot \"C:/www/%1\"), "
     "so many sites need no <VirtualHost> block each."},
};

// ---- PHP extensions ----

constexpr HelpRow kPhpExtensions[] = {
    {"apache",
     "Functions of PHP loaded as an Apache module: apache_request_headers, "
     "apache_response_headers, apache_note, virtual, getallheaders..."},
    {"apc",
     "Alternative PHP Cache: an opcode cache and a store of user data in shared memory "
     "(apc_store, apc_fetch). Replaced by OPcache for code and by APCu for data."},
    {"apd",
     "Advanced PHP Debugger: a profiler and debugger that traces function calls and their "
     "timings into files. Old and unmaintained."},
    {"array",
     "The array functions of the core: sorting, searching, slicing, mapping and combining arrays "
     "(sort, in_array, array_map, array_merge...). Always available."},
    {"bbcode",
     "Parses BBCode markup ([b], [url]...) as used in forums and turns it into HTML. A PECL "
     "extension."},
    {"bc",
     "BCMath: arithmetic of any precision on numbers written as strings (bcadd, bcmul, bcdiv), "
     "with as many digits as needed and a chosen scale."},
    {"bcompiler",
     "Compiles PHP scripts into bytecode files, to hide their source or load them faster. "
     "Unmaintained; does not work with current PHP."},
    {"bz2",
     "Reads and writes bzip2 (.bz2) compressed files and strings (bzopen, bzcompress, "
     "bzdecompress) and the compress.bzip2:// stream.",
     "book.bzip2"},
    {"calendar",
     "Converts dates between calendars (Gregorian, Julian, Jewish, French republican) through "
     "Julian day counts; also gives the date of Easter (easter_date)."},
    {"classkit",
     "Adds, redefines and removes class methods at run time. Replaced by runkit."},
    {"classobj",
     "Class and object functions of the core: class_exists, get_class, method_exists, "
     "property_exists, get_object_vars... Always available."},
    {"com",
     "COM and .NET on Windows: creates COM objects (new COM(\"Excel.Application\")), calls their "
     "methods and handles the VARIANT type. Windows only."},
    {"crack",
     "Checks the strength of a password with the cracklib library (crack_check). Unmaintained."},
    {"ctype",
     "Character class checks of strings: ctype_digit, ctype_alpha, ctype_space... faster than "
     "regular expressions for simple tests."},
    {"curl",
     "Client URL library: HTTP, HTTPS, FTP and other requests with headers, cookies, uploads, "
     "proxies and certificates (curl_init, curl_setopt, curl_exec). Most web APIs and package "
     "tools need it."},
    {"cyrus",
     "Administration of a Cyrus IMAP server: connects to it to manage mailboxes. Removed from "
     "PHP long ago."},
    {"datetime",
     "Dates and times: date(), strtotime(), mktime() and the DateTime, DateTimeImmutable, "
     "DateInterval and DateTimeZone classes. Part of the core; set date.timezone in php.ini."},
    {"dba",
     "Database (dbm-style) abstraction layer: key-value files in formats such as cdb, db4, "
     "inifile, flatfile or lmdb (dba_open, dba_fetch, dba_replace)."},
    {"dbase",
     "Reads and writes dBase (.dbf) database files. Moved to PECL."},
    {"dbplus",
     "Functions for the db++ database. Moved to PECL; unmaintained."},
    {"dbx",
     "One set of functions for several databases (MySQL, PostgreSQL, ODBC...). Replaced by PDO."},
    {"dio",
     "Direct I/O: low-level access to files and serial ports through descriptors (dio_open, "
     "dio_read, dio_tcsetattr). A PECL extension."},
    {"dir",
     "Directory functions of the core: opendir, readdir, scandir, glob and the Directory class. "
     "Always available."},
    {"dom",
     "Document Object Model: loads, walks, edits and saves XML and HTML documents (DOMDocument, "
     "DOMXPath). Needs libxml."},
    {"domxml",
     "The DOM XML functions of PHP 4. Replaced by the dom extension in PHP 5."},
    {"dotnet",
     "Loads .NET assemblies and creates their objects (new DOTNET(...)). Windows only; part of "
     "the COM extension."},
    {"enchant",
     "Spell checking through the Enchant library and its back ends (Hunspell, Aspell...) with "
     "their dictionaries (enchant_dict_check, enchant_dict_suggest)."},
    {"errorfunc",
     "Error handling and logging: error_reporting, set_error_handler, set_exception_handler, "
     "error_log, trigger_error, debug_backtrace. Part of the core."},
    {"exec",
     "Program execution: exec, shell_exec, system, passthru, proc_open and escapeshellarg. Part "
     "of the core; shared hosts often forbid it with disable_functions."},
    {"exif",
     "Reads the EXIF data of JPEG and TIFF images: camera, date, orientation, GPS position "
     "(exif_read_data, exif_thumbnail)."},
    {"expect",
     "Drives interactive programs through a terminal with the expect:// stream (expect_expectl). "
     "Unix only; a PECL extension."},
    {"fam",
     "File Alteration Monitor: watches files and folders for changes. Unix only; removed from "
     "PHP."},
    {"fbsql",
     "Functions for the FrontBase database. Removed in PHP 5.3."},
    {"fdf",
     "Forms Data Format: reads and writes the data of PDF forms with the FDF Toolkit. Moved to "
     "PECL."},
    {"fileinfo",
     "Guesses the content type and encoding of a file from its bytes with the libmagic database "
     "(finfo_file, mime_content_type); used to check uploads."},
    {"filepro",
     "Read-only access to filePro database files. Removed from PHP."},
    {"filesystem",
     "File functions of the core: fopen, file_get_contents, file_put_contents, copy, unlink, "
     "mkdir, realpath... Always available."},
    {"filter",
     "Validates and cleans data: filter_var with FILTER_VALIDATE_EMAIL, FILTER_VALIDATE_INT, "
     "FILTER_VALIDATE_URL..., and filter_input for request variables."},
    {"fribidi",
     "GNU FriBidi: reorders bidirectional text (Arabic, Hebrew) for display. Moved to PECL."},
    {"ftp",
     "FTP client: connects, logs in, lists, uploads and downloads files on FTP and FTPS servers "
     "(ftp_connect, ftp_ssl_connect, ftp_put, ftp_get)."},
    {"funchand",
     "Function handling of the core: call_user_func, func_get_args, function_exists, "
     "register_shutdown_function..."},
    {"geoip",
     "Finds the country, city or organisation of an IP address in the MaxMind GeoIP databases. A "
     "PECL extension."},
    {"gettext",
     "Translates messages with GNU gettext catalogs (.po, .mo files): _(), gettext, ngettext, "
     "bindtextdomain."},
    {"gmp",
     "GNU Multiple Precision: fast arithmetic on integers of any size (gmp_add, gmp_pow, "
     "gmp_powm, GMP objects with operators)."},
    {"gnupg",
     "Encrypts, decrypts, signs and verifies with GnuPG (OpenPGP). A PECL extension."},
    {"haru",
     "Creates PDF documents with the libHaru library (HaruDoc). A PECL extension."},
    {"hash",
     "Message digests and HMAC: hash(\"sha256\", ...), hash_hmac, hash_file, with many "
     "algorithms (MD5, SHA-1, SHA-2, SHA-3, CRC32, xxHash...). Always available."},
    {"http",
     "pecl_http: HTTP requests and responses, headers, content negotiation and URLs as classes. "
     "A PECL extension; PHP's own http:// stream needs nothing."},
    {"hwapi",
     "Object interface to a Hyperwave server. Removed from PHP."},
    {"hw",
     "Functions for the Hyperwave information server. Removed from PHP."},
    {"i18n",
     "Human language and character encoding support: the family of extensions for texts in many "
     "languages (intl, mbstring, iconv, gettext, enchant...)."},
    {"interbase",
     "InterBase and Firebird databases (ibase_connect, ibase_query). Moved to PECL in PHP 7.4; "
     "PDO users take pdo_firebird.",
     "book.ibase"},
    {"ibm-db2",
     "IBM DB2, Cloudscape and Apache Derby databases through the DB2 Call Level Interface "
     "(db2_connect, db2_exec). The PECL ibm_db2 extension."},
    {"iconv",
     "Converts strings between character sets (iconv(\"ISO-8859-1\", \"UTF-8\", $text)) and "
     "handles multibyte strings with iconv_strlen, iconv_substr..."},
    {"id3",
     "Reads and writes the ID3 tags of MP3 files (title, artist, album). A PECL extension."},
    {"ifx",
     "Functions for the Informix database. Removed in PHP 5.2.1."},
    {"iisfunc",
     "Administration of IIS web sites and virtual folders on Windows. Removed from PHP."},
    {"gd2",
     "GD image library (named gd from PHP 8.0): creates and edits PNG, JPEG, GIF and WebP "
     "images: resizing, cropping, drawing, text with TrueType fonts (imagecreatefromjpeg, "
     "imagecopyresampled, imagepng). Content systems use it for thumbnails and captchas.",
     "book.image"},
    {"imagick",
     "Image processing with ImageMagick: many formats, resizing, effects, pages of PDF files "
     "(the Imagick class). A PECL extension that needs the ImageMagick DLLs."},
    {"imap",
     "IMAP, POP3 and NNTP mail access: opens mailboxes, reads, searches and moves messages "
     "(imap_open, imap_fetchbody). Moved to PECL in PHP 8.4."},
    {"inclued",
     "Traces which files include which, to draw the inclusion graph of an application. A PECL "
     "extension."},
    {"info",
     "PHP options and information: phpinfo, ini_get, ini_set, set_time_limit, memory_get_usage, "
     "getenv, extension_loaded... Part of the core."},
    {"ingres",
     "Functions for the Ingres database. Moved to PECL."},
    {"inotify",
     "Watches files for changes with Linux inotify. Linux only; a PECL extension."},
    {"intl",
     "Internationalization with ICU: numbers, currencies and dates formatted for a locale "
     "(NumberFormatter, IntlDateFormatter), sorting (Collator), Normalizer, transliteration. "
     "Many frameworks require it."},
    {"java",
     "Java integration of PHP 4: creates Java objects from PHP. Removed from PHP."},
    {"json",
     "Encodes and decodes JSON (json_encode, json_decode, JsonSerializable). Always available "
     "since PHP 8.0."},
    {"kadm5",
     "Administers Kerberos V principals and policies. A PECL extension."},
    {"ldap",
     "LDAP client: connects to LDAP directories and Active Directory to bind, search and change "
     "entries (ldap_connect, ldap_bind, ldap_search)."},
    {"libxml",
     "The libxml2 layer shared by the XML extensions (dom, simplexml, xmlreader...): error "
     "handling with libxml_use_internal_errors, loading of external entities."},
    {"lzf",
     "Very fast LZF compression and decompression of strings. A PECL extension."},
    {"mail",
     "Sends e-mail with mail(). On Windows it talks to the SMTP server set by SMTP and smtp_port "
     "in php.ini; a local stack usually has none."},
    {"mailparse",
     "Parses e-mail messages and their MIME parts (RFC 822 and RFC 2045). A PECL extension."},
    {"math",
     "Mathematical functions of the core: abs, round, floor, sqrt, pow, trigonometry, base "
     "conversion, random numbers (mt_rand, random_int). Always available."},
    {"maxdb",
     "Functions for the SAP MaxDB database. Moved to PECL."},
    {"mbstring",
     "Multibyte strings: functions that handle UTF-8 and other multibyte encodings correctly "
     "(mb_strlen, mb_substr, mb_strtoupper, mb_convert_encoding). phpMyAdmin and most frameworks "
     "require it."},
    {"mcrypt",
     "Encryption with the libmcrypt library (mcrypt_encrypt). Deprecated in PHP 7.1 and removed "
     "in 7.2: use openssl or sodium."},
    {"mcve",
     "Payment processing with MCVE (Monetra). Removed from PHP."},
    {"memcache",
     "Client of Memcached servers, to keep data in memory between requests (the Memcache class). "
     "A PECL extension; memcached is the newer one."},
    {"mhash",
     "Hash functions of the mhash library. The hash extension emulates them since PHP 5.3; they "
     "are deprecated in PHP 8.1."},
    {"mime-magic",
     "Guesses a file's content type (mime_content_type) from a magic file. Replaced by fileinfo."},
    {"ming",
     "Creates Flash (SWF) files with the Ming library. Moved to PECL."},
    {"misc",
     "Miscellaneous functions of the core: constant, define, sleep, usleep, uniqid, "
     "highlight_file, connection_status, pack, unpack..."},
    {"mnogosearch",
     "Functions for the mnoGoSearch search engine. Removed from PHP."},
    {"mongo",
     "The old MongoDB driver (MongoClient). Replaced by the mongodb extension and its library."},
    {"mqseries",
     "Messaging with IBM WebSphere MQ (MQSeries). A PECL extension."},
    {"msession",
     "Session data kept on a separate msession server. Removed from PHP."},
    {"msql",
     "Functions for the mSQL database. Removed in PHP 5.3."},
    {"mssql",
     "Microsoft SQL Server functions (mssql_connect). Removed in PHP 7.0: Microsoft's sqlsrv and "
     "pdo_sqlsrv drivers replace them."},
    {"mysql",
     "The original MySQL functions (mysql_connect, mysql_query). Deprecated in PHP 5.5 and "
     "removed in 7.0: use mysqli or PDO with pdo_mysql."},
    {"mysqli",
     "MySQL improved: connects to MySQL and MariaDB with prepared statements, transactions and "
     "multiple queries, as functions or objects (mysqli_connect, new mysqli). phpMyAdmin and "
     "WordPress use it."},
    {"ncurses",
     "Terminal screens with ncurses for command-line PHP. Unix only; moved to PECL."},
    {"net-gopher",
     "Gopher protocol client. A PECL extension."},
    {"network",
     "Network functions of the core: fsockopen, gethostbyname, dns_get_record, header, "
     "setcookie, inet_pton... Always available."},
    {"newt",
     "Text-mode windows and dialogs with the newt library. Unix only; a PECL extension."},
    {"nis",
     "YP/NIS: looks up maps of a Network Information Service. Unix only; removed from PHP."},
    {"notes",
     "Functions for Lotus Notes. Removed from PHP."},
    {"nsapi",
     "PHP as a module of Netscape, iPlanet and Sun web servers (nsapi_request_headers, "
     "nsapi_virtual). Removed in PHP 7."},
    {"objaggregation",
     "Object aggregation of PHP 4 (aggregate, aggregate_methods). Removed in PHP 5."},
    {"oci8",
     "Oracle Database through the Oracle Call Interface: connections, SQL and PL/SQL, LOBs "
     "(oci_connect, oci_parse, oci_execute). Needs Oracle Instant Client."},
    {"oggvorbis",
     "Reads and writes Ogg Vorbis audio through the ogg:// stream. A PECL extension."},
    {"openal",
     "Bindings of the OpenAL 3D audio library. A PECL extension."},
    {"openssl",
     "OpenSSL: encryption and signatures (openssl_encrypt, openssl_sign), keys and certificates, "
     "random bytes; also the https:// and ssl:// streams that Composer and mail over TLS need."},
    {"outcontrol",
     "Output control: buffering of what a script prints (ob_start, ob_get_clean, flush) and "
     "output handlers. Part of the core."},
    {"overload",
     "Overloading of object properties and method calls in PHP 4. Removed in PHP 5, where __get, "
     "__set and __call replace it."},
    {"ovrimos",
     "Functions for Ovrimos SQL Server. Removed from PHP."},
    {"paradox",
     "Reads and writes Paradox database files. A PECL extension."},
    {"parsekit",
     "Compiles PHP code and returns its opcodes. A PECL extension; unmaintained."},
    {"pcntl",
     "Process control: fork, signals and waiting for child processes (pcntl_fork, pcntl_signal). "
     "Command-line PHP on Unix only; not available on Windows."},
    {"pcre",
     "Perl-compatible regular expressions: preg_match, preg_replace, preg_split, preg_quote. "
     "Always available."},
    {"pdf",
     "Creates PDF documents with the commercial PDFlib library. Moved to PECL."},
    {"pdo",
     "PHP Data Objects: one interface to every database, with prepared statements and "
     "transactions (new PDO(\"mysql:host=127.0.0.1;dbname=test\", ...)). Each database needs its "
     "driver: pdo_mysql, pdo_sqlite, pdo_pgsql..."},
    {"pgsql",
     "PostgreSQL functions (pg_connect, pg_query, pg_prepare). PDO users need pdo_pgsql instead."},
    {"phar",
     "PHP archives: an application packed into one .phar file that PHP runs directly, like "
     "composer.phar; the Phar class reads and writes them."},
    {"posix",
     "POSIX functions: process ids, users, groups, terminals (posix_getpid, posix_getpwuid). Not "
     "available on Windows."},
    {"printer",
     "Prints from PHP to Windows printers. Windows only; an unmaintained PECL extension."},
    {"ps",
     "Creates PostScript documents with pslib. A PECL extension."},
    {"pspell",
     "Spell checking with the Aspell library (pspell_check, pspell_suggest). Moved to PECL in "
     "PHP 8.4; enchant is the alternative."},
    {"qtdom",
     "XML parsing with Qt's DOM in PHP 4. Removed from PHP."},
    {"radius",
     "Authenticates users against a RADIUS server and sends accounting data. A PECL extension."},
    {"rar",
     "Reads RAR archives and extracts their files (RarArchive, the rar:// stream). A PECL "
     "extension."},
    {"readline",
     "GNU Readline: line editing and history for interactive command-line PHP (readline, "
     "readline_add_history); php -a uses it."},
    {"recode",
     "Converts between character sets with the GNU Recode library. Removed in PHP 7.4: use iconv "
     "or mbstring."},
    {"regex",
     "POSIX extended regular expressions (ereg, eregi, split). Deprecated in PHP 5.3 and removed "
     "in 7.0: use PCRE (preg_match)."},
    {"rpmreader",
     "Reads the headers of RPM package files. A PECL extension."},
    {"runkit",
     "Redefines functions, methods, classes and constants at run time and runs code in "
     "sandboxes, for tests and patches. A PECL extension (runkit7 for PHP 7 and later)."},
    {"sam",
     "Simple Asynchronous Messaging with IBM WebSphere MQ and other brokers. An unmaintained "
     "PECL extension."},
    {"sca",
     "Service Component Architecture: services written as annotated classes, called locally or "
     "over SOAP or REST. An unmaintained PECL extension."},
    {"scream",
     "Turns the @ operator off, so that the errors it hides are shown, for debugging. A PECL "
     "extension."},
    {"sdo",
     "Service Data Objects: one data model for data from XML or relational sources. An "
     "unmaintained PECL extension."},
    {"sdodasrel",
     "SDO Relational Data Access Service: reads and writes SDO data in relational databases "
     "through PDO. Unmaintained."},
    {"sdo-das-xml",
     "SDO XML Data Access Service: loads and saves SDO data as XML described by a schema. "
     "Unmaintained."},
    {"sem",
     "System V semaphores, shared memory and message queues (sem_get, shm_attach, msg_send). Not "
     "available on Windows."},
    {"session",
     "Sessions: data kept per visitor between requests (session_start, $_SESSION), by default in "
     "files of the temp\\sessions folder (session.save_path). Always available."},
    {"session-pgsql",
     "Stores PHP sessions in a PostgreSQL database. A PECL extension."},
    {"shmop",
     "Shared memory: creates, reads and writes blocks of shared memory (shmop_open, shmop_read, "
     "shmop_write). Works on Windows too."},
    {"simplexml",
     "SimpleXML: reads XML into objects whose elements and attributes are properties and arrays "
     "(simplexml_load_file, SimpleXMLElement)."},
    {"snmp",
     "Reads and sets values of network devices with the Simple Network Management Protocol "
     "(snmp2_get, snmp2_walk, the SNMP class)."},
    {"soap",
     "SOAP web services: client and server of WSDL services (SoapClient, SoapServer)."},
    {"sockets",
     "Low-level sockets as in C: TCP and UDP servers and clients, options and select "
     "(socket_create, socket_bind, socket_listen)."},
    {"sphinx",
     "Client of the Sphinx full-text search engine (SphinxClient). A PECL extension."},
    {"spl",
     "Standard PHP Library: data structures (SplStack, SplObjectStorage, ArrayObject), "
     "iterators, exceptions and class autoloading (spl_autoload_register). Always available."},
    {"spl-types",
     "Typed scalar objects (SplInt, SplFloat, SplEnum, SplBool). An experimental, unmaintained "
     "PECL extension."},
    {"spplus",
     "The SPPLUS payment system of French savings banks. An unmaintained PECL extension."},
    {"sqlite3",
     "SQLite 3: a database in one file, without a server (new SQLite3(\"data.db\"), prepared "
     "statements). PDO users take pdo_sqlite."},
    {"sqlite",
     "SQLite 2 functions (sqlite_open). Removed in PHP 5.4: use sqlite3 or pdo_sqlite."},
    {"ssh2",
     "SSH connections with libssh2: commands, SFTP and SCP transfers, tunnels, key "
     "authentication. A PECL extension."},
    {"stats",
     "Statistics: probability distributions, random numbers drawn from them, variance, "
     "correlation. A PECL extension."},
    {"stream",
     "Streams of the core: wrappers, contexts and filters for files, the network and memory "
     "(stream_context_create, stream_socket_client, php://memory)."},
    {"strings",
     "String functions of the core: strlen, str_replace, substr, explode, implode, sprintf, "
     "htmlspecialchars, trim... Always available."},
    {"svn",
     "Subversion client functions: checkout, commit, log, diff. A PECL extension."},
    {"swf",
     "Creates Shockwave Flash files with the libswf library. Removed from PHP."},
    {"swish",
     "Searches indexes made by the Swish-e search engine. A PECL extension."},
    {"sybase_ct",
     "Sybase and Microsoft SQL Server functions through the Sybase CT library. Removed in PHP 7.",
     "book.sybase"},
    {"tcpwrap",
     "Checks a client's address against the TCP wrappers rules (hosts.allow, hosts.deny). Unix "
     "only; a PECL extension."},
    {"tidy",
     "HTML Tidy: cleans, repairs and reformats HTML and XML documents (tidy_repair_string, the "
     "tidy class)."},
    {"tokenizer",
     "Splits PHP source into the tokens the PHP parser sees (token_get_all, PhpToken); code "
     "analysis and formatting tools use it."},
    {"unicode",
     "Unicode functions of the PHP 6 that was never released. Not part of any PHP release."},
    {"uodbc",
     "Unified ODBC: any database with an ODBC driver, such as Access or SQL Server "
     "(odbc_connect, odbc_exec). pdo_odbc is its PDO driver."},
    {"url",
     "URL functions of the core: parse_url, urlencode, rawurlencode, http_build_query, "
     "base64_encode, get_headers."},
    {"var",
     "Variable handling of the core: var_dump, print_r, var_export, isset, unset, gettype, "
     "serialize, unserialize. Always available."},
    {"vpopmail",
     "Manages the virtual mail domains and users of qmail's vpopmail. Removed from PHP."},
    {"w32api",
     "Calls functions of Windows DLLs from PHP. Experimental and removed; the FFI extension does "
     "this today."},
    {"wddx",
     "WDDX: PHP values serialized into an XML format shared between languages. Removed in PHP "
     "7.4."},
    {"win32ps",
     "Lists Windows processes and reads their memory and CPU statistics. Windows only; a PECL "
     "extension."},
    {"win32service",
     "Runs PHP scripts as Windows services and controls services (win32_create_service, "
     "win32_start_service). Windows only; a PECL extension."},
    {"xattr",
     "Reads and writes the extended attributes of files. Unix only; a PECL extension."},
    {"xdiff",
     "Makes and applies diffs and patches of text and binary data with libxdiff. A PECL "
     "extension."},
    {"xml",
     "XML parser: event-based (SAX) parsing with expat or libxml (xml_parser_create, "
     "xml_set_element_handler)."},
    {"xmlreader",
     "XMLReader: reads XML as a stream, node by node, without loading the whole document; suited "
     "to large files."},
    {"xmlrpc",
     "XML-RPC client and server functions (xmlrpc_encode_request). Moved to PECL in PHP 8.0."},
    {"xmlwriter",
     "XMLWriter: writes XML documents as a stream, element by element, to memory or a file."},
    {"xsl",
     "XSLT 1.0 transformations with libxslt (XSLTProcessor): XML turned into HTML or other XML "
     "by a stylesheet."},
    {"xslt",
     "The XSLT functions of PHP 4, with Sablotron. Replaced by the xsl extension in PHP 5."},
    {"yaz",
     "Z39.50 client for library catalogues and information retrieval. A PECL extension."},
    {"zip",
     "Reads and writes ZIP archives: adds, extracts and lists files (ZipArchive). Composer and "
     "many installers need it."},
    {"zlib",
     "gzip and deflate compression: gzcompress, gzencode, gzopen, the compress.zlib:// stream, "
     "and zlib.output_compression for compressed pages."},
    // Current builds name these in their default extension list.
    {"gd",
     "GD image library under its name since PHP 8.0 (gd2 before): creates and edits PNG, JPEG, "
     "GIF and WebP images: resizing, cropping, drawing, text with TrueType fonts "
     "(imagecreatefromjpeg, imagecopyresampled, imagepng).",
     "book.image"},
    {"pdo_mysql",
     "PDO driver for MySQL and MariaDB: lets PDO connect with "
     "\"mysql:host=127.0.0.1;port=3306;dbname=...\". Laravel, Symfony and most frameworks use "
     "it.",
     "ref.pdo-mysql"},
    {"pdo_sqlite",
     "PDO driver for SQLite 3: a database in one file, opened as \"sqlite:C:/path/data.db\" or "
     "\"sqlite::memory:\".",
     "ref.pdo-sqlite"},
    {"sodium",
     "Modern cryptography with libsodium: authenticated encryption, signatures, key exchange and "
     "password hashing (sodium_crypto_secretbox, sodium_crypto_sign). Part of PHP since 7.2."},
};

// ---- Lookups ----

const HelpRow* FindRow(std::span<const HelpRow> rows, std::string_view name) {
    for (const HelpRow& row : rows) {
        if (EqualsIgnoreCase(row.name, name)) return &row;
    }
    return nullptr;
}

std::string ApacheModuleLink(std::string_view name) {
    constexpr std::string_view kSuffix = "_module";
    if (EndsWith(name, kSuffix)) name.remove_suffix(kSuffix.size());
    return kApacheModuleDocs + std::string(name) + ".html";
}

}  // namespace

const char* ApacheModuleHelpTable(std::string_view moduleName) {
    const HelpRow* row = FindRow(kApacheModules, moduleName);
    return row ? row->text : nullptr;
}

std::string ApacheModuleHelp(std::string_view moduleName) {
    // A listed name links by its row's own spelling, so REWRITE_MODULE finds mod_rewrite.html.
    const HelpRow* row = FindRow(kApacheModules, moduleName);
    return ApacheModuleLink(row ? std::string_view(row->name) : moduleName);
}

const char* PhpExtensionHelpTable(std::string_view extensionName) {
    const HelpRow* row = FindRow(kPhpExtensions, extensionName);
    return row ? row->text : nullptr;
}

std::string PhpExtensionHelp(std::string_view extensionName) {
    const HelpRow* row = FindRow(kPhpExtensions, extensionName);
    if (row && row->page) return kPhpManual + std::string(row->page) + ".php";
    const std::string_view name = row ? std::string_view(row->name) : extensionName;
    return kPhpManual + ("book." + std::string(name)) + ".php";
}
