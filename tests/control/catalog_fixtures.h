// tests/control/catalog_fixtures.h: small catalog documents in the formats the real sources use
// today (the Apache download page, the PHP directory listing and its releases.json, the MariaDB
// REST API, the phpMyAdmin version document), shared by the parser and loader tests.
#pragma once
#include <string>

namespace catalogtest {

// VS18, VS17 and 32-bit builds, a duplicate, a module and a checksum link that are no builds.
inline constexpr char kApachePage[] = R"(<!DOCTYPE html><html><body><h2>Apache 2.4.65-251009 Win64</h2><p><a href="/download/VS18/binaries/httpd-2.4.65-251009-Win64-VS18.zip">httpd-2.4.65-251009-Win64-VS18.zip</a>
 [ <a href="/download/VS18/binaries/httpd-2.4.65-251009-Win64-VS18.zip.sha256">SHA256</a> ]</p>
<p><a href="/download/VS18/binaries/httpd-2.4.65-251009-win32-vs18.zip">httpd-2.4.65-251009-win32-vs18.zip</a></p>
<p><a href="https://archive.example/VS17/binaries/httpd-2.4.9-240718-Win64-VS17.zip">2.4.9</a></p>
<p><a href="/download/VS18/modules/mod_fcgid-2.3.10-win64-VS18.zip">mod_fcgid</a></p>
<p>Again: <a href="/download/VS18/binaries/httpd-2.4.65-251009-Win64-VS18.zip">mirror</a></p>
</body></html>
)";

// The plain directory listing the PHP host now redirects to: relative links, one rooted link in
// the old host's upper-case style, a non-thread-safe build, a debug pack, a duplicate name in
// capitals and a compiler number past 32 bits.
inline constexpr char kPhpListing[] = R"(<html><head><title>Index of /~windows/releases/</title></head>
<body><h1>Index of /~windows/releases/</h1><hr><pre><a href="../">../</a>
<a href="php-8.3.9-Win32-vs16-x64.zip">php-8.3.9-Win32-vs16-x64.zip</a>      04-Jul-2024 10:01    31M
<a href="php-8.3.10-Win32-vs16-x86.zip">php-8.3.10-Win32-vs16-x86.zip</a>    01-Aug-2024 09:30    29M
<a href="php-8.3.10-Win32-vs16-x64.zip">php-8.3.10-Win32-vs16-x64.zip</a>    01-Aug-2024 09:30    31M
<a href="php-8.3.10-nts-Win32-vs16-x64.zip">php-8.3.10-nts-Win32-vs16-x64.zip</a> 01-Aug-2024 09:30 30M
<a href="php-8.3.10-Win32-vs16-x64.zip.sha256">php-8.3.10-Win32-vs16-x64.zip.sha256</a> 01-Aug-2024 64
<a href="php-debug-pack-8.3.10-Win32-vs16-x64.zip">php-debug-pack-8.3.10-Win32-vs16-x64.zip</a> 24M
<a href="PHP-8.3.10-WIN32-VS16-X64.ZIP">PHP-8.3.10-WIN32-VS16-X64.ZIP</a>    01-Aug-2024 09:30    31M
<a href="php-8.2.0RC1-Win32-vs16-x86.zip">php-8.2.0RC1-Win32-vs16-x86.zip</a>  01-Sep-2022 12:00    25M
<a href="php-5.6.40-Win32-VC11-x64.zip">php-5.6.40-Win32-VC11-x64.zip</a>    10-Jan-2019 12:00    21M
<a href="php-8.3.0-Win32-vs4294967312-x64.zip">php-8.3.0-Win32-vs4294967312-x64.zip</a> 1M
<A HREF="/downloads/releases/php-8.4.1-Win32-vs17-x64.zip">php-8.4.1-Win32-vs17-x64.zip</A>
<a href="releases.json">releases.json</a>                            18-Nov-2025 09:12    12K</pre><hr></body></html>
)";

