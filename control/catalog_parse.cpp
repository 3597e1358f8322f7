// control/catalog_parse.cpp: the catalog parsers. Index:
//   ---- Names and order ----   IsPlainName, ForceHttps, PackageNewerFirst
//   ---- Link scanners ----     the two archive-link patterns, matched by hand
//   ---- HTML listings ----     ParseApachePage, ParsePhpChecksums, ParsePhpListing
//   ---- JSON documents ----    ParseMariaDbMajorsJson, ParseMariaDbFilesJson, ParsePhpMyAdminJson
#include "control/catalog_parse.h"

#include <algorithm>
#include <climits>
#include <set>

#include "core/http.h"
#include "core/json.h"
#include "core/text.h"

// ---- Names and order ----

bool IsPlainName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.back() == '.' || name.back() == ' ') return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '/' || c == ':' || byte < 0x20 || byte == 0x7F) return false;
    }
    return true;
}

std::string ForceHttps(std::string_view address) {
    if (StartsWithIgnoreCase(address, "http://")) return "https://" + std::string(address.substr(7));
    return std::string(address);
}

bool PackageNewerFirst(const Package& a, const Package& b) {
    const int order = CompareVersions(a.version, b.version);
    if (order != 0) return order > 0;
    return a.arch == 2 && b.arch != 2;
}

// ---- Link scanners ----

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Position after a run of \d+ starting at i; npos when there is none.
size_t SkipDigits(std::string_view s, size_t i) {
    const size_t start = i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    return i == start ? std::string_view::npos : i;
}

// Position after `word` at i (ASCII case-insensitive when asked); npos when it is not there.
size_t SkipWord(std::string_view s, size_t i, std::string_view word, bool ignoreCase) {
    if (i == std::string_view::npos || s.size() - i < word.size()) return std::string_view::npos;
    const std::string_view here = s.substr(i, word.size());
    const bool same = ignoreCase ? EqualsIgnoreCase(here, word) : here == word;
    return same ? i + word.size() : std::string_view::npos;
}

// \d+\.\d+\.\d+ from i; npos when it does not match.
size_t SkipVersion(std::string_view s, size_t i) {
    for (int part = 0; part < 3 && i != std::string_view::npos; ++part) {
        if (part > 0) i = SkipWord(s, i, ".", false);
        if (i != std::string_view::npos) i = SkipDigits(s, i);
    }
    return i;
}

struct ApacheName {
    std::string_view version, build, bits, compiler;
};

// The whole of `name` against  httpd-(\d+\.\d+\.\d+)-(\d+)-[Ww]in(64|32)-([Vv][Ss]\d+)\.zip
bool MatchApacheName(std::string_view name, ApacheName& out) {
    constexpr auto npos = std::string_view::npos;
    size_t i = SkipWord(name, 0, "httpd-", false);
    const size_t versionStart = i;
    if (i != npos) i = SkipVersion(name, i);
    const size_t versionEnd = i;
    i = SkipWord(name, i, "-", false);
    const size_t buildStart = i;
    if (i != npos) i = SkipDigits(name, i);
    const size_t buildEnd = i;
    i = SkipWord(name, i, "-", false);
    if (i == npos || i >= name.size() || (name[i] != 'W' && name[i] != 'w')) return false;
    i = SkipWord(name, i + 1, "in", false);
    const size_t bitsStart = i;
    if (SkipWord(name, i, "64", false) == npos) i = SkipWord(name, i, "32", false);
    else i += 2;
    i = SkipWord(name, i, "-", false);
    const size_t compilerStart = i;
    i = SkipWord(name, i, "vs", true);   // [Vv][Ss]
    if (i != npos) i = SkipDigits(name, i);
    const size_t compilerEnd = i;
    i = SkipWord(name, i, ".zip", false);
    if (i != name.size()) return false;
    out.version = name.substr(versionStart, versionEnd - versionStart);
    out.build = name.substr(buildStart, buildEnd - buildStart);
    out.bits = name.substr(bitsStart, 2);
    out.compiler = name.substr(compilerStart, compilerEnd - compilerStart);
    return true;
}

struct PhpName {
    std::string_view version, compiler, arch;
    bool nts = false;
};

