// control/catalog_parse.h: the records of the component catalogs and the pure parsers that turn
// each online listing (Apache page, PHP listing and its releases.json, MariaDB REST documents,
// phpMyAdmin version document) into packages. Text in, records out; any thread, no state.
// Links are matched by hand-written scanners: libstdc++'s regex recurses once per character.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

enum class Comp : int32_t { Php = 0, Apache = 1, Database = 2, PhpMyAdmin = 3 };

// One downloadable build.
struct Package {
    Comp comp = Comp::Php;
    std::string version;    // dotted version from the catalog; the sort key
    std::string label;      // "PHP 8.3.14", "MariaDB 11.4 (LTS)", ...
    std::string url;        // the zip archive; empty for records that cannot be installed
    std::string fileName;   // the archive's name in the downloads folder
    std::string sha256;     // lower-case hex; empty when the catalog gives none
    int32_t arch = 2;       // 1 x86, 2 x64, 3 arm64
    std::string folder;     // the build's folder under its component's root folder
    std::string detail;     // compiler and build, LTS mark, supported PHP versions
    std::string date;       // release date, or a database series' end of life
    bool installed = false; // set by the catalog loader, never by a parser
};

// The cached state of one catalog key.
struct CatalogEntry {
    bool loading = false;           // a loader thread runs for this key
    bool loaded = false;            // the last load finished without an error
    std::string error;              // of the last load; "" when none
    std::vector<Package> packages;  // of the last load, in the parser's order
};

// True for one plain name component: not empty, not "." or "..", no \ / : or control character,
// no trailing dot or space. Names from the catalogs become file and folder names only then.
bool IsPlainName(std::string_view name);

// "http://" in any letter case becomes "https://"; anything else is returned unchanged.
std::string ForceHttps(std::string_view address);

// The order of the Apache and PHP lists: higher version first, then x64 before the others.
bool PackageNewerFirst(const Package& a, const Package& b);

// ---- Parsers: only `error` and `packages` of the result are filled ----
// The Apache download page; links resolved against `pageUrl`, whose host the error names.
CatalogEntry ParseApachePage(std::string_view page, std::string_view pageUrl);
// File name (lower case) to SHA-256 (lower case) from a PHP "releases.json"; empty when the
// document has another shape.
std::map<std::string, std::string> ParsePhpChecksums(std::string_view json);
// A PHP directory listing. `servedUrl` is where the page finally came from (links are relative
// to it); `listingUrl` the address asked for, named in the error.
CatalogEntry ParsePhpListing(std::string_view page, std::string_view servedUrl, std::string_view listingUrl,
                             const std::map<std::string, std::string>& checksums);
// The MariaDB REST API base: the stable major series, in document order, not installable.
CatalogEntry ParseMariaDbMajorsJson(std::string_view json);
// The REST API's document of one series: its Windows x64 zip archives, newest first.
CatalogEntry ParseMariaDbFilesJson(std::string_view json, std::string_view series);
// The phpMyAdmin version document; archives under `archiveRoot` + "/phpMyAdmin/".
CatalogEntry ParsePhpMyAdminJson(std::string_view json, std::string_view archiveRoot);