inline const std::string kSum = "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789";
inline constexpr char kPhpReleasesJson[] = R"({"8.3": {"version": "8.3.10",
  "nts-vs16-x64": {"mtime": "2024-08-01", "zip": {"path": "php-8.3.10-nts-Win32-vs16-x64.zip", "sha256": "1111"}},
  "ts-vs16-x64": {"mtime": "2024-08-01", "zip": {"path": "php-8.3.10-Win32-vs16-x64.zip", "size": "31.2MB",
                  "sha256": "ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789"},
                  "debug_pack": {"path": "php-debug-pack-8.3.10-Win32-vs16-x64.zip", "sha256": "2222"}},
  "ts-vs16-x86": {"zip": {"path": "php-8.3.10-Win32-vs16-x86.zip", "sha256": "1234"}}},
 "8.2": {"ts-vs16-x86": {"zip": {"path": "PHP-8.2.0RC1-Win32-vs16-x86.zip", "sha256": "4444"}}},
 "8.3b": {"ts-vs16-x86": {"zip": {"path": "php-8.3.10-Win32-vs16-x86.zip", "sha256": "3333"}}}})";

inline constexpr char kMariaDbMajors[] = R"({"major_releases":[
 {"release_id":"12.1","release_name":"MariaDB Server 12.1","release_status":"RC","release_support_type":"Rolling"},
 {"release_id":"11.8","release_status":"Stable","release_support_type":"Long Term Support","release_eol_date":"2028-06-04"},
 {"release_id":"11.4","release_status":"Stable","release_support_type":"LONG TERM support","release_eol_date":"2029-05-29"},
 {"release_id":"11.7","release_status":"Stable","release_support_type":"Short Term Support","release_eol_date":"2025-05-14"},
 {"release_id":"..\\..\\evil","release_status":"Stable","release_support_type":"Rolling"},
 {"release_id":"10.6","release_status":"stable","release_support_type":"Long Term Support"}]})";

// Debug and installer files are no Windows zips; hostile names are refused.
inline constexpr char kMariaDbSeries[] = R"({"releases":{
 "11.4.4":{"release_id":"11.4.4","date_of_release":"2024-11-01","files":[
   {"file_name":"mariadb-11.4.4-winx64.zip","os":"Windows","checksum":{"md5sum":"aa","sha256sum":"C0FFEE00"},
    "file_download_url":"http://downloads.mariadb.org/rest-api/mariadb/11.4.4/mariadb-11.4.4-winx64.zip"},
   {"file_name":"mariadb-11.4.4-winx64-debugsymbols.zip","checksum":{"sha256sum":"ee"},"file_download_url":"https://x/d"},
   {"file_name":"mariadb-11.4.4-winx64.msi","checksum":{"sha256sum":"ff"},"file_download_url":"https://x/y.msi"}]},
 "11.4.10":{"date_of_release":"2025-11-20","files":[
   {"file_name":"MARIADB-11.4.10-WINX64.ZIP","checksum":{"sha256sum":"abc"},
    "file_download_url":"https://downloads.mariadb.org/rest-api/mariadb/11.4.10/MARIADB-11.4.10-WINX64.ZIP"},
   {"file_name":"mariadb-11.4.10-DEBUG-winx64.zip","checksum":{"sha256sum":"abd"},"file_download_url":"https://x/d.zip"},
   {"file_name":"..\\..\\bin\\evil-winx64.zip","checksum":{"sha256sum":"00"},"file_download_url":"https://x/e.zip"}]},
 "..\\x":{"files":[{"file_name":"mariadb-x-winx64.zip","file_download_url":"https://x/f.zip"}]},
 "11.4.9":{"date_of_release":"2025-08-06","files":[
   {"file_name":"mariadb-11.4.9-winx64.zip","checksum":{"sha256sum":"99"},"file_download_url":"https://x/9.zip"}]}}})";

inline constexpr char kPhpMyAdminVersions[] = R"({"version": "5.2.2", "date": "2025-01-21", "releases": [
  {"date": "2025-01-21", "php_versions": ">=7.2,<8.5", "version": "5.2.2", "mysql_versions": ">=5.5"},
  {"date": "2022-02-11", "php_versions": ">=5.5,<8.0", "version": "4.9.11", "mysql_versions": ">=5.5"},
  {"date": "2025-01-01", "php_versions": ">=7.2", "version": "../../../bin/apache"}, {"version": "."}]})";

}  // namespace catalogtest