// The whole of `name`, ignoring case, against
//   php-(\d+\.\d+\.\d+(?:[A-Za-z]+\d*)?)(-nts)?-Win32-(?:VC|vs|VS|vc)(\d+)-(x86|x64)\.zip
// No greedy run can give back a character that would help the rest, so no backtracking is needed.
bool MatchPhpName(std::string_view name, PhpName& out) {
    constexpr auto npos = std::string_view::npos;
    size_t i = SkipWord(name, 0, "php-", true);
    const size_t versionStart = i;
    if (i != npos) i = SkipVersion(name, i);
    if (i != npos && i < name.size() && IsLetter(name[i])) {
        while (i < name.size() && IsLetter(name[i])) ++i;
        while (i < name.size() && IsDigit(name[i])) ++i;
    }
    const size_t versionEnd = i;
    const size_t nts = SkipWord(name, i, "-nts", true);
    if (nts != npos && SkipWord(name, nts, "-win32-", true) != npos) i = nts;
    out.nts = i != versionEnd;
    i = SkipWord(name, i, "-win32-", true);
    if (SkipWord(name, i, "vc", true) != npos) i += 2;
    else i = SkipWord(name, i, "vs", true);
    const size_t compilerStart = i;
    if (i != npos) i = SkipDigits(name, i);
    const size_t compilerEnd = i;
    i = SkipWord(name, i, "-", false);
    const size_t archStart = i;
    if (SkipWord(name, i, "x86", true) == npos) i = SkipWord(name, i, "x64", true);
    else i += 3;
    i = SkipWord(name, i, ".zip", true);
    if (i != name.size()) return false;
    out.version = name.substr(versionStart, versionEnd - versionStart);
    out.compiler = name.substr(compilerStart, compilerEnd - compilerStart);
    out.arch = name.substr(archStart, 3);
    return true;
}

// Finds successive non-overlapping  href="value"  attributes the way a regex search for
// href="([^"]*?)...zip" does: a value that does not match lets the search go on one character
// later, a matching one resumes after its closing quote. `match` gets each value.
template <class Match>
void ScanHrefs(std::string_view page, bool ignoreCase, Match&& match) {
    size_t from = 0;
    for (;;) {
        size_t at = std::string_view::npos;
        for (size_t i = from; i + 6 <= page.size(); ++i) {
            if (SkipWord(page, i, "href=\"", ignoreCase) != std::string_view::npos) {
                at = i;
                break;
            }
        }
        if (at == std::string_view::npos) return;
        const size_t close = page.find('"', at + 6);
        if (close == std::string_view::npos) return;
        from = match(page.substr(at + 6, close - at - 6)) ? close + 1 : at + 1;
    }
}

std::string HostOf(std::string_view url) {
    const size_t scheme = url.find("://");
    const size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
    std::string_view host = url.substr(start, url.find_first_of("/?#", start) - start);
    const size_t at = host.rfind('@');
    if (at != std::string_view::npos) host.remove_prefix(at + 1);
    const size_t colon = host.rfind(':');
    if (colon != std::string_view::npos && host.find(']', colon) == std::string_view::npos) host = host.substr(0, colon);
    return std::string(host);
}

}  // namespace

// ---- HTML listings ----

CatalogEntry ParseApachePage(std::string_view page, std::string_view pageUrl) {
    CatalogEntry result;
    std::set<std::string> seen;
    ScanHrefs(page, false, [&](std::string_view link) {
        const size_t slash = link.rfind('/');
        ApacheName parts;
        if (slash == std::string_view::npos || !EndsWith(link.substr(0, slash + 1), "/binaries/") ||
            !MatchApacheName(link.substr(slash + 1), parts))
            return false;
        const std::string fileName(link.substr(slash + 1));
        if (!seen.insert(fileName).second) return true;
        Package package;
        package.comp = Comp::Apache;
        package.fileName = fileName;
        package.url = ResolveUrl(pageUrl, link);
        package.version = std::string(parts.version);
        package.arch = parts.bits == "64" ? 2 : 1;
        package.detail = std::string(parts.compiler) + ", build " + std::string(parts.build);
        package.folder = "httpd-" + package.version + "-" + ArchName(package.arch);
        package.label = "Apache " + package.version;
        result.packages.push_back(std::move(package));
        return true;
    });
    std::stable_sort(result.packages.begin(), result.packages.end(), PackageNewerFirst);
    if (result.packages.empty()) result.error = "no Apache build found on " + HostOf(pageUrl);
    return result;
}

std::map<std::string, std::string> ParsePhpChecksums(std::string_view json) {
    std::map<std::string, std::string> checksums;
    const JsonValue root = JsonParse(json);
    for (const auto& [series, release] : root.object) {
        for (const auto& [build, value] : release.object) {
            const JsonValue& zip = value.Find("zip");
            if (value.type != JsonType::Object || zip.type != JsonType::Object) continue;
            checksums[ToLower(zip.Find("path").AsString())] = ToLower(zip.Find("sha256").AsString());
        }
    }
    return checksums;
}

CatalogEntry ParsePhpListing(std::string_view page, std::string_view servedUrl, std::string_view listingUrl,
                             const std::map<std::string, std::string>& checksums) {
    CatalogEntry result;
    std::set<std::string> seen;
    ScanHrefs(page, true, [&](std::string_view link) {
        const size_t lastSlash = link.rfind('/');
        size_t start = lastSlash == std::string_view::npos ? 0 : lastSlash + 1;
        PhpName parts;
        while ((start = link.find_first_of("pP", start)) != std::string_view::npos &&
               !MatchPhpName(link.substr(start), parts))
            ++start;
        if (start == std::string_view::npos) return false;
        const std::string_view fileName = link.substr(start);
        // A compiler number beyond 32 bits is no build anyone made: the link is left out.
        const auto compiler = std::strtoull(std::string(parts.compiler).c_str(), nullptr, 10);
        if (parts.nts || compiler > INT32_MAX || !seen.insert(ToLower(fileName)).second) return true;
        Package package;
        package.comp = Comp::Php;
        package.version = std::string(parts.version);
        package.fileName = std::string(fileName);
        package.url = ResolveUrl(servedUrl, link);
        package.arch = EqualsIgnoreCase(parts.arch, "x86") ? 1 : 2;
        package.detail = Format(compiler <= 15 ? "VC%llu" : "VS%llu", compiler);
        package.folder = "php-" + package.version + "-" + ArchName(package.arch);
        package.label = "PHP " + package.version;
        const auto sum = checksums.find(ToLower(fileName));
        if (sum != checksums.end()) package.sha256 = sum->second;
        result.packages.push_back(std::move(package));
        return true;
    });
    std::stable_sort(result.packages.begin(), result.packages.end(), PackageNewerFirst);
    if (result.packages.empty()) result.error = "no PHP build found on " + std::string(listingUrl);
    return result;
}

// ---- JSON documents ----

CatalogEntry ParseMariaDbMajorsJson(std::string_view json) {
    CatalogEntry result;
    const JsonValue root = JsonParse(json);
    for (const JsonValue& series : root.Find("major_releases").array) {
        if (series.Find("release_status").AsString() != "Stable") continue;
        Package package;
        package.comp = Comp::Database;
        package.version = series.Find("release_id").AsString();
        // The series id becomes part of a catalog key and of the series document's address.
        if (!IsPlainName(package.version)) continue;
        const std::string support = series.Find("release_support_type").AsString();
        package.detail = ContainsIgnoreCase(support, "long term") ? "LTS" : support;
        package.date = series.Find("release_eol_date").AsString();
        package.label = "MariaDB " + package.version + (package.detail == "LTS" ? " (LTS)" : "");
        result.packages.push_back(std::move(package));
    }
    if (result.packages.empty()) result.error = "MariaDB API: no stable release";
    return result;
}

CatalogEntry ParseMariaDbFilesJson(std::string_view json, std::string_view series) {
    CatalogEntry result;
    const JsonValue root = JsonParse(json);
    for (const auto& [version, release] : root.Find("releases").object) {
        for (const JsonValue& file : release.Find("files").array) {
            const std::string fileName = file.Find("file_name").AsString();
            if (!EndsWith(ToLower(fileName), "-winx64.zip") || ContainsIgnoreCase(fileName, "debug")) continue;
            Package package;
            package.comp = Comp::Database;
            package.version = version;
            package.fileName = fileName;
            package.folder = "mariadb-" + version;
            // Both become names in the downloads and database folders.
            if (!IsPlainName(package.fileName) || !IsPlainName(package.folder) || !IsPlainName(version)) continue;
            package.url = ForceHttps(file.Find("file_download_url").AsString());
            package.sha256 = ToLower(file.Find("checksum").Find("sha256sum").AsString());
            package.date = release.Find("date_of_release").AsString();
            package.label = "MariaDB " + version;
            result.packages.push_back(std::move(package));
        }
    }
    std::stable_sort(result.packages.begin(), result.packages.end(),
                     [](const Package& a, const Package& b) { return CompareVersions(a.version, b.version) > 0; });
    if (result.packages.empty()) result.error = "no Windows ZIP for MariaDB " + std::string(series);
    return result;
}

CatalogEntry ParsePhpMyAdminJson(std::string_view json, std::string_view archiveRoot) {
    CatalogEntry result;
    const JsonValue root = JsonParse(json);
    for (const JsonValue& release : root.Find("releases").array) {
        Package package;
        package.comp = Comp::PhpMyAdmin;
        package.version = release.Find("version").AsString();
        package.fileName = "phpMyAdmin-" + package.version + "-all-languages.zip";
        // The version is a folder of the archive's address and part of the archive's file name.
        if (!IsPlainName(package.version) || !IsPlainName(package.fileName)) continue;
        package.date = release.Find("date").AsString();
        package.detail = "PHP " + release.Find("php_versions").AsString();
        package.url = std::string(archiveRoot) + "/phpMyAdmin/" + package.version + "/" + package.fileName;
        package.folder = "phpmyadmin";
        package.label = "phpMyAdmin " + package.version;
        result.packages.push_back(std::move(package));
    }
    if (result.packages.empty()) result.error = "phpMyAdmin: empty version list";
    return result;
}
